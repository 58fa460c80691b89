#include "analysis/preset_scoring.h"

#include "analysis/ordered_work.h"

bool scorePresetsInOrder(const FrameWindow& window, std::vector<DiagPreset>& presets,
                         const std::vector<std::size_t>& order, const std::string& cameraName,
                         const std::atomic<bool>& stopRequested, unsigned threads, const EndsTest& endsTest,
                         const TakeScore& take) {
    if (order.empty()) return !stopRequested.load();
    // A walk's outcome is a few thousand unit records at most: all may wait to be taken.
    const std::vector<DiagPreset>& walked = presets;
    OrderedWork<PresetMatch> walks(
        order.size(), threads,
        [&](std::size_t k, const std::atomic<bool>& cancel) { return walkPreset(window, walked[order[k]], cameraName, cancel); },
        [&](const PresetMatch& match) { return !match.stopped && endsTest(match.score); });
    for (std::size_t k = 0; k < order.size(); ++k) {
        PresetMatch match;
        if (!walks.await(k, &stopRequested, match)) return false;
        DiagPreset& preset = presets[order[k]];
        preset.units = std::move(match.units);
        preset.score = match.score;
        take(order[k]);
        if (endsTest(preset.score)) return true;
    }
    return true;
}
