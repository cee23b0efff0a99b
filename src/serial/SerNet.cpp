#include "serial/SerNet.h"

#include "serial/SerTypes.h"

#include <algorithm>
#include <cctype>

namespace glowkite {

namespace {

bool StartsWithNoCase(const std::string &text, const char *prefix)
{
    std::size_t i = 0;
    for (; prefix[i]; ++i)
        if (i >= text.size() || std::tolower(static_cast<unsigned char>(text[i])) != prefix[i])
            return false;
    return true;
}

constexpr const char *TcpScheme = "tcp://";
constexpr const char *Rfc2217Scheme = "rfc2217://";

// One COM-PORT-OPTION command with its value, IAC-escaped as Telnet wants
// inside a subnegotiation too.
std::string ComPortCommand(std::uint8_t command, std::initializer_list<std::uint8_t> value)
{
    using namespace telnet;
    std::string out{char(IAC), char(SB), char(OptComPort), char(command)};
    for (std::uint8_t b : value) {
        out += char(b);
        if (b == IAC)
            out += char(IAC);
    }
    out += char(IAC);
    out += char(SE);
    return out;
}

} // namespace

std::string DurationText(std::chrono::milliseconds t)
{
    const auto ms = t.count();
    return ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
}

std::string ServerWords(const std::vector<std::uint8_t> &bytes)
{
    std::string said;
    for (std::uint8_t b : bytes)
        if (b >= 0x20 && b < 0x7F && said.size() < 160)
            said += static_cast<char>(b);
        else if ((b == '\r' || b == '\n') && !said.empty() && said.back() != ' ')
            said += ' ';
    while (!said.empty() && said.back() == ' ')
        said.pop_back();
    return said;
}

bool IsNetworkPortName(const std::string &name)
{
    return StartsWithNoCase(name, TcpScheme) || StartsWithNoCase(name, Rfc2217Scheme);
}

TSerNetAddress ParseNetAddress(const std::string &name)
{
    TSerNetAddress a;
    std::string rest;
    if (StartsWithNoCase(name, TcpScheme)) {
        a.Kind = TSerNetKind::Tcp;
        rest = name.substr(6);
    } else if (StartsWithNoCase(name, Rfc2217Scheme)) {
        a.Kind = TSerNetKind::Rfc2217;
        rest = name.substr(10);
    } else {
        return a;
    }
    const auto bad = [&] {
        a.Error = "not a network address of the form tcp://HOST:PORT or rfc2217://HOST:PORT";
        return a;
    };
    // A trailing slash, as some users type after a URL, means nothing.
    if (!rest.empty() && rest.back() == '/')
        rest.pop_back();
    std::size_t colon;
    if (!rest.empty() && rest.front() == '[') {
        const std::size_t close = rest.find(']');
        if (close == std::string::npos || close + 1 >= rest.size() || rest[close + 1] != ':')
            return bad();
        a.Host = rest.substr(1, close - 1);
        colon = close + 1;
    } else {
        colon = rest.rfind(':');
        if (colon == std::string::npos || rest.find(':') != colon)
            return bad();
        a.Host = rest.substr(0, colon);
    }
    a.Port = rest.substr(colon + 1);
    if (a.Host.empty() || a.Port.empty() || a.Port.size() > 5 ||
        !std::all_of(a.Port.begin(), a.Port.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return bad();
    for (char c : a.Host)
        if (std::isspace(static_cast<unsigned char>(c)) || c == '/' || c == '@')
            return bad();
    const unsigned long port = std::stoul(a.Port);
    if (port < 1 || port > 65535) {
        a.Error = "port " + a.Port + " is outside 1 to 65535";
        return a;
    }
    a.Port = std::to_string(port);
    return a;
}

std::string TSerTelnetClient::Greeting()
{
    using namespace telnet;
    comPort_ = usBinary_ = himBinary_ = usSga_ = himSga_ = State::Asked;
    return std::string{char(IAC), char(WILL), char(OptComPort), char(IAC), char(WILL), char(OptBinary),
                       char(IAC), char(DO),   char(OptBinary),  char(IAC), char(WILL), char(OptSga),
                       char(IAC), char(DO),   char(OptSga)};
}

void TSerTelnetClient::Send(std::uint8_t verb, std::uint8_t option)
{
    replies_ += char(telnet::IAC);
    replies_ += char(verb);
    replies_ += char(option);
}

// The rules of RFC 854/1143 in short: a request we made is answered, not
// acknowledged again; a request of the server is acknowledged once when we
// take part in the option, refused otherwise; nothing is answered that
// changes no state, so two sides never loop.
void TSerTelnetClient::Negotiate(std::uint8_t verb, std::uint8_t option)
{
    using namespace telnet;
    State *us = option == OptBinary ? &usBinary_ : option == OptSga ? &usSga_ : option == OptComPort ? &comPort_ : nullptr;
    State *him = option == OptBinary ? &himBinary_ : option == OptSga ? &himSga_ : nullptr;
    switch (verb) {
    case DO:
        if (!us)
            Send(WONT, option);
        else if (*us != State::Yes) {
            if (*us == State::No)
                Send(WILL, option);
            *us = State::Yes;
        }
        break;
    case DONT:
        if (us && *us != State::No) {
            if (*us == State::Yes)
                Send(WONT, option);
            *us = State::No;
        }
        break;
    case WILL:
        if (!him)
            Send(DONT, option);
        else if (*him != State::Yes) {
            if (*him == State::No)
                Send(DO, option);
            *him = State::Yes;
        }
        break;
    case WONT:
        if (him && *him != State::No) {
            if (*him == State::Yes)
                Send(DONT, option);
            *him = State::No;
        }
        break;
    default: break;
    }
}

void TSerTelnetClient::SubNegotiation()
{
    using namespace telnet;
    if (sub_.size() < 2 || static_cast<std::uint8_t>(sub_[0]) != OptComPort)
        return;
    const auto command = static_cast<std::uint8_t>(sub_[1]);
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(sub_[i]); };
    if (command == Signature + ServerOffset) {
        // An empty signature asks for ours.
        if (sub_.size() == 2) {
            const std::string name = "GlowKite logger";
            replies_ += std::string{char(IAC), char(SB), char(OptComPort), char(Signature)} + name +
                        std::string{char(IAC), char(SE)};
        }
        return;
    }
    if (command == SetBaudrate + ServerOffset && sub_.size() >= 6) {
        baud_ = std::uint32_t{byte(2)} << 24 | std::uint32_t{byte(3)} << 16 | std::uint32_t{byte(4)} << 8 | byte(5);
        answers_ |= 1u << SetBaudrate;
    } else if (command >= SetDatasize + ServerOffset && command <= SetControl + ServerOffset && sub_.size() >= 3) {
        const std::uint8_t c = command - ServerOffset;
        values_[c] = byte(2);
        answers_ |= 1u << c;
    }
    // Line and modem state notices, flow control suspend/resume and purge
    // requests concern a sender or a modem watcher; this client is neither.
}

std::size_t TSerTelnetClient::Decode(const std::uint8_t *in, std::size_t n, std::uint8_t *out)
{
    using namespace telnet;
    std::size_t o = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t b = in[i];
        switch (rx_) {
        case Rx::Cr:
            rx_ = Rx::Data;
            // Outside binary mode a CR travels as CR NUL.
            if (b == 0)
                break;
            [[fallthrough]];
        case Rx::Data:
            if (b == IAC) {
                rx_ = Rx::Iac;
            } else {
                out[o++] = b;
                if (b == '\r' && himBinary_ != State::Yes)
                    rx_ = Rx::Cr;
            }
            break;
        case Rx::Iac:
            if (b == IAC) {
                out[o++] = b;
                rx_ = Rx::Data;
            } else if (b >= WILL) {
                verb_ = b;
                rx_ = Rx::Option;
            } else if (b == SB) {
                sub_.clear();
                rx_ = Rx::Sub;
            } else {
                rx_ = Rx::Data; // NOP, GA, DM, BRK, AYT ...: nothing for a receiver
            }
            break;
        case Rx::Option:
            Negotiate(verb_, b);
            rx_ = Rx::Data;
            break;
        case Rx::Sub:
            if (b == IAC)
                rx_ = Rx::SubIac;
            else if (sub_.size() < 256)
                sub_ += char(b);
            break;
        case Rx::SubIac:
            if (b == IAC) {
                if (sub_.size() < 256)
                    sub_ += char(b);
                rx_ = Rx::Sub;
            } else {
                // SE ends it; anything else is a broken subnegotiation,
                // which is dropped rather than taken as data.
                if (b == SE)
                    SubNegotiation();
                rx_ = Rx::Data;
            }
            break;
        }
    }
    return o;
}

std::string TSerTelnetClient::QuietCommands()
{
    using namespace telnet;
    return ComPortCommand(SetLinestateMask, {0}) + ComPortCommand(SetModemstateMask, {0});
}

bool TSerTelnetClient::LineConfirmed() const
{
    using namespace telnet;
    return Answered(SetBaudrate) && Answered(SetDatasize) && Answered(SetParity) && Answered(SetStopsize);
}

// A server that cannot set the rate answers with the one it runs at: frames
// read at another rate would be recorded as garbage, so a difference fails.
std::string TSerTelnetClient::LineMismatch(const TSerDCB &dcb) const
{
    using namespace telnet;
    if (dcb.BaudRate != 0 && baud_ != dcb.BaudRate)
        return "the server runs its port at " + std::to_string(baud_) + " baud, not " + std::to_string(dcb.BaudRate);
    if (AnsweredValue(SetDatasize) != dcb.ByteSize)
        return "the server runs its port with " + std::to_string(AnsweredValue(SetDatasize)) + " data bits, not " +
               std::to_string(dcb.ByteSize);
    static constexpr std::uint8_t stopsize[] = {1, 3, 2};
    if (AnsweredValue(SetParity) != dcb.Parity + 1 ||
        (dcb.StopBits < 3 && AnsweredValue(SetStopsize) != stopsize[dcb.StopBits]))
        return "the server does not take the parity or stop bits asked for";
    return {};
}

std::string TSerTelnetClient::TakeReplies()
{
    std::string r;
    r.swap(replies_);
    return r;
}

std::string TSerTelnetClient::LineCommands(const TSerDCB &dcb)
{
    using namespace telnet;
    const std::uint32_t rate = dcb.BaudRate;
    std::string out = ComPortCommand(SetBaudrate, {std::uint8_t(rate >> 24), std::uint8_t(rate >> 16),
                                                   std::uint8_t(rate >> 8), std::uint8_t(rate)});
    out += ComPortCommand(SetDatasize, {dcb.ByteSize});
    out += ComPortCommand(SetParity, {std::uint8_t(dcb.Parity + 1)});
    static constexpr std::uint8_t stopsize[] = {1, 3, 2}; // one, one and a half, two
    out += ComPortCommand(SetStopsize, {dcb.StopBits < 3 ? stopsize[dcb.StopBits] : std::uint8_t(1)});
    const std::uint32_t f = dcb.Flags;
    out += ComPortCommand(SetControl, {(f & DCB_fOutxCtsFlow) ? FlowHardware : (f & DCB_fOutX) ? FlowXonXoff : FlowNone});
    const std::uint32_t dtr = f & DCB_fDtrControlMask;
    const std::uint32_t rts = f & DCB_fRtsControlMask;
    out += ComPortCommand(SetControl, {rts == DCB_RTS_CONTROL_HANDSHAKE ? InFlowHardware
                                       : dtr == DCB_DTR_CONTROL_HANDSHAKE ? InFlowDtr
                                       : (f & DCB_fInX)                   ? InFlowXonXoff
                                                                          : InFlowNone});
    // As on a local port, applying the block sets the lines it does not hand
    // to a handshake: disabled drops them, enabled raises them.
    if (dtr != DCB_DTR_CONTROL_HANDSHAKE)
        out += ComPortCommand(SetControl, {dtr == DCB_DTR_CONTROL_ENABLE ? DtrOn : DtrOff});
    if (rts != DCB_RTS_CONTROL_HANDSHAKE)
        out += ComPortCommand(SetControl, {rts == DCB_RTS_CONTROL_ENABLE ? RtsOn : RtsOff});
    return out;
}

std::string TSerTelnetClient::EscapeCommand(int function)
{
    using namespace telnet;
    switch (function) {
    case SETDTR: return ComPortCommand(SetControl, {DtrOn});
    case CLRDTR: return ComPortCommand(SetControl, {DtrOff});
    case SETRTS: return ComPortCommand(SetControl, {RtsOn});
    case CLRRTS: return ComPortCommand(SetControl, {RtsOff});
    default: return {};
    }
}

std::string TSerTelnetClient::EscapeData(const std::uint8_t *data, std::size_t n)
{
    std::string out;
    out.reserve(n + n / 8);
    for (std::size_t i = 0; i < n; ++i) {
        out += char(data[i]);
        if (data[i] == telnet::IAC)
            out += char(telnet::IAC);
    }
    return out;
}

} // namespace glowkite
