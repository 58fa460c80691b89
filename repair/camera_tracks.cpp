#include "repair/camera_tracks.h"

#include <algorithm>
#include <unordered_set>

namespace {

CameraTrackKind kindOf(const TrackRecord& track) {
    if (track.sampleDescCoding == "gpmd") return CameraTrackKind::Gpmd;
    if (track.sampleDescCoding == "tmcd") return CameraTrackKind::Timecode;
    return CameraTrackKind::Other;
}

bool hasKind(const std::vector<CameraTrackCandidate>& list, CameraTrackKind kind) {
    return std::any_of(list.begin(), list.end(), [&](const CameraTrackCandidate& c) { return c.kind == kind; });
}

}  // namespace

CameraTrackTable::CameraTrackTable(const AnalysisResult& analysis) {
    const std::size_t tracks =
        std::min(analysis.tracks.size(), std::size_t(std::max<std::int32_t>(analysis.trackCount, 0)));
    for (std::size_t i = 0; i < tracks; ++i) {
        const TrackRecord& track = analysis.tracks[i];
        if (track.typeIndex == 1 || track.typeIndex == 2) continue;
        const CameraTrackKind kind = kindOf(track);
        const std::string tag = "[" + track.sampleDescCoding + "]";
        std::unordered_set<std::uint32_t> seen;
        for (const SampleSignature& signature : track.sampleSignatures) {
            // Only the track's first signature with a word counts for it.
            if (!seen.insert(signature.value).second) continue;
            // A time-code or other track whose size is not positive skips nothing, so the rules
            // go on to the next track as if it had no such signature; a "gpmd" track takes its
            // size from the bytes before the sample instead.
            if (kind != CameraTrackKind::Gpmd && signature.size <= 0) continue;
            std::vector<CameraTrackCandidate>& list = words_[signature.value];
            if (hasKind(list, kind)) continue;
            list.push_back({kind, signature.size, tag});
        }
    }
}
