#include "media/frame_picture.h"

#include <gtest/gtest.h>

#include <QColor>

#include <cstdlib>
#include <memory>
#include <string>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include "media/ffmpeg_handles.h"

namespace {

const QColor kLeft(220, 30, 40);
const QColor kRight(20, 60, 230);

// A frame of `format` whose left half is kLeft and right half kRight, made from an RGB
// picture so that every pixel format gets the same content.
FramePtr splitFrame(AVPixelFormat format, int width, int height) {
    FramePtr rgb(av_frame_alloc());
    rgb->format = AV_PIX_FMT_RGB24;
    rgb->width = width;
    rgb->height = height;
    if (av_frame_get_buffer(rgb.get(), 0) < 0) return nullptr;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const QColor& c = x < width / 2 ? kLeft : kRight;
            uint8_t* px = rgb->data[0] + y * rgb->linesize[0] + x * 3;
            px[0] = c.red();
            px[1] = c.green();
            px[2] = c.blue();
        }
    FramePtr out(av_frame_alloc());
    out->format = format;
    out->width = width;
    out->height = height;
    if (av_frame_get_buffer(out.get(), 0) < 0) return nullptr;
    SwsContext* sws = sws_getContext(width, height, AV_PIX_FMT_RGB24, width, height, format, SWS_POINT, nullptr,
                                     nullptr, nullptr);
    if (!sws) return nullptr;
    sws_scale(sws, rgb->data, rgb->linesize, 0, height, out->data, out->linesize);
    sws_freeContext(sws);
    return out;
}

bool near(QRgb got, const QColor& want, int tolerance) {
    return std::abs(qRed(got) - want.red()) <= tolerance && std::abs(qGreen(got) - want.green()) <= tolerance &&
           std::abs(qBlue(got) - want.blue()) <= tolerance;
}

struct FormatCase {
    AVPixelFormat format;
    int width;
    int height;
};

void PrintTo(const FormatCase& c, std::ostream* os) {
    *os << av_get_pix_fmt_name(c.format) << ' ' << c.width << 'x' << c.height;
}

class FrameToRgb : public ::testing::TestWithParam<FormatCase> {};

// Odd sizes and padded line sizes: the picture must come out at the frame's own size with
// the halves where they were, whatever the stride.
TEST_P(FrameToRgb, KeepsTheFramesOwnSizeAndContent) {
    const FormatCase& c = GetParam();
    FramePtr frame = splitFrame(c.format, c.width, c.height);
    ASSERT_TRUE(frame);
    const QImage picture = frameToRgbImage(frame.get(), SWS_BILINEAR);
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.width(), c.width);
    EXPECT_EQ(picture.height(), c.height);
    const int y = c.height / 2;
    EXPECT_TRUE(near(picture.pixel(1, y), kLeft, 24)) << QColor(picture.pixel(1, y)).name().toStdString();
    EXPECT_TRUE(near(picture.pixel(c.width - 2, y), kRight, 24))
        << QColor(picture.pixel(c.width - 2, y)).name().toStdString();
    EXPECT_TRUE(near(picture.pixel(1, c.height - 1), kLeft, 24));
}

// A picture of the frame's size is converted into again; a copy still held elsewhere keeps
// its content, and another size gives a new picture.
TEST(FrameToRgb, ReusesThePictureOnlyWhenItIsItsOwn) {
    FramePtr frame = splitFrame(AV_PIX_FMT_YUV420P, 66, 34);
    ASSERT_TRUE(frame);
    QImage picture;
    ASSERT_TRUE(frameToRgbImage(frame.get(), SWS_BILINEAR, picture));
    const uchar* first = picture.constBits();
    ASSERT_TRUE(frameToRgbImage(frame.get(), SWS_BILINEAR, picture));
    EXPECT_EQ(picture.constBits(), first);

    const QImage kept = picture;
    kept.constBits();
    ASSERT_TRUE(frameToRgbImage(splitFrame(AV_PIX_FMT_YUV420P, 66, 34).get(), SWS_BILINEAR, picture));
    EXPECT_NE(picture.constBits(), kept.constBits());
    EXPECT_TRUE(near(kept.pixel(1, 10), kLeft, 24));

    ASSERT_TRUE(frameToRgbImage(splitFrame(AV_PIX_FMT_YUV420P, 40, 30).get(), SWS_BILINEAR, picture));
    EXPECT_EQ(picture.size(), QSize(40, 30));
    EXPECT_FALSE(frameToRgbImage(nullptr, SWS_BILINEAR, picture));
}

