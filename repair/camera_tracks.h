#pragma once
// The reference's camera tracks (neither audio nor video: time code, camera metadata) as the
// camera-track rules ask about them, decided once per run. The rules go through the tracks in
// order and take the first whose signature starts with the length word at a position; a track
// without such a signature never answers. So the table keys the tracks by their signatures'
// first words, and for each word keeps only the tracks that can decide: the first "gpmd" track
// (whether a "gpmd" track matches depends on the position, the same for all of them), the
// first time-code track and the first other track with a positive size (whether those match
// depends on the preset and the junk run, the same for all of each kind). A lookup then costs
// the same however many tracks the reference has.
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "reference/records.h"

enum class CameraTrackKind { Gpmd, Timecode, Other };

// One track's answer for one word.
struct CameraTrackCandidate {
    CameraTrackKind kind = CameraTrackKind::Other;
    std::int64_t size = 0;  // the size of the track's first signature with the word
    std::string tag;        // "[" + coding + "]"
};

class CameraTrackTable {
public:
    CameraTrackTable() = default;
    // The tracks of `analysis` that the rules look at: at most `trackCount`, never past the
    // last record, audio and video left out.
    explicit CameraTrackTable(const AnalysisResult& analysis);

    // The deciding tracks for `lengthWord`, in track order (at most one of each kind); empty
    // when no camera track has a signature starting with it.
    const std::vector<CameraTrackCandidate>& candidates(std::uint32_t lengthWord) const {
        if (words_.empty()) return none_;
        const auto found = words_.find(lengthWord);
        return found == words_.end() ? none_ : found->second;
    }

private:
    std::unordered_map<std::uint32_t, std::vector<CameraTrackCandidate>> words_;
    std::vector<CameraTrackCandidate> none_;
};
