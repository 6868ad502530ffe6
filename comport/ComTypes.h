#pragma once
// The setting, state and capability types of the serial port component.
#include "rtl/Closure.h"
#include "rtl/Component.h"
#include "rtl/Exceptions.h"
#include "rtl/Set.h"
#include "rtl/Text.h"
#include "rtl/Thread.h"

#include <cstdint>

namespace quillon {

using rtl::AnsiChar;
using rtl::AnsiString;
using rtl::Char;
using rtl::string;
using rtl::TBytes;
using rtl::TComponent;
using rtl::TEncoding;
using rtl::TObject;
using rtl::TPersistent;
using rtl::TThreadPriority;

/// Line speeds of the rate table; brDefault keeps the device's, brCustom uses CustomBaudRate.
enum TBaudRate : uint8_t {
    brDefault,
    br50,
    br75,
    br110,
    br134_5,
    br150,
    br300,
    br600,
    br1200,
    br1800,
    br2000,
    br2400,
    br3600,
    br4800,
    br7200,
    br9600,
    br10400,
    br14400,
    br15625,
    br19200,
    br28800,
    br38400,
    br56000,
    br57600,
    br115200,
    br128000,
    br256000,
    brCustom
};
/// Bits per second of each rate; 0 for brDefault, 0 for brCustom (its rate is CustomBaudRate).
extern const int32_t BaudRateTable[28];

/// Bits per character; dbDefault keeps the device's.
enum TDataBits : uint8_t { dbDefault, db4, db5, db6, db7, db8, db9, db16, db16x };
/// The parity bit: none, odd, even, always 1 (mark) or always 0 (space).
enum TParity : uint8_t { paDefault, paNone, paOdd, paEven, paMark, paSpace };
/// Stop bits per character: 1, 1.5 or 2.
enum TStopBits : uint8_t { sbDefault, sb1, sb1_5, sb2 };
/// What drives DTR: off, on, or the input flow control.
enum TDTRControl : uint8_t { dcDefault, dcDisable, dcEnable, dcHandshake };
/// What drives RTS: off, on, the input flow control, or sending (toggle).
enum TRTSControl : uint8_t { rcDefault, rcDisable, rcEnable, rcHandshake, rcToggle };
/// Software flow control on input, output, both or neither.
enum TXOnXOffControl : uint8_t { xcDefault, xcDisable, xcInput, xcOutput, xcInputOutput };
/// The process priority class an open port asks for.
enum TPriorityClass : uint8_t { pcDefault, pcIdle, pcNormal, pcHigh, pcRealTime };

/// Line options: parity check, CTS/DSR output flow, XOFF and error handling, null stripping.
enum TOption : uint8_t {
    opCheckParity,
    opOutputCTSFlow,
    opOutputDSRFlow,
    opDSRSensitivity,
    opTXContinueOnXOff,
    opUseErrorChar,
    opDiscardNullBytes,
    opAbortOnError
};
/// A set of TOption.
using TOptions = rtl::TSet<TOption, uint8_t>;

/// The input lines: CTS, DSR, ring indicator and carrier detect (RLSD).
enum TModemStatusValue : uint8_t { msCTS, msDSR, msRing, msRLSD };
/// The input lines that are up.
using TModemStatus = rtl::TSet<TModemStatusValue, uint8_t>;

/// The line errors a device reports.
enum TLineError : uint8_t {
    leBreak,
    leDeviceNotSelected,
    leFrame,
    leIO,
    leMode,
    leOutOfPaper,
    leOverrun,
    leDeviceTimeOut,
    leRxOverflow,
    leParity,
    leTxFull
};
/// A set of line errors.
using TLineErrors = rtl::TSet<TLineError, uint16_t>;

/// What a device can do.
enum TCapability : uint8_t {
    caDtrDsr,
    caRtsCts,
    caRLSD,
    caParityCheck,
    caXOnXOff,
    caSettableXChar,
    caTotalTimeouts,
    caIntervalTimeouts,
    caSpecialChars,
    ca16BitMode
};
/// A set of capabilities.
using TCapabilities = rtl::TSet<TCapability, uint16_t>;

/// The settings a device lets a program change.
enum TSettableParameter : uint8_t {
    spParity,
    spParityCheck,
    spBaudRate,
    spDataBits,
    spStopBits,
    spHandShaking,
    spRLSD
};
/// A set of settable parameters.
using TSettableParameters = rtl::TSet<TSettableParameter, uint8_t>;
/// A set of table rates.
using TBaudRates = rtl::TSet<TBaudRate, uint32_t>;
/// A set of data-bit counts.
using TSettableDataBits = rtl::TSet<TDataBits, uint16_t>;
/// A set of stop-bit counts.
using TSettableStopBits = rtl::TSet<TStopBits, uint8_t>;
/// A set of parities.
using TSettableParity = rtl::TSet<TParity, uint8_t>;

/// What OnError decides: raise the error (caFail) or raise the silent abort (caAbort).
enum TComAction : uint8_t { caFail, caAbort };

/// Every error of the port component. ErrorCode is the system's code, or 0 for the
/// component's own errors.
class EComError : public rtl::Exception {
  public:
    /// An error with the system's code (0 for the component's own) and its message.
    EComError(int32_t errorCode, const std::string& msg) : Exception(msg), ErrorCode(errorCode) {}
    /// The system's error code (errno), or 0.
    int32_t ErrorCode;
};

class TCustomComPort;

/// A handler told only who calls it.
using TNotifyEvent = rtl::Closure<void(TObject* Sender)>;
/// A handler of opening and closing.
using TOpenCloseEvent = rtl::Closure<void(TCustomComPort* ComPort)>;
/// A handler of a read or write request: its buffer, its length in bytes, and whether it waits.
using TReadWriteEvent =
    rtl::Closure<void(TObject* Sender, const void* Buffer, int32_t Length, bool WaitOnCompletion)>;
/// A handler that sees each error before it is raised and may make it silent.
using TComErrorEvent =
    rtl::Closure<void(TCustomComPort* ComPort, EComError& E, TComAction& Action)>;
/// A handler of line errors.
using TLineErrorEvent = rtl::Closure<void(TObject* Sender, TLineErrors LineErrors)>;
/// A handler told the name of a device that appeared.
using TDeviceArrivalEvent = rtl::Closure<void(TObject* Sender, const string& DeviceName)>;
/// A handler told the name of a device that went.
using TDeviceRemovedEvent = rtl::Closure<void(TObject* Sender, const string& DeviceName)>;

// The fixed messages of the component's own errors (ErrorCode 0).
/// Raised by an operation that needs an open port.
inline constexpr const char* SClosedPort = "Can't perform this operation on a closed port";
/// Raised by a change that needs a closed port.
inline constexpr const char* SOpenPort = "Can't perform this operation on an open port";
/// Raised when the event thread cannot start.
inline constexpr const char* SCreateThread = "Can't create thread";
/// Raised in a handler's Synchronize when its port is destroyed meanwhile.
inline constexpr const char* SPortDestroyed =
    "The port was destroyed while its event handler waited for the main thread";
/// Raised by a request that ended before all its bytes.
inline constexpr const char* STimeout = "Timeout";

} // namespace quillon
