#include "tools/brannoc/frame_walk.h"

#include <algorithm>
#include <memory>
#include <thread>

#include "tools/brannoc/constant_run.h"
#include "media/aac_frame_probe.h"
#include "media/machine_threads.h"
#include "tools/brannoc/input_window.h"

// The parallel walk. The walk is deterministic from any position: where it goes next depends only
// on the bytes there (the probe sees to that). So the input is cut into pieces and every piece is
// walked from its start on its own thread, as if the serial walk stood there; its first frames
// may be misreadings of the middle of a frame. Each piece's walk runs on past the piece's end
// until it has taken a few frames there. Joining then follows piece k's walk, and as soon as that
// walk stands at a position where piece k+1's walk stood too, the two walks are one from there on
// and the join follows piece k+1. A walk that runs out without meeting the next one is continued
// on the joining thread until it meets a later piece's walk.
// A walk passes over a run of one byte value in one step (constant_run.h) and lands at the same
// place wherever it came into the run, so walks that enter one run meet behind it. The join, too,
// passes over the stretches in which the walk it follows takes no frame.

namespace brannoc {

using aac::FrameProbe;
using aac::kProbeReach;

namespace {

// Frames a piece's walk takes past its end before it stops; the walks meet within one or two
// frames of junk-free sound.
constexpr int kFramesPastPiece = 4;

constexpr std::uint64_t kNowhere = UINT64_MAX;

// What the walk does at a position: take a frame of `length` bytes, or (length 0) move on to
// `next`, the next position or the first one behind a run.
struct Step {
    std::size_t length = 0;
    std::uint64_t next = 0;
};

class Walker {
public:
    Walker(int fd, std::uint64_t size, std::size_t capacity = InputWindow::kDefaultCapacity)
        : window_(fd, size, capacity) {}
    bool init(const AdtsConfig& config) { return probe_.init(config); }

    // The step at `position`; a run is followed no further than `bound`. False on a read error.
    bool step(std::uint64_t position, std::uint64_t bound, Step& step) {
        std::uint8_t* data = nullptr;
        std::size_t available = 0;
        if (!window_.at(position, kProbeReach, data, available)) return false;
        step = {0, position + 1};
        if (available == 0) return true;
        if (available >= kRunWithoutFrame && runLength(data, kRunWithoutFrame) == kRunWithoutFrame) {
            // No frame is tried at any position whose run reaches kRunWithoutFrame bytes.
            std::uint64_t end = 0;
            if (!runEnd(position, bound, data[0], end)) return false;
            step.next = std::max(step.next, end - kRunWithoutFrame + 1);
            return true;
        }
        step.length = probe_.frameAt(data, available);
        return true;
    }
    std::uint64_t size() const { return window_.size(); }
    bool sawBandReplication() { return probe_.sawBandReplication(); }

private:
    // Where the run of `value` that starts at `from` ends, looked at up to `bound`.
    bool runEnd(std::uint64_t from, std::uint64_t bound, std::uint8_t value, std::uint64_t& end) {
        for (end = from; end < bound;) {
            std::uint8_t* data = nullptr;
            std::size_t available = 0;
            if (!window_.at(end, 1, data, available)) return false;
            const std::size_t ahead = static_cast<std::size_t>(std::min<std::uint64_t>(available, bound - end));
            if (ahead == 0 || data[0] != value) return true;
            const std::size_t run = runLength(data, ahead);
            end += run;
            if (run < ahead) return true;
        }
        return true;
    }

    InputWindow window_;
    FrameProbe probe_;
};

struct PieceWalk {
    std::uint64_t start = 0, end = 0;  // the walk decided every position it stood at in [start, end)
    std::vector<FoundFrame> frames;
    bool readError = false, decoderError = false, bandReplication = false;
};

// Walks from `start`; stops before `limit`, at the input's end, or once kFramesPastPiece frames
// at or past `pieceEnd` are taken.
PieceWalk walkPiece(int fd, std::uint64_t size, const AdtsConfig& config, std::uint64_t start,
                    std::uint64_t pieceEnd, std::uint64_t limit) {
    PieceWalk walk;
    walk.start = start;
    // A short piece needs no more than its own bytes and what a probe looks past them.
    const std::uint64_t range = std::min(limit, size) - std::min(start, size) + 2 * kProbeReach;
    Walker walker(fd, size, static_cast<std::size_t>(std::min<std::uint64_t>(range, InputWindow::kDefaultCapacity)));
    if (!walker.init(config)) {
        walk.decoderError = true;
        return walk;
    }
    // Runs are followed a little past the limit, so that a walk through a run that covers it
    // ends at the limit.
    const std::uint64_t bound = std::min(limit + kRunWithoutFrame - 1, walker.size());
    std::uint64_t at = start;
    int past = 0;
    while (at < std::min(limit, walker.size()) && past < kFramesPastPiece) {
        Step step;
        if (!walker.step(at, bound, step)) {
            walk.readError = true;
            return walk;
        }
        if (step.length == 0) {
            at = step.next;
            continue;
        }
        walk.frames.push_back({at, static_cast<std::uint32_t>(step.length)});
        if (at >= pieceEnd) ++past;
        at += step.length;
    }
    walk.end = at;
    walk.bandReplication = walker.sawBandReplication();
    return walk;
}

// Follows one piece's walk along increasing positions.
class PathCursor {
public:
    explicit PathCursor(const PieceWalk& walk) : walk_(&walk) {}

