// The replay of a day file with arbitrary content.
//
// Input: the content of the day file.
//
// Checked for each line, parsed from a heap block of exactly its length (so
// a read outside the line is an address sanitizer finding): it gives the
// values at the columns of a stored frame when those hold hexadecimal
// digits, and otherwise an error that names the columns. For the whole file:
// the replay decodes every good line, shows exactly those in the data pane,
// skips the bad ones (and those longer than the cap) and reports them in one
// warning that names the file, the count and the first bad line's number;
// the progress dialog is shown and hidden once.

#include "FuzzSupport.h"

#include "app/core/DayReplay.h"
#include "app/core/MemoryView.h"

#include <charconv>
#include <memory>
#include <optional>
#include <vector>

using namespace glowkite;
using glowkite::fuzz::Escaped;

namespace {

struct Events : IReplayEvents {
    int switches = 0, begun = 0, ended = 0;
    std::vector<std::string> warnings;
    void ShowProtocol() override {}
    void ProtocolSwitched(std::string_view) override { ++switches; }
    void FrameFailed(std::string_view m) override { FUZZ_CHECK(false, "frame failed: " + std::string(m)); }
    void Warning(std::string_view m) override { warnings.emplace_back(m); }
    void BeginProgress(std::string_view, std::int64_t maximum) override
    {
        FUZZ_CHECK(maximum >= 0, "negative progress maximum");
        ++begun;
    }
    void Progress(std::int64_t) override {}
    void EndProgress() override { ++ended; }
};

// Byte k of the stored frame, written at the 1-based columns 26 + 3k and
// 27 + 3k; nothing when the line does not hold two hex digits there.
std::optional<int> StoredByte(std::string_view line, std::size_t k)
{
    const std::size_t first = 25 + 3 * k; // 0-based
    if (line.size() < first + 2)
        return std::nullopt;
    unsigned value = 0;
    const char *end = line.data() + first + 2;
    if (std::from_chars(line.data() + first, end, value, 16).ptr != end)
        return std::nullopt;
    return static_cast<int>(value);
}

// Lines as the day file reader splits them: at CR LF, LF or CR, after a
// byte-order mark; a last line without a line end counts.
std::vector<std::string_view> Lines(std::string_view text)
{
    std::vector<std::string_view> lines;
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    while (!text.empty()) {
        const std::size_t end = text.find_first_of("\r\n");
        lines.push_back(text.substr(0, end));
        if (end == std::string_view::npos)
            break;
        const bool crlf = text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n';
        text.remove_prefix(end + (crlf ? 2 : 1));
    }
    return lines;
}

// Parses one line and checks the result; true when the line is good.
bool CheckLine(std::string_view text)
{
    const std::unique_ptr<char[]> copy(new char[text.size()]);
    std::copy(text.begin(), text.end(), copy.get());
    const std::string_view line(copy.get(), text.size());

    TStoredFrame frame{};
    std::string error;
    const bool ok = ParseStoredLine(line, frame, error);

    const bool old = line.size() >= 78 && line.substr(76, 2) == "A1";
    const std::size_t shift = old ? 0 : 1;
    const auto aq = StoredByte(line, 2), flags = StoredByte(line, 3), gain = StoredByte(line, 5 + shift);
    const auto xLow = StoredByte(line, 9 + shift), xHigh = StoredByte(line, 10 + shift);
    const auto yLow = StoredByte(line, 11 + shift), yHigh = StoredByte(line, 12 + shift);
    const bool expected = aq && flags && gain && xLow && xHigh && yLow && yHigh;
    FUZZ_CHECK(ok == expected, std::string(ok ? "accepted" : "refused") + " line: " + Escaped(text));
    if (!ok) {
        FUZZ_CHECK(!error.empty() && error.find("column") != std::string::npos,
                   "error does not name the column: " + error);
        return false;
    }
    FUZZ_CHECK(frame.label.data() == line.data() && frame.label.size() == std::min<std::size_t>(19, line.size()),
               "label is not columns 1-19 of the line");
    FUZZ_CHECK(frame.glowkiteVersion == old, "protocol not taken from columns 77-78: " + Escaped(text));
    FUZZ_CHECK(frame.aq == *aq && frame.flags == *flags && frame.gain == *gain &&
                   frame.x == static_cast<std::int16_t>(*xHigh << 8 | *xLow) &&
                   frame.y == static_cast<std::int16_t>(*yHigh << 8 | *yLow),
               "values not taken from their columns: " + Escaped(text));
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const fuzz::TMemFile file;
    const std::string_view content(reinterpret_cast<const char *>(data), size);

    const std::vector<std::string_view> lines = Lines(content);
    std::vector<std::string_view> good;
    std::size_t firstBad = 0, bad = 0;
    int switches = 0;
    bool version = false; // "glowkite +" in force before the replay
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view l = lines[i];
        if (!CheckLine(l) || l.size() > MaxStoredLineLength) {
            firstBad = bad++ == 0 ? i + 1 : firstBad;
            continue;
        }
        const bool old = l.size() >= 78 && l.substr(76, 2) == "A1";
        switches += old != version;
        version = old;
        good.push_back(l);
    }

    file.Set(content);
    TMemoryView view;
    TMeasurementDecoder decoder(view, nullptr);
    Events events;
    TDayReplay replay(decoder, events);
    std::string error;
    try {
        replay.LoadFromFile(file.Path());
    } catch (const EReplayError &e) {
        error = e.what();
    }

    FUZZ_CHECK(events.begun == 1 && events.ended == 1, "progress dialog not shown and hidden once");
    FUZZ_CHECK(error.empty(), "replay stopped: " + error);
    if (bad > 0) {
        const std::string prefix = std::to_string(bad) + (bad == 1 ? " line of " : " lines of ") + file.Path() + " ";
        const std::string first = "; the first is line " + std::to_string(firstBad) + ": ";
        FUZZ_CHECK(events.warnings.size() == 1 && events.warnings[0].rfind(prefix, 0) == 0 &&
                       events.warnings[0].find(first) != std::string::npos &&
                       events.warnings[0].find('\0') == std::string::npos,
                   "skipped lines not reported once: " + Escaped(events.warnings.empty() ? "" : events.warnings[0]));
    } else {
        FUZZ_CHECK(events.warnings.empty(), "good file warned: " + events.warnings[0]);
    }
    FUZZ_CHECK(view.hexLines.size() == good.size(), "data pane holds " + std::to_string(view.hexLines.size()) +
                                                        " lines, not the " + std::to_string(good.size()) + " good ones");
    for (std::size_t i = 0; i < good.size(); ++i)
        FUZZ_CHECK(view.hexLines[i] == good[i], "data pane line differs from the file");
    FUZZ_CHECK(events.switches == switches, "protocol switches do not follow the lines");
    FUZZ_CHECK(decoder.LogStatusChanges, "status logging left off after the replay");
    const int n = view.PointCount(TSeries::AQ);
    for (int s = 1; s < SeriesCount; ++s)
        FUZZ_CHECK(view.PointCount(static_cast<TSeries>(s)) == n, "series of different lengths");
    return 0;
}
