// The worker that runs a job beside the frame: each job runs once and whole, Wait returns only
// after it, a job started while another runs waits its turn, and one still pending when the
// worker goes is finished first.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "scene/BackgroundTask.h"

TEST(BackgroundTask, RunsEachJobOnceOffTheCallerAndWaitSeesItDone) {
    BackgroundTask task;
    task.Wait();   // nothing started yet: returns at once
    const std::thread::id caller = std::this_thread::get_id();
    std::vector<int> done;
    std::thread::id ranOn;
    for (int i = 0; i < 50; ++i) {
        task.Start([&, i] {
            std::this_thread::sleep_for(std::chrono::microseconds(i % 3 == 0 ? 200 : 0));
            ranOn = std::this_thread::get_id();
            done.push_back(i);
        });
        task.Wait();
        ASSERT_EQ(done.size(), static_cast<size_t>(i + 1));
        EXPECT_EQ(done.back(), i);
    }
    EXPECT_NE(ranOn, caller);
    // Starting again without waiting waits for the job under way first: they never overlap.
    std::atomic<int> running{0}, overlaps{0}, count{0};
    for (int i = 0; i < 20; ++i) {
        task.Start([&] {
            if (running.fetch_add(1) != 0) overlaps.fetch_add(1);
            std::this_thread::sleep_for(std::chrono::microseconds(100));
            running.fetch_sub(1);
            count.fetch_add(1);
        });
    }
    task.Wait();
    EXPECT_EQ(count.load(), 20);
    EXPECT_EQ(overlaps.load(), 0);
}

TEST(BackgroundTask, AJobStillPendingAtTheEndIsFinishedFirst) {
    std::atomic<bool> finished{false};
    {
        auto task = std::make_unique<BackgroundTask>();
        task->Start([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            finished = true;
        });
    }
    EXPECT_TRUE(finished.load());
}
