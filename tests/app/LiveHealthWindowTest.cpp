// The window while the line is watched, offscreen, through a real
// pseudo-terminal: silence and its end, the time-out from the settings
// file, the live figures of panels 4 and 5, the status at a glance in
// panel 3 and the desktop notification.
#include "app/Program.h"
#include "app/UGlowKite.h"
#include "app/core/LiveHealth.h"
#include "app/ui/TextLinesModel.h"
#include "portcfg/UCom.h"
#include "serial/SerComm.h"
#include "settings/UOption.h"
#include "support/QtHelpers.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

#include <filesystem>
#include <pty.h>
#include <unistd.h>

using namespace glowkite;
using namespace glowkite::test;

namespace {

std::string Frame(std::uint8_t flags, std::uint8_t aq = 20)
{
    std::string f(25, '\0');
    f[1] = '\xA1';
    f[2] = static_cast<char>(aq);
    f[3] = static_cast<char>(flags);
    f[19] = '\xA1';
    return f;
}

class LiveHealthWindowTest : public ::testing::Test {
protected:
    ~LiveHealthWindowTest() override
    {
        program.reset();
        if (master >= 0)
            ::close(master);
    }
    // The program with this settings file, recording from a fresh pty.
    void Begin(const std::string &ini)
    {
        if (!ini.empty())
            WriteFile(dir / "glowkite.INI", ini);
        program = std::make_unique<TProgram>(PathsIn(dir));
        w = program->Form_GlowKite.get();
        program->FComCfg->SerialComm().ClosePause = std::chrono::milliseconds(0);
        char name[256];
        int slave = -1;
        ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
        ::close(slave);
        program->FComCfg->SerialComm().SetDeviceName(name);
        w->show();
        ProcessEvents();
    }
    void Start() { w->findChild<QAction *>(QStringLiteral("act_Start"))->trigger(); }
    void Send(const std::string &bytes) { ASSERT_EQ(::write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size())); }
    bool WaitFor(const std::function<bool()> &pred, int ms = 5000)
    {
        QElapsedTimer t;
        t.start();
        while (!pred()) {
            if (t.elapsed() > ms)
                return false;
            QTest::qWait(5);
        }
        return true;
    }
    int HexLines() { return w->mem_HEX().Lines().Count(); }
    std::string LastStatusLine()
    {
        const auto &lines = w->mem_Status().Lines();
        return lines.Count() ? std::string(lines.Line(lines.Count() - 1)) : std::string();
    }
    int StatusLinesWith(const char *text)
    {
        const auto &lines = w->mem_Status().Lines();
        int n = 0;
        for (int i = 0; i < lines.Count(); ++i)
            n += std::string(lines.Line(i)).find(text) != std::string::npos;
        return n;
    }
    std::string LogFiles()
    {
        std::string all;
        for (const auto &e : std::filesystem::directory_iterator(dir.path() / "LOG"))
            all += ReadFile(e.path().string());
        return all;
    }

    RuntimeDirOverride runtime;
    TempDir dir;
    std::unique_ptr<TProgram> program;
    TForm_GlowKite *w = nullptr;
    int master = -1;
};

} // namespace

