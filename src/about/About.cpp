#include "about/About.h"

#include "about/fileUtil.h"
#include "gui/Cp1252.h"
#include "gui/GuiSupport.h"

#include <QApplication>

#include <algorithm>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

namespace glowkite {

namespace {

QFont ArialBold(int pixelSize)
{
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setBold(true);
    return font;
}


} // namespace

TAboutBox::TAboutBox(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("Glowkite  Info"));
    setFont(UiFont(8));
    setWindowIcon(glowkite::ProgramIcon());
    setFixedSize(298, 210);

    Panel1 = Place(new QFrame(this), "Panel1", 8, 8, 281, 161);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);

    ProgramIcon = Place(new QLabel(Panel1), "ProgramIcon", 8, 8, 81, 81);
    ProgramIcon->setAlignment(Qt::AlignCenter);
    ProgramIcon->setPixmap(glowkite::ProgramIcon().pixmap(64, 64));

    // The labels reach to the panel's right edge.
    constexpr int textWidth = 281 - 112 - 8;
    // Each label as high as its font needs (the designed heights fit Arial
    // and Tahoma); the next one below it.
    auto label = [this](const char *name, const QString &text, const QFont &font, int top) {
        auto *l = new QLabel(text, Panel1);
        l->setFont(font);
        return Place(l, name, 112, top, textWidth, l->sizeHint().height());
    };
    ProductName = label("ProductName", QStringLiteral("Glowkite"), ArialBold(16), 16);
    Version = label("Version", QStringLiteral("Version: 1.1"), ArialBold(15),
                    std::max(40, ProductName->geometry().bottom() + 4));
    VersionDate = label("VersionDate", QStringLiteral("Date"), font(), std::max(62, Version->geometry().bottom() + 3));

    OKButton = Place(new QPushButton(QStringLiteral("OK"), this), "OKButton", 118, 178, 65, 26);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

void TAboutBox::FormActivate()
{
    Version->setText(QStringLiteral("Version : %1").arg(FromCp1252(ProgramInfo.FileVersion)));
    VersionDate->setText(FromCp1252(ProgramInfo.BuildDate));
}

void TAboutBox::showEvent(QShowEvent *event)
{
    FormActivate();
    // Centred on the screen, not on the main window.
    if (QScreen *screen = this->screen()) {
        const QRect frame = frameGeometry();
        move(screen->availableGeometry().center() - QPoint(frame.width() / 2, frame.height() / 2));
    }
    QDialog::showEvent(event);
}

} // namespace glowkite
