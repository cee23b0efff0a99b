#include "app/GuiSupport.h"

#include "app/Cp1252.h"

#include <QCoreApplication>
#include <QFontDatabase>
#include <QMessageBox>

namespace glowkite {

QFont UiFont(int pointSize, bool bold)
{
    static const bool haveTahoma = QFontDatabase::families().contains(QStringLiteral("Tahoma"));
    QFont font = haveTahoma ? QFont(QStringLiteral("Tahoma")) : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(pointSize);
    font.setBold(bold);
    return font;
}

void ShowErrorBox(QWidget *parent, const QString &message)
{
    QMessageBox::critical(parent, QCoreApplication::applicationName(), message);
}

QString ExceptionText(const std::exception &e)
{
    return MessageText(e.what());
}

} // namespace glowkite
