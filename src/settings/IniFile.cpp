#include "settings/IniFile.h"

#include "settings/IniFileIo.h"

#include <climits>
#include <utility>

namespace glowkite {

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

char Lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    return true;
}

// One line of the file: its text runs from begin to end (without its LF or
// CR LF), the next line starts at next.
struct Line {
    std::size_t begin = 0, end = 0, next = 0;
    bool terminated = false;
    enum Kind { Other, Section, Key } kind = Other;
    std::string_view name;  // section or key name, trimmed
    std::string_view value; // key value, trimmed
};

Line LineAt(std::string_view text, std::size_t pos)
{
    Line line;
    line.begin = pos;
    std::size_t lf = text.find('\n', pos);
    line.terminated = lf != std::string_view::npos;
    line.end = line.terminated ? lf : text.size();
    line.next = line.terminated ? lf + 1 : text.size();
    if (line.terminated && line.end > pos && text[line.end - 1] == '\r')
        --line.end;
    std::string_view body = Trim(text.substr(pos, line.end - pos));
    if (body.empty() || body.front() == ';')
        return line;
    if (body.front() == '[') {
        std::size_t close = body.find(']');
        if (close != std::string_view::npos) {
            line.kind = Line::Section;
            line.name = Trim(body.substr(1, close - 1));
        }
        return line;
    }
    std::size_t eq = body.find('=');
    if (eq == std::string_view::npos)
        return line;
    line.name = Trim(body.substr(0, eq));
    if (line.name.empty())
        return line;
    line.kind = Line::Key;
    line.value = Trim(body.substr(eq + 1));
    return line;
}

// Where a key stands in the text, or where it would go.
struct Place {
    bool sectionFound = false;
    std::optional<Line> key;         // the first line of the key in the section
    std::size_t insertAt = 0;        // behind the section's last key line (or its header)
    bool insertNeedsLineEnd = false; // that line is the last one and has no line end
};

Place Find(std::string_view text, std::string_view section, std::string_view key)
{
    Place place;
    std::size_t pos = 0;
    // First the header: the first section of that name is the one that counts.
    while (pos < text.size() && !place.sectionFound) {
        Line line = LineAt(text, pos);
        pos = line.next;
        if (line.kind == Line::Section && SameName(line.name, section)) {
            place.sectionFound = true;
            place.insertAt = line.next;
            place.insertNeedsLineEnd = !line.terminated;
        }
    }
    while (place.sectionFound && pos < text.size()) {
        Line line = LineAt(text, pos);
        pos = line.next;
        if (line.kind == Line::Section)
            break;
        if (line.kind != Line::Key)
            continue;
        if (!place.key && SameName(line.name, key))
            place.key = line;
        place.insertAt = line.next;
        place.insertNeedsLineEnd = !line.terminated;
    }
    return place;
}

// A name that would read back as another kind of line cannot be stored.
void CheckName(std::string_view name, std::string_view forbidden, const char *what)
{
    std::string_view trimmed = Trim(name);
    if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '[' ||
        name.find_first_of(forbidden) != std::string_view::npos)
        throw std::invalid_argument(std::string("Invalid settings ") + what + " \"" +
                                    std::string(name) + "\"");
}

} // namespace

std::optional<std::int32_t> ParseIniInteger(std::string_view text)
{
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    unsigned base = 10;
    if (!text.empty() && text.front() == '$') {
        base = 16;
        text.remove_prefix(1);
    } else if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty())
        return std::nullopt;
    std::uint64_t value = 0;
    for (char c : text) {
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            return std::nullopt;
        value = value * base + digit;
        if (value > 0xFFFFFFFFull)
            return std::nullopt;
    }
    if (base == 16) {
        // Hexadecimal fills all 32 bits: $FFFFFFFF is -1.
        auto bits = static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
        return negative ? static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(bits)) : bits;
    }
    std::int64_t signedValue =
        negative ? -static_cast<std::int64_t>(value) : static_cast<std::int64_t>(value);
    if (signedValue < INT32_MIN || signedValue > INT32_MAX)
        return std::nullopt;
    return static_cast<std::int32_t>(signedValue);
}

TIniFile::TIniFile(std::string fileName) : fileName_(std::move(fileName)) {}

std::string TIniFile::ReadString(std::string_view Section, std::string_view Key,
                                 std::string_view Default) const
{
    std::optional<std::string> content = ReadIniFile(fileName_);
    if (!content)
        return std::string(Default);
    Place place = Find(*content, Trim(Section), Trim(Key));
    if (!place.key)
        return std::string(Default);
    std::string_view value = place.key->value;
    // A value in matching quotes comes without them.
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return std::string(value);
}

std::int32_t TIniFile::ReadInteger(std::string_view Section, std::string_view Key,
                                   std::int32_t Default) const
{
    return ParseIniInteger(ReadString(Section, Key, "")).value_or(Default);
}

bool TIniFile::ReadBool(std::string_view Section, std::string_view Key, bool Default) const
{
    return ReadInteger(Section, Key, Default ? 1 : 0) != 0;
}

void TIniFile::WriteString(std::string_view Section, std::string_view Key, std::string_view Value)
{
    CheckName(Section, std::string_view("]\r\n\0", 4), "section");
    CheckName(Key, std::string_view("=\r\n\0", 4), "key");
    if (Value.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos)
        throw std::invalid_argument("Invalid settings value for \"" + std::string(Key) +
                                    "\": line breaks cannot be stored");
    Section = Trim(Section);
    Key = Trim(Key);

    std::optional<std::string> content = ReadIniFile(fileName_);
    if (!content)
        RaiseWriteError();
    std::string &text = *content;
    Place place = Find(text, Section, Key);
    if (place.key) {
        std::string line = std::string(place.key->name) + "=" + std::string(Value);
        text.replace(place.key->begin, place.key->end - place.key->begin, line);
    } else if (place.sectionFound) {
        std::string line = std::string(Key) + "=" + std::string(Value);
        text.insert(place.insertAt, place.insertNeedsLineEnd ? "\r\n" + line : line + "\r\n");
    } else {
        if (!text.empty() && text.back() != '\n')
            text += "\r\n";
        text += "[" + std::string(Section) + "]\r\n" + std::string(Key) + "=" + std::string(Value) +
                "\r\n";
    }
    Store(text);
}

void TIniFile::WriteInteger(std::string_view Section, std::string_view Key, std::int32_t Value)
{
    WriteString(Section, Key, std::to_string(Value));
}

void TIniFile::WriteBool(std::string_view Section, std::string_view Key, bool Value)
{
    WriteString(Section, Key, Value ? "1" : "0");
}

void TIniFile::RaiseWriteError() const
{
    throw EIniError("In " + fileName_ + " kann nicht geschrieben werden");
}

void TIniFile::Store(const std::string &content) const
{
    if (!StoreIniFile(fileName_, content))
        RaiseWriteError();
}

} // namespace glowkite
