#include "serial/SerPrst.h"

#include <stdexcept>
#include <string>

namespace glowkite {

namespace {

// Copies a whole group inside one update, so the owner hears of it once,
// also when a notification throws (the counter is lowered all the same).
template <typename Group, typename CopyValues>
void AssignGroup(Group &target, CopyValues copyValues)
{
    target.BeginUpdate();
    try {
        copyValues();
    } catch (...) {
        target.EndUpdate();
        throw;
    }
    target.EndUpdate();
}

void CheckNotNegative(TSerIntW value)
{
    if (value < 0)
        throw std::out_of_range("Buffer value " + std::to_string(value) + " is negative");
}

} // namespace

void TSerBuffers::Store(TSerIntW &field, TSerIntW value)
{
    CheckNotNegative(value);
    if (field != value) {
        field = value;
        Changed();
    }
}

void TSerBuffers::SetReadSize(TSerIntW value) { Store(readSize_, value); }
void TSerBuffers::SetWriteSize(TSerIntW value) { Store(writeSize_, value); }
void TSerBuffers::SetXonLimit(TSerIntW value) { Store(xonLimit_, value); }
void TSerBuffers::SetXoffLimit(TSerIntW value) { Store(xoffLimit_, value); }

void TSerBuffers::SetReadTimeout(TSerIntW value)
{
    CheckNotNegative(value);
    readTimeout_ = value;
}

void TSerBuffers::SetWriteTimeout(TSerIntW value)
{
    CheckNotNegative(value);
    writeTimeout_ = value;
}

void TSerBuffers::Assign(const TSerBuffers &source)
{
    AssignGroup(*this, [&] {
        SetReadSize(source.readSize_);
        SetWriteSize(source.writeSize_);
        SetReadTimeout(source.readTimeout_);
        SetWriteTimeout(source.writeTimeout_);
        SetXonLimit(source.xonLimit_);
        SetXoffLimit(source.xoffLimit_);
    });
}

void TSerEventChars::Store(std::uint8_t &field, std::uint8_t value)
{
    field = value;
    Changed();
}

void TSerEventChars::Assign(const TSerEventChars &source)
{
    AssignGroup(*this, [&] {
        SetXonChar(source.xonChar_);
        SetXoffChar(source.xoffChar_);
        SetErrorChar(source.errorChar_);
        SetEventChar(source.eventChar_);
        SetEofChar(source.eofChar_);
    });
}

void TSerFlowControl::Assign(const TSerFlowControl &source)
{
    AssignGroup(*this, [&] {
        SetOutCtsFlow(source.outCtsFlow_);
        SetOutDsrFlow(source.outDsrFlow_);
        SetControlDtr(source.controlDtr_);
        SetControlRts(source.controlRts_);
        SetXonXoffOut(source.xonXoffOut_);
        SetXonXoffIn(source.xonXoffIn_);
        SetDsrSensitivity(source.dsrSensitivity_);
        SetTxContinueOnXoff(source.txContinueOnXoff_);
    });
}

} // namespace glowkite
