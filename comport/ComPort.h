#pragma once
// The serial port component: settings, lifecycle, transfer, text I/O, line control, line
// events on a thread of its own, device enumeration, capabilities and device notifications.
#include <atomic>
#include <memory>
#include <vector>

#include "comport/ComSettings.h"
#include "comport/ComTypes.h"
#include "platform/WinApi.h"
#include "rtl/Application.h"
#include "rtl/Strings.h"

namespace quillon {

class TComThread;
struct TComPortLink;

class TCustomComPort : public TComponent {
public:
    explicit TCustomComPort(TComponent* AOwner);
    ~TCustomComPort() override;

    void Loaded() override;

    // ---- lifecycle
    bool Active() const;
    void SetActive(bool value);
    void Open();
    void Close();
    qwin::HANDLE Handle() const { return FHandle; }
    const string& DeviceName() const { return FDeviceName; }
    void SetDeviceName(const string& value);
    TPriorityClass PriorityClass() const { return FPriorityClass; }
    void SetPriorityClass(TPriorityClass value);
    /// A version and credit line; writing it is accepted and ignored.
    string About() const;
    void SetAbout(const string&) {}

    // ---- settings
    TBaudRate BaudRate() const { return FBaudRate; }
    void SetBaudRate(TBaudRate value);
    /// The custom rate when BaudRate is brCustom, else the table rate of BaudRate.
    int32_t CustomBaudRate() const;
    void SetCustomBaudRate(int32_t value);
    TDataBits DataBits() const { return FDataBits; }
    void SetDataBits(TDataBits value);
    TParity Parity() const { return FParity; }
    void SetParity(TParity value);
    TStopBits StopBits() const { return FStopBits; }
    void SetStopBits(TStopBits value);
    TOptions Options() const { return FOptions; }
    void SetOptions(TOptions value);
    TFlowControl& FlowControl() const { return *FFlowControl; }
    void SetFlowControl(const TPersistent& value) { FFlowControl->Assign(value); }
    TCharacters& Characters() const { return *FCharacters; }
    void SetCharacters(const TPersistent& value) { FCharacters->Assign(value); }
    TBufferSizes& BufferSizes() const { return *FBufferSizes; }
    void SetBufferSizes(const TPersistent& value) { FBufferSizes->Assign(value); }
    TTimeouts& Timeouts() const { return *FTimeouts; }
    void SetTimeouts(const TPersistent& value) { FTimeouts->Assign(value); }

    // ---- events and their thread
    bool SynchronizeEvents() const { return FSynchronizeEvents; }
    void SetSynchronizeEvents(bool value);
    TThreadPriority ThreadPriority() const { return FThreadPriority; }
    void SetThreadPriority(TThreadPriority value);

    // ---- port log
    const string& LogFile() const { return FLogFile; }
    void SetLogFile(const string& value) { FLogFile = value; }
    bool LogEnabled() const { return !FLogFile.empty(); }
    /// Appends one time-stamped line, with Count bytes at Data as "$XX" groups.
    void Log(const string& Text, const void* Data = nullptr, int32_t Count = 0);

    // ---- data transfer
    void Read(void* Buf, int32_t Count, bool WaitForCompletion);
    void Write(const void* Buf, int32_t Count, bool WaitForCompletion);
    void WaitForReadCompletion();
    void WaitForWriteCompletion();
    bool ReadPending() const;
    bool WritePending() const;

    // ---- text and typed reads (all wait for completion)
    AnsiString ReadAnsiString();
    string ReadString();
    TBytes ReadBytes();
    string Read(const TEncoding& Encoding);
    string ReadUtf8();
    TBytes ReadUntilBytes(uint8_t Terminator);
    string ReadUntil(uint8_t Terminator, const TEncoding& Encoding);
    string ReadUntilUtf8(uint8_t Terminator);
    TBytes ReadLineBytes();
    string ReadLine(const TEncoding& Encoding);
    string ReadLineUtf8();
    AnsiString ReadAnsiUntil(AnsiChar Terminator);
    AnsiString ReadAnsiLine();
    string ReadUntil(Char Terminator);
    string ReadLine();
    AnsiChar ReadAnsiChar();
    Char ReadChar();
    uint8_t ReadByte();
    uint16_t ReadWord();
    uint32_t ReadDWord();

