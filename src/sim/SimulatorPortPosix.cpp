// The simulated detector's line on POSIX: a pseudo-terminal or a tty device.
#include "sim/SimulatorPort.h"

#include "serial/SerTermios2.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace glowkite {

std::string TSimulatorPort::OpenPty()
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        throw std::runtime_error(std::string("Cannot create a pseudo-terminal: ") + std::strerror(errno));
    char name[128];
    if (ptsname_r(master, name, sizeof name) != 0) {
        ::close(master);
        throw std::runtime_error(std::string("Cannot name the pseudo-terminal: ") + std::strerror(errno));
    }
    // Raw, so the line discipline neither translates nor echoes frame bytes,
    // whatever the reader does with its own descriptor.
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios t{};
    if (slave < 0 || tcgetattr(slave, &t) != 0) {
        ::close(master);
        if (slave >= 0)
            ::close(slave);
        throw std::runtime_error(std::string("Cannot open ") + name + ": " + std::strerror(errno));
    }
    cfmakeraw(&t);
    tcsetattr(slave, TCSANOW, &t);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    line_ = master;
    slaveFd_ = slave;
    return name;
}

void TSimulatorPort::OpenDevice(const std::string &device)
{
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        throw std::runtime_error("Cannot open " + device + ": " + std::strerror(errno));
    // The detector's line: 35710 baud, 8 data bits, no parity, one stop bit.
    const TSerDCB dcb =
        BuildDCB(brUser, 35710, db8, paNone, sb1, {}, TSerBuffers(), TSerEventChars(), TSerFlowControl());
    TSerTermios2 current;
    if (GetTermios2(fd, current) == 0) {
        if (const int error = SetTermios2(fd, TranslateDCB(dcb, current).Termios); error != 0) {
            ::close(fd);
            throw std::runtime_error("Cannot set 35710 baud on " + device + ": " + std::strerror(error));
        }
    }
    line_ = fd;
}

void TSimulatorPort::CloseLine()
{
    if (slaveFd_ >= 0)
        ::close(slaveFd_);
    if (line_ >= 0)
        ::close(static_cast<int>(line_));
    slaveFd_ = -1;
    line_ = -1;
}

bool TSimulatorPort::WriteAll(const std::vector<std::uint8_t> &bytes)
{
    const int fd = static_cast<int>(line_);
    std::size_t done = 0;
    while (done < bytes.size() && !stop_) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            // Nobody reads: wait for room, but stay stoppable.
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, 100);
            continue;
        }
        if (n <= 0) {
            Fail(std::string("Write error: ") + std::strerror(errno));
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return done == bytes.size();
}

} // namespace glowkite