TEST_F(LiveHealthWindowTest, SilenceAfterFramesIsShownOnceAndItsEndToo)
{
    Begin("[Parameter]\r\nDatenTimeout=1\r\n");
    Start();
    std::string frames;
    for (int i = 0; i < 20; ++i)
        frames += Frame(0);
    Send(frames);
    ASSERT_TRUE(WaitFor([&] { return HexLines() == 20; }));
    EXPECT_EQ(w->PanelText(0), QStringLiteral("verbunden"));

    ASSERT_TRUE(WaitFor([&] { return w->PanelText(0) == QStringLiteral("keine Daten"); }, 3000));
    const std::string began = LastStatusLine();
    EXPECT_EQ(began.substr(LabelLength), "  keine Daten seit 1 s") << began;
    EXPECT_EQ(w->WarningNotice().Count(), 1);
    EXPECT_TRUE(w->WarningNotice().IsVisible());
    EXPECT_EQ(w->WarningNotice().ShownKind(), TNoticeBox::Warning);
    QTest::qWait(1500); // the silence goes on: told once
    EXPECT_EQ(w->WarningNotice().Count(), 1);
    EXPECT_EQ(StatusLinesWith("keine Daten seit"), 1);

    Send(Frame(0) + Frame(0));
    ASSERT_TRUE(WaitFor([&] { return w->PanelText(0) == QStringLiteral("verbunden"); }, 2000));
    const std::string ended = LastStatusLine();
    EXPECT_EQ(ended.substr(LabelLength, 30), "  Daten wieder empfangen nach ") << ended;
    EXPECT_GE(std::stoi(ended.substr(LabelLength + 30)), 2) << ended;
    EXPECT_EQ(w->WarningNotice().ShownKind(), TNoticeBox::Information) << "the open notice says so";
    EXPECT_TRUE(w->WarningNotice().Text().contains(QStringLiteral("Daten wieder empfangen")));
    EXPECT_EQ(w->Health().Silences(), 1);

    // The log files hold detector data only.
    w->findChild<QAction *>(QStringLiteral("act_Stopp"))->trigger();
    const std::string logs = LogFiles();
    EXPECT_EQ(logs.find("Daten"), std::string::npos);
    EXPECT_EQ(std::count(logs.begin(), logs.end(), '\n'), 22 + 1) << "22 frames, one status line";
}

TEST_F(LiveHealthWindowTest, ASilenceRightAfterStartIsSeenAfterTheTimeOut)
{
    Begin("[Parameter]\r\nDatenTimeout=1\r\n");
    Start();
    EXPECT_EQ(w->PanelText(0), QStringLiteral("verbunden"));
    ASSERT_TRUE(WaitFor([&] { return w->PanelText(0) == QStringLiteral("keine Daten"); }, 3000));
    EXPECT_EQ(StatusLinesWith("keine Daten seit 1 s"), 1);
    // Stop ends it: "getrennt", as after any stop.
    w->findChild<QAction *>(QStringLiteral("act_Stopp"))->trigger();
    EXPECT_EQ(w->PanelText(0), QStringLiteral("getrennt"));
    QTest::qWait(1500);
    EXPECT_EQ(w->PanelText(0), QStringLiteral("getrennt"));
    EXPECT_EQ(StatusLinesWith("keine Daten seit"), 1);
}

TEST_F(LiveHealthWindowTest, TheTimeOutComesFromTheSettingsFileAndOddValuesMeanTheDefault)
{
    struct Case {
        const char *value;
        int effective;
    };
    for (const Case c : {Case{"7", 7}, Case{"0", 5}, Case{"-4", 5}, Case{"abc", 5}, Case{"", 5}}) {
        program.reset();
        Begin(std::string("[Parameter]\r\nDatenTimeout=") + c.value + "\r\n");
        EXPECT_EQ(EffectiveDatenTimeout(w->Health().DatenTimeout), c.effective) << c.value;
    }
    // 0: no silence before the default 5 s.
    program.reset();
    Begin("[Parameter]\r\nDatenTimeout=0\r\n");
    Start();
    QTest::qWait(1500);
    EXPECT_EQ(w->PanelText(0), QStringLiteral("verbunden"));
    w->findChild<QAction *>(QStringLiteral("act_Stopp"))->trigger();

    // The options dialog offers it on "Anzeige" and stores it with the window.
    OnNextModal([&](QWidget *) {
        EXPECT_EQ(program->FOption->sed_DatenTimeout->value(), 5);
        EXPECT_EQ(program->FOption->sed_DatenTimeout->parentWidget(), program->FOption->tbs_Display);
        EXPECT_FALSE(program->FOption->cb_Notify->isChecked());
        program->FOption->sed_DatenTimeout->setValue(3);
        program->FOption->cb_Notify->setChecked(true);
        program->FOption->btn_OK->click();
    });
    w->act_OptionExecute();
    EXPECT_EQ(w->Health().DatenTimeout, 3);
    EXPECT_TRUE(w->Desktopmeldung);
    w->close();
    const std::string ini = ReadFile(dir / "glowkite.INI");
    EXPECT_NE(ini.find("DatenTimeout=3\r\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Desktopmeldung=1\r\n"), std::string::npos) << ini;
}

