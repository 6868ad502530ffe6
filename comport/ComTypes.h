#pragma once
// The setting, state and capability types of the serial port component.
#include <cstdint>

#include "rtl/Closure.h"
#include "rtl/Component.h"
#include "rtl/Exceptions.h"
#include "rtl/Set.h"
#include "rtl/Text.h"
#include "rtl/Thread.h"

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

enum TBaudRate : uint8_t {
    brDefault, br50, br75, br110, br134_5, br150, br300, br600, br1200, br1800, br2000, br2400,
    br3600, br4800, br7200, br9600, br10400, br14400, br15625, br19200, br28800, br38400,
    br56000, br57600, br115200, br128000, br256000, brCustom
};
/// Bits per second of each rate; 0 for brDefault, 0 for brCustom (its rate is CustomBaudRate).
extern const int32_t BaudRateTable[28];

enum TDataBits : uint8_t { dbDefault, db4, db5, db6, db7, db8, db9, db16, db16x };
enum TParity : uint8_t { paDefault, paNone, paOdd, paEven, paMark, paSpace };
enum TStopBits : uint8_t { sbDefault, sb1, sb1_5, sb2 };
enum TDTRControl : uint8_t { dcDefault, dcDisable, dcEnable, dcHandshake };
enum TRTSControl : uint8_t { rcDefault, rcDisable, rcEnable, rcHandshake, rcToggle };
enum TXOnXOffControl : uint8_t { xcDefault, xcDisable, xcInput, xcOutput, xcInputOutput };
enum TPriorityClass : uint8_t { pcDefault, pcIdle, pcNormal, pcHigh, pcRealTime };

enum TOption : uint8_t {
    opCheckParity, opOutputCTSFlow, opOutputDSRFlow, opDSRSensitivity, opTXContinueOnXOff,
    opUseErrorChar, opDiscardNullBytes, opAbortOnError
};
using TOptions = rtl::TSet<TOption, uint8_t>;

enum TModemStatusValue : uint8_t { msCTS, msDSR, msRing, msRLSD };
using TModemStatus = rtl::TSet<TModemStatusValue, uint8_t>;

enum TLineError : uint8_t {
    leBreak, leDeviceNotSelected, leFrame, leIO, leMode, leOutOfPaper, leOverrun,
    leDeviceTimeOut, leRxOverflow, leParity, leTxFull
};
using TLineErrors = rtl::TSet<TLineError, uint16_t>;

enum TCapability : uint8_t {
    caDtrDsr, caRtsCts, caRLSD, caParityCheck, caXOnXOff, caSettableXChar, caTotalTimeouts,
    caIntervalTimeouts, caSpecialChars, ca16BitMode
};
using TCapabilities = rtl::TSet<TCapability, uint16_t>;

enum TSettableParameter : uint8_t {
    spParity, spParityCheck, spBaudRate, spDataBits, spStopBits, spHandShaking, spRLSD
};
using TSettableParameters = rtl::TSet<TSettableParameter, uint8_t>;
using TBaudRates = rtl::TSet<TBaudRate, uint32_t>;
using TSettableDataBits = rtl::TSet<TDataBits, uint16_t>;
using TSettableStopBits = rtl::TSet<TStopBits, uint8_t>;
using TSettableParity = rtl::TSet<TParity, uint8_t>;

enum TComAction : uint8_t { caFail, caAbort };

/// Every error of the port component. ErrorCode is the system's code, or 0 for the
/// component's own errors.
class EComError : public rtl::Exception {
public:
    EComError(int32_t errorCode, const std::string& msg) : Exception(msg), ErrorCode(errorCode) {}
    int32_t ErrorCode;
};

class TCustomComPort;

using TNotifyEvent = rtl::Closure<void(TObject* Sender)>;
using TOpenCloseEvent = rtl::Closure<void(TCustomComPort* ComPort)>;
using TReadWriteEvent =
    rtl::Closure<void(TObject* Sender, const void* Buffer, int32_t Length, bool WaitOnCompletion)>;
using TComErrorEvent = rtl::Closure<void(TCustomComPort* ComPort, EComError& E, TComAction& Action)>;
using TLineErrorEvent = rtl::Closure<void(TObject* Sender, TLineErrors LineErrors)>;
using TDeviceArrivalEvent = rtl::Closure<void(TObject* Sender, const string& DeviceName)>;
using TDeviceRemovedEvent = rtl::Closure<void(TObject* Sender, const string& DeviceName)>;

// The fixed messages of the component's own errors (ErrorCode 0).
inline constexpr const char* SClosedPort = "Can't perform this operation on a closed port";
inline constexpr const char* SOpenPort = "Can't perform this operation on an open port";
inline constexpr const char* SCreateThread = "Can't create thread";
inline constexpr const char* STimeout = "Timeout";

} // namespace quillon
