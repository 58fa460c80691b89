#pragma once
// Track type numbers by handler type (1 audio, 2 video, 3 system, 4 hint, 5 text, 6 JPEG,
// 7 RTP, 8 subtitles; 0 for handlers without a type).
#include <cstdint>

namespace mp4 {

std::int32_t trackTypeFor(std::uint32_t handlerType);

}  // namespace mp4
