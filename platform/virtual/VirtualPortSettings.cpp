// Settings of an open virtual end: queue sizes, DCB, time-outs and what the device
// reports it can do. Values are kept exactly as set; a refused value changes nothing.
#include "platform/core/DcbRules.h"
#include "platform/virtual/VirtualPort.h"

namespace qvirt::detail {

using namespace qwin;
using qwin::detail::Fail;

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
    constexpr DWORD PST_RS232 = 1;
    const auto& end = End();
    prop = qwin::detail::UartProperties(end.Queues.Input, end.Queues.Output);
    prop.dwMaxTxQueue = end.MaxQueues.Output;
    prop.dwMaxRxQueue = end.MaxQueues.Input;
    prop.dwProvSubType = PST_RS232;
    prop.dwProvCapabilities = PCF_DTRDSR | PCF_RTSCTS | PCF_RLSD | PCF_PARITY_CHECK | PCF_XONXOFF |
                              PCF_SETXCHAR | PCF_TOTALTIMEOUTS | PCF_INTTIMEOUTS |
                              PCF_SPECIALCHARS | PCF_16BITMODE;
    prop.dwSettableParams = SP_PARITY | SP_BAUD | SP_DATABITS | SP_STOPBITS | SP_HANDSHAKING |
                            SP_PARITY_CHECK | SP_RLSD;
    prop.wSettableData |= DATABITS_16; // 16-bit words too (ValidDcb)
    return true;
}

} // namespace qvirt::detail
