// Network port names and the Telnet side of RFC 2217, fed bytes directly.
#include "serial/SerComm.h"
#include "serial/SerNet.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace glowkite;
using namespace glowkite::telnet;

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string Str(const Bytes &b)
{
    return std::string(b.begin(), b.end());
}

Bytes Decode(TSerTelnetClient &t, const Bytes &in)
{
    Bytes out(in.size());
    out.resize(t.Decode(in.data(), in.size(), out.data()));
    return out;
}

// The same bytes one at a time: every command may be split by the network.
Bytes DecodeBytewise(TSerTelnetClient &t, const Bytes &in)
{
    Bytes out;
    for (std::uint8_t b : in) {
        std::uint8_t o[1];
        if (t.Decode(&b, 1, o) == 1)
            out.push_back(o[0]);
    }
    return out;
}

TSerTelnetClient Negotiated()
{
    TSerTelnetClient t;
    t.Greeting();
    Decode(t, {IAC, DO, OptComPort, IAC, WILL, OptBinary, IAC, DO, OptBinary});
    t.TakeReplies();
    return t;
}

} // namespace

TEST(SerNetAddress, FormsAndFaults)
{
    auto a = ParseNetAddress("tcp://192.168.1.20:4001");
    EXPECT_EQ(a.Kind, TSerNetKind::Tcp);
    EXPECT_EQ(a.Host, "192.168.1.20");
    EXPECT_EQ(a.Port, "4001");
    EXPECT_TRUE(a.Error.empty());

    a = ParseNetAddress("RFC2217://server.example:02000/");
    EXPECT_EQ(a.Kind, TSerNetKind::Rfc2217);
    EXPECT_EQ(a.Host, "server.example");
    EXPECT_EQ(a.Port, "2000");
    EXPECT_TRUE(a.Error.empty());

    a = ParseNetAddress("tcp://[::1]:7000");
    EXPECT_EQ(a.Host, "::1");
    EXPECT_EQ(a.Port, "7000");
    EXPECT_TRUE(a.Error.empty());

    for (const char *bad : {"tcp://host", "tcp://:4000", "tcp://host:", "tcp://host:40x0", "tcp://::1:7000",
                            "tcp://[::1]7000", "rfc2217://a b:1", "tcp://user@host:1", "tcp://host:123456"}) {
        a = ParseNetAddress(bad);
        EXPECT_NE(a.Kind, TSerNetKind::None) << bad;
        EXPECT_NE(a.Error.find("tcp://HOST:PORT"), std::string::npos) << bad << ": " << a.Error;
    }
    EXPECT_NE(ParseNetAddress("tcp://host:0").Error.find("outside 1 to 65535"), std::string::npos);
    EXPECT_NE(ParseNetAddress("tcp://host:65536").Error.find("outside 1 to 65535"), std::string::npos);

    for (const char *device : {"COM3", "/dev/ttyUSB0", "ttyS1", "tcp:/host:1", "telnet://host:1"}) {
        EXPECT_FALSE(IsNetworkPortName(device)) << device;
        EXPECT_EQ(ParseNetAddress(device).Kind, TSerNetKind::None) << device;
    }
}

TEST(SerNetAddress, ComponentKeepsTheAddressAsItsPath)
{
    TSerComm comm;
    comm.SetDeviceName("rfc2217://10.0.0.5:2001");
    EXPECT_EQ(comm.DevicePath(), "rfc2217://10.0.0.5:2001");
    comm.SetDeviceName("COM%d");
    comm.SetPortNum(1);
    EXPECT_NE(comm.DevicePath(), "COM1"); // still mapped to the system's device
}

TEST(SerNetAddress, BadAddressIsAClearErrorAndThePortStaysClosed)
{
    TSerComm comm;
    comm.SetDeviceName("tcp://nowhere");
    try {
        comm.Open();
        FAIL() << "opened";
    } catch (const ESerCommError &e) {
        const std::string text = e.what();
        EXPECT_NE(text.find("tcp://nowhere"), std::string::npos) << text;
        EXPECT_NE(text.find("tcp://HOST:PORT"), std::string::npos) << text;
    }
    EXPECT_FALSE(comm.Active());
}

