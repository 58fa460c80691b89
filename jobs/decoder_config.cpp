#include "jobs/decoder_config.h"

#include "media/start_codes.h"
#include "mp4/avc_config.h"
#include "mp4/hevc_config.h"

namespace {

using RecordWriter = bool (*)(const std::vector<mp4::ByteSpan>& parameterSets, std::vector<std::uint8_t>& record);

struct CodecRecord {
    StreamCodec codec;
    RecordWriter write;
};
const CodecRecord kRecords[] = {
    {StreamCodec::H264, mp4::writeAvcConfig},
    {StreamCodec::Hevc, mp4::writeHevcConfig},
};

}  // namespace

bool decoderConfigOf(StreamCodec codec, const std::vector<std::uint8_t>& annexB, std::vector<std::uint8_t>& record) {
    for (const CodecRecord& r : kRecords) {
        if (r.codec != codec) continue;
        std::vector<NalRange> ranges;
        splitNalUnits(annexB.data(), annexB.size(), ranges);
        std::vector<mp4::ByteSpan> units;
        for (const NalRange& range : ranges)
            if (range.begin < range.end) units.push_back({annexB.data() + range.begin, range.end - range.begin});
        return r.write(units, record);
    }
    return false;
}
