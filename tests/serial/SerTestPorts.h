#pragma once
// Real pseudo-terminals for the serial tests: an openpty pair held in this
// process, or a socat pair whose far end another process holds.

#include "serial/SerHandOff.h"
#include "support/SocatPair.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <pty.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace serialtest {

struct PtyPair {
    int master = -1;
    int slave = -1;
    std::string path;

    PtyPair()
    {
        char name[256] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) == 0)
            path = name;
    }
    ~PtyPair() { CloseMaster(), CloseSlave(); }
    void CloseMaster()
    {
        if (master >= 0)
            close(master);
        master = -1;
    }
    void CloseSlave()
    {
        if (slave >= 0)
            close(slave);
        slave = -1;
    }
    void Send(const std::vector<unsigned char> &bytes) const
    {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = write(master, bytes.data() + done, bytes.size() - done);
            if (n > 0)
                done += static_cast<std::size_t>(n);
        }
    }
    // Whatever the far end has received within the time-out.
    std::vector<unsigned char> Receive(std::size_t wanted, std::chrono::milliseconds timeout) const
    {
        std::vector<unsigned char> got;
        const auto end = std::chrono::steady_clock::now() + timeout;
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        unsigned char buf[4096];
        while (got.size() < wanted && std::chrono::steady_clock::now() < end) {
            const ssize_t n = read(master, buf, sizeof buf);
            if (n > 0)
                got.insert(got.end(), buf, buf + n);
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return got;
    }
};

// A temporary folder that removes itself.
struct TempDir {
    std::filesystem::path path;
    TempDir()
    {
        char pattern[] = "/tmp/gk-serial-XXXXXX";
        path = mkdtemp(pattern);
    }
    ~TempDir() { std::filesystem::remove_all(path); }
};

// socat with two linked pseudo-terminals, "a" and "b", in a temporary folder.
struct SocatPair {
    TempDir dir;
    std::string a = (dir.path / "a").string();
    std::string b = (dir.path / "b").string();
    glowkite::test::SocatPair pair{a, b};

    bool Ready() const { return pair.Ready(); }
    void Kill() { pair.Stop(); }
};

// Serves hand-offs until done() or the time-out; answers done().
inline bool ServeUntil(glowkite::TSerHandOffQueue &queue, const std::function<bool()> &done,
                       std::chrono::milliseconds timeout = std::chrono::seconds(5))
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        queue.WaitAndServe(std::chrono::milliseconds(10));
    }
    return true;
}

inline double ProcessCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

} // namespace serialtest
