// The port's line settings: setters, the device control block in both directions, and the
// three routines that push settings to an open device.
#include "comport/ComPort.h"

#include <iterator>

namespace quillon {

namespace {
using namespace qwin;

// Device values of each setting, indexed by enumerator; entry 0 (Default) keeps the device's.
constexpr BYTE kByteSize[] = {0, 4, 5, 6, 7, 8, 9, 16, 16};
constexpr BYTE kParity[] = {0, NOPARITY, ODDPARITY, EVENPARITY, MARKPARITY, SPACEPARITY};
constexpr BYTE kStopBits[] = {0, ONESTOPBIT, ONE5STOPBITS, TWOSTOPBITS};
constexpr DWORD kDtrControl[] = {0, DTR_CONTROL_DISABLE, DTR_CONTROL_ENABLE, DTR_CONTROL_HANDSHAKE};
constexpr DWORD kRtsControl[] = {0, RTS_CONTROL_DISABLE, RTS_CONTROL_ENABLE, RTS_CONTROL_HANDSHAKE,
                                 RTS_CONTROL_TOGGLE};
// fOutX, fInX of each TXOnXOffControl.
constexpr bool kOutX[] = {false, false, false, true, true};
constexpr bool kInX[] = {false, false, true, false, true};

static_assert(std::size(kByteSize) == db16x + 1);
static_assert(std::size(kParity) == paSpace + 1);
static_assert(std::size(kStopBits) == sb2 + 1);
static_assert(std::size(kDtrControl) == dcHandshake + 1);
static_assert(std::size(kRtsControl) == rcToggle + 1);
static_assert(std::size(kOutX) == xcInputOutput + 1);

// The first enumerator after Default whose device value is value; keeps field otherwise.
// Default is skipped on purpose: a device value of 0 is a real setting (no parity, one stop
// bit, line off), and reading it back as Default would stop the next push from restoring it.
template <class E, class V, size_t N> void LookUp(E& field, const V (&table)[N], V value) {
    for (size_t i = 1; i < N; ++i)
        if (table[i] == value) {
            field = static_cast<E>(i);
            return;
        }
}

} // namespace

// ---- setters

void TCustomComPort::SetBaudRate(TBaudRate value) {
    if (value == FBaudRate) return;
    FBaudRate = value;
    ApplyDCB();
}

int32_t TCustomComPort::CustomBaudRate() const {
    return FBaudRate == brCustom ? FCustomBaudRate : BaudRateTable[FBaudRate];
}

void TCustomComPort::SetCustomBaudRate(int32_t value) {
    // Compared with the stored custom rate, not with what reading returns.
    if (value == FCustomBaudRate) return;
    FCustomBaudRate = value;
    FBaudRate = brCustom;
    ApplyDCB();
}

void TCustomComPort::SetDataBits(TDataBits value) {
    if (value == FDataBits) return;
    FDataBits = value;
    ApplyDCB();
}

void TCustomComPort::SetParity(TParity value) {
    if (value == FParity) return;
    FParity = value;
    ApplyDCB();
}

void TCustomComPort::SetStopBits(TStopBits value) {
    if (value == FStopBits) return;
    FStopBits = value;
    ApplyDCB();
}

void TCustomComPort::SetOptions(TOptions value) {
    if (value == FOptions) return;
    FOptions = value;
    ApplyDCB();
}

// ---- device control block

void TCustomComPort::SettingsToDCB(DCB& dcb) {
    if (FBaudRate != brDefault) dcb.BaudRate = static_cast<DWORD>(CustomBaudRate());
    if (FDataBits != dbDefault) dcb.ByteSize = kByteSize[FDataBits];
    if (FParity != paDefault) dcb.Parity = kParity[FParity];
    if (FStopBits != sbDefault) dcb.StopBits = kStopBits[FStopBits];

    dcb.XonChar = static_cast<char>(FCharacters->XOn() & 0xFF);
    dcb.XoffChar = static_cast<char>(FCharacters->XOff() & 0xFF);
    dcb.ErrorChar = static_cast<char>(FCharacters->Error() & 0xFF);
    dcb.EofChar = static_cast<char>(FCharacters->Eof() & 0xFF);
    dcb.EvtChar = static_cast<char>(FCharacters->Event() & 0xFF);

    const TFlowControl& flow = *FFlowControl;
    if (flow.DTR() != dcDefault) dcb.fDtrControl = kDtrControl[flow.DTR()];
    if (flow.RTS() != rcDefault) dcb.fRtsControl = kRtsControl[flow.RTS()];
    if (flow.XOnXOff() != xcDefault) {
        dcb.fOutX = kOutX[flow.XOnXOff()];
        dcb.fInX = kInX[flow.XOnXOff()];
    }
    dcb.XonLim = flow.XOnLimit();
    dcb.XoffLim = flow.XOffLimit();

    dcb.fParity = FOptions.Contains(opCheckParity);
    dcb.fOutxCtsFlow = FOptions.Contains(opOutputCTSFlow);
    dcb.fOutxDsrFlow = FOptions.Contains(opOutputDSRFlow);
    dcb.fDsrSensitivity = FOptions.Contains(opDSRSensitivity);
    dcb.fTXContinueOnXoff = FOptions.Contains(opTXContinueOnXOff);
    dcb.fErrorChar = FOptions.Contains(opUseErrorChar);
    dcb.fNull = FOptions.Contains(opDiscardNullBytes);
    dcb.fAbortOnError = FOptions.Contains(opAbortOnError);

    dcb.fBinary = 1;
}

void TCustomComPort::DCBToSettings(const DCB& dcb) {
    SetCustomBaudRate(static_cast<int32_t>(dcb.BaudRate));

    LookUp(FDataBits, kByteSize, dcb.ByteSize);
    LookUp(FParity, kParity, dcb.Parity);
    LookUp(FStopBits, kStopBits, dcb.StopBits);

    TCharacters& chars = *FCharacters;
    chars.SetXOn(static_cast<uint8_t>(dcb.XonChar));
    chars.SetXOff(static_cast<uint8_t>(dcb.XoffChar));
    chars.SetError(static_cast<uint8_t>(dcb.ErrorChar));
    chars.SetEof(static_cast<uint8_t>(dcb.EofChar));
    chars.SetEvent(static_cast<uint8_t>(dcb.EvtChar));

    TFlowControl& flow = *FFlowControl;
    LookUp(flow.FDTRControl, kDtrControl, DWORD(dcb.fDtrControl));
    LookUp(flow.FRTSControl, kRtsControl, DWORD(dcb.fRtsControl));
    for (size_t i = xcDisable; i <= xcInputOutput; ++i)
        if (kOutX[i] == bool(dcb.fOutX) && kInX[i] == bool(dcb.fInX))
            flow.FXOnXOffControl = static_cast<TXOnXOffControl>(i);
    flow.SetXOnLimit(dcb.XonLim);
    flow.SetXOffLimit(dcb.XoffLim);

    TOptions options;
    if (dcb.fParity) options.Include(opCheckParity);
    if (dcb.fOutxCtsFlow) options.Include(opOutputCTSFlow);
    if (dcb.fOutxDsrFlow) options.Include(opOutputDSRFlow);
    if (dcb.fDsrSensitivity) options.Include(opDSRSensitivity);
    if (dcb.fTXContinueOnXoff) options.Include(opTXContinueOnXOff);
    if (dcb.fErrorChar) options.Include(opUseErrorChar);
    if (dcb.fNull) options.Include(opDiscardNullBytes);
    if (dcb.fAbortOnError) options.Include(opAbortOnError);
    FOptions = options;
}

// ---- pushing to the device

void TCustomComPort::ApplyDCB() {
    if (!Active() || IsDesigning()) return;
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    // Never built from nothing: what the settings leave at Default stays as the device has it.
    if (!GetCommState(FHandle, dcb)) {
        CheckResult(false);
        return;
    }
    SettingsToDCB(dcb);
    CheckResult(SetCommState(FHandle, dcb));
}

void TCustomComPort::ApplyBufferSizes() {
    if (!Active() || IsDesigning()) return;
    if (FBufferSizes->Input() == -1 || FBufferSizes->Output() == -1) return;
    CheckResult(SetupComm(FHandle, static_cast<DWORD>(FBufferSizes->Input()),
                          static_cast<DWORD>(FBufferSizes->Output())));
}

void TCustomComPort::SetLowLatency(bool value) {
    if (value == FLowLatency) return;
    FLowLatency = value;
    ApplyLowLatency();
}

void TCustomComPort::ApplyLowLatency() {
    if (!Active() || IsDesigning()) return;
    CheckResult(SetCommLowLatency(FHandle, FLowLatency));
}

void TCustomComPort::ApplyTimeouts() {
    if (!Active() || IsDesigning()) return;
    COMMTIMEOUTS timeouts{};
    CheckResult(GetCommTimeouts(FHandle, timeouts));
    // Bit for bit: -1 reaches the driver as MAXDWORD.
    timeouts.ReadIntervalTimeout = static_cast<DWORD>(FTimeouts->ReadInterval());
    timeouts.ReadTotalTimeoutMultiplier = static_cast<DWORD>(FTimeouts->ReadMultiplier());
    timeouts.ReadTotalTimeoutConstant = static_cast<DWORD>(FTimeouts->ReadConstant());
    timeouts.WriteTotalTimeoutMultiplier = static_cast<DWORD>(FTimeouts->WriteMultiplier());
    timeouts.WriteTotalTimeoutConstant = static_cast<DWORD>(FTimeouts->WriteConstant());
    CheckResult(SetCommTimeouts(FHandle, timeouts));
}

// ---- queue sizes read from the device

uint32_t TBufferSizes::MaxInput() const {
    return FComPort->QueryProperties().dwMaxRxQueue;
}

uint32_t TBufferSizes::MaxOutput() const {
    return FComPort->QueryProperties().dwMaxTxQueue;
}

uint32_t TBufferSizes::CurrentInput() const {
    return FComPort->QueryProperties().dwCurrentRxQueue;
}

uint32_t TBufferSizes::CurrentOutput() const {
    return FComPort->QueryProperties().dwCurrentTxQueue;
}

} // namespace quillon
