#pragma once
// The serial port component: settings, lifecycle, transfer, text I/O, line control, line
// events on a thread of its own, device enumeration, capabilities and device notifications.
//
// The names below the component come from the Windows communications API, which
// platform/WinApi.h provides on Linux: a DCB (device control block) is the line's settings
// (speed, framing, flow control), as a termios would hold them; COMMTIMEOUTS are the
// read and write time-outs (VMIN/VTIME, but per request and in milliseconds); the EV_*
// flags (EV_RXCHAR: bytes arrived, EV_CTS: CTS changed, ...) are the line events a port
// waits for, the way poll() waits for POLLIN, and a HANDLE is an open device.
#include "comport/ComSettings.h"
#include "comport/ComTypes.h"
#include "platform/WinApi.h"
#include "rtl/Application.h"
#include "rtl/Strings.h"

#include <array>
#include <atomic>
#include <memory>
#include <vector>

/// The serial port components.
namespace quillon {

class TComThread;
struct TComPortLink;

/// A serial port: its settings, its device, its transfers and its line events.
class TCustomComPort : public TComponent {
  public:
    /// A closed port on COM1 with every setting at its default; AOwner destroys it with itself.
    explicit TCustomComPort(TComponent* AOwner);
    /// Closes the port (an error goes to the application's display) and releases everything.
    ~TCustomComPort() override;

    /// Applies the stored Active once all stored properties are in place.
    void Loaded() override;

    // ---- lifecycle
    /// True while the device is open (the stored value while designing).
    bool Active() const;
    /// Opens or closes the port (while loading, only stores). Raises what Open or Close raises.
    void SetActive(bool value);
    /// Opens DeviceName and applies every setting and handler; none if open. Raises EComError.
    void Open();
    /// Closes the device and ends its event thread; does nothing if closed. Raises EComError.
    void Close();
    /// The device handle, or INVALID_HANDLE_VALUE while closed.
    qwin::HANDLE Handle() const { return FHandle; }
    /// The device to open: a path, a name relative to /dev, a virtual device's name, or
    /// rfc2217://host:port for a port behind a terminal server. RFC 2217 is cleartext and
    /// unauthenticated: data and settings cross the network readable by anyone on the path.
    const string& DeviceName() const { return FDeviceName; }
    /// Stores the device name. Raises EComError on an open port.
    void SetDeviceName(const string& value);
    /// The process priority class taken while the port is open.
    TPriorityClass PriorityClass() const { return FPriorityClass; }
    /// Stores the class, taken from the next Open. Raises EComError on an open port.
    void SetPriorityClass(TPriorityClass value);
    /// A version and credit line; writing it is accepted and ignored.
    string About() const;
    /// Ignored: About is read-only.
    void SetAbout(const string&) {}

    // ---- settings
    /// The line speed as a table rate, brCustom for CustomBaudRate, brDefault to keep the device's.
    TBaudRate BaudRate() const { return FBaudRate; }
    /// Stores the rate; an open port pushes it to the device. Raises EComError.
    void SetBaudRate(TBaudRate value);
    /// The custom rate when BaudRate is brCustom, else the table rate of BaudRate.
    int32_t CustomBaudRate() const;
    /// Stores a rate in bits per second and selects brCustom. Raises EComError on a driver failure.
    void SetCustomBaudRate(int32_t value);
    /// Bits per character (dbDefault keeps the device's).
    TDataBits DataBits() const { return FDataBits; }
    /// Stores the data bits; an open port pushes them. Raises EComError.
    void SetDataBits(TDataBits value);
    /// The parity bit (paDefault keeps the device's).
    TParity Parity() const { return FParity; }
    /// Stores the parity; an open port pushes it. Raises EComError.
    void SetParity(TParity value);
    /// Stop bits per character (sbDefault keeps the device's).
    TStopBits StopBits() const { return FStopBits; }
    /// Stores the stop bits; an open port pushes them. Raises EComError.
    void SetStopBits(TStopBits value);
    /// The parity, flow and error options of the line.
    TOptions Options() const { return FOptions; }
    /// Stores the options; an open port pushes them. Raises EComError.
    void SetOptions(TOptions value);
    /// The hardware and software flow-control settings.
    TFlowControl& FlowControl() const { return *FFlowControl; }
    /// Copies flow-control settings from another TFlowControl.
    void SetFlowControl(const TPersistent& value) { FFlowControl->Assign(value); }
    /// The special characters (XON, XOFF, error, end of file, event).
    TCharacters& Characters() const { return *FCharacters; }
    /// Copies the special characters from another TCharacters.
    void SetCharacters(const TPersistent& value) { FCharacters->Assign(value); }
    /// The driver's queue sizes in bytes.
    TBufferSizes& BufferSizes() const { return *FBufferSizes; }
    /// Copies the queue sizes from another TBufferSizes.
    void SetBufferSizes(const TPersistent& value) { FBufferSizes->Assign(value); }
    /// The read and write time-outs in milliseconds.
    TTimeouts& Timeouts() const { return *FTimeouts; }
    /// Copies the time-outs from another TTimeouts.
    void SetTimeouts(const TPersistent& value) { FTimeouts->Assign(value); }

