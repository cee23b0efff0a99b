// The serial ports of a Windows system, from the registry.
#include "portcfg/PortList.h"

#include <windows.h>

namespace glowkite {

const char kSerialPortSource[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM\\";

std::vector<std::string> ListSerialPorts(const std::string &source)
{
    std::vector<std::string> names;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, source.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return names; // no key: no ports
    for (DWORD index = 0;; ++index) {
        char valueName[256];
        DWORD nameLength = sizeof valueName;
        DWORD type = 0;
        BYTE data[256];
        DWORD dataLength = sizeof data - 1;
        const LONG result =
            RegEnumValueA(key, index, valueName, &nameLength, nullptr, &type, data, &dataLength);
        if (result == ERROR_NO_MORE_ITEMS)
            break;
        if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
            continue;
        data[dataLength] = 0;
        const std::string text(reinterpret_cast<const char *>(data));
        if (text.find("COM") != std::string::npos)
            names.push_back(text);
    }
    RegCloseKey(key);
    return names;
}

std::vector<TSerialPortInfo> ListSerialPortInfos()
{
    std::vector<TSerialPortInfo> ports;
    for (std::string &name : ListSerialPorts())
        ports.push_back({std::move(name), {}, false});
    return ports;
}

TDeviceAccess ReadDeviceAccess(const std::string &devicePath)
{
    TDeviceAccess access;
    access.Device = devicePath;
    return access;
}

// Windows grants serial ports to every user; a refused open means the port is in use.
std::string PortPermissionHint(const std::string &)
{
    return {};
}

} // namespace glowkite
