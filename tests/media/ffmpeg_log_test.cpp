#include "media/ffmpeg_log.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/log.h>
}

#include "media/decoder_complaints.h"
#include "media/stream_decoder.h"

namespace {

// Puts back the level the test program set, whatever a test did.
struct LevelRestorer {
    ~LevelRestorer() { setFfmpegLogLevel(FfmpegLogLevel::Quiet); }
};

}  // namespace

// The level is the program's: opening decoders, as the preview and the diagnosis do, leaves it.
TEST(FfmpegLog, OpeningADecoderKeepsTheProgramsLevel) {
    const LevelRestorer restore;
    setFfmpegLogLevel(FfmpegLogLevel::Default);
    for (const bool hevc : {false, true}) {
        CodecContextPtr context;
        ASSERT_EQ(openStreamDecoder(hevc, context), 0);
        EXPECT_EQ(av_log_get_level(), AV_LOG_INFO) << (hevc ? "H.265" : "H.264");
    }
    setFfmpegLogLevel(FfmpegLogLevel::Quiet);
    EXPECT_EQ(av_log_get_level(), AV_LOG_QUIET);
}

// Complaints are counted whatever the level, so a quiet program still learns of a faulty picture.
TEST(FfmpegLog, ComplaintsAreCountedAtAnyLevel) {
    const LevelRestorer restore;
    for (const FfmpegLogLevel level : {FfmpegLogLevel::Quiet, FfmpegLogLevel::Default}) {
        setFfmpegLogLevel(level);
        const DecoderComplaints complaints;
        av_log(nullptr, AV_LOG_ERROR, "a complaint\n");
        av_log(nullptr, AV_LOG_DEBUG, "not a complaint\n");
        EXPECT_EQ(complaints.count(), 1);
    }
}
