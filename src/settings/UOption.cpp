#include "settings/UOption.h"

#include "gui/GuiSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>

#include <algorithm>

namespace glowkite {

int IntervallIndex(int intervall)
{
    for (std::size_t i = 0; i < IntervallItems.size(); ++i)
        if (IntervallItems[i] == intervall)
            return static_cast<int>(i);
    return -1;
}

namespace {

// The designed sizes fit Tahoma; another font may need more room, wider
// and higher (a check box's indicator too).
template <class W>
W *PlaceText(W *w, const char *name, int left, int top, int width, int height)
{
    const QSize need = w->sizeHint();
    return Place(w, name, left, top, std::max(width, need.width()), std::max(height, need.height()));
}

QCheckBox *CheckBox(QWidget *parent, const char *name, const QString &caption, int left, int top,
                    int width)
{
    return PlaceText(new QCheckBox(caption, parent), name, left, top, width, 17);
}

} // namespace

TFOption::TFOption(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowCloseButtonHint |
                          Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("FOption"));
    setWindowTitle(QStringLiteral("Optionen"));
    setFont(UiFont(8));
    setFixedSize(428, 295);

    pgc_Option = Place(new QTabWidget(this), "pgc_Option", 16, 16, 401, 225);

    tbs_Display = new QWidget;
    tbs_Display->setObjectName(QStringLiteral("tbs_Display"));
    pgc_Option->addTab(tbs_Display, QStringLiteral("Anzeige"));
    cbx_Intervall = Place(new QComboBox(tbs_Display), "cbx_Intervall", 24, 32, 57, 21);
    for (int v : IntervallItems)
        cbx_Intervall->addItem(QString::number(v));
    cbx_Intervall->setCurrentIndex(0);
    lbl_Intervall = PlaceText(new QLabel(QStringLiteral("Anzeigeintervall "), tbs_Display), "lbl_Intervall",
                              96, 32, 79, 13);
    cb_DataSelection = CheckBox(tbs_Display, "cb_DataSelection",
                                QStringLiteral("Nur \u00c4nderungen im Diagramm anzeigen"), 24, 80, 329);
    cb_Version = CheckBox(tbs_Display, "cb_Version", QStringLiteral("Alte Glowkite Version"), 24, 160, 209);

    tbs_Graph = new QWidget;
    tbs_Graph->setObjectName(QStringLiteral("tbs_Graph"));
    pgc_Option->addTab(tbs_Graph, QStringLiteral("Graphen"));
    // AQ and Status are always shown; their boxes only say so.
    cb_AQ = CheckBox(tbs_Graph, "cb_AQ", QStringLiteral("Luftqualit\u00e4t"), 24, 24, 97);
    cb_Status = CheckBox(tbs_Graph, "cb_Status", QStringLiteral("Status"), 24, 56, 97);
    for (QCheckBox *always : {cb_AQ, cb_Status}) {
        always->setChecked(true);
        always->setEnabled(false);
    }
    cb_XPos = CheckBox(tbs_Graph, "cb_XPos", QStringLiteral("X Position"), 24, 88, 97);
    cb_YPos = CheckBox(tbs_Graph, "cb_YPos", QStringLiteral("Y Position"), 24, 120, 97);
    cb_Gain = CheckBox(tbs_Graph, "cb_Gain", QStringLiteral("Verschmutzung"), 24, 152, 97);

    btn_OK = Place(new QPushButton(QStringLiteral("\u00dc&bernehmen"), this), "btn_OK", 240, 248, 75, 25);
    btn_OK->setDefault(true);
    btn_Cancel = Place(new QPushButton(QStringLiteral("&Abbrechen"), this), "btn_Cancel", 336, 248, 75, 25);
    connect(btn_OK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btn_Cancel, &QPushButton::clicked, this, &QDialog::reject);
    pgc_Option->setCurrentIndex(0);
}

} // namespace glowkite
