#pragma once
// AAC streams for the audio-repair stand-in's tests: ADTS tones made with the ffmpeg tool and
// the file the repair engine leaves (one ADTS header, then raw frames).
#include <cstddef>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/test_files.h"

namespace testsupport {

struct AacSource {
    int rate;
    int channels;
    int seconds = 2;
    // A name for encoder options beyond rate and channels, and the options.
    const char* variant = nullptr;
    std::vector<std::string> options = {};
};
// Quad sound: channel configuration 0, the layout in a program config element.
AacSource quadSource();
void PrintTo(const AacSource& source, std::ostream* os);

// A short AAC tone as ADTS frames; the path of the file in `dir`.
std::string makeAdts(const TempDir& dir, const AacSource& source);

// The bytes of an ADTS frame before its raw frame: the header, and the program config element
// that the first frame of a stream of channel configuration 0 carries.
std::size_t leadSize(const std::string& frame);

// The whole ADTS frames of `bytes`, header included, up to the first that is not one.
std::vector<std::string> adtsFrames(const std::string& bytes);

// What the repair engine leaves: the reference's audio header (the first frame's ADTS header, and
// the program config element behind it when the channel configuration is 0), then the frames
// without headers, with `junk(i)` after frame i.
std::string engineAudio(const std::vector<std::string>& frames, const std::function<std::string(std::size_t)>& junk);

}  // namespace testsupport
