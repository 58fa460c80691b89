#pragma once
// The thread beside the scan that decodes the live preview's pictures. It holds one picture
// waiting and decodes one at a time; the scan hands a picture over without ever waiting for a
// decode, and asks first whether the thread is free, so that it neither copies a picture that
// would wait nor lets pictures pile up.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

class previewWorker {
public:
    // Decodes one picture's bytes; runs on the worker's thread.
    using Decode = std::function<void(std::vector<std::uint8_t>& picture)>;

    explicit previewWorker(Decode decode);
    // Finishes and joins: no thread outlives its worker.
    ~previewWorker();
    previewWorker(const previewWorker&) = delete;
    previewWorker& operator=(const previewWorker&) = delete;

    // Nothing waits and nothing is being decoded: a picture handed over now is decoded at once.
    bool idle() const { return unfinished_.load(std::memory_order_acquire) == 0; }
    // Queues `picture` behind the one being decoded, replacing one that still waits, and starts
    // the thread when none runs. Takes the lock only to move the bytes in.
    void handOver(std::vector<std::uint8_t> picture);
    // Decodes what was handed over, then ends the thread; a later handOver starts a new one.
    void finish();
    bool running() const { return thread_.joinable(); }

private:
    void loop();

    const Decode decode_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<std::vector<std::uint8_t>> waiting_;  // guarded by mutex_
    bool stopping_ = false;                              // guarded by mutex_
    // Pictures handed over and not yet decoded: the waiting one and the one in hand.
    std::atomic<int> unfinished_{0};
    std::thread thread_;  // started and joined by the owner's thread only
};
