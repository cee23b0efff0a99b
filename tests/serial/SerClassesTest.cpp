#include "serial/SerClasses.h"

#include <gtest/gtest.h>

#include <thread>

using namespace glowkite;

TEST(SerClassesTest, WaitEventIsManualReset)
{
    TSerWaitEvent event;
    EXPECT_EQ(event.WaitFor(0), wrTimeout);
    event.SetEvent();
    event.SetEvent();
    EXPECT_EQ(event.WaitFor(0), wrSignaled);
    EXPECT_EQ(event.WaitFor(0), wrSignaled) << "a wait does not reset it";
    event.ResetEvent();
    EXPECT_FALSE(event.IsSet());
    event.ResetEvent(); // resetting a reset event is harmless
    EXPECT_FALSE(event.IsSet());
}

TEST(SerClassesTest, WaitForAnyAnswersTheFirstSignalledInListOrder)
{
    TSerWaitEvent close, flush, pending;
    EXPECT_EQ(WaitForAny({&close, &flush, &pending}, 10), -1);
    pending.SetEvent();
    flush.SetEvent();
    EXPECT_EQ(WaitForAny({&close, &flush, &pending}, -1), 1);
    close.SetEvent();
    EXPECT_EQ(WaitForAny({&close, &flush, &pending}, -1), 0);

    TSerWaitEvent later;
    std::thread setter([&] { later.SetEvent(); });
    EXPECT_EQ(WaitForAny({&later}, 5000), 0);
    setter.join();
}

TEST(SerClassesTest, CriticalSectionIsRecursive)
{
    TSerCriticalSection lock;
    lock.Enter();
    lock.Enter(); // the holder may enter again without deadlock
    bool otherGotIt = true;
    std::thread other([&] {
        std::unique_lock<TSerCriticalSection> guard(lock, std::try_to_lock);
        otherGotIt = guard.owns_lock();
    });
    other.join();
    EXPECT_FALSE(otherGotIt);
    lock.Leave();
    lock.Leave();
}
