#pragma once
// The detector's frame format, in one place: the 25-byte frame windows of
// the two protocol generations, the "RX: " line a frame becomes, and the
// columns at which a stored line (a line of a day file, which is that RX
// line) and a status line hold their fields.

#include "base/Hex.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace glowkite {

inline constexpr std::size_t FrameSize = 25;
// Every frame starts with FrameStart FrameMark; a second FrameMark at the
// generation's mark offset tells which generation sent it.
inline constexpr std::uint8_t FrameStart = 0x00;
inline constexpr std::uint8_t FrameMark = 0xA1;

using TFrameWindow = std::span<const std::uint8_t, FrameSize>;

// Where a generation keeps its values: single bytes at aq, flags and gain,
// the positions as little-endian 16-bit words from xLow and yLow, in raw
// units of which positionUnits make 5 on the chart.
struct TFrameLayout {
    std::size_t mark, aq, flags, gain, xLow, yLow;
    long double positionUnits;
};
// "glowkite +" keeps its values from the contamination on one byte later.
inline constexpr TFrameLayout GlowkiteLayout{17, 2, 3, 5, 9, 11, 400.0L};
inline constexpr TFrameLayout GlowkitePlusLayout{19, 2, 3, 6, 10, 12, 115.0L};

// The measured values of a frame window.
struct TFrameValues {
    std::int16_t aq, flags, x, y, gain;
};

extern const char *const ProtocolPlusMessage; // switched to "glowkite +"
extern const char *const ProtocolOldMessage;  // switched to "glowkite"

// One of the two protocol generations: "glowkite", the old one (what the
// settings call GlowkiteVersion), or "glowkite +".
class TProtocol {
public:
    static constexpr TProtocol FromGlowkiteVersion(bool glowkiteVersion) { return TProtocol(glowkiteVersion); }
    static constexpr TProtocol Glowkite() { return TProtocol(true); }
    static constexpr TProtocol GlowkitePlus() { return TProtocol(false); }

    constexpr bool GlowkiteVersion() const { return old_; }
    constexpr TProtocol Other() const { return TProtocol(!old_); }
    constexpr const TFrameLayout &Layout() const { return old_ ? GlowkiteLayout : GlowkitePlusLayout; }
    constexpr const char *Name() const { return old_ ? "glowkite" : "glowkite +"; }
    // The warning shown when the receiver switches to this generation.
    const char *SwitchMessage() const { return old_ ? ProtocolOldMessage : ProtocolPlusMessage; }

    // Whether the bytes hold this generation's second mark.
    constexpr bool MarkedIn(std::span<const std::uint8_t> bytes) const
    {
        return bytes.size() > Layout().mark && bytes[Layout().mark] == FrameMark;
    }
    TFrameValues Values(TFrameWindow window) const;

    constexpr bool operator==(const TProtocol &) const = default;

private:
    constexpr explicit TProtocol(bool old) : old_(old) {}
    bool old_;
};

// The values of a frame window by the layout of a protocol.
TFrameValues FrameValues(TFrameWindow window, bool glowkiteVersion);

// The scaled position of a raw 16-bit value: x / 400 * 5 in the old
// protocol, x / 115 * 5 in "glowkite +".
long double ScalePosition(std::int16_t raw, bool glowkiteVersion);

// One byte as two upper-case hexadecimal digits ("0A" for 0x0A).
std::string ByteToHex(std::uint8_t b);

// The date-time text "dd.mm.yyyy hh:nn:ss" that starts every line.
inline constexpr std::size_t LabelLength = 19;
inline constexpr std::string_view RxTag = "  RX: ";

// The RX line of a frame: "dd.mm.yyyy hh:nn:ss  RX: " and each byte as two
// hex digits and a blank; 100 characters for a 25-byte frame.
std::string RxLine(std::string_view dateTime, std::span<const std::uint8_t> frame);

// The 1-based column of the first hex digit of byte k of a stored line.
constexpr std::size_t StoredColumn(std::size_t k) { return LabelLength + RxTag.size() + 1 + 3 * k; }

// The values of one stored line.
struct TStoredFrame {
    std::string_view label;  // columns 1-19
    bool glowkiteVersion;    // "A1" at the old generation's mark (columns 77-78)
    std::int16_t aq, flags, x, y, gain;
};

// Takes the values out of a stored line by column. On a line that does not
// hold two hexadecimal digits at one of the columns it needs, returns false
// and says in error which column holds what.
bool ParseStoredLine(std::string_view line, TStoredFrame &frame, std::string &error);

// A status line: the date-time text, the status byte in hex, the status
// words (Windows-1252) from StatusWordsColumn on (0-based).
std::string StatusLine(std::string_view dateTime, std::uint8_t flags, std::string_view words);
inline constexpr std::size_t StatusWordsColumn = LabelLength + 2 + 2 + 3;

} // namespace glowkite
