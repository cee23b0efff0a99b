#pragma once
// The serial ports the system publishes, as names the serial component
// accepts as DeviceName.

#include <string>
#include <vector>

namespace glowkite {

// Where the system publishes its ports: on Linux the folder /sys/class/tty,
// on Windows the registry key HARDWARE\DEVICEMAP\SERIALCOMM\ of the local
// machine.
extern const char kSerialPortSource[];

// Linux: the tty devices with a real device behind them, as device paths
// (/dev/ttyUSB0, /dev/ttyS1, ...), in natural order. Legacy UART slots that
// the kernel lists without hardware (port type 0) are left out.
// Windows: the string data of the key's values that contain "COM" (letter
// case counts), in the order the registry gives them; values that hold no
// text cannot name a port and are passed over.
// `source` is the folder or key to look in (tests give one of their own).
std::vector<std::string> ListSerialPorts(const std::string &source = kSerialPortSource);

// Orders ttyS2 before ttyS10.
bool NaturalLess(const std::string &a, const std::string &b);

} // namespace glowkite
