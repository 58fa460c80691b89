// The structure analysis and the document of a hostile reference: an H.264 track whose 500,000
// samples each hold an IDR slice with a header word of its own. Every word is looked up once
// in the type's list; the document keeps the list's bounded length.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "reference/document_writer.h"
#include "reference/mp4_structure.h"
#include "tests/mp4/box_builder.h"

using namespace boxes;

namespace {

constexpr std::uint32_t kDistinctWords = 500000;

std::string hostileReference() {
    TrackLayout track;
    const std::string sps = bytes({0x67, 0x64, 0x00, 0x1F, 0xAC, 0xD9});
    const std::string pps = bytes({0x68, 0xEB, 0xE3, 0xCB});
    track.entries = {visualEntry("avc1", 320, 240, avcC({sps}, {pps}))};
    track.samples.reserve(kDistinctWords);
    for (std::uint32_t i = 0; i < kDistinctWords; ++i) {
        // Type 5 in all eight header bytes that carry it, then 65,536 two-byte slice starts.
        const unsigned header = 0x05 | ((i >> 16) << 5);
        track.samples.push_back(u32(4) + u8(header) + u8(i >> 8) + u8(i) + u8(0x80));
    }
    FileLayout layout;
    layout.moovFirst = true;
    layout.tracks = {track};
    return buildFile(layout);
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main() {
    std::string folder = (std::filesystem::temp_directory_path() / "header-words-bench-XXXXXX").string();
    if (!mkdtemp(folder.data())) return 1;
    const std::string input = std::string(folder) + "/reference.mp4";
    const std::string output = std::string(folder) + "/ref.xml";
    const std::string bytes = hostileReference();
    std::FILE* file = std::fopen(input.c_str(), "wb");
    if (!file || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() || std::fclose(file) != 0) return 1;

    const auto start = std::chrono::steady_clock::now();
    AnalysisResult result;
    parseMp4File(input, result);
    const double analysis = secondsSince(start);
    const bool written = writeVideoPreset(output, "Unknown", "", result, MediaInfo{});
    const double total = secondsSince(start);

    std::printf("distinct_header_words: %u\n", kDistinctWords);
    std::printf("header_words_kept: %zu\n", result.nalStats[5].headerWords.size());
    std::printf("header_words_analysis_seconds: %.3f\n", analysis);
    std::printf("header_words_with_document_seconds: %.3f\n", total);
    std::remove(input.c_str());
    std::remove(output.c_str());
    rmdir(folder.c_str());
    return written ? 0 : 1;
}
