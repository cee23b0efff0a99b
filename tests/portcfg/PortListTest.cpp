#include "portcfg/PortList.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <tuple>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace glowkite;
using glowkite::test::PermissionsEnforced;
using glowkite::test::TempDir;
using glowkite::test::WriteFile;

namespace fs = std::filesystem;

TEST(PortList, ListsTtysWithARealDeviceInNaturalOrder)
{
    TempDir sys;
    auto tty = [&](const std::string &name, bool device, const char *type = nullptr) {
        fs::create_directories(sys.path() / name);
        if (device)
            fs::create_directories(sys.path() / name / "device");
        if (type)
            WriteFile((sys.path() / name / "type").string(), type);
    };
    tty("tty0", false);            // a virtual terminal
    tty("ttyS0", true, "4\n");     // a UART
    tty("ttyS1", true, "0\n");     // an empty legacy slot
    tty("ttyS10", true, "4\n");
    tty("ttyS2", true, "4\n");
    tty("ttyUSB0", true);          // USB adapters publish no type
    tty("ttyACM1", true);
    tty("ptmx", false);
    EXPECT_EQ(ListSerialPorts(sys.path().string()),
              (std::vector<std::string>{"/dev/ttyACM1", "/dev/ttyS0", "/dev/ttyS2", "/dev/ttyS10", "/dev/ttyUSB0"}));
}

TEST(PortList, AMissingFolderGivesAnEmptyList)
{
    EXPECT_TRUE(ListSerialPorts("/nonexistent/sys/class/tty").empty());
}

TEST(PortList, TheMachinesOwnListHoldsDevicePathsOnly)
{
    // Lists, never opens, the real devices.
    for (const auto &p : ListSerialPorts())
        EXPECT_EQ(p.rfind("/dev/tty", 0), 0u) << p;
}

TEST(PortList, NaturalOrder)
{
    EXPECT_TRUE(NaturalLess("ttyS2", "ttyS10"));
    EXPECT_FALSE(NaturalLess("ttyS10", "ttyS2"));
    EXPECT_TRUE(NaturalLess("ttyACM0", "ttyS0"));
    EXPECT_TRUE(NaturalLess("ttyS", "ttyS0"));
    EXPECT_FALSE(NaturalLess("ttyS1", "ttyS1"));
}

namespace {

// A sysfs and a /dev of our own, laid out as the kernel and udev lay them
// out: class/tty entries are links into the device tree, `device` links to
// the port, the USB device above it carries the names.
class FakeSystem {
public:
    FakeSystem()
    {
        fs::create_directories(sys_.path() / "class/tty");
        fs::create_directories(sys_.path() / "devices");
        fs::create_directories(dev_.path() / "serial/by-id");
    }
    TPortRoots Roots() const { return {(sys_.path() / "class/tty").string(), (dev_.path() / "serial/by-id").string()}; }
    std::string ClassTty() const { return (sys_.path() / "class/tty").string(); }

    // A USB device at bus path `usbPath` (below devices/), with its attributes.
    fs::path UsbDevice(const std::string &usbPath, const std::map<std::string, std::string> &attributes)
    {
        const fs::path dir = sys_.path() / "devices/pci0000:00/0000:00:14.0" / usbPath;
        fs::create_directories(dir);
        for (const auto &[name, value] : attributes)
            WriteFile((dir / name).string(), value + "\n");
        return dir;
    }
    // A tty whose `device` is `deviceDir` (a usb-serial port or an interface).
    void Tty(const std::string &name, const fs::path &deviceDir)
    {
        const fs::path ttyDir = deviceDir / "tty" / name;
        fs::create_directories(ttyDir);
        fs::create_directory_symlink(fs::relative(deviceDir, ttyDir), ttyDir / "device");
        fs::create_directory_symlink(fs::relative(ttyDir, sys_.path() / "class/tty"), sys_.path() / "class/tty" / name);
    }
    // An on-board UART of the given type.
    void Uart(const std::string &name, const char *type)
    {
        const fs::path port = sys_.path() / "devices/platform/serial8250" / name;
        fs::create_directories(port);
        Tty(name, port);
        WriteFile((port / "tty" / name / "type").string(), type);
    }
    void ById(const std::string &link, const std::string &tty)
    {
        fs::create_symlink("../../" + tty, dev_.path() / "serial/by-id" / link);
    }

private:
    TempDir sys_, dev_;
};

std::vector<std::string> Shown(const std::vector<TSerialPortInfo> &ports)
{
    std::vector<std::string> shown;
    for (const auto &p : ports)
        shown.push_back(PortDisplayName(p));
    return shown;
}

} // namespace

