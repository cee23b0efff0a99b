#pragma once
// Network ports: the address forms a port name may take, and the Telnet side
// of RFC 2217 (COM-PORT-OPTION). Portable and free of sockets, so that both
// network backends share it and it is tested by feeding bytes.

#include "serial/SerDCB.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace glowkite {

enum class TSerNetKind { None, Tcp, Rfc2217 };

struct TSerNetAddress {
    TSerNetKind Kind = TSerNetKind::None;
    std::string Host; // without the brackets of an IPv6 literal
    std::string Port; // decimal, 1 to 65535
    std::string Error; // why a name of a network form is no valid address
};

// True when the name starts with tcp:// or rfc2217:// (in any case), even
// when the rest is no valid address: such a name is never a device.
bool IsNetworkPortName(const std::string &name);

// tcp://HOST:PORT or rfc2217://HOST:PORT; HOST may be [IPv6]. A name of
// neither form gives Kind None and no Error.
TSerNetAddress ParseNetAddress(const std::string &name);

// A time-out as messages give it: "3 s", "300 ms".
std::string DurationText(std::chrono::milliseconds t);

// What a server sent before it hung up, as one line of its printable text
// (servers say why they close: "Device open failure: ...").
std::string ServerWords(const std::vector<std::uint8_t> &bytes);

namespace telnet {
constexpr std::uint8_t SE = 240, NOP = 241, SB = 250, WILL = 251, WONT = 252, DO = 253, DONT = 254, IAC = 255;
constexpr std::uint8_t OptBinary = 0, OptEcho = 1, OptSga = 3, OptComPort = 44;
// COM-PORT-OPTION commands, client to server; the server answers with +100.
constexpr std::uint8_t Signature = 0, SetBaudrate = 1, SetDatasize = 2, SetParity = 3, SetStopsize = 4,
                       SetControl = 5, SetLinestateMask = 10, SetModemstateMask = 11;
constexpr std::uint8_t ServerOffset = 100;
// SET-CONTROL values.
constexpr std::uint8_t FlowNone = 1, FlowXonXoff = 2, FlowHardware = 3, DtrOn = 8, DtrOff = 9, RtsOn = 11,
                       RtsOff = 12, InFlowNone = 14, InFlowXonXoff = 15, InFlowHardware = 16, InFlowDtr = 18;
} // namespace telnet

// The client's side of a Telnet connection to an RFC 2217 server. Decode
// takes what the socket delivered and keeps only the serial bytes; the
// answers that Telnet requires (option negotiation, the signature) collect
// in Replies() for the caller to send. Commands split across reads are
// carried over to the next call.
class TSerTelnetClient {
public:
    // Our opening: WILL COM-PORT-OPTION, BINARY both ways, SGA both ways.
    std::string Greeting();

    // Decodes n bytes; writes the serial bytes to out (room for n bytes is
    // enough) and answers how many.
    std::size_t Decode(const std::uint8_t *in, std::size_t n, std::uint8_t *out);

    // Bytes to send to the server; taking them empties the store.
    std::string TakeReplies();
    bool HasReplies() const { return !replies_.empty(); }

    // The server's answer to WILL COM-PORT-OPTION.
    bool ComPortAccepted() const { return comPort_ == State::Yes; }
    bool ComPortRefused() const { return comPort_ == State::No; }

    // The commands that set the line from a control block, and those that
    // raise or drop DTR and RTS (SETDTR ... CLRRTS); "" for an unknown one.
    static std::string LineCommands(const TSerDCB &dcb);
    static std::string EscapeCommand(int function);
    // Data bytes with every 0xFF doubled.
    static std::string EscapeData(const std::uint8_t *data, std::size_t n);

    // After the option was accepted: no line or modem state notices, which
    // nothing here reads and each of which would wake the receiver.
    static std::string QuietCommands();

    // The server's confirmations of the line settings since ForgetAnswers.
    void ForgetAnswers() { answers_ = 0; }
    // Rate, data bits, parity and stop bits all confirmed.
    bool LineConfirmed() const;
    // "" when the confirmed settings are those of the block, else what the
    // server's port runs at instead.
    std::string LineMismatch(const TSerDCB &dcb) const;
    bool Answered(std::uint8_t command) const { return (answers_ >> command) & 1u; }
    std::uint32_t AnsweredBaudrate() const { return baud_; }
    std::uint8_t AnsweredValue(std::uint8_t command) const { return values_[command & 7u]; }

private:
    enum class State : std::uint8_t { No, Asked, Yes };
    enum class Rx : std::uint8_t { Data, Iac, Option, Sub, SubIac, Cr };

    void Negotiate(std::uint8_t verb, std::uint8_t option);
    void SubNegotiation();
    void Send(std::uint8_t verb, std::uint8_t option);

    Rx rx_ = Rx::Data;
    std::uint8_t verb_ = 0;
    std::string sub_;
    std::string replies_;
    // What each side does for the options we take part in.
    State usBinary_ = State::No, himBinary_ = State::No, usSga_ = State::No, himSga_ = State::No;
    State comPort_ = State::No;
    std::uint32_t answers_ = 0;
    std::uint32_t baud_ = 0;
    std::uint8_t values_[8] = {};
};

} // namespace glowkite
