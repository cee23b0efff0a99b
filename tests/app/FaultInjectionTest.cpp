// Real faults during a recording and at start: an unwritable day file, a
// full disk, a log lock held by another process, a lost and returning port,
// broken settings files. Each is told once, reception goes on, and nothing
// already on disk is lost.
#include "logging/LogLock.h"
#include "settings/IniFile.h"
#include "support/ProgramRig.h"
#include "support/SocatPair.h"

#include <gtest/gtest.h>

#include <QLabel>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace glowkite;
using namespace glowkite::test;
namespace fs = std::filesystem;

namespace {

class FaultInjectionTest : public ProgramRig {
protected:
    // Sends n frames and waits until the window has shown them all.
    void Send(int n)
    {
        const int before = w->mem_HEX().Lines().Count();
        sim->Start(n);
        ASSERT_TRUE(WaitFor([&] { return w->mem_HEX().Lines().Count() == before + n; }, 20000))
            << w->mem_HEX().Lines().Count() - before << " of " << n;
        sim->Wait();
    }
    std::string DayFile() { return LogFile(".glow"); }
    int StatusLinesWith(const char *text)
    {
        int n = 0;
        const auto &lines = w->mem_Status().Lines();
        for (int i = 0; i < lines.Count(); ++i)
            n += std::string(lines.Line(i)).find(text) != std::string::npos;
        return n;
    }
    std::string DayFileName()
    {
        for (const auto &e : fs::directory_iterator(dir.path() / "LOG"))
            if (e.path().extension() == ".glow")
                return e.path().string();
        return {};
    }
    void StartRecording()
    {
        Detector({});
        Action("act_Start")->trigger();
        ASSERT_EQ(w->PanelText(0), QStringLiteral("verbunden"));
    }
};

} // namespace

