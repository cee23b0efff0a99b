#include "logging/LOGFile.h"

#include "logging/LogFileIo.h"

#include <cstdio>
#include <iostream>
#include <optional>
#include <utility>

namespace glowkite {

namespace {

std::string DateCodeOf(const LocalTime &t)
{
    char code[16];
    std::snprintf(code, sizeof code, "%02d%02d%02d", t.year % 100, t.month % 100, t.day % 100);
    return code;
}

} // namespace

TLogFile::TLogFile(Clock clock) : clock_(std::move(clock)) {}

std::string TLogFile::DateCode() const
{
    return DateCodeOf(clock_());
}

std::string TLogFile::NormalisedExtension() const
{
    if (Extension.empty() || Extension[0] == '.')
        return Extension;
    return "." + Extension;
}

std::string TLogFile::NormalisedDirectory() const
{
    if (Directory.empty() || IsLogDirSeparator(Directory.back()))
        return Directory;
    return Directory + kLogDirSeparator;
}

std::string TLogFile::FileName(const LocalTime &t) const
{
    std::string datePart;
    switch (Period) {
    case lpDay: datePart = "_" + DateCodeOf(t); break;
    case lpMonth: datePart = "_" + DateCodeOf(t).substr(0, 4); break;
    case lpYear: datePart = "_" + DateCodeOf(t).substr(0, 2); break;
    default: break;
    }
    return NormalisedDirectory() + BaseName + datePart + NormalisedExtension();
}

std::string TLogFile::MakeStamp(TLogStamp stamp, const LocalTime &t) const
{
    if (stamp == lsNone)
        return {};
    char text[64];
    std::string result;
    if (Options & loDate) {
        std::snprintf(text, sizeof text, "%04d.%02d.%02d ", t.year, t.month, t.day);
        result += text;
    }
    if (Options & loTimeMs) {
        std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d ", t.hour, t.minute, t.second,
                      t.millisecond);
        result += text;
    } else if (Options & loTime) {
        std::snprintf(text, sizeof text, "%02d:%02d:%02d ", t.hour, t.minute, t.second);
        result += text;
    }
    if (stamp == lsBlank)
        result.assign(result.size(), ' ');
    return result;
}

void TLogFile::WriteLine(std::string_view Text, TLogStamp Stamp)
{
    Extension = NormalisedExtension();
    // The folder is made sure of when it is new to this writer; later lines
    // look at it again only when their append fails (it may have been
    // removed meanwhile), which spares a look-up per line.
    const bool folderKnown = !Directory.empty() && Directory == folderMade_;
    if (!Directory.empty() && !folderKnown)
        EnsureFolder();

    const LocalTime now = clock_();
    const std::string name = FileName(now);
    std::string output;
    if (Options & loRaw) {
        output.assign(Text);
    } else {
        output = MakeStamp(Stamp, now);
        output.append(Text);
        output += "\r\n";
    }

    // Once the lock was not had in time, the following lines try it only
    // briefly until it is free again: waiting 5 s for every frame would stop
    // reception itself. They fail with the first line's message.
    std::optional<NamedLock> lock;
    try {
        lock.emplace(lockPlace_, BaseName, lockStuck_.empty() ? LockTimeout : std::chrono::milliseconds(0),
                     Directory);
    } catch (const ELogError &e) {
        if (lockStuck_.empty())
            lockStuck_ = e.what();
        throw ELogError(lockStuck_);
    }
    lockStuck_.clear();
    if (lock->Refusal().empty()) {
        refusalSaid_ = false;
    } else if (!refusalSaid_) {
        refusalSaid_ = true;
        if (Notice)
            Notice(lock->Refusal());
        else
            std::cerr << lock->Refusal() << '\n';
    }
    try {
        AppendToLogFile(name, output);
    } catch (const ELogError &) {
        if (!folderKnown)
            throw;
        // A failed append leaves the file as it was: with the folder made
        // again the line is tried once more.
        folderMade_.clear();
        EnsureFolder();
        AppendToLogFile(name, output);
    }
}

void TLogFile::EnsureFolder()
{
    if (!EnsureLogFolder(Directory))
        throw ELogError("Cannot create " + Directory);
    Directory = NormalisedDirectory();
    folderMade_ = Directory;
}

} // namespace glowkite
