#include "serial/SerComm.h"

#include "serial/SerDCB.h"
#include "serial/SerNet.h"
#include "serial/SerThreads.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

namespace glowkite {

std::string ExceptionMessage(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception &e) {
        return e.what();
    } catch (...) {
        return "Unknown exception";
    }
}

std::string FormatPattern(const std::string &pattern, std::initializer_list<std::string> args)
{
    std::string out;
    auto next = args.begin();
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (c == '%' && i + 1 < pattern.size()) {
            const char conversion = pattern[i + 1];
            if (conversion == '%') {
                out += '%';
                ++i;
                continue;
            }
            if ((conversion == 'd' || conversion == 's') && next != args.end()) {
                out += *next++;
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

TSerCustomComm::TSerCustomComm(std::shared_ptr<TSerHandOff> handOff)
    : deviceBackend_(TSerBackend::Create()), backend_(deviceBackend_.get()),
      handOff_(handOff ? std::move(handOff) : std::make_shared<TSerHandOffQueue>())
{
    buffers_.SetOnChange([this](TSerPersistent &) {
        CheckClosed();
        InitBuffers();
        WriteDCB();
    });
    eventChars_.SetOnChange([this](TSerPersistent &) { WriteDCB(); });
    flowControl_.SetOnChange([this](TSerPersistent &) { WriteDCB(); });
}

TSerCustomComm::~TSerCustomComm()
{
    destroying_ = true;
    try {
        Close();
    } catch (...) {
        // Nothing is left to tell the owner about a port it no longer has.
    }
    ReapRetired(true);
}

void TSerCustomComm::CheckClosed() const
{
    if (Active())
        throw ESerCommError("Can't perform this operation while port is open");
}

bool TSerCustomComm::Active() const
{
    return backend_->IsOpen();
}

bool TSerCustomComm::PortLost() const
{
    return Active() && backend_->Lost();
}

std::string TSerCustomComm::DevicePath() const
{
    const std::string name = FormatPattern(deviceName_, {std::to_string(portNum_)});
    return IsNetworkPortName(name) ? name : deviceBackend_->DevicePath(name);
}

void TSerCustomComm::RaiseCommError(const std::string &pattern) const
{
    const int code = backend_->LastError();
    throw ESerCommError(FormatPattern(pattern, {std::to_string(code), backend_->ErrorText(code)}));
}

void TSerCustomComm::ShowException(std::exception_ptr error) const
{
    if (ExceptionDisplay) {
        try {
            ExceptionDisplay(error);
            return;
        } catch (...) {
            // A display that fails falls back to stderr.
        }
    }
    std::fprintf(stderr, "%s\n", ExceptionMessage(error).c_str());
}

template <typename Handler, typename... Args>
void TSerCustomComm::Trigger(const Handler &handler, Args &&...args)
{
    if (!handler)
        return;
    try {
        handler(*this, std::forward<Args>(args)...);
    } catch (...) {
        ShowException(std::current_exception());
    }
}

void TSerCustomComm::Loaded()
{
    if (autoOpen_)
        Open();
}

void TSerCustomComm::Open()
{
    CheckClosed();
    ReapRetired(false);
    CreateHandle();
    try {
        WriteDCB();
        InitBuffers();
        SetTimeouts();
        SetEventMask();
        readAhead_.assign(static_cast<std::size_t>(std::clamp(buffers_.ReadSize(), 64, 65536)), 0);
        readAheadHead_ = readAheadTail_ = 0;
        CreateThreads();
    } catch (...) {
        {
            std::lock_guard lock(readLock_);
            DestroyThreads();
        }
        backend_->Close();
        throw;
    }
    Trigger(OnOpen);
}

void TSerCustomComm::CreateHandle()
{
    openPath_ = DevicePath();
    if (IsNetworkPortName(openPath_)) {
        if (!netBackend_)
            netBackend_ = TSerBackend::CreateNet();
        backend_ = netBackend_.get();
    } else {
        backend_ = deviceBackend_.get();
    }
    backend_->SetNetTimeout(NetTimeout);
    backend_->SetCancelCheck(OpenCancelled);
    if (backend_->Open(openPath_))
        return;
    const int code = backend_->LastError();
    if (backend_->IsNotFound(code))
        throw ESerCommError(FormatPattern("Specified device not found (%s).", {openPath_}));
    throw ESerCommError(FormatPattern("Can't open specified device %s (Error %d, %s)",
                                      {openPath_, std::to_string(code), backend_->ErrorText(code)}));
}

void TSerCustomComm::WriteDCB()
{
    if (!Active() || !updateDCB_)
        return;
    const TSerDCB dcb = BuildDCB(baudrate_, userBaudrate_, databits_, parity_, stopbits_, options_, buffers_,
                                 eventChars_, flowControl_);
    if (!backend_->ApplyDCB(dcb))
        RaiseCommError("Error writing dcb (%d), %s");
}

void TSerCustomComm::InitBuffers()
{
    if (Active() && !backend_->SetQueueSizes(static_cast<std::uint32_t>(buffers_.ReadSize()),
                                             static_cast<std::uint32_t>(buffers_.WriteSize())))
        RaiseCommError("Error initializing buffers (%d), %s");
}

void TSerCustomComm::SetTimeouts()
{
    if (!backend_->SetImmediateReads())
        RaiseCommError("Error setting timeouts (%d), %s");
}

void TSerCustomComm::SetEventMask()
{
    std::uint32_t mask = CommEventMask(monitorEvents_);
    // The write thread reports the end of a transmission itself.
    if (!directWrite_)
        mask &= ~EV_TXEMPTY;
    eventMask_ = mask;
    if (!backend_->SetEventMask(mask))
        RaiseCommError(" Error setting EventMask (%d), %s");
}

void TSerCustomComm::CreateThreads()
{
    if (eventMask_ != 0) {
        eventThread_ = std::make_unique<TSerCommEventThread>(*this);
        eventThread_->SetPriority(eventPriority_);
        eventThread_->Start();
    }
    if (!directWrite_) {
        writeThread_ = std::make_unique<TSerCommWriteThread>(*this);
        writeThread_->SetPriority(writePriority_);
        writeThread_->Start();
    }
}

void TSerCustomComm::Close()
{
    if (!Active() || closing_)
        return;
    closing_ = true;
    try {
        std::lock_guard lock(readLock_);
        DestroyThreads();
    } catch (...) {
        closing_ = false;
        throw;
    }
    backend_->Close();
    readAheadHead_ = readAheadTail_ = 0;
    closing_ = false;
    if (OnClose && !destroying_)
        OnClose(*this);
    std::this_thread::sleep_for(ClosePause);
}

void TSerCustomComm::DestroyThreads()
{
    if (eventThread_) {
        eventThread_->Stop();
        RetireOrWait(std::move(eventThread_));
    }
    if (writeThread_) {
        writeThread_->SignalClose();
        RetireOrWait(std::move(writeThread_));
    }
}

// A thread whose hand-off the owner thread is running right now (Close from
// inside an event handler) cannot end before that handler returns: waiting
// for it would deadlock. It has been told to end and touches the port no
// more, so it is kept aside and freed later.
void TSerCustomComm::RetireOrWait(std::unique_ptr<TSerThread> thread)
{
    if (thread->ServingHandOff()) {
        retired_.push_back(std::move(thread));
        return;
    }
    if (handOff_->IsOwnerThread())
        handOff_->WaitServing(thread->EndedEvent());
    else
        thread->EndedEvent().WaitFor(-1);
    thread->Join();
}

void TSerCustomComm::ReapRetired(bool wait)
{
    for (auto it = retired_.begin(); it != retired_.end();) {
        TSerThread &thread = **it;
        if (wait && !thread.ServingHandOff() && handOff_->IsOwnerThread())
            handOff_->WaitServing(thread.EndedEvent());
        if (thread.EndedEvent().IsSet()) {
            thread.Join();
            it = retired_.erase(it);
        } else {
            ++it;
        }
    }
}

int TSerCustomComm::ReadBuf(void *buffer, int count)
{
    if (!Active() || count <= 0)
        return 0;
    std::lock_guard lock(readLock_);
    auto *out = static_cast<std::uint8_t *>(buffer);
    const auto wanted = static_cast<std::size_t>(count);
    std::size_t copied = std::min(wanted, readAheadTail_ - readAheadHead_);
    std::memcpy(out, readAhead_.data() + readAheadHead_, copied);
    readAheadHead_ += copied;
    if (copied == wanted)
        return count;

    std::size_t got = 0;
    const std::size_t rest = wanted - copied;
    if (rest >= readAhead_.size()) {
        if (!backend_->Read(out + copied, rest, got, buffers_.ReadTimeout()))
            RaiseCommError("Read error (%d), %s");
        return static_cast<int>(copied + got);
    }
    if (!backend_->Read(readAhead_.data(), readAhead_.size(), got, buffers_.ReadTimeout()))
        RaiseCommError("Read error (%d), %s");
    readAheadHead_ = 0;
    readAheadTail_ = got;
    const std::size_t more = std::min(rest, got);
    std::memcpy(out + copied, readAhead_.data(), more);
    readAheadHead_ = more;
    return static_cast<int>(copied + more);
}

bool TSerCustomComm::ReadChar(std::uint8_t &ch)
{
    std::lock_guard lock(readLock_);
    if (readAheadHead_ < readAheadTail_) {
        ch = readAhead_[readAheadHead_++];
        return true;
    }
    return ReadBuf(&ch, 1) == 1;
}

TSerCommStatus TSerCustomComm::ReadStatistics()
{
    std::lock_guard lock(readLock_);
    TSerCommStatus status;
    if (Active()) {
        if (!backend_->Statistics(status))
            RaiseCommError("Error retrieving statistics (%d), %s");
        status.InQueue += static_cast<std::uint32_t>(readAheadTail_ - readAheadHead_);
    }
    return status;
}

TSerLineErrors TSerCustomComm::LineErrors()
{
    std::lock_guard lock(readLock_);
    return Active() ? backend_->LineErrors() : TSerLineErrors{};
}

int TSerCustomComm::ReadBufUsed()
{
    if (!Active())
        return 0;
    return static_cast<int>(ReadStatistics().InQueue);
}

int TSerCustomComm::WriteBuf(const void *data, int count)
{
    if (!Active() || count <= 0)
        return 0;
    if (writeThread_)
        return static_cast<int>(writeThread_->Write(data, static_cast<std::size_t>(count)));
    if (!directWrite_)
        return 0;
    std::size_t written = 0;
    switch (backend_->StartWrite(data, static_cast<std::size_t>(count), written)) {
    case TSerWriteOutcome::Failed: RaiseCommError("Write error (%d), %s");
    case TSerWriteOutcome::InFlight: return count;
    default: return static_cast<int>(written);
    }
}

void TSerCustomComm::SetDTR(bool on)
{
    if (flowControl_.ControlDtr() == dtrHandshake)
        throw ESerCommError("DTR line updates not allowed when flowcontrol is set to Handshake.");
    if (Active() && !backend_->Escape(on ? SETDTR : CLRDTR))
        RaiseCommError("Error calling comm function (%d), %s");
}

void TSerCustomComm::SetRTS(bool on)
{
    if (flowControl_.ControlRts() == rtsHandshake || flowControl_.ControlRts() == rtsToggle)
        throw ESerCommError("RTS line updates not allowed when flowcontrol is set to Handshake or Toggle.");
    if (Active() && !backend_->Escape(on ? SETRTS : CLRRTS))
        RaiseCommError("Error calling comm function (%d), %s");
}

void TSerCustomComm::HandleRxChar()
{
    const int n = ReadBufUsed();
    if (n > 0 && OnRxChar)
        OnRxChar(*this, n);
}

void TSerCustomComm::HandleEvents(std::uint32_t mask)
{
    if (mask & EV_ERR) {
        try {
            const TSerCommStatus status = ReadStatistics();
            if (status.Errors)
                Trigger(OnError, static_cast<int>(status.Errors));
        } catch (...) {
            ShowException(std::current_exception());
        }
    }
    const std::pair<std::uint32_t, TSerNotifyEvent TSerCustomComm::*> notifications[] = {
        {EV_RXFLAG, &TSerCustomComm::OnRxFlag}, {EV_CTS, &TSerCustomComm::OnCts},
        {EV_DSR, &TSerCustomComm::OnDsr},       {EV_RING, &TSerCustomComm::OnRing},
        {EV_RLSD, &TSerCustomComm::OnRlsd},     {EV_TXEMPTY, &TSerCustomComm::OnTxEmpty},
        {EV_BREAK, &TSerCustomComm::OnBreak},   {EV_PERR, &TSerCustomComm::OnPErr},
        {EV_RX80FULL, &TSerCustomComm::OnRx80Full}, {EV_EVENT1, &TSerCustomComm::OnEvent1},
        {EV_EVENT2, &TSerCustomComm::OnEvent2}};
    for (const auto &[bit, handler] : notifications)
        if (mask & bit)
            Trigger(this->*handler);
    if (mask & EV_PORTLOST)
        Trigger(OnPortLost, FormatPattern("Connection to device %s lost.", {openPath_}));
}

void TSerCustomComm::SetHandOff(std::shared_ptr<TSerHandOff> handOff)
{
    CheckClosed();
    if (handOff)
        handOff_ = std::move(handOff);
}

template <typename T>
void TSerCustomComm::StoreLineSetting(T &field, T value)
{
    if (value != field) {
        field = value;
        WriteDCB();
    }
}

void TSerCustomComm::SetBaudrate(TSerBaudrate value)
{
    if (value == baudrate_)
        return;
    baudrate_ = value;
    if (value != brUser)
        userBaudrate_ = 0;
    WriteDCB();
}

void TSerCustomComm::SetUserBaudrate(std::int32_t value)
{
    if (value == userBaudrate_)
        return;
    userBaudrate_ = value;
    baudrate_ = brUser;
    WriteDCB();
}

void TSerCustomComm::SetParity(TSerParity value)
{
    StoreLineSetting(parity_, value);
}

void TSerCustomComm::SetDatabits(TSerDatabits value)
{
    StoreLineSetting(databits_, value);
}

void TSerCustomComm::SetStopbits(TSerStopbits value)
{
    StoreLineSetting(stopbits_, value);
}

void TSerCustomComm::SetOptions(TSerCommOptions value)
{
    StoreLineSetting(options_, value);
}

void TSerCustomComm::SetBuffers(const TSerBuffers &value)
{
    CheckClosed();
    buffers_.Assign(value);
}

void TSerCustomComm::SetPortNum(std::int32_t value)
{
    CheckClosed();
    if (value < 0)
        throw ESerCommError("Port number " + std::to_string(value) + " is negative");
    portNum_ = value;
}

void TSerCustomComm::SetDeviceName(const std::string &value)
{
    CheckClosed();
    deviceName_ = value;
}

void TSerCustomComm::SetMonitorEvents(TSerCommEvents value)
{
    CheckClosed();
    monitorEvents_ = value;
}

void TSerCustomComm::SetEventPriority(TThreadPriority value)
{
    if (value == eventPriority_)
        return;
    eventPriority_ = value;
    if (eventThread_)
        eventThread_->SetPriority(value);
}

void TSerCustomComm::SetWritePriority(TThreadPriority value)
{
    if (value == writePriority_)
        return;
    writePriority_ = value;
    if (writeThread_)
        writeThread_->SetPriority(value);
}

void TSerCustomComm::SetDirectWrite(bool value)
{
    CheckClosed();
    directWrite_ = value;
}

void TSerCustomComm::SetUpdateDCB(bool value)
{
    CheckClosed();
    updateDCB_ = value;
}

} // namespace glowkite
