#include "serial/SerComm.h"
#include "serial/qt/SerQtHandOff.h"

#ifdef _WIN32
#include <windows.h>
#else
#include "serial/SerTestPorts.h"
#endif

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

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

#ifdef _WIN32
// The line on Windows: the COM port scripts/test-windows maps under Wine
// (GLOWKITE_TEST_PORT), written to from its far end (GLOWKITE_TEST_PORT_FAR_END).
struct TestLine {
    std::string path;
    HANDLE farHandle = INVALID_HANDLE_VALUE;

    TestLine()
    {
        const char *port = std::getenv("GLOWKITE_TEST_PORT");
        const char *farEnd = std::getenv("GLOWKITE_TEST_PORT_FAR_END");
        if (!port || !farEnd)
            return;
        farHandle = CreateFileA(farEnd, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, 0, nullptr);
        if (farHandle != INVALID_HANDLE_VALUE)
            path = port;
    }
    ~TestLine()
    {
        if (farHandle != INVALID_HANDLE_VALUE)
            CloseHandle(farHandle);
    }
    void Send(const std::vector<unsigned char> &bytes) const
    {
        DWORD n = 0;
        WriteFile(farHandle, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
    }
};
#else
using TestLine = serialtest::PtyPair;
#endif

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
    int ranInModal = 0;
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        handOff->Run([&] {
            ++ran;
            if (modal.isRunning()) {
                ++ranInModal;
                modal.quit();
            }
        });
        returned = true;
    });
    // Generous: a loaded machine (or Wine) may start the worker late.
    QTimer::singleShot(60000, &modal, &QEventLoop::quit);
    modal.exec();
    // The worker waits until its step is served: serve it before the join
    // even when the modal loop failed to, so that a failure cannot hang.
    EXPECT_TRUE(ProcessUntil([&] { return returned.load(); }));
    worker.join();
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(ranInModal, 1) << "the step ran only after the modal loop had ended";
}

TEST(SerQtHandOffTest, ReceivesThroughTheComponentAndClosesWithAPendingStep)
{
    App();
    TestLine pty;
#ifdef _WIN32
    if (pty.path.empty())
        GTEST_SKIP() << "no test line: GLOWKITE_TEST_PORT and GLOWKITE_TEST_PORT_FAR_END name none "
                        "(scripts/test-windows maps one under Wine)";
#else
    ASSERT_FALSE(pty.path.empty()) << "openpty failed";
#endif
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
