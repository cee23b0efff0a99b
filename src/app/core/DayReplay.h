#pragma once
// Replay of a stored day: the "RX: " lines of a daily data file are read
// back by column and fed through the same AddMeasurement as live frames.

#include "app/core/FrameReceiver.h"
#include "app/core/MeasurementDecoder.h"
#include "app/core/Protocol.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace glowkite {

// A stored day that cannot be replayed (not a regular file, unreadable);
// the message names the file.
class EReplayError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A stored line longer than this is no stored frame (they are 100
// characters); it is reported as a bad line without being kept in memory.
inline constexpr std::size_t MaxStoredLineLength = 4096;

// A day file opened for reading, up to the size it had when opened (a
// running recording may append to today's file meanwhile). Only a regular
// file is a day file: a FIFO, a directory or a device is refused without
// blocking.
class TDayFile {
public:
    explicit TDayFile(const std::string &name); // raises EReplayError
    ~TDayFile();
    TDayFile(const TDayFile &) = delete;
    TDayFile &operator=(const TDayFile &) = delete;

    std::uint64_t Size() const { return size_; }
    // Calls fn with each line, without its line end (CR LF, LF or CR alike);
    // a last line without a line end counts, a byte-order mark before the
    // first line does not. A line longer than MaxStoredLineLength comes as
    // an empty text with tooLong set. Raises EReplayError on a read error.
    void ForEachLine(const std::function<void(std::string_view line, bool tooLong)> &fn);

private:
    std::size_t Read(char *to, std::size_t n);

    std::string name_;
#ifdef _WIN32
    std::FILE *file_ = nullptr;
#else
    int fd_ = -1;
#endif
    std::uint64_t size_ = 0;
};

// The lines of a day that could not be decoded: counted, the first one
// named, so that one message reports them all.
struct TBadLines {
    std::int64_t count = 0;
    std::int64_t first = 0; // 1-based line number
    std::string firstReason;

    void Add(std::int64_t lineNo, std::string_view reason);
    // "<count> lines of <file> cannot be <verb> and were skipped; the first
    // is line <first>: <reason>"; every byte that is not printable is shown
    // as \xNN, so that a NUL byte does not end the text.
    std::string Message(const std::string &file, std::string_view verb) const;
};

// Stored text made safe for a message: control bytes as \xNN.
std::string PrintableText(std::string_view bytes);

// What the replay tells the window besides the measurement view.
class IReplayEvents : public IFrameEvents {
public:
    // A warning with one OK button (the missing day file, skipped lines).
    virtual void Warning(std::string_view message) = 0;
    // The progress dialog: shown with its text and the expected line count,
    // moved on now and then, hidden at the end on every path.
    virtual void BeginProgress(std::string_view text, std::int64_t maximum) = 0;
    virtual void Progress(std::int64_t lines) = 0;
    virtual void EndProgress() = 0;
    // The protocol of what the chart now shows (the replayed lines). The
    // live receiver's protocol is not changed by a replay.
    virtual void ShowReplayedProtocol(TProtocol protocol) { (void)protocol; }
};

// A replay that shows nothing: for tools that read a day into memory only.
class TQuietReplayEvents : public IReplayEvents {
public:
    void ShowProtocol() override {}
    void ProtocolSwitched(std::string_view) override {}
    void FrameFailed(std::string_view) override {}
    void Warning(std::string_view) override {}
    void BeginProgress(std::string_view, std::int64_t) override {}
    void Progress(std::int64_t) override {}
    void EndProgress() override {}
};

// The expected line count of the progress bar: file size div 110.
std::int64_t ExpectedLineCount(std::uint64_t fileSize);

class TDayReplay {
public:
    // decoder is the live one: its view shows the replay and its settings
    // apply, but its measurement state and protocol are left alone.
    TDayReplay(TMeasurementDecoder &decoder, IReplayEvents &events);

    // How many lines pass between two Progress calls.
    std::int64_t ProgressEvery = 4096;

    // Replays the file F. A line that cannot be decoded is skipped; the
    // skipped lines are reported once at the end.
    void LoadFromFile(const std::string &F);

    // The lines skipped by the last LoadFromFile.
    const TBadLines &Skipped() const { return skipped_; }

private:
    TMeasurementDecoder &decoder_;
    IReplayEvents &events_;
    TBadLines skipped_;
};

} // namespace glowkite
