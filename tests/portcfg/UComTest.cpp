#include "portcfg/UCom.h"

#include "serial/SerComm.h"
#include "settings/IniFile.h"
#include "support/QtHelpers.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace glowkite;
using namespace glowkite::test;

namespace {

class UComTest : public ::testing::Test {
protected:
    std::string Ini() const { return dir / "glowkite.INI"; }
    std::unique_ptr<TFComCfg> Make(std::vector<std::string> ports = {"/dev/ttyUSB0", "/dev/ttyUSB1"})
    {
        return std::make_unique<TFComCfg>(Ini(), nullptr, [ports] {
            std::vector<TSerialPortInfo> infos;
            for (const std::string &p : ports)
                infos.push_back({p, {}, false});
            return infos;
        });
    }
    // Shows the dialog as the main window does and closes it with a button.
    int ShowAndPress(TFComCfg &d, QPushButton *button, std::function<void()> before = {})
    {
        d.LoadFromComm();
        OnNextModal([&](QWidget *) {
            if (before)
                before();
            button->click();
        });
        return d.exec();
    }
    RuntimeDirOverride runtime;
    TempDir dir;
};

} // namespace

TEST_F(UComTest, WithoutSettingsTheComponentGetsTheDefaults)
{
    auto d = Make();
    TSerComm &c = d->SerialComm();
    EXPECT_EQ(c.DeviceName(), "COM1");
    EXPECT_EQ(c.Baudrate(), brUser);
    EXPECT_EQ(c.UserBaudrate(), 35710);
    EXPECT_EQ(c.Databits(), db8);
    EXPECT_EQ(c.Parity(), paNone);
    EXPECT_EQ(c.Stopbits(), sb1);
    EXPECT_EQ(d->SettingsText(), " 8 None 1");
    EXPECT_FALSE(d->cbx_DataBits->isEnabled());
    EXPECT_FALSE(d->cbx_baudrate->isEnabled());
    EXPECT_EQ(d->cbx_baudrate->count(), 8);
    EXPECT_EQ(d->windowTitle(), QStringLiteral("glowKite Schnittstellen Parameter"));
}

TEST_F(UComTest, StoredParametersSelectTheirEntriesIgnoringCase)
{
    WriteFile(Ini(), "[Interface]\r\nComPort=COM4\r\nBaudrate=9600\r\nDatabits=7\r\nParity=even\r\nStopbits=2\r\n");
    auto d = Make();
    TSerComm &c = d->SerialComm();
    EXPECT_EQ(c.DeviceName(), "COM4");
    EXPECT_EQ(c.Baudrate(), brUser); // the stored rate is read, not used
    EXPECT_EQ(c.UserBaudrate(), 35710);
    EXPECT_EQ(c.Databits(), db7);
    EXPECT_EQ(c.Parity(), paEven); // "Even" is the second entry but paEven the third value
    EXPECT_EQ(c.Stopbits(), sb2);
    EXPECT_EQ(d->SettingsText(), " 7 Even 2");

    WriteFile(Ini(), "[Interface]\r\nParity=Odd\r\nDatabits=9\r\n");
    auto odd = Make();
    EXPECT_EQ(odd->SerialComm().Parity(), paOdd);
    EXPECT_EQ(odd->SerialComm().Databits(), db8); // no entry matches: the component keeps its value
    EXPECT_EQ(odd->cbx_DataBits->currentIndex(), -1);
    EXPECT_EQ(odd->SettingsText(), "  Odd 1");
}

