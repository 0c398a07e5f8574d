#include "common/BackgroundJob.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

// Every statement of a run goes through a job of its own, and the second session queues jobs from
// another thread: thousands start and end while others start. Each must run its work exactly once
// and be heard to end; a job whose thread was lost leaves its waiter waiting for ever.
TEST(BackgroundJob, EveryJobRunsAndEndsWhenManyStartAndEndAtOnce)
{
    constexpr int kStarters = 4, kJobsEach = 1500;
    std::atomic<int> ran{0};
    std::vector<std::vector<std::shared_ptr<BackgroundJob>>> jobs(kStarters);
    std::vector<std::thread> starters;
    for (int s = 0; s < kStarters; ++s)
        starters.emplace_back([&, s] {
            for (int j = 0; j < kJobsEach; ++j)
                jobs[s].push_back(BackgroundJob::start([&] { ran.fetch_add(1); }));
        });
    for (std::thread& t : starters)
        t.join();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    int unended = 0;
    for (const auto& each : jobs)
        for (const auto& job : each) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            unended += job->waitFor(std::max(left, std::chrono::milliseconds(0))) ? 0 : 1;
        }
    EXPECT_EQ(unended, 0);
    EXPECT_EQ(ran.load(), kStarters * kJobsEach);

    // What the work threw reaches whoever waits, after the work let go of what it held.
    auto held = std::make_shared<int>(7);
    std::weak_ptr<int> watched = held;
    const auto failing = BackgroundJob::start([held = std::move(held)] { throw std::runtime_error("отказ"); });
    try {
        failing->get();
        ADD_FAILURE() << "nothing thrown";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "отказ");
    }
    EXPECT_TRUE(watched.expired());
}

// A run's statements go one after another, each through a job: they reuse a few threads rather than
// starting one each. A job whose work hangs (a call on a connection that was cut) keeps its thread,
// and the jobs after it still start at once.
TEST(BackgroundJob, IdleThreadsServeTheNextJobsAndAHungJobHoldsUpNoOther)
{
    // How many jobs the thread running this one has run, this one included.
    static thread_local int served = 0;
    int most = 0;
    for (int j = 0; j < 500; ++j)
        BackgroundJob::start([&] { most = std::max(most, ++served); })->wait();
    EXPECT_GE(most, 450);

    Completion release;
    std::atomic<bool> hungRan{false};
    const auto hung = BackgroundJob::start([&] {
        hungRan = true;
        release.wait();
    });
    for (int j = 0; j < 50; ++j)
        ASSERT_TRUE(BackgroundJob::start([] {})->waitFor(std::chrono::seconds(10))) << "job " << j;
    EXPECT_FALSE(hung->waitFor(std::chrono::milliseconds(0)));
    release.set();
    EXPECT_TRUE(hung->waitFor(std::chrono::seconds(10)));
    EXPECT_TRUE(hungRan.load());
}
