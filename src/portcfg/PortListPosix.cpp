// The serial ports of a Linux system, from sysfs and udev's by-id links.
#include "portcfg/PortList.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace glowkite {

namespace fs = std::filesystem;

const char kSerialPortSource[] = "/sys/class/tty";

namespace {

// A sysfs attribute as one line. The strings come from the device's own
// firmware: control characters are blanked and the length is bounded, so a
// strange adapter cannot break the list's layout.
std::string ReadAttribute(const fs::path &file)
{
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line))
        return {};
    if (line.size() > 64)
        line.resize(64);
    for (char &c : line)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = ' ';
    const auto first = line.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return line.substr(first, line.find_last_not_of(' ') - first + 1);
}

struct UsbNames {
    bool found = false;
    std::string manufacturer, product, interfaceName, vendorId, productId;
};

// Walks up from the tty's device to the USB device that carries it (the one
// with idVendor); the USB interface on the way may name itself.
UsbNames FindUsbDevice(const fs::path &ttyDir)
{
    UsbNames names;
    std::error_code ec;
    fs::path p = fs::canonical(ttyDir / "device", ec);
    if (ec)
        return names;
    // A USB serial port sits a few levels below its USB device (port,
    // interface, device); stop well before the root of the tree.
    for (int level = 0; level < 6 && p.has_relative_path(); ++level, p = p.parent_path()) {
        if (fs::exists(p / "idVendor", ec)) {
            names.found = true;
            names.manufacturer = ReadAttribute(p / "manufacturer");
            names.product = ReadAttribute(p / "product");
            names.vendorId = ReadAttribute(p / "idVendor");
            names.productId = ReadAttribute(p / "idProduct");
            return names;
        }
        if (names.interfaceName.empty())
            names.interfaceName = ReadAttribute(p / "interface");
    }
    names.interfaceName.clear();
    return names;
}

std::string UsbDescription(const UsbNames &usb)
{
    std::string text = usb.product;
    if (!usb.manufacturer.empty() && text.rfind(usb.manufacturer, 0) != 0)
        text = text.empty() ? usb.manufacturer : usb.manufacturer + " " + text;
    // Several ports of one adapter differ by their interface's name.
    if (!usb.interfaceName.empty() && text.find(usb.interfaceName) == std::string::npos)
        text = text.empty() ? usb.interfaceName : text + ", " + usb.interfaceName;
    return text;
}

// udev's name for a device, usb-FTDI_FT232R_USB_UART_A601XYZ-if00-port0,
// as readable text: bus prefix and interface suffix off, blanks back.
std::string ByIdText(std::string name)
{
    for (const char *bus : {"usb-", "pci-", "platform-"})
        if (name.rfind(bus, 0) == 0) {
            name.erase(0, std::char_traits<char>::length(bus));
            break;
        }
    const auto suffix = name.rfind("-if");
    if (suffix != std::string::npos && suffix + 3 < name.size() &&
        std::isdigit(static_cast<unsigned char>(name[suffix + 3])))
        name.erase(suffix);
    std::replace(name.begin(), name.end(), '_', ' ');
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    return name;
}

// The by-id names, by the tty they lead to.
std::map<std::string, std::string> ReadById(const std::string &folder)
{
    std::map<std::string, std::string> byTty;
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(folder, ec)) {
        const fs::path target = fs::read_symlink(entry.path(), ec);
        if (ec)
            continue;
        const std::string tty = target.filename().string();
        const std::string text = ByIdText(entry.path().filename().string());
        // Several links may lead to one tty; keep one, whatever the order of the folder.
        auto [it, inserted] = byTty.emplace(tty, text);
        if (!inserted && text < it->second)
            it->second = text;
    }
    return byTty;
}

} // namespace

std::vector<TSerialPortInfo> ListSerialPortInfos(const TPortRoots &roots)
{
    const std::map<std::string, std::string> byId = ReadById(roots.SerialById);
    std::vector<std::pair<std::string, TSerialPortInfo>> found;
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(roots.SysClassTty, ec)) {
        const fs::path dir = entry.path();
        if (!fs::exists(dir / "device", ec))
            continue; // virtual terminals, pseudo-terminals, the console
        // The serial core publishes the UART type; 0 means an empty legacy slot.
        std::ifstream type(dir / "type");
        int t = -1;
        if (type >> t && t == 0)
            continue;
        const std::string name = dir.filename().string();
        TSerialPortInfo info;
        info.Path = "/dev/" + name;
        const UsbNames usb = FindUsbDevice(dir);
        info.Usb = usb.found;
        info.Description = UsbDescription(usb);
        if (info.Description.empty()) {
            if (auto it = byId.find(name); it != byId.end())
                info.Description = it->second;
            else if (usb.found && !usb.vendorId.empty())
                info.Description = "USB " + usb.vendorId + ":" + usb.productId;
        }
        found.emplace_back(name, std::move(info));
    }
    std::sort(found.begin(), found.end(), [](const auto &a, const auto &b) {
        if (a.second.Usb != b.second.Usb)
            return a.second.Usb;
        return NaturalLess(a.first, b.first);
    });
    std::vector<TSerialPortInfo> ports;
    ports.reserve(found.size());
    for (auto &f : found)
        ports.push_back(std::move(f.second));
    return ports;
}

std::vector<TSerialPortInfo> ListSerialPortInfos()
{
    return ListSerialPortInfos(TPortRoots{});
}

std::vector<std::string> ListSerialPorts(const std::string &sysClassTty)
{
    TPortRoots roots;
    roots.SysClassTty = sysClassTty;
    roots.SerialById.clear(); // the paths alone need no names
    std::vector<std::string> paths;
    for (auto &port : ListSerialPortInfos(roots))
        paths.push_back(std::move(port.Path));
    return paths;
}

TDeviceAccess ReadDeviceAccess(const std::string &devicePath)
{
    TDeviceAccess access;
    access.Device = devicePath;
    if (const passwd *user = ::getpwuid(::geteuid()))
        access.User = user->pw_name ? user->pw_name : "";
    struct stat st {};
    if (::stat(devicePath.c_str(), &st) != 0)
        return access;
    const group *owner = ::getgrgid(st.st_gid);
    access.Group = owner && owner->gr_name ? owner->gr_name : std::to_string(st.st_gid);
    access.GroupCanUse = (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    access.SystemGroup = st.st_gid == 0;
    if (owner && owner->gr_mem)
        for (char **member = owner->gr_mem; *member; ++member)
            if (access.User == *member)
                access.UserListed = true;
    if (const passwd *user = ::getpwuid(::geteuid()); user && user->pw_gid == st.st_gid)
        access.UserListed = true; // the user's primary group
    access.ProcessHasGroup = ::getegid() == st.st_gid;
    const int count = ::getgroups(0, nullptr);
    if (count > 0) {
        std::vector<gid_t> groups(static_cast<std::size_t>(count));
        if (::getgroups(count, groups.data()) == count)
            access.ProcessHasGroup =
                access.ProcessHasGroup || std::find(groups.begin(), groups.end(), st.st_gid) != groups.end();
    }
    return access;
}

std::string PortPermissionHint(const std::string &devicePath)
{
    // AT_EACCESS: the rights this process really has, as open() sees them.
    if (::faccessat(AT_FDCWD, devicePath.c_str(), R_OK | W_OK, AT_EACCESS) == 0 || errno != EACCES)
        return {};
    return PermissionHintText(ReadDeviceAccess(devicePath));
}

} // namespace glowkite
