#pragma once
// Jobs 0 to n - 1 worked out ahead on a few threads and taken in their order: the diagnostic's
// matching walks are independent of one another, but what they show is shown in list order and
// the first outcome that settles the question ends the rest. Jobs are begun in order as threads
// come free, and each outcome waits until it is taken. Once a job's outcome settles, the jobs
// behind it are cancelled and no more are begun: on a loaded machine they would only take turns
// from the jobs still needed. Leaving the object cancels the jobs still running and waits for
// their threads.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "media/machine_threads.h"

template <typename Result>
class OrderedWork {
public:
    // `job(k, cancel)` works out job k; it may end early once `cancel` is set (its outcome is
    // then never taken).
    using Job = std::function<Result(std::size_t k, const std::atomic<bool>& cancel)>;
    // Whether an outcome settles the question: nothing behind it is taken.
    using Settles = std::function<bool(const Result& outcome)>;

    OrderedWork(std::size_t count, unsigned threads, Job job, Settles settles = nullptr)
        : job_(std::move(job)),
          settles_(std::move(settles)),
          slots_(count),
          cancels_(new std::atomic<bool>[count]()),
          settledAt_(count) {
        const std::size_t wanted = std::min<std::size_t>(std::max(threads, 1u), count);
        try {
            for (std::size_t i = 0; i < wanted; ++i) threads_.emplace_back([this] { work(); });
        } catch (...) {
            if (threads_.empty()) throw;  // not one thread: nothing could be worked out
        }
    }

    ~OrderedWork() {
        {
            std::lock_guard<std::mutex> hold(lock_);
            leaving_ = true;
            for (std::size_t k = 0; k < slots_.size(); ++k) cancels_[k] = true;
        }
        for (std::thread& thread : threads_) thread.join();
    }

    OrderedWork(const OrderedWork&) = delete;
    OrderedWork& operator=(const OrderedWork&) = delete;

    // Job k's outcome, taken once it is there; k follows the last job taken. False when `stop`
    // (if given) was set before it could be taken, and for a job behind a settling outcome. A
    // job's exception is thrown here.
    bool await(std::size_t k, const std::atomic<bool>* stop, Result& out) {
        std::unique_lock<std::mutex> hold(lock_);
        while (!slots_[k].done) {
            if ((stop && stop->load()) || k > settledAt_) return false;
            if (stop) done_.wait_for(hold, kStopPoll);
            else done_.wait(hold);
        }
        if (stop && stop->load()) return false;
        if (slots_[k].failure) std::rethrow_exception(slots_[k].failure);
        out = std::move(slots_[k].result);
        return true;
    }

private:
    // How often a waiting caller looks at its stop flag; the jobs themselves look more often.
    static constexpr std::chrono::milliseconds kStopPoll{10};

    struct Slot {
        Result result{};
        std::exception_ptr failure;
        bool done = false;
    };

    // The jobs that may still be begun end after the first settling outcome.
    std::size_t jobsNeeded() const { return std::min(slots_.size(), settledAt_ + 1); }

    void work() {
        for (;;) {
            std::size_t k = 0;
            {
                std::unique_lock<std::mutex> hold(lock_);
                if (leaving_ || next_ >= jobsNeeded()) return;
                k = next_++;
            }
            Slot slot;
            try {
                slot.result = job_(k, cancels_[k]);
            } catch (...) {
                slot.failure = std::current_exception();
            }
            slot.done = true;
            const bool settling = !slot.failure && !cancels_[k] && settles_ && settles_(slot.result);
            {
                std::lock_guard<std::mutex> hold(lock_);
                slots_[k] = std::move(slot);
                if (settling && k < settledAt_) {
                    settledAt_ = k;
                    for (std::size_t later = k + 1; later < next_; ++later) cancels_[later] = true;
                }
            }
            done_.notify_all();
        }
    }

    Job job_;
    Settles settles_;
    std::mutex lock_;
    std::condition_variable done_;
    std::vector<Slot> slots_;
    std::unique_ptr<std::atomic<bool>[]> cancels_;
    std::size_t next_ = 0;
    std::size_t settledAt_;  // the first job whose outcome settles; the count while none has
    bool leaving_ = false;
    std::vector<std::thread> threads_;
};
