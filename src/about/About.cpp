#include "about/About.h"

#include "about/fileUtil.h"
#include "gui/Cp1252.h"
#include "gui/GuiSupport.h"

#include <QApplication>
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
    setFixedSize(298, 210);

    Panel1 = Place(new QFrame(this), "Panel1", 8, 8, 281, 161);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);

    ProgramIcon = Place(new QLabel(Panel1), "ProgramIcon", 8, 8, 81, 81);
    ProgramIcon->setAlignment(Qt::AlignCenter);
    const QIcon icon = QApplication::windowIcon().isNull()
                           ? style()->standardIcon(QStyle::SP_ComputerIcon)
                           : QApplication::windowIcon();
    ProgramIcon->setPixmap(icon.pixmap(64, 64));

    // The labels reach to the panel's right edge.
    constexpr int textWidth = 281 - 112 - 8;
    ProductName = Place(new QLabel(QStringLiteral("Glowkite"), Panel1), "ProductName", 112, 16, textWidth, 20);
    ProductName->setFont(ArialBold(16));
    Version = Place(new QLabel(QStringLiteral("Version: 1.1"), Panel1), "Version", 112, 40, textWidth, 19);
    Version->setFont(ArialBold(15));
    VersionDate = Place(new QLabel(QStringLiteral("Date"), Panel1), "VersionDate", 112, 62, textWidth, 16);

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

void TAboutBox::SetDataFolder(const QString &folder)
{
    constexpr int width = 265;
    if (!DataFolder) {
        DataFolder = Place(new QLabel(Panel1), "DataFolder", 8, 136, width, 16);
        DataFolder->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }
    // A long path is cut at the left, where its least telling part is.
    const QString caption = QStringLiteral("Daten: ");
    const QFontMetrics metrics = DataFolder->fontMetrics();
    DataFolder->setText(caption + metrics.elidedText(folder, Qt::ElideLeft, width - metrics.horizontalAdvance(caption)));
    DataFolder->setToolTip(folder);
}

} // namespace glowkite
