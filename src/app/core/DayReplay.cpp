#include "app/core/DayReplay.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace glowkite {

std::int64_t ExpectedLineCount(std::uint64_t fileSize)
{
    return static_cast<std::int64_t>(fileSize / 110);
}

std::string PrintableText(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (unsigned char c : bytes) {
        if (c < 0x20 || c == 0x7F) {
            out += "\\x";
            AppendHex(out, c);
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

void TBadLines::Add(std::int64_t lineNo, std::string_view reason)
{
    if (count++ == 0) {
        first = lineNo;
        firstReason.assign(reason);
    }
}

std::string TBadLines::Message(const std::string &file, std::string_view verb) const
{
    return std::to_string(count) + (count == 1 ? " line of " : " lines of ") + PrintableText(file) + " cannot be " +
           std::string(verb) + " and " + (count == 1 ? "was" : "were") + " skipped; the first is line " +
           std::to_string(first) + ": " + PrintableText(firstReason);
}

TDayFile::TDayFile(const std::string &name) : name_(name)
{
#ifdef _WIN32
    std::error_code ec;
    if (!std::filesystem::is_regular_file(name, ec))
        throw EReplayError(name + " is not a regular file");
    file_ = std::fopen(name.c_str(), "rb");
    if (!file_)
        throw EReplayError("Cannot open " + name + ": " + std::strerror(errno));
    size_ = std::filesystem::file_size(name, ec);
    if (ec) {
        std::fclose(file_);
        throw EReplayError("Cannot read the size of " + name + ": " + ec.message());
    }
#else
    // Non-blocking, so that a FIFO in place of a day file cannot hold the
    // program inside open; what is not a regular file is refused after it.
    fd_ = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0)
        throw EReplayError("Cannot open " + name + ": " + std::strerror(errno));
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd_);
        throw EReplayError(name + " is not a regular file");
    }
    // A recording may append to today's file meanwhile: read what was there
    // when reading began.
    size_ = static_cast<std::uint64_t>(st.st_size);
#endif
}

TDayFile::~TDayFile()
{
#ifdef _WIN32
    std::fclose(file_);
#else
    ::close(fd_);
#endif
}

std::size_t TDayFile::Read(char *to, std::size_t n)
{
#ifdef _WIN32
    const std::size_t got = std::fread(to, 1, n, file_);
    if (got == 0 && std::ferror(file_))
        throw EReplayError("Cannot read " + name_ + ": " + std::strerror(errno));
    return got;
#else
    for (;;) {
        const ssize_t got = ::read(fd_, to, n);
        if (got >= 0)
            return static_cast<std::size_t>(got);
        if (errno != EINTR)
            throw EReplayError("Cannot read " + name_ + ": " + std::strerror(errno));
    }
#endif
}

void TDayFile::ForEachLine(const std::function<void(std::string_view, bool)> &fn)
{
    // Large blocks; an incomplete line at a block's end moves to the front
    // and the next block is read behind it. A line longer than the cap is
    // dropped as it goes, so one endless line cannot fill the memory.
    constexpr std::size_t Block = 4 << 20;
    const std::unique_ptr<char[]> buffer(new char[Block + MaxStoredLineLength]);
    char *const buf = buffer.get();
    std::size_t keep = 0;    // bytes of an incomplete line at buf
    bool discarding = false; // inside a line longer than the cap
    bool skipLF = false;     // the last line ended with a CR at a block's end
    bool first = true;
    std::uint64_t left = size_;
    while (left > 0) {
        const std::size_t got = Read(buf + keep, static_cast<std::size_t>(std::min<std::uint64_t>(left, Block)));
        if (got == 0)
            break; // the file shrank meanwhile
        left -= got;
        const char *p = buf;
        const char *const end = buf + keep + got;
        if (first) {
            first = false;
            if (end - p >= 3 && std::memcmp(p, "\xEF\xBB\xBF", 3) == 0)
                p += 3;
        }
        if (skipLF && p < end && *p == '\n')
            ++p;
        skipLF = false;
        // The next LF is remembered, so that a file with CR line ends only
        // is not searched to the end of the block for every line.
        const char *lf = nullptr;
        while (p < end) {
            if (!lf || lf < p) {
                lf = static_cast<const char *>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
                if (!lf)
                    lf = end;
            }
            const char *e = static_cast<const char *>(std::memchr(p, '\r', static_cast<std::size_t>(lf - p)));
            if (!e)
                e = lf;
            if (e == end)
                break; // no line end before the block's end
            const std::size_t length = static_cast<std::size_t>(e - p);
            if (discarding || length > MaxStoredLineLength)
                fn({}, true);
            else
                fn(std::string_view(p, length), false);
            discarding = false;
            p = e + 1;
            if (*e == '\r') {
                if (p == end)
                    skipLF = true;
                else if (*p == '\n')
                    ++p;
            }
        }
        const std::size_t rest = static_cast<std::size_t>(end - p);
        if (discarding || rest > MaxStoredLineLength) {
            discarding = true;
            keep = 0;
        } else {
            std::memmove(buf, p, rest);
            keep = rest;
        }
    }
    if (discarding)
        fn({}, true);
    else if (keep > 0)
        fn(std::string_view(buf, keep), false); // a last line without its line end
}

