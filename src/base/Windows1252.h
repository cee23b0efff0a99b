#pragma once
// The Windows-1252 code page, in which the program keeps its 8-bit texts
// (the log files are byte-identical to those written on Windows). Only
// 0x80..0x9F differ from Latin-1.

#include <array>
#include <cstddef>

namespace glowkite {

// 0x80..0x9F; the five bytes that Windows leaves undefined map to the C1
// control of the same value, as MultiByteToWideChar does.
inline constexpr std::array<char16_t, 32> Windows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

constexpr char16_t Windows1252ToUnicode(unsigned char b)
{
    return b >= 0x80 && b < 0xA0 ? Windows1252High[b - 0x80] : char16_t(b);
}

// The byte of a character, or -1 when the code page has none.
constexpr int UnicodeToWindows1252(char16_t u)
{
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF))
        return u;
    for (std::size_t i = 0; i < Windows1252High.size(); ++i)
        if (Windows1252High[i] == u)
            return static_cast<int>(0x80 + i);
    return -1;
}

} // namespace glowkite
