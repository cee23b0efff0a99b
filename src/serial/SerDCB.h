#pragma once
// The device control block: a complete set of line settings in the layout of
// the Win32 DCB, so that a Win32 backend can hand it to SetCommState as it is
// (after filling in DCBlength) and the POSIX backend translates it.

#include "serial/SerPrst.h"
#include "serial/SerTypes.h"

#include <cstdint>

namespace glowkite {

struct TSerDCB {
    std::uint32_t DCBlength = 0;
    std::uint32_t BaudRate = 0;
    std::uint32_t Flags = 0; // the DCB_f* bits below
    std::uint16_t wReserved = 0;
    std::uint16_t XonLim = 0;
    std::uint16_t XoffLim = 0;
    std::uint8_t ByteSize = 0;
    std::uint8_t Parity = 0;   // 0..4: none, odd, even, mark, space
    std::uint8_t StopBits = 0; // 0, 1, 2: one, one and a half, two
    std::uint8_t XonChar = 0;
    std::uint8_t XoffChar = 0;
    std::uint8_t ErrorChar = 0;
    std::uint8_t EofChar = 0;
    std::uint8_t EvtChar = 0;
    std::uint16_t wReserved1 = 0;
};
static_assert(sizeof(TSerDCB) == 28, "TSerDCB must keep the size of the Win32 DCB");

constexpr std::uint32_t DCB_fBinary = 0x0001;
constexpr std::uint32_t DCB_fParity = 0x0002;
constexpr std::uint32_t DCB_fOutxCtsFlow = 0x0004;
constexpr std::uint32_t DCB_fOutxDsrFlow = 0x0008;
constexpr std::uint32_t DCB_fDtrControlMask = 0x0030;
constexpr std::uint32_t DCB_DTR_CONTROL_ENABLE = 0x0010;
constexpr std::uint32_t DCB_DTR_CONTROL_HANDSHAKE = 0x0020;
constexpr std::uint32_t DCB_fDsrSensitivity = 0x0040;
constexpr std::uint32_t DCB_fTXContinueOnXoff = 0x0080;
constexpr std::uint32_t DCB_fOutX = 0x0100;
constexpr std::uint32_t DCB_fInX = 0x0200;
constexpr std::uint32_t DCB_fErrorChar = 0x0400;
constexpr std::uint32_t DCB_fNull = 0x0800;
constexpr std::uint32_t DCB_fRtsControlMask = 0x3000;
constexpr std::uint32_t DCB_RTS_CONTROL_ENABLE = 0x1000;
constexpr std::uint32_t DCB_RTS_CONTROL_HANDSHAKE = 0x2000;
constexpr std::uint32_t DCB_RTS_CONTROL_TOGGLE = 0x3000;

TSerDCB BuildDCB(TSerBaudrate baudrate, std::int32_t userBaudrate, TSerDatabits databits,
                 TSerParity parity, TSerStopbits stopbits, TSerCommOptions options,
                 const TSerBuffers &buffers, const TSerEventChars &eventChars,
                 const TSerFlowControl &flowControl);

} // namespace glowkite
