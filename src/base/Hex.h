#pragma once
// Hexadecimal digits, upper case, as every text of the program writes bytes.

#include <cstdint>
#include <string>

namespace glowkite {

inline constexpr char HexDigits[] = "0123456789ABCDEF";

// Appends b as two digits, high nibble first.
inline void AppendHex(std::string &out, std::uint8_t b)
{
    out += HexDigits[b >> 4];
    out += HexDigits[b & 0x0F];
}

// The value of one hexadecimal digit of either case, or -1.
constexpr int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace glowkite
