#include "serial/SerHandOff.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

using namespace glowkite;
using namespace std::chrono_literals;

TEST(SerHandOffTest, AStepRunsOnTheOwnerThreadAndTheWorkerWaitsForIt)
{
    std::atomic<int> notified{0};
    TSerHandOffQueue queue([&] { ++notified; });
    std::thread::id ranOn;
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        queue.Run([&] { ranOn = std::this_thread::get_id(); });
        returned = true;
    });
    ASSERT_EQ(queue.PendingEvent().WaitFor(5000), wrSignaled);
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(returned) << "the worker must block until its step has run";
    EXPECT_EQ(queue.ServePending(), 1);
    worker.join();
    EXPECT_TRUE(returned);
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_EQ(notified, 1);
    EXPECT_FALSE(queue.PendingEvent().IsSet());
    EXPECT_EQ(queue.ServePending(), 0);
}

TEST(SerHandOffTest, AnExceptionOfTheStepReachesTheWorker)
{
    TSerHandOffQueue queue;
    std::string caught;
    std::thread worker([&] {
        try {
            queue.Run([] { throw std::runtime_error("step failed"); });
        } catch (const std::runtime_error &e) {
            caught = e.what();
        }
    });
    while (queue.WaitAndServe(5s) == 0) {
    }
    worker.join();
    EXPECT_EQ(caught, "step failed");
}

TEST(SerHandOffTest, OnTheOwnerThreadAStepRunsAtOnce)
{
    TSerHandOffQueue queue;
    EXPECT_TRUE(queue.IsOwnerThread());
    int ran = 0;
    queue.Run([&] { ++ran; });
    EXPECT_EQ(ran, 1);
    std::thread([&] { EXPECT_FALSE(queue.IsOwnerThread()); }).join();
}

TEST(SerHandOffTest, WaitServingServesStepsUntilItsEventIsSignalled)
{
    TSerHandOffQueue queue;
    TSerWaitEvent ended;
    int served = 0;
    // A worker that has to hand two steps over before it can end: waiting for
    // its end without serving would never return.
    std::thread worker([&] {
        queue.Run([&] { ++served; });
        queue.Run([&] { ++served; });
        ended.SetEvent();
    });
    queue.WaitServing(ended);
    worker.join();
    EXPECT_EQ(served, 2);
}

TEST(SerHandOffTest, StepsOfSeveralWorkersAreServedOneAtATime)
{
    TSerHandOffQueue queue;
    std::atomic<int> running{0};
    int maxRunning = 0, total = 0;
    std::vector<std::thread> workers;
    for (int w = 0; w < 4; ++w)
        workers.emplace_back([&] {
            for (int i = 0; i < 50; ++i)
                queue.Run([&] {
                    maxRunning = std::max(maxRunning, ++running);
                    ++total;
                    --running;
                });
        });
    while (total < 200)
        queue.WaitAndServe(100ms);
    for (auto &t : workers)
        t.join();
    EXPECT_EQ(total, 200);
    EXPECT_EQ(maxRunning, 1);
}