INSTANTIATE_TEST_SUITE_P(Formats, FrameToRgb,
                         ::testing::Values(FormatCase{AV_PIX_FMT_YUV420P, 64, 48}, FormatCase{AV_PIX_FMT_YUV420P, 66, 34},
                                           FormatCase{AV_PIX_FMT_YUVJ420P, 320, 240},
                                           FormatCase{AV_PIX_FMT_YUV422P, 50, 20}, FormatCase{AV_PIX_FMT_YUV444P, 37, 19},
                                           FormatCase{AV_PIX_FMT_NV12, 96, 54},
                                           FormatCase{AV_PIX_FMT_YUV420P10LE, 40, 30},
                                           FormatCase{AV_PIX_FMT_RGB24, 31, 7}),
                         [](const ::testing::TestParamInfo<FormatCase>& info) {
                             return std::string(av_get_pix_fmt_name(info.param.format)) + "_" +
                                    std::to_string(info.param.width) + "x" + std::to_string(info.param.height);
                         });

TEST(FrameToRgb, RefusesFramesItCannotConvert) {
    EXPECT_TRUE(frameToRgbImage(nullptr, SWS_BILINEAR).isNull());

    FramePtr empty(av_frame_alloc());
    EXPECT_TRUE(frameToRgbImage(empty.get(), SWS_BILINEAR).isNull()) << "no planes";

    FramePtr frame = splitFrame(AV_PIX_FMT_YUV420P, 16, 16);
    ASSERT_TRUE(frame);
    struct Bad {
        const char* what;
        int width;
        int height;
        int format;
    };
    // Only the header is wrong: the planes are those of a 16 x 16 frame, so nothing may be
    // read on the strength of these values.
    for (const Bad& bad : {Bad{"zero width", 0, 16, AV_PIX_FMT_YUV420P}, Bad{"negative height", 16, -4, AV_PIX_FMT_YUV420P},
                           Bad{"huge", kMaxPictureSide + 1, 16, AV_PIX_FMT_YUV420P},
                           Bad{"no format", 16, 16, AV_PIX_FMT_NONE}, Bad{"unknown format", 16, 16, 100000}}) {
        FramePtr copy(av_frame_clone(frame.get()));
        copy->width = bad.width;
        copy->height = bad.height;
        copy->format = bad.format;
        EXPECT_TRUE(frameToRgbImage(copy.get(), SWS_BILINEAR).isNull()) << bad.what;
    }
}

TEST(ScaledPicture, IgnoresTheAspectRatio) {
    QImage wide(640, 120, QImage::Format_RGB888);
    wide.fill(Qt::green);
    const QImage small = scaledPicture(wide, 180, 122);
    EXPECT_EQ(small.size(), QSize(180, 122));
    EXPECT_TRUE(scaledPicture(QImage(), 180, 122).isNull());
}

TEST(StampTextBox, DarkensTheBoxAndWritesWhiteTextInsideIt) {
    QImage picture(180, 122, QImage::Format_RGB888);
    picture.fill(QColor(200, 200, 200));
    const QRectF box(110, 5, 66, 12);
    stampTextBox(picture, box, "00:00:12");

    int white = 0;
    int dark = 0;
    for (int y = 5; y < 17; ++y)
        for (int x = 110; x < 176; ++x) {
            const QRgb p = picture.pixel(x, y);
            if (qRed(p) > 240 && qGreen(p) > 240 && qBlue(p) > 240) ++white;
            // 200 under black at alpha 110 of 255 gives about 114.
            if (std::abs(qRed(p) - 114) <= 3) ++dark;
        }
    EXPECT_GT(white, 10) << "text drawn";
    EXPECT_GT(dark, 66 * 12 / 3) << "box filled around the text";
    for (const QPoint outside : {QPoint(109, 10), QPoint(176, 10), QPoint(140, 4), QPoint(140, 17), QPoint(5, 100)})
        EXPECT_EQ(picture.pixel(outside), QColor(200, 200, 200).rgb()) << outside.x() << "," << outside.y();
}

}  // namespace
