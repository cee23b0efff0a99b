#pragma once
// The file system calls of the log writer, one implementation per OS
// (LogFileIoPosix.cpp, LogFileIoWin32.cpp).

#include <string>
#include <string_view>

namespace glowkite {

// The separator WriteLine puts behind Directory ("/" on POSIX, "\" on Windows).
extern const char kLogDirSeparator;
bool IsLogDirSeparator(char c);

// True when `dir` is a folder, creating it (one level only) when missing; a
// folder made meanwhile by another writer counts.
bool EnsureLogFolder(const std::string &dir);

// Appends `data` at the end of the file `name` in one append-mode write,
// creating the file when missing; other openers may read and write it
// meanwhile. Only a regular file is opened, never through a link, and
// without waiting (a FIFO). Raises ELogError "Cannot open <name>" when an
// existing file cannot be opened ("Cannot open <name>: it is a FIFO, not a
// regular file" and the like for something else in its place), and an
// ELogError naming the file and the system's text for any other failure; a
// write that failed half-way is taken back, so the file stays line by line.
void AppendToLogFile(const std::string &name, std::string_view data);

} // namespace glowkite
