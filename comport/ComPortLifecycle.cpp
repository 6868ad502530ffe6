// The port object: construction, opening and closing, and the error routines every other
// part of the component goes through.
#include "comport/ComPort.h"
#include "comport/ComThread.h"

namespace quillon {

namespace {
using namespace qwin;

constexpr DWORD kNoSavedPriority = 0xFFFFFFFF;

// Process priority class of each TPriorityClass; pcDefault leaves the process alone.
constexpr DWORD kPriorityClass[] = {0, IDLE_PRIORITY_CLASS, NORMAL_PRIORITY_CLASS,
                                    HIGH_PRIORITY_CLASS, REALTIME_PRIORITY_CLASS};

// A backend that fails to open without saying why must still not look like success.
constexpr const char* SOpenFailed = "Can't open the port";

const string kDevicePrefix = u"\\\\.\\";
} // namespace

TCustomComPort::TCustomComPort(TComponent* AOwner) : TComponent(AOwner) {
    FHandle = INVALID_HANDLE_VALUE;
    FDeviceName = u"COM1";
    FOriginalPriorityClass = kNoSavedPriority;
    FSynchronizeEvents = true;
    FThreadPriority = rtl::tpTimeCritical;
    FFlowControl = new TFlowControl(this);
    FCharacters = new TCharacters(this);
    FBufferSizes = new TBufferSizes(this);
    FTimeouts = new TTimeouts(this);
}

TCustomComPort::~TCustomComPort() {
    // Siblings and free-notification clients hear of the removal while the port is whole.
    BeforeDestruction();
    StopDeviceNotification();
    try {
        Close();
    } catch (...) {
        // A destructor cannot pass the error on; show it rather than lose it.
        rtl::Application().HandleException(std::current_exception());
    }
    DestroyHandle();                   // also when Close stopped early
    if (FLink) FLink->PortDestroyed(); // waits for a dispatch running on an event thread
    delete FTimeouts;
    delete FBufferSizes;
    delete FCharacters;
    delete FFlowControl;
}

void TCustomComPort::Loaded() {
    TComponent::Loaded();
    SetActive(FActive);
}

bool TCustomComPort::Active() const {
    if (IsDesigning()) return FActive;
    return FHandle != INVALID_HANDLE_VALUE;
}

void TCustomComPort::SetActive(bool value) {
    if (value != Active() && !IsDesigning() && !IsLoading()) {
        if (value)
            Open();
        else
            Close();
    }
    FActive = value;
}

void TCustomComPort::Open() {
    // A port being designed never touches a device.
    if (Active() || IsDesigning()) return;
    if (FBeforeOpen) FBeforeOpen(this);
    CreateHandle();
    if (FHandle == INVALID_HANDLE_VALUE) {
        DestroyHandle();
        RaiseError(0, SOpenFailed);
    }
    if (LogEnabled()) Log(u"Open " + FDeviceName);
    if (Active() && FAfterOpen) FAfterOpen(this);
}

void TCustomComPort::Close() {
    // The event thread must not tear down its own port: the main thread does it.
    if (TComThread* current = TComThread::Current(); current && current->FComPort == this) {
        rtl::TThread::Synchronize([this] { Close(); });
        return;
    }
    if (!Active() || IsDesigning()) return;
    if (FBeforeClose) FBeforeClose(this);
    DestroyHandle();
    if (LogEnabled()) Log(u"Close " + FDeviceName);
    if (!Active() && FAfterClose) FAfterClose(this);
}

void TCustomComPort::CreateHandle() {
    DestroyHandle();
    SetLastError(0);
    try {
        if (FPriorityClass != pcDefault) {
            FOriginalPriorityClass = GetPriorityClass(GetCurrentProcess());
            // Lowering the class always works; raising it may need privileges we do not ask for.
            qwin::SetPriorityClass(GetCurrentProcess(), kPriorityClass[FPriorityClass]);
            SetLastError(0); // ignored, so it must not colour a later step's report
        }
        FEventOverlapped = {};
        FEventOverlapped.hEvent = CreateEvent(nullptr, FALSE, FALSE, nullptr);
        CheckResult(FEventOverlapped.hEvent != 0);
        FReadEventHandle = CreateEvent(nullptr, TRUE, TRUE, nullptr);
        CheckResult(FReadEventHandle != 0);
        FWriteEventHandle = CreateEvent(nullptr, TRUE, TRUE, nullptr);
        CheckResult(FWriteEventHandle != 0);
        FHandle = CreateFile(FDeviceName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, 0);
        CheckResult(FHandle != INVALID_HANDLE_VALUE);
        PurgeInput();
        PurgeOutput();
        ApplyBufferSizes();
        ApplyDCB();
        ApplyTimeouts();
        if (FLowLatency) ApplyLowLatency(); // the driver's own choice stands unless asked
        ApplyEventMask();
    } catch (...) {
        DestroyHandle();
        throw;
    }
}

void TCustomComPort::DestroyHandle() {
    StopThread();
    if (FHandle != INVALID_HANDLE_VALUE) {
        CloseHandle(FHandle);
        FHandle = INVALID_HANDLE_VALUE;
    }
    // Whatever was outstanding now refers to memory the caller may reuse: forget it.
    FRequestedReadCount = 0;
    FRequestedReadBuffer = nullptr;
    FRequestedWriteCount = 0;
    FRequestedWriteBuffer = nullptr;
    FReadWentPending = FWriteWentPending = false;
    if (FWriteEventHandle != 0) {
        CloseHandle(FWriteEventHandle);
        FWriteEventHandle = 0;
    }
    if (FReadEventHandle != 0) {
        CloseHandle(FReadEventHandle);
        FReadEventHandle = 0;
    }
    if (FEventOverlapped.hEvent != 0) {
        CloseHandle(FEventOverlapped.hEvent);
        FEventOverlapped.hEvent = 0;
    }
    if (FOriginalPriorityClass != kNoSavedPriority) {
        qwin::SetPriorityClass(GetCurrentProcess(), FOriginalPriorityClass);
        FOriginalPriorityClass = kNoSavedPriority;
    }
}

void TCustomComPort::SetDeviceName(const string& value) {
    if (value == FDeviceName) return;
    CheckClosed();
    FDeviceName = value;
}

void TCustomComPort::SetPriorityClass(TPriorityClass value) {
    if (value == FPriorityClass) return;
    CheckClosed();
    FPriorityClass = value;
}

string TCustomComPort::About() const {
    return u"TComPort 0.1.0, the Quillon serial port component";
}

string TCustomComPort::PlainDeviceName() const {
    if (FDeviceName.starts_with(kDevicePrefix)) return FDeviceName.substr(kDevicePrefix.size());
    return FDeviceName;
}

// ---- errors

void TCustomComPort::CheckResult(bool Success) {
    if (Success) return;
    DWORD code = GetLastError();
    // A request still running is not a failure, and a call that failed without a code has
    // nothing to report.
    if (code == ERROR_SUCCESS || code == ERROR_IO_PENDING) return;
    SetLastError(0);
    RaiseError(static_cast<int32_t>(code), SysErrorMessage(code));
}

void TCustomComPort::RaiseError(int32_t ErrorCode, const std::string& Msg) {
    EComError error(ErrorCode, Msg);
    TComAction action = caFail;
    if (FOnError) FOnError(this, error, action);
    if (action == caAbort) rtl::Abort();
    throw error;
}

void TCustomComPort::CheckOpen() {
    if (!Active()) RaiseError(0, SClosedPort);
}

void TCustomComPort::CheckClosed() {
    if (!IsDesigning() && Active()) RaiseError(0, SOpenPort);
}

} // namespace quillon
