#include "serial/SerTermios2.h"

#include <asm/termbits.h>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <sys/ioctl.h>

namespace glowkite {

static_assert(sizeof(TSerTermios2) == sizeof(termios2));
static_assert(offsetof(TSerTermios2, c_cc) == offsetof(termios2, c_cc));
static_assert(offsetof(TSerTermios2, c_ispeed) == offsetof(termios2, c_ispeed));
static_assert(sizeof(TSerTermios2::c_cc) == NCCS);

TSerLineSetup TranslateDCB(const TSerDCB &dcb, const TSerTermios2 &current)
{
    TSerLineSetup setup;
    setup.Termios = current;
    if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > 4 || dcb.StopBits > 2) {
        setup.Error = EINVAL;
        return setup;
    }
    TSerTermios2 &t = setup.Termios;

    t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IUCLC | IXON | IXANY |
                   IXOFF | IMAXBEL | INPCK | IGNPAR);
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ISIG | ICANON | XCASE | ECHO | ECHOE | ECHOK | ECHONL | ECHOCTL | ECHOPRT | ECHOKE |
                   IEXTEN | TOSTOP);
    t.c_cflag &= ~(CBAUD | CIBAUD | CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS);
    t.c_cflag |= CLOCAL | CREAD;

    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = dcb.BaudRate;
    t.c_ospeed = dcb.BaudRate;

    static constexpr std::uint32_t sizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= sizes[dcb.ByteSize - 5];

    static constexpr std::uint32_t parities[] = {0, PARENB | PARODD, PARENB, PARENB | PARODD | CMSPAR,
                                                 PARENB | CMSPAR};
    t.c_cflag |= parities[dcb.Parity];
    if (dcb.Flags & DCB_fParity)
        t.c_iflag |= INPCK;

    if (dcb.StopBits != 0)
        t.c_cflag |= CSTOPB;

    const std::uint32_t rtsControl = dcb.Flags & DCB_fRtsControlMask;
    if ((dcb.Flags & DCB_fOutxCtsFlow) || rtsControl == DCB_RTS_CONTROL_HANDSHAKE)
        t.c_cflag |= CRTSCTS;
    if (dcb.Flags & DCB_fOutX)
        t.c_iflag |= IXON;
    if (dcb.Flags & DCB_fInX)
        t.c_iflag |= IXOFF;
    t.c_cc[VSTART] = dcb.XonChar;
    t.c_cc[VSTOP] = dcb.XoffChar;

    // With O_NONBLOCK, VMIN 1 makes an empty queue answer EAGAIN, so that a
    // read of 0 bytes can only mean that the device has gone.
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;

    const std::uint32_t dtrControl = dcb.Flags & DCB_fDtrControlMask;
    setup.Dtr = dtrControl == 0 ? TSerModemLine::Drop
              : dtrControl == DCB_DTR_CONTROL_ENABLE ? TSerModemLine::Raise
                                                     : TSerModemLine::Keep;
    setup.Rts = rtsControl == 0 ? TSerModemLine::Drop
              : rtsControl == DCB_RTS_CONTROL_ENABLE ? TSerModemLine::Raise
                                                     : TSerModemLine::Keep;
    return setup;
}

TSerLineState DescribeTermios2(const TSerTermios2 &t)
{
    TSerLineState s;
    s.Baudrate = (t.c_cflag & CBAUD) == BOTHER ? t.c_ospeed : 0;
    switch (t.c_cflag & CSIZE) {
    case CS5: s.Databits = 5; break;
    case CS6: s.Databits = 6; break;
    case CS7: s.Databits = 7; break;
    default: s.Databits = 8; break;
    }
    if (t.c_cflag & PARENB) {
        const bool odd = (t.c_cflag & PARODD) != 0;
        if (t.c_cflag & CMSPAR)
            s.Parity = odd ? 'M' : 'S';
        else
            s.Parity = odd ? 'O' : 'E';
    }
    s.Stopbits = (t.c_cflag & CSTOPB) ? 2 : 1;
    s.RtsCts = (t.c_cflag & CRTSCTS) != 0;
    s.XonXoffOut = (t.c_iflag & IXON) != 0;
    s.XonXoffIn = (t.c_iflag & IXOFF) != 0;
    s.Raw = (t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN)) == 0 && (t.c_oflag & OPOST) == 0 &&
            (t.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP)) == 0;
    s.Receiver = (t.c_cflag & (CREAD | CLOCAL)) == (CREAD | CLOCAL);
    s.ParityCheck = (t.c_iflag & INPCK) != 0;
    return s;
}

int GetTermios2(int fd, TSerTermios2 &t)
{
    termios2 raw{};
    if (ioctl(fd, TCGETS2, &raw) != 0)
        return errno;
    std::memcpy(static_cast<void *>(&t), &raw, sizeof raw);
    return 0;
}

int SetTermios2(int fd, const TSerTermios2 &t)
{
    termios2 raw{};
    std::memcpy(&raw, &t, sizeof raw);
    return ioctl(fd, TCSETS2, &raw) != 0 ? errno : 0;
}

} // namespace glowkite
