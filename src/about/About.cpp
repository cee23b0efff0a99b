#include "about/About.h"

#include "about/fileUtil.h"
#include "app/Cp1252.h"

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

QLabel *Label(const QString &text, const char *name, QWidget *parent, int left, int top)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->move(left, top);
    return label;
}

} // namespace

TAboutBox::TAboutBox(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("Glowkite  Info"));
    setFixedSize(298, 210);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setGeometry(8, 8, 281, 161);

    ProgramIcon = Label(QString(), "ProgramIcon", Panel1, 8, 8);
    ProgramIcon->resize(81, 81);
    ProgramIcon->setAlignment(Qt::AlignCenter);
    const QIcon icon = QApplication::windowIcon().isNull()
                           ? style()->standardIcon(QStyle::SP_ComputerIcon)
                           : QApplication::windowIcon();
    ProgramIcon->setPixmap(icon.pixmap(64, 64));

    ProductName = Label(QStringLiteral("Glowkite"), "ProductName", Panel1, 112, 16);
    ProductName->setFont(ArialBold(16));
    Version = Label(QStringLiteral("Version: 1.1"), "Version", Panel1, 112, 40);
    Version->setFont(ArialBold(15));
    VersionDate = Label(QStringLiteral("Date"), "VersionDate", Panel1, 112, 62);
    for (QLabel *label : {ProductName, Version, VersionDate})
        label->setMinimumWidth(Panel1->width() - 112 - 8);

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(118, 178, 65, 26);
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