TEST_F(UComTest, ShowsTheSystemsPortsAndSelectsTheStoredOneByExactName)
{
    WriteFile(Ini(), "[Interface]\r\nComPort=COM4\r\n");
    auto d = Make({"COM3", "COM4"});
    ShowAndPress(*d, d->btn_Cancel, [&] {
        ASSERT_EQ(d->cbx_Com->count(), 2);
        EXPECT_EQ(d->cbx_Com->itemText(0), QStringLiteral("COM3"));
        EXPECT_EQ(d->cbx_Com->currentText(), QStringLiteral("COM4"));
        EXPECT_EQ(d->cbx_Com->currentIndex(), 1);
        EXPECT_EQ(d->cbx_baudrate->currentText(), QStringLiteral("glowKite"));
        EXPECT_EQ(d->cbx_Parity->currentText(), QStringLiteral("None"));
    });

    WriteFile(Ini(), "[Interface]\r\nComPort=com4\r\nParity=none\r\n");
    auto lower = Make({"COM3", "COM4"});
    ShowAndPress(*lower, lower->btn_Cancel, [&] {
        EXPECT_EQ(lower->cbx_Com->currentIndex(), -1); // letter case counts for the port
        EXPECT_EQ(lower->cbx_Com->currentText(), QStringLiteral("com4")); // the port in use is shown
        EXPECT_EQ(lower->cbx_Parity->currentText(), QStringLiteral("None"));
    });
}

TEST_F(UComTest, NoPortsFoundWarnsAndOffersCom1AndCom2)
{
    auto d = Make({});
    auto seen = CloseNextMessageBox();
    ShowAndPress(*d, d->btn_Cancel, [&] {
        EXPECT_EQ(d->cbx_Com->count(), 2);
        EXPECT_EQ(d->cbx_Com->itemText(1), QStringLiteral("COM2"));
    });
    ASSERT_TRUE(seen->shown);
    EXPECT_EQ(seen->title, QStringLiteral("Warnung"));
    EXPECT_EQ(seen->text, QStringLiteral("Schnittstellen konnten nicht ermittelt werden \n\r"
                                         "Es stehen nur COM1 und COM2 zur Auswahl"));
}

TEST_F(UComTest, SaveAppliesAndStoresTheChosenPortCancelChangesNothing)
{
    WriteFile(Ini(), "[Window]\r\nMain.Left=5\r\n[Interface]\r\nComPort=/dev/ttyUSB0\r\nBaudrate=2400\r\n");
    auto d = Make();
    // Cancel after choosing another port: nothing applied or written.
    const std::string before = ReadFile(Ini());
    EXPECT_EQ(ShowAndPress(*d, d->btn_Cancel, [&] { d->cbx_Com->activated(1); }), QDialog::Rejected);
    EXPECT_EQ(d->SerialComm().DeviceName(), "/dev/ttyUSB0");
    EXPECT_EQ(ReadFile(Ini()), before);

    // The user types a device path (a pseudo-terminal, say) and saves.
    EXPECT_EQ(ShowAndPress(*d, d->btn_Save,
                           [&] {
                               d->cbx_Com->lineEdit()->clear();
                               QTest::keyClicks(d->cbx_Com->lineEdit(), QStringLiteral("/dev/pts/7"));
                           }),
              QDialog::Accepted);
    EXPECT_EQ(d->PortName(), "/dev/pts/7");
    d->ApplyToComm();
    EXPECT_EQ(d->SerialComm().DeviceName(), "/dev/pts/7");
    EXPECT_EQ(ReadFile(Ini()), "[Window]\r\nMain.Left=5\r\n[Interface]\r\nComPort=/dev/pts/7\r\nBaudrate=\r\n"
                               "Databits=8\r\nParity=None\r\nStopbits=1\r\n");
    EXPECT_EQ(d->SettingsText(), " 8 None 1");

    // The next program start reads it back.
    auto again = Make();
    EXPECT_EQ(again->SerialComm().DeviceName(), "/dev/pts/7");
}

TEST_F(UComTest, OnlyTheUsersChangesRunTheChangeHandlers)
{
    auto d = Make({"A", "B"});
    d->LoadFromComm();
    d->FillComPorts();
    d->cbx_Com->setCurrentIndex(1); // the program's own selection
    d->cbx_Parity->setCurrentIndex(2);
    EXPECT_EQ(d->PortName(), "COM1");
    EXPECT_EQ(d->PortParity(), paNone);
    d->cbx_Com->activated(1); // what a user's selection reports
    EXPECT_EQ(d->PortName(), "B");
    d->cbx_Parity->activated(2);
    EXPECT_EQ(d->PortParity(), paOdd);
}