TDayReplay::TDayReplay(TMeasurementDecoder &decoder, IReplayEvents &events)
    : decoder_(decoder), events_(events)
{
}

void TDayReplay::LoadFromFile(const std::string &F)
{
    skipped_ = {};
    decoder_.ClearData();

    std::error_code ec;
    if (!std::filesystem::exists(F, ec)) {
        events_.Warning("Datei " + PrintableText(F) + " existiert nicht");
        return;
    }
    TDayFile file(F);
    const std::uint64_t size = file.Size();

    events_.BeginProgress("Daten werden gelsen aus Datei " + F, ExpectedLineCount(size));
    struct EndProgress {
        IReplayEvents &e;
        ~EndProgress() { e.EndProgress(); }
    } endProgress{events_};

    // The replay decodes with a state of its own, started from the live one
    // (settings, last status, last values): the live recording goes on
    // meanwhile, and its status, its protocol and its status log lines must
    // stay its own. The replay never writes the status log.
    TMeasurementDecoder decoder(decoder_);
    decoder.LogStatusChanges = false;
    decoder.LastPlotted = true;
    decoder.MeasureCount = 0;
    bool previous = decoder.GlowkiteVersion;
    TLineStore lines;
    lines.Reserve(static_cast<std::size_t>(size / 102 + 1), static_cast<std::size_t>(size));
    std::int64_t lineNo = 0;
    TStoredFrame frame;
    std::string error;

    const auto handleLine = [&](std::string_view line, bool tooLong) {
        ++lineNo;
        if (lineNo % ProgressEvery == 0)
            events_.Progress(lineNo);
        if (tooLong) {
            skipped_.Add(lineNo, "longer than " + std::to_string(MaxStoredLineLength) + " characters");
            return;
        }
        if (!ParseStoredLine(line, frame, error)) {
            skipped_.Add(lineNo, error);
            return;
        }
        lines.Append(line);
        decoder.GlowkiteVersion = frame.glowkiteVersion;
        if (frame.glowkiteVersion != previous) {
            previous = frame.glowkiteVersion;
            events_.ShowReplayedProtocol(decoder.Protocol());
            events_.ProtocolSwitched(decoder.Protocol().SwitchMessage());
        }
        decoder.AddMeasurement(frame.label, frame.aq, frame.flags, frame.x, frame.y, frame.gain);
    };
    try {
        file.ForEachLine(handleLine);
    } catch (const EReplayError &e) {
        // What was read stays shown; the error says where reading stopped.
        decoder.ShowCount();
        decoder.View().ReplaceHexLines(std::move(lines));
        events_.ShowReplayedProtocol(decoder.Protocol());
        throw EReplayError(std::string(e.what()) + " (after line " + std::to_string(lineNo) + ")");
    }
    events_.Progress(lineNo);

    decoder.ShowCount();
    decoder.View().ReplaceHexLines(std::move(lines));
    events_.ShowReplayedProtocol(decoder.Protocol());
    if (skipped_.count > 0)
        events_.Warning(skipped_.Message(F, "replayed"));
}

} // namespace glowkite
