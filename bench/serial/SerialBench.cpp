// serial_bench [seconds]
// 1. Sustained delivery: a writer thread paces bytes into a pty at the
//    detector's 3571 bytes/s (35710 baud, 10 bits per byte) in 25-byte frames;
//    the component hands them to OnRxChar, which reads them with ReadChar.
//    Reports lost or reordered bytes and the receiving side's CPU time per byte.
// 2. Maximum throughput: the writer writes as fast as the pty takes it; reports
//    the bytes per second that reach OnRxChar through ReadChar, and that figure
//    against the line rate (the target is at least 100 times).
#include "serial/SerComm.h"
#include "serial/SerTestPorts.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>

using namespace glowkite;
using namespace std::chrono_literals;

namespace {

constexpr double lineRate = 3571.0; // bytes per second at 35710 baud, 8N1

double ThreadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

struct Receiver {
    std::shared_ptr<TSerHandOffQueue> queue = std::make_shared<TSerHandOffQueue>();
    TSerComm comm{queue};
    std::uint64_t received = 0;
    std::uint64_t wrong = 0;
    std::uint64_t batches = 0;

    explicit Receiver(const std::string &path)
    {
        comm.SetDeviceName(path);
        comm.SetUserBaudrate(35710);
        comm.ClosePause = 0ms;
        comm.OnRxChar = [this](TSerCustomComm &c, int) {
            ++batches;
            std::uint8_t ch;
            while (c.ReadChar(ch)) {
                if (ch != static_cast<std::uint8_t>(received * 31 + 7))
                    ++wrong;
                ++received;
            }
        };
        comm.Open();
    }
};

std::uint8_t Pattern(std::uint64_t i)
{
    return static_cast<std::uint8_t>(i * 31 + 7);
}

void Sustained(double seconds)
{
    serialtest::PtyPair pty;
    Receiver rx(pty.path);
    const auto total = static_cast<std::uint64_t>(lineRate * seconds);
    std::atomic<double> writerCpu{0};
    const double cpuStart = serialtest::ProcessCpuSeconds();
    const auto wallStart = std::chrono::steady_clock::now();
    std::thread writer([&] {
        const double cpu0 = ThreadCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        std::uint64_t sent = 0;
        while (sent < total) {
            const std::uint64_t frame = std::min<std::uint64_t>(25, total - sent);
            std::vector<unsigned char> bytes(frame);
            for (std::uint64_t i = 0; i < frame; ++i)
                bytes[i] = Pattern(sent + i);
            pty.Send(bytes);
            sent += frame;
            std::this_thread::sleep_until(start + std::chrono::duration<double>(static_cast<double>(sent) / lineRate));
        }
        writerCpu = ThreadCpuSeconds() - cpu0;
    });
    serialtest::ServeUntil(*rx.queue, [&] { return rx.received >= total; },
                           std::chrono::milliseconds(static_cast<long>(seconds * 1000) + 5000));
    writer.join();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    const double cpu = serialtest::ProcessCpuSeconds() - cpuStart - writerCpu;
    std::printf("sustained: %llu of %llu bytes in %.1f s (%.0f bytes/s), lost %llu, wrong %llu, %llu batches\n",
                static_cast<unsigned long long>(rx.received), static_cast<unsigned long long>(total), wall,
                static_cast<double>(rx.received) / wall,
                static_cast<unsigned long long>(total - std::min(total, rx.received)),
                static_cast<unsigned long long>(rx.wrong), static_cast<unsigned long long>(rx.batches));
    std::printf("sustained: receiving side CPU %.3f s = %.2f us per byte (%.2f%% of one core)\n", cpu,
                cpu / static_cast<double>(std::max<std::uint64_t>(rx.received, 1)) * 1e6, cpu / wall * 100);
    rx.comm.Close();
}

void Maximum()
{
    serialtest::PtyPair pty;
    Receiver rx(pty.path);
    const std::uint64_t total = 64ull << 20;
    std::thread writer([&] {
        std::vector<unsigned char> block(1 << 16);
        for (std::uint64_t sent = 0; sent < total; sent += block.size()) {
            for (std::size_t i = 0; i < block.size(); ++i)
                block[i] = Pattern(sent + i);
            pty.Send(block);
        }
    });
    const auto start = std::chrono::steady_clock::now();
    serialtest::ServeUntil(*rx.queue, [&] { return rx.received >= total; }, 120s);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    writer.join();
    const double rate = static_cast<double>(rx.received) / wall;
    std::printf("maximum: %llu bytes through ReadChar in %.2f s = %.1f MB/s = %.0f times the line rate, wrong %llu, "
                "%llu batches\n",
                static_cast<unsigned long long>(rx.received), wall, rate / 1e6, rate / lineRate,
                static_cast<unsigned long long>(rx.wrong), static_cast<unsigned long long>(rx.batches));
    rx.comm.Close();
}

} // namespace

int main(int argc, char **argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 20.0;
    Sustained(seconds > 0 ? seconds : 20.0);
    Maximum();
    return 0;
}
