#include "portcfg/PortList.h"

#include <cctype>
#include <string_view>

namespace glowkite {

bool NaturalLess(const std::string &a, const std::string &b)
{
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (std::isdigit(static_cast<unsigned char>(a[i])) && std::isdigit(static_cast<unsigned char>(b[j]))) {
            std::size_t ie = i, je = j;
            while (ie < a.size() && std::isdigit(static_cast<unsigned char>(a[ie])))
                ++ie;
            while (je < b.size() && std::isdigit(static_cast<unsigned char>(b[je])))
                ++je;
            // Compare numbers by length first (no leading zeros in tty names), then digits.
            const std::string_view na(a.data() + i, ie - i), nb(b.data() + j, je - j);
            if (na.size() != nb.size())
                return na.size() < nb.size();
            if (na != nb)
                return na < nb;
            i = ie;
            j = je;
        } else {
            if (a[i] != b[j])
                return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

std::string PortDisplayName(const TSerialPortInfo &port)
{
    return port.Description.empty() ? port.Path : port.Path + " (" + port.Description + ")";
}

std::string PortFromDisplayName(const std::string &text)
{
    // Device paths hold no " ("; a description may hold parentheses of its own.
    const auto open = text.find(" (");
    if (open == std::string::npos || text.back() != ')')
        return text;
    return text.substr(0, open);
}

std::string FirstStartPort(const std::vector<TSerialPortInfo> &ports, const std::string &fallback)
{
    // Not the first on-board UART: that is often the machine's console.
    for (const TSerialPortInfo &port : ports)
        if (port.Usb)
            return port.Path;
    return fallback;
}

std::string PermissionHintText(const TDeviceAccess &access)
{
    const std::string start = "Keine Berechtigung für " + access.Device;
    const std::string user = access.User.empty() ? "BENUTZER" : access.User;
    if (access.Group.empty())
        return start + ". Unter Debian gehören serielle Schnittstellen der Gruppe \"dialout\": der Benutzer " +
               user + " muss Mitglied dieser Gruppe werden (sudo adduser " + user +
               " dialout) und sich danach ab- und wieder anmelden.";
    const std::string owned = start + ": das Gerät gehört der Gruppe \"" + access.Group + "\".";
    // Joining root's group, or a group without read and write rights, is no answer.
    if (access.SystemGroup || !access.GroupCanUse)
        return owned + " Über diese Gruppe erhält kein Benutzer Zugriff; eine udev-Regel muss das Gerät der "
                       "Gruppe \"dialout\" mit Lese- und Schreibrecht zuordnen, der der Benutzer dann beitritt.";
    if (access.UserListed && !access.ProcessHasGroup)
        return owned + " Der Benutzer " + user +
               " ist bereits Mitglied, das Programm läuft aber noch ohne diese Gruppe: bitte ab- und wieder "
               "anmelden.";
    if (access.ProcessHasGroup)
        return owned + " Das Programm läuft bereits mit dieser Gruppe; die Rechte des Geräts wurden anders "
                       "gesetzt (ls -l " + access.Device + ").";
    return owned + " Der Benutzer " + user + " muss Mitglied dieser Gruppe werden (sudo adduser " + user + " " +
           access.Group + ") und sich danach ab- und wieder anmelden.";
}

} // namespace glowkite
