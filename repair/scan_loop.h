#pragma once
// The scan of a repair run: walks the damaged file's media data byte position by byte position,
// writes the video NAL units it recognises to the video output as an Annex B stream, skips
// camera packets and boxes, and hands the bytes in between to the audio extraction.
#include <atomic>
#include <cstdint>
#include <functional>

struct RepairRun;
class livePreview;

struct ScanHooks {
    std::function<void(int)> progress;   // a new whole percent
    std::function<void()> videoRepair;   // once, when more than 1024 video bytes were written
    const std::atomic<bool>* stop = nullptr;
    const std::atomic<bool>* previewEnabled = nullptr;
    const std::atomic<bool>* previewSelected = nullptr;
    livePreview* preview = nullptr;
};

enum class ScanEnd {
    Stopped,            // stop request
    DataEnded,          // every byte of the file was scanned
    AudioWithoutVideo,  // over 200 MiB of audio or dropped data with little video
    SourceFailed,       // the damaged file could not be read
    VideoWriteFailed,
    AudioWriteFailed,
};

// Bytes that the scan keeps before a chunk's end for the tests at its last positions; at most a
// quarter of the chunk.
constexpr std::int64_t kScanTailBytes = 65536;
// Smallest read buffer the scan accepts.
constexpr std::int64_t kMinChunkBytes = 256;

// Runs the scan over `run.source` with a read buffer of `chunkBytes` bytes.
ScanEnd runScan(RepairRun& run, std::int64_t chunkBytes, const ScanHooks& hooks);
