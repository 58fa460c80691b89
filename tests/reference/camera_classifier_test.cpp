#include <gtest/gtest.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "reference/camera_classifier.h"
#include "tests/reference/in_child.h"
#include "tests/support/test_files.h"

using testsupport::TempDir;

namespace {

// `size` filler bytes with each text placed at its offset.
std::string bytesWith(std::size_t size, const std::vector<std::pair<std::size_t, std::string>>& texts) {
    std::string bytes(size, '.');
    for (const auto& [offset, text] : texts) bytes.replace(offset, text.size(), text);
    return bytes;
}

// The bytes go into a buffer of exactly their size, so that the sanitizer build catches any
// read past its end.
std::string detect(const std::string& bytes, std::size_t n) {
    const std::vector<std::uint8_t> buffer(bytes.begin(), bytes.end());
    return detectCameraPreset(n, buffer.data());
}
std::string detect(const std::string& bytes) { return detect(bytes, bytes.size()); }

}  // namespace

TEST(CameraClassifier, TableOrderDecides) {
    const struct {
        const char* what;
        std::vector<std::pair<std::size_t, std::string>> texts;
        const char* name;
    } cases[] = {
        {"nothing", {}, ""},
        {"longer model before its prefix", {{40, "iPhone 6s Plus"}}, "iphone 6s plus"},
        {"iPhone 6 Plus", {{40, "iPhone 6 Plus"}}, "iphone 6 plus"},
        {"iPhone 6s", {{40, "iPhone 6s"}}, "iphone 6s"},
        {"iPhone 6 in lower case", {{40, "iPhone 6"}}, "iphone 6"},
        {"bare iPhone goes on", {{40, "iPhone"}}, "iphone"},
        {"GPRO then HERO5", {{10, "GPRO"}, {200, "HERO5"}}, "gopro hero 5"},
        {"GPRO alone", {{10, "GPRO"}}, "gopro"},
        {"first ending match across offsets", {{10, "Canon EOS 70D"}, {100, "NIKON"}}, "canon eos 70d"},
        {"first ending match across offsets, swapped", {{10, "NIKON"}, {100, "Canon EOS 70D"}}, "nikon"},
        {"Mark III before Mark II", {{10, "Canon EOS 5D Mark III"}}, "canon eos 5d mark iii"},
        {"Mark II", {{10, "Canon EOS 5D Mark II."}}, "canon eos 5d mark ii"},
        {"bare Canon goes on", {{10, "Canon"}}, "canon"},
        {"Rebel alias", {{10, "Canon EOS Rebel T5i"}}, "canon eos 700d"},
        {"brands", {{16, "isomiso2avc1mp41"}}, "mp4-ext"},
        {"last going-on match stands", {{16, "isomiso2avc1mp41"}, {100, "GPRO"}}, "gopro"},
        {"last going-on match stands, swapped", {{16, "GPRO"}, {100, "isomiso2avc1mp41"}}, "mp4-ext"},
        {"ending match after a going-on one", {{16, "isomiso2avc1mp41"}, {100, "DJI.AVC"}}, "dji"},
        {"two-piece signature", {{30, "frea"}, {38, "tima"}}, "novatek"},
        {"two-piece signature, second piece missing", {{30, "frea"}, {39, "tima"}}, ""},
        {"binary signature", {{30, std::string("\x00\x00\x00\x0BHVCgd3_3840", 15)}}, "gd3_3840"},
        {"signature after a box name", {{30, "skip\xE0\x46\xD8"}}, "mivue"},
        {"brand in the file-type box", {{4, "ftypXAVC"}}, "sony"},
        {"case-sensitive", {{30, "gpro NIKOn dji.avc"}}, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(detect(bytesWith(400, c.texts)), c.name) << c.what;
}

TEST(CameraClassifier, WindowEdges) {
    const std::string longest = "Microsoft H.264 Encoder";  // 23 bytes
    const struct {
        const char* what;
        std::string bytes;
        std::size_t n;
        const char* name;
    } cases[] = {
        {"21 bytes are never scanned", bytesWith(21, {{0, "GPRO"}}), 21, ""},
        {"22 bytes scan offset 0", bytesWith(22, {{0, "GPRO"}}), 22, "gopro"},
        {"signature ending exactly at n", bytesWith(100, {{77, longest}}), 100, "mp4-ext"},
        // The bytes past n hold the signature's last byte: it must not be read.
        {"signature running one byte past n", bytesWith(101, {{78, longest}}), 100, ""},
        {"signature at the last scanned offset", bytesWith(100, {{78, "GPRO"}}), 100, "gopro"},
        {"signature starting in the last 21 bytes", bytesWith(100, {{79, "GPRO"}}), 100, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(detect(c.bytes, c.n), c.name) << c.what;
    EXPECT_EQ(detectCameraPreset(0, nullptr), "");
}

TEST(CameraClassifier, ReadsTheHeadAndThenTheTail) {
    const std::size_t big = 700000;
    const std::size_t w = kPresetWindowSize;
    const struct {
        const char* what;
        std::size_t size;
        std::vector<std::pair<std::size_t, std::string>> texts;
        const char* name;
    } cases[] = {
        {"head result stands over the tail", big, {{16, "isomiso2avc1mp41"}, {big - 100, "DJI.AVC"}}, "mp4-ext"},
        {"tail read when the head gives nothing", big, {{big - 100, "DJI.AVC"}}, "dji"},
        {"tail window starts at size minus the window", big, {{big - w, "HERO4"}}, "gopro hero 4"},
        {"beyond both windows", 2 * w + 1000, {{w + 500, "HERO4"}}, ""},
        {"in the last 21 bytes of the head window", big, {{w - 10, "HERO4"}}, ""},
        {"short file is one window", 300000, {{300000 - 30, "HERO6"}}, "gopro hero 6"},
        {"21-byte file", 21, {{0, "GPRO"}}, ""},
    };
    TempDir dir;
    for (const auto& c : cases) {
        const std::string path = dir.file("clip.mp4");
        ASSERT_TRUE(testsupport::writeFile(path, bytesWith(c.size, c.texts)));
        EXPECT_EQ(readPresetFromFile(path), c.name) << c.what;
    }
    EXPECT_EQ(readPresetFromFile(dir.file("missing.mp4")), "");
}

namespace {

// readPresetFromFile as a user without the right to write the file. Root may open any file
// for writing, so under root the call runs in a child that has given its rights up first.
std::string presetAsUnprivilegedUser(const std::string& path) {
    if (geteuid() != 0) return readPresetFromFile(path);
    const std::optional<std::string> name = testsupport::runInChild([&] {
        const gid_t nobody = 65534;
        if (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0) return std::string("root");
        return readPresetFromFile(path);
    });
    return name.value_or("child failed");
}

}  // namespace

TEST(CameraClassifier, ReadOnlyReferenceIsClassified) {
    TempDir dir;
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    const std::string path = dir.file("ref.mp4");
    ASSERT_TRUE(testsupport::writeFile(path, bytesWith(1000, {{100, "DJI.HVC"}})));
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    EXPECT_EQ(presetAsUnprivilegedUser(path), "dji");
}
