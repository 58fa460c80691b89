// The matching test's walks on several threads: each preset handed on in list order with the
// outcome its own walk gives, and nothing written to the presets after an end or a stop.
#include "analysis/preset_scoring.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/analysis/length_prefixed.h"

namespace {

using testsupport::allow;
using testsupport::Bytes;
using testsupport::cat;
using testsupport::unit;

// Slices, IDR slices and parameter sets between runs of bytes no preset knows.
Bytes mixedWindow() {
    Bytes window;
    for (int i = 0; i < 40; ++i) {
        const Bytes piece = cat({unit(300, {0x65, 0x88, 0x80}), unit(120, {0x41, 0x9A}), Bytes(std::size_t(7 + i), 0xEE),
                                 unit(12, {0x67, 0x42}), unit(900, {0x41, 0x9A})});
        window.insert(window.end(), piece.begin(), piece.end());
    }
    return window;
}

// Presets that recognise different parts of the window, so that each has its own score and
// units; their units start with a mark that a preset left alone keeps.
const UnitRecord kMark{99, 0, 0};
constexpr float kUntouched = -1.0f;

std::vector<DiagPreset> presets() {
    std::vector<DiagPreset> list(6);
    allow(list[0], 1, 20, 1000, {0x419A});
    allow(list[1], 5, 20, 5000, {0x658880});
    allow(list[2], 1, 20, 1000, {0x419A});
    allow(list[2], 5, 20, 5000, {0x658880});
    allow(list[3], 7, 8, 200, {0x6742});
    allow(list[4], 1, 200, 2000, {0x419A});
    allow(list[5], 1, 20, 1000, {0x419A});
    allow(list[5], 7, 8, 200, {0x6742});
    for (DiagPreset& p : list) {
        p.units = {kMark};
        p.score = kUntouched;
    }
    return list;
}

struct Scored {
    std::vector<DiagPreset> presets = ::presets();
    std::vector<std::size_t> taken;
    bool finished = false;
};

const EndsTest kNeverEnds = [](float) { return false; };

Scored score(const Bytes& window, const std::vector<std::size_t>& order, unsigned threads,
             const EndsTest& endsTest = kNeverEnds, std::atomic<bool>* stopInTake = nullptr) {
    Scored run;
    std::atomic<bool> stop{false};
    std::atomic<bool>& flag = stopInTake ? *stopInTake : stop;
    const FrameWindow w{window.data(), std::int64_t(window.size()), std::int64_t(window.size()), 0};
    run.finished = scorePresetsInOrder(w, run.presets, order, "", flag, threads, endsTest, [&](std::size_t index) {
        run.taken.push_back(index);
        if (stopInTake) stopInTake->store(true);
    });
    return run;
}

// Each preset's score when walked alone.
std::vector<float> aloneScores(const Bytes& window) {
    const FrameWindow w{window.data(), std::int64_t(window.size()), std::int64_t(window.size()), 0};
    std::atomic<bool> stop{false};
    std::vector<float> scores;
    for (const DiagPreset& p : presets()) scores.push_back(walkPreset(w, p, "", stop).score);
    return scores;
}

void expectLeftAlone(const DiagPreset& preset, std::size_t index) {
    EXPECT_EQ(preset.units, std::vector<UnitRecord>{kMark}) << "preset " << index;
    EXPECT_EQ(preset.score, kUntouched) << "preset " << index;
}

TEST(PresetScoring, EachPresetIsHandedOnInOrderWithItsOwnWalksOutcome) {
    const Bytes window = mixedWindow();
    const FrameWindow w{window.data(), std::int64_t(window.size()), std::int64_t(window.size()), 0};
    std::vector<DiagPreset> alone = presets();
    std::atomic<bool> stop{false};
    for (DiagPreset& p : alone) {
        PresetMatch match = walkPreset(w, p, "", stop);
        p.units = std::move(match.units);
        p.score = match.score;
    }

    const std::vector<std::size_t> order = {0, 2, 3, 5};
    for (unsigned threads : {1u, 2u, 8u}) {
        SCOPED_TRACE("threads " + std::to_string(threads));
        const Scored run = score(window, order, threads);
        EXPECT_TRUE(run.finished);
        EXPECT_EQ(run.taken, order);
        for (std::size_t i : order) {
            EXPECT_EQ(run.presets[i].score, alone[i].score) << "preset " << i;
            EXPECT_EQ(run.presets[i].units, alone[i].units) << "preset " << i;
        }
        expectLeftAlone(run.presets[1], 1);
        expectLeftAlone(run.presets[4], 4);
    }
}

TEST(PresetScoring, AScoreThatEndsTheTestLeavesTheLaterPresetsAsTheyWere) {
    // The parameter-set preset scores least, the IDR preset more, the others more still: a
    // score above the first ends the test at the second, though the walks behind it, begun
    // alongside, would score higher.
    const Bytes window = mixedWindow();
    const std::vector<float> alone = aloneScores(window);
    ASSERT_LT(alone[3], alone[1]);
    const EndsTest aboveTheFirst = [&](float score) { return score > alone[3]; };
    for (unsigned threads : {1u, 8u}) {
        SCOPED_TRACE("threads " + std::to_string(threads));
        const Scored run = score(window, {3, 1, 2, 0, 4, 5}, threads, aboveTheFirst);
        EXPECT_TRUE(run.finished);
        EXPECT_EQ(run.taken, (std::vector<std::size_t>{3, 1}));
        EXPECT_EQ(run.presets[1].score, alone[1]);
        for (std::size_t i : {0u, 2u, 4u, 5u}) expectLeftAlone(run.presets[i], i);
    }
}

TEST(PresetScoring, AStopEndsItAndLeavesThePresetsNotHandedOn) {
    const Bytes window = mixedWindow();
    for (unsigned threads : {1u, 8u}) {
        SCOPED_TRACE("threads " + std::to_string(threads));
        std::atomic<bool> stop{false};
        const Scored run = score(window, {0, 1, 2, 3, 4, 5}, threads, kNeverEnds, &stop);
        EXPECT_FALSE(run.finished);
        EXPECT_EQ(run.taken, (std::vector<std::size_t>{0}));
        for (std::size_t i = 1; i < 6; ++i) expectLeftAlone(run.presets[i], i);
    }
}

TEST(PresetScoring, AStopBeforeTheStartHandsNothingOn) {
    const Bytes window = mixedWindow();
    std::vector<DiagPreset> list = presets();
    std::atomic<bool> stop{true};
    const FrameWindow w{window.data(), std::int64_t(window.size()), std::int64_t(window.size()), 0};
    bool taken = false;
    EXPECT_FALSE(scorePresetsInOrder(w, list, {0, 1}, "", stop, 4, kNeverEnds, [&](std::size_t) { taken = true; }));
    EXPECT_FALSE(taken);
    for (std::size_t i = 0; i < list.size(); ++i) expectLeftAlone(list[i], i);
}

}  // namespace
