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

TNoticeBox::TNoticeBox(QWidget *parent, Kind kind) : parent_(parent), kind_(kind), shown_(kind)
{
}

TNoticeBox::~TNoticeBox()
{
    delete box_.data();
}

void TNoticeBox::Show(const QString &text)
{
    Show(text, kind_);
}

void TNoticeBox::Show(const QString &text, Kind kind)
{
    ++count_;
    if (!box_) {
        box_ = new QMessageBox(QMessageBox::NoIcon, QString(), text, QMessageBox::Ok, parent_);
        box_->setObjectName(kind_ == Error ? QStringLiteral("ErrorNotice") : QStringLiteral("WarningNotice"));
        box_->setModal(false);
        box_->setAttribute(Qt::WA_DeleteOnClose);
    }
    shown_ = kind;
    switch (kind) {
    case Warning:
        box_->setIcon(QMessageBox::Warning);
        box_->setWindowTitle(QStringLiteral("Warnung"));
        break;
    case Error:
        box_->setIcon(QMessageBox::Critical);
        box_->setWindowTitle(QCoreApplication::applicationName());
        break;
    case Information:
        box_->setIcon(QMessageBox::Information);
        box_->setWindowTitle(QStringLiteral("Information"));
        break;
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
