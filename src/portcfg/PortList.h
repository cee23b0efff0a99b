#pragma once
// The serial ports the system publishes, as names the serial component
// accepts as DeviceName, and what is behind each of them.

#include <string>
#include <vector>

namespace glowkite {

// Where the system publishes its ports: on Linux the folder /sys/class/tty,
// on Windows the registry key HARDWARE\DEVICEMAP\SERIALCOMM\ of the local
// machine.
extern const char kSerialPortSource[];

// Linux: the tty devices with a real device behind them, as device paths,
// USB adapters first, each group in natural order (/dev/ttyUSB0,
// /dev/ttyUSB1, /dev/ttyS1, ...). Legacy UART slots that the kernel lists
// without hardware (port type 0) are left out.
// Windows: the string data of the key's values that contain "COM" (letter
// case counts), in the order the registry gives them; values that hold no
// text cannot name a port and are passed over.
// `source` is the folder or key to look in (tests give one of their own).
std::vector<std::string> ListSerialPorts(const std::string &source = kSerialPortSource);

struct TSerialPortInfo {
    std::string Path;        // what the serial component opens: /dev/ttyUSB0, COM3
    std::string Description; // what is behind it: "FTDI FT232R USB UART"; empty when unknown
    bool Usb = false;        // a USB adapter (or a USB device with a serial interface)
};

// The ports of ListSerialPorts with what is behind them, in the same order.
// On Windows the descriptions stay empty.
std::vector<TSerialPortInfo> ListSerialPortInfos();

#ifndef _WIN32
// Where a Linux system shows its devices; tests build both trees in a
// folder of their own.
struct TPortRoots {
    std::string SysClassTty = kSerialPortSource;
    std::string SerialById = "/dev/serial/by-id";
};
std::vector<TSerialPortInfo> ListSerialPortInfos(const TPortRoots &roots);
#endif

// "/dev/ttyUSB0 (FTDI FT232R USB UART)", or the path alone when nothing is
// known about the device.
std::string PortDisplayName(const TSerialPortInfo &port);

// The port a display name stands for: the text before " (", so that a
// list entry and a typed path both give what the serial component opens.
std::string PortFromDisplayName(const std::string &text);

// The port to preselect when the settings hold none: the first USB adapter,
// else `fallback` (COM1 in the settings' own terms).
std::string FirstStartPort(const std::vector<TSerialPortInfo> &ports, const std::string &fallback);

// How a device's permissions look to this process.
struct TDeviceAccess {
    std::string Device;
    std::string Group;           // the group that owns the device ("dialout")
    bool GroupCanUse = false;    // the group may read and write it
    bool SystemGroup = false;    // the group is root's own (joining it is no answer)
    std::string User;            // the user this program runs as
    bool UserListed = false;     // the group database lists the user as a member
    bool ProcessHasGroup = false; // this process already runs with that group
};

// Reads the device's owner group and the user's membership; `Group` stays
// empty when the device cannot be examined.
TDeviceAccess ReadDeviceAccess(const std::string &devicePath);

// The German advice for a port that was refused with "Permission denied":
// which group owns the device, that the user must join it and log in again.
std::string PermissionHintText(const TDeviceAccess &access);

// The advice for `devicePath` when this process may not open it for reading
// and writing; empty when it may (or when the device does not exist, which
// the serial component reports itself). Empty on Windows.
std::string PortPermissionHint(const std::string &devicePath);

// Orders ttyS2 before ttyS10.
bool NaturalLess(const std::string &a, const std::string &b);

} // namespace glowkite