    // ---- text and typed writes (none waits for completion)
    void WriteAnsiString(const AnsiString& Value);
    void WriteString(const string& Value);
    void WriteBytes(const TBytes& Value);
    void Write(const string& Value, const TEncoding& Encoding);
    void WriteUtf8(const string& Value);
    void WriteLine(const string& Value, const TEncoding& Encoding);
    void WriteLineUtf8(const string& Value);
    void WriteLineBytes(const TBytes& Value);
    void WriteAnsiLine(const AnsiString& Value);
    void WriteLine(const string& Value);
    void WriteAnsiChar(AnsiChar Value);
    void WriteChar(Char Value);
    void WriteByte(uint8_t Value);
    void WriteWord(uint16_t Value);
    void WriteDWord(uint32_t Value);

    // ---- line control, buffers and line status
    void PurgeInput();
    void PurgeOutput();
    void ClearInput();
    void ClearOutput();
    void AbortInput();
    void AbortOutput();
    void Flush();
    uint32_t InputCount();
    uint32_t OutputCount();
    void CheckLineErrors();
    void ClearLineErrors();
    void SetBreak();
    void ClearBreak();
    void SetDTR();
    void ClearDTR();
    void SetRTS();
    void ClearRTS();
    void SetXOn();
    void SetXOff();
    void ResetDevice();
    void TransmitChar(AnsiChar Value);
    TModemStatus ModemStatus();

    // ---- enumeration (append to List; never raise their own errors)
    void EnumDevices(rtl::TStrings& List);
    void EnumComDevices(rtl::TStrings& List);
    void EnumComDevicesFromRegistry(rtl::TStrings& List);
    void EnumComFriendlyNames(rtl::TStrings& List);

    // ---- capabilities and configuration dialogs
    TCapabilities Capabilities();
    TBaudRate MaxBaudRate();
    TBaudRates SettableBaudRates();
    TSettableDataBits SettableDataBits();
    TSettableParameters SettableParameters();
    TSettableParity SettableParity();
    TSettableStopBits SettableStopBits();
    bool ConfigDialog();
    bool DefaultConfigDialog();

    // ---- handlers
    TOpenCloseEvent AfterClose() const { return FAfterClose; }
    void SetAfterClose(TOpenCloseEvent h) { FAfterClose = h; }
    TOpenCloseEvent AfterOpen() const { return FAfterOpen; }
    void SetAfterOpen(TOpenCloseEvent h) { FAfterOpen = h; }
    TReadWriteEvent AfterRead() const { return FAfterRead; }
    void SetAfterRead(TReadWriteEvent h) { FAfterRead = h; }
    TReadWriteEvent AfterWrite() const { return FAfterWrite; }
    void SetAfterWrite(TReadWriteEvent h) { FAfterWrite = h; }
    TOpenCloseEvent BeforeClose() const { return FBeforeClose; }
    void SetBeforeClose(TOpenCloseEvent h) { FBeforeClose = h; }
    TOpenCloseEvent BeforeOpen() const { return FBeforeOpen; }
    void SetBeforeOpen(TOpenCloseEvent h) { FBeforeOpen = h; }
    TReadWriteEvent BeforeRead() const { return FBeforeRead; }
    void SetBeforeRead(TReadWriteEvent h) { FBeforeRead = h; }
    TReadWriteEvent BeforeWrite() const { return FBeforeWrite; }
    void SetBeforeWrite(TReadWriteEvent h) { FBeforeWrite = h; }
    TComErrorEvent OnError() const { return FOnError; }
    void SetOnError(TComErrorEvent h) { FOnError = h; }

