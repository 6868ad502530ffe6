// Settings, line control and purge of a network port: each becomes a COM-PORT-OPTION
// command; what the server answers decides the call's outcome.
#include "platform/core/DcbRules.h"
#include "platform/net/NetPort.h"

#include <utility>
#include <vector>

namespace qnet {

using namespace qwin;
using detail::Fail;

namespace {

using TCommands = std::vector<std::pair<TComCommand, std::string>>;

// SET-PARITY and SET-STOPSIZE values by DCB value; 0 asks for the current one.
constexpr std::uint8_t ParityCodes[] = {1, 2, 3, 4, 5};
constexpr std::uint8_t StopCodes[] = {1, 3, 2};
// SET-CONTROL values.
constexpr std::uint8_t FlowNone = 1, FlowXonXoff = 2, FlowHardware = 3, BreakOn = 5, BreakOff = 6,
                       DtrOn = 8, DtrOff = 9, RtsOn = 11, RtsOff = 12;
// PURGE-DATA values.
constexpr std::uint8_t PurgeReceived = 1, PurgeToSend = 2, PurgeBoth = 3;

std::string Byte(std::uint8_t v) {
    return std::string(1, char(v));
}

std::uint8_t FlowCode(const DCB& d) {
    if (d.fOutxCtsFlow || d.fRtsControl == RTS_CONTROL_HANDSHAKE) return FlowHardware;
    if (d.fOutX || d.fInX) return FlowXonXoff;
    return FlowNone;
}

bool DtrLevel(const DCB& d) {
    return d.fDtrControl != DTR_CONTROL_DISABLE;
}

bool RtsLevel(const DCB& d) {
    return d.fRtsControl == RTS_CONTROL_ENABLE || d.fRtsControl == RTS_CONTROL_HANDSHAKE;
}

// The commands that take the server from was to now; all of them when was is null.
TCommands Changes(const DCB* was, const DCB& now) {
    TCommands out;
    if (!was || was->BaudRate != now.BaudRate)
        out.emplace_back(TComCommand::SetBaudRate, BigEndian32(now.BaudRate));
    if (!was || was->ByteSize != now.ByteSize)
        out.emplace_back(TComCommand::SetDataSize, Byte(now.ByteSize));
    if (!was || was->Parity != now.Parity)
        out.emplace_back(TComCommand::SetParity, Byte(ParityCodes[now.Parity]));
    if (!was || was->StopBits != now.StopBits)
        out.emplace_back(TComCommand::SetStopSize, Byte(StopCodes[now.StopBits]));
    if (!was || FlowCode(*was) != FlowCode(now))
        out.emplace_back(TComCommand::SetControl, Byte(FlowCode(now)));
    return out;
}

} // namespace

bool TNetPort::Ask(Lock& lock, const TCommands& commands, bool check) {
    // The server answers in turn: each command's own answer is the one that brings the
    // count up to it, not an answer still owed to an earlier command of the same kind.
    std::vector<unsigned> own;
    for (const auto& [command, value] : commands) {
        Request(command, value);
        own.push_back(FAsked[std::size_t(command)]);
    }
    const auto answered = [&] {
        for (std::size_t i = 0; i < commands.size(); ++i)
            if (FAnswers[std::size_t(commands[i].first)] < own[i]) return false;
        return true;
    };
    const bool all =
        FChanged.wait_for(lock, AnswerTimeout, [&] { return FClosed || FLost || answered(); });
    if (!Usable()) return false;
    if (!all) {
        // What is still owed is taken as lost, or every later question would wait for it.
        for (const auto& [command, value] : commands)
            FAnswers[std::size_t(command)] = FAsked[std::size_t(command)];
        return Fail(ERROR_TIMEOUT);
    }
    if (check)
        for (const auto& [command, value] : commands)
            if (FLastAnswer[std::size_t(command)] != value) return Fail(ERROR_INVALID_PARAMETER);
    return true;
}

// The line as the server has it now: a value of 0 asks without changing.
bool TNetPort::ReadSettings(Lock& lock) {
    const TCommands queries{{TComCommand::SetBaudRate, BigEndian32(0)},
                            {TComCommand::SetDataSize, Byte(0)},
                            {TComCommand::SetParity, Byte(0)},
                            {TComCommand::SetStopSize, Byte(0)}};
    if (!Ask(lock, queries, false)) return false;
    const auto answer = [&](TComCommand c) { return TComMessage{c, FLastAnswer[std::size_t(c)]}; };
    FState.BaudRate = answer(TComCommand::SetBaudRate).Number();
    FState.ByteSize = answer(TComCommand::SetDataSize).Byte();
    const auto parity = answer(TComCommand::SetParity).Byte();
    const auto stop = answer(TComCommand::SetStopSize).Byte();
    FState.Parity = parity >= 1 && parity <= 5 ? BYTE(parity - 1) : NOPARITY;
    FState.StopBits = stop == 2 ? TWOSTOPBITS : stop == 3 ? ONE5STOPBITS : ONESTOPBIT;
    return true;
}

bool TNetPort::SetupComm(DWORD inQueue, DWORD outQueue) {
    Lock lock(FMutex);
    if (!Usable()) return false;
    FInQueue = inQueue;
    FOutQueue = outQueue;
    return true;
}

bool TNetPort::GetState(DCB& dcb) {
    Lock lock(FMutex);
    if (!Usable()) return false;
    dcb = FState;
    return true;
}

bool TNetPort::SetState(const DCB& dcb) {
    Lock lock(FMutex);
    if (!Usable()) return false;
    // RFC 2217 knows 5 to 8 data bits only.
    if (!detail::ValidDcb(dcb) || dcb.ByteSize > 8) return Fail(ERROR_INVALID_PARAMETER);
    const DCB was = FState;
    const TCommands changes = Changes(&was, dcb);
    if (!Ask(lock, changes, true)) {
        // Whatever the server took of it goes back; its answers are not awaited again.
        if (GetLastError() == ERROR_INVALID_PARAMETER)
            for (const auto& [command, value] : Changes(nullptr, was))
                Request(command, value);
        return false;
    }
    if (DtrLevel(was) != DtrLevel(dcb))
        Request(TComCommand::SetControl, Byte(DtrLevel(dcb) ? DtrOn : DtrOff));
    if (RtsLevel(was) != RtsLevel(dcb) && dcb.fRtsControl != RTS_CONTROL_HANDSHAKE)
        Request(TComCommand::SetControl, Byte(RtsLevel(dcb) ? RtsOn : RtsOff));
    FState = dcb;
    return true;
}

bool TNetPort::GetTimeouts(COMMTIMEOUTS& t) {
    Lock lock(FMutex);
    if (FClosed) return Fail(ERROR_INVALID_HANDLE);
    t = FEngine.Timeouts();
    return true;
}

bool TNetPort::SetTimeouts(const COMMTIMEOUTS& t) {
    Lock lock(FMutex);
    if (FClosed) return Fail(ERROR_INVALID_HANDLE);
    return FEngine.SetTimeouts(t);
}

bool TNetPort::Escape(DWORD func) {
    Lock lock(FMutex);
    if (!Usable()) return false;
    std::uint8_t control = 0;
    switch (func) {
    case SETXOFF:
    case SETXON:
        FXoffHold = func == SETXOFF;
        FSendWake.notify_one();
        return true;
    case SETRTS:
    case CLRRTS:
        // Under handshake or toggle the server's driver owns the line.
        if (FState.fRtsControl == RTS_CONTROL_HANDSHAKE || FState.fRtsControl == RTS_CONTROL_TOGGLE)
            return Fail(ERROR_INVALID_PARAMETER);
        control = func == SETRTS ? RtsOn : RtsOff;
        break;
    case SETDTR:
    case CLRDTR:
        if (FState.fDtrControl == DTR_CONTROL_HANDSHAKE) return Fail(ERROR_INVALID_PARAMETER);
        control = func == SETDTR ? DtrOn : DtrOff;
        break;
    case SETBREAK:
    case CLRBREAK:
        control = func == SETBREAK ? BreakOn : BreakOff;
        break;
    default: // RESETDEV included: RFC 2217 has no reset
        return Fail(ERROR_INVALID_PARAMETER);
    }
    Request(TComCommand::SetControl, Byte(control));
    return true;
}

bool TNetPort::Purge(DWORD flags) {
    constexpr DWORD All = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
    Lock lock(FMutex);
    if (!Usable()) return false;
    if (flags & ~All) return Fail(ERROR_INVALID_PARAMETER);
    FEngine.Abort(flags);
    if (flags & PURGE_TXCLEAR) FOutgoing.clear();
    if (flags & PURGE_RXCLEAR) {
        FInput.clear();
        FEngine.InputDiscarded();
        FChanged.notify_all();
    }
    if (OutputIdle()) FEngine.Discarded();
    const bool rx = flags & PURGE_RXCLEAR, tx = flags & PURGE_TXCLEAR;
    if (!rx && !tx) return true;
    const std::uint8_t which = rx && tx ? PurgeBoth : rx ? PurgeReceived : PurgeToSend;
    // Not awaited: behind a stalled write the command itself waits for the line.
    Request(TComCommand::PurgeData, Byte(which));
    return true;
}

bool TNetPort::Properties(COMMPROP& prop) {
    constexpr DWORD PST_RS232 = 1;
    Lock lock(FMutex);
    if (!Usable()) return false;
    prop = detail::UartProperties(FInQueue, FOutQueue);
    prop.dwProvSubType = PST_RS232;
    prop.dwProvCapabilities =
        PCF_RTSCTS | PCF_RLSD | PCF_XONXOFF | PCF_TOTALTIMEOUTS | PCF_INTTIMEOUTS;
    prop.dwSettableParams =
        SP_PARITY | SP_BAUD | SP_DATABITS | SP_STOPBITS | SP_HANDSHAKING | SP_RLSD;
    return true;
}

} // namespace qnet
