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
