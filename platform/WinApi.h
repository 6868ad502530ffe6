#pragma once
// The serial and device API the components are written against, shaped like the Windows
// communications API so that component code reads like its algorithms. The backends behind
// the handle table realise it with termios on Linux (linux/tty/), with the real API on Windows
// (win32/), or in memory (virtual/). Errors: a failing call returns false (or
// INVALID_HANDLE_VALUE / 0) and sets the last-error value to the system's own code (errno,
// or GetLastError's); ERROR_IO_PENDING means "started".
#include "SystemCodes.h"

#include <cerrno>
#include <cstdint>
#include <functional>
#include <string>

/// The Windows-shaped serial and device API: on Linux realised over termios, on Windows
/// forwarded to the system's own.
namespace qwin {

/// The API's integer types: BOOL a truth value, BYTE/WORD/DWORD unsigned 8/16/32 bits.
///@{
using BOOL = int;
using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
///@}
/// An open device or event of the handle table.
using HANDLE = uintptr_t;
/// A window, as a device registration names its recipient.
using HWND = uintptr_t;
/// A device-notification registration.
using HDEVNOTIFY = void*;
/// UTF-16 text, as device names are given.
using string = std::u16string;

/// The two BOOL values.
///@{
constexpr BOOL FALSE = 0;
constexpr BOOL TRUE = 1;
///@}
/// The handle of no device: what a failed CreateFile returns.
constexpr HANDLE INVALID_HANDLE_VALUE = ~HANDLE(0);
/// The largest DWORD; in a time-out, "none".
constexpr DWORD MAXDWORD = 0xFFFFFFFF;
/// A wait without time limit.
constexpr DWORD INFINITE = 0xFFFFFFFF;

// Last-error codes the components compare against; the system's own (SystemCodes.h, one per
// operating system) for the rest.
/// No error.
constexpr DWORD ERROR_SUCCESS = 0;
/// The request was started and completes later.
constexpr DWORD ERROR_IO_PENDING = 997; // beyond every errno value, as on Windows
/// GetOverlappedResult without waiting on a request that is still running.
constexpr DWORD ERROR_IO_INCOMPLETE = 996;

/// The calling thread's last-error code.
DWORD GetLastError();
/// Sets the calling thread's last-error code.
void SetLastError(DWORD code);

// CreateFile
/// CreateFile's access, disposition, attribute and flag values.
///@{
constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD GENERIC_WRITE = 0x40000000;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD FILE_FLAG_OVERLAPPED = 0x40000000;
///@}

/// Opens a serial device exclusively (a second opener, root included, gets EBUSY) and puts
/// it in raw mode at once. Names: a path (/dev/ttyUSB0), a bare name relative to /dev
/// (ttyUSB0), either behind the prefix \\.\ , a virtual device's name, or a port on another
/// machine, rfc2217://host:port (a name, an IPv4 address or an IPv6 one in brackets). That
/// last is reached over RFC 2217, which is cleartext and unauthenticated: anyone on the path
/// reads the data and anyone who reaches the server's port drives the line. Keep such servers
/// on a trusted network or behind a tunnel of your own (SSH, VPN).
HANDLE CreateFile(const string& name, DWORD access, DWORD share, void* security, DWORD disposition,
                  DWORD flags, HANDLE templateFile);
/// Closes a device or event; pending requests end with ERROR_OPERATION_ABORTED.
BOOL CloseHandle(HANDLE h);

// Device control block: 28 bytes, bit fields in Windows order.
/// The values of DCB::Parity, DCB::StopBits, DCB::fDtrControl and DCB::fRtsControl.
///@{
constexpr BYTE NOPARITY = 0, ODDPARITY = 1, EVENPARITY = 2, MARKPARITY = 3, SPACEPARITY = 4;
constexpr BYTE ONESTOPBIT = 0, ONE5STOPBITS = 1, TWOSTOPBITS = 2;
constexpr DWORD DTR_CONTROL_DISABLE = 0, DTR_CONTROL_ENABLE = 1, DTR_CONTROL_HANDSHAKE = 2;
constexpr DWORD RTS_CONTROL_DISABLE = 0, RTS_CONTROL_ENABLE = 1, RTS_CONTROL_HANDSHAKE = 2,
                RTS_CONTROL_TOGGLE = 3;
///@}

/// The device control block: the line's settings (speed, framing, flow control, characters).
struct DCB {
    /// Speed (bits per second), flag bits, XON/XOFF limits (bytes), framing, characters.
    ///@{
    DWORD DCBlength;
    DWORD BaudRate;
    DWORD fBinary : 1;
    DWORD fParity : 1;
    DWORD fOutxCtsFlow : 1;
    DWORD fOutxDsrFlow : 1;
    DWORD fDtrControl : 2;
    DWORD fDsrSensitivity : 1;
    DWORD fTXContinueOnXoff : 1;
    DWORD fOutX : 1;
    DWORD fInX : 1;
    DWORD fErrorChar : 1;
    DWORD fNull : 1;
    DWORD fRtsControl : 2;
    DWORD fAbortOnError : 1;
    DWORD fDummy2 : 17;
    WORD wReserved;
    WORD XonLim;
    WORD XoffLim;
    BYTE ByteSize;
    BYTE Parity;
    BYTE StopBits;
    char XonChar;
    char XoffChar;
    char ErrorChar;
    char EofChar;
    char EvtChar;
    WORD wReserved1;
    ///@}
};
static_assert(sizeof(DCB) == 28, "DCB must keep the Windows layout");

/// Read and write time-outs in milliseconds: per-byte gap, then per-byte and constant totals.
struct COMMTIMEOUTS {
    /// The time-outs in milliseconds (MAXDWORD interval with zero totals: return at once).
    ///@{
    DWORD ReadIntervalTimeout;
    DWORD ReadTotalTimeoutMultiplier;
    DWORD ReadTotalTimeoutConstant;
    DWORD WriteTotalTimeoutMultiplier;
    DWORD WriteTotalTimeoutConstant;
    ///@}
};

/// What a device can do: queue sizes, rates, settable parameters and capabilities.
struct COMMPROP {
    /// Queue sizes in bytes, and words of BAUD_*, PCF_*, SP_*, DATABITS_*, STOPBITS_* bits.
    ///@{
    WORD wPacketLength;
    WORD wPacketVersion;
    DWORD dwServiceMask;
    DWORD dwReserved1;
    DWORD dwMaxTxQueue;
    DWORD dwMaxRxQueue;
    DWORD dwMaxBaud;
    DWORD dwProvSubType;
    DWORD dwProvCapabilities;
    DWORD dwSettableParams;
    DWORD dwSettableBaud;
    WORD wSettableData;
    WORD wSettableStopParity;
    DWORD dwCurrentTxQueue;
    DWORD dwCurrentRxQueue;
    DWORD dwProvSpec1;
    DWORD dwProvSpec2;
    char16_t wcProvChar[1];
    ///@}
};
static_assert(sizeof(COMMPROP) == 64, "COMMPROP must keep the Windows layout");

/// A device's configuration: its DCB and provider data.
struct COMMCONFIG {
    /// The record's size in bytes, its version, the DCB and the provider's data.
    ///@{
    DWORD dwSize;
    WORD wVersion;
    WORD wReserved;
    DCB dcb;
    DWORD dwProviderSubType;
    DWORD dwProviderOffset;
    DWORD dwProviderSize;
    char16_t wcProviderData[1];
    ///@}
};
static_assert(sizeof(COMMCONFIG) == 52, "COMMCONFIG must keep the Windows layout");

/// A device's status: what holds the output back, and the queue counts in bytes.
struct COMSTAT {
    /// What holds the output back, then the input and output queue counts in bytes.
    ///@{
    DWORD fCtsHold : 1;
    DWORD fDsrHold : 1;
    DWORD fRlsdHold : 1;
    DWORD fXoffHold : 1;
    DWORD fXoffSent : 1;
    DWORD fEof : 1;
    DWORD fTxim : 1;
    DWORD fReserved : 25;
    DWORD cbInQue;
    DWORD cbOutQue;
    ///@}
};

/// An asynchronous request's record: the caller sets hEvent (a manual- or auto-reset
/// event); the backend resets it when the request starts pending and sets it when the
/// request ends, with Internal = final last-error code and InternalHigh = bytes moved.
struct OVERLAPPED {
    /// The record's fields: final code, bytes moved, unused offsets, and the event to set.
    ///@{
    uintptr_t Internal;
    uintptr_t InternalHigh;
    DWORD Offset;
    DWORD OffsetHigh;
    HANDLE hEvent;
    ///@}
};

/// Asks the driver for input and output queues of these sizes in bytes.
BOOL SetupComm(HANDLE h, DWORD inQueue, DWORD outQueue);
/// Reads the device's line settings into dcb.
BOOL GetCommState(HANDLE h, DCB& dcb);
/// Reads the device state, overlays dcb, writes it; a rate or mode the driver refuses
/// fails with the system's code and the device keeps its previous state. Members termios
/// cannot express are kept as last set, so GetCommState returns what was set.
BOOL SetCommState(HANDLE h, const DCB& dcb);
/// Reads the device's time-outs.
BOOL GetCommTimeouts(HANDLE h, COMMTIMEOUTS& t);
/// Sets the device's time-outs for requests started from now on.
BOOL SetCommTimeouts(HANDLE h, const COMMTIMEOUTS& t);

// Line events (WaitCommEvent masks).
/// The line events a port waits for (see the TLineEvent table of comport/ComPort.h).
///@{
constexpr DWORD EV_RXCHAR = 0x0001, EV_RXFLAG = 0x0002, EV_TXEMPTY = 0x0004, EV_CTS = 0x0008,
                EV_DSR = 0x0010, EV_RLSD = 0x0020, EV_BREAK = 0x0040, EV_ERR = 0x0080,
                EV_RING = 0x0100, EV_PERR = 0x0200, EV_RX80FULL = 0x0400, EV_EVENT1 = 0x0800,
                EV_EVENT2 = 0x1000;
///@}

/// Changing the mask completes a pending wait at once with an empty event mask.
BOOL SetCommMask(HANDLE h, DWORD mask);
/// Reads the event mask.
BOOL GetCommMask(HANDLE h, DWORD& mask);
/// With ov: TRUE when events are already pending (*events filled), else FALSE with
/// ERROR_IO_PENDING; *events is written when the wait ends and ov->hEvent is set. A
/// vanished device ends the wait with ERROR_ACCESS_DENIED.
BOOL WaitCommEvent(HANDLE h, DWORD* events, OVERLAPPED* ov);

/// With ov: TRUE when the request finished at once (*done filled), else FALSE with
/// ERROR_IO_PENDING and the request completes on its own, honouring the time-outs.
BOOL ReadFile(HANDLE h, void* buf, DWORD count, DWORD* done, OVERLAPPED* ov);
/// Writes count bytes, like ReadFile.
BOOL WriteFile(HANDLE h, const void* buf, DWORD count, DWORD* done, OVERLAPPED* ov);
/// The bytes moved by a request; with wait, blocks until it ends.
BOOL GetOverlappedResult(HANDLE h, OVERLAPPED* ov, DWORD* done, BOOL wait);

/// PurgeComm's flags: ABORT ends the pending request, CLEAR drops the queue.
///@{
constexpr DWORD PURGE_TXABORT = 0x1, PURGE_RXABORT = 0x2, PURGE_TXCLEAR = 0x4, PURGE_RXCLEAR = 0x8;
///@}
/// Ends pending requests and drops queued bytes as flags say.
BOOL PurgeComm(HANDLE h, DWORD flags);
/// Waits until the output queue has been sent.
BOOL FlushFileBuffers(HANDLE h);

/// The line errors ClearCommError reports (overrun, parity, framing, break, ...).
///@{
constexpr DWORD CE_RXOVER = 0x1, CE_OVERRUN = 0x2, CE_RXPARITY = 0x4, CE_FRAME = 0x8,
                CE_BREAK = 0x10, CE_TXFULL = 0x100, CE_PTO = 0x200, CE_IOE = 0x400, CE_DNS = 0x800,
                CE_OOP = 0x1000, CE_MODE = 0x8000;
///@}
/// The line errors since the last call (then cleared) and, with stat, the queue counts.
BOOL ClearCommError(HANDLE h, DWORD* errors, COMSTAT* stat);

/// EscapeCommFunction's functions: XON/XOFF state, RTS and DTR lines, device reset, break.
///@{
constexpr DWORD SETXOFF = 1, SETXON = 2, SETRTS = 3, CLRRTS = 4, SETDTR = 5, CLRDTR = 6,
                RESETDEV = 7, SETBREAK = 8, CLRBREAK = 9;
///@}
/// Carries out one of the functions above.
BOOL EscapeCommFunction(HANDLE h, DWORD func);
/// Holds the line in the break state.
BOOL SetCommBreak(HANDLE h);
/// Ends the break state.
BOOL ClearCommBreak(HANDLE h);
/// Sends c ahead of the output queue.
BOOL TransmitCommChar(HANDLE h, char c);
/// Not a Windows call: asks the driver to hand received bytes on at once instead of
/// gathering them (many USB adapters hold them up to 16 ms). Fails with the system's code
/// where the driver has no such mode or refuses it. Under Windows a USB adapter's latency
/// is a setting of its driver: this succeeds and changes nothing.
BOOL SetCommLowLatency(HANDLE h, BOOL on);

/// The input lines that are up, as GetCommModemStatus reports them.
///@{
constexpr DWORD MS_CTS_ON = 0x10, MS_DSR_ON = 0x20, MS_RING_ON = 0x40, MS_RLSD_ON = 0x80;
///@}
/// Reads the input lines (MS_*_ON bits).
BOOL GetCommModemStatus(HANDLE h, DWORD* status);

// Capabilities.
/// COMMPROP's capability, settable-parameter, rate, data-bit, stop-bit and parity bits.
///@{
constexpr DWORD PCF_DTRDSR = 0x1, PCF_RTSCTS = 0x2, PCF_RLSD = 0x4, PCF_PARITY_CHECK = 0x8,
                PCF_XONXOFF = 0x10, PCF_SETXCHAR = 0x20, PCF_TOTALTIMEOUTS = 0x40,
                PCF_INTTIMEOUTS = 0x80, PCF_SPECIALCHARS = 0x100, PCF_16BITMODE = 0x200;
constexpr DWORD SP_PARITY = 0x1, SP_BAUD = 0x2, SP_DATABITS = 0x4, SP_STOPBITS = 0x8,
                SP_HANDSHAKING = 0x10, SP_PARITY_CHECK = 0x20, SP_RLSD = 0x40;
constexpr DWORD BAUD_075 = 0x1, BAUD_110 = 0x2, BAUD_134_5 = 0x4, BAUD_150 = 0x8, BAUD_300 = 0x10,
                BAUD_600 = 0x20, BAUD_1200 = 0x40, BAUD_1800 = 0x80, BAUD_2400 = 0x100,
                BAUD_4800 = 0x200, BAUD_7200 = 0x400, BAUD_9600 = 0x800, BAUD_14400 = 0x1000,
                BAUD_19200 = 0x2000, BAUD_38400 = 0x4000, BAUD_56K = 0x8000, BAUD_128K = 0x10000,
                BAUD_115200 = 0x20000, BAUD_57600 = 0x40000, BAUD_USER = 0x10000000;
constexpr WORD DATABITS_5 = 0x1, DATABITS_6 = 0x2, DATABITS_7 = 0x4, DATABITS_8 = 0x8,
               DATABITS_16 = 0x10, DATABITS_16X = 0x20;
constexpr WORD STOPBITS_10 = 0x1, STOPBITS_15 = 0x2, STOPBITS_20 = 0x4, PARITY_NONE = 0x100,
               PARITY_ODD = 0x200, PARITY_EVEN = 0x400, PARITY_MARK = 0x800, PARITY_SPACE = 0x1000;
///@}
/// Reads what the device can do.
BOOL GetCommProperties(HANDLE h, COMMPROP& prop);

/// The device's default configuration: an open device's own state, read through its
/// handle; a closed device is never opened for it (that would pulse DTR/RTS), so its
/// default comes from a per-process store seeded with 9600 8N1 without flow control.
BOOL GetDefaultCommConfig(const string& name, COMMCONFIG* cc, DWORD* size);
/// Stores the default configuration of a closed device for this process.
BOOL SetDefaultCommConfig(const string& name, const COMMCONFIG* cc, DWORD size);
/// Shows the installed dialog provider; FALSE (changing nothing) without one or on cancel.
BOOL CommConfigDialog(const string& name, HWND owner, COMMCONFIG* cc);
/// Shows a configuration dialog; true when the user accepted cc as changed.
using CommConfigDialogProvider = std::function<bool(const string& name, COMMCONFIG& cc)>;
/// Installs the dialog CommConfigDialog shows; none removes it.
void SetCommConfigDialogProvider(CommConfigDialogProvider provider);

// Events and waits.
/// What WaitForSingleObject returns: signalled, timed out, failed.
///@{
constexpr DWORD WAIT_OBJECT_0 = 0, WAIT_TIMEOUT = 258, WAIT_FAILED = 0xFFFFFFFF;
///@}
/// Creates an event, manual- or auto-reset, set or not; name must be none.
HANDLE CreateEvent(void* security, BOOL manualReset, BOOL initialState, const char16_t* name);
/// Sets the event, waking its waiters.
BOOL SetEvent(HANDLE h);
/// Clears the event.
BOOL ResetEvent(HANDLE h);
/// Waits up to ms milliseconds (INFINITE: no limit) for the event to be set.
DWORD WaitForSingleObject(HANDLE h, DWORD ms);

// Process priority class (nice levels on Linux).
/// The process priority classes, mapped to nice levels.
///@{
constexpr DWORD IDLE_PRIORITY_CLASS = 0x40, NORMAL_PRIORITY_CLASS = 0x20,
                HIGH_PRIORITY_CLASS = 0x80, REALTIME_PRIORITY_CLASS = 0x100;
///@}
/// The calling process.
HANDLE GetCurrentProcess();
/// The process's priority class.
DWORD GetPriorityClass(HANDLE process);
/// Sets the process's priority class (a nice level; raising needs privileges).
BOOL SetPriorityClass(HANDLE process, DWORD cls);

/// The system's text for a last-error code (strerror's), UTF-8.
std::string SysErrorMessage(DWORD code);

} // namespace qwin
