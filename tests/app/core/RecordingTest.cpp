// Recording control through real pseudo-terminals: frames written at the far
// end reach the day file; a far end that goes away and comes back (a socat
// pair, as an unplugged and replugged USB adapter) is waited for and resumed.
#include "app/core/Recording.h"
#include "app/core/MemoryView.h"
#include "logging/LOGFile.h"
#include "serial/SerComm.h"
#include "sim/DetectorSimulator.h"
#include "support/SocatPair.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <filesystem>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace glowkite;
using namespace std::chrono_literals;
using glowkite::test::ReadFile;
using glowkite::test::SocatPair;
using glowkite::test::TempDir;

namespace {

struct Events : IFrameEvents, IRecordingEvents {
    std::vector<TRecordingState> states;
    std::vector<std::string> notes, failures;
    void ShowProtocol() override {}
    void ProtocolSwitched(std::string_view) override {}
    void FrameFailed(std::string_view m) override { failures.emplace_back(m); }
    void RecordingStateChanged(TRecordingState s) override { states.push_back(s); }
    void ConnectionNote(std::string_view line) override { notes.emplace_back(line); }
};

struct Rig {
    TempDir dir;
    std::shared_ptr<TSerHandOffQueue> handOff = std::make_shared<TSerHandOffQueue>();
    TSerComm comm{handOff};
    TMemoryView view;
    TLogFile dataLog;
    TMeasurementDecoder decoder{view, nullptr};
    Events events;
    TFrameReceiver receiver{decoder, &dataLog, events};
    TRecording recording{comm, receiver, events};

    Rig()
    {
        comm.ClosePause = 0ms;
        dataLog.Directory = dir.path().string() + "/LOG/";
        dataLog.BaseName = "glowkite";
        dataLog.Extension = "glow";
        dataLog.SetPeriod(lpDay);
        decoder.Intervall = 1;
    }
    // A new pseudo-terminal as the port; answers its far end (-1 on failure).
    int UsePty()
    {
        int master = -1, slave = -1;
        char name[256];
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
            return -1;
        ::close(slave);
        comm.SetDeviceName(name);
        return master;
    }
    // Serves the port's hand-offs until pred holds or the time is up.
    template <class Pred>
    bool ServeUntil(Pred pred, std::chrono::milliseconds limit = 5000ms)
    {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!pred()) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            handOff->WaitAndServe(10ms);
            recording.Tick();
        }
        return true;
    }
    std::size_t DayLines() const
    {
        std::size_t n = 0;
        for (const auto &e : std::filesystem::directory_iterator(dir / "LOG")) {
            const std::string bytes = ReadFile(e.path());
            n += static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n'));
        }
        return n;
    }
};

void WriteFrames(int fd, TDetectorSimulator &sim, int frames)
{
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < frames; ++i)
        sim.AppendNext(bytes);
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        ASSERT_GT(n, 0);
        done += static_cast<std::size_t>(n);
    }
}

} // namespace

TEST(Recording, StartReadsFramesIntoTheDayFileAtTheDetectorRate)
{
    Rig r;
    const int master = r.UsePty();
    ASSERT_GE(master, 0);
    r.comm.SetBaudrate(br9600); // whatever the dialog shows
    r.recording.Start();
    EXPECT_EQ(r.recording.State(), TRecordingState::Recording);
    EXPECT_EQ(r.comm.Baudrate(), brUser);
    EXPECT_EQ(r.comm.UserBaudrate(), 35710);

    TDetectorSimulator sim({});
    WriteFrames(master, sim, 50);
    ASSERT_TRUE(r.ServeUntil([&] { return r.view.hexLines.size() == 50; })) << r.view.hexLines.size();
    EXPECT_EQ(r.DayLines(), 50u);

    r.recording.Stop();
    EXPECT_EQ(r.recording.State(), TRecordingState::Stopped);
    EXPECT_FALSE(r.comm.Active());
    EXPECT_EQ(r.events.states,
              (std::vector<TRecordingState>{TRecordingState::Recording, TRecordingState::Stopped}));
    ::close(master);
}

