#include "reference/probe_input.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "tests/reference/stream_copies.h"
#include "tests/support/test_clips.h"
#include "tests/support/test_files.h"

using namespace testsupport;

namespace {

ClipSettings smallClip() {
    ClipSettings settings;
    settings.seconds = 1;
    settings.width = 64;
    settings.height = 48;
    return settings;
}

// The clip's video, its sound, and three more copies of the video: five tracks.
std::string fiveTracks(const TempDir& dir, const std::string& format) {
    const std::string source = clip(smallClip());
    const std::string path = dir.file("five." + format);
    if (source.empty() || !copyStreams({{source, "v", 1}, {source, "a", 1}, {source, "v", 3}}, format, path)) return "";
    return path;
}

}  // namespace

TEST(ProbeInput, TheLibraryMakesStreamsOfTheKeptTracksOnly) {
    TempDir dir;
    const std::map<std::string, std::string> files = {{"mp4", fiveTracks(dir, "mp4")},
                                                      {"matroska", fiveTracks(dir, "matroska")}};
    const struct {
        const char* format;
        std::size_t kept;
        bool opened;
        unsigned streams;
    } cases[] = {
        {"mp4", 2, true, 2},
        {"mp4", 5, true, 5},
        {"mp4", 8, true, 5},
        // Tracks that are no movie's cannot be hidden: the library refuses more streams than kept.
        {"matroska", 2, false, 0},
        {"matroska", 5, true, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.format) + ", " + std::to_string(c.kept) + " kept");
        const std::string& path = files.at(c.format);
        ASSERT_FALSE(path.empty());
        ProbeInput input;
        ASSERT_EQ(input.open(path, c.kept), c.opened);
        if (c.opened) EXPECT_EQ(input.format()->nb_streams, c.streams);
    }
}

TEST(ProbeInput, HandsOverTheFileWithTheTracksPastTheKeptOnesRenamed) {
    TempDir dir;
    const std::string path = fiveTracks(dir, "mp4");
    ASSERT_FALSE(path.empty());
    std::string expected = readFile(path);
    // The tool writes the movie box last; inside it "trak" is only ever a box type.
    std::size_t at = expected.rfind("moov");
    ASSERT_NE(at, std::string::npos);
    for (int track = 0; (at = expected.find("trak", at)) != std::string::npos; ++track, at += 4)
        if (track >= 2) expected.replace(at, 4, "free");

    ProbeInput input;
    ASSERT_TRUE(input.open(path, 2));
    // Pieces of every length from 1 to 7 bytes, so that renamed types start and end in any of them.
    std::string seen;
    for (std::size_t offset = 0, length = 1; offset < expected.size(); offset += length, length = length % 7 + 1) {
        std::string piece(std::min(length, expected.size() - offset), '\0');
        ASSERT_TRUE(input.read(offset, reinterpret_cast<std::uint8_t*>(&piece[0]), piece.size())) << offset;
        seen += piece;
    }
    EXPECT_EQ(seen, expected);
    std::uint8_t byte = 0;
    EXPECT_FALSE(input.read(expected.size(), &byte, 1));
}
