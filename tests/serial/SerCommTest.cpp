#include "serial/SerComm.h"
#include "serial/SerTermios2.h"

#include "serial/SerTestPorts.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <stdexcept>

using namespace glowkite;
using namespace serialtest;
using namespace std::chrono_literals;

namespace {

// A component on a pty, with its hand-off served by the test thread.
struct Fixture {
    std::shared_ptr<TSerHandOffQueue> queue = std::make_shared<TSerHandOffQueue>();
    // Declared before comm, so they outlive it: destroying an open component
    // serves the hand-offs still pending, and so runs the handlers below.
    std::vector<unsigned char> received;
    int batches = 0;
    std::vector<std::string> errors;
    TSerComm comm{queue};

    explicit Fixture(const std::string &path)
    {
        comm.SetDeviceName(path);
        comm.SetUserBaudrate(35710);
        comm.ClosePause = 0ms;
        comm.ExceptionDisplay = [this](std::exception_ptr e) { errors.push_back(ExceptionMessage(e)); };
        comm.OnRxChar = [this](TSerCustomComm &c, int) {
            ++batches;
            std::uint8_t ch;
            while (c.ReadChar(ch))
                received.push_back(ch);
        };
    }
    bool Serve(const std::function<bool()> &done, std::chrono::milliseconds timeout = 5s)
    {
        return ServeUntil(*queue, done, timeout);
    }
};

std::vector<unsigned char> Bytes(std::size_t n, unsigned seed = 0)
{
    std::vector<unsigned char> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = static_cast<unsigned char>((i * 7 + seed) & 0xFF);
    return v;
}

std::string MessageOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const ESerCommError &e) {
        return e.what();
    }
    return "(no ESerCommError)";
}

const std::string whileOpen = "Can't perform this operation while port is open";

} // namespace

TEST(SerCommTest, DefaultsOfTheComponent)
{
    TSerComm comm;
    EXPECT_FALSE(comm.AutoOpen());
    EXPECT_EQ(comm.Baudrate(), br1200);
    EXPECT_EQ(comm.UserBaudrate(), 0);
    EXPECT_EQ(comm.Parity(), paNone);
    EXPECT_EQ(comm.Databits(), db8);
    EXPECT_EQ(comm.Stopbits(), sb1);
    EXPECT_TRUE(comm.Options().Empty());
    EXPECT_EQ(comm.PortNum(), 0);
    EXPECT_EQ(comm.DeviceName(), "COM%d");
    EXPECT_EQ(comm.MonitorEvents(), (TSerCommEvents{ceError, ceRxChar, ceTxEmpty}));
    EXPECT_EQ(comm.EventPriority(), tpNormal);
    EXPECT_EQ(comm.WritePriority(), tpHighest);
    EXPECT_FALSE(comm.DirectWrite());
    EXPECT_TRUE(comm.UpdateDCB());
    EXPECT_FALSE(comm.Active());
    EXPECT_EQ(comm.ReadBufUsed(), 0);
    std::uint8_t ch;
    EXPECT_FALSE(comm.ReadChar(ch));
}

TEST(SerCommTest, DevicePathRule)
{
    TSerComm comm;
    const std::pair<std::string, std::string> cases[] = {
        {"COM1", "/dev/ttyS0"},       {"COM10", "/dev/ttyS9"},     {"com3", "/dev/ttyS2"},
        {"/dev/pts/7", "/dev/pts/7"}, {"ttyUSB0", "/dev/ttyUSB0"}, {"COM0", "/dev/COM0"},
        {"COMx", "/dev/COMx"},        {"100%", "/dev/100%"},       {"a%n%s", "/dev/a%n0"}};
    for (const auto &[name, path] : cases) {
        comm.SetDeviceName(name);
        EXPECT_EQ(comm.DevicePath(), path) << name;
    }
    comm.SetDeviceName("COM%d");
    comm.SetPortNum(4);
    EXPECT_EQ(comm.DevicePath(), "/dev/ttyS3");
    EXPECT_THROW(comm.SetPortNum(-1), ESerCommError);
}

