#include "serial/SerDCB.h"

#include <gtest/gtest.h>

#include <cstddef>

using namespace glowkite;

namespace {

struct Settings {
    TSerBaudrate baudrate = brUser;
    std::int32_t userBaudrate = 35710;
    TSerDatabits databits = db8;
    TSerParity parity = paNone;
    TSerStopbits stopbits = sb1;
    TSerCommOptions options;
    TSerBuffers buffers;
    TSerEventChars eventChars;
    TSerFlowControl flowControl;

    TSerDCB Build() const
    {
        return BuildDCB(baudrate, userBaudrate, databits, parity, stopbits, options, buffers, eventChars,
                        flowControl);
    }
};

} // namespace

TEST(SerDCBTest, LayoutMirrorsTheWin32Block)
{
    EXPECT_EQ(offsetof(TSerDCB, BaudRate), 4u);
    EXPECT_EQ(offsetof(TSerDCB, Flags), 8u);
    EXPECT_EQ(offsetof(TSerDCB, XonLim), 14u);
    EXPECT_EQ(offsetof(TSerDCB, ByteSize), 18u);
    EXPECT_EQ(offsetof(TSerDCB, XonChar), 21u);
    EXPECT_EQ(offsetof(TSerDCB, EvtChar), 25u);
    EXPECT_EQ(offsetof(TSerDCB, wReserved1), 26u);
}

TEST(SerDCBTest, TheSystemsSettings)
{
    const TSerDCB dcb = Settings{}.Build();
    EXPECT_EQ(dcb.DCBlength, 0u);
    EXPECT_EQ(dcb.BaudRate, 35710u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, 0);
    EXPECT_EQ(dcb.StopBits, 0);
    EXPECT_EQ(dcb.XonChar, 0x11);
    EXPECT_EQ(dcb.XoffChar, 0x13);
    EXPECT_EQ(dcb.ErrorChar, 0);
    EXPECT_EQ(dcb.EofChar, 0);
    EXPECT_EQ(dcb.EvtChar, 0);
    EXPECT_EQ(dcb.XonLim, 1024);
    EXPECT_EQ(dcb.XoffLim, 1024);
    EXPECT_EQ(dcb.Flags, DCB_fBinary);
    EXPECT_EQ(dcb.wReserved, 0);
    EXPECT_EQ(dcb.wReserved1, 0);
}

TEST(SerDCBTest, Rates)
{
    Settings s;
    s.userBaudrate = 0;
    EXPECT_EQ(s.Build().BaudRate, 0u);
    s.baudrate = br57600;
    s.userBaudrate = 35710;
    EXPECT_EQ(s.Build().BaudRate, 57600u);
    s.baudrate = br110;
    EXPECT_EQ(s.Build().BaudRate, 110u);
    s.baudrate = br256000;
    EXPECT_EQ(s.Build().BaudRate, 256000u);
}

TEST(SerDCBTest, ParityDatabitsAndStopbitsCodes)
{
    Settings s;
    s.parity = paOdd;
    EXPECT_EQ(s.Build().Parity, 1);
    s.parity = paEven;
    EXPECT_EQ(s.Build().Parity, 2);
    s.parity = paSpace;
    EXPECT_EQ(s.Build().Parity, 4);
    s.stopbits = sb15;
    EXPECT_EQ(s.Build().StopBits, 1);
    s.stopbits = sb2;
    EXPECT_EQ(s.Build().StopBits, 2);
    s.databits = db4;
    EXPECT_EQ(s.Build().ByteSize, 4);
    s.databits = db7;
    EXPECT_EQ(s.Build().ByteSize, 7);
}

TEST(SerDCBTest, OptionsAndLineControlFlags)
{
    Settings s;
    s.options = {coErrorChar, coNullStrip, coParityCheck};
    EXPECT_EQ(s.Build().Flags, DCB_fBinary | 0x0400u | 0x0800u | 0x0002u);

    Settings t;
    t.flowControl.SetControlRts(rtsToggle);
    t.flowControl.SetControlDtr(dtrHandshake);
    EXPECT_EQ(t.Build().Flags, DCB_fBinary | 0x3000u | 0x0020u);

    Settings u;
    u.flowControl.SetControlRts(rtsHandshake);
    u.flowControl.SetControlDtr(dtrEnabled);
    EXPECT_EQ(u.Build().Flags, DCB_fBinary | 0x2000u | 0x0010u);
}

TEST(SerDCBTest, FlowControlFlags)
{
    Settings s;
    s.flowControl.SetOutCtsFlow(true);
    s.flowControl.SetOutDsrFlow(true);
    s.flowControl.SetDsrSensitivity(true);
    s.flowControl.SetTxContinueOnXoff(true);
    s.flowControl.SetXonXoffOut(true);
    s.flowControl.SetXonXoffIn(true);
    EXPECT_EQ(s.Build().Flags, DCB_fBinary | 0x0004u | 0x0008u | 0x0040u | 0x0080u | 0x0100u | 0x0200u);
}

TEST(SerDCBTest, LimitsAndCharacters)
{
    Settings s;
    s.buffers.SetXonLimit(70000);
    s.buffers.SetXoffLimit(65535);
    s.eventChars.SetErrorChar('?');
    s.eventChars.SetEofChar(0x1A);
    s.eventChars.SetEventChar('\n');
    const TSerDCB dcb = s.Build();
    EXPECT_EQ(dcb.XonLim, 4464);
    EXPECT_EQ(dcb.XoffLim, 65535);
    EXPECT_EQ(dcb.ErrorChar, '?');
    EXPECT_EQ(dcb.EofChar, 0x1A);
    EXPECT_EQ(dcb.EvtChar, '\n');
}

TEST(SerDCBTest, EventValuesInTheirOrder)
{
    EXPECT_EQ(CommEventMask({ceError, ceRxChar, ceTxEmpty}), 0x0085u);
    EXPECT_EQ(CommEventMask({ceBreak, ceCts, ceDsr, ceRing, ceRlsd}), 0x0040u | 0x0008u | 0x0010u | 0x0100u | 0x0020u);
    EXPECT_EQ(CommEventMask({ceRxFlag, cePErr, ceRx80Full, ceEvent1, ceEvent2}),
              0x0002u | 0x0200u | 0x0400u | 0x0800u | 0x1000u);
    EXPECT_EQ(CommEventMask({}), 0u);
}
