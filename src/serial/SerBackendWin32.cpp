// Win32 serial backend: an overlapped comm handle, SetCommState with the
// control block as built, WaitCommEvent for line events, overlapped ReadFile
// and WriteFile, EscapeCommFunction for the modem lines, ClearCommError for
// the line errors and the queue counts.
#include "serial/SerBackend.h"
#include "serial/SerTypes.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <system_error>
#include <vector>
#include <windows.h>

namespace glowkite {

static_assert(sizeof(DCB) == sizeof(TSerDCB), "TSerDCB must have the layout of DCB");
static_assert(offsetof(DCB, BaudRate) == offsetof(TSerDCB, BaudRate));
static_assert(offsetof(DCB, XonLim) == offsetof(TSerDCB, XonLim));
static_assert(offsetof(DCB, ByteSize) == offsetof(TSerDCB, ByteSize));
static_assert(offsetof(DCB, EvtChar) == offsetof(TSerDCB, EvtChar));

namespace {

thread_local int lastError = 0;

bool Fail(DWORD code)
{
    lastError = static_cast<int>(code);
    return false;
}

// What a driver answers once its device is gone (USB adapter unplugged).
bool DeviceGone(DWORD code)
{
    return code == ERROR_ACCESS_DENIED || code == ERROR_BAD_COMMAND || code == ERROR_GEN_FAILURE ||
           code == ERROR_DEV_NOT_EXIST || code == ERROR_DEVICE_REMOVED;
}

bool NtPlatform()
{
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    return GetVersionExA(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

// An operation that was started on the handle has been cancelled; its
// OVERLAPPED (and buffer) may be reused or freed only once the driver has
// let go of them.
void AwaitCancelled(const OVERLAPPED &op)
{
    for (int i = 0; i < 5000 && !HasOverlappedIoCompleted(&op); ++i)
        Sleep(1);
}

// Waits that a driver ends without reporting an event (Wine on a
// pseudo-terminal does so about every millisecond) are re-armed at once the
// first time, after a short pause when they keep coming, so that the event
// thread does not spin.
constexpr int kIdleCompletionsBeforePause = 2;
constexpr DWORD kIdlePauseMs = 10;
// A pending wait looks at the input queue this often: received bytes are
// handed on within this time even when the driver does not end the wait.
constexpr DWORD kQueueCheckMs = 20;

class TSerBackendWin32 final : public TSerBackend {
public:
    TSerBackendWin32()
        : readEvent_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
          writeEvent_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
          waitEvent_(CreateEventA(nullptr, TRUE, FALSE, nullptr))
    {
        if (readEvent_ == nullptr || writeEvent_ == nullptr || waitEvent_ == nullptr) {
            const DWORD code = GetLastError();
            CloseEvents();
            throw std::system_error(static_cast<int>(code), std::system_category(), "CreateEvent");
        }
    }

    ~TSerBackendWin32() override
    {
        Close();
        CloseEvents();
    }

    std::string DevicePath(const std::string &name) const override
    {
        // A name that already is a device path (\\.\COM12) stays as it is.
        if (name.rfind("\\\\", 0) == 0 || !NtPlatform())
            return name;
        return "\\\\.\\" + name;
    }

    bool Open(const std::string &path) override
    {
        const HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_OVERLAPPED, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return Fail(GetLastError());
        handle_ = h;
        mask_ = 0;
        errorsSeen_ = 0;
        lineErrors_ = {};
        lineErrors_.Counted = true;
        waitPending_ = false;
        writePending_ = false;
        idleCompletions_ = 0;
        lost_ = false;
        lostReported_ = false;
        return true;
    }

    void Close() override
    {
        if (handle_ == INVALID_HANDLE_VALUE)
            return;
        // The event thread cancels its own wait when stopped; this covers a
        // thread that could not.
        if (waitPending_) {
            CancelIoEx(handle_, &waitOp_);
            AwaitCancelled(waitOp_);
            waitPending_ = false;
        }
        if (writePending_)
            CancelWrite();
        CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }

    bool IsOpen() const override { return handle_ != INVALID_HANDLE_VALUE; }
    bool IsNotFound(int error) const override { return error == ERROR_FILE_NOT_FOUND; }

    bool ApplyDCB(const TSerDCB &block) override
    {
        DCB dcb;
        std::memcpy(&dcb, &block, sizeof dcb);
        dcb.DCBlength = sizeof dcb;
        return SetCommState(handle_, &dcb) || Fail(GetLastError());
    }

    bool SetQueueSizes(std::uint32_t readSize, std::uint32_t writeSize) override
    {
        return SetupComm(handle_, readSize, writeSize) || Fail(GetLastError());
    }

    bool SetImmediateReads() override
    {
        COMMTIMEOUTS timeouts{};
        timeouts.ReadIntervalTimeout = MAXDWORD;
        return SetCommTimeouts(handle_, &timeouts) || Fail(GetLastError());
    }

    bool SetEventMask(std::uint32_t mask) override
    {
        mask_ = mask;
        return SetCommMask(handle_, mask & ~EV_PORTLOST) || Fail(GetLastError());
    }

    TSerWaitOutcome WaitCommEvent(std::uint32_t &events, const TSerWaitEvent &wake) override
    {
        events = 0;
        if (lostReported_)
            return (lastError = ERROR_BAD_COMMAND), TSerWaitOutcome::Failed;
        if (!waitPending_ && idleCompletions_ >= kIdleCompletionsBeforePause &&
            WaitForSingleObject(wake.Handle(), kIdlePauseMs) == WAIT_OBJECT_0)
            return TSerWaitOutcome::Woken;
        if (!waitPending_) {
            // The record and the mask outlive this call: a wait still
            // outstanding writes into them when it ends. The wait has an
            // event of its own: under Wine the wake event of a shared record
            // was seen signalled while the record still read pending, which
            // looked like a Stop.
            std::memset(&waitOp_, 0, sizeof waitOp_);
            waitOp_.hEvent = waitEvent_;
            waitMask_ = 0;
            if (::WaitCommEvent(handle_, &waitMask_, &waitOp_))
                return Reported(events);
            const DWORD code = GetLastError();
            if (code != ERROR_IO_PENDING)
                return Refused(code, events);
            waitPending_ = true;
        }
        const HANDLE handles[2] = {waitEvent_, wake.Handle()};
        for (;;) {
            const DWORD woken = WaitForMultipleObjects(2, handles, FALSE, kQueueCheckMs);
            if (woken == WAIT_OBJECT_0)
                break;
            if (woken == WAIT_OBJECT_0 + 1) {
                // Woken by Stop: the wait is given up, and the driver must be
                // done with it before the thread goes.
                CancelIoEx(handle_, &waitOp_);
                AwaitCancelled(waitOp_);
                waitPending_ = false;
                return TSerWaitOutcome::Woken;
            }
            if (woken != WAIT_TIMEOUT)
                return (lastError = static_cast<int>(GetLastError())), TSerWaitOutcome::Failed;
            // Bytes waiting while the wait goes on: Wine on a pseudo-terminal
            // was seen to keep it pending for seconds while frames came. They
            // are reported now; the wait stays armed for the next call.
            if ((mask_ & EV_RXCHAR) && BytesWaiting()) {
                events = EV_RXCHAR;
                idleCompletions_ = 0;
                return TSerWaitOutcome::Events;
            }
        }
        waitPending_ = false;
        DWORD ignored = 0;
        // The event says the wait is over, even if the record has not caught
        // up yet: wait for the record rather than take it for pending.
        if (GetOverlappedResult(handle_, &waitOp_, &ignored, TRUE))
            return Reported(events);
        const DWORD code = GetLastError();
        if (code == ERROR_OPERATION_ABORTED) {
            ++idleCompletions_;
            return TSerWaitOutcome::Events;
        }
        return Refused(code, events);
    }

    bool Statistics(TSerCommStatus &status) override
    {
        status = {};
        DWORD errors = 0;
        COMSTAT stat{};
        if (!ClearCommError(handle_, &errors, &stat)) {
            const DWORD code = GetLastError();
            if (lost_ || DeviceGone(code)) {
                lost_ = true;
                return true;
            }
            return Fail(code);
        }
        errors |= eventThreadErrors_.exchange(0);
        CountLineErrors(errors);
        status.Errors = errors | errorsSeen_;
        errorsSeen_ = 0;
        static_assert(sizeof(COMSTAT) >= sizeof(DWORD) + 2 * sizeof(DWORD));
        std::memcpy(&status.Flags, &stat, sizeof(DWORD)); // the fCtsHold ... fTxim bits
        status.InQueue = stat.cbInQue;
        status.OutQueue = stat.cbOutQue;
        return true;
    }

    TSerLineErrors LineErrors() override { return lineErrors_; }

    bool Escape(int function) override
    {
        return EscapeCommFunction(handle_, static_cast<DWORD>(function)) || Fail(GetLastError());
    }

    bool Read(void *buffer, std::size_t count, std::size_t &got, int timeoutMs) override
    {
        got = 0;
        if (lost_ || count == 0)
            return true;
        // Only what is waiting is asked for: with the immediate time-outs a
        // read returns at once anyway, but Wine keeps an overlapped read on
        // an empty queue pending until bytes come, which would stall every
        // last ReadChar of a batch for the whole time-out.
        DWORD errors = 0;
        COMSTAT stat{};
        if (!ClearCommError(handle_, &errors, &stat))
            return ReadFailed(GetLastError());
        errors |= eventThreadErrors_.exchange(0);
        errorsSeen_ |= errors; // cleared here, reported by the next Statistics
        CountLineErrors(errors);
        if (stat.cbInQue == 0)
            return true;
        const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(count, stat.cbInQue));
        OVERLAPPED op{};
        op.hEvent = readEvent_; // ReadFile resets it
        DWORD n = 0;
        if (!ReadFile(handle_, buffer, wanted, nullptr, &op)) {
            const DWORD code = GetLastError();
            if (code != ERROR_IO_PENDING)
                return ReadFailed(code);
            if (WaitForSingleObject(readEvent_, timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs)) !=
                WAIT_OBJECT_0) {
                // The buffer is the caller's: the read must be over before
                // returning. Bytes that came in before the cancel count.
                CancelIoEx(handle_, &op);
                if (GetOverlappedResult(handle_, &op, &n, TRUE))
                    got = n;
                else
                    AwaitCancelled(op);
                return true;
            }
        }
        if (!GetOverlappedResult(handle_, &op, &n, FALSE))
            return ReadFailed(GetLastError());
        got = n;
        return true;
    }

    TSerWriteOutcome StartWrite(const void *data, std::size_t count, std::size_t &written) override
    {
        written = 0;
        if (writePending_)
            FinishWrite(INFINITE);
        if (lost_)
            return (lastError = ERROR_BAD_COMMAND), TSerWriteOutcome::Failed;
        const auto *bytes = static_cast<const std::uint8_t *>(data);
        writeData_.assign(bytes, bytes + std::min<std::size_t>(count, MAXDWORD));
        std::memset(&writeOp_, 0, sizeof writeOp_);
        writeOp_.hEvent = writeEvent_;
        if (WriteFile(handle_, writeData_.data(), static_cast<DWORD>(writeData_.size()), nullptr, &writeOp_)) {
            DWORD n = 0;
            GetOverlappedResult(handle_, &writeOp_, &n, FALSE);
            written = n;
            return TSerWriteOutcome::Done;
        }
        const DWORD code = GetLastError();
        if (code == ERROR_IO_PENDING) {
            writePending_ = true;
            return TSerWriteOutcome::InFlight;
        }
        if (DeviceGone(code))
            lost_ = true;
        lastError = static_cast<int>(code);
        return TSerWriteOutcome::Failed;
    }

    int WaitWrite(const TSerWaitEvent &stop, const void *, std::size_t, std::size_t &written) override
    {
        written = 0;
        if (!writePending_)
            return -1;
        const HANDLE handles[2] = {stop.Handle(), writeEvent_};
        switch (WaitForMultipleObjects(2, handles, FALSE, INFINITE)) {
        case WAIT_OBJECT_0:
            CancelWrite();
            return 0;
        case WAIT_OBJECT_0 + 1:
            return FinishWrite(0, &written) ? -1 : -2;
        default:
            lastError = static_cast<int>(GetLastError());
            return -2;
        }
    }

    bool Lost() const override { return lost_; }
    int LastError() const override { return lastError; }

    std::string ErrorText(int code) const override
    {
        char text[512] = {};
        DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                 static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
        // The system's texts end with a line break.
        while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' '))
            --n;
        if (n == 0)
            return "Error " + std::to_string(code);
        return std::string(text, n);
    }

private:
    // Event thread: whether the driver holds received bytes; a failing query
    // says no (the next read or wait reports the fault).
    bool BytesWaiting()
    {
        DWORD errors = 0;
        COMSTAT stat{};
        if (!ClearCommError(handle_, &errors, &stat))
            return false;
        if (errors != 0)
            eventThreadErrors_.fetch_or(errors);
        return stat.cbInQue > 0;
    }

