// The structure analysis and the document Ordwick writes, against FFmpeg's view of the same
// clips: its demuxer's streams, its mp4-to-Annex-B filters' parameter sets, and the packets
// and frames as the ffprobe tool shows them.
#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>
#include <cctype>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "media/access_codes.h"
#include "mp4/byte_order.h"
#include "mp4/nal_header.h"
#include "media/ffmpeg_handles.h"
#include "reference/analysis_entry.h"
#include "reference/document_writer.h"
#include "reference/mp4_structure.h"
#include "tests/support/test_clips.h"
#include "tests/support/test_files.h"
#include "tests/support/test_process.h"

namespace pt = boost::property_tree;
using testsupport::AudioCodec;
using testsupport::ClipSettings;
using testsupport::clipSettings;
using testsupport::Container;
using testsupport::VideoCodec;

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string hex(const std::uint8_t* data, int size) {
    static const char d[] = "0123456789abcdef";
    std::string s;
    for (int i = 0; i < size; ++i) s += std::string{d[data[i] >> 4], d[data[i] & 15]};
    return s;
}

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// The parameter sets as the mp4-to-Annex-B filter emits them: its output extradata.
std::string annexBParameterSets(const AVStream* stream) {
    const char* name = stream->codecpar->codec_id == AV_CODEC_ID_HEVC ? "hevc_mp4toannexb" : "h264_mp4toannexb";
    const AVBitStreamFilter* filter = av_bsf_get_by_name(name);
    if (!filter) return "no filter";
    AVBSFContext* bsf = nullptr;
    if (av_bsf_alloc(filter, &bsf) < 0) return "no filter";
    std::string out = "filter failed";
    if (avcodec_parameters_copy(bsf->par_in, stream->codecpar) >= 0) {
        bsf->time_base_in = stream->time_base;
        if (av_bsf_init(bsf) >= 0) out = hex(bsf->par_out->extradata, bsf->par_out->extradata_size);
    }
    av_bsf_free(&bsf);
    return out;
}

// The NAL length size from the stream's own avcC / hvcC record.
unsigned lengthSizeOf(const AVStream* stream) {
    const AVCodecParameters* par = stream->codecpar;
    const int at = par->codec_id == AV_CODEC_ID_HEVC ? 21 : 4;
    return par->extradata_size > at ? (par->extradata[at] & 3u) + 1 : 0;
}

// The packets of stream `index` as `ffprobe -show_packets -show_data` prints them: after
// "data=", lines of an offset, eight groups of four hex digits and the text column.
std::vector<Bytes> ffprobePackets(const std::string& path, int index) {
    const testsupport::ProcessResult r =
        testsupport::runProcess({"ffprobe", "-v", "error", "-select_streams", std::to_string(index), "-show_packets",
                                 "-show_data", "-show_entries", "packet=size,data", path});
    std::vector<Bytes> packets;
    if (r.exitCode != 0) return packets;
    std::istringstream lines(r.out);
    std::string line;
    std::size_t declared = 0;
    bool inData = false;
    while (std::getline(lines, line)) {
        if (line == "[PACKET]") {
            packets.emplace_back();
        } else if (line.rfind("size=", 0) == 0) {
            declared = std::stoul(line.substr(5));
        } else if (line == "data=") {
            inData = true;
        } else if (line == "[/PACKET]") {
            inData = false;
            if (packets.empty() || packets.back().size() != declared) return {};  // misread dump
        } else if (inData && line.size() > 10 && line[8] == ':') {
            std::string digits = line.substr(10, 40);
            digits.erase(std::remove(digits.begin(), digits.end(), ' '), digits.end());
            for (std::size_t i = 0; i + 1 < digits.size(); i += 2)
                packets.back().push_back(static_cast<std::uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
        }
    }
    return packets;
}

// Picture types of the stream's frames as ffprobe decodes them ("I", "P", "B" counts).
std::map<char, int> ffprobePictureTypes(const std::string& path, int index) {
    const testsupport::ProcessResult r = testsupport::runProcess(
        {"ffprobe", "-v", "error", "-select_streams", std::to_string(index), "-show_entries", "frame=pict_type", "-of",
         "compact=p=0:nk=1", path});
    std::map<char, int> counts;
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line))
        if (!line.empty() && std::isalpha(static_cast<unsigned char>(line[0]))) ++counts[line[0]];
    return counts;
}

