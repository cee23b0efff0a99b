#pragma once
// The file calls of the settings file, one implementation per OS
// (IniFileIoPosix.cpp, IniFileIoWin32.cpp).

#include <optional>
#include <string>

namespace glowkite {

// The whole file; an absent file is empty. nullopt: it exists but cannot be read.
std::optional<std::string> ReadIniFile(const std::string &fileName);

// Replaces the file's content with `content`, creating the file when
// missing. Never leaves half a file behind; a read-only file stays as it is.
// False when the file cannot be written.
bool StoreIniFile(const std::string &fileName, const std::string &content);

} // namespace glowkite
