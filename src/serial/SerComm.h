#pragma once
// TSerComm: one serial port. Keeps the line settings, opens the port
// exclusively, applies the settings, runs an event thread and a write thread
// while open, reports received characters through OnRxChar on the owner
// thread, and reads received bytes on request. Failures raise ESerCommError.
//
// Threads: every call and every event handler belongs to the owner thread
// (the thread that created the component or its hand-off, normally the GUI
// thread). The event thread hands each batch of line events to it through a
// TSerHandOff (SerHandOff.h) and blocks until the batch has been handled.
//
// Port names: besides the devices of the system (COMn, a path), a serial
// device server on the network: tcp://HOST:PORT (raw TCP) or
// rfc2217://HOST:PORT (Telnet COM-PORT-OPTION, which sets the server's line
// from the line settings). Open connects within NetTimeout; the server
// closing the connection is the port going away.
//
// Port loss: when the device goes away while open (USB adapter unplugged,
// far end of a pseudo-terminal closed), the bytes already received are still
// delivered through OnRxChar, then OnPortLost(sender, text) runs once on the
// owner thread and the event thread stops waiting. The port stays Active
// until Close, which works as usual; PortLost() tells the state. Close (and a
// new Open) may be called from inside OnPortLost and OnRxChar.

#include "serial/SerBackend.h"
#include "serial/SerClasses.h"
#include "serial/SerHandOff.h"
#include "serial/SerPrst.h"
#include "serial/SerTypes.h"

#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace glowkite {

class ESerCommError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TSerComponent {
public:
    virtual ~TSerComponent() = default;
    std::string Name;
    int Tag = 0;
};

class TSerCustomComm;
class TSerThread;
class TSerCommEventThread;
class TSerCommWriteThread;

using TSerNotifyEvent = std::function<void(TSerCustomComm &sender)>;
using TSerCommErrorEvent = std::function<void(TSerCustomComm &sender, int errors)>;
using TSerCommRxCharEvent = std::function<void(TSerCustomComm &sender, int count)>;
using TSerPortLostEvent = std::function<void(TSerCustomComm &sender, const std::string &text)>;
// Shows an exception that a handler raised inside a hand-off (or in OnOpen,
// OnError); the default writes its message to stderr.
using TSerExceptionDisplay = std::function<void(std::exception_ptr error)>;

// The message of an exception, for displays.
std::string ExceptionMessage(std::exception_ptr error);

// Replaces %d and %s, in order, by the given texts; "%%" is a percent sign,
// anything else stays as it is (a name is never used as a printf format).
std::string FormatPattern(const std::string &pattern, std::initializer_list<std::string> args);

class TSerCustomComm : public TSerComponent {
public:
    // handOff: how worker threads reach the owner thread; none gives a
    // TSerHandOffQueue bound to the calling thread.
    explicit TSerCustomComm(std::shared_ptr<TSerHandOff> handOff = nullptr);
    TSerCustomComm(const TSerCustomComm &) = delete;
    TSerCustomComm &operator=(const TSerCustomComm &) = delete;
    // Closes the port (without OnClose). Not to be destroyed from inside one
    // of its own event handlers.
    ~TSerCustomComm() override;

    virtual void Open();
    // Stops the threads (serving their hand-offs meanwhile), closes the port,
    // triggers OnClose and pauses ClosePause. Does nothing while closed.
    void Close();
    bool Active() const;
    // Opens the port when AutoOpen is set.
    virtual void Loaded();

    // Reads up to count received bytes; 0 when none has arrived or closed.
    int ReadBuf(void *buffer, int count);
    // True with one received byte in ch; false at once when none is waiting.
    bool ReadChar(std::uint8_t &ch);
    // Bytes received and not yet read; 0 while closed.
    int ReadBufUsed();
    TSerCommStatus ReadStatistics();
    // The line errors (framing, parity, overrun, break) the driver counted
    // since Open; none while closed or on a device without counters.
    TSerLineErrors LineErrors();
    // Queues bytes for the write thread; answers how many fitted in the write
    // buffer (Buffers.WriteSize). With DirectWrite the bytes go straight to
    // the driver, as many as it takes now. 0 while closed.
    int WriteBuf(const void *data, int count);

