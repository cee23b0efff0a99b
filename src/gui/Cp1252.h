#pragma once
// Windows-1252 <-> QString. The program keeps its texts as Windows-1252
// bytes (the log files are byte-identical to those written on Windows), and
// Qt 6 has no codec for that code page.

#include <QString>

#include <string>
#include <string_view>

namespace glowkite {

QString FromCp1252(std::string_view bytes);

// Characters without a Windows-1252 byte become '?'.
std::string ToCp1252(const QString &text);

// The text of an exception message: UTF-8 when it is valid UTF-8 (paths
// and the runtime's messages), else Windows-1252 (the program's own texts).
QString MessageText(std::string_view bytes);

} // namespace glowkite