    // The thirteen line-event handlers: a change recomputes the device event mask.
    TNotifyEvent OnBreak() const { return FOnBreak; }
    void SetOnBreak(TNotifyEvent h);
    TNotifyEvent OnCTSChange() const { return FOnCTSChange; }
    void SetOnCTSChange(TNotifyEvent h);
    TNotifyEvent OnDSRChange() const { return FOnDSRChange; }
    void SetOnDSRChange(TNotifyEvent h);
    TNotifyEvent OnEvent1() const { return FOnEvent1; }
    void SetOnEvent1(TNotifyEvent h);
    TNotifyEvent OnEvent2() const { return FOnEvent2; }
    void SetOnEvent2(TNotifyEvent h);
    TLineErrorEvent OnLineError() const { return FOnLineError; }
    void SetOnLineError(TLineErrorEvent h);
    TNotifyEvent OnPrinterError() const { return FOnPrinterError; }
    void SetOnPrinterError(TNotifyEvent h);
    TNotifyEvent OnRing() const { return FOnRing; }
    void SetOnRing(TNotifyEvent h);
    TNotifyEvent OnRLSDChange() const { return FOnRLSDChange; }
    void SetOnRLSDChange(TNotifyEvent h);
    TNotifyEvent OnRx80PercFull() const { return FOnRx80PercFull; }
    void SetOnRx80PercFull(TNotifyEvent h);
    TNotifyEvent OnRxChar() const { return FOnRxChar; }
    void SetOnRxChar(TNotifyEvent h);
    TNotifyEvent OnRxFlag() const { return FOnRxFlag; }
    void SetOnRxFlag(TNotifyEvent h);
    TNotifyEvent OnTxEmpty() const { return FOnTxEmpty; }
    void SetOnTxEmpty(TNotifyEvent h);

    TDeviceArrivalEvent OnDeviceArrival() const { return FOnDeviceArrival; }
    void SetOnDeviceArrival(TDeviceArrivalEvent h);
    TDeviceRemovedEvent OnDeviceRemoved() const { return FOnDeviceRemoved; }
    void SetOnDeviceRemoved(TDeviceRemovedEvent h);

    // ---- used by the other parts of the component (and by the event thread)
    void CheckResult(bool Success);
    [[noreturn]] void RaiseError(int32_t ErrorCode, const std::string& Msg);
    void CheckOpen();
    void CheckClosed();
    /// DeviceName without a leading \\.\ prefix.
    string PlainDeviceName() const;
    bool StartDeviceNotification();
    bool StopDeviceNotification();
    bool DeviceChangeHook(rtl::TMessage& Message);

protected:
    /// Opens the device and pushes every setting; on failure releases all and re-raises.
    virtual void CreateHandle();
    /// Releases the thread, the device and the events; never raises.
    void DestroyHandle();
    void ApplyDCB();
    void ApplyBufferSizes();
    void ApplyTimeouts();
    void ApplyEventMask();
    void StartThread();
    void StopThread();
    /// Overlays the settings on a DCB that holds the device's values.
    void SettingsToDCB(qwin::DCB& dcb);
    /// Reads a DCB back into the settings.
    void DCBToSettings(const qwin::DCB& dcb);

private:
    friend class TComThread;
    friend class TFlowControl;
    friend class TCharacters;
    friend class TBufferSizes;
    friend class TTimeouts;

    /// One pass of the wait; runs on the event thread and touches only the thread's own
    /// copies, never the port (which may be gone by the time the wait ends).
    static void WaitForEvent(TComThread* Thread);
    void DispatchEvents();
    /// The rows of FEventMask in table order, under one guard; no state check. Link is
    /// the caller's: a handler may destroy the port, and the port's own reference with it.
    void DispatchEventTable(TComPortLink& Link);
    void RaiseThreadError();
    void QueryProperties(qwin::COMMPROP& prop);
    TLineErrors QueryLineErrors(qwin::COMSTAT* stat);
    void ReportLineErrors(TLineErrors errors);
    void Purge(qwin::DWORD flags);
    void Escape(qwin::DWORD func);
    void ReadTyped(void* buf, int32_t count);

