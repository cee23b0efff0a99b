#include "serial/SerComm.h"
#include "serial/SerThreads.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

using namespace glowkite;

namespace {

// A thread that reports its own nice value when asked, so that the mapping
// of the priority scale can be seen from outside.
class NiceProbe : public TSerThread {
public:
    using TSerThread::TSerThread;
    int Nice()
    {
        ask_.SetEvent();
        answered_.WaitFor(5000);
        answered_.ResetEvent();
        return nice_;
    }
    void End()
    {
        Terminate();
        ask_.SetEvent();
        Join();
    }

protected:
    void Execute() override
    {
        while (!Terminated()) {
            ask_.WaitFor(-1);
            ask_.ResetEvent();
            nice_ = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
            answered_.SetEvent();
        }
    }

private:
    TSerWaitEvent ask_, answered_;
    int nice_ = 0;
};

} // namespace

TEST(SerThreadsTest, PrioritiesMapToNiceSteps)
{
    TSerComm comm;
    NiceProbe probe(comm);
    const int base = getpriority(PRIO_PROCESS, 0);
    probe.SetPriority(tpLower); // before the start: applied by the thread itself
    probe.Start();
    EXPECT_EQ(probe.Nice(), std::min(base + 5, 19));
    probe.SetPriority(tpLowest); // lowering needs no privilege
    EXPECT_EQ(probe.Nice(), std::min(base + 10, 19));

    // Raising may be refused without CAP_SYS_NICE: never an error, and the
    // thread then keeps what it had.
    const int before = probe.Nice();
    probe.SetPriority(tpHighest);
    const int highest = probe.Nice();
    EXPECT_TRUE(highest == std::max(base - 10, -20) || highest == before) << highest;
    probe.SetPriority(tpTimeCritical);
    probe.SetPriority(tpIdle);
    EXPECT_EQ(probe.Priority(), tpIdle);
    probe.End();
}

TEST(SerThreadsTest, WriteBufferAppendsWhatFitsAndConsumesFromTheFront)
{
    TSerCommBuffer buffer(8);
    EXPECT_EQ(buffer.Append("abcdef", 6), 6u);
    EXPECT_EQ(buffer.Append("ghijk", 5), 2u);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buffer.Data()), buffer.Count()), "abcdefgh");
    buffer.Consume(3);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buffer.Data()), buffer.Count()), "defgh");
    buffer.Consume(99);
    EXPECT_EQ(buffer.Count(), 0u);
    EXPECT_EQ(buffer.Capacity(), 8u);
}
