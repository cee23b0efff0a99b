#include "app/core/DayReplay.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

namespace glowkite {

namespace {

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
            events_.ProtocolSwitched(TProtocol::FromGlowkiteVersion(frame.glowkiteVersion).SwitchMessage());
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