    bool FActive = false;
    qwin::HANDLE FHandle = qwin::INVALID_HANDLE_VALUE;
    qwin::HANDLE FReadEventHandle = 0;
    qwin::HANDLE FWriteEventHandle = 0;
    qwin::OVERLAPPED FEventOverlapped{};
    qwin::OVERLAPPED FReadOverlapped{};
    qwin::OVERLAPPED FWriteOverlapped{};
    TComThread* FComThread = nullptr;
    qwin::DWORD FEventMask = 0;
    uint32_t FRequestedReadCount = 0;
    uint32_t FRequestedWriteCount = 0;
    const void* FRequestedReadBuffer = nullptr;
    const void* FRequestedWriteBuffer = nullptr;
    uint32_t FOriginalPriorityClass = 0xFFFFFFFF;
    qwin::DWORD FThreadError = 0;
    TThreadPriority FThreadPriority = rtl::tpTimeCritical;
    int32_t FCustomBaudRate = 0;
    TBaudRate FBaudRate = brDefault;
    std::vector<uint8_t> FBuffer;
    /// The bytes of a read whose completion step raised, kept for its later completion line.
    std::vector<uint8_t> FReadCopy;
    TBufferSizes* FBufferSizes = nullptr;
    TCharacters* FCharacters = nullptr;
    TDataBits FDataBits = dbDefault;
    string FDeviceName;
    TFlowControl* FFlowControl = nullptr;
    string FLogFile;
    void* FNotificationHandle = nullptr;
    TOptions FOptions;
    TParity FParity = paDefault;
    TPriorityClass FPriorityClass = pcDefault;
    TStopBits FStopBits = sbDefault;
    bool FSynchronizeEvents = true;
    TTimeouts* FTimeouts = nullptr;

    TOpenCloseEvent FAfterClose, FAfterOpen;
    TReadWriteEvent FAfterRead, FAfterWrite;
    TOpenCloseEvent FBeforeClose, FBeforeOpen;
    TReadWriteEvent FBeforeRead, FBeforeWrite;
    TNotifyEvent FOnBreak, FOnCTSChange, FOnDSRChange;
    TComErrorEvent FOnError;
    TNotifyEvent FOnEvent1, FOnEvent2;
    TLineErrorEvent FOnLineError;
    TNotifyEvent FOnPrinterError, FOnRing, FOnRLSDChange, FOnRx80PercFull, FOnRxChar, FOnRxFlag,
        FOnTxEmpty;
    TDeviceArrivalEvent FOnDeviceArrival;
    TDeviceRemovedEvent FOnDeviceRemoved;

    /// Shared with the event thread so that a dispatch queued for the main thread can tell
    /// whether its port still exists.
    std::shared_ptr<TComPortLink> FLink;
};

/// The published form of the port.
class TComPort : public TCustomComPort {
public:
    using TCustomComPort::TCustomComPort;
};

// Flag conversions of the driver's records (pure).
TLineErrors LineErrorsFromFlags(qwin::DWORD flags);
TModemStatus ModemStatusFromFlags(qwin::DWORD flags);
TCapabilities CapabilitiesFromFlags(qwin::DWORD flags);
TSettableParameters SettableParametersFromFlags(qwin::DWORD flags);
TBaudRates BaudRatesFromFlags(qwin::DWORD flags);
TBaudRate MaxBaudRateFromValue(qwin::DWORD value);
TSettableDataBits DataBitsFromFlags(qwin::WORD flags);
TSettableStopBits StopBitsFromFlags(qwin::WORD flags);
TSettableParity ParityFromFlags(qwin::WORD flags);

} // namespace quillon
