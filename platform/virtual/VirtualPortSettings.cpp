// Settings of an open virtual end: queue sizes, DCB, time-outs and what the device
// reports it can do. Values are kept exactly as set; a refused value changes nothing.
#include "platform/core/DcbRules.h"
#include "platform/virtual/VirtualPort.h"

namespace qvirt::detail {

using namespace qwin;
using qwin::detail::Fail;

namespace {

constexpr DWORD SP_SERIALCOMM = 0x1;
constexpr DWORD PST_RS232 = 0x1;
constexpr DWORD AllBauds = BAUD_075 | BAUD_110 | BAUD_134_5 | BAUD_150 | BAUD_300 | BAUD_600 |
                           BAUD_1200 | BAUD_1800 | BAUD_2400 | BAUD_4800 | BAUD_7200 | BAUD_9600 |
                           BAUD_14400 | BAUD_19200 | BAUD_38400 | BAUD_56K | BAUD_128K |
                           BAUD_115200 | BAUD_57600 | BAUD_USER;

} // namespace

bool TVirtualPort::SetupComm(DWORD inQueue, DWORD outQueue) {
    Lock lock;
    if (!Enter(lock, &TDriverCalls::SetupComm)) return false;
    auto& end = End();
    const auto& max = end.MaxQueues;
    if (inQueue == 0 || (max.Input && inQueue > max.Input) || (max.Output && outQueue > max.Output))
        return Fail(ERROR_INVALID_PARAMETER);
    end.Queues = {inQueue, outQueue};
    FPair->UpdateHold(FIndex);
    FPair->Settle();
    return true;
}

bool TVirtualPort::GetState(DCB& dcb) {
    Lock lock;
    if (!Enter(lock, &TDriverCalls::GetCommState)) return false;
    dcb = End().State;
    return true;
}

bool TVirtualPort::SetState(const DCB& dcb) {
    Lock lock;
    if (!Enter(lock, &TDriverCalls::SetCommState)) return false;
    if (!qwin::detail::ValidDcb(dcb)) return Fail(ERROR_INVALID_PARAMETER);
    End().State = dcb;
    FPair->ApplyLineModes(FIndex);
    FPair->Settle();
    return true;
}

bool TVirtualPort::GetTimeouts(COMMTIMEOUTS& t) {
    Lock lock;
    if (!Enter(lock, &TDriverCalls::GetCommTimeouts)) return false;
    t = End().Requests.Timeouts();
    return true;
}

bool TVirtualPort::SetTimeouts(const COMMTIMEOUTS& t) {
    Lock lock;
    if (!Enter(lock, &TDriverCalls::SetCommTimeouts)) return false;
    return End().Requests.SetTimeouts(t);
}

bool TVirtualPort::Properties(COMMPROP& prop) {
    Lock lock;
    if (!Enter(lock, &TDriverCalls::GetCommProperties)) return false;
    const auto& end = End();
    prop = COMMPROP{};
    prop.wPacketLength = sizeof(COMMPROP);
    prop.wPacketVersion = 2;
    prop.dwServiceMask = SP_SERIALCOMM;
    prop.dwMaxTxQueue = end.MaxQueues.Output;
    prop.dwMaxRxQueue = end.MaxQueues.Input;
    prop.dwMaxBaud = BAUD_USER;
    prop.dwProvSubType = PST_RS232;
    prop.dwProvCapabilities = PCF_DTRDSR | PCF_RTSCTS | PCF_RLSD | PCF_PARITY_CHECK | PCF_XONXOFF |
                              PCF_SETXCHAR | PCF_TOTALTIMEOUTS | PCF_INTTIMEOUTS |
                              PCF_SPECIALCHARS | PCF_16BITMODE;
    prop.dwSettableParams = SP_PARITY | SP_BAUD | SP_DATABITS | SP_STOPBITS | SP_HANDSHAKING |
                            SP_PARITY_CHECK | SP_RLSD;
    prop.dwSettableBaud = AllBauds;
    prop.wSettableData = DATABITS_5 | DATABITS_6 | DATABITS_7 | DATABITS_8 | DATABITS_16;
    prop.wSettableStopParity = STOPBITS_10 | STOPBITS_15 | STOPBITS_20 | PARITY_NONE | PARITY_ODD |
                               PARITY_EVEN | PARITY_MARK | PARITY_SPACE;
    prop.dwCurrentTxQueue = end.Queues.Output;
    prop.dwCurrentRxQueue = end.Queues.Input;
    return true;
}

} // namespace qvirt::detail