    // ---- events and their thread
    /// True (default): line-event handlers run on the main thread; false: on the event thread.
    bool SynchronizeEvents() const { return FSynchronizeEvents; }
    /// Whether the driver is asked to hand received bytes on at once (false by default).
    /// Many USB adapters otherwise hold them up to 16 ms, the largest delay a request and
    /// its reply meet. Applied at Open and at once while open; a driver without such a
    /// mode, or one that ignores it, raises EComError (Linux: TIOCSSERIAL's
    /// ASYNC_LOW_LATENCY). Under Windows it is a setting of the adapter's driver and this
    /// changes nothing.
    bool LowLatency() const { return FLowLatency; }
    /// Stores the choice; pushes it while open.
    void SetLowLatency(bool value);
    /// Chooses where line-event handlers run. Raises EComError on an open port.
    void SetSynchronizeEvents(bool value);
    /// The event thread's priority (a nice level on Linux).
    TThreadPriority ThreadPriority() const { return FThreadPriority; }
    /// Stores the priority; a running event thread takes it at once.
    void SetThreadPriority(TThreadPriority value);

    // ---- port log
    /// The port log's file name; empty for no log.
    const string& LogFile() const { return FLogFile; }
    /// Names the port log's file; an empty name turns logging off.
    void SetLogFile(const string& value) { FLogFile = value; }
    /// True when a log file is named.
    bool LogEnabled() const { return !FLogFile.empty(); }
    /// Appends one time-stamped line, with Count bytes at Data as "$XX" groups.
    void Log(const string& Text, const void* Data = nullptr, int32_t Count = 0);

    // ---- data transfer
    /// Reads Count bytes into Buf, waiting if WaitForCompletion. Raises EComError.
    void Read(void* Buf, int32_t Count, bool WaitForCompletion);
    /// Writes Count bytes (from a copy unless WaitForCompletion). Raises EComError.
    void Write(const void* Buf, int32_t Count, bool WaitForCompletion);
    /// Waits for the pending read, checks line errors. Raises EComError (STimeout if short).
    void WaitForReadCompletion();
    /// Waits for the pending write, checks line errors. Raises EComError (STimeout if short).
    void WaitForWriteCompletion();
    /// True while a read started without waiting is still running.
    bool ReadPending() const;
    /// True while a write started without waiting is still running.
    bool WritePending() const;

    // ---- text and typed reads (all wait for completion)
    /// Reads every byte waiting in the input queue as 8-bit text. Raises EComError.
    AnsiString ReadAnsiString();
    /// Reads the waiting input as UTF-16 code units, low byte first. Raises EComError.
    string ReadString();
    /// Reads every byte waiting in the input queue. Raises EComError.
    TBytes ReadBytes();
    /// Reads the waiting input and decodes it with Encoding. Raises EComError.
    string Read(const TEncoding& Encoding);
    /// Reads the waiting input as UTF-8. Raises EComError.
    string ReadUtf8();
    /// Reads byte by byte up to and including Terminator. Raises EComError.
    TBytes ReadUntilBytes(uint8_t Terminator);
    /// Reads up to and including the byte Terminator, decoded with Encoding. Raises EComError.
    string ReadUntil(uint8_t Terminator, const TEncoding& Encoding);
    /// Reads up to and including the byte Terminator as UTF-8. Raises EComError.
    string ReadUntilUtf8(uint8_t Terminator);
    /// Reads up to and including a CR. Raises EComError.
    TBytes ReadLineBytes();
    /// Reads up to and including a CR and decodes it with Encoding. Raises EComError.
    string ReadLine(const TEncoding& Encoding);
    /// Reads up to and including a CR as UTF-8. Raises EComError.
    string ReadLineUtf8();
    /// Reads 8-bit characters up to and including Terminator. Raises EComError.
    AnsiString ReadAnsiUntil(AnsiChar Terminator);
    /// Reads 8-bit characters up to and including a CR. Raises EComError.
    AnsiString ReadAnsiLine();
    /// Reads UTF-16 code units up to and including Terminator. Raises EComError.
    string ReadUntil(Char Terminator);
    /// Reads UTF-16 code units up to and including a CR. Raises EComError.
    string ReadLine();
    /// Reads one byte as an 8-bit character. Raises EComError.
    AnsiChar ReadAnsiChar();
    /// Reads one UTF-16 code unit (2 bytes, low first). Raises EComError.
    Char ReadChar();
    /// Reads one byte. Raises EComError.
    uint8_t ReadByte();
    /// Reads 2 bytes, least significant first. Raises EComError.
    uint16_t ReadWord();
    /// Reads 4 bytes, least significant first. Raises EComError.
    uint32_t ReadDWord();