TEST(Recording, StartEmptiesTheReceiveBufferAndStopStoresWhatArrivedBeforeIt)
{
    Rig r;
    const int master = r.UsePty();
    ASSERT_GE(master, 0);
    // The start of a frame cut off by an earlier stop must not join the
    // first frame of the next recording.
    for (std::uint8_t b : {0x00, 0xA1, 0x2A})
        r.receiver.Receive(b);
    ASSERT_EQ(r.receiver.RxBuffer().size(), 3u);
    r.recording.Start();
    EXPECT_TRUE(r.receiver.RxBuffer().empty());

    TDetectorSimulator sim({});
    WriteFrames(master, sim, 20);
    // Nobody serves the port's hand-offs: the frames wait at the port.
    const auto end = std::chrono::steady_clock::now() + 5s;
    while (r.comm.ReadBufUsed() < 20 * static_cast<int>(FrameSize) && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(5ms);
    ASSERT_EQ(r.comm.ReadBufUsed(), 20 * static_cast<int>(FrameSize));
    EXPECT_TRUE(r.view.hexLines.empty());
    r.recording.Stop();
    EXPECT_EQ(r.view.hexLines.size(), 20u);
    EXPECT_EQ(r.DayLines(), 20u);
    ::close(master);
}

// A pseudo-terminal has no modem lines to look at; a handshake that forbids
// setting them shows that Start sets DTR and RTS on the open port.
TEST(Recording, StartSetsDtrAndRtsOnTheOpenPort)
{
    for (const bool dtrHandshakes : {true, false}) {
        Rig r;
        const int master = r.UsePty();
        ASSERT_GE(master, 0);
        if (dtrHandshakes)
            r.comm.FlowControl().SetControlDtr(dtrHandshake);
        else
            r.comm.FlowControl().SetControlRts(rtsHandshake);
        try {
            r.recording.Start();
            ADD_FAILURE() << "the lines were not set";
        } catch (const ESerCommError &e) {
            EXPECT_NE(std::string(e.what()).find(dtrHandshakes ? "DTR line updates" : "RTS line updates"),
                      std::string::npos)
                << e.what();
        }
        EXPECT_TRUE(r.comm.Active());
        r.recording.Stop();
        ::close(master);
    }
}

TEST(Recording, APortThatCannotBeOpenedLeavesTheStateAsItWas)
{
    Rig r;
    r.comm.SetDeviceName((r.dir / "no-such-port"));
    try {
        r.recording.Start();
        FAIL() << "opened";
    } catch (const ESerCommError &e) {
        EXPECT_NE(std::string(e.what()).find("Specified device not found"), std::string::npos) << e.what();
    }
    EXPECT_EQ(r.recording.State(), TRecordingState::Stopped);
    EXPECT_TRUE(r.events.states.empty());
}

TEST(Recording, APortThatGoesAwayIsWaitedForAndStopCanEndTheWait)
{
    Rig r;
    int master = -1, slave = -1;
    char name[256];
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    ::close(slave);
    // The port by a name of its own (as udev names an adapter), so that a
    // pty number freed here and taken by another test is not "the port back".
    const std::string port = r.dir / "ttyUSB0";
    std::filesystem::create_symlink(name, port);
    r.comm.SetDeviceName(port);
    r.recording.RetryInterval = 50ms;
    r.recording.Start();
    ::close(master); // the adapter is unplugged
    std::filesystem::remove(port);
    ASSERT_TRUE(r.ServeUntil([&] { return r.recording.State() == TRecordingState::WaitingForPort; }));
    EXPECT_FALSE(r.comm.Active()); // never "verbunden" with nothing arriving
    ASSERT_EQ(r.events.notes.size(), 1u);
    EXPECT_NE(r.events.notes[0].find("Verbindung zu " + port + " unterbrochen"), std::string::npos)
        << r.events.notes[0];
    EXPECT_EQ(r.events.notes[0].size() > 21 && r.events.notes[0][19] == ' ', true);

    // Retries fail quietly while the port is gone; Stopp ends the waiting.
    r.ServeUntil([] { return false; }, 200ms);
    EXPECT_EQ(r.recording.State(), TRecordingState::WaitingForPort);
    EXPECT_FALSE(r.recording.LastRetryError().empty());
    r.recording.Stop();
    EXPECT_EQ(r.recording.State(), TRecordingState::Stopped);
    r.ServeUntil([] { return false; }, 200ms);
    EXPECT_EQ(r.recording.State(), TRecordingState::Stopped);
}

TEST(Recording, ResumesWhenThePortComesBackAndLosesNoFrameAfterIt)
{
    Rig r;
    const std::string near = (r.dir / "port"), far = (r.dir / "detector");
    SocatPair socat(near, far);
    r.comm.SetDeviceName(near);
    r.recording.RetryInterval = 100ms;
    r.recording.Start();

    TDetectorSimulator sim({});
    {
        const int fd = ::open(far.c_str(), O_WRONLY | O_NOCTTY);
        ASSERT_GE(fd, 0);
        WriteFrames(fd, sim, 30);
        ASSERT_TRUE(r.ServeUntil([&] { return r.view.hexLines.size() == 30; }));
        ::close(fd);
    }
    socat.Stop(); // unplugged
    ASSERT_TRUE(r.ServeUntil([&] { return r.recording.State() == TRecordingState::WaitingForPort; }));
    r.ServeUntil([] { return false; }, 300ms); // a few failed retries
    socat.Start(); // plugged in again
    ASSERT_TRUE(r.ServeUntil([&] { return r.recording.State() == TRecordingState::Recording; }))
        << r.recording.LastRetryError();
    ASSERT_EQ(r.events.notes.size(), 2u);
    EXPECT_NE(r.events.notes[1].find("wieder hergestellt"), std::string::npos);

    const int fd = ::open(far.c_str(), O_WRONLY | O_NOCTTY);
    ASSERT_GE(fd, 0);
    WriteFrames(fd, sim, 40);
    ASSERT_TRUE(r.ServeUntil([&] { return r.view.hexLines.size() == 70; })) << r.view.hexLines.size();
    EXPECT_EQ(r.DayLines(), 70u);
    ::close(fd);
    r.recording.Stop();
}

// A port the user may not open: the error says which group to join. Run in a
// child that is not root (as root, every device opens).
TEST(RecordingPermission, APortWithoutPermissionSaysWhichGroupToJoin)
{
    int master = -1, slave = -1;
    char name[256] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    // As root: the device belongs to "dialout", as a USB adapter does, and
    // the child runs as nobody, who is no member.
    const group *dialout = ::getgrnam("dialout");
    const bool asDialout = ::geteuid() == 0 && dialout;
    if (asDialout)
        ASSERT_EQ(::chown(name, 0, dialout->gr_gid), 0);
    ASSERT_EQ(::chmod(name, asDialout ? 0660 : ::geteuid() == 0 ? 0600 : 0000), 0);
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(pipeFds[0]);
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(3);
        std::string message = "no error";
        try {
            Rig r;
            r.comm.SetDeviceName(name);
            r.recording.Start();
        } catch (const std::exception &e) {
            message = e.what();
        }
        [[maybe_unused]] auto n = ::write(pipeFds[1], message.data(), message.size());
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    std::string message;
    char buf[512];
    for (ssize_t n; (n = ::read(pipeFds[0], buf, sizeof buf)) > 0;)
        message.append(buf, static_cast<std::size_t>(n));
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(slave);
    ::close(master);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_NE(message.find("Can't open specified device " + std::string(name)), std::string::npos) << message;
    EXPECT_NE(message.find("Keine Berechtigung f\xC3\xBCr " + std::string(name)), std::string::npos) << message;
    EXPECT_NE(message.find("Gruppe"), std::string::npos) << message;
    if (asDialout)
        EXPECT_NE(message.find("muss Mitglied dieser Gruppe werden (sudo adduser nobody dialout) und sich danach "
                               "ab- und wieder anmelden"),
                  std::string::npos)
            << message;
}