TEST_F(LiveHealthWindowTest, PanelsFourAndFiveShowTheRateAndTheBytesDroppedOutsideFrames)
{
    Begin("");
    Start();
    // 4 bytes of noise first, then 100 frames with 3 between each: 301.
    std::string stream = "\x11\x22\x33\x44";
    for (int i = 0; i < 100; ++i)
        stream += (i ? std::string("\x55\x66\x77") : std::string()) + Frame(0, static_cast<std::uint8_t>(i));
    Send(stream);
    ASSERT_TRUE(WaitFor([&] { return HexLines() == 100; }));
    ASSERT_TRUE(WaitFor([&] { return w->PanelText(5) == QStringLiteral("301 / -"); }, 2000)) << w->PanelText(5).toStdString();
    const QString tip = w->findChild<QLabel *>(QStringLiteral("StatusPanel5"))->toolTip();
    EXPECT_TRUE(tip.contains(QStringLiteral("301 Bytes"))) << tip.toStdString();
    EXPECT_TRUE(tip.contains(QStringLiteral("nicht gemeldet"))) << "a pty has no line counters";
    // A burst right after Start counts towards the rate.
    EXPECT_TRUE(WaitFor([&] { return w->PanelText(4).chopped(2).toInt() > 0; }, 2000)) << w->PanelText(4).toStdString();
    EXPECT_TRUE(w->PanelText(4).endsWith(QStringLiteral("/s")));
    EXPECT_FALSE(w->findChild<QLabel *>(QStringLiteral("StatusPanel4"))->toolTip().isEmpty());

    // A new Start counts from there.
    w->findChild<QAction *>(QStringLiteral("act_Stopp"))->trigger();
    EXPECT_EQ(w->PanelText(5), QStringLiteral("301 / -")) << "kept after Stop";
    Start();
    Send(std::string("\x01\x02") + Frame(0));
    ASSERT_TRUE(WaitFor([&] { return w->PanelText(5) == QStringLiteral("2 / -"); }, 2000)) << w->PanelText(5).toStdString();
}

TEST_F(LiveHealthWindowTest, PanelThreeShowsTheStatusInShortColouredAndAlarmsNotify)
{
    Begin("[Parameter]\r\nDesktopmeldung=1\r\n");
    std::vector<QString> notes;
    w->NotifyDesktop = [&](const QString &title, const QString &text) { notes.push_back(title + "|" + text); };
    QLabel *panel3 = w->findChild<QLabel *>(QStringLiteral("StatusPanel3"));
    Start();
    const auto show = [&](std::uint8_t flags, const char *text) {
        Send(Frame(flags));
        return WaitFor([&] { return w->PanelText(3) == QString::fromUtf8(text); }, 2000);
    };
    ASSERT_TRUE(show(0x00, "Normal"));
    EXPECT_TRUE(panel3->styleSheet().isEmpty());
    EXPECT_TRUE(notes.empty());
    ASSERT_TRUE(show(0x01, "Alarm"));
    EXPECT_TRUE(panel3->styleSheet().contains(QStringLiteral("red")));
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_TRUE(notes[0].startsWith(QStringLiteral("GlowKite: Alarm|Alarm"))) << notes[0].toStdString();
    ASSERT_TRUE(show(0x03, "Alarm, St\xC3\xB6rung"));
    EXPECT_TRUE(panel3->styleSheet().contains(QStringLiteral("red")));
    ASSERT_EQ(notes.size(), 2u) << "the fault is new";
    EXPECT_TRUE(notes[1].startsWith(QStringLiteral("GlowKite: St\u00f6rung"))) << notes[1].toStdString();
    ASSERT_TRUE(show(0x02, "St\xC3\xB6rung"));
    EXPECT_TRUE(panel3->styleSheet().contains(QStringLiteral("orange")));
    EXPECT_EQ(notes.size(), 2u) << "an alarm going off is not notified";
    ASSERT_TRUE(show(0x28, "Latch mode, Strahl Justierung"));
    EXPECT_TRUE(panel3->styleSheet().isEmpty());

    w->Desktopmeldung = false; // the check box off: no notification
    ASSERT_TRUE(show(0x01, "Alarm"));
    EXPECT_EQ(notes.size(), 2u);

    w->findChild<QAction *>(QStringLiteral("act_Stopp"))->trigger();
    EXPECT_EQ(w->PanelText(3), QStringLiteral(" Status"));
    EXPECT_TRUE(panel3->styleSheet().isEmpty());
}
