#pragma once
// The serial ports the system publishes, as names the serial component
// accepts as DeviceName.

#include <string>
#include <vector>

namespace glowkite {

// Linux: the tty devices with a real device behind them, as device paths
// (/dev/ttyUSB0, /dev/ttyS1, ...), in natural order. Legacy UART slots that
// the kernel lists without hardware (port type 0) are left out. sysClassTty
// is the folder to look in (tests give a folder of their own).
std::vector<std::string> ListSerialPorts(const std::string &sysClassTty = "/sys/class/tty");

// Orders ttyS2 before ttyS10.
bool NaturalLess(const std::string &a, const std::string &b);

} // namespace glowkite
