// The simulated detector's line on Windows: a serial device.
#include "sim/SimulatorPort.h"

#include <stdexcept>
#include <system_error>
#include <windows.h>

namespace glowkite {

namespace {

std::string SystemText(DWORD code)
{
    return std::system_category().message(static_cast<int>(code));
}

} // namespace

std::string TSimulatorPort::OpenPty()
{
    throw std::runtime_error("Windows has no pseudo-terminals: give the simulated detector a serial port "
                             "(a null-modem pair) instead");
}

void TSimulatorPort::OpenDevice(const std::string &device)
{
    const std::string path = device.rfind("\\\\", 0) == 0 ? device : "\\\\.\\" + device;
    const HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        throw std::runtime_error("Cannot open " + path + ": " + SystemText(GetLastError()));
    // Writes that nobody takes end after a while, so that Stop is heard.
    COMMTIMEOUTS timeouts{};
    timeouts.WriteTotalTimeoutConstant = 100;
    SetCommTimeouts(h, &timeouts);
    line_ = reinterpret_cast<std::intptr_t>(h);
}

void TSimulatorPort::CloseLine()
{
    const HANDLE h = reinterpret_cast<HANDLE>(line_);
    if (h != INVALID_HANDLE_VALUE)
        CloseHandle(h);
    line_ = reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE);
}

bool TSimulatorPort::WriteAll(const std::vector<std::uint8_t> &bytes)
{
    const HANDLE h = reinterpret_cast<HANDLE>(line_);
    std::size_t done = 0;
    while (done < bytes.size() && !stop_) {
        DWORD n = 0;
        if (!WriteFile(h, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &n, nullptr)) {
            Fail("Write error: " + SystemText(GetLastError()));
            break;
        }
        done += n;
    }
    return done == bytes.size();
}

} // namespace glowkite
