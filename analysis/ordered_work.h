#pragma once
// Jobs 0 to n - 1 worked out ahead on a few threads and taken in their order: the diagnostic's
// matching walks and decoding attempts are independent of one another, but what they show is
// shown in list order and the first that settles the question ends the rest. Jobs are begun in
// order, at most `lookahead` ahead of the last one taken, so the outcomes kept waiting stay few;
// leaving the object cancels the jobs still running and waits for their threads.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// Threads for such work: the machine's, at least one.
inline unsigned machineThreads() { return std::max(1u, std::thread::hardware_concurrency()); }

template <typename Result>
class OrderedWork {
public:
    // `job(k, cancel)` works out job k; it may end early once `cancel` is set (its outcome is
    // then never taken).
    using Job = std::function<Result(std::size_t k, const std::atomic<bool>& cancel)>;

    OrderedWork(std::size_t count, unsigned threads, std::size_t lookahead, Job job)
        : job_(std::move(job)), slots_(count), lookahead_(std::max<std::size_t>(lookahead, 1)) {
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
            cancel_ = true;
        }
        claimable_.notify_all();
        for (std::thread& thread : threads_) thread.join();
    }

    OrderedWork(const OrderedWork&) = delete;
    OrderedWork& operator=(const OrderedWork&) = delete;

    // Job k's outcome, taken once it is there; k follows the last job taken. False when `stop`
    // (if given) was set before it could be taken. A job's exception is thrown here.
    bool await(std::size_t k, const std::atomic<bool>* stop, Result& out) {
        std::unique_lock<std::mutex> hold(lock_);
        while (!slots_[k].done) {
            if (stop && stop->load()) return false;
            if (stop) done_.wait_for(hold, kStopPoll);
            else done_.wait(hold);
        }
        if (stop && stop->load()) return false;
        taken_ = k + 1;
        claimable_.notify_all();
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

    void work() {
        for (;;) {
            std::size_t k = 0;
            {
                std::unique_lock<std::mutex> hold(lock_);
                claimable_.wait(hold, [&] { return cancel_ || next_ >= slots_.size() || next_ < taken_ + lookahead_; });
                if (cancel_ || next_ >= slots_.size()) return;
                k = next_++;
            }
            Slot slot;
            try {
                slot.result = job_(k, cancel_);
            } catch (...) {
                slot.failure = std::current_exception();
            }
            slot.done = true;
            {
                std::lock_guard<std::mutex> hold(lock_);
                slots_[k] = std::move(slot);
            }
            done_.notify_all();
        }
    }

    Job job_;
    std::mutex lock_;
    std::condition_variable done_;
    std::condition_variable claimable_;
    std::vector<Slot> slots_;
    std::size_t next_ = 0;
    std::size_t taken_ = 0;
    const std::size_t lookahead_;
    std::atomic<bool> cancel_{false};
    std::vector<std::thread> threads_;
};