    TSerWaitOutcome Reported(std::uint32_t &events)
    {
        events = waitMask_ & mask_;
        if (events == 0)
            ++idleCompletions_;
        else
            idleCompletions_ = 0;
        return TSerWaitOutcome::Events;
    }

    TSerWaitOutcome Refused(DWORD code, std::uint32_t &events)
    {
        if (DeviceGone(code)) {
            lost_ = true;
            lostReported_ = true;
            events = EV_PORTLOST;
            return TSerWaitOutcome::Events;
        }
        lastError = static_cast<int>(code);
        return TSerWaitOutcome::Failed;
    }

    bool ReadFailed(DWORD code)
    {
        if (DeviceGone(code)) {
            lost_ = true;
            return true;
        }
        return Fail(code);
    }

    // Waits up to timeoutMs for the write in flight; true with the count
    // written when it finished well.
    bool FinishWrite(DWORD timeoutMs, std::size_t *written = nullptr)
    {
        if (timeoutMs != 0 && WaitForSingleObject(writeEvent_, timeoutMs) != WAIT_OBJECT_0)
            return Fail(GetLastError());
        writePending_ = false;
        DWORD n = 0;
        if (!GetOverlappedResult(handle_, &writeOp_, &n, TRUE)) {
            const DWORD code = GetLastError();
            if (DeviceGone(code))
                lost_ = true;
            return Fail(code);
        }
        if (written)
            *written = n;
        return true;
    }

