#pragma once
// Value types of the serial component: line settings, options, driver events.
// The driver codes are those of the Win32 comm API, so that a Win32 backend
// can pass them through unchanged; the POSIX backend translates them.

#include <cstdint>
#include <initializer_list>

namespace glowkite {

enum TSerBaudrate : std::uint8_t {
    brUser, br110, br300, br600, br1200, br2400, br4800, br9600, br14400,
    br19200, br38400, br56000, br57600, br115200, br128000, br256000
};

enum TSerParity : std::uint8_t { paNone, paOdd, paEven, paMark, paSpace };

enum TSerDatabits : std::uint8_t { db4, db5, db6, db7, db8 };

enum TSerStopbits : std::uint8_t { sb1, sb15, sb2 };

enum TSerCommOption : std::uint8_t { coErrorChar, coNullStrip, coParityCheck };

enum TSerControlDtr : std::uint8_t { dtrDisabled, dtrEnabled, dtrHandshake };

enum TSerControlRts : std::uint8_t { rtsDisabled, rtsEnabled, rtsHandshake, rtsToggle };

enum TSerCommEvent : std::uint8_t {
    ceBreak, ceCts, ceDsr, ceError, ceRing, ceRlsd, ceRxChar, ceTxEmpty,
    ceRxFlag, cePErr, ceRx80Full, ceEvent1, ceEvent2
};

enum TThreadPriority : std::uint8_t {
    tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical
};

// A small set over an enumeration, one bit per value.
template <typename E>
class TSerSet {
public:
    constexpr TSerSet() = default;
    constexpr TSerSet(std::initializer_list<E> items)
    {
        for (E e : items)
            bits_ |= Bit(e);
    }
    constexpr bool Contains(E e) const { return (bits_ & Bit(e)) != 0; }
    constexpr TSerSet &Include(E e) { bits_ |= Bit(e); return *this; }
    constexpr TSerSet &Exclude(E e) { bits_ &= ~Bit(e); return *this; }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr std::uint32_t Bits() const { return bits_; }
    friend constexpr bool operator==(TSerSet, TSerSet) = default;

private:
    static constexpr std::uint32_t Bit(E e) { return std::uint32_t{1} << static_cast<unsigned>(e); }
    std::uint32_t bits_ = 0;
};

using TSerCommOptions = TSerSet<TSerCommOption>;
using TSerCommEvents = TSerSet<TSerCommEvent>;

// Driver events as reported by a wait for line events.
constexpr std::uint32_t EV_RXCHAR = 0x0001;
constexpr std::uint32_t EV_RXFLAG = 0x0002;
constexpr std::uint32_t EV_TXEMPTY = 0x0004;
constexpr std::uint32_t EV_CTS = 0x0008;
constexpr std::uint32_t EV_DSR = 0x0010;
constexpr std::uint32_t EV_RLSD = 0x0020;
constexpr std::uint32_t EV_BREAK = 0x0040;
constexpr std::uint32_t EV_ERR = 0x0080;
constexpr std::uint32_t EV_RING = 0x0100;
constexpr std::uint32_t EV_PERR = 0x0200;
constexpr std::uint32_t EV_RX80FULL = 0x0400;
constexpr std::uint32_t EV_EVENT1 = 0x0800;
constexpr std::uint32_t EV_EVENT2 = 0x1000;
// Not a driver event: the device went away while open (unplugged adapter,
// far end of a pseudo-terminal closed). Reported once, always monitored.
constexpr std::uint32_t EV_PORTLOST = 0x00010000;

// Line error flags reported by ReadStatistics.
constexpr std::uint32_t CE_RXOVER = 0x0001;
constexpr std::uint32_t CE_OVERRUN = 0x0002;
constexpr std::uint32_t CE_RXPARITY = 0x0004;
constexpr std::uint32_t CE_FRAME = 0x0008;
constexpr std::uint32_t CE_BREAK = 0x0010;

// Line errors the driver counted since the port was opened: TIOCGICOUNT
// deltas on Linux, one per flag of each ClearCommError report on Windows.
// A device without counters (a pseudo-terminal) reports none: Counted false.
struct TSerLineErrors {
    bool Counted = false;
    std::uint64_t Framing = 0, Parity = 0, Overrun = 0, Break = 0;
    std::uint64_t Total() const { return Framing + Parity + Overrun + Break; }
};

// Functions of EscapeCommFunction used by SetDTR and SetRTS.
constexpr int SETRTS = 3;
constexpr int CLRRTS = 4;
constexpr int SETDTR = 5;
constexpr int CLRDTR = 6;

// Bits per second of a fixed rate; 0 for brUser, whose rate is UserBaudrate.
std::uint32_t BaudrateValue(TSerBaudrate rate);

// The driver event of a monitored event (EV_BREAK for ceBreak, ...).
std::uint32_t CommEventValue(TSerCommEvent event);

// All driver events of a set of monitored events, ORed.
std::uint32_t CommEventMask(TSerCommEvents events);

} // namespace glowkite
