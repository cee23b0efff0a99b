#include "gui/Cp1252.h"

#include "base/Windows1252.h"

#include <QStringDecoder>

namespace glowkite {

QString FromCp1252(std::string_view bytes)
{
    QString s(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
    QChar *out = s.data();
    for (char c : bytes)
        *out++ = QChar(Windows1252ToUnicode(static_cast<unsigned char>(c)));
    return s;
}

std::string ToCp1252(const QString &text)
{
    std::string out;
    out.reserve(static_cast<std::size_t>(text.size()));
    for (QChar ch : text) {
        const int b = UnicodeToWindows1252(ch.unicode());
        out += b < 0 ? '?' : static_cast<char>(b);
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