// Per-type statistics computed from packets the way the reference learns them.
std::array<NalTypeStats, kNalTypeCount> statsFrom(const std::vector<Bytes>& packets, unsigned lengthSize, bool hevc) {
    AnalysisResult fresh;
    std::array<NalTypeStats, kNalTypeCount> stats = fresh.nalStats;
    for (const Bytes& p : packets) {
        std::size_t pos = 0;
        while (p.size() - pos >= lengthSize) {
            const std::uint32_t size = mp4::beWord(p.data() + pos, lengthSize);
            pos += lengthSize;
            auto at = [&](std::size_t i) -> std::uint8_t { return pos + i < p.size() ? p[pos + i] : 0; };
            const std::uint8_t header[] = {at(0), at(1), at(2)};
            const int type = mp4::nalTypeOf(header[0], hevc);
            stats[type].minSize = std::min(stats[type].minSize, size);
            stats[type].maxSize = std::max(stats[type].maxSize, size);
            stats[type].addHeaderWord(mp4::headerWordOf(header, type, hevc));
            if (size > p.size() - pos) break;
            pos += size;
        }
    }
    return stats;
}

// A number of the document (read as text: Boost's own conversion to int warns under some builds).
int number(const pt::ptree& tree, const std::string& path) { return std::stoi(tree.get<std::string>(path)); }

struct ClipCase {
    const char* name;
    ClipSettings settings;
    std::int32_t pcmSampleSize;  // expected for the audio track
    bool timecode;
};

void PrintTo(const ClipCase& c, std::ostream* os) { *os << c.name; }

class AgainstFfmpeg : public testing::TestWithParam<ClipCase> {
protected:
    void SetUp() override {
        path_ = testsupport::clip(GetParam().settings);
        ASSERT_FALSE(path_.empty());
        AVFormatContext* raw = nullptr;
        ASSERT_EQ(avformat_open_input(&raw, path_.c_str(), nullptr, nullptr), 0);
        format_.reset(raw);
        ASSERT_GE(avformat_find_stream_info(raw, nullptr), 0);
        for (unsigned i = 0; i < raw->nb_streams; ++i)
            if (raw->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) videoIndex_ = static_cast<int>(i);
        ASSERT_GE(videoIndex_, 0);
    }

    const AVStream* video() const { return format_->streams[videoIndex_]; }
    bool hevc() const { return video()->codecpar->codec_id == AV_CODEC_ID_HEVC; }

    std::string path_;
    FormatInputPtr format_;
    int videoIndex_ = -1;
};

}  // namespace

TEST_P(AgainstFfmpeg, TracksAndSampleDescriptions) {
    const ClipCase& c = GetParam();
    AnalysisResult result;
    parseMp4File(path_, result);
    ASSERT_EQ(result.trackCount, static_cast<int>(format_->nb_streams));
    ASSERT_EQ(result.tracks.size(), format_->nb_streams);

    int signatures = 0;
    for (unsigned i = 0; i < format_->nb_streams; ++i) {
        SCOPED_TRACE(i);
        const AVStream* st = format_->streams[i];
        const TrackRecord& t = result.tracks[i];
        EXPECT_EQ(t.id, st->id);
        EXPECT_EQ(t.sampleCount, static_cast<std::uint32_t>(st->nb_frames));
        if (st->time_base.num == 1) {
            EXPECT_EQ(t.mediaTimeScale, static_cast<std::uint32_t>(st->time_base.den));
        }
        switch (st->codecpar->codec_type) {
        case AVMEDIA_TYPE_VIDEO:
            EXPECT_EQ(t.typeName, "Video");
            EXPECT_EQ(t.sampleWidth, st->codecpar->width);
            EXPECT_EQ(t.sampleHeight, st->codecpar->height);
            EXPECT_EQ(t.nalLengthSize, lengthSizeOf(st));
            EXPECT_EQ(t.sampleDescCoding, hevc() ? "H.265" : "H.264");
            EXPECT_NEAR(t.frameRate, av_q2d(st->avg_frame_rate), 0.01);
            break;
        case AVMEDIA_TYPE_AUDIO:
            EXPECT_EQ(t.typeName, "Audio");
            EXPECT_EQ(t.sampleRate, static_cast<std::uint32_t>(st->codecpar->sample_rate));
            EXPECT_EQ(t.channelCount, st->codecpar->ch_layout.nb_channels);
            EXPECT_EQ(t.pcmSampleSize, c.pcmSampleSize);
            if (st->codecpar->codec_id == AV_CODEC_ID_AAC) {
                EXPECT_EQ(t.sampleDescCoding, "MPEG-4 Audio");
                EXPECT_EQ(t.audioHeaderHex.size(), 14u);
            }
            break;
        default:
            signatures += static_cast<int>(t.sampleSignatures.size());
            EXPECT_EQ(t.typeName, "Unknown (tmcd)");
            EXPECT_EQ(t.sampleDescCoding, "tmcd");
            break;
        }
    }
    EXPECT_EQ(signatures, c.timecode ? 1 : 0);

    // Slice types: one slice per picture in these clips, so they count like ffprobe's pictures.
    if (hevc()) return;
    EXPECT_EQ(video()->codecpar->profile, FF_PROFILE_H264_HIGH);
    static const char kSliceKinds[] = "PBI??";  // by slice_type % 5; SP and SI do not occur
    std::map<char, int> slices;
    for (const NalEntry& e : result.tracks[videoIndex_].nalList) {
        if (e.type == 5) ++slices['I'];
        if (e.type == 1) ++slices[e.sliceType >= 0 ? kSliceKinds[e.sliceType % 5] : '-'];
    }
    EXPECT_EQ(slices, ffprobePictureTypes(path_, videoIndex_));
    EXPECT_GT(slices['B'], 0) << "the clip should hold B-frames";
}