TEST(SerCommTest, BaudrateAndUserBaudrate)
{
    TSerComm comm;
    comm.SetUserBaudrate(35710);
    EXPECT_EQ(comm.Baudrate(), brUser);
    comm.SetBaudrate(br9600);
    EXPECT_EQ(comm.UserBaudrate(), 0);
    comm.SetUserBaudrate(35710);
    EXPECT_EQ(comm.Baudrate(), brUser);
    comm.SetBaudrate(br9600);
    comm.SetUserBaudrate(0); // the value it already holds: nothing changes
    EXPECT_EQ(comm.Baudrate(), br9600);
}

TEST(SerCommTest, OpenConfiguresTheLineAndCloseEndsIt)
{
    PtyPair pty;
    ASSERT_FALSE(pty.path.empty());
    Fixture f(pty.path);
    int opened = 0, closed = 0;
    f.comm.OnOpen = [&](TSerCustomComm &) { ++opened; };
    f.comm.OnClose = [&](TSerCustomComm &) { ++closed; };
    f.comm.Open();
    EXPECT_TRUE(f.comm.Active());
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(f.comm.EventMask(), EV_RXCHAR | EV_ERR);

    TSerTermios2 t;
    ASSERT_EQ(GetTermios2(pty.slave, t), 0);
    const TSerLineState line = DescribeTermios2(t);
    EXPECT_EQ(line.Baudrate, 35710u);
    EXPECT_EQ(line.Databits, 8);
    EXPECT_EQ(line.Parity, 'N');
    EXPECT_EQ(line.Stopbits, 1);
    EXPECT_TRUE(line.Raw);
    EXPECT_FALSE(line.RtsCts);
    EXPECT_FALSE(line.XonXoffIn);

    // Settings changed while open reach the line at once (a pty keeps the
    // rate and the stop bits; it forces 8 data bits without parity).
    f.comm.SetStopbits(sb2);
    f.comm.SetUserBaudrate(12345);
    ASSERT_EQ(GetTermios2(pty.slave, t), 0);
    EXPECT_EQ(DescribeTermios2(t).Stopbits, 2);
    EXPECT_EQ(DescribeTermios2(t).Baudrate, 12345u);

    f.comm.Close();
    EXPECT_FALSE(f.comm.Active());
    EXPECT_EQ(closed, 1);
    std::uint8_t ch;
    EXPECT_FALSE(f.comm.ReadChar(ch));
}

TEST(SerCommTest, ASettingLinuxCannotTakeFailsTheOpen)
{
    PtyPair pty;
    Fixture f(pty.path);
    f.comm.SetDatabits(db4);
    EXPECT_EQ(MessageOf([&] { f.comm.Open(); }), "Error writing dcb (22), Invalid argument");
    EXPECT_FALSE(f.comm.Active());
    f.comm.SetDatabits(db8);
    f.comm.Open();
    EXPECT_TRUE(f.comm.Active());
}

TEST(SerCommTest, MissingDevice)
{
    TempDir dir;
    const std::string path = (dir.path / "ttyGone").string();
    TSerComm comm;
    comm.SetDeviceName(path);
    EXPECT_EQ(MessageOf([&] { comm.Open(); }), "Specified device not found (" + path + ").");
    EXPECT_FALSE(comm.Active());
}

