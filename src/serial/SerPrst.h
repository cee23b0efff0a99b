#pragma once
// The three settings groups of a serial line: driver buffers and limits,
// special characters, and flow control.

#include "serial/SerClasses.h"
#include "serial/SerTypes.h"

#include <cstdint>

namespace glowkite {

// 0 to 2147483647; a negative value is refused with std::out_of_range.
using TSerIntW = std::int32_t;

class TSerBuffers : public TSerPersistent {
public:
    TSerIntW ReadSize() const { return readSize_; }
    TSerIntW WriteSize() const { return writeSize_; }
    TSerIntW ReadTimeout() const { return readTimeout_; }
    TSerIntW WriteTimeout() const { return writeTimeout_; }
    TSerIntW XonLimit() const { return xonLimit_; }
    TSerIntW XoffLimit() const { return xoffLimit_; }

    // These notify when the value changed.
    void SetReadSize(TSerIntW value);
    void SetWriteSize(TSerIntW value);
    void SetXonLimit(TSerIntW value);
    void SetXoffLimit(TSerIntW value);
    // Plain fields: stored, nobody told.
    void SetReadTimeout(TSerIntW value);
    void SetWriteTimeout(TSerIntW value);

    // Takes every value of source and notifies once.
    void Assign(const TSerBuffers &source);

private:
    void Store(TSerIntW &field, TSerIntW value);

    TSerIntW readSize_ = 4096;
    TSerIntW writeSize_ = 2048;
    TSerIntW readTimeout_ = 1000;
    TSerIntW writeTimeout_ = 1000;
    TSerIntW xonLimit_ = 1024;
    TSerIntW xoffLimit_ = 1024;
};

class TSerEventChars : public TSerPersistent {
public:
    std::uint8_t XonChar() const { return xonChar_; }
    std::uint8_t XoffChar() const { return xoffChar_; }
    std::uint8_t ErrorChar() const { return errorChar_; }
    std::uint8_t EventChar() const { return eventChar_; }
    std::uint8_t EofChar() const { return eofChar_; }

    // Every setter notifies, whether the value changed or not.
    void SetXonChar(std::uint8_t value) { Store(xonChar_, value); }
    void SetXoffChar(std::uint8_t value) { Store(xoffChar_, value); }
    void SetErrorChar(std::uint8_t value) { Store(errorChar_, value); }
    void SetEventChar(std::uint8_t value) { Store(eventChar_, value); }
    void SetEofChar(std::uint8_t value) { Store(eofChar_, value); }

    void Assign(const TSerEventChars &source);

private:
    void Store(std::uint8_t &field, std::uint8_t value);

    std::uint8_t xonChar_ = 0x11;
    std::uint8_t xoffChar_ = 0x13;
    std::uint8_t errorChar_ = 0;
    std::uint8_t eventChar_ = 0;
    std::uint8_t eofChar_ = 0;
};

class TSerFlowControl : public TSerPersistent {
public:
    bool OutCtsFlow() const { return outCtsFlow_; }
    bool OutDsrFlow() const { return outDsrFlow_; }
    TSerControlDtr ControlDtr() const { return controlDtr_; }
    TSerControlRts ControlRts() const { return controlRts_; }
    bool XonXoffOut() const { return xonXoffOut_; }
    bool XonXoffIn() const { return xonXoffIn_; }
    bool DsrSensitivity() const { return dsrSensitivity_; }
    bool TxContinueOnXoff() const { return txContinueOnXoff_; }

    // Every setter notifies when the value changed.
    void SetOutCtsFlow(bool value) { Store(outCtsFlow_, value); }
    void SetOutDsrFlow(bool value) { Store(outDsrFlow_, value); }
    void SetControlDtr(TSerControlDtr value) { Store(controlDtr_, value); }
    void SetControlRts(TSerControlRts value) { Store(controlRts_, value); }
    void SetXonXoffOut(bool value) { Store(xonXoffOut_, value); }
    void SetXonXoffIn(bool value) { Store(xonXoffIn_, value); }
    void SetDsrSensitivity(bool value) { Store(dsrSensitivity_, value); }
    void SetTxContinueOnXoff(bool value) { Store(txContinueOnXoff_, value); }

    void Assign(const TSerFlowControl &source);

private:
    template <typename T>
    void Store(T &field, T value)
    {
        if (field != value) {
            field = value;
            Changed();
        }
    }

    bool outCtsFlow_ = false;
    bool outDsrFlow_ = false;
    TSerControlDtr controlDtr_ = dtrDisabled;
    TSerControlRts controlRts_ = rtsDisabled;
    bool xonXoffOut_ = false;
    bool xonXoffIn_ = false;
    bool dsrSensitivity_ = false;
    bool txContinueOnXoff_ = false;
};

} // namespace glowkite
