#pragma once
// The mux's first walk over the engine's video on a thread of its own, so that it runs while
// the audio is repaired (it needs nothing from the audio). The thread never outlives this
// object: a cancel or the destructor stops the walk within one chunk read, and the destructor
// waits for the thread.
#include <atomic>
#include <thread>

#include <QString>

#include "jobs/access_units.h"

class BackgroundTimeline {
public:
    // Starts the walk over `video`; `cancel` is the job's flag, which outlives this object.
    BackgroundTimeline(const QString& video, const std::atomic<bool>& cancel);
    ~BackgroundTimeline();
    BackgroundTimeline(const BackgroundTimeline&) = delete;
    BackgroundTimeline& operator=(const BackgroundTimeline&) = delete;

    // Waits for the walk to end; failed when the walk failed or was stopped. The timeline is
    // moved out: call once.
    Outcome take(StreamTimeline& timeline);
    // Stops the walk and waits for the thread (before the video is removed, say).
    void stop();

private:
    void finish();

    const std::atomic<bool>& cancel_;
    std::atomic<bool> stop_{false};
    StreamTimeline timeline_;
    Outcome outcome_ = Outcome::failed("the first walk over the video has not ended");
    std::thread thread_;  // last: started once everything it writes exists
};
