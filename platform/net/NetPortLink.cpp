// The connection of a network port: opening and negotiating, the reader, sender and timer
// threads, and what the server's messages change.
#include "platform/net/NetPort.h"
#include "platform/net/RemoteName.h"

#include <algorithm>

namespace qnet {

using namespace qwin;
using namespace telnet;

namespace {

constexpr std::chrono::milliseconds ConnectTimeout{5000};
constexpr std::size_t InputLimit = 1 << 20; // beyond it the socket is left to push back
constexpr std::size_t SendChunk = 1 << 16;

bool OursToDo(std::uint8_t option) {
    return option == OptionBinary || option == OptionSuppressGoAhead || option == OptionComPort;
}

bool TheirsToDo(std::uint8_t option) {
    return option == OptionBinary || option == OptionSuppressGoAhead;
}

// NOTIFY-LINESTATE bits: break, framing, parity and overrun errors.
constexpr std::uint8_t LineBreak = 0x10, LineFrame = 0x08, LineParity = 0x04, LineOverrun = 0x02;

} // namespace

std::shared_ptr<detail::Device> TNetPort::Open(const std::string& name) {
    const auto remote = ParseRemoteName(name);
    if (!remote) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    // One open at a time, as for a local port; the server would only refuse later.
    if (detail::FindOpenDevice(name)) {
        SetLastError(ERROR_BUSY);
        return nullptr;
    }
    auto port = std::make_shared<TNetPort>();
    if (const DWORD code = port->Start(remote->Host, remote->Port)) {
        port->Close();
        SetLastError(code);
        return nullptr;
    }
    return port;
}

TNetPort::TNetPort() {
    FEngine.NotifyOn(FChanged);
    FState.DCBlength = sizeof(DCB);
    FState.fBinary = 1;
    FState.fDtrControl = DTR_CONTROL_ENABLE;
    FState.fRtsControl = RTS_CONTROL_ENABLE;
    FState.XonChar = 0x11;
    FState.XoffChar = 0x13;
}

TNetPort::~TNetPort() {
    Close();
}

DWORD TNetPort::Start(const std::string& host, const std::string& port) {
    if (const DWORD code = FSocket.Connect(host, port, ConnectTimeout))
        return code == TSocket::ResolveFailed ? DWORD(ERROR_FILE_NOT_FOUND) : code;
    Lock lock(FMutex);
    FReader = std::thread([this] { ReadLoop(); });
    FSender = std::thread([this] { SendLoop(); });
    FTimer = std::thread([this] { TimerLoop(); });
    for (std::uint8_t option : {OptionBinary, OptionSuppressGoAhead}) {
        Queue(Negotiation(WILL, option) + Negotiation(DO, option));
        FUsAsked.set(option);
        FThemAsked.set(option);
    }
    Queue(Negotiation(WILL, OptionComPort));
    FUsAsked.set(OptionComPort);
    const bool settled = FChanged.wait_for(
        lock, AnswerTimeout, [&] { return FComPortAgreed || FComPortRefused || FLost; });
    if (FLost) return ERROR_ACCESS_DENIED;
    if (FComPortRefused) return ERROR_NOT_SUPPORTED;
    if (!settled) return ERROR_TIMEOUT;
    // Every modem-line change and every line error; data-ready and the transmitter's
    // state would only be noise.
    Request(TComCommand::SetModemStateMask, std::string(1, char(0xFF)));
    Request(TComCommand::SetLineStateMask,
            std::string(1, char(LineBreak | LineFrame | LineParity | LineOverrun)));
    return ReadSettings(lock) ? 0 : GetLastError();
}

void TNetPort::Queue(const std::string& command) {
    FControl += command;
    FSendWake.notify_one();
}

void TNetPort::Request(TComCommand command, const std::string& value) {
    ++FAsked[std::size_t(command)];
    Queue(ComCommand(command, value));
}

void TNetPort::ReadLoop() {
    char buf[4096];
    for (;;) {
        std::size_t n = 0;
        const DWORD err = FSocket.Receive(buf, sizeof buf, n);
        Lock lock(FMutex);
        if (FStop) return;
        if (err || n == 0) return Lose();
        Received(buf, n);
        FChanged.wait(lock, [&] { return FStop || FInput.size() < InputLimit; });
        if (FStop) return;
    }
}

void TNetPort::Received(const char* p, std::size_t n) {
    std::string data;
    std::vector<TTelnetItem> items;
    FDecoder.Feed(reinterpret_cast<const std::uint8_t*>(p), n, data, items);
    FInput.insert(FInput.end(), data.begin(), data.end());
    for (const auto& item : items) {
        if (item.Kind == TTelnetItem::TKind::Negotiation)
            Negotiate(item);
        else if (const auto m = ServerMessage(item))
            ComPortMessage(*m);
        // Malformed subnegotiations and other options' ones are dropped: data around them
        // stays as it came.
    }
    // Pending reads take their bytes first; what they took still counts as received.
    Serve();
    FEngine.Raise(FEngine.InputEvents(DWORD(FInput.size())));
}

void TNetPort::Negotiate(const TTelnetItem& item) {
    const std::uint8_t o = item.Option;
    switch (item.Verb) {
    case DO:
        if (!OursToDo(o)) {
            if (!FRefused.test(o)) Queue(Negotiation(WONT, o));
            FRefused.set(o);
        } else if (!FUs.test(o)) {
            FUs.set(o);
            if (!FUsAsked.test(o)) Queue(Negotiation(WILL, o));
            if (o == OptionComPort) FComPortAgreed = true;
        }
        break;
    case DONT:
        if (o == OptionComPort) FComPortRefused = true;
        if (FUs.test(o)) Queue(Negotiation(WONT, o));
        FUs.reset(o);
        FUsAsked.reset(o);
        break;
    case WILL:
        if (!TheirsToDo(o)) {
            if (!FRefused.test(o)) Queue(Negotiation(DONT, o));
            FRefused.set(o);
        } else if (!FThem.test(o)) {
            FThem.set(o);
            if (!FThemAsked.test(o)) Queue(Negotiation(DO, o));
        }
        break;
    case WONT:
        if (FThem.test(o)) Queue(Negotiation(DONT, o));
        FThem.reset(o);
        FThemAsked.reset(o);
        break;
    }
    FChanged.notify_all();
}

void TNetPort::ComPortMessage(const TComMessage& m) {
    const auto c = std::size_t(m.Command);
    switch (m.Command) {
    case TComCommand::NotifyModemState: {
        const std::uint8_t v = m.Byte();
        // The RFC's state bits are the MS_ flags; its delta bits catch a line that went
        // and came back between two notifications.
        FModem = v & (MS_CTS_ON | MS_DSR_ON | MS_RING_ON | MS_RLSD_ON);
        DWORD events = FEngine.LineEvents(FModem);
        if (v & 0x01) events |= EV_CTS;
        if (v & 0x02) events |= EV_DSR;
        if (v & 0x08) events |= EV_RLSD;
        FEngine.Raise(events);
        break;
    }
    case TComCommand::NotifyLineState: {
        const std::uint8_t v = m.Byte();
        DWORD errors = 0;
        if (v & LineBreak) errors |= CE_BREAK;
        if (v & LineFrame) errors |= CE_FRAME;
        if (v & LineParity) errors |= CE_RXPARITY;
        if (v & LineOverrun) errors |= CE_OVERRUN;
        FErrors |= errors;
        FEngine.Raise(((errors & CE_BREAK) ? EV_BREAK : 0) |
                      ((errors & ~DWORD(CE_BREAK)) ? EV_ERR : 0));
        break;
    }
    case TComCommand::FlowControlSuspend:
    case TComCommand::FlowControlResume:
        FServerHold = m.Command == TComCommand::FlowControlSuspend;
        FSendWake.notify_one();
        break;
    default:
        // An answer nothing is owed for (late after a time-out, or unasked) counts for no one.
        if (FAnswers[c] < FAsked[c]) ++FAnswers[c];
        FLastAnswer[c] = m.Value;
        break;
    }
    FChanged.notify_all();
}

void TNetPort::SendLoop() {
    Lock lock(FMutex);
    for (;;) {
        const auto held = [&] { return FXoffHold || FServerHold; };
        FSendWake.wait(lock, [&] {
            return FStop || FLost || !FControl.empty() || (!held() && !FOutgoing.empty());
        });
        if (FStop || FLost) return;
        std::string chunk = std::move(FControl);
        FControl.clear();
        if (!held()) {
            const std::size_t n = std::min(FOutgoing.size(), SendChunk);
            chunk.append(FOutgoing, 0, n);
            FOutgoing.erase(0, n);
        }
        FSending = true;
        lock.unlock();
        const DWORD err = FSocket.SendAll(chunk.data(), chunk.size());
        lock.lock();
        FSending = false;
        if (FStop) return;
        if (err) return Lose();
        // The last bytes out end no request: a flush waiting for them is woken here.
        if (OutputIdle()) FChanged.notify_all();
        Serve();
    }
}

void TNetPort::TimerLoop() {
    Lock lock(FMutex);
    while (!FStop) {
        if (const auto next = FEngine.NextDeadline())
            FTimerWake.wait_until(lock, *next);
        else
            FTimerWake.wait(lock);
        if (!FStop) Serve();
    }
}

void TNetPort::Lose() {
    if (FLost || FClosed) return;
    FLost = true;
    FEngine.EndAll(ERROR_ACCESS_DENIED);
    FSocket.Shutdown();
    FSendWake.notify_all();
    FTimerWake.notify_all();
    FChanged.notify_all();
}

} // namespace qnet
