#pragma once
// Whether a picture's PNG encoding takes at least a given number of bytes: the decode test's
// flatness rule for every picture it decodes. Encoding a whole 720p or 1080p picture takes 15
// to 40 ms, most of the decode test's time, while the first rows of a picture with detail
// already settle the answer.
//
// The FFmpeg PNG encoder (no row filter, default compression) writes one zlib stream of the
// rows, each behind a filter byte 0, in IDAT chunks between a fixed signature, header and end.
// The same rows deflated here by the same zlib with the same settings give the same stream, so
// its bytes out so far plus the smallest framing are a floor for the file's size: once the
// floor reaches the size the answer is yes. A picture whose whole stream stays below gets the
// encoder's own exact size, so the answer is always the encoder's. (A floor above the encoder's
// size, from another zlib in the FFmpeg libraries, shows in the tests at the encoder's size.)
#include <memory>

#include <QImage>

#include "media/ffmpeg_handles.h"

class PngSizeTest {
public:
    PngSizeTest();
    ~PngSizeTest();
    PngSizeTest(const PngSizeTest&) = delete;
    PngSizeTest& operator=(const PngSizeTest&) = delete;

    // True when FFmpeg's PNG encoding of the RGB888 `picture` takes at least `bytes` bytes;
    // false also when it cannot be encoded.
    bool reaches(const QImage& picture, int bytes);
    // Bytes of FFmpeg's PNG encoding of the RGB888 `picture`; -1 when it cannot be encoded.
    int encodedSize(const QImage& picture);

private:
    // The deflated bytes of the rows reach `floor` before the last row.
    bool deflatedRowsReach(const QImage& picture, long floor);

    struct Deflater;
    std::unique_ptr<Deflater> deflater_;
    // One encoder per picture size, kept for the pictures that follow.
    CodecContextPtr encoder_;
};
