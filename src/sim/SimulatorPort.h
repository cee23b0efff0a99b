#pragma once
// Runs a simulated detector on a thread: frames are written, paced at a
// given rate, to a pseudo-terminal it creates (the window or the recorder
// opens the other end as its serial port), to a serial device, or to the
// reader of a loopback TCP port (Windows has no pseudo-terminals).

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
    // Listens on 127.0.0.1, on a free port the system picks, and returns the
    // port name to record from, tcp://127.0.0.1:PORT (the serial
    // component's raw network port). One reader at a time: a new connection
    // replaces the old one. While none is connected, frames go nowhere, as
    // on an unplugged line, and are not counted as sent; a reader that goes
    // away is no error.
    std::string OpenLoopback();

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
    // The loopback port (SimulatorLoopback.cpp).
    bool SendToReader(const std::vector<std::uint8_t> &bytes);
    bool TakeNewestReader();
    void DropGoneReader();
    void CloseLoopback();

    TDetectorSimulator sim_;
    double fps_;
    // Where frames are written: a file descriptor (pty master or device), on
    // Windows a HANDLE; -1 (INVALID_HANDLE_VALUE) when none.
    std::intptr_t line_ = -1;
    int slaveFd_ = -1; // keeps a pty's serial end open and raw
    // The loopback's listening socket and its reader (on Windows SOCKETs);
    // -1 (INVALID_SOCKET) when none.
    std::intptr_t listener_ = -1;
    std::intptr_t reader_ = -1;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> running_{false};
    std::atomic<std::int64_t> sent_{0};
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::string error_;
};

} // namespace glowkite
