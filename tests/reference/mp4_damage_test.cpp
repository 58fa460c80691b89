// Damaged copies of a generated recording run through the structure analysis and the document
// built from it: cut at many points and with bytes of the movie box flipped. None may crash,
// read out of bounds or hang; a watchdog ends the program on the first case that overruns.
#include <gtest/gtest.h>

#include <boost/property_tree/xml_parser.hpp>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>

#include "mp4/byte_order.h"
#include "reference/document_writer.h"
#include "reference/mp4_structure.h"
#include "tests/support/test_clips.h"
#include "tests/support/test_files.h"

namespace {

// Generous: a healthy run takes milliseconds even under the sanitizers; this only catches hangs.
constexpr auto kRunLimit = std::chrono::seconds(10);

// Aborts the program, naming the case, when a run is still going at its deadline: a hang would
// otherwise stall the whole suite without saying which input caused it.
class Watchdog {
public:
    Watchdog() : thread_([this] { watch(); }) {}
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    void arm(std::string label) {
        std::lock_guard<std::mutex> lock(mutex_);
        label_ = std::move(label);
        deadline_ = std::chrono::steady_clock::now() + kRunLimit;
        armed_ = true;
        wake_.notify_one();
    }
    void disarm() {
        std::lock_guard<std::mutex> lock(mutex_);
        armed_ = false;
    }

private:
    void watch() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!stop_) {
            if (!armed_) {
                wake_.wait(lock);
                continue;
            }
            if (wake_.wait_until(lock, deadline_) == std::cv_status::timeout && armed_ &&
                std::chrono::steady_clock::now() >= deadline_) {
                std::fprintf(stderr, "damaged input ran past its time limit: %s\n", label_.c_str());
                std::fflush(stderr);
                std::abort();
            }
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::string label_;
    std::chrono::steady_clock::time_point deadline_;
    bool armed_ = false;
    bool stop_ = false;
    std::thread thread_;
};

// Start and size of the top-level 'moov' box (32-bit sizes are all the generated clip uses).
bool findMovie(const std::string& file, std::size_t& start, std::size_t& size) {
    std::size_t pos = 0;
    while (pos + 8 <= file.size()) {
        const std::uint32_t boxSize = mp4::be32(file.data() + pos);
        if (boxSize < 8) return false;
        if (file.compare(pos + 4, 4, "moov") == 0) {
            start = pos;
            size = boxSize;
            return pos + boxSize <= file.size();
        }
        pos += boxSize;
    }
    return false;
}

enum class Document { Built, Skipped };

// The analysis of `path` under the watchdog, and when asked the document Ordwick writes from it.
void analyse(const std::string& path, const std::string& label, Watchdog& watchdog, Document document) {
    watchdog.arm(label);
    AnalysisResult result;
    parseMp4File(path, result);
    if (document == Document::Built) {
        std::ostringstream text;
        boost::property_tree::write_xml(text, buildVideoPreset("Unknown", "", result, MediaInfo()));
        EXPECT_TRUE(text.good()) << label;
    }
    watchdog.disarm();
}

testsupport::ClipSettings damagedSource() {
    testsupport::ClipSettings settings;
    settings.seconds = 1;
    return settings;
}

}  // namespace

TEST(DamagedInput, EveryTruncation) {
    // With the movie box last (cut recordings) and first (cuts through the movie and the samples).
    testsupport::ClipSettings movieFirst = damagedSource();
    movieFirst.extraArgs = {"-movflags", "+faststart"};
    Watchdog watchdog;
    for (const testsupport::ClipSettings& settings : {damagedSource(), movieFirst}) {
        const std::string source = testsupport::readFile(testsupport::clip(settings));
        ASSERT_GT(source.size(), 1000u);
        testsupport::TempDir dir;
        const std::string path = dir.file("cut.mp4");
        constexpr int kCuts = 200;
        for (int i = 0; i < kCuts; ++i) {
            const std::size_t length = source.size() * i / kCuts;
            ASSERT_TRUE(testsupport::writeFile(path, source.substr(0, length)));
            analyse(path, "cut at " + std::to_string(length), watchdog, Document::Built);
        }
    }
}

TEST(DamagedInput, ByteFlipsInTheMovieBox) {
    const std::string source = testsupport::readFile(testsupport::clip(damagedSource()));
    std::size_t moovStart = 0, moovSize = 0;
    ASSERT_TRUE(findMovie(source, moovStart, moovSize));
    testsupport::TempDir dir;
    const std::string path = dir.file("flipped.mp4");
    ASSERT_TRUE(testsupport::writeFile(path, source));

    std::mt19937 random(20261210);
    std::uniform_int_distribution<std::size_t> where(moovStart, moovStart + moovSize - 1);
    std::uniform_int_distribution<int> value(0, 255);
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    Watchdog watchdog;
    ASSERT_TRUE(file.is_open());
    for (int i = 0; i < 3000; ++i) {
        const std::size_t at = where(random);
        // Every other run sets the byte to an extreme value, which reaches size and count fields.
        const char replacement = i % 2 ? static_cast<char>(value(random)) : (i % 4 == 0 ? '\xFF' : '\0');
        file.seekp(static_cast<std::streamoff>(at));
        file.put(replacement);
        file.flush();
        // Only the analysis: building thousands of documents would take most of the time under
        // the sanitizers, and the cuts above already send damaged results through the writer.
        analyse(path, "byte " + std::to_string(at) + " set to " + std::to_string(std::uint8_t(replacement)), watchdog,
                Document::Skipped);
        file.seekp(static_cast<std::streamoff>(at));
        file.put(source[at]);
        file.flush();
    }
}
