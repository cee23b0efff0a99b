#pragma once
// socat joining two pseudo-terminals under link names of the test's choice:
// `near` is the program's port, `far` the detector's end, held by another
// process. Stopping socat is pulling the adapter out; starting it again with
// the same names is plugging it back in.

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace glowkite::test {

class SocatPair {
public:
    SocatPair(std::string near, std::string far) : near_(std::move(near)), far_(std::move(far)) { Start(); }
    ~SocatPair() { Stop(); }
    SocatPair(const SocatPair &) = delete;
    SocatPair &operator=(const SocatPair &) = delete;

    // Starts socat and waits (up to 10 s) until both links are there.
    void Start()
    {
        pid_ = ::fork();
        if (pid_ == 0) {
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 2);
            const std::string left = "pty,raw,echo=0,link=" + near_;
            const std::string right = "pty,raw,echo=0,link=" + far_;
            ::execlp("socat", "socat", left.c_str(), right.c_str(), static_cast<char *>(nullptr));
            ::_exit(127);
        }
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!Ready() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // Ends socat: both ends of the line go away.
    void Stop()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }
    bool Ready() const { return std::filesystem::exists(near_) && std::filesystem::exists(far_); }
    const std::string &Near() const { return near_; }
    const std::string &Far() const { return far_; }

private:
    std::string near_, far_;
    pid_t pid_ = -1;
};

} // namespace glowkite::test
