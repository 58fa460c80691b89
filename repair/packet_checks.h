#pragma once
// The small tests the scan asks at a byte position: where the media data begins, delimiters,
// container boxes, samples of the reference's non-audio/video tracks, and the look-ahead that
// confirms a candidate by what follows it. None of them writes output.
#include <cstdint>
#include <string>
#include <vector>

#include "reference/records.h"
#include "repair/camera_tracks.h"
#include "repair/preset_traits.h"
#include "repair/run_formats.h"
#include "repair/scan_source.h"

// Bytes of the buffer searched for the media data box.
constexpr std::int64_t kMdatSearchLimit = 30000000;

// Position just after the first "mdat" in the first kMdatSearchLimit bytes, or 0.
std::int64_t findMdat(const std::uint8_t* buf, std::int64_t length);

// An access unit delimiter of length 2 for I, I/P or I/P/B pictures at `pos`.
bool isAudPacket(const std::uint8_t* buf, std::int64_t valid, std::int64_t pos);

// Whether an MP4 box header starts at `pos`; `code` receives the word at pos + 4 (0 when it
// lies past `valid`).
bool isContainerBox(const std::uint8_t* buf, std::int64_t valid, std::int64_t pos, std::uint32_t& code);

// The box type's own code as text, or "unknown".
const char* boxTypeName(std::uint32_t code);

// The codes of the container boxes isContainerBox knows.
std::vector<std::uint32_t> containerBoxCodes();

// One of the 61 three-byte slice headers accepted for H.264 type-1 units of Canon cameras.
bool isCanonSliceWord(std::uint32_t word24);

// Values owned by the scan that the camera-track rules read.
struct ScanValues {
    std::int64_t junkRunLength = 0;     // bytes collected since the last taken packet
    std::int64_t chunkSampleCount = 0;  // PCM sample size x samples per chunk; 0 for compressed audio
    bool sharedFlag = false;
};

// Recognises a sample of a reference track that is neither audio nor video by the track's
// recorded {size, first word} signatures, asking the run's table of those tracks (built once
// from the reference). On a match with a positive skip sets `skip` and `tag` and returns true;
// otherwise leaves both alone. `signatureOnly` (the look-ahead): a "gpmd" signature match
// counts without the size word that stands before the sample.
bool cameraAtomRules(const std::uint8_t* buf, std::int64_t valid, std::int64_t pos, std::uint32_t lengthWord,
                     const CameraTrackTable& tracks, const PresetTraits& preset, const ScanValues& scan,
                     std::int64_t& skip, std::string& tag, bool signatureOnly = false);

// Result text prefix of every look-ahead.
constexpr const char* kNextPacketChecked = "- NextPacketChecked=";
// Bytes examined after the candidate.
constexpr std::int64_t kLookAheadBytes = 1000;

// Confirms a candidate NAL unit of `candidateLength` payload bytes whose length word is at buffer
// position `pos`, by the packet that follows it at pos + 4 + candidateLength. Reads past the
// buffer from the file when needed; accepts unchecked when fewer than kLookAheadBytes bytes
// of the file follow the candidate.
// `result` is set to kNextPacketChecked plus "true (specific atoms)", "true (classic packet)"
// or "false" (nothing appended for a refused header word).
bool checkNextPacket(const ScanSource& src, std::int64_t pos, std::int64_t candidateLength,
                     const AnalysisResult& analysis, const CameraTrackTable& cameraTracks, const PresetTraits& preset,
                     const ScanValues& scan, VideoCoding video, std::string& result);

// The same check for a special packet of `skip` bytes at `pos`: the next packet starts right
// after it, at pos + skip.
bool checkAfterSpecialPacket(const ScanSource& src, std::int64_t pos, std::int64_t skip,
                             const AnalysisResult& analysis, const CameraTrackTable& cameraTracks,
                             const PresetTraits& preset, const ScanValues& scan, VideoCoding video, std::string& result);