TEST(SerCommTest, DeviceHeldByAnotherProcess)
{
    PtyPair pty;
    int ready[2], done[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(done), 0);
    const pid_t child = fork();
    if (child == 0) {
        TSerComm holder;
        holder.SetDeviceName(pty.path);
        holder.SetMonitorEvents({});
        holder.SetDirectWrite(true);
        char ok = 0;
        try {
            holder.Open();
            ok = 1;
        } catch (...) {
        }
        [[maybe_unused]] auto n = write(ready[1], &ok, 1);
        n = read(done[0], &ok, 1);
        holder.Close();
        _exit(0);
    }
    char ok = 0;
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, 1);

    TSerComm comm;
    comm.SetDeviceName(pty.path);
    // Even as root, who passes TIOCEXCL, the lock keeps the second opener out.
    EXPECT_EQ(MessageOf([&] { comm.Open(); }),
              "Can't open specified device " + pty.path + " (Error " + std::to_string(EBUSY) + ", " +
                  std::strerror(EBUSY) + ")");
    EXPECT_FALSE(comm.Active());

    // The holder ends by closing the port. (One that is killed leaves a
    // pseudo-terminal's TIOCEXCL set while its master lives, and the kernel
    // keeps every opener but root out of it: no test of ours to make.)
    [[maybe_unused]] auto n = write(done[1], "x", 1);
    waitpid(child, nullptr, 0);
    for (int fd : {ready[0], ready[1], done[0], done[1]})
        close(fd);
    comm.ClosePause = 0ms;
    comm.Open(); // free again once the holder has gone
    EXPECT_TRUE(comm.Active());
}

TEST(SerCommTest, SecondOpenIsRefusedAndThePortKeepsWorking)
{
    PtyPair pty;
    Fixture f(pty.path);
    f.comm.Open();
    EXPECT_EQ(MessageOf([&] { f.comm.Open(); }), whileOpen);
    EXPECT_TRUE(f.comm.Active());
    pty.Send(Bytes(10));
    EXPECT_TRUE(f.Serve([&] { return f.received.size() == 10; }));
    EXPECT_EQ(f.received, Bytes(10));
}

TEST(SerCommTest, RestrictedSettersWhileOpenKeepTheirValues)
{
    PtyPair pty;
    Fixture f(pty.path);
    f.comm.Open();
    EXPECT_EQ(MessageOf([&] { f.comm.SetDeviceName("COM2"); }), whileOpen);
    EXPECT_EQ(f.comm.DeviceName(), pty.path);
    EXPECT_EQ(MessageOf([&] { f.comm.SetPortNum(3); }), whileOpen);
    EXPECT_EQ(f.comm.PortNum(), 0);
    EXPECT_EQ(MessageOf([&] { f.comm.SetMonitorEvents({}); }), whileOpen);
    EXPECT_FALSE(f.comm.MonitorEvents().Empty());
    TSerBuffers other;
    other.SetReadSize(1);
    EXPECT_EQ(MessageOf([&] { f.comm.SetBuffers(other); }), whileOpen);
    EXPECT_EQ(f.comm.Buffers().ReadSize(), 4096);
    EXPECT_EQ(MessageOf([&] { f.comm.SetDirectWrite(true); }), whileOpen);
    EXPECT_FALSE(f.comm.DirectWrite());
    EXPECT_EQ(MessageOf([&] { f.comm.SetUpdateDCB(false); }), whileOpen);
    EXPECT_TRUE(f.comm.UpdateDCB());
    // A field of the group changed directly stays stored, but is refused.
    EXPECT_EQ(MessageOf([&] { f.comm.Buffers().SetWriteSize(99); }), whileOpen);
    EXPECT_EQ(f.comm.Buffers().WriteSize(), 99);
    f.comm.Buffers().SetReadTimeout(5); // plain field: no notification, no refusal
    EXPECT_TRUE(f.comm.Active());
}

