// Includes <asm/termbits.h> to check the bits themselves, so this file must
// not include <termios.h> (nor <pty.h>); the pty comes from posix_openpt.
#include "serial/SerTermios2.h"

#include <asm/termbits.h>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace glowkite;

namespace {

TSerDCB SystemBlock()
{
    TSerDCB dcb;
    dcb.BaudRate = 35710;
    dcb.ByteSize = 8;
    dcb.Flags = DCB_fBinary;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    return dcb;
}

// A cooked terminal as a port may have it before it is configured.
TSerTermios2 Cooked()
{
    TSerTermios2 t;
    t.c_iflag = ICRNL | IXON | BRKINT | IMAXBEL;
    t.c_oflag = OPOST | ONLCR;
    t.c_cflag = B9600 | CS7 | PARENB | HUPCL | CRTSCTS | CSTOPB;
    t.c_lflag = ICANON | ECHO | ISIG | IEXTEN | ECHOE;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 5;
    return t;
}

} // namespace

TEST(SerTermios2Test, TheSystemsBlockGivesARawLineAt35710)
{
    const TSerLineSetup s = TranslateDCB(SystemBlock(), Cooked());
    ASSERT_EQ(s.Error, 0);
    const TSerTermios2 &t = s.Termios;
    EXPECT_EQ(t.c_cflag & CBAUD, static_cast<unsigned>(BOTHER));
    EXPECT_EQ((t.c_cflag & CIBAUD) >> IBSHIFT, static_cast<unsigned>(BOTHER));
    EXPECT_EQ(t.c_ospeed, 35710u);
    EXPECT_EQ(t.c_ispeed, 35710u);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<unsigned>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), static_cast<unsigned>(CLOCAL | CREAD));
    EXPECT_NE(t.c_cflag & HUPCL, 0u) << "flags without a counterpart in the block stay";
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL | INPCK | BRKINT), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_cc[VMIN], 1);
    EXPECT_EQ(t.c_cc[VTIME], 0);
    EXPECT_EQ(s.Dtr, TSerModemLine::Drop);
    EXPECT_EQ(s.Rts, TSerModemLine::Drop);

    const TSerLineState d = DescribeTermios2(t);
    EXPECT_EQ(d.Baudrate, 35710u);
    EXPECT_EQ(d.Databits, 8);
    EXPECT_EQ(d.Parity, 'N');
    EXPECT_EQ(d.Stopbits, 1);
    EXPECT_TRUE(d.Raw);
    EXPECT_TRUE(d.Receiver);
    EXPECT_FALSE(d.RtsCts);
}

TEST(SerTermios2Test, AnyRateAboveZeroAndNothingBelow)
{
    TSerDCB dcb = SystemBlock();
    dcb.BaudRate = 110;
    EXPECT_EQ(TranslateDCB(dcb, {}).Termios.c_ospeed, 110u);
    dcb.BaudRate = 4000000;
    EXPECT_EQ(TranslateDCB(dcb, {}).Termios.c_ospeed, 4000000u);
    dcb.BaudRate = 0;
    EXPECT_EQ(TranslateDCB(dcb, {}).Error, EINVAL);
}

TEST(SerTermios2Test, DataBits)
{
    TSerDCB dcb = SystemBlock();
    const unsigned sizes[] = {CS5, CS6, CS7, CS8};
    for (int bits = 5; bits <= 8; ++bits) {
        dcb.ByteSize = static_cast<std::uint8_t>(bits);
        const TSerLineSetup s = TranslateDCB(dcb, Cooked());
        ASSERT_EQ(s.Error, 0);
        EXPECT_EQ(s.Termios.c_cflag & CSIZE, sizes[bits - 5]);
        EXPECT_EQ(DescribeTermios2(s.Termios).Databits, bits);
    }
    dcb.ByteSize = 4;
    EXPECT_EQ(TranslateDCB(dcb, Cooked()).Error, EINVAL);
    dcb.ByteSize = 9;
    EXPECT_EQ(TranslateDCB(dcb, Cooked()).Error, EINVAL);
}

