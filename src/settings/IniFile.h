#pragma once
// TIniFile: the settings file of sections "[Name]" and key=value lines, read
// and written the way the Windows profile functions do it. Names compare
// without letter case; every write reaches the file at once and leaves every
// byte outside the written line as it was.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace glowkite {

// "In %s kann nicht geschrieben werden" with the full path of the file.
class EIniError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TIniFile {
public:
    explicit TIniFile(std::string fileName);

    const std::string &FileName() const { return fileName_; }

    // A missing or unreadable file, section or key gives `Default`.
    std::string ReadString(std::string_view Section, std::string_view Key,
                           std::string_view Default) const;
    std::int32_t ReadInteger(std::string_view Section, std::string_view Key,
                             std::int32_t Default) const;
    bool ReadBool(std::string_view Section, std::string_view Key, bool Default) const;

    // Raise EIniError when the file cannot be written, std::invalid_argument
    // for a name or value that would break the line structure (a line break,
    // "]" in a section name, "=" in a key).
    void WriteString(std::string_view Section, std::string_view Key, std::string_view Value);
    void WriteInteger(std::string_view Section, std::string_view Key, std::int32_t Value);
    void WriteBool(std::string_view Section, std::string_view Key, bool Value);

private:
    void Store(const std::string &content) const;
    [[noreturn]] void RaiseWriteError() const;

    std::string fileName_;
};

// An integer value as ReadInteger takes it: decimal with an optional sign, or
// hexadecimal after "$", "0x" or "0X" (32 bits, "$FFFFFFFF" is -1); nothing
// else, not even trailing text.
std::optional<std::int32_t> ParseIniInteger(std::string_view text);

} // namespace glowkite
