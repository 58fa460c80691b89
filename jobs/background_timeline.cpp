#include "jobs/background_timeline.h"

BackgroundTimeline::BackgroundTimeline(const QString& video, const std::atomic<bool>& cancel) : cancel_(cancel) {
    thread_ = std::thread([this, video] {
        outcome_ = readStreamTimeline(video, timeline_, kTimelineChunkBytes, [this] { return stop_ || cancel_; });
    });
}

BackgroundTimeline::~BackgroundTimeline() { stop(); }

void BackgroundTimeline::stop() {
    stop_ = true;
    finish();
}

void BackgroundTimeline::finish() {
    if (thread_.joinable()) thread_.join();
}

Outcome BackgroundTimeline::take(StreamTimeline& timeline) {
    finish();
    if (!outcome_) return outcome_;
    timeline = std::move(timeline_);
    outcome_ = Outcome::failed("the first walk over the video was taken already");
    return Outcome::done();
}
