#pragma once
// The platform side of the serial component, one implementation per OS
// (SerBackendPosix.cpp, SerBackendWin32.cpp) and per network transport
// (SerBackendNetPosix.cpp, SerBackendNetWin32.cpp). Internal to serial/: the
// component is the public face and picks the backend by the port name.
//
// Calls answer false (or a failed outcome) on failure; LastError() then holds
// the system error code of the calling thread, ErrorText() its text.

#include "serial/SerClasses.h"
#include "serial/SerDCB.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace glowkite {

struct TSerCommStatus {
    std::uint32_t Errors = 0;   // CE_* line error flags since the last report
    std::uint32_t Flags = 0;    // driver status flags (none on POSIX)
    std::uint32_t InQueue = 0;  // bytes waiting to be read
    std::uint32_t OutQueue = 0; // bytes waiting to be sent
};

enum class TSerWaitOutcome { Events, Woken, Failed };
enum class TSerWriteOutcome { Done, Pending, InFlight, Failed };

class TSerBackend {
public:
    // The serial device of this system.
    static std::unique_ptr<TSerBackend> Create();
    // A serial device server on the network (SerBackendNet*.cpp): the port
    // name is the address, tcp://HOST:PORT or rfc2217://HOST:PORT.
    static std::unique_ptr<TSerBackend> CreateNet();
    virtual ~TSerBackend() = default;

    // How long a network backend waits for the connection and for the
    // server's answers; a device answers at once and ignores it.
    virtual void SetNetTimeout(std::chrono::milliseconds) {}
    // Asked while a network backend waits for the server; true ends the
    // wait with a failure (ECANCELED). A device does not wait.
    virtual void SetCancelCheck(std::function<bool()>) {}

    // The system path of a port name (after the component formatted PortNum in).
    virtual std::string DevicePath(const std::string &name) const = 0;
    // Opens an existing device exclusively for non-blocking use.
    virtual bool Open(const std::string &path) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // True when the error of a failed Open means "no such device".
    virtual bool IsNotFound(int error) const = 0;

    virtual bool ApplyDCB(const TSerDCB &dcb) = 0;
    virtual bool SetQueueSizes(std::uint32_t readSize, std::uint32_t writeSize) = 0;
    // Reads return at once with what has arrived, possibly nothing.
    virtual bool SetImmediateReads() = 0;
    virtual bool SetEventMask(std::uint32_t mask) = 0;

    // Event thread: waits until a monitored event (EV_*) arrives or wake is
    // signalled. EV_PORTLOST is reported once when the device goes away; the
    // caller is not to wait again on a lost port.
    virtual TSerWaitOutcome WaitCommEvent(std::uint32_t &events, const TSerWaitEvent &wake) = 0;

    // Reports the receive and transmit counts and the line errors, clearing them.
    virtual bool Statistics(TSerCommStatus &status) = 0;
    // The line errors counted since Open (no call clears them); none where
    // the device has no counters.
    virtual TSerLineErrors LineErrors() { return {}; }
    // SETDTR, CLRDTR, SETRTS, CLRRTS. A device without modem lines succeeds.
    virtual bool Escape(int function) = 0;

    // Reads up to count bytes that have arrived; got is 0 when none has. A
    // driver that has not answered within timeoutMs gives 0 bytes.
    virtual bool Read(void *buffer, std::size_t count, std::size_t &got, int timeoutMs) = 0;

    // Write thread: starts a write. Done: `written` bytes were taken. Pending:
    // nothing yet; WaitWrite finishes it. InFlight: all bytes were taken (the
    // backend keeps its own copy) and are being written; WaitWrite tells how
    // many went out.
    virtual TSerWriteOutcome StartWrite(const void *data, std::size_t count, std::size_t &written) = 0;
    // Waits for the pending write or for the stop event. Answers 0 when stop
    // was signalled, -1 when the write finished with `written` bytes
    // (possibly 0: start again), -2 on failure.
    virtual int WaitWrite(const TSerWaitEvent &stop, const void *data, std::size_t count,
                          std::size_t &written) = 0;

    // The device went away while open (hang-up, I/O error).
    virtual bool Lost() const = 0;

    virtual int LastError() const = 0;
    virtual std::string ErrorText(int code) const = 0;
};

// The POSIX port-name rule: COMn is /dev/ttyS{n-1}, a name starting with "/"
// is a path as it is, any other name X is /dev/X.
std::string PosixDevicePath(const std::string &name);

} // namespace glowkite