    void CancelWrite()
    {
        CancelIoEx(handle_, &writeOp_);
        DWORD n = 0;
        if (!GetOverlappedResult(handle_, &writeOp_, &n, TRUE))
            AwaitCancelled(writeOp_);
        writePending_ = false;
    }

    void CloseEvents()
    {
        if (readEvent_ != nullptr)
            CloseHandle(readEvent_);
        if (writeEvent_ != nullptr)
            CloseHandle(writeEvent_);
        if (waitEvent_ != nullptr)
            CloseHandle(waitEvent_);
    }

    HANDLE handle_ = INVALID_HANDLE_VALUE;
    std::uint32_t mask_ = 0;
    std::atomic<bool> lost_{false};

    // Event thread only.
    OVERLAPPED waitOp_{};
    DWORD waitMask_ = 0;
    bool waitPending_ = false;
    int idleCompletions_ = 0;
    bool lostReported_ = false;

    // Owner thread only: ReadEvent of every overlapped read, and line errors
    // that a read cleared before Statistics could report them.
    HANDLE readEvent_;
    std::uint32_t errorsSeen_ = 0;
    TSerLineErrors lineErrors_;

    // ClearCommError reports which errors occurred, not how often: each
    // report counts one of each kind.
    void CountLineErrors(DWORD errors)
    {
        lineErrors_.Counted = true;
        lineErrors_.Framing += (errors & CE_FRAME) ? 1 : 0;
        lineErrors_.Parity += (errors & CE_RXPARITY) ? 1 : 0;
        lineErrors_.Overrun += ((errors & CE_OVERRUN) ? 1 : 0) + ((errors & CE_RXOVER) ? 1 : 0);
        lineErrors_.Break += (errors & CE_BREAK) ? 1 : 0;
    }

    // Write thread (or the owner with DirectWrite).
    HANDLE writeEvent_;
    OVERLAPPED writeOp_{};
    std::vector<std::uint8_t> writeData_;
    bool writePending_ = false;

    // Event thread: the comm event wait's own event, and the line errors its
    // look at the input queue cleared, for the owner to report.
    HANDLE waitEvent_;
    std::atomic<std::uint32_t> eventThreadErrors_{0};
};

} // namespace

std::unique_ptr<TSerBackend> TSerBackend::Create()
{
    return std::make_unique<TSerBackendWin32>();
}

} // namespace glowkite
