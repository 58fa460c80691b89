#include "mp4/format_table.h"

#include "mp4/fourcc_text.h"

namespace mp4 {

namespace {

const FormatInfo kFormats[] = {
    {fourcc("avc1"), "H.264", fourcc("avcC"), kDescriptionAvc},
    {fourcc("avc2"), "H.264", fourcc("avcC"), kDescriptionAvc},
    {fourcc("avc3"), "H.264", fourcc("avcC"), kDescriptionAvc},
    {fourcc("avc4"), "H.264", fourcc("avcC"), kDescriptionAvc},
    {fourcc("hvc1"), "H.265", fourcc("hvcC"), kDescriptionHevc},
    {fourcc("hev1"), "H.265", fourcc("hvcC"), kDescriptionHevc},
    {fourcc("mp4a"), "MPEG-4 Audio", fourcc("esds"), kDescriptionMpeg},
    {fourcc("mp4v"), nullptr, fourcc("esds"), kDescriptionMpeg},
    {fourcc("mp4s"), nullptr, fourcc("esds"), kDescriptionMpeg},
};

}  // namespace

FormatInfo formatInfo(std::uint32_t format) {
    for (const FormatInfo& row : kFormats)
        if (row.format == format) return row;
    FormatInfo none;
    none.format = format;
    return none;
}

std::string formatName(std::uint32_t format) {
    const FormatInfo info = formatInfo(format);
    return info.name ? std::string(info.name) : fourccText(format);
}

}  // namespace mp4
