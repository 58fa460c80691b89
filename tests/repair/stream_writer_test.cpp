#include "repair/stream_writer.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "repair/output_file.h"
#include "tests/support/test_files.h"

namespace {

using testsupport::TempDir;

std::string unit(const std::string& payload) { return std::string("\0\0\0\1", 4) + payload; }

// A writer over a file: units are held and pictures written by their file offsets.
struct Stream {
    Stream() { EXPECT_TRUE(out.open(QString::fromStdString(dir.file("video.h264")))); }

    void hold(const std::string& payload, std::int64_t begin, bool delimiter = false) {
        writer.hold(reinterpret_cast<const std::uint8_t*>(payload.data()), std::int64_t(payload.size()),
                    delimiter ? 9 : 6, begin, begin + 4 + std::int64_t(payload.size()), delimiter);
    }
    void picture(const std::string& payload, std::int64_t begin, bool first = true) {
        writer.startPicture(begin, first);
        writer.write(reinterpret_cast<const std::uint8_t*>(payload.data()), std::int64_t(payload.size()));
        writer.endPicture();
    }
    std::string written() {
        out.flush();
        return testsupport::readFile(dir.file("video.h264"));
    }
    TempDir dir;
    OutputFile out;
    std::int64_t total = 0;
    StreamWriter writer{out, total};
};

TEST(StreamWriter, UnitsRightBeforeAPictureGoWithIt) {
    Stream s;
    s.hold("\x09\x10", 100, true);
    s.hold("\x06\x05sei", 106);
    s.picture("\x65\x88pic", 115);
    EXPECT_EQ(s.written(), unit("\x09\x10") + unit("\x06\x05sei") + unit("\x65\x88pic"));
    EXPECT_EQ(s.total, 5) << "the held SEI counted, the delimiter not (the slice is counted by the scan)";
}

TEST(StreamWriter, UnitsWithoutAPictureBehindThemAreNeverWritten) {
    struct Case {
        const char* name;
        std::function<void(Stream&)> feed;
        std::string expected;
    };
    const Case cases[] = {
        {"SEI with junk before the picture",
         [](Stream& t) {
             t.hold("\x06\x05sei", 100);
             t.picture("\x41\x9Apic", 200);
         },
         unit("\x41\x9Apic")},
        {"a delimiter with junk behind it",
         [](Stream& t) {
             t.hold("\x09\x10", 100, true);
             t.hold("\x06\x05sei", 150);
             t.picture("\x41\x9Apic", 159);
         },
         unit("\x06\x05sei") + unit("\x41\x9Apic")},
        {"a second delimiter replaces the first",
         [](Stream& t) {
             t.hold("\x09\x10", 100, true);
             t.hold("\x09\x30", 106, true);
             t.picture("\x41\x9Apic", 112);
         },
         unit("\x09\x30") + unit("\x41\x9Apic")},
        {"camera packets between them are passed over",
         [](Stream& t) {
             t.hold("\x06\x05sei", 100);
             t.writer.passOver(109, 300);
             t.picture("\x41\x9Apic", 300);
         },
         unit("\x06\x05sei") + unit("\x41\x9Apic")},
        {"the end of the data",
         [](Stream& t) {
             t.picture("\x41\x9Apic", 50);
             t.hold("\x09\x10", 100, true);
             t.writer.dropHeld();
         },
         unit("\x41\x9Apic")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Stream t;
        c.feed(t);
        EXPECT_EQ(t.written(), c.expected);
    }
}

TEST(StreamWriter, APictureCutThroughIsTakenBackWhole) {
    Stream s;
    s.picture("\x65\x88one", 0, true);
    const std::string whole = s.written();
    s.hold("\x09\x10", 100, true);
    s.picture("\x41\x9Aslice1", 106, true);
    s.picture("\x41\x1Aslice2", 120, false);
    s.writer.dropCurrentPicture();
    EXPECT_EQ(s.written(), whole) << "the delimiter and both slices of the cut picture go";
    EXPECT_EQ(s.writer.pictureEnd(), std::int64_t(whole.size()));
}

}  // namespace
