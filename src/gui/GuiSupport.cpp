#include "gui/GuiSupport.h"

#include "gui/Cp1252.h"

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

TNoticeBox::TNoticeBox(QWidget *parent, Kind kind) : parent_(parent), kind_(kind)
{
}

TNoticeBox::~TNoticeBox()
{
    delete box_.data();
}

void TNoticeBox::Show(const QString &text)
{
    ++count_;
    if (!box_) {
        box_ = new QMessageBox(kind_ == Warning ? QMessageBox::Warning : QMessageBox::Critical,
                               kind_ == Warning ? QStringLiteral("Warnung") : QCoreApplication::applicationName(),
                               text, QMessageBox::Ok, parent_);
        box_->setObjectName(kind_ == Warning ? QStringLiteral("WarningNotice") : QStringLiteral("ErrorNotice"));
        box_->setModal(false);
        box_->setAttribute(Qt::WA_DeleteOnClose);
    }
    box_->setText(text);
    box_->show();
    box_->raise();
}

bool TNoticeBox::IsVisible() const
{
    return box_ && box_->isVisible();
}

QString TNoticeBox::Text() const
{
    return box_ ? box_->text() : QString();
}

QString ExceptionText(const std::exception &e)
{
    return MessageText(e.what());
}

} // namespace glowkite