    // ---- text and typed writes (none waits for completion)
    /// Writes 8-bit text as it is. Raises EComError.
    void WriteAnsiString(const AnsiString& Value);
    /// Writes UTF-16 code units, low byte first. Raises EComError.
    void WriteString(const string& Value);
    /// Writes the bytes. Raises EComError.
    void WriteBytes(const TBytes& Value);
    /// Writes Value encoded with Encoding. Raises EComError.
    void Write(const string& Value, const TEncoding& Encoding);
    /// Writes Value as UTF-8. Raises EComError.
    void WriteUtf8(const string& Value);
    /// Writes Value encoded with Encoding, then a CR. Raises EComError.
    void WriteLine(const string& Value, const TEncoding& Encoding);
    /// Writes Value as UTF-8, then a CR. Raises EComError.
    void WriteLineUtf8(const string& Value);
    /// Writes the bytes, then a CR. Raises EComError.
    void WriteLineBytes(const TBytes& Value);
    /// Writes 8-bit text, then a CR. Raises EComError.
    void WriteAnsiLine(const AnsiString& Value);
    /// Writes UTF-16 code units, then a CR as one code unit. Raises EComError.
    void WriteLine(const string& Value);
    /// Writes one 8-bit character. Raises EComError.
    void WriteAnsiChar(AnsiChar Value);
    /// Writes one UTF-16 code unit, low byte first. Raises EComError.
    void WriteChar(Char Value);
    /// Writes one byte. Raises EComError.
    void WriteByte(uint8_t Value);
    /// Writes 2 bytes, least significant first. Raises EComError.
    void WriteWord(uint16_t Value);
    /// Writes 4 bytes, least significant first. Raises EComError.
    void WriteDWord(uint32_t Value);

    // ---- line control, buffers and line status
    /// Drops the input queue and ends a pending read; nothing on a closed port. Raises EComError.
    void PurgeInput();
    /// Drops the output queue and ends a pending write; nothing on a closed port. Raises EComError.
    void PurgeOutput();
    /// Drops the input queue; nothing on a closed port. Raises EComError.
    void ClearInput();
    /// Drops the output queue; nothing on a closed port. Raises EComError.
    void ClearOutput();
    /// Ends a pending read; nothing on a closed port. Raises EComError.
    void AbortInput();
    /// Ends a pending write; nothing on a closed port. Raises EComError.
    void AbortOutput();
    /// Waits until the output queue has been sent; nothing on a closed port. Raises EComError.
    void Flush();
    /// Bytes waiting in the input queue; reports line errors to OnLineError. Raises EComError.
    uint32_t InputCount();
    /// Bytes waiting in the output queue; reports line errors to OnLineError. Raises EComError.
    uint32_t OutputCount();
    /// Reports and clears the device's line errors through OnLineError. Raises EComError.
    void CheckLineErrors();
    /// Clears the device's line errors without reporting them. Raises EComError.
    void ClearLineErrors();
    /// Holds the line in the break state. Raises EComError.
    void SetBreak();
    /// Ends the break state. Raises EComError.
    void ClearBreak();
    /// Raises the DTR line. Raises EComError.
    void SetDTR();
    /// Lowers the DTR line. Raises EComError.
    void ClearDTR();
    /// Raises the RTS line. Raises EComError.
    void SetRTS();
    /// Lowers the RTS line. Raises EComError.
    void ClearRTS();
    /// Resumes sending as if XON had been received. Raises EComError.
    void SetXOn();
    /// Holds sending as if XOFF had been received. Raises EComError.
    void SetXOff();
    /// Resets the device where the driver can. Raises EComError.
    void ResetDevice();
    /// Sends Value ahead of the output queue. Raises EComError.
    void TransmitChar(AnsiChar Value);
    /// The input lines (CTS, DSR, ring, carrier) as they are now. Raises EComError.
    TModemStatus ModemStatus();

