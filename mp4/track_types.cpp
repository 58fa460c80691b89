#include "mp4/track_types.h"

#include "mp4/fourcc_text.h"

namespace mp4 {

namespace {

struct HandlerType {
    std::uint32_t handler;
    std::int32_t type;
};

const HandlerType kTrackTypes[] = {
    {fourcc("soun"), 1}, {fourcc("vide"), 2}, {fourcc("odsm"), 3}, {fourcc("sdsm"), 3},
    {fourcc("hint"), 4}, {fourcc("text"), 5}, {fourcc("jpeg"), 6}, {fourcc("rtp "), 7},
    {fourcc("subt"), 8}, {fourcc("sbtl"), 8},
};

}  // namespace

std::int32_t trackTypeFor(std::uint32_t handlerType) {
    for (const HandlerType& row : kTrackTypes)
        if (row.handler == handlerType) return row.type;
    return 0;
}

}  // namespace mp4
