#include "app/Cp1252.h"

#include <QStringDecoder>

#include <array>

namespace glowkite {

namespace {

// 0x80..0x9F; the five bytes that Windows leaves undefined map to the C1
// control of the same value, as MultiByteToWideChar does.
constexpr std::array<char16_t, 32> High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char16_t ToUnicode(unsigned char b)
{
    return b >= 0x80 && b < 0xA0 ? High[b - 0x80] : char16_t(b);
}

} // namespace

QString FromCp1252(std::string_view bytes)
{
    QString s(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
    QChar *out = s.data();
    for (char c : bytes)
        *out++ = QChar(ToUnicode(static_cast<unsigned char>(c)));
    return s;
}

std::string ToCp1252(const QString &text)
{
    std::string out;
    out.reserve(static_cast<std::size_t>(text.size()));
    for (QChar ch : text) {
        const char16_t u = ch.unicode();
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            out += static_cast<char>(u);
            continue;
        }
        char b = '?';
        for (std::size_t i = 0; i < High.size(); ++i)
            if (High[i] == u) {
                b = static_cast<char>(0x80 + i);
                break;
            }
        out += b;
    }
    return out;
}

QString MessageText(std::string_view bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString s = utf8(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    return utf8.hasError() ? FromCp1252(bytes) : s;
}

} // namespace glowkite
