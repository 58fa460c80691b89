#pragma once
// What the layer knows about sample entry formats: their display name, the configuration box
// that makes them a known kind of description, and that kind's description type number.
#include <cstdint>
#include <string>

namespace mp4 {

// Description type numbers, as the reference description stores them.
enum DescriptionType : std::int32_t {
    kDescriptionOther = 0,
    kDescriptionMpeg = 1,  // MPEG-4 elementary stream (esds)
    kDescriptionAvc = 3,
    kDescriptionHevc = 4,
};

struct FormatInfo {
    std::uint32_t format = 0;
    const char* name = nullptr;      // nullptr: the format has no name and shows as its code
    std::uint32_t configBox = 0;     // 0: no configuration box
    DescriptionType type = kDescriptionOther;  // when the configuration box is present
};

// The row for `format`; a row with only the format filled in when the table has none.
FormatInfo formatInfo(std::uint32_t format);

// The format's name, or its four characters when it has none.
std::string formatName(std::uint32_t format);

}  // namespace mp4
