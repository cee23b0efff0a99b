// The settings file reader and writer on arbitrary files.
//
// Input: operations, a NUL byte, then the file. Each operation is a line
// "<op><section>|<key>|<value>" with op r (ReadString), i (ReadInteger),
// b (ReadBool), w (WriteString), n (WriteInteger), f (WriteBool). An input
// without a NUL byte is a whole file, on which the main window's start and
// close run: its twelve keys are read and written back.
//
// Checked after every write: the file differs from before only inside one
// line, or by one inserted line, within the first section of the written
// name (or, without that section, by a new section at the end), so every
// foreign section and every other byte stays as it was; the value reads
// back; no other key reads differently. A refused name or value leaves the
// file untouched.

#include "FuzzSupport.h"

#include "settings/IniFile.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <optional>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

using namespace glowkite;
using glowkite::fuzz::Escaped;
namespace fs = std::filesystem;

namespace {

struct Op {
    char kind;
    std::string section, key, value;
};

struct Key {
    std::string section, key;
};

// The main window's keys, in the order it reads and writes them.
const Key kWindowKeys[] = {
    {"Window", "Main.Left"},          {"Window", "Main.Top"},           {"Window", "Main.With"},
    {"Window", "Main.Heigth"},        {"Window", "Chart.Heigth"},       {"Window", "Panel1.With"},
    {"Parameter", "AllData2Chart"},   {"Parameter", "GlowkiteVersion"}, {"Parameter", "Intervall"},
    {"Graph", "xPosActive"},          {"Graph", "yPosActive"},          {"Graph", "Gain"},
};
const Key kPortKeys[] = {{"Interface", "ComPort"}, {"Interface", "BaudRate"}};

// A folder of its own for the whole run, on a RAM disk where there is one.
const std::string &FileName()
{
    static const std::string name = [] {
        const fs::path base = fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        std::string pattern = (base / "glowkite-fuzz-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            std::abort();
        static const std::string folder = pattern;
        std::atexit([] {
            std::error_code ignored;
            fs::remove_all(folder, ignored);
        });
        return pattern + "/glowkite.INI";
    }();
    return name;
}

std::string ReadAll(const std::string &name)
{
    std::ifstream in(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const std::string &name, std::string_view bytes)
{
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Blanks around names and values do not count.
std::string_view Trim(std::string_view s)
{
    constexpr std::string_view blanks = " \t\r\v\f";
    const std::size_t first = s.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    return s.substr(first, s.find_last_not_of(blanks) - first + 1);
}

bool SameName(std::string_view a, std::string_view b)
{
    a = Trim(a);
    b = Trim(b);
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
               return lower(x) == lower(y);
           });
}

// An integer value as documented: decimal with an optional sign, or 32 bits
// of hexadecimal after "$", "0x" or "0X"; nothing for any other text.
std::optional<std::int32_t> IniInteger(std::string_view t)
{
    const bool negative = t.starts_with('-');
    const std::string_view body = t.substr(negative || t.starts_with('+') ? 1 : 0);
    const std::size_t prefix = body.starts_with('$')                                           ? 1
                               : body.size() > 2 && (body.starts_with("0x") || body.starts_with("0X")) ? 2
                                                                                                      : 0;
    const std::string_view digits = body.substr(prefix);
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value, prefix ? 16 : 10);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() || value > 0xFFFFFFFFu)
        return std::nullopt;
    if (prefix) {
        const auto bits = static_cast<std::uint32_t>(value);
        return static_cast<std::int32_t>(negative ? 0u - bits : bits);
    }
    const std::int64_t v = negative ? -static_cast<std::int64_t>(value) : static_cast<std::int64_t>(value);
    if (v < INT32_MIN || v > INT32_MAX)
        return std::nullopt;
    return static_cast<std::int32_t>(v);
}