TEST(SerTelnet, CommandsNeverReachTheData)
{
    const Bytes wire = {0x00, 0xA1, IAC, IAC, 0x01, IAC, NOP, 0x02,
                        IAC, SB, OptComPort, 107, 0x30, IAC, SE, // modem state notice
                        IAC, SB, OptComPort, 106, IAC, IAC, IAC, SE, // with an escaped 0xFF inside
                        0x03, IAC, 242 /* DM */, IAC, IAC, IAC, IAC, 0x04,
                        IAC, SB, OptComPort, 1, IAC, 0x05 /* broken: dropped */, 0x06};
    const Bytes data = {0x00, 0xA1, 0xFF, 0x01, 0x02, 0x03, 0xFF, 0xFF, 0x04, 0x06};
    TSerTelnetClient whole = Negotiated();
    EXPECT_EQ(Decode(whole, wire), data);
    TSerTelnetClient split = Negotiated();
    EXPECT_EQ(DecodeBytewise(split, wire), data);
    EXPECT_FALSE(whole.HasReplies());
}

TEST(SerNetAddress, ServerWordsAndDurations)
{
    const std::string text = "\r\nDevice open failure: Value or file not found\r\n";
    EXPECT_EQ(ServerWords(Bytes(text.begin(), text.end())), "Device open failure: Value or file not found");
    EXPECT_EQ(ServerWords({0xFF, 0xFB, 0x01, 'o', 'k', 0x00}), "ok");
    EXPECT_EQ(DurationText(std::chrono::milliseconds(3000)), "3 s");
    EXPECT_EQ(DurationText(std::chrono::milliseconds(250)), "250 ms");
}

TEST(SerTelnet, CrNulOnlyOutsideBinaryMode)
{
    TSerTelnetClient plain;
    EXPECT_EQ(Decode(plain, {'\r', 0, 'a', '\r', '\n', '\r', IAC, IAC}), (Bytes{'\r', 'a', '\r', '\n', '\r', 0xFF}));
    TSerTelnetClient binary = Negotiated();
    EXPECT_EQ(Decode(binary, {'\r', 0, 0x00, 0xA1}), (Bytes{'\r', 0, 0x00, 0xA1}));
}

TEST(SerTelnet, NegotiationAnswersOnceAndRefusesWhatItDoesNotDo)
{
    TSerTelnetClient t;
    const std::string greeting = t.Greeting();
    EXPECT_EQ(greeting.substr(0, 3), (std::string{char(IAC), char(WILL), char(OptComPort)}));
    EXPECT_FALSE(t.ComPortAccepted());

    // Answers to our own requests are not acknowledged again.
    Decode(t, {IAC, DO, OptComPort, IAC, DO, OptBinary, IAC, WILL, OptBinary, IAC, WILL, OptSga, IAC, DO, OptSga});
    EXPECT_TRUE(t.ComPortAccepted());
    EXPECT_EQ(t.TakeReplies(), "");

    // Echo and anything else: refused, each time asked.
    Decode(t, {IAC, WILL, OptEcho, IAC, DO, 24 /* terminal type */, IAC, DO, 24});
    EXPECT_EQ(t.TakeReplies(), (std::string{char(IAC), char(DONT), char(OptEcho), char(IAC), char(WONT), char(24),
                                            char(IAC), char(WONT), char(24)}));
    // Refusals of options we do not do change nothing and are not answered.
    Decode(t, {IAC, WONT, OptEcho, IAC, DONT, 24});
    EXPECT_EQ(t.TakeReplies(), "");

    // The server turning binary off is acknowledged once.
    Decode(t, {IAC, WONT, OptBinary, IAC, WONT, OptBinary});
    EXPECT_EQ(t.TakeReplies(), (std::string{char(IAC), char(DONT), char(OptBinary)}));

    // A request of the server for an option we do take part in: accepted.
    TSerTelnetClient fresh;
    Decode(fresh, {IAC, DO, OptComPort, IAC, WILL, OptBinary});
    EXPECT_TRUE(fresh.ComPortAccepted());
    EXPECT_EQ(fresh.TakeReplies(), (std::string{char(IAC), char(WILL), char(OptComPort), char(IAC), char(DO),
                                                char(OptBinary)}));
}

TEST(SerTelnet, RefusedComPortOptionIsSeen)
{
    TSerTelnetClient t;
    t.Greeting();
    Decode(t, {IAC, DONT, OptComPort});
    EXPECT_TRUE(t.ComPortRefused());
    EXPECT_FALSE(t.ComPortAccepted());
}