TEST(SerCommTest, ReadCharAnswersAtOnceAndKeepsOrder)
{
    PtyPair pty;
    Fixture f(pty.path);
    f.comm.OnRxChar = nullptr;
    f.comm.Open();
    std::uint8_t ch = 0;
    EXPECT_FALSE(f.comm.ReadChar(ch));
    EXPECT_EQ(f.comm.ReadBufUsed(), 0);

    pty.Send(Bytes(300, 1));
    ASSERT_TRUE(f.Serve([&] { return f.comm.ReadBufUsed() == 300; }));
    ASSERT_TRUE(f.comm.ReadChar(ch));
    EXPECT_EQ(ch, Bytes(300, 1)[0]);
    EXPECT_EQ(f.comm.ReadBufUsed(), 299) << "bytes read ahead still count as waiting";

    std::vector<unsigned char> rest(299);
    EXPECT_EQ(f.comm.ReadBuf(rest.data(), 10), 10);
    EXPECT_EQ(f.comm.ReadBuf(rest.data() + 10, 289), 289);
    rest.insert(rest.begin(), ch);
    EXPECT_EQ(rest, Bytes(300, 1));
    EXPECT_FALSE(f.comm.ReadChar(ch));
    EXPECT_EQ(f.comm.ReadBufUsed(), 0);
}

TEST(SerCommTest, LargeReadsBypassTheReadAhead)
{
    PtyPair pty;
    Fixture f(pty.path);
    f.comm.OnRxChar = nullptr;
    f.comm.Open();
    pty.Send(Bytes(3000, 2));
    ASSERT_TRUE(f.Serve([&] { return f.comm.ReadBufUsed() == 3000; }));
    std::uint8_t first;
    ASSERT_TRUE(f.comm.ReadChar(first));
    std::vector<unsigned char> all(1, first);
    std::vector<unsigned char> block(8192);
    const int n = f.comm.ReadBuf(block.data(), static_cast<int>(block.size()));
    all.insert(all.end(), block.begin(), block.begin() + n);
    EXPECT_EQ(all, Bytes(3000, 2));
}

TEST(SerCommTest, BytesArrivingWhileTheHandlerIsBusyComeInTheNextBatch)
{
    PtyPair pty;
    Fixture f(pty.path);
    bool sentMore = false;
    const auto handler = f.comm.OnRxChar;
    f.comm.OnRxChar = [&](TSerCustomComm &c, int count) {
        handler(c, count);
        if (!sentMore) {
            sentMore = true;
            pty.Send(Bytes(500, 9)); // arrives while this batch is still being handled
            std::this_thread::sleep_for(50ms);
        }
    };
    f.comm.Open();
    pty.Send(Bytes(100, 3));
    ASSERT_TRUE(f.Serve([&] { return f.received.size() >= 600; }));
    std::vector<unsigned char> expected = Bytes(100, 3);
    const auto more = Bytes(500, 9);
    expected.insert(expected.end(), more.begin(), more.end());
    EXPECT_EQ(f.received, expected);
    EXPECT_GE(f.batches, 2);
}

TEST(SerCommTest, BytesLeftUnreadDoNotMakeTheEventThreadSpin)
{
    PtyPair pty;
    Fixture f(pty.path);
    f.comm.OnRxChar = [&](TSerCustomComm &, int) { ++f.batches; }; // reads nothing
    f.comm.Open();
    pty.Send(Bytes(10));
    ASSERT_TRUE(f.Serve([&] { return f.batches == 1; }));
    f.Serve([] { return false; }, 200ms);
    EXPECT_EQ(f.batches, 1) << "unread bytes report no new arrival";
    pty.Send(Bytes(1));
    ASSERT_TRUE(f.Serve([&] { return f.batches == 2; }));
    EXPECT_EQ(f.comm.ReadBufUsed(), 11);
}

TEST(SerCommTest, CloseWhileAHandOffIsPendingStillDeliversItsBytes)
{
    PtyPair pty;
    Fixture f(pty.path);
    std::vector<std::string> order;
    const auto handler = f.comm.OnRxChar;
    f.comm.OnRxChar = [&](TSerCustomComm &c, int count) {
        order.push_back("rx");
        handler(c, count);
    };
    f.comm.OnClose = [&](TSerCustomComm &) { order.push_back("close"); };
    f.comm.Open();
    pty.Send(Bytes(42));
    // The event thread now waits in its hand-off; nobody serves it yet.
    ASSERT_EQ(f.queue->PendingEvent().WaitFor(5000), wrSignaled);
    f.comm.Close();
    EXPECT_EQ(f.received, Bytes(42));
    EXPECT_EQ(order, (std::vector<std::string>{"rx", "close"}));
    EXPECT_FALSE(f.comm.Active());
}