TEST_P(AgainstFfmpeg, DocumentAgreesWithTheClipsPackets) {
    const ClipCase& c = GetParam();
    testsupport::TempDir dir;
    const std::string out = dir.file("ref.xml");
    const testsupport::ProcessResult run =
        testsupport::runProcess({testsupport::programPath("Ordwick"), path_, kReferenceAccessCode, out});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    pt::ptree doc;
    pt::read_xml(out, doc);
    const pt::ptree& root = doc.get_child("videopreset");

    EXPECT_EQ(root.get<std::string>("videoheader"), upper(annexBParameterSets(video())));
    EXPECT_EQ(number(root, "nbtracks"), static_cast<int>(format_->nb_streams));
    EXPECT_EQ(number(root, "audio.pcm_SampleSize"), c.pcmSampleSize);

    int timecodeSignatures = 0;
    for (const auto& [name, track] : root.get_child("tracks")) {
        const std::string type = track.get<std::string>("type");
        SCOPED_TRACE(type);
        const bool aac = track.get<std::string>("sampleDescCoding") == "MPEG-4 Audio";
        EXPECT_EQ(number(track, "minsize"), aac ? 0 : 16777215);
        EXPECT_EQ(number(track, "maxsize"), aac ? 16777215 : 0);
        if (type == "Unknown (tmcd)") timecodeSignatures += static_cast<int>(track.get_child("hexcode").size());
    }
    EXPECT_EQ(timecodeSignatures, c.timecode ? 1 : 0);

    const std::vector<Bytes> packets = ffprobePackets(path_, videoIndex_);
    ASSERT_EQ(packets.size(), static_cast<std::size_t>(video()->nb_frames));
    const auto expected = statsFrom(packets, lengthSizeOf(video()), hevc());
    int type = 0;
    int typesSeen = 0;
    for (const auto& [name, packet] : root.get_child("packets")) {
        SCOPED_TRACE(type);
        ASSERT_LT(type, kNalTypeCount);
        EXPECT_EQ(number(packet, "type"), type);
        EXPECT_EQ(packet.get<std::string>("min"), formatWord(expected[type].minSize));
        EXPECT_EQ(packet.get<std::string>("max"), formatWord(expected[type].maxSize));
        std::vector<std::string> words, expectedWords;
        for (const auto& [bytesName, bytes] : packet.get_child("hexcode")) words.push_back(bytes.get<std::string>("value"));
        for (std::uint32_t word : expected[type].headerWords) expectedWords.push_back(formatWord(word));
        EXPECT_EQ(words, expectedWords);
        typesSeen += expected[type].seen() ? 1 : 0;
        ++type;
    }
    EXPECT_EQ(type, kNalTypeCount);
    EXPECT_GE(typesSeen, 2);
}

INSTANTIATE_TEST_SUITE_P(
    Clips, AgainstFfmpeg,
    testing::Values(ClipCase{"H264HighAac", clipSettings(VideoCodec::H264, AudioCodec::Aac, Container::Mp4), 0, false},
                    ClipCase{"H265Aac", clipSettings(VideoCodec::H265, AudioCodec::Aac, Container::Mp4), 0, false},
                    ClipCase{"H264TwosTimecodeAudioFirst",
                             clipSettings(VideoCodec::H264, AudioCodec::PcmS16be, Container::Mov,
                                  {"-map", "1:a", "-map", "0:v", "-timecode", "01:00:00:00"}),
                             4, true},
                    ClipCase{"H264Sowt", clipSettings(VideoCodec::H264, AudioCodec::PcmS16le, Container::Mov), 4, false}),
    [](const testing::TestParamInfo<ClipCase>& info) { return std::string(info.param.name); });
