#pragma once
// TLogFile: appends one line per call to a file whose name carries the date.
// Every line is one open-append-close cycle under a cross-process lock named
// by BaseName (the lock is opened once and only taken per line), so each
// line is complete on disk when WriteLine returns. The append is one write
// that the system places at the end of the file (O_APPEND,
// FILE_APPEND_DATA): writers that do not meet at the lock still never
// overwrite each other.

#include "base/Clock.h"
#include "logging/LogLock.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace glowkite {

enum TLogPeriod : std::uint8_t { lpDay = 0, lpMonth = 1, lpYear = 2 };

enum TLogOption : std::uint8_t { loDate = 1, loTime = 2, loTimeMs = 4, loRaw = 8 };
using TLogOptions = std::uint8_t; // set of TLogOption bits

enum TLogStamp { lsStamp = 0, lsBlank = 1, lsNone = 2 };

class TLogFile {
public:
    explicit TLogFile(Clock clock = SystemClock);

    void SetPeriod(std::uint8_t period) { Period = period; }
    void SetOptions(TLogOptions options) { Options = options; }

    std::uint8_t Period = lpMonth;
    TLogOptions Options = 0;
    std::string Directory;
    std::string BaseName = "MYLOG";
    std::string Extension = ".LOG";

    // How long WriteLine waits for the lock of another writer of the same BaseName.
    std::chrono::milliseconds LockTimeout{5000};

    // Told once (until the lock is in its own place again) when the lock's
    // folder was refused and the lock is taken beside the log file instead;
    // the line itself is stored. Without a receiver the text goes to stderr.
    std::function<void(const std::string &)> Notice;

    // Failures raise ELogError: "Cannot create %s" (Directory), "Cannot open %s"
    // (an existing file; with the reason when something other than a regular
    // file is in its place: a link, a FIFO, a folder, a device), a lock not had
    // within LockTimeout, and the system's I/O errors naming the file. A
    // failed write leaves the file as it was.
    void WriteLine(std::string_view Text, TLogStamp Stamp);

    // yymmdd of the clock now.
    std::string DateCode() const;

    // The full name of the file that a line written at time t goes to
    // (Directory, BaseName, date part, Extension, normalised as WriteLine does).
    // Lets readers (calendar, replay) find the writer's files.
    std::string FileName(const LocalTime &t) const;
    // The file a line written now goes to.
    std::string CurrentFileName() const { return FileName(clock_()); }

private:
    std::string NormalisedExtension() const;
    std::string NormalisedDirectory() const;
    std::string MakeStamp(TLogStamp stamp, const LocalTime &t) const;

    // Makes sure Directory is a folder (raises "Cannot create"), then
    // remembers it as made.
    void EnsureFolder();

    Clock clock_;
    std::string folderMade_;  // the Directory last made sure of
    NamedLockPlace lockPlace_; // the lock of BaseName, kept open between lines
    // The message of a lock not had in time, kept until the lock is had again.
    std::string lockStuck_;
    bool refusalSaid_ = false;
};

} // namespace glowkite