TEST(SerTermios2Test, ParityModes)
{
    TSerDCB dcb = SystemBlock();
    const unsigned modes[] = {0, PARENB | PARODD, PARENB, PARENB | PARODD | CMSPAR, PARENB | CMSPAR};
    const char letters[] = {'N', 'O', 'E', 'M', 'S'};
    for (int p = 0; p <= 4; ++p) {
        dcb.Parity = static_cast<std::uint8_t>(p);
        const TSerLineSetup s = TranslateDCB(dcb, Cooked());
        EXPECT_EQ(s.Termios.c_cflag & (PARENB | PARODD | CMSPAR), modes[p]) << p;
        EXPECT_EQ(DescribeTermios2(s.Termios).Parity, letters[p]);
    }
    dcb.Parity = 5;
    EXPECT_EQ(TranslateDCB(dcb, Cooked()).Error, EINVAL);

    dcb.Parity = 2;
    dcb.Flags |= DCB_fParity;
    EXPECT_NE(TranslateDCB(dcb, {}).Termios.c_iflag & INPCK, 0u);
}

TEST(SerTermios2Test, StopBitsOneAndAHalfSendsTwo)
{
    TSerDCB dcb = SystemBlock();
    dcb.StopBits = 1;
    EXPECT_NE(TranslateDCB(dcb, {}).Termios.c_cflag & CSTOPB, 0u);
    dcb.StopBits = 2;
    EXPECT_NE(TranslateDCB(dcb, {}).Termios.c_cflag & CSTOPB, 0u);
    dcb.StopBits = 0;
    EXPECT_EQ(TranslateDCB(dcb, Cooked()).Termios.c_cflag & CSTOPB, 0u);
    dcb.StopBits = 3;
    EXPECT_EQ(TranslateDCB(dcb, {}).Error, EINVAL);
}

TEST(SerTermios2Test, FlowControlOnlyWhenAskedFor)
{
    TSerDCB dcb = SystemBlock();
    dcb.Flags |= DCB_fOutxCtsFlow;
    EXPECT_NE(TranslateDCB(dcb, {}).Termios.c_cflag & CRTSCTS, 0u);

    dcb = SystemBlock();
    dcb.Flags |= DCB_RTS_CONTROL_HANDSHAKE;
    TSerLineSetup s = TranslateDCB(dcb, {});
    EXPECT_NE(s.Termios.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(s.Rts, TSerModemLine::Keep);

    dcb = SystemBlock();
    dcb.Flags |= DCB_fOutX | DCB_fInX;
    dcb.XonChar = 'Q';
    dcb.XoffChar = 'S';
    s = TranslateDCB(dcb, {});
    EXPECT_EQ(s.Termios.c_iflag & (IXON | IXOFF), static_cast<unsigned>(IXON | IXOFF));
    EXPECT_EQ(s.Termios.c_cc[VSTART], 'Q');
    EXPECT_EQ(s.Termios.c_cc[VSTOP], 'S');
    EXPECT_EQ(s.Termios.c_cflag & CRTSCTS, 0u);
}

TEST(SerTermios2Test, ModemLinesFollowTheirControl)
{
    TSerDCB dcb = SystemBlock();
    dcb.Flags |= DCB_DTR_CONTROL_ENABLE | DCB_RTS_CONTROL_ENABLE;
    TSerLineSetup s = TranslateDCB(dcb, {});
    EXPECT_EQ(s.Dtr, TSerModemLine::Raise);
    EXPECT_EQ(s.Rts, TSerModemLine::Raise);

    dcb = SystemBlock();
    dcb.Flags |= DCB_DTR_CONTROL_HANDSHAKE | DCB_RTS_CONTROL_TOGGLE;
    s = TranslateDCB(dcb, {});
    EXPECT_EQ(s.Dtr, TSerModemLine::Keep);
    EXPECT_EQ(s.Rts, TSerModemLine::Keep);
    EXPECT_EQ(s.Termios.c_cflag & CRTSCTS, 0u);
}

TEST(SerTermios2Test, APseudoTerminalKeeps35710)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);

    TSerTermios2 before;
    ASSERT_EQ(GetTermios2(slave, before), 0);
    const TSerLineSetup s = TranslateDCB(SystemBlock(), before);
    ASSERT_EQ(SetTermios2(slave, s.Termios), 0);

    TSerTermios2 after;
    ASSERT_EQ(GetTermios2(slave, after), 0);
    const TSerLineState d = DescribeTermios2(after);
    EXPECT_EQ(d.Baudrate, 35710u);
    EXPECT_EQ(d.Databits, 8);
    EXPECT_TRUE(d.Raw);
    EXPECT_TRUE(d.Receiver);

    TSerTermios2 ignored;
    EXPECT_EQ(GetTermios2(-1, ignored), EBADF);
    close(slave);
    close(master);
}