TEST(PortList, NamesWhatIsBehindEachPortWithUsbAdaptersFirst)
{
    FakeSystem sys;
    // FTDI: the usb-serial port sits below the interface below the device.
    const fs::path ftdi = sys.UsbDevice("usb1/1-2", {{"idVendor", "0403"}, {"idProduct", "6001"},
                                                     {"manufacturer", "FTDI"}, {"product", "FT232R USB UART"}});
    fs::create_directories(ftdi / "1-2:1.0/ttyUSB1");
    sys.Tty("ttyUSB1", ftdi / "1-2:1.0/ttyUSB1");
    sys.ById("usb-FTDI_FT232R_USB_UART_A601XYZ-if00-port0", "ttyUSB1");
    // A dual adapter whose interfaces name themselves; the product repeats the maker.
    const fs::path cp = sys.UsbDevice("usb1/1-3", {{"idVendor", "10c4"}, {"idProduct", "ea70"},
                                                   {"manufacturer", "Silicon Labs"},
                                                   {"product", "Silicon Labs CP2105 Dual USB to UART Bridge Controller"}});
    for (const auto &[intf, tty, text] : {std::tuple{"1-3:1.0", "ttyUSB10", "Enhanced Com Port"},
                                          std::tuple{"1-3:1.1", "ttyUSB2", "Standard Com Port"}}) {
        fs::create_directories(cp / intf / tty);
        WriteFile((cp / intf / "interface").string(), std::string(text) + "\n");
        sys.Tty(tty, cp / intf / tty);
    }
    // CH340 clones publish no strings: udev's by-id name stands in.
    const fs::path ch = sys.UsbDevice("usb1/1-4", {{"idVendor", "1a86"}, {"idProduct", "7523"}});
    fs::create_directories(ch / "1-4:1.0/ttyUSB0");
    sys.Tty("ttyUSB0", ch / "1-4:1.0/ttyUSB0");
    sys.ById("usb-1a86_USB_Serial-if00-port0", "ttyUSB0");
    // No strings and no link: the USB ids at least.
    const fs::path bare = sys.UsbDevice("usb2/2-1", {{"idVendor", "067b"}, {"idProduct", "2303"}});
    fs::create_directories(bare / "2-1:1.0/ttyUSB3");
    sys.Tty("ttyUSB3", bare / "2-1:1.0/ttyUSB3");
    // A CDC ACM device: `device` is the interface itself; its firmware strings are odd.
    const fs::path acm = sys.UsbDevice("usb1/1-5", {{"idVendor", "2341"}, {"idProduct", "0043"},
                                                    {"manufacturer", "Ar\tduino\x01"}, {"product", std::string(80, 'x')}});
    fs::create_directories(acm / "1-5:1.0");
    sys.Tty("ttyACM0", acm / "1-5:1.0");
    sys.Uart("ttyS0", "4\n");
    sys.Uart("ttyS1", "0\n"); // an empty legacy slot

    const auto ports = ListSerialPortInfos(sys.Roots());
    EXPECT_EQ(Shown(ports), (std::vector<std::string>{
                                "/dev/ttyACM0 (Ar duino " + std::string(64, 'x') + ")",
                                "/dev/ttyUSB0 (1a86 USB Serial)",
                                "/dev/ttyUSB1 (FTDI FT232R USB UART)",
                                "/dev/ttyUSB2 (Silicon Labs CP2105 Dual USB to UART Bridge Controller, Standard Com Port)",
                                "/dev/ttyUSB3 (USB 067b:2303)",
                                "/dev/ttyUSB10 (Silicon Labs CP2105 Dual USB to UART Bridge Controller, Enhanced Com Port)",
                                "/dev/ttyS0",
                            }));
    for (std::size_t i = 0; i < ports.size(); ++i)
        EXPECT_EQ(ports[i].Usb, i + 1 < ports.size()) << ports[i].Path;
    // The plain list is the same ports in the same order.
    std::vector<std::string> paths;
    for (const auto &p : ports)
        paths.push_back(p.Path);
    EXPECT_EQ(ListSerialPorts(sys.ClassTty()), paths);
}

TEST(PortList, FirstStartPortIsTheFirstUsbAdapter)
{
    FakeSystem sys;
    sys.Uart("ttyS0", "4\n");
    EXPECT_EQ(FirstStartPort(ListSerialPortInfos(sys.Roots()), "COM1"), "COM1");
    const fs::path usb = sys.UsbDevice("usb1/1-1", {{"idVendor", "0403"}, {"product", "FT232R USB UART"}});
    for (const char *tty : {"ttyUSB7", "ttyUSB3"}) {
        fs::create_directories(usb / "1-1:1.0" / tty);
        sys.Tty(tty, usb / "1-1:1.0" / tty);
    }
    EXPECT_EQ(FirstStartPort(ListSerialPortInfos(sys.Roots()), "COM1"), "/dev/ttyUSB3");
    EXPECT_EQ(FirstStartPort({}, "COM1"), "COM1");
}