    void SetDTR(bool on);
    void SetRTS(bool on);

    bool PortLost() const;
    // The driver event mask of the last Open.
    std::uint32_t EventMask() const { return eventMask_; }
    // DeviceName with PortNum formatted in, mapped to the system's path.
    std::string DevicePath() const;

    // Getters of the published properties.
    bool AutoOpen() const { return autoOpen_; }
    TSerBaudrate Baudrate() const { return baudrate_; }
    std::int32_t UserBaudrate() const { return userBaudrate_; }
    TSerParity Parity() const { return parity_; }
    TSerDatabits Databits() const { return databits_; }
    TSerStopbits Stopbits() const { return stopbits_; }
    TSerCommOptions Options() const { return options_; }
    std::int32_t PortNum() const { return portNum_; }
    const std::string &DeviceName() const { return deviceName_; }
    TSerCommEvents MonitorEvents() const { return monitorEvents_; }
    TThreadPriority EventPriority() const { return eventPriority_; }
    TThreadPriority WritePriority() const { return writePriority_; }
    bool DirectWrite() const { return directWrite_; }
    bool UpdateDCB() const { return updateDCB_; }
    // The groups themselves: a field changed here notifies the component.
    TSerBuffers &Buffers() { return buffers_; }
    TSerEventChars &EventChars() { return eventChars_; }
    TSerFlowControl &FlowControl() { return flowControl_; }

    TSerHandOff &HandOff() { return *handOff_; }
    // Only while closed.
    void SetHandOff(std::shared_ptr<TSerHandOff> handOff);

    TSerExceptionDisplay ExceptionDisplay;
    // The pause at the end of Close.
    std::chrono::milliseconds ClosePause{300};
    // How long received bytes gather before OnRxChar is told of them: the
    // event thread, woken by the first, waits this long (Close ends the wait
    // at once) and hands on what came meanwhile with it, so that a stream of
    // short frames wakes the owner once for several. The bytes wait in the
    // driver's buffer. 0: told at once. Taken when the port opens.
    std::chrono::milliseconds RxGathering{0};
    // A network port (tcp://HOST:PORT, rfc2217://HOST:PORT): the longest
    // wait of Open for the connection and for each answer of the server.
    std::chrono::milliseconds NetTimeout{3000};
    // For an Open run on a thread other than the owner's (a network port
    // connected to in the background): asked, on that thread, while it
    // waits for the server; true makes the Open give up at once with an
    // error, so that the owner can stop a connection under way. Set it
    // before that Open starts.
    std::function<bool()> OpenCancelled;

    TSerNotifyEvent OnOpen, OnClose, OnCts, OnDsr, OnRlsd, OnRing, OnBreak;
    TSerCommErrorEvent OnError;
    TSerCommRxCharEvent OnRxChar;
    TSerNotifyEvent OnRxFlag, OnTxEmpty, OnPErr, OnRx80Full, OnEvent1, OnEvent2;
    // An addition to the events: the device went away while open.
    TSerPortLostEvent OnPortLost;

protected:
    virtual void CreateHandle();
    virtual void CreateThreads();
    // Owner thread, from the event thread's hand-off.
    virtual void HandleRxChar();
    virtual void HandleEvents(std::uint32_t mask);

    void SetAutoOpen(bool value) { autoOpen_ = value; }
    void SetBaudrate(TSerBaudrate value);
    void SetUserBaudrate(std::int32_t value);
    void SetParity(TSerParity value);
    void SetDatabits(TSerDatabits value);
    void SetStopbits(TSerStopbits value);
    void SetOptions(TSerCommOptions value);
    void SetEventChars(const TSerEventChars &value) { eventChars_.Assign(value); }
    void SetFlowControl(const TSerFlowControl &value) { flowControl_.Assign(value); }
    void SetBuffers(const TSerBuffers &value);
    void SetPortNum(std::int32_t value);
    void SetDeviceName(const std::string &value);
    void SetMonitorEvents(TSerCommEvents value);
    void SetEventPriority(TThreadPriority value);
    void SetWritePriority(TThreadPriority value);
    void SetDirectWrite(bool value);
    void SetUpdateDCB(bool value);

