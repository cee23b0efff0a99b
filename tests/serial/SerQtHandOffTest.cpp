#include "serial/SerComm.h"
#include "serial/qt/SerQtHandOff.h"

#include "serial/SerTestPorts.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <gtest/gtest.h>

#include <thread>

using namespace glowkite;
using namespace std::chrono_literals;

namespace {

QCoreApplication &App()
{
    static int argc = 1;
    static char name[] = "serial_qt";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

// Runs the Qt event loop until done() or the time-out.
bool ProcessUntil(const std::function<bool()> &done, std::chrono::milliseconds timeout = 5s)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    }
    return true;
}

} // namespace

TEST(SerQtHandOffTest, TheEventLoopServesAWorkersStep)
{
    App();
    auto handOff = std::make_shared<TSerQtHandOff>();
    std::thread::id ranOn;
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        handOff->Run([&] { ranOn = std::this_thread::get_id(); });
        returned = true;
    });
    EXPECT_TRUE(ProcessUntil([&] { return returned.load(); }));
    worker.join();
    EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST(SerQtHandOffTest, AModalLoopServesStepsToo)
{
    App();
    auto handOff = std::make_shared<TSerQtHandOff>();
    QEventLoop modal;
    int ran = 0;
    std::thread worker([&] {
        handOff->Run([&] {
            ++ran;
            modal.quit();
        });
    });
    QTimer::singleShot(5000, &modal, &QEventLoop::quit);
    modal.exec();
    worker.join();
    EXPECT_EQ(ran, 1);
}

TEST(SerQtHandOffTest, ReceivesThroughTheComponentAndClosesWithAPendingStep)
{
    App();
    serialtest::PtyPair pty;
    auto handOff = std::make_shared<TSerQtHandOff>();
    TSerComm comm(handOff);
    comm.SetDeviceName(pty.path);
    comm.SetUserBaudrate(35710);
    comm.ClosePause = 0ms;
    std::vector<std::uint8_t> received;
    comm.OnRxChar = [&](TSerCustomComm &c, int) {
        std::uint8_t ch;
        while (c.ReadChar(ch))
            received.push_back(ch);
    };
    comm.Open();
    pty.Send({1, 2, 3});
    EXPECT_TRUE(ProcessUntil([&] { return received.size() == 3; }));

    // A step queued but not yet reached by the event loop is served by Close.
    pty.Send({4, 5});
    ASSERT_EQ(handOff->PendingEvent().WaitFor(5000), wrSignaled);
    comm.Close();
    EXPECT_EQ(received, (std::vector<std::uint8_t>{1, 2, 3, 4, 5}));
    // The queued wake-up that arrives afterwards finds nothing to do.
    QCoreApplication::processEvents();
}
