#include "ui/probe_set.h"

#include <algorithm>

videoInformation* ProbeSet::add(const QStringList& paths) {
    probes.push_back(std::make_unique<videoInformation>(paths));
    videoInformation* probe = probes.back().get();
    // Queued behind the probe's last report, which was posted from the same thread before it.
    connect(probe, &QThread::finished, this, [this, probe] { ended(probe); });
    return probe;
}

void ProbeSet::ended(videoInformation* probe) {
    const auto it = std::find_if(probes.begin(), probes.end(), [probe](const auto& p) { return p.get() == probe; });
    if (it == probes.end()) return;
    (*it)->wait();
    probes.erase(it);
}

void ProbeSet::stopAndWait() {
    for (const auto& probe : probes) probe->requestStop();
    for (const auto& probe : probes) probe->wait();
}
