#pragma once
// The labels of the packets a repair recognised, in order: a video packet by its NAL unit type's
// name in the run's coding, a special packet by its tag, a run of junk as "audio" or "skip".
// Only the first labels are ever examined (classifyLastPackets reads from the start), so the
// list keeps those plus what the scan asks about the latest label; memory stays bounded however
// long the file is. The decisions read each label's kind, never its text.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "repair/run_formats.h"
#include "repair/special_kind.h"

class PacketList {
public:
    enum class Kind : std::uint8_t { Video, Special, Audio, Skip };

    // Labels beyond this many are counted but not stored: classification reads at most this far.
    static constexpr std::size_t kKeptLabels = 1502;
    // Distinct special-packet tags tallied (tags come from fixed tables and the reference's tracks).
    static constexpr std::size_t kMaxTags = 128;

    struct TagCount {
        std::string tag;
        std::uint64_t count = 0;
    };

    void clear();
    // A NAL unit or delimiter written to the video output, by its NAL unit type in `coding`.
    void addVideo(int nalType, VideoCoding coding);
    // A skipped special packet or box, by its kind and the tag it is shown by.
    void addSpecial(SpecialKind kind, const std::string& tag);
    void addAudio();   // a junk run written as audio
    void addSkip();    // a junk run dropped as not audio

    std::uint64_t count() const { return count_; }
    bool empty() const { return count_ == 0; }
    // Kind of the most recent label; Video when the list is empty.
    Kind lastKind() const { return lastKind_; }
    // Whether the most recent label is a run of counting time-code words.
    bool lastIsSuite() const { return lastIsSuite_; }
    // Kind and text of label i, for i below min(count(), kKeptLabels).
    Kind kindAt(std::size_t i) const { return Kind(kinds_[i]); }
    const std::string& labelAt(std::size_t i) const { return labels_[i]; }
    // Special-packet tags seen in this run with how often, in the order first seen.
    const std::vector<TagCount>& tags() const { return tags_; }

    // True when an audio or skipped run lies among the first labels and no two such runs stand
    // two labels apart (at least 25 labels needed).
    bool classifyLastPackets() const;

private:
    void push(Kind kind, std::string_view label);

    std::vector<std::uint8_t> kinds_;
    std::vector<std::string> labels_;
    std::vector<TagCount> tags_;
    std::uint64_t count_ = 0;
    Kind lastKind_ = Kind::Video;
    bool lastIsSuite_ = false;
    // Once every examined label is in, the answer no longer changes.
    mutable bool settled_ = false;
    mutable bool settledAnswer_ = false;
};