    // ---- enumeration (append to List; never raise their own errors)
    /// Appends the names of the serial devices present.
    void EnumDevices(rtl::TStrings& List);
    /// Appends the names of the serial devices a port can open.
    void EnumComDevices(rtl::TStrings& List);
    /// Appends the registered serial devices (adapters, UARTs, registered ptys).
    void EnumComDevicesFromRegistry(rtl::TStrings& List);
    /// Appends the descriptive names of the registered serial devices.
    void EnumComFriendlyNames(rtl::TStrings& List);

    // ---- capabilities and configuration dialogs
    /// What the device can do (flow control, time-outs, ...). Raises EComError.
    TCapabilities Capabilities();
    /// The highest table rate the device takes. Raises EComError.
    TBaudRate MaxBaudRate();
    /// The table rates the device takes. Raises EComError.
    TBaudRates SettableBaudRates();
    /// The data-bit counts the device takes. Raises EComError.
    TSettableDataBits SettableDataBits();
    /// The settings the device lets a program change. Raises EComError.
    TSettableParameters SettableParameters();
    /// The parities the device takes. Raises EComError.
    TSettableParity SettableParity();
    /// The stop-bit counts the device takes. Raises EComError.
    TSettableStopBits SettableStopBits();
    /// Shows the device's settings dialog and applies them if accepted (true). Raises EComError.
    bool ConfigDialog();
    /// Shows the device's default settings and stores them if accepted (true). Raises EComError.
    bool DefaultConfigDialog();

    // ---- handlers
    /// Called after the port has closed.
    TOpenCloseEvent AfterClose() const { return FAfterClose; }
    /// Sets the handler called after the port has closed.
    void SetAfterClose(TOpenCloseEvent h) { FAfterClose = h; }
    /// Called after the port has opened.
    TOpenCloseEvent AfterOpen() const { return FAfterOpen; }
    /// Sets the handler called after the port has opened.
    void SetAfterOpen(TOpenCloseEvent h) { FAfterOpen = h; }
    /// Called after each Read request (when WaitForCompletion, after it completed).
    TReadWriteEvent AfterRead() const { return FAfterRead; }
    /// Sets the handler called after each Read request.
    void SetAfterRead(TReadWriteEvent h) { FAfterRead = h; }
    /// Called after each Write request (when WaitForCompletion, after it completed).
    TReadWriteEvent AfterWrite() const { return FAfterWrite; }
    /// Sets the handler called after each Write request.
    void SetAfterWrite(TReadWriteEvent h) { FAfterWrite = h; }
    /// Called before the port closes.
    TOpenCloseEvent BeforeClose() const { return FBeforeClose; }
    /// Sets the handler called before the port closes.
    void SetBeforeClose(TOpenCloseEvent h) { FBeforeClose = h; }
    /// Called before the port opens.
    TOpenCloseEvent BeforeOpen() const { return FBeforeOpen; }
    /// Sets the handler called before the port opens.
    void SetBeforeOpen(TOpenCloseEvent h) { FBeforeOpen = h; }
    /// Called before each Read request.
    TReadWriteEvent BeforeRead() const { return FBeforeRead; }
    /// Sets the handler called before each Read request.
    void SetBeforeRead(TReadWriteEvent h) { FBeforeRead = h; }
    /// Called before each Write request.
    TReadWriteEvent BeforeWrite() const { return FBeforeWrite; }
    /// Sets the handler called before each Write request.
    void SetBeforeWrite(TReadWriteEvent h) { FBeforeWrite = h; }
    /// Called with each error before it is raised; setting Action to caAbort makes it silent.
    TComErrorEvent OnError() const { return FOnError; }
    /// Sets the handler called with each error before it is raised.
    void SetOnError(TComErrorEvent h) { FOnError = h; }