// What a written value reads back as: without surrounding blanks, and
// without a pair of matching quotes.
std::string ReadBack(std::string_view v)
{
    v = Trim(v);
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return std::string(v);
}

// The bytes of the first section named `section`, from its header line to
// the next header line; nothing when the file has no such section.
std::optional<std::pair<std::size_t, std::size_t>> SectionBlock(std::string_view text, std::string_view section)
{
    std::optional<std::pair<std::size_t, std::size_t>> block;
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t lf = text.find('\n', pos);
        const std::size_t next = lf == std::string_view::npos ? text.size() : lf + 1;
        const std::string_view body = Trim(text.substr(pos, next - pos));
        const std::size_t close = body.find(']');
        if (!body.empty() && body.front() == '[' && close != std::string_view::npos) {
            if (block)
                return std::pair{block->first, pos};
            if (SameName(body.substr(1, close - 1), section))
                block = std::pair{pos, text.size()};
        }
        pos = next;
    }
    return block;
}

// The file after a write of section/key: one changed line or one inserted
// line inside the section, or a new section at the end.
void CheckChange(const std::string &before, const std::string &after, const Op &op)
{
    if (before == after)
        return; // the key held that value already
    std::size_t prefix = 0;
    const std::size_t shorter = std::min(before.size(), after.size());
    while (prefix < shorter && before[prefix] == after[prefix])
        ++prefix;
    std::size_t suffix = 0;
    while (suffix < shorter - prefix && before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
        ++suffix;
    const std::string_view removed = std::string_view(before).substr(prefix, before.size() - prefix - suffix);
    const std::string where = "write of [" + Escaped(op.section) + "] " + Escaped(op.key) + "=" +
                              Escaped(op.value) + " changed \"" + Escaped(removed) + "\" at " +
                              std::to_string(prefix) + " of \"" + Escaped(before) + "\"";
    FUZZ_CHECK(removed.find('\n') == std::string_view::npos, where + ": more than one line");
    if (const auto block = SectionBlock(before, op.section))
        FUZZ_CHECK(prefix >= block->first && prefix + removed.size() <= block->second,
                   where + ": outside its section");
    else
        FUZZ_CHECK(prefix == before.size(), where + ": a new section not at the end");
}

std::vector<std::string> Probe(const TIniFile &ini, const std::vector<Key> &keys)
{
    std::vector<std::string> values;
    for (const Key &k : keys)
        values.push_back(ini.ReadString(k.section, k.key, "\x01missing"));
    return values;
}

// `values` holds what the probes read before the write, and afterwards.
void Write(TIniFile &ini, const Op &op, const std::vector<Key> &probes, std::vector<std::string> &values)
{
    const std::string before = ReadAll(ini.FileName());
    std::int32_t number = 0;
    std::from_chars(op.value.data(), op.value.data() + op.value.size(), number);
    const bool flag = !op.value.empty() && op.value != "0";
    try {
        if (op.kind == 'n')
            ini.WriteInteger(op.section, op.key, number);
        else if (op.kind == 'f')
            ini.WriteBool(op.section, op.key, flag);
        else
            ini.WriteString(op.section, op.key, op.value);
    } catch (const std::invalid_argument &) {
        FUZZ_CHECK(ReadAll(ini.FileName()) == before, "a refused write changed the file");
        return;
    } catch (const EIniError &e) {
        FUZZ_CHECK(false, std::string("write failed: ") + e.what());
    }
    CheckChange(before, ReadAll(ini.FileName()), op);

    const std::string text = ini.ReadString(op.section, op.key, "\x01missing");
    if (op.kind == 'n')
        FUZZ_CHECK(ini.ReadInteger(op.section, op.key, ~number) == number && text == std::to_string(number),
                   "integer does not read back: " + Escaped(text));
    else if (op.kind == 'f')
        FUZZ_CHECK(ini.ReadBool(op.section, op.key, !flag) == flag && text == (flag ? "1" : "0"),
                   "boolean does not read back: " + Escaped(text));
    else
        FUZZ_CHECK(text == ReadBack(op.value), "value does not read back: " + Escaped(text));

    std::vector<std::string> after = Probe(ini, probes);
    for (std::size_t i = 0; i < probes.size(); ++i)
        if (!(SameName(probes[i].section, op.section) && SameName(probes[i].key, op.key)))
            FUZZ_CHECK(after[i] == values[i],
                       "writing " + Escaped(op.key) + " changed " + Escaped(probes[i].key) + " from \"" +
                           Escaped(values[i]) + "\" to \"" + Escaped(after[i]) + "\"");
    values = std::move(after);
}

std::vector<Op> ParseOps(std::string_view text)
{
    std::vector<Op> ops;
    while (!text.empty() && ops.size() < 16) {
        const std::size_t lf = text.find('\n');
        std::string_view line = text.substr(0, lf);
        text.remove_prefix(lf == std::string_view::npos ? text.size() : lf + 1);
        if (line.empty())
            continue;
        Op op{line.front(), {}, {}, {}};
        line.remove_prefix(1);
        std::string *fields[] = {&op.section, &op.key, &op.value};
        for (int f = 0; f < 3; ++f) {
            const std::size_t bar = f < 2 ? line.find('|') : std::string_view::npos;
            fields[f]->assign(line.substr(0, bar));
            line.remove_prefix(bar == std::string_view::npos ? line.size() : bar + 1);
        }
        ops.push_back(std::move(op));
    }
    return ops;
}

// What the main window does with the file: reads its keys at start and
// writes them back at close; the section "Interface" must survive unchanged.
std::vector<Op> StartAndClose(const TIniFile &ini)
{
    std::vector<Op> ops;
    for (const Key &k : kWindowKeys) {
        const bool isBool = k.section != "Window" && k.key != "Intervall";
        const std::string value = isBool ? (ini.ReadBool(k.section, k.key, false) ? "1" : "0")
                                         : std::to_string(ini.ReadInteger(k.section, k.key, 60));
        ops.push_back({isBool ? 'f' : 'n', k.section, k.key, value});
    }
    return ops;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    const std::size_t nul = input.find('\0');
    const std::string_view content = nul == std::string_view::npos ? input : input.substr(nul + 1);
    WriteAll(FileName(), content);
    TIniFile ini(FileName());

    const std::vector<Op> ops =
        nul == std::string_view::npos ? StartAndClose(ini) : ParseOps(input.substr(0, nul));
    // Every key the input names, and the program's, once each.
    std::vector<Key> probes(std::begin(kWindowKeys), std::end(kWindowKeys));
    probes.insert(probes.end(), std::begin(kPortKeys), std::end(kPortKeys));
    for (const Op &op : ops)
        if (std::none_of(probes.begin(), probes.end(), [&op](const Key &k) {
                return SameName(k.section, op.section) && SameName(k.key, op.key);
            }))
            probes.push_back({op.section, op.key});
    std::vector<std::string> values = Probe(ini, probes);

    for (const Op &op : ops) {
        switch (op.kind) {
        case 'r':
            ini.ReadString(op.section, op.key, op.value);
            break;
        case 'i': {
            const std::string text = ini.ReadString(op.section, op.key, "");
            const std::int32_t value = ini.ReadInteger(op.section, op.key, 60);
            FUZZ_CHECK(value == IniInteger(text).value_or(60), "integer misread from " + Escaped(text));
            FUZZ_CHECK(ini.ReadBool(op.section, op.key, true) == (IniInteger(text).value_or(1) != 0),
                       "boolean not read as an integer from " + Escaped(text));
            break;
        }
        case 'b':
            ini.ReadBool(op.section, op.key, true);
            break;
        case 'w':
        case 'n':
        case 'f':
            Write(ini, op, probes, values);
            break;
        default:
            break;
        }
    }
    return 0;
}
