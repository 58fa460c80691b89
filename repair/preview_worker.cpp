#include "repair/preview_worker.h"

#include <system_error>
#include <utility>

previewWorker::previewWorker(Decode decode) : decode_(std::move(decode)) {}

previewWorker::~previewWorker() { finish(); }

void previewWorker::handOver(std::vector<std::uint8_t> picture) {
    std::optional<std::vector<std::uint8_t>> replaced;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!waiting_) unfinished_.fetch_add(1, std::memory_order_acq_rel);
        replaced.swap(waiting_);
        waiting_ = std::move(picture);
    }
    // The replaced bytes are freed outside the lock.
    replaced.reset();
    if (!thread_.joinable()) {
        try {
            thread_ = std::thread(&previewWorker::loop, this);
        } catch (const std::system_error&) {
            // No thread to be had: the picture is not shown, the repair goes on.
            std::lock_guard<std::mutex> lock(mutex_);
            waiting_.reset();
            unfinished_.store(0, std::memory_order_release);
            return;
        }
    }
    wake_.notify_one();
}

void previewWorker::finish() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = false;
}

void previewWorker::loop() {
    for (;;) {
        std::vector<std::uint8_t> picture;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this] { return waiting_.has_value() || stopping_; });
            // What was handed over before the stop is still decoded.
            if (!waiting_) return;
            picture = std::move(*waiting_);
            waiting_.reset();
        }
        try {
            decode_(picture);
        } catch (...) {
            // A picture that cannot be made (no memory for it, say) is only not shown.
        }
        unfinished_.fetch_sub(1, std::memory_order_acq_rel);
    }
}
