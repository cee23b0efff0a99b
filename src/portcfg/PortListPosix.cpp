// The serial ports of a Linux system, from sysfs.
#include "portcfg/PortList.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace glowkite {

namespace fs = std::filesystem;

const char kSerialPortSource[] = "/sys/class/tty";

std::vector<std::string> ListSerialPorts(const std::string &sysClassTty)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(sysClassTty, ec)) {
        const fs::path dir = entry.path();
        if (!fs::exists(dir / "device", ec))
            continue; // virtual terminals, pseudo-terminals, the console
        // The serial core publishes the UART type; 0 means an empty legacy slot.
        std::ifstream type(dir / "type");
        int t = -1;
        if (type >> t && t == 0)
            continue;
        names.push_back(dir.filename().string());
    }
    std::sort(names.begin(), names.end(), NaturalLess);
    for (auto &n : names)
        n = "/dev/" + n;
    return names;
}

} // namespace glowkite
