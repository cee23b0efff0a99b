#include "serial/SerDCB.h"

#include <iterator>

namespace glowkite {

std::uint32_t BaudrateValue(TSerBaudrate rate)
{
    static constexpr std::uint32_t rates[] = {0,     110,   300,   600,    1200,   2400,
                                              4800,  9600,  14400, 19200,  38400,  56000,
                                              57600, 115200, 128000, 256000};
    return rate < std::size(rates) ? rates[rate] : 0;
}

std::uint32_t CommEventValue(TSerCommEvent event)
{
    static constexpr std::uint32_t values[] = {EV_BREAK,  EV_CTS,     EV_DSR,    EV_ERR,   EV_RING,
                                               EV_RLSD,   EV_RXCHAR,  EV_TXEMPTY, EV_RXFLAG, EV_PERR,
                                               EV_RX80FULL, EV_EVENT1, EV_EVENT2};
    return event < std::size(values) ? values[event] : 0;
}

std::uint32_t CommEventMask(TSerCommEvents events)
{
    std::uint32_t mask = 0;
    for (unsigned e = ceBreak; e <= ceEvent2; ++e)
        if (events.Contains(static_cast<TSerCommEvent>(e)))
            mask |= CommEventValue(static_cast<TSerCommEvent>(e));
    return mask;
}

TSerDCB BuildDCB(TSerBaudrate baudrate, std::int32_t userBaudrate, TSerDatabits databits,
                 TSerParity parity, TSerStopbits stopbits, TSerCommOptions options,
                 const TSerBuffers &buffers, const TSerEventChars &eventChars,
                 const TSerFlowControl &flowControl)
{
    TSerDCB dcb;
    dcb.BaudRate = baudrate == brUser ? static_cast<std::uint32_t>(userBaudrate) : BaudrateValue(baudrate);
    dcb.ByteSize = static_cast<std::uint8_t>(4 + databits);
    dcb.Parity = parity;
    dcb.StopBits = stopbits;
    dcb.XonChar = eventChars.XonChar();
    dcb.XoffChar = eventChars.XoffChar();
    dcb.ErrorChar = eventChars.ErrorChar();
    dcb.EofChar = eventChars.EofChar();
    dcb.EvtChar = eventChars.EventChar();
    // The driver takes 16-bit limits; larger values keep their lower bits.
    dcb.XonLim = static_cast<std::uint16_t>(buffers.XonLimit());
    dcb.XoffLim = static_cast<std::uint16_t>(buffers.XoffLimit());

    std::uint32_t flags = DCB_fBinary;
    if (flowControl.OutCtsFlow())
        flags |= DCB_fOutxCtsFlow;
    if (flowControl.OutDsrFlow())
        flags |= DCB_fOutxDsrFlow;
    static constexpr std::uint32_t dtrBits[] = {0, DCB_DTR_CONTROL_ENABLE, DCB_DTR_CONTROL_HANDSHAKE};
    flags |= dtrBits[flowControl.ControlDtr()];
    if (flowControl.DsrSensitivity())
        flags |= DCB_fDsrSensitivity;
    if (flowControl.TxContinueOnXoff())
        flags |= DCB_fTXContinueOnXoff;
    if (flowControl.XonXoffOut())
        flags |= DCB_fOutX;
    if (flowControl.XonXoffIn())
        flags |= DCB_fInX;
    if (options.Contains(coErrorChar))
        flags |= DCB_fErrorChar;
    if (options.Contains(coNullStrip))
        flags |= DCB_fNull;
    static constexpr std::uint32_t rtsBits[] = {0, DCB_RTS_CONTROL_ENABLE, DCB_RTS_CONTROL_HANDSHAKE,
                                                DCB_RTS_CONTROL_TOGGLE};
    flags |= rtsBits[flowControl.ControlRts()];
    if (options.Contains(coParityCheck))
        flags |= DCB_fParity;
    dcb.Flags = flags;
    return dcb;
}

} // namespace glowkite
