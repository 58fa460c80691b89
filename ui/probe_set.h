#pragma once
// The media probes an owner (the window, the reference dialog) started: each reads its files in
// a thread of its own and reports to the owner's slots of the same names. A probe is released
// once its last report has arrived; the set stops the ones still reading and waits for them
// before it goes, so no probe thread outlives its owner.
#include <QObject>
#include <QStringList>
#include <QThread>

#include <memory>
#include <vector>

#include "jobs/video_information.h"

class ProbeSet : public QObject {
    Q_OBJECT
public:
    ProbeSet() = default;
    ~ProbeSet() override { stopAndWait(); }

    // Starts a probe over `paths` whose startFindInfo, endFindInfo and FoundVideoDetails reach
    // the slots of those names of `receiver` (queued, on its thread).
    template <typename Receiver>
    const videoInformation* start(const QStringList& paths, Receiver* receiver) {
        videoInformation* probe = add(paths);
        // Queued from the start, the probe's own thread being the only sender: a connection
        // made queued takes its argument types from the signal, so the details record needs
        // no registration by name to travel.
        connect(probe, &videoInformation::startFindInfo, receiver, &Receiver::startFindInfo, Qt::QueuedConnection);
        connect(probe, &videoInformation::endFindInfo, receiver, &Receiver::endFindInfo, Qt::QueuedConnection);
        connect(probe, &videoInformation::FoundVideoDetails, receiver, &Receiver::FoundVideoDetails,
                Qt::QueuedConnection);
        probe->start(QThread::InheritPriority);
        return probe;
    }

    // A probe is reading, or its reports have not all arrived.
    bool busy() const { return !probes.empty(); }
    // Lets every probe end after the file it reads, and waits until they have.
    void stopAndWait();

private:
    videoInformation* add(const QStringList& paths);
    void ended(videoInformation* probe);

    std::vector<std::unique_ptr<videoInformation>> probes;
};
