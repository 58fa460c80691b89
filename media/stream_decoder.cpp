#include "media/stream_decoder.h"

int openStreamDecoder(bool hevc, CodecContextPtr& context, EarlyPictures early, Strictness strictness) {
    context.reset();
    const AVCodec* codec = avcodec_find_decoder(hevc ? AV_CODEC_ID_HEVC : AV_CODEC_ID_H264);
    if (!codec) return AVERROR_DECODER_NOT_FOUND;
    CodecContextPtr opened(avcodec_alloc_context3(codec));
    if (!opened) return AVERROR(ENOMEM);
    if (early == EarlyPictures::HandedOut) {
        opened->flags |= AV_CODEC_FLAG_OUTPUT_CORRUPT;
        opened->flags2 |= AV_CODEC_FLAG2_SHOW_ALL;
    }
    if (strictness == Strictness::RefuseFaults) opened->err_recognition |= AV_EF_EXPLODE;
    const int result = avcodec_open2(opened.get(), codec, nullptr);
    if (result < 0) return result;
    context = std::move(opened);
    return 0;
}