TEST(PortList, ADisplayNameGivesBackThePort)
{
    const TSerialPortInfo withParentheses{"/dev/ttyUSB0", "Acme (Europe) Serial (v2)", true};
    EXPECT_EQ(PortDisplayName(withParentheses), "/dev/ttyUSB0 (Acme (Europe) Serial (v2))");
    EXPECT_EQ(PortFromDisplayName(PortDisplayName(withParentheses)), "/dev/ttyUSB0");
    EXPECT_EQ(PortDisplayName({"/dev/ttyS0", "", false}), "/dev/ttyS0");
    // What a user types stays as typed.
    for (const char *typed : {"/dev/ttyS0", "COM1", "/dev/pts/3", "ttyUSB0 (", ""})
        EXPECT_EQ(PortFromDisplayName(typed), typed);
}

TEST(PortList, PermissionHintNamesTheGroupAndWhatToDo)
{
    TDeviceAccess access{"/dev/ttyUSB0", "dialout", true, false, "kai", false, false};
    const std::string join = PermissionHintText(access);
    EXPECT_NE(join.find("/dev/ttyUSB0"), std::string::npos) << join;
    EXPECT_NE(join.find("\"dialout\""), std::string::npos) << join;
    EXPECT_NE(join.find("sudo adduser kai dialout"), std::string::npos) << join;
    EXPECT_NE(join.find("wieder anmelden"), std::string::npos) << join;

    access.UserListed = true; // joined, not yet logged in again
    const std::string relog = PermissionHintText(access);
    EXPECT_EQ(relog.find("adduser"), std::string::npos) << relog;
    EXPECT_NE(relog.find("bereits Mitglied"), std::string::npos) << relog;
    EXPECT_NE(relog.find("wieder anmelden"), std::string::npos) << relog;

    // Never the advice to join root's group or one without rights.
    for (auto [group, canUse, system] : {std::tuple{"root", true, true}, std::tuple{"uucp", false, false}}) {
        const std::string text = PermissionHintText({"/dev/ttyS0", group, canUse, system, "kai", false, false});
        EXPECT_EQ(text.find("adduser"), std::string::npos) << text;
        EXPECT_NE(text.find("udev"), std::string::npos) << text;
    }
    // Nothing known about the device: Debian's group.
    const std::string unknown = PermissionHintText({"/dev/ttyUSB9", "", false, false, "kai", false, false});
    EXPECT_NE(unknown.find("sudo adduser kai dialout"), std::string::npos) << unknown;
}

TEST(PortList, PermissionHintReadsTheDevicesGroup)
{
    TempDir dir;
    const std::string device = dir / "ttyUSB0";
    WriteFile(device, "");
    ::chmod(device.c_str(), 0660);
    EXPECT_EQ(PortPermissionHint(device), "") << "a port this process may open needs no advice";
    EXPECT_EQ(PortPermissionHint(dir / "missing"), "") << "a missing port is the serial component's message";

    const group *own = ::getgrgid(::getegid());
    ASSERT_NE(own, nullptr);
    TDeviceAccess access = ReadDeviceAccess(device);
    EXPECT_EQ(access.Group, own->gr_name);
    EXPECT_TRUE(access.GroupCanUse);
    EXPECT_TRUE(access.ProcessHasGroup);
    EXPECT_TRUE(access.UserListed);
    ::chmod(device.c_str(), 0600);
    EXPECT_FALSE(ReadDeviceAccess(device).GroupCanUse);

    if (::geteuid() != 0)
        GTEST_SKIP() << "handing the device to another owner and group needs root";
    const group *dialout = ::getgrnam("dialout");
    const passwd *nobody = ::getpwnam("nobody");
    if (!dialout || !nobody)
        GTEST_SKIP() << "no group dialout or user nobody";
    ASSERT_EQ(::chown(device.c_str(), nobody->pw_uid, dialout->gr_gid), 0);
    ::chmod(device.c_str(), 0660);
    std::string hint;
    {
        PermissionsEnforced asUser; // root would pass every check
        hint = PortPermissionHint(device);
    }
    EXPECT_NE(hint.find("\"dialout\""), std::string::npos) << hint;
    EXPECT_NE(hint.find("sudo adduser root dialout"), std::string::npos) << hint;
}
