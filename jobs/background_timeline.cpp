#include "jobs/background_timeline.h"

BackgroundTimeline::BackgroundTimeline(const QString& video, const std::atomic<bool>& cancel) : cancel_(cancel) {
    thread_ = std::thread([this, video] {
        ok_ = readStreamTimeline(video, timeline_, error_, kTimelineChunkBytes, [this] { return stop_ || cancel_; });
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

bool BackgroundTimeline::take(StreamTimeline& timeline, std::string& error) {
    finish();
    if (!ok_) {
        error = error_;
        return false;
    }
    timeline = std::move(timeline_);
    ok_ = false;
    error_ = "the first walk over the video was taken already";
    return true;
}
