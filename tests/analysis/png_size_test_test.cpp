// The flatness test's PNG size rule: the answer is the PNG encoder's own, just below, at and
// just above the size it encodes each picture into, for pictures that settle it within their
// first rows, after all of them, or not before the encoder itself.
#include "analysis/png_size_test.h"

#include <gtest/gtest.h>

#include <ostream>
#include <random>
#include <string>

namespace {

// `noiseRows` rows of noise above a flat grey picture.
QImage noiseOverGrey(int width, int height, int noiseRows) {
    QImage picture(width, height, QImage::Format_RGB888);
    picture.fill(QColor(128, 128, 128));
    std::mt19937 random(7);
    for (int y = 0; y < noiseRows && y < height; ++y) {
        uchar* row = picture.scanLine(y);
        for (int x = 0; x < width * 3; ++x) row[x] = uchar(random());
    }
    return picture;
}

// Gradients under a chequer board: compressible, but not flat.
QImage bands(int width, int height) {
    QImage picture(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y) {
        uchar* row = picture.scanLine(y);
        for (int x = 0; x < width; ++x) {
            row[3 * x] = uchar(x * 255 / width);
            row[3 * x + 1] = uchar(y * 255 / height);
            row[3 * x + 2] = uchar(((x / 16) ^ (y / 16)) & 1 ? 40 : 200);
        }
    }
    return picture;
}

struct PictureCase {
    const char* name;
    QImage picture;
};

void PrintTo(const PictureCase& c, std::ostream* os) { *os << c.name; }

class PngSizeRule : public ::testing::TestWithParam<PictureCase> {};

TEST_P(PngSizeRule, AnswersAsTheEncoderAroundItsOwnSize) {
    const QImage& picture = GetParam().picture;
    PngSizeTest test;
    const int size = test.encodedSize(picture);
    ASSERT_GT(size, 0);
    EXPECT_TRUE(test.reaches(picture, size - 1000));
    EXPECT_TRUE(test.reaches(picture, size - 1));
    EXPECT_TRUE(test.reaches(picture, size));
    EXPECT_FALSE(test.reaches(picture, size + 1));
    EXPECT_EQ(test.reaches(picture, 50000), size >= 50000);
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, PngSizeRule,
    ::testing::Values(PictureCase{"Grey720p", noiseOverGrey(1280, 720, 0)},
                      PictureCase{"Noise320x240", noiseOverGrey(320, 240, 240)},
                      // About 50,000 bytes: the diagnostic's own threshold lies among them.
                      PictureCase{"NoiseRows10", noiseOverGrey(1280, 720, 10)},
                      PictureCase{"NoiseRows11", noiseOverGrey(1280, 720, 11)},
                      PictureCase{"NoiseRows12", noiseOverGrey(1280, 720, 12)},
                      // Rows padded to four bytes in the picture: only the pixels are encoded.
                      PictureCase{"BandsOddWidth", bands(641, 359)},
                      PictureCase{"Bands1080p", bands(1920, 1080)}),
    [](const ::testing::TestParamInfo<PictureCase>& info) { return std::string(info.param.name); });

TEST(PngSizeTest, PicturesOfOtherSizesFollowOneAnother) {
    // The encoder kept for one size must not answer for the next.
    PngSizeTest test;
    const QImage small = noiseOverGrey(320, 240, 240);
    const QImage large = noiseOverGrey(1280, 720, 0);
    const int smallSize = test.encodedSize(small);
    const int largeSize = test.encodedSize(large);
    EXPECT_TRUE(test.reaches(small, smallSize));
    EXPECT_FALSE(test.reaches(large, largeSize + 1));
    EXPECT_FALSE(test.reaches(small, smallSize + 1));
    EXPECT_EQ(test.encodedSize(small), smallSize);
}

TEST(PngSizeTest, NullPictureReachesNothing) {
    PngSizeTest test;
    EXPECT_FALSE(test.reaches(QImage(), 1));
    EXPECT_EQ(test.encodedSize(QImage()), -1);
}

}  // namespace
