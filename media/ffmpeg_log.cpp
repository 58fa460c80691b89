#include "media/ffmpeg_log.h"

extern "C" {
#include <libavutil/log.h>
}

void setFfmpegLogLevel(FfmpegLogLevel level) {
    av_log_set_level(level == FfmpegLogLevel::Quiet ? AV_LOG_QUIET : AV_LOG_INFO);
}