TEST_F(FaultInjectionTest, ADayFileThatCannotBeWrittenIsToldOnceAndLinesResumeAfterwards)
{
    StartRecording();
    Send(100);
    const std::string before = DayFile();
    ASSERT_EQ(Lines(before), 100u);

    const std::string name = DayFileName();
    {
        PermissionsEnforced asUser; // root would write anyway
        fs::permissions(name, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        Send(100); // reception goes on
        EXPECT_EQ(w->ErrorNotice().Count(), 1) << "one message, not one per frame";
        EXPECT_TRUE(w->ErrorNotice().Text().startsWith(QStringLiteral("Cannot open ")));
        EXPECT_EQ(StatusLinesWith("Speichern fehlgeschlagen"), 1);
        EXPECT_EQ(DayFile(), before); // nothing already written is lost
        fs::permissions(name, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);
        Send(50);
    }
    EXPECT_EQ(StatusLinesWith("Speichern wieder m\xF6glich, 100 Messwerte nicht gespeichert"), 1);
    const std::string after = DayFile();
    EXPECT_EQ(Lines(after), 150u);
    EXPECT_EQ(after.substr(0, before.size()), before);
    EXPECT_EQ(w->PanelText(0), QStringLiteral("verbunden"));
    // The box no longer says "Cannot open" once lines are stored again.
    EXPECT_TRUE(w->ErrorNotice().IsVisible());
    EXPECT_EQ(w->ErrorNotice().Text(), QStringLiteral("Speichern wieder m\u00f6glich, 100 Messwerte nicht gespeichert"));
    // Received and stored, told apart beside the count.
    QTest::qWait(300); // the count label follows at the display rate
    EXPECT_EQ(w->findChild<QLabel *>(QStringLiteral("lbl_WerteAnz"))->toolTip(),
              QStringLiteral("Seit Programmstart empfangen 250, gespeichert 150"));
}

TEST_F(FaultInjectionTest, AStatusLogThatCannotBeWrittenIsNamedAndCostsNoFrame)
{
    // A FIFO in place of this month's status log (planted in a LOG folder
    // that others may write).
    fs::create_directory(dir.path() / "LOG");
    const std::string statusLog = w->StatusLog.CurrentFileName();
    ASSERT_EQ(::mkfifo(statusLog.c_str(), 0600), 0);
    TSimOptions o;
    o.statusRun = true; // a status change every few frames
    o.framesPerStatus = 10;
    Detector(o);
    Action("act_Start")->trigger();
    Send(60);
    EXPECT_EQ(Lines(DayFile()), 60u);
    EXPECT_GT(w->PointCount(TSeries::AQ), 0);
    EXPECT_EQ(StatusLinesWith("Speichern fehlgeschlagen"), 0) << "the frames are stored";
    EXPECT_EQ(StatusLinesWith("Messwerte nicht gespeichert"), 0);
    EXPECT_EQ(StatusLinesWith(("Statusprotokoll " + statusLog + " nicht geschrieben: Cannot open " + statusLog +
                               ": it is a FIFO, not a regular file").c_str()),
              1);
    EXPECT_EQ(w->ErrorNotice().Count(), 1);
    EXPECT_TRUE(w->ErrorNotice().Text().startsWith(QStringLiteral("Statusprotokoll ")));
    EXPECT_EQ(program->FComCfg->SerialComm().Active(), true) << "reception goes on";
}

TEST_F(FaultInjectionTest, ALockPlaceThatIsRefusedIsToldInTheWindowAndLinesAreStored)
{
    // The lock folder is open to others: refused, and the lock is taken
    // beside the log instead. Before, only stderr heard of it.
    const fs::path locks = runtime.path() / "locks";
    fs::create_directory(locks);
    fs::permissions(locks, fs::perms::all);
    StartRecording();
    Send(30);
    EXPECT_EQ(Lines(DayFile()), 30u);
    EXPECT_EQ(StatusLinesWith("is not private"), 2) << "once for each of the two logs";
    EXPECT_TRUE(w->ErrorNotice().Text().contains(QStringLiteral("is taken in ")))
        << w->ErrorNotice().Text().toStdString();
}

TEST_F(FaultInjectionTest, AFullDiskLeavesOnlyWholeLinesAndRecordingGoesOn)
{
    StartRecording();
    Send(20);
    // A file-size limit ten lines above the day file's size stands in for a
    // disk that fills up.
    const rlim_t limit = DayFile().size() + 10 * 102 + 40;
    struct rlimit old {};
    ::getrlimit(RLIMIT_FSIZE, &old);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = limit;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    Send(30);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    const std::string full = DayFile();
    EXPECT_EQ(full.size(), 30u * 102u) << "whole lines only, up to the limit";
    EXPECT_EQ(w->ErrorNotice().Count(), 1);
    EXPECT_TRUE(w->ErrorNotice().Text().contains(QStringLiteral("File too large"))) << w->ErrorNotice().Text().toStdString();
    Send(5);
    EXPECT_EQ(Lines(DayFile()), 35u);
    EXPECT_EQ(StatusLinesWith("20 Messwerte nicht gespeichert"), 1);
}

TEST_F(FaultInjectionTest, ALogLockHeldElsewhereDoesNotStopReception)
{
    StartRecording();
    Send(10);
    // Another process (a second copy of the program, say) holds the data
    // log's lock for longer than the writer waits.
    int toChild[2], fromChild[2];
    ASSERT_EQ(::pipe(toChild), 0);
    ASSERT_EQ(::pipe(fromChild), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        NamedLock lock("glowkite", std::chrono::milliseconds(0));
        char c = 0;
        (void)!::write(fromChild[1], "1", 1);
        (void)!::read(toChild[0], &c, 1);
        ::_exit(0);
    }
    char ready = 0;
    ASSERT_EQ(::read(fromChild[0], &ready, 1), 1);

    Send(40); // the first frame waits 5 s for the lock, the others fail at once
    EXPECT_EQ(w->ErrorNotice().Count(), 1);
    EXPECT_TRUE(w->ErrorNotice().Text().contains(QStringLiteral("was not free within 5000 ms")))
        << w->ErrorNotice().Text().toStdString();
    EXPECT_EQ(Lines(DayFile()), 10u);

    (void)!::write(toChild[1], "x", 1);
    ::waitpid(pid, nullptr, 0);
    Send(10);
    EXPECT_EQ(Lines(DayFile()), 20u);
    EXPECT_EQ(StatusLinesWith("40 Messwerte nicht gespeichert"), 1);
}

TEST_F(FaultInjectionTest, APortThatComesBackIsResumedWithTheGapInTheStatusPane)
{
    const std::string near = dir / "port", far = dir / "detector";
    auto sendFrames = [&](int n) {
        TSimulatorPort detector({}, 2000);
        detector.OpenDevice(far);
        const int before = w->mem_HEX().Lines().Count();
        detector.Start(n);
        detector.Wait();
        ASSERT_TRUE(WaitFor([&] { return w->mem_HEX().Lines().Count() == before + n; }));
    };

    SocatPair socat(near, far);
    ASSERT_TRUE(socat.Ready());
    program->FComCfg->SerialComm().SetDeviceName(near);
    Action("act_Start")->trigger();
    sendFrames(30);
    socat.Stop(); // unplugged
    ASSERT_TRUE(WaitFor([&] { return w->PanelText(3) == QStringLiteral("wartet"); }));
    EXPECT_EQ(w->PanelText(0), QStringLiteral("getrennt"));
    QTest::qWait(500);
    socat.Start(); // plugged in again: resumed within the 2 s retry
    ASSERT_TRUE(WaitFor([&] { return w->PanelText(0) == QStringLiteral("verbunden"); }, 6000));
    sendFrames(40);
    socat.Stop();

    EXPECT_EQ(Lines(DayFile()), 70u);
    EXPECT_EQ(StatusLinesWith("unterbrochen"), 1);
    EXPECT_EQ(StatusLinesWith("wieder hergestellt"), 1);
}

TEST(FaultInjectionSettings, GarbageOrUnreadableSettingsStartWithDefaultsAndLoseNothing)
{
    RuntimeDirOverride runtime;
    TempDir dir;
    const std::string ini = dir / "glowkite.INI";
    static const char bytes[] = "\x00\xff[Window\r\nMain.Left=abc\r\n\x01\x02 no line end";
    const std::string garbage(bytes, sizeof bytes - 1);
    WriteFile(ini, garbage);
    {
        TProgram program(PathsIn(dir));
        EXPECT_EQ(program.Form_GlowKite->Decoder().Intervall, 60);
        program.Form_GlowKite->close();
    }
    const std::string written = ReadFile(ini);
    EXPECT_EQ(written.substr(0, garbage.size()), garbage) << "the foreign bytes are kept";
    EXPECT_NE(written.find("Main.Heigth="), std::string::npos);

    // A file that cannot be read is not overwritten with defaults at close.
    WriteFile(ini, "[Parameter]\r\nIntervall=5\r\n");
    PermissionsEnforced asUser;
    fs::permissions(ini, fs::perms::none);
    {
        TProgram program(PathsIn(dir));
        EXPECT_EQ(program.Form_GlowKite->Decoder().Intervall, 60);
        auto seen = CloseNextMessageBox();
        program.Form_GlowKite->close();
        EXPECT_TRUE(seen->shown);
        EXPECT_EQ(seen->text, QString::fromStdString("In " + ini + " kann nicht geschrieben werden"));
    }
    fs::permissions(ini, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(ReadFile(ini), "[Parameter]\r\nIntervall=5\r\n");
}
