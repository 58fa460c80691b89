#include "repair/packet_list.h"

#include <algorithm>

#include "reference/nal_type_names.h"

namespace {

const char* const kAudioLabel = "audio";
const char* const kSkipLabel = "skip";

const char* nalTypeName(int type, VideoCoding coding) {
    return coding == VideoCoding::H265 ? hevcNalTypeName(type) : h264NalTypeName(type);
}

}  // namespace

void PacketList::clear() {
    kinds_.clear();
    labels_.clear();
    tags_.clear();
    count_ = 0;
    lastKind_ = Kind::Video;
    lastIsSuite_ = false;
    settled_ = false;
}

void PacketList::push(Kind kind, std::string_view label) {
    if (kinds_.size() < kKeptLabels) {
        kinds_.push_back(std::uint8_t(kind));
        labels_.emplace_back(label);
    }
    ++count_;
    lastKind_ = kind;
    lastIsSuite_ = false;
}

void PacketList::addVideo(int nalType, VideoCoding coding) { push(Kind::Video, nalTypeName(nalType, coding)); }
void PacketList::addAudio() { push(Kind::Audio, kAudioLabel); }
void PacketList::addSkip() { push(Kind::Skip, kSkipLabel); }

void PacketList::addSpecial(SpecialKind kind, const std::string& tag) {
    push(Kind::Special, tag);
    lastIsSuite_ = kind == SpecialKind::TimecodeSuite;
    auto it = std::find_if(tags_.begin(), tags_.end(), [&](const TagCount& t) { return t.tag == tag; });
    if (it != tags_.end()) {
        ++it->count;
    } else if (tags_.size() < kMaxTags) {
        tags_.push_back({tag, 1});
    }
}

bool PacketList::classifyLastPackets() const {
    if (count_ < 25) return false;
    if (settled_) return settledAnswer_;
    const std::size_t limit = std::size_t(std::min<std::uint64_t>(count_ - 2, kKeptLabels - 2));
    auto isRun = [](std::uint8_t k) { return k == std::uint8_t(Kind::Audio) || k == std::uint8_t(Kind::Skip); };
    bool hit = false;
    for (std::size_t i = 0; i < limit; ++i) {
        if (!isRun(kinds_[i])) continue;
        if (isRun(kinds_[i + 2])) {
            if (count_ >= kKeptLabels) settled_ = true, settledAnswer_ = false;
            return false;
        }
        hit = true;
    }
    if (count_ >= kKeptLabels) {
        settled_ = true;
        settledAnswer_ = hit;
    }
    return hit;
}
