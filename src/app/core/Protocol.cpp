#include "app/core/Protocol.h"

namespace glowkite {

const char *const ProtocolPlusMessage =
    "Protokoll glowkite + erkannt \r\nUmgeschaltet auf glowkite + Protokoll";
const char *const ProtocolOldMessage = "Protokoll glowkite erkannt\r\nUmgeschaltet auf glowkite Protokoll";

namespace {

std::int16_t Word(std::uint8_t low, std::uint8_t high)
{
    return static_cast<std::int16_t>(low | (high << 8));
}

// The byte whose two hex digits stand at the 1-based columns col, col + 1.
bool HexAt(std::string_view line, std::size_t col, int &value, std::string &error)
{
    if (line.size() < col + 1) {
        error = "the line ends before column " + std::to_string(col + 1);
        return false;
    }
    const int hi = HexDigitValue(line[col - 1]);
    const int lo = HexDigitValue(line[col]);
    if (hi < 0 || lo < 0) {
        error = "columns " + std::to_string(col) + "-" + std::to_string(col + 1) + " hold \"" +
                std::string(line.substr(col - 1, 2)) + "\", not a hexadecimal byte";
        return false;
    }
    value = hi * 16 + lo;
    return true;
}

// Whether a stored line holds the mark of the old generation (upper case,
// as the program writes it).
bool StoredOldMark(std::string_view line)
{
    const std::size_t col = StoredColumn(GlowkiteLayout.mark);
    return line.size() >= col + 1 && line[col - 1] == HexDigits[FrameMark >> 4] &&
           line[col] == HexDigits[FrameMark & 0x0F];
}

} // namespace

TFrameValues TProtocol::Values(TFrameWindow w) const
{
    const TFrameLayout &l = Layout();
    return {w[l.aq], w[l.flags], Word(w[l.xLow], w[l.xLow + 1]), Word(w[l.yLow], w[l.yLow + 1]), w[l.gain]};
}

TFrameValues FrameValues(TFrameWindow window, bool glowkiteVersion)
{
    return TProtocol::FromGlowkiteVersion(glowkiteVersion).Values(window);
}

long double ScalePosition(std::int16_t raw, bool glowkiteVersion)
{
    return static_cast<long double>(raw) / TProtocol::FromGlowkiteVersion(glowkiteVersion).Layout().positionUnits *
           5.0L;
}

std::string ByteToHex(std::uint8_t b)
{
    std::string s;
    AppendHex(s, b);
    return s;
}

std::string RxLine(std::string_view dateTime, std::span<const std::uint8_t> frame)
{
    std::string line;
    line.reserve(dateTime.size() + RxTag.size() + 3 * frame.size());
    line.append(dateTime);
    line += RxTag;
    for (std::uint8_t b : frame) {
        AppendHex(line, b);
        line += ' ';
    }
    return line;
}

bool ParseStoredLine(std::string_view line, TStoredFrame &frame, std::string &error)
{
    frame.label = line.substr(0, LabelLength);
    frame.glowkiteVersion = StoredOldMark(line);
    const TFrameLayout &l = TProtocol::FromGlowkiteVersion(frame.glowkiteVersion).Layout();
    int aq, flags, gain, xLow, xHigh, yLow, yHigh;
    if (!HexAt(line, StoredColumn(l.aq), aq, error) || !HexAt(line, StoredColumn(l.flags), flags, error) ||
        !HexAt(line, StoredColumn(l.gain), gain, error) || !HexAt(line, StoredColumn(l.xLow + 1), xHigh, error) ||
        !HexAt(line, StoredColumn(l.xLow), xLow, error) || !HexAt(line, StoredColumn(l.yLow + 1), yHigh, error) ||
        !HexAt(line, StoredColumn(l.yLow), yLow, error))
        return false;
    frame.aq = static_cast<std::int16_t>(aq);
    frame.flags = static_cast<std::int16_t>(flags);
    frame.gain = static_cast<std::int16_t>(gain);
    frame.x = Word(static_cast<std::uint8_t>(xLow), static_cast<std::uint8_t>(xHigh));
    frame.y = Word(static_cast<std::uint8_t>(yLow), static_cast<std::uint8_t>(yHigh));
    return true;
}

std::string StatusLine(std::string_view dateTime, std::uint8_t flags, std::string_view words)
{
    std::string line;
    line.reserve(dateTime.size() + 7 + words.size());
    line.append(dateTime);
    line += "  ";
    AppendHex(line, flags);
    line += "   ";
    line += words;
    return line;
}

} // namespace glowkite