TEST_F(UComTest, TheListNamesWhatIsBehindEachPortAndAChoiceGivesThePath)
{
    const std::vector<TSerialPortInfo> ports{{"/dev/ttyUSB0", "FTDI FT232R USB UART", true},
                                             {"/dev/ttyACM0", "Arduino (Uno)", true},
                                             {"/dev/ttyS1", "", false}};
    TFComCfg d(Ini(), nullptr, [ports] { return ports; });
    // First start: the first USB adapter, not COM1.
    EXPECT_EQ(d.SerialComm().DeviceName(), "/dev/ttyUSB0");
    d.LoadFromComm();
    d.FillComPorts();
    ASSERT_EQ(d.cbx_Com->count(), 3);
    EXPECT_EQ(d.cbx_Com->itemText(0), "/dev/ttyUSB0 (FTDI FT232R USB UART)");
    EXPECT_EQ(d.cbx_Com->itemText(1), "/dev/ttyACM0 (Arduino (Uno))");
    EXPECT_EQ(d.cbx_Com->itemText(2), "/dev/ttyS1");

    EXPECT_EQ(ShowAndPress(d, d.btn_Save, [&] {
                  EXPECT_EQ(d.cbx_Com->currentIndex(), 0) << "the stored path selects its named entry";
                  d.cbx_Com->setCurrentIndex(1);
                  d.cbx_Com->activated(1);
              }),
              QDialog::Accepted);
    EXPECT_EQ(d.PortName(), "/dev/ttyACM0");
    d.ApplyToComm();
    EXPECT_EQ(TIniFile(Ini()).ReadString("Interface", "ComPort", ""), "/dev/ttyACM0");
    // A typed path is taken as it is.
    d.cbx_Com->lineEdit()->setText("/dev/pts/3");
    d.cbx_Com->lineEdit()->textEdited("/dev/pts/3");
    EXPECT_EQ(d.PortName(), "/dev/pts/3");
}

TEST_F(UComTest, AStoredPortIsKeptWhenAUsbAdapterIsPresent)
{
    WriteFile(Ini(), "[Interface]\r\nComPort=/dev/ttyS0\r\n");
    TFComCfg d(Ini(), nullptr, [] { return std::vector<TSerialPortInfo>{{"/dev/ttyUSB0", "FT232R", true}}; });
    EXPECT_EQ(d.SerialComm().DeviceName(), "/dev/ttyS0");
    TFComCfg none(dir / "other.INI", nullptr, [] { return std::vector<TSerialPortInfo>{{"/dev/ttyS4", "", false}}; });
    EXPECT_EQ(none.SerialComm().DeviceName(), "COM1");
}

TEST_F(UComTest, EveryLabelIsWideAndHighEnoughForItsText)
{
    auto d = Make();
    d->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(d.get()));
    for (QLabel *label : d->findChildren<QLabel *>()) {
        const QFontMetrics fm(label->font());
        const QRect need = fm.boundingRect(label->text());
        EXPECT_GE(label->width(), fm.horizontalAdvance(label->text())) << label->objectName().toStdString();
        EXPECT_GE(label->height(), need.height()) << label->objectName().toStdString();
    }
    EXPECT_GE(d->width(), 377);
    EXPECT_GE(d->height(), 266);
    // The boxes stand beside their labels, in one column, within the frames.
    for (QComboBox *box : {d->cbx_baudrate, d->cbx_DataBits, d->cbx_Parity, d->cbx_StopBits}) {
        EXPECT_GE(box->width(), 145);
        EXPECT_EQ(box->mapTo(d.get(), QPoint()).x(), d->cbx_Com->mapTo(d.get(), QPoint()).x());
        EXPECT_TRUE(d->Bevel2->geometry().contains(box->geometry().translated(d->Bevel2->pos())));
    }
    EXPECT_GT(d->cbx_Com->mapTo(d.get(), QPoint()).x(),
              d->lbl_Com->mapTo(d.get(), QPoint()).x() + QFontMetrics(d->lbl_Com->font()).horizontalAdvance("Schnittstelle"));
}
