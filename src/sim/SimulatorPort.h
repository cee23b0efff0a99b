#pragma once
// Runs a simulated detector on a thread: frames are written, paced at a
// given rate, to a pseudo-terminal it creates (the window or the recorder
// opens the other end as its serial port) or to a file descriptor.

#include "sim/DetectorSimulator.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace glowkite {

class TSimulatorPort {
public:
    TSimulatorPort(const TSimOptions &options, double framesPerSecond);
    ~TSimulatorPort();
    TSimulatorPort(const TSimulatorPort &) = delete;
    TSimulatorPort &operator=(const TSimulatorPort &) = delete;

    // Creates a pseudo-terminal and returns the path of its serial end.
    // The end is kept raw and open, so a reader may come and go. POSIX only:
    // on Windows it raises std::runtime_error.
    std::string OpenPty();
    // Writes to a serial device instead (a path; on Windows a name such as
    // COM3), set to raw transfer; closed with this object.
    void OpenDevice(const std::string &device);

    // Sends maxFrames more frames (negative: until Stop), then stops by itself.
    void Start(std::int64_t maxFrames = -1);
    void Stop();
    // Waits until the thread has sent its frames or was stopped.
    void Wait();
    // Closes the detector's side of the line: the reader sees the port go away.
    void Hangup();

    std::int64_t FramesSent() const { return sent_.load(); }
    bool Running() const { return running_.load(); }
    // The first write error, empty while there is none.
    std::string Error() const;

private:
    void Run(std::int64_t maxFrames);
    // The platform side (SimulatorPortPosix.cpp, SimulatorPortWin32.cpp):
    // writes all bytes unless stopped; on a failure sets the error and stops.
    bool WriteAll(const std::vector<std::uint8_t> &bytes);
    void Fail(const std::string &error);
    void CloseLine();

    TDetectorSimulator sim_;
    double fps_;
    // Where frames are written: a file descriptor (pty master or device), on
    // Windows a HANDLE; -1 (INVALID_HANDLE_VALUE) when none.
    std::intptr_t line_ = -1;
    int slaveFd_ = -1; // keeps a pty's serial end open and raw
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> running_{false};
    std::atomic<std::int64_t> sent_{0};
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::string error_;
};

} // namespace glowkite