TEST(SerTelnet, ServerAnswersAndSignature)
{
    TSerTelnetClient t = Negotiated();
    // 0x0001FFFF baud: the 0xFF bytes of the value come doubled.
    const Bytes data = Decode(t, {IAC, SB, OptComPort, 101, 0x00, 0x01, IAC, IAC, IAC, IAC, IAC, SE, 0x42,
                                  IAC, SB, OptComPort, 102, 7, IAC, SE,
                                  IAC, SB, OptComPort, 103, 3, IAC, SE});
    EXPECT_EQ(data, (Bytes{0x42}));
    EXPECT_TRUE(t.Answered(SetBaudrate));
    EXPECT_EQ(t.AnsweredBaudrate(), 0x0001FFFFu);
    EXPECT_TRUE(t.Answered(SetDatasize));
    EXPECT_EQ(t.AnsweredValue(SetDatasize), 7);
    EXPECT_EQ(t.AnsweredValue(SetParity), 3);
    EXPECT_FALSE(t.Answered(SetStopsize));
    EXPECT_FALSE(t.LineConfirmed());
    Decode(t, {IAC, SB, OptComPort, 104, 1, IAC, SE});
    EXPECT_TRUE(t.LineConfirmed());
    // A server that runs its port otherwise than asked fails the settings.
    TSerDCB dcb;
    dcb.BaudRate = 0x0001FFFF;
    dcb.ByteSize = 7;
    dcb.Parity = 2;
    EXPECT_EQ(t.LineMismatch(dcb), "");
    dcb.BaudRate = 35710;
    EXPECT_EQ(t.LineMismatch(dcb), "the server runs its port at 131071 baud, not 35710");
    dcb.BaudRate = 0; // asked for nothing but the present rate
    dcb.ByteSize = 8;
    EXPECT_EQ(t.LineMismatch(dcb), "the server runs its port with 7 data bits, not 8");
    dcb.ByteSize = 7;
    dcb.StopBits = 2;
    EXPECT_NE(t.LineMismatch(dcb), "");
    t.ForgetAnswers();
    EXPECT_FALSE(t.Answered(SetBaudrate));

    Decode(t, {IAC, SB, OptComPort, 100, IAC, SE});
    const std::string reply = t.TakeReplies();
    EXPECT_EQ(reply.substr(0, 4), (std::string{char(IAC), char(SB), char(OptComPort), char(Signature)}));
    EXPECT_EQ(reply.substr(reply.size() - 2), (std::string{char(IAC), char(SE)}));
    // The server's own signature is no request.
    Decode(t, {IAC, SB, OptComPort, 100, 'x', IAC, SE});
    EXPECT_FALSE(t.HasReplies());
}

TEST(SerTelnet, LineCommandsOfTheDetectorLine)
{
    TSerDCB dcb;
    dcb.BaudRate = 35710;
    dcb.ByteSize = 8;
    dcb.Flags = DCB_fBinary;
    const auto sub = [](std::initializer_list<std::uint8_t> body) {
        std::string s{char(IAC), char(SB), char(OptComPort)};
        for (auto b : body)
            s += char(b);
        return s + std::string{char(IAC), char(SE)};
    };
    EXPECT_EQ(TSerTelnetClient::LineCommands(dcb),
              sub({1, 0x00, 0x00, 0x8B, 0x7E}) + sub({2, 8}) + sub({3, 1}) + sub({4, 1}) + sub({5, 1}) +
                  sub({5, 14}) + sub({5, 9}) + sub({5, 12}));

    dcb.BaudRate = 0xFF00;
    dcb.ByteSize = 7;
    dcb.Parity = 2; // even
    dcb.StopBits = 1; // one and a half
    dcb.Flags = DCB_fBinary | DCB_fOutxCtsFlow | DCB_RTS_CONTROL_HANDSHAKE | DCB_DTR_CONTROL_ENABLE;
    EXPECT_EQ(TSerTelnetClient::LineCommands(dcb),
              sub({1, 0x00, 0x00, 0xFF, 0xFF, 0x00}) + sub({2, 7}) + sub({3, 3}) + sub({4, 3}) + sub({5, 3}) +
                  sub({5, 16}) + sub({5, 8}));

    EXPECT_EQ(TSerTelnetClient::EscapeCommand(SETDTR), sub({5, 8}));
    EXPECT_EQ(TSerTelnetClient::EscapeCommand(CLRRTS), sub({5, 12}));
    const Bytes out = {0x00, 0xFF, 0x01, 0xFF, 0xFF};
    EXPECT_EQ(TSerTelnetClient::EscapeData(out.data(), out.size()), Str({0x00, 0xFF, 0xFF, 0x01, 0xFF, 0xFF, 0xFF, 0xFF}));
}