TEST(SerCommTest, GatheredBytesComeInOneBatchAndCloseEndsTheWait)
{
    PtyPair pty;
    Fixture f(pty.path);
    f.comm.RxGathering = 300ms;
    f.comm.Open();
    std::vector<unsigned char> sent;
    for (unsigned piece = 0; piece < 10; ++piece) {
        const auto bytes = Bytes(25, piece);
        sent.insert(sent.end(), bytes.begin(), bytes.end());
        pty.Send(bytes);
        std::this_thread::sleep_for(5ms);
    }
    ASSERT_TRUE(f.Serve([&] { return f.received.size() >= sent.size(); }));
    EXPECT_EQ(f.received, sent);
    EXPECT_LE(f.batches, 2) << "ten pieces within the gathering time";
    f.comm.Close();

    // Close while bytes gather: they are still handed on, and Close does
    // not sit out the gathering time.
    Fixture g(pty.path);
    g.comm.RxGathering = 60s;
    g.comm.Open();
    pty.Send(Bytes(42));
    g.Serve([] { return false; }, 100ms);
    EXPECT_TRUE(g.received.empty());
    const auto before = std::chrono::steady_clock::now();
    g.comm.Close();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 30s);
    EXPECT_EQ(g.received, Bytes(42));
}

TEST(SerCommTest, AThrowingHandlerGivesOneErrorPerBatchAndReceptionGoesOn)
{
    PtyPair pty;
    Fixture f(pty.path);
    const auto handler = f.comm.OnRxChar;
    f.comm.OnRxChar = [&](TSerCustomComm &c, int count) {
        handler(c, count);
        throw std::runtime_error("frame handling failed");
    };
    f.comm.Open();
    pty.Send(Bytes(5));
    ASSERT_TRUE(f.Serve([&] { return f.errors.size() == 1; }));
    pty.Send(Bytes(7, 1));
    ASSERT_TRUE(f.Serve([&] { return f.errors.size() == 2; }));
    EXPECT_EQ(f.received.size(), 12u);
    EXPECT_EQ(f.errors[0], "frame handling failed");
    EXPECT_EQ(f.batches, 2);
    EXPECT_TRUE(f.comm.Active());
}

TEST(SerCommTest, EmptyMonitorEventsStartsNoEventThreadButTheWriteThread)
{
    PtyPair pty;
    Fixture f(pty.path);
    f.comm.SetMonitorEvents({});
    int txEmpty = 0;
    f.comm.OnTxEmpty = [&](TSerCustomComm &) { ++txEmpty; };
    f.comm.Open();
    EXPECT_EQ(f.comm.EventMask(), 0u);
    pty.Send(Bytes(8));
    f.Serve([] { return false; }, 200ms);
    EXPECT_EQ(f.batches, 0);
    EXPECT_EQ(f.comm.ReadBufUsed(), 8);

    const auto out = Bytes(20, 4);
    EXPECT_EQ(f.comm.WriteBuf(out.data(), 20), 20);
    EXPECT_EQ(pty.Receive(20, 5s), out);
    EXPECT_TRUE(f.Serve([&] { return txEmpty == 1; }));
    f.comm.Close();
}

TEST(SerCommTest, DirectWriteKeepsTxEmptyInTheMaskAndStartsNoWriteThread)
{
    PtyPair pty;
    Fixture f(pty.path);
    f.comm.SetDirectWrite(true);
    f.comm.Open();
    EXPECT_EQ(f.comm.EventMask(), EV_RXCHAR | EV_ERR | EV_TXEMPTY);
    const auto out = Bytes(16, 5);
    EXPECT_EQ(f.comm.WriteBuf(out.data(), 16), 16);
    EXPECT_EQ(pty.Receive(16, 5s), out);
}

