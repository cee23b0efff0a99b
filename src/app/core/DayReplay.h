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

// A stored day that cannot be replayed (unreadable file, bad line); the
// message names the file and, for a bad line, its number.
class EReplayError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A day file opened for reading, up to the size it had when opened (a
// running recording may append to today's file meanwhile).
class TDayFile {
public:
    explicit TDayFile(const std::string &name); // raises EReplayError
    ~TDayFile();
    TDayFile(const TDayFile &) = delete;
    TDayFile &operator=(const TDayFile &) = delete;

    std::uint64_t Size() const { return size_; }
    // Calls fn with each line, without its line end (CR LF or LF); a last
    // line without a line end counts. Raises EReplayError on a read error.
    void ForEachLine(const std::function<void(std::string_view)> &fn);

private:
    std::string name_;
    std::FILE *file_ = nullptr;
    std::uint64_t size_ = 0;
};

// What the replay tells the window besides the measurement view.
class IReplayEvents : public IFrameEvents {
public:
    // A warning with one OK button (the missing day file).
    virtual void Warning(std::string_view message) = 0;
    // The progress dialog: shown with its text and the expected line count,
    // moved on now and then, hidden at the end on every path.
    virtual void BeginProgress(std::string_view text, std::int64_t maximum) = 0;
    virtual void Progress(std::int64_t lines) = 0;
    virtual void EndProgress() = 0;
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
    TDayReplay(TMeasurementDecoder &decoder, IReplayEvents &events);

    // How many lines pass between two Progress calls.
    std::int64_t ProgressEvery = 4096;

    // Replays the file F. Lines decoded before a bad line stay shown.
    void LoadFromFile(const std::string &F);

private:
    TMeasurementDecoder &decoder_;
    IReplayEvents &events_;
};

} // namespace glowkite