    void CheckClosed() const;
    void WriteDCB();
    void InitBuffers();
    void SetTimeouts();
    void SetEventMask();
    [[noreturn]] void RaiseCommError(const std::string &pattern) const;
    void ShowException(std::exception_ptr error) const;

private:
    friend class TSerThread;
    friend class TSerCommEventThread;
    friend class TSerCommWriteThread;

    void DestroyThreads();
    void RetireOrWait(std::unique_ptr<TSerThread> thread);
    void ReapRetired(bool wait);
    template <typename T>
    void StoreLineSetting(T &field, T value);
    template <typename Handler, typename... Args>
    void Trigger(const Handler &handler, Args &&...args);

    // The device backend, the network one once a network name was opened,
    // and the one the port name of the last Open chose.
    std::unique_ptr<TSerBackend> deviceBackend_;
    std::unique_ptr<TSerBackend> netBackend_;
    TSerBackend *backend_ = nullptr;
    std::shared_ptr<TSerHandOff> handOff_;
    TSerCriticalSection readLock_;
    TSerCriticalSection writeLock_;

    bool autoOpen_ = false;
    TSerBaudrate baudrate_ = br1200;
    std::int32_t userBaudrate_ = 0;
    TSerParity parity_ = paNone;
    TSerDatabits databits_ = db8;
    TSerStopbits stopbits_ = sb1;
    TSerCommOptions options_;
    std::int32_t portNum_ = 0;
    std::string deviceName_ = "COM%d";
    TSerCommEvents monitorEvents_{ceError, ceRxChar, ceTxEmpty};
    TSerBuffers buffers_;
    TSerEventChars eventChars_;
    TSerFlowControl flowControl_;
    TThreadPriority eventPriority_ = tpNormal;
    TThreadPriority writePriority_ = tpHighest;
    bool directWrite_ = false;
    bool updateDCB_ = true;

    std::uint32_t eventMask_ = 0;
    std::string openPath_;
    bool destroying_ = false;
    bool closing_ = false;
    std::unique_ptr<TSerCommEventThread> eventThread_;
    std::unique_ptr<TSerCommWriteThread> writeThread_;
    // Threads stopped from inside their own hand-off: they end as soon as the
    // step returns and are freed at the next Open or Close.
    std::vector<std::unique_ptr<TSerThread>> retired_;

    // Bytes read from the driver ahead of ReadChar, so that one byte does
    // not cost one system call. Read only under readLock_.
    std::vector<std::uint8_t> readAhead_;
    std::size_t readAheadHead_ = 0;
    std::size_t readAheadTail_ = 0;
};

// The component with its property setters public.
class TSerComm : public TSerCustomComm {
public:
    using TSerCustomComm::TSerCustomComm;
    using TSerCustomComm::SetAutoOpen;
    using TSerCustomComm::SetBaudrate;
    using TSerCustomComm::SetBuffers;
    using TSerCustomComm::SetDatabits;
    using TSerCustomComm::SetDeviceName;
    using TSerCustomComm::SetDirectWrite;
    using TSerCustomComm::SetEventChars;
    using TSerCustomComm::SetEventPriority;
    using TSerCustomComm::SetFlowControl;
    using TSerCustomComm::SetMonitorEvents;
    using TSerCustomComm::SetOptions;
    using TSerCustomComm::SetParity;
    using TSerCustomComm::SetPortNum;
    using TSerCustomComm::SetStopbits;
    using TSerCustomComm::SetUpdateDCB;
    using TSerCustomComm::SetUserBaudrate;
    using TSerCustomComm::SetWritePriority;
};

} // namespace glowkite