TEST(SerCommTest, UpdateDCBFalseLeavesTheLineAsItWas)
{
    PtyPair pty;
    TSerTermios2 before;
    ASSERT_EQ(GetTermios2(pty.slave, before), 0);
    Fixture f(pty.path);
    f.comm.SetUpdateDCB(false);
    f.comm.Open();
    TSerTermios2 after;
    ASSERT_EQ(GetTermios2(pty.slave, after), 0);
    EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
    EXPECT_FALSE(DescribeTermios2(after).Raw);
    f.comm.SetUserBaudrate(9999); // not applied either
    ASSERT_EQ(GetTermios2(pty.slave, after), 0);
    EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
}

TEST(SerCommTest, CloseOnAClosedPortDoesNothing)
{
    TSerComm comm;
    int closed = 0;
    comm.OnClose = [&](TSerCustomComm &) { ++closed; };
    comm.ClosePause = 10s;
    const auto start = std::chrono::steady_clock::now();
    comm.Close();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s) << "no pause on a closed port";
    EXPECT_EQ(closed, 0);
}

TEST(SerCommTest, APseudoTerminalCountsNoLineErrors)
{
    // No counters behind a pty: none reported, and none is made up from
    // the bytes that pass.
    PtyPair pty;
    Fixture f(pty.path);
    EXPECT_FALSE(f.comm.LineErrors().Counted);
    f.comm.Open();
    const auto bytes = Bytes(300);
    ASSERT_EQ(::write(pty.master, bytes.data(), bytes.size()), 300);
    ASSERT_TRUE(f.Serve([&] { return f.received.size() == 300; }));
    const TSerLineErrors errors = f.comm.LineErrors();
    EXPECT_FALSE(errors.Counted);
    EXPECT_EQ(errors.Total(), 0u);
    f.comm.Close();
    EXPECT_FALSE(f.comm.LineErrors().Counted);
}

TEST(SerCommTest, CloseOnAnIdleLinePausesAfterClosing)
{
    PtyPair pty;
    Fixture f(pty.path);
    f.comm.ClosePause = 300ms;
    f.comm.Open();
    const auto start = std::chrono::steady_clock::now();
    f.comm.Close();
    EXPECT_GE(std::chrono::steady_clock::now() - start, 300ms);
    EXPECT_FALSE(f.comm.Active());
}

TEST(SerCommTest, DtrAndRtsRules)
{
    TSerComm comm;
    EXPECT_NO_THROW(comm.SetDTR(true)); // closed, dtrDisabled: nothing happens
    EXPECT_NO_THROW(comm.SetRTS(false));
    comm.FlowControl().SetControlDtr(dtrHandshake);
    EXPECT_EQ(MessageOf([&] { comm.SetDTR(true); }),
              "DTR line updates not allowed when flowcontrol is set to Handshake.");
    comm.FlowControl().SetControlRts(rtsToggle);
    EXPECT_EQ(MessageOf([&] { comm.SetRTS(true); }),
              "RTS line updates not allowed when flowcontrol is set to Handshake or Toggle.");
    comm.FlowControl().SetControlRts(rtsHandshake);
    EXPECT_EQ(MessageOf([&] { comm.SetRTS(false); }),
              "RTS line updates not allowed when flowcontrol is set to Handshake or Toggle.");

    // A pseudo-terminal has no modem lines: raising them is no error.
    PtyPair pty;
    Fixture f(pty.path);
    f.comm.Open();
    EXPECT_NO_THROW(f.comm.SetDTR(true));
    EXPECT_NO_THROW(f.comm.SetRTS(true));
}

