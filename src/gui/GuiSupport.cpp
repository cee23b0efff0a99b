#include "gui/GuiSupport.h"

#include "gui/Cp1252.h"

#include <QCoreApplication>
#include <QApplication>
#include <QFontDatabase>
#include <QImageReader>
#include <QStyle>
#include <QMessageBox>

namespace glowkite {

namespace {

// Tahoma where it is installed; else the installed sans-serif closest to it
// (Tahoma is a narrow Verdana, as DejaVu Sans Condensed is a narrow Bitstream
// Vera), so the designed widths still roughly hold.
QFont BaseUiFont()
{
    const QStringList families = QFontDatabase::families();
    struct Candidate {
        const char *family;
        int stretch;
    };
    for (const Candidate c : {Candidate{"Tahoma", QFont::Unstretched}, Candidate{"DejaVu Sans", QFont::SemiCondensed},
                              Candidate{"Liberation Sans", QFont::Unstretched},
                              Candidate{"Noto Sans", QFont::Unstretched}}) {
        const QString family = QString::fromLatin1(c.family);
        if (families.contains(family)) {
            QFont font(family);
            font.setStretch(c.stretch);
            return font;
        }
    }
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

} // namespace

QFont UiFont(int pointSize, bool bold)
{
    static const QFont base = BaseUiFont();
    QFont font = base;
    font.setPointSize(pointSize);
    font.setBold(bold);
    return font;
}

QIcon ProgramIcon()
{
    if (QImageReader::supportedImageFormats().contains("svg")) {
        QIcon icon(QStringLiteral(":/glowkite/glowkite.svg"));
        if (!icon.pixmap(64, 64).isNull())
            return icon;
    }
    return QApplication::style()->standardIcon(QStyle::SP_ComputerIcon);
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
