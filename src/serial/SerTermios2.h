#pragma once
// Linux line settings through termios2, which takes any integer rate
// (BOTHER), 35710 baud included. <asm/termbits.h> clashes with <termios.h>,
// so only SerTermios2.cpp includes it; this header mirrors struct termios2
// with plain integers and is safe to include anywhere.

#include "serial/SerDCB.h"

#include <cstdint>

namespace glowkite {

struct TSerTermios2 {
    std::uint32_t c_iflag = 0;
    std::uint32_t c_oflag = 0;
    std::uint32_t c_cflag = 0;
    std::uint32_t c_lflag = 0;
    std::uint8_t c_line = 0;
    std::uint8_t c_cc[19] = {};
    std::uint32_t c_ispeed = 0;
    std::uint32_t c_ospeed = 0;
};

// What applying a block does to a modem line that termios does not drive.
enum class TSerModemLine : std::uint8_t { Keep, Raise, Drop };

struct TSerLineSetup {
    TSerTermios2 Termios;
    TSerModemLine Dtr = TSerModemLine::Keep;
    TSerModemLine Rts = TSerModemLine::Keep;
    int Error = 0; // 0, or EINVAL for a block Linux cannot represent
};

// Translates a control block into the settings of a port that currently has
// `current`: raw mode (no echo, no line editing, no character translation),
// receiver on, modem status ignored (CLOCAL), reads that return as soon as one
// byte is there, and:
// - any rate above 0 through BOTHER, input and output alike; rate 0 is
//   refused (EINVAL): on Linux it would hang up the line;
// - 5 to 8 data bits; 4 has no Linux counterpart and is refused (EINVAL)
//   rather than silently sent as 5;
// - parity none, odd, even, and mark/space through CMSPAR; fParity turns on
//   input parity checking (INPCK; a byte with a parity error reads as 0);
// - one stop bit, or two (CSTOPB) for both 1.5 and 2: a UART sends 1.5 stop
//   bits when asked for two with 5 data bits, as Win32 drivers require;
// - CTS/RTS flow (CRTSCTS) for fOutxCtsFlow or RTS handshake, Xon/Xoff for
//   fOutX (IXON) and fInX (IXOFF) with XonChar/XoffChar; no flow otherwise;
// - DTR and RTS are dropped for "disabled" and raised for "enabled" after
//   the settings are applied, as the Win32 driver does; DTR handshake and RTS
//   toggle have no termios counterpart and leave the line as it is.
// Dropped for want of a counterpart: DSR flow and sensitivity, continue on
// Xoff, the error-character replacement, null stripping, the Xon/Xoff limits,
// the event and end-of-file characters.
TSerLineSetup TranslateDCB(const TSerDCB &dcb, const TSerTermios2 &current);

// The settings of a port in plain terms, for checks and diagnostics.
struct TSerLineState {
    std::uint32_t Baudrate = 0; // output rate
    int Databits = 0;
    char Parity = 'N';          // N, O, E, M, S
    int Stopbits = 1;           // 1 or 2
    bool RtsCts = false;
    bool XonXoffOut = false;
    bool XonXoffIn = false;
    bool Raw = false;           // no line editing, echo, signals or translation
    bool Receiver = false;      // CREAD and CLOCAL
    bool ParityCheck = false;
};
TSerLineState DescribeTermios2(const TSerTermios2 &t);

// TCGETS2 and TCSETS2 on an open tty; 0 or the errno of the failed call.
int GetTermios2(int fd, TSerTermios2 &t);
int SetTermios2(int fd, const TSerTermios2 &t);

} // namespace glowkite
