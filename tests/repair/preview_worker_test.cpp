#include "repair/preview_worker.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <stdexcept>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(PreviewWorker, WhileAPictureIsDecodedOneWaitsAndALaterOneReplacesIt) {
    std::promise<void> entered;
    std::promise<void> released;
    std::shared_future<void> release = released.get_future().share();
    std::vector<int> firsts;
    bool timedOut = false;
    previewWorker worker([&](Bytes& picture) {
        firsts.push_back(picture[0]);
        if (picture[0] != 1) return;
        entered.set_value();
        timedOut = release.wait_for(std::chrono::seconds(20)) == std::future_status::timeout;
    });
    EXPECT_TRUE(worker.idle());
    worker.handOver({1});
    entered.get_future().wait();
    worker.handOver({2});
    worker.handOver({3});
    EXPECT_FALSE(worker.idle());
    released.set_value();
    worker.finish();
    EXPECT_FALSE(timedOut) << "the hand-overs did not wait for the picture in hand";
    EXPECT_EQ(firsts, (std::vector<int>{1, 3}));
    EXPECT_TRUE(worker.idle());
}

TEST(PreviewWorker, APictureThatFailsDoesNotEndTheThread) {
    std::vector<int> firsts;
    previewWorker worker([&](Bytes& picture) {
        if (picture[0] == 1) throw std::bad_alloc();
        firsts.push_back(picture[0]);
    });
    worker.handOver({1});
    worker.finish();
    worker.handOver({2});
    worker.finish();
    EXPECT_EQ(firsts, (std::vector<int>{2}));
    EXPECT_TRUE(worker.idle());
}

TEST(PreviewWorker, FinishDecodesWhatWaitsAndEndsTheThreadUntilTheNextPicture) {
    std::vector<int> firsts;
    {
        previewWorker worker([&](Bytes& picture) { firsts.push_back(picture[0]); });
        EXPECT_FALSE(worker.running()) << "no thread before a picture";
        worker.handOver({1});
        worker.finish();
        EXPECT_FALSE(worker.running());
        EXPECT_EQ(firsts, (std::vector<int>{1}));
        worker.handOver({2});
        EXPECT_TRUE(worker.running());
    }  // the destructor finishes too
    EXPECT_EQ(firsts, (std::vector<int>{1, 2}));
}

}  // namespace