    // The thirteen line-event handlers: a change recomputes the device event mask.
    /// Called when the line enters the break state (EV_BREAK).
    TNotifyEvent OnBreak() const { return FOnBreak; }
    /// Sets the break handler and updates the device event mask. Raises EComError.
    void SetOnBreak(TNotifyEvent h);
    /// Called when the CTS line changes (EV_CTS).
    TNotifyEvent OnCTSChange() const { return FOnCTSChange; }
    /// Sets the CTS handler and updates the device event mask. Raises EComError.
    void SetOnCTSChange(TNotifyEvent h);
    /// Called when the DSR line changes (EV_DSR).
    TNotifyEvent OnDSRChange() const { return FOnDSRChange; }
    /// Sets the DSR handler and updates the device event mask. Raises EComError.
    void SetOnDSRChange(TNotifyEvent h);
    /// Called on the device-specific event 1 (EV_EVENT1).
    TNotifyEvent OnEvent1() const { return FOnEvent1; }
    /// Sets the event-1 handler and updates the device event mask. Raises EComError.
    void SetOnEvent1(TNotifyEvent h);
    /// Called on the device-specific event 2 (EV_EVENT2).
    TNotifyEvent OnEvent2() const { return FOnEvent2; }
    /// Sets the event-2 handler and updates the device event mask. Raises EComError.
    void SetOnEvent2(TNotifyEvent h);
    /// Called with the line errors found (framing, overrun, parity, ...; EV_ERR).
    TLineErrorEvent OnLineError() const { return FOnLineError; }
    /// Sets the line-error handler and updates the device event mask. Raises EComError.
    void SetOnLineError(TLineErrorEvent h);
    /// Called on a printer error (EV_PERR).
    TNotifyEvent OnPrinterError() const { return FOnPrinterError; }
    /// Sets the printer-error handler and updates the device event mask. Raises EComError.
    void SetOnPrinterError(TNotifyEvent h);
    /// Called when the ring indicator line changes (EV_RING).
    TNotifyEvent OnRing() const { return FOnRing; }
    /// Sets the ring handler and updates the device event mask. Raises EComError.
    void SetOnRing(TNotifyEvent h);
    /// Called when the carrier-detect line changes (EV_RLSD).
    TNotifyEvent OnRLSDChange() const { return FOnRLSDChange; }
    /// Sets the carrier handler and updates the device event mask. Raises EComError.
    void SetOnRLSDChange(TNotifyEvent h);
    /// Called when the input queue is 80 % full (EV_RX80FULL).
    TNotifyEvent OnRx80PercFull() const { return FOnRx80PercFull; }
    /// Sets the queue-full handler and updates the device event mask. Raises EComError.
    void SetOnRx80PercFull(TNotifyEvent h);
    /// Called when bytes arrive (EV_RXCHAR).
    TNotifyEvent OnRxChar() const { return FOnRxChar; }
    /// Sets the arrival handler and updates the device event mask. Raises EComError.
    void SetOnRxChar(TNotifyEvent h);
    /// Called when the event character arrives (EV_RXFLAG).
    TNotifyEvent OnRxFlag() const { return FOnRxFlag; }
    /// Sets the event-character handler and updates the device event mask. Raises EComError.
    void SetOnRxFlag(TNotifyEvent h);
    /// Called when the output queue has been sent (EV_TXEMPTY).
    TNotifyEvent OnTxEmpty() const { return FOnTxEmpty; }
    /// Sets the sent handler and updates the device event mask. Raises EComError.
    void SetOnTxEmpty(TNotifyEvent h);

    /// Called on the main loop with the name of each serial device that appears.
    TDeviceArrivalEvent OnDeviceArrival() const { return FOnDeviceArrival; }
    /// Sets the arrival handler; starts or stops watching for devices as needed.
    void SetOnDeviceArrival(TDeviceArrivalEvent h);
    /// Called on the main loop with the name of each serial device that goes.
    TDeviceRemovedEvent OnDeviceRemoved() const { return FOnDeviceRemoved; }
    /// Sets the removal handler; starts or stops watching for devices as needed.
    void SetOnDeviceRemoved(TDeviceRemovedEvent h);

    // ---- used by the other parts of the component (and by the event thread)
    /// Raises the last system error as EComError unless Success.
    void CheckResult(bool Success);
    /// Offers the error to OnError, then raises it as EComError (EAbort if OnError aborted).
    [[noreturn]] void RaiseError(int32_t ErrorCode, const std::string& Msg);
    /// Raises EComError (SClosedPort) unless the port is open.
    void CheckOpen();
    /// Raises EComError (SOpenPort) while the port is open.
    void CheckClosed();
    /// DeviceName without a leading \\.\ prefix.
    string PlainDeviceName() const;
    /// Starts watching for devices coming and going; true when watching.
    bool StartDeviceNotification();
    /// Stops watching for devices; false when the system refused.
    bool StopDeviceNotification();
    /// Passes a device-change message to OnDeviceArrival / OnDeviceRemoved; always false.
    bool DeviceChangeHook(rtl::TMessage& Message);

