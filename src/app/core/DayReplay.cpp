#include "app/core/DayReplay.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

namespace glowkite {

namespace {

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The byte whose two hex digits stand at the 1-based columns col, col + 1.
bool HexAt(std::string_view line, std::size_t col, int &value, std::string &error)
{
    if (line.size() < col + 1) {
        error = "the line ends before column " + std::to_string(col + 1);
        return false;
    }
    const int hi = HexDigit(line[col - 1]);
    const int lo = HexDigit(line[col]);
    if (hi < 0 || lo < 0) {
        error = "columns " + std::to_string(col) + "-" + std::to_string(col + 1) + " hold \"" +
                std::string(line.substr(col - 1, 2)) + "\", not a hexadecimal byte";
        return false;
    }
    value = hi * 16 + lo;
    return true;
}

// The first byte of a stored frame is at column 26, byte k at 26 + 3k.
constexpr std::size_t Column(std::size_t k) { return 26 + 3 * k; }

// Turns status logging off for one replayed measurement, so that frames
// received live in between are still logged.
class NoStatusLog {
public:
    explicit NoStatusLog(TMeasurementDecoder &d) : d_(d), saved_(d.LogStatusChanges) { d.LogStatusChanges = false; }
    ~NoStatusLog() { d_.LogStatusChanges = saved_; }
    NoStatusLog(const NoStatusLog &) = delete;
    NoStatusLog &operator=(const NoStatusLog &) = delete;

private:
    TMeasurementDecoder &d_;
    bool saved_;
};

} // namespace

bool ParseStoredLine(std::string_view line, TStoredFrame &frame, std::string &error)
{
    frame.label = line.substr(0, 19);
    frame.glowkiteVersion = line.size() >= 78 && line.substr(76, 2) == "A1";
    // The old protocol has contamination at byte 5 and the positions at 9..12;
    // "glowkite +" has them one byte later.
    const std::size_t shift = frame.glowkiteVersion ? 0 : 1;
    int aq, flags, gain, xLow, xHigh, yLow, yHigh;
    if (!HexAt(line, Column(2), aq, error) || !HexAt(line, Column(3), flags, error) ||
        !HexAt(line, Column(5 + shift), gain, error) || !HexAt(line, Column(10 + shift), xHigh, error) ||
        !HexAt(line, Column(9 + shift), xLow, error) || !HexAt(line, Column(12 + shift), yHigh, error) ||
        !HexAt(line, Column(11 + shift), yLow, error))
        return false;
    frame.aq = static_cast<std::int16_t>(aq);
    frame.flags = static_cast<std::int16_t>(flags);
    frame.gain = static_cast<std::int16_t>(gain);
    frame.x = static_cast<std::int16_t>(xHigh << 8 | xLow);
    frame.y = static_cast<std::int16_t>(yHigh << 8 | yLow);
    return true;
}

std::int64_t ExpectedLineCount(std::uint64_t fileSize)
{
    return static_cast<std::int64_t>(fileSize / 110);
}

TDayFile::TDayFile(const std::string &name) : name_(name)
{
    file_ = std::fopen(name.c_str(), "rb");
    if (!file_)
        throw EReplayError("Cannot open " + name + ": " + std::strerror(errno));
    // A recording may append to today's file meanwhile: read what was there
    // when reading began.
    std::error_code ec;
    size_ = std::filesystem::file_size(name, ec);
    if (ec) {
        std::fclose(file_);
        throw EReplayError("Cannot read the size of " + name + ": " + ec.message());
    }
}

TDayFile::~TDayFile()
{
    std::fclose(file_);
}

void TDayFile::ForEachLine(const std::function<void(std::string_view)> &fn)
{
    std::vector<char> chunk(1 << 20);
    std::string carry; // a line that crosses the end of a chunk
    auto emit = [&fn](std::string_view line) {
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        fn(line);
    };
    std::uint64_t left = size_;
    while (left > 0) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, chunk.size()));
        const std::size_t got = std::fread(chunk.data(), 1, want, file_);
        if (got == 0) {
            if (std::ferror(file_))
                throw EReplayError("Cannot read " + name_ + ": " + std::strerror(errno));
            break; // the file shrank meanwhile
        }
        left -= got;
        std::string_view rest(chunk.data(), got);
        for (std::size_t nl; (nl = rest.find('\n')) != std::string_view::npos; rest.remove_prefix(nl + 1)) {
            if (carry.empty()) {
                emit(rest.substr(0, nl));
            } else {
                carry.append(rest.substr(0, nl));
                emit(carry);
                carry.clear();
            }
        }
        carry.append(rest);
    }
    if (!carry.empty())
        emit(carry); // a last line without its line end
}

TDayReplay::TDayReplay(TMeasurementDecoder &decoder, IReplayEvents &events)
    : decoder_(decoder), events_(events)
{
}

void TDayReplay::LoadFromFile(const std::string &F)
{
    decoder_.ClearData();
    decoder_.LastPlotted = true;

    std::error_code ec;
    if (!std::filesystem::is_regular_file(F, ec)) {
        events_.Warning("Datei " + F + " existiert nicht");
        return;
    }
    TDayFile file(F);
    const std::uint64_t size = file.Size();

    events_.BeginProgress("Daten werden gelsen aus Datei " + F, ExpectedLineCount(size));
    struct EndProgress {
        IReplayEvents &e;
        ~EndProgress() { e.EndProgress(); }
    } endProgress{events_};

    decoder_.LastPlotted = true;
    bool previous = decoder_.GlowkiteVersion;
    TLineStore lines;
    lines.Reserve(static_cast<std::size_t>(size / 102 + 1), static_cast<std::size_t>(size));
    std::int64_t lineNo = 0;

    auto handleLine = [&](std::string_view line) {
        ++lineNo;
        TStoredFrame frame;
        std::string error;
        if (!ParseStoredLine(line, frame, error)) {
            decoder_.ShowCount();
            decoder_.View().ReplaceHexLines(std::move(lines));
            throw EReplayError("Line " + std::to_string(lineNo) + " of " + F + " cannot be replayed: " + error);
        }
        lines.Append(line);
        decoder_.GlowkiteVersion = frame.glowkiteVersion;
        if (frame.glowkiteVersion != previous) {
            previous = frame.glowkiteVersion;
            events_.ShowProtocol();
            events_.ProtocolSwitched(frame.glowkiteVersion ? ProtocolOldMessage : ProtocolPlusMessage);
        }
        {
            NoStatusLog quiet(decoder_);
            decoder_.AddMeasurement(frame.label, frame.aq, frame.flags, frame.x, frame.y, frame.gain);
        }
        if (lineNo % ProgressEvery == 0)
            events_.Progress(lineNo);
    };

    file.ForEachLine(handleLine);
    events_.Progress(lineNo);

    decoder_.ShowCount();
    decoder_.View().ReplaceHexLines(std::move(lines));
}

} // namespace glowkite