TEST(SerCommTest, WriteCycleThroughTheWriteThread)
{
    PtyPair pty;
    Fixture f(pty.path);
    int txEmpty = 0;
    f.comm.OnTxEmpty = [&](TSerCustomComm &) { ++txEmpty; };
    f.comm.Open();
    const auto out = Bytes(3000, 6);
    const int first = f.comm.WriteBuf(out.data(), 3000);
    EXPECT_EQ(first, 2048) << "the write buffer holds Buffers.WriteSize bytes";
    std::vector<unsigned char> got = pty.Receive(2048, 5s);
    ASSERT_TRUE(f.Serve([&] { return txEmpty == 1; }));
    EXPECT_EQ(f.comm.WriteBuf(out.data() + first, 3000 - first), 3000 - first);
    const auto rest = pty.Receive(3000 - 2048, 5s);
    got.insert(got.end(), rest.begin(), rest.end());
    EXPECT_EQ(got, out);
    EXPECT_TRUE(f.Serve([&] { return txEmpty == 2; }));
    f.comm.Close();
    EXPECT_EQ(f.comm.WriteBuf(out.data(), 1), 0);
}

TEST(SerCommTest, AWriteThatWaitsForTheFarEndIsEndedByClose)
{
    PtyPair pty;
    Fixture f(pty.path);
    f.comm.Buffers().SetWriteSize(65536);
    f.comm.Open();
    // Nobody reads the far end: the pty fills up and the write waits.
    const auto out = Bytes(65536);
    for (int i = 0; i < 4; ++i) {
        f.comm.WriteBuf(out.data(), 65536);
        f.Serve([] { return false; }, 50ms);
    }
    f.comm.Close();
    EXPECT_FALSE(f.comm.Active());
}

namespace {

// Waits for OnPortLost and checks that the process stays idle afterwards.
void ExpectPortLostOnceAndIdle(Fixture &f, const std::string &path)
{
    std::vector<std::string> lost;
    f.comm.OnPortLost = [&](TSerCustomComm &, const std::string &text) { lost.push_back(text); };
    ASSERT_TRUE(f.Serve([&] { return !lost.empty(); }));
    EXPECT_EQ(lost[0], "Connection to device " + path + " lost.");
    EXPECT_TRUE(f.comm.PortLost());
    EXPECT_TRUE(f.comm.Active());

    const double cpuBefore = ProcessCpuSeconds();
    f.Serve([] { return false; }, 1s);
    const double cpu = ProcessCpuSeconds() - cpuBefore;
    EXPECT_LT(cpu, 0.2) << "a lost port must not keep a thread busy";
    EXPECT_EQ(lost.size(), 1u);

    std::uint8_t ch;
    EXPECT_FALSE(f.comm.ReadChar(ch));
    EXPECT_EQ(f.comm.ReadBufUsed(), 0);
    int closed = 0;
    f.comm.OnClose = [&](TSerCustomComm &) { ++closed; };
    f.comm.Close();
    EXPECT_EQ(closed, 1);
    EXPECT_FALSE(f.comm.Active());
    EXPECT_FALSE(f.comm.PortLost());
}

} // namespace

TEST(SerCommTest, PortLostWhenThePtyGoesAway)
{
    PtyPair pty;
    Fixture f(pty.path);
    f.comm.Open();
    pty.Send(Bytes(10));
    ASSERT_TRUE(f.Serve([&] { return f.received.size() == 10; }));
    pty.CloseSlave();
    pty.CloseMaster();
    ExpectPortLostOnceAndIdle(f, pty.path);
    EXPECT_TRUE(f.errors.empty()) << f.errors.front();
}

TEST(SerCommTest, BytesHeldWhenThePortIsLostReachOnRxCharFirst)
{
    PtyPair pty;
    Fixture f(pty.path);
    std::vector<std::string> order;
    // Takes one byte per batch; ReadChar has read the rest ahead.
    f.comm.OnRxChar = [&](TSerCustomComm &c, int) {
        std::uint8_t ch;
        if (c.ReadChar(ch)) {
            f.received.push_back(ch);
            order.push_back("rx");
        }
    };
    f.comm.OnPortLost = [&](TSerCustomComm &, const std::string &) { order.push_back("lost"); };
    f.comm.Open();
    pty.Send(Bytes(5));
    ASSERT_TRUE(f.Serve([&] { return f.received.size() == 1; }));
    EXPECT_EQ(f.comm.ReadBufUsed(), 4);
    pty.CloseSlave();
    pty.CloseMaster();
    ASSERT_TRUE(f.Serve([&] { return !order.empty() && order.back() == "lost"; }));
    EXPECT_EQ(order, (std::vector<std::string>{"rx", "rx", "lost"}));
    std::uint8_t ch;
    while (f.comm.ReadChar(ch))
        f.received.push_back(ch);
    EXPECT_EQ(f.received, Bytes(5)) << "nothing read ahead is lost";
}

