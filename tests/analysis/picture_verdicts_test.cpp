// Pictures told apart by their content: the digest follows the visible pixels, format and size,
// never the row padding, and the kept verdicts are bounded.
#include "analysis/picture_verdicts.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "media/ffmpeg_handles.h"

extern "C" {
#include <libavutil/common.h>
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
}

namespace {

// A frame of `format` whose planes, padding included, hold a pattern of the coordinates and of
// `align`, the bytes its rows are aligned to.
FramePtr patternFrame(AVPixelFormat format, int width, int height, int align) {
    FramePtr frame(av_frame_alloc());
    frame->format = format;
    frame->width = width;
    frame->height = height;
    if (av_frame_get_buffer(frame.get(), align) < 0) return nullptr;
    const int chromaShift = av_pix_fmt_desc_get(format)->log2_chroma_h;
    for (int plane = 0; plane < AV_NUM_DATA_POINTERS && frame->data[plane]; ++plane) {
        const int rows = plane == 0 ? height : AV_CEIL_RSHIFT(height, chromaShift);
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < frame->linesize[plane]; ++x)
                frame->data[plane][y * frame->linesize[plane] + x] = std::uint8_t(x * 7 + y * 3 + plane + align);
    }
    return frame;
}

PictureVerdicts::Digest digestOf(const AVFrame* frame) {
    PictureVerdicts::Digest digest{};
    EXPECT_TRUE(PictureVerdicts::digestOf(frame, digest));
    return digest;
}

struct Change {
    const char* name;
    std::function<FramePtr()> make;
};

TEST(PictureVerdicts, RowPaddingDoesNotChangeTheDigest) {
    const FramePtr a = patternFrame(AV_PIX_FMT_YUV420P, 97, 31, 1);
    FramePtr b = patternFrame(AV_PIX_FMT_YUV420P, 97, 31, 64);
    ASSERT_GE(av_frame_copy(b.get(), a.get()), 0);  // the same pixels; the padding keeps its own
    ASSERT_NE(a->linesize[0], b->linesize[0]);
    EXPECT_EQ(digestOf(a.get()), digestOf(b.get()));
}

TEST(PictureVerdicts, PixelsFormatAndSizeChangeTheDigest) {
    const FramePtr base = patternFrame(AV_PIX_FMT_YUV420P, 96, 32, 32);
    const PictureVerdicts::Digest baseDigest = digestOf(base.get());
    const auto flipped = [&](int plane, int x, int y) {
        FramePtr f = patternFrame(AV_PIX_FMT_YUV420P, 96, 32, 32);
        f->data[plane][y * f->linesize[plane] + x] ^= 1;
        return f;
    };
    const Change changes[] = {
        {"OneLumaPixel", [&] { return flipped(0, 9, 5); }},
        {"LastChromaPixel", [&] { return flipped(2, 47, 15); }},
        {"FullRangeFormat", [&] { return patternFrame(AV_PIX_FMT_YUVJ420P, 96, 32, 32); }},
        {"OtherSize", [&] { return patternFrame(AV_PIX_FMT_YUV420P, 32, 96, 32); }},
    };
    for (const Change& change : changes) {
        const FramePtr changed = change.make();
        ASSERT_TRUE(changed) << change.name;
        EXPECT_NE(digestOf(changed.get()), baseDigest) << change.name;
    }
}

TEST(PictureVerdicts, KeepsTheNewestVerdictsOnly) {
    PictureVerdicts verdicts;
    auto digest = [](std::size_t i) {
        PictureVerdicts::Digest d{};
        d[0] = std::uint8_t(i);
        d[1] = std::uint8_t(i >> 8);
        return d;
    };
    const std::size_t count = PictureVerdicts::kMaxKept + 3;
    for (std::size_t i = 0; i < count; ++i) verdicts.keep(digest(i), {i % 2 == 0, {}});
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(verdicts.find(digest(i)), nullptr) << i;
    for (std::size_t i = 3; i < count; ++i) {
        const PictureVerdicts::Verdict* kept = verdicts.find(digest(i));
        ASSERT_NE(kept, nullptr) << i;
        EXPECT_EQ(kept->good, i % 2 == 0) << i;
    }
}

}  // namespace