    // Whether the piece's walk stood at `position`: inside its range and not inside a frame it took.
    bool stoodAt(std::uint64_t position) {
        if (position < walk_->start || position >= walk_->end) return false;
        skipFramesEndingBy(position);
        const auto& frames = walk_->frames;
        return next_ == frames.size() || frames[next_].at >= position;
    }
    // The frame length the walk took at a position it stood at, 0 when it moved on.
    std::size_t lengthAt(std::uint64_t position) const {
        const auto& frames = walk_->frames;
        return next_ < frames.size() && frames[next_].at == position ? frames[next_].length : 0;
    }
    // After a position it stood at without a frame: where it takes its next frame, or its end.
    std::uint64_t nextFrameOrEnd() const {
        const auto& frames = walk_->frames;
        return next_ < frames.size() ? std::min(frames[next_].at, walk_->end) : walk_->end;
    }
    // The first position at or after `position` that the walk stood at; kNowhere when none.
    std::uint64_t firstStoodFrom(std::uint64_t position) {
        position = std::max(position, walk_->start);
        skipFramesEndingBy(position);
        const auto& frames = walk_->frames;
        if (next_ < frames.size() && frames[next_].at < position) position = frames[next_].at + frames[next_].length;
        return position < walk_->end ? position : kNowhere;
    }

private:
    // Positions asked about only grow, so the frames that end by one are passed for good.
    void skipFramesEndingBy(std::uint64_t position) {
        const auto& frames = walk_->frames;
        while (next_ < frames.size() && frames[next_].at + frames[next_].length <= position) ++next_;
    }

    const PieceWalk* walk_;
    std::size_t next_ = 0;
};

WalkResult serialWalk(int fd, std::uint64_t size, std::uint64_t start, const AdtsConfig& config) {
    PieceWalk walk = walkPiece(fd, size, config, start, size, size);
    WalkResult result;
    result.readError = walk.readError;
    result.decoderError = walk.decoderError;
    result.frames = std::move(walk.frames);
    return result;
}

}  // namespace

WalkResult walkFrames(int fd, std::uint64_t size, std::uint64_t start, const AdtsConfig& config, unsigned threads,
                      std::uint64_t minPiece) {
    if (threads == 0) threads = machineThreads();
    const std::uint64_t span = size > start ? size - start : 0;
    const std::uint64_t count = std::min<std::uint64_t>(threads, span / std::max<std::uint64_t>(minPiece, 1));
    if (count < 2) return serialWalk(fd, size, start, config);

    std::vector<std::uint64_t> starts(count + 1);
    for (std::uint64_t k = 0; k <= count; ++k) starts[k] = start + span * k / count;
    std::vector<PieceWalk> pieces(count);
    {
        std::vector<std::thread> workers;
        for (std::uint64_t k = 0; k < count; ++k) {
            const std::uint64_t limit = k + 2 <= count ? starts[std::min(k + 2, count)] : size;
            workers.emplace_back([&, k, limit] { pieces[k] = walkPiece(fd, size, config, starts[k], starts[k + 1], limit); });
        }
        for (std::thread& worker : workers) worker.join();
    }

    WalkResult result;
    for (const PieceWalk& piece : pieces) {
        result.readError |= piece.readError;
        result.decoderError |= piece.decoderError;
        if (piece.bandReplication) return serialWalk(fd, size, start, config);
    }
    if (result.readError || result.decoderError) return result;

    std::vector<PathCursor> cursors(pieces.begin(), pieces.end());
    std::unique_ptr<Walker> live;  // continues a walk that ran out before meeting the next one
    std::size_t followed = 0;
    for (std::uint64_t at = start; at < size;) {
        for (std::size_t k = followed + 1; k < pieces.size() && pieces[k].start <= at; ++k)
            if (cursors[k].stoodAt(at)) followed = k;
        PathCursor& cursor = cursors[followed];
        if (cursor.stoodAt(at)) {
            if (const std::size_t length = cursor.lengthAt(at)) {
                result.frames.push_back({at, static_cast<std::uint32_t>(length)});
                at += length;
                continue;
            }
            // Up to its next frame the followed walk only moves on; a later walk may meet it there.
            std::uint64_t next = cursor.nextFrameOrEnd();
            for (std::size_t k = followed + 1; k < pieces.size() && pieces[k].start < next; ++k)
                next = std::min(next, cursors[k].firstStoodFrom(at + 1));
            at = next;
            continue;
        }
        if (!live) {
            live = std::make_unique<Walker>(fd, size);
            if (!live->init(config)) {
                result.decoderError = true;
                return result;
            }
        }
        Step step;
        if (!live->step(at, size, step)) {
            result.readError = true;
            return result;
        }
        if (at >= live->size()) break;
        if (step.length == 0) {
            at = step.next;
            continue;
        }
        result.frames.push_back({at, static_cast<std::uint32_t>(step.length)});
        at += step.length;
    }
    if (live && live->sawBandReplication()) return serialWalk(fd, size, start, config);
    return result;
}

}  // namespace brannoc