TEST(SerCommTest, PortLostWhenSocatEnds)
{
    SocatPair socat;
    ASSERT_TRUE(socat.Ready());
    Fixture f(socat.a);
    f.comm.Open();
    // The other side of the pair talks to us through socat.
    const int far = open(socat.b.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(far, 0);
    const auto out = Bytes(64, 8);
    ASSERT_EQ(write(far, out.data(), out.size()), 64);
    ASSERT_TRUE(f.Serve([&] { return f.received.size() == 64; }));
    EXPECT_EQ(f.received, out);
    close(far);
    socat.Kill();
    ExpectPortLostOnceAndIdle(f, socat.a);
}

TEST(SerCommTest, WritesToALostPortFailWithoutSpinning)
{
    PtyPair pty;
    Fixture f(pty.path);
    f.comm.Open();
    pty.CloseSlave();
    pty.CloseMaster();
    ASSERT_TRUE(f.Serve([&] { return f.comm.PortLost(); }));
    const auto out = Bytes(100);
    f.comm.WriteBuf(out.data(), 100);
    const double cpuBefore = ProcessCpuSeconds();
    f.Serve([] { return false; }, 1s);
    EXPECT_LT(ProcessCpuSeconds() - cpuBefore, 0.2);
    f.comm.Close();
}

TEST(SerCommTest, CloseAndReopenFromInsideTheHandlers)
{
    PtyPair first;
    Fixture f(first.path);
    PtyPair second;
    int closes = 0;
    f.comm.OnClose = [&](TSerCustomComm &) { ++closes; };
    // Reconnect: the lost port is closed and another one opened in OnPortLost.
    f.comm.OnPortLost = [&](TSerCustomComm &c, const std::string &) {
        c.Close();
        f.comm.SetDeviceName(second.path);
        c.Open();
    };
    f.comm.Open();
    first.CloseSlave();
    first.CloseMaster();
    ASSERT_TRUE(f.Serve([&] { return closes == 1 && f.comm.Active(); }));
    EXPECT_EQ(f.comm.DevicePath(), second.path);

    second.Send(Bytes(30, 2));
    ASSERT_TRUE(f.Serve([&] { return f.received.size() == 30; }));
    EXPECT_EQ(f.received, Bytes(30, 2));

    // Close from inside OnRxChar, once the first bytes are read.
    const auto handler = f.comm.OnRxChar;
    f.comm.OnRxChar = [&](TSerCustomComm &c, int count) {
        handler(c, count);
        c.Close();
    };
    second.Send(Bytes(3));
    ASSERT_TRUE(f.Serve([&] { return !f.comm.Active(); }));
    EXPECT_EQ(closes, 2);
    EXPECT_TRUE(f.errors.empty());
}

TEST(SerCommTest, DestroyingAnOpenComponentClosesWithoutOnClose)
{
    PtyPair pty;
    int closed = 0;
    {
        Fixture f(pty.path);
        f.comm.OnClose = [&](TSerCustomComm &) { ++closed; };
        f.comm.Open();
        pty.Send(Bytes(4));
        ASSERT_EQ(f.queue->PendingEvent().WaitFor(5000), wrSignaled);
    }
    EXPECT_EQ(closed, 0);
    TSerComm again; // the port is free again
    again.SetDeviceName(pty.path);
    again.ClosePause = 0ms;
    again.Open();
    EXPECT_TRUE(again.Active());
}
