// The first walk over the engine's stream: access units found by their start codes, split
// and ordered by the parser, whatever size the stream is read in.
#include <gtest/gtest.h>

#include <cstdlib>
#include <numeric>
#include <sstream>

#include "jobs/access_units.h"
#include "tests/support/test_clips.h"
#include "tests/support/test_files.h"
#include "tests/support/test_process.h"

using namespace testsupport;

namespace {

struct SplitCase {
    const char* name;
    VideoCodec codec;
    const char* bitstreamFilter;
    const char* rawFormat;
};
void PrintTo(const SplitCase& c, std::ostream* os) { *os << c.name; }
class StreamTimelineSplit : public ::testing::TestWithParam<SplitCase> {};

// Packet sizes of the raw stream as the ffmpeg tool's own demuxer splits it.
std::vector<long long> toolPacketSizes(const std::string& raw) {
    const ProcessResult r = runProcess({"ffprobe", "-v", "error", "-show_entries", "packet=size", "-of", "csv=p=0", raw});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::vector<long long> sizes;
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line))
        if (!line.empty()) sizes.push_back(std::atoll(line.c_str()));
    return sizes;
}

}  // namespace

TEST_P(StreamTimelineSplit, UnitsTileTheStreamAsTheParserSplitsIt) {
    ClipSettings settings = clipSettings(GetParam().codec, AudioCodec::None, Container::Mp4);
    const std::string original = clip(settings);
    ASSERT_FALSE(original.empty());
    TempDir dir;
    const std::string raw = dir.file("out-video.h264");
    const ProcessResult r = runProcess({"ffmpeg", "-nostdin", "-loglevel", "error", "-i", original, "-c:v", "copy",
                                        "-bsf:v", GetParam().bitstreamFilter, "-f", GetParam().rawFormat, raw});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const long long bytes = static_cast<long long>(readFile(raw).size());
    const std::vector<long long> tool = toolPacketSizes(raw);
    ASSERT_EQ(tool.size(), 50u);

    StreamTimeline first;
    // Start codes and slice heads cut by every kind of read boundary.
    for (std::size_t chunk : {std::size_t(1), std::size_t(2), std::size_t(3), std::size_t(5), std::size_t(4096),
                              std::size_t(65537), std::size_t(8) << 20}) {
        SCOPED_TRACE("chunk " + std::to_string(chunk));
        StreamTimeline timeline;
        const Outcome read = readStreamTimeline(QString::fromStdString(raw), timeline, chunk);
        ASSERT_TRUE(read) << read.reason();
        ASSERT_EQ(timeline.units.size(), tool.size());
        EXPECT_EQ(timeline.width, settings.width);
        EXPECT_EQ(timeline.height, settings.height);
        EXPECT_FALSE(timeline.parameterSets.empty());
        long long next = 0;
        for (std::size_t i = 0; i < timeline.units.size(); ++i) {
            EXPECT_EQ(timeline.units[i].offset, next) << "unit " << i;
            // The tool gives a four-byte start code's first zero to the unit it opens; here it
            // ends the unit before.
            EXPECT_LE(std::llabs(timeline.units[i].size - tool[i]), 1) << "unit " << i;
            next += timeline.units[i].size;
        }
        EXPECT_EQ(next, bytes);
        EXPECT_TRUE(timeline.units[0].order.key);
        if (first.units.empty()) {
            first = timeline;
            continue;
        }
        for (std::size_t i = 0; i < timeline.units.size(); ++i) {
            EXPECT_EQ(timeline.units[i].size, first.units[i].size) << "unit " << i;
            EXPECT_EQ(timeline.units[i].order.pictureOrder, first.units[i].order.pictureOrder) << "unit " << i;
            EXPECT_EQ(timeline.units[i].order.key, first.units[i].order.key) << "unit " << i;
        }
        EXPECT_EQ(timeline.display, first.display);
        EXPECT_EQ(timeline.delay, first.delay);
    }
    // x264's and x265's defaults reorder pictures.
    EXPECT_GT(first.delay, 0);
}

INSTANTIATE_TEST_SUITE_P(Codecs, StreamTimelineSplit,
                         ::testing::Values(SplitCase{"h264", VideoCodec::H264, "h264_mp4toannexb", "h264"},
                                           SplitCase{"h265", VideoCodec::H265, "hevc_mp4toannexb", "hevc"}),
                         [](const auto& info) { return std::string(info.param.name); });
