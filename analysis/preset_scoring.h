#pragma once
// The matching test's walks, several at once. A walk over 7 MiB of bytes it does not recognise
// takes a tenth of a second or more, and a file that no preset fits makes every preset walk all
// of it; each walk reads only the shared window and its own preset, so the presets are walked
// on as many threads as the machine has and handed on one by one in list order, as a single
// thread would have done.
#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "analysis/diag_preset.h"
#include "analysis/frame_finder.h"

// Whether a score ends the test: the presets behind it are not handed on.
using EndsTest = std::function<bool(float score)>;
// Called on the calling thread for each walked preset in `order`, once presets[index] holds its
// score and units.
using TakeScore = std::function<void(std::size_t index)>;

// Walks presets[i] for every i of `order` with `cameraName` on up to `threads` threads and
// hands each outcome to `take` in that order, up to the first whose score `endsTest`. The
// presets after that one are left as they were, as are all those not yet handed on when
// `stopRequested` is set. Returns false when `stopRequested` ended it. An exception from a walk
// reaches the caller when that walk's turn comes.
bool scorePresetsInOrder(const FrameWindow& window, std::vector<DiagPreset>& presets,
                         const std::vector<std::size_t>& order, const std::string& cameraName,
                         const std::atomic<bool>& stopRequested, unsigned threads, const EndsTest& endsTest,
                         const TakeScore& take);
