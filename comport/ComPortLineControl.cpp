// Queues, line errors, modem control lines, break and the modem status of the open device.
#include "comport/ComPort.h"

namespace quillon {

namespace {
using namespace qwin;
}

// ---- queues: a closed port (or one being designed) has nothing to purge

void TCustomComPort::Purge(DWORD flags) {
    if (!Active() || IsDesigning()) return;
    CheckResult(PurgeComm(FHandle, flags));
}

void TCustomComPort::PurgeInput() {
    Purge(PURGE_RXABORT | PURGE_RXCLEAR);
}
void TCustomComPort::PurgeOutput() {
    Purge(PURGE_TXABORT | PURGE_TXCLEAR);
}
void TCustomComPort::ClearInput() {
    Purge(PURGE_RXCLEAR);
}
void TCustomComPort::ClearOutput() {
    Purge(PURGE_TXCLEAR);
}
void TCustomComPort::AbortInput() {
    Purge(PURGE_RXABORT);
}
void TCustomComPort::AbortOutput() {
    Purge(PURGE_TXABORT);
}

void TCustomComPort::Flush() {
    if (!Active() || IsDesigning()) return;
    CheckResult(FlushFileBuffers(FHandle));
}

// ---- queue counts and line errors: every query also reports what it cleared

TLineErrors TCustomComPort::QueryLineErrors(COMSTAT* stat) {
    DWORD flags = 0;
    CheckResult(ClearCommError(FHandle, &flags, stat));
    return LineErrorsFromFlags(flags);
}

void TCustomComPort::ReportLineErrors(TLineErrors errors) {
    if (!errors.Empty() && FOnLineError) FOnLineError(this, errors);
}

// No closed-port guard: the platform's invalid-handle error tells the caller instead.
uint32_t TCustomComPort::InputCount() {
    COMSTAT stat{};
    ReportLineErrors(QueryLineErrors(&stat));
    return stat.cbInQue;
}

uint32_t TCustomComPort::OutputCount() {
    COMSTAT stat{};
    ReportLineErrors(QueryLineErrors(&stat));
    return stat.cbOutQue;
}

void TCustomComPort::CheckLineErrors() {
    CheckOpen();
    ReportLineErrors(QueryLineErrors(nullptr));
}

void TCustomComPort::ClearLineErrors() {
    CheckOpen();
    QueryLineErrors(nullptr);
}

// ---- line control

void TCustomComPort::Escape(DWORD func) {
    CheckOpen();
    CheckResult(EscapeCommFunction(FHandle, func));
}

void TCustomComPort::SetBreak() {
    CheckOpen();
    CheckResult(SetCommBreak(FHandle));
}

void TCustomComPort::ClearBreak() {
    CheckOpen();
    CheckResult(ClearCommBreak(FHandle));
}

void TCustomComPort::SetDTR() {
    Escape(SETDTR);
}
void TCustomComPort::ClearDTR() {
    Escape(CLRDTR);
}
void TCustomComPort::SetRTS() {
    Escape(SETRTS);
}
void TCustomComPort::ClearRTS() {
    Escape(CLRRTS);
}
void TCustomComPort::SetXOn() {
    Escape(SETXON);
}
void TCustomComPort::SetXOff() {
    Escape(SETXOFF);
}
void TCustomComPort::ResetDevice() {
    Escape(RESETDEV);
}

void TCustomComPort::TransmitChar(AnsiChar Value) {
    CheckOpen();
    CheckResult(TransmitCommChar(FHandle, Value));
}

TModemStatus TCustomComPort::ModemStatus() {
    if (IsDesigning()) return {};
    CheckOpen();
    DWORD flags = 0;
    CheckResult(GetCommModemStatus(FHandle, &flags));
    return ModemStatusFromFlags(flags);
}

} // namespace quillon