  protected:
    /// Opens the device and pushes every setting; on failure releases all and re-raises.
    virtual void CreateHandle();
    /// Releases the thread, the device and the events; never raises.
    void DestroyHandle();
    /// Pushes the line settings to the open device. Raises EComError.
    void ApplyDCB();
    /// Pushes the queue sizes to the open device. Raises EComError.
    void ApplyBufferSizes();
    /// Pushes the time-outs to the open device. Raises EComError.
    void ApplyTimeouts();
    void ApplyLowLatency();
    /// Sets the event mask from the line handlers, starts or stops the thread. Raises EComError.
    void ApplyEventMask();
    /// Starts the event thread unless one runs. Raises EComError (SCreateThread).
    void StartThread();
    /// Stops the event thread without waiting for it.
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
    /// The open device's capabilities and queue sizes; throws as CheckResult does.
    qwin::COMMPROP QueryProperties();
    TLineErrors QueryLineErrors(qwin::COMSTAT* stat);
    void ReportLineErrors(TLineErrors errors);
    void Purge(qwin::DWORD flags);
    void Escape(qwin::DWORD func);
    void ReadTyped(void* buf, int32_t count);
    /// Stores a line-event handler and recomputes the device event mask.
    template <class E> void SetLineHandler(E& Field, E Value);

    bool FActive = false;
    qwin::HANDLE FHandle = qwin::INVALID_HANDLE_VALUE;
    qwin::HANDLE FReadEventHandle = 0;
    qwin::HANDLE FWriteEventHandle = 0;
    qwin::OVERLAPPED FEventOverlapped{};
    qwin::OVERLAPPED FReadOverlapped{};
    qwin::OVERLAPPED FWriteOverlapped{};
    qwin::DWORD FEventMask = 0;
    uint32_t FRequestedReadCount = 0;
    bool FReadWentPending = false; // started pending and not yet checked
    bool FWriteWentPending = false;
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
    bool FLowLatency = false;
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

/// One line event: its device flag, its handler property and its port log line.
struct TLineEvent {
    /// The EV_* flag that reports it.
    qwin::DWORD Flag;
    /// The port's getter of its handler; none on the line-error row (see OnLineError).
    TNotifyEvent (TCustomComPort::*Handler)() const;
    /// The port's setter of its handler; none on the line-error row.
    void (TCustomComPort::*SetHandler)(TNotifyEvent);
    /// The port log's line for it.
    const char16_t* LogText;
};
/// The thirteen line events in dispatch order: the one list the event mask, the dispatch
/// and the signal indicator read.
extern const std::array<TLineEvent, 13> LineEvents;

/// The published form of the port.
class TComPort : public TCustomComPort {
  public:
    /// A closed port owned by AOwner, as TCustomComPort.
    using TCustomComPort::TCustomComPort;
};

// Flag conversions of the driver's records (pure).
/// The line errors of a CE_* word.
TLineErrors LineErrorsFromFlags(qwin::DWORD flags);
/// The modem lines of an MS_*_ON word.
TModemStatus ModemStatusFromFlags(qwin::DWORD flags);
/// The capabilities of a PCF_* word.
TCapabilities CapabilitiesFromFlags(qwin::DWORD flags);
/// The settable parameters of an SP_* word.
TSettableParameters SettableParametersFromFlags(qwin::DWORD flags);
/// The table rates of a BAUD_* word.
TBaudRates BaudRatesFromFlags(qwin::DWORD flags);
/// The table rate of a BAUD_* value (brCustom for BAUD_USER).
TBaudRate MaxBaudRateFromValue(qwin::DWORD value);
/// The data-bit counts of a DATABITS_* word.
TSettableDataBits DataBitsFromFlags(qwin::WORD flags);
/// The stop-bit counts of a STOPBITS_* word.
TSettableStopBits StopBitsFromFlags(qwin::WORD flags);
/// The parities of a PARITY_* word.
TSettableParity ParityFromFlags(qwin::WORD flags);

} // namespace quillon
