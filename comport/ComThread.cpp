// The event thread: its wait loop, and the hand-over of events and wait errors to its port.
#include "comport/ComThread.h"

#include "rtl/MainLoop.h"

namespace quillon {

namespace {
using namespace qwin;
thread_local TComThread* tlsCurrent = nullptr;
constexpr size_t SynchronizedStack = 256 * 1024;
constexpr size_t HandlerStack = 1024 * 1024;
} // namespace

bool TComPortLink::PortAlive() {
    std::lock_guard lock(Mu);
    return FPortAlive;
}

void TComPortLink::PortDestroyed() {
    {
        std::lock_guard lock(FDispatchMu);
        FDestroying = true;
        // A handler waiting for the main thread would wait for this very destructor.
        if (FDispatcher && FDispatcher != rtl::TThread::Current())
            FDispatcher->AbandonSynchronize(SPortDestroyed);
    }
    std::lock_guard lock(Mu);
    FPortAlive = false;
}

bool TComPortLink::EnterDispatch(rtl::TThread* Thread) {
    std::lock_guard lock(FDispatchMu);
    if (FDestroying || !FPortAlive) return false;
    FDispatcher = Thread;
    return true;
}

void TComPortLink::LeaveDispatch() {
    std::lock_guard lock(FDispatchMu);
    FDispatcher = nullptr;
}

TComThread::TEventHandle::~TEventHandle() {
    if (Value) CloseHandle(Value);
}

TComThread::TComThread(TCustomComPort* ComPort)
    : TThread(false), FComPort(ComPort), FLink(ComPort->FLink), FHandle(ComPort->FHandle),
      FSynchronize(ComPort->FSynchronizeEvents) {
    // A wait event of its own: a stopped thread may still be waiting on it when the next
    // thread of the same port starts, and an auto-reset event cannot serve both.
    FWaitEvent.Value = CreateEvent(nullptr, FALSE, FALSE, nullptr);
    if (!FWaitEvent.Value) throw rtl::Exception(SysErrorMessage(GetLastError()));
    FComPort->FComThread = this;
    SetFreeOnTerminate(true);
    SetPriority(ComPort->FThreadPriority);
    // Synchronised, the thread only waits and hands over; handlers that run on it get what
    // a Windows thread reserves. The system's default (8 MiB) would reserve gigabytes for a
    // rack of ports.
    SetStackSize(FSynchronize ? SynchronizedStack : HandlerStack);
    Start();
}

TComThread::~TComThread() = default;

bool TComThread::IsCurrentThread() const {
    return tlsCurrent == this;
}

TComThread* TComThread::Current() {
    return tlsCurrent;
}

void TComThread::Execute() {
    tlsCurrent = this;
    try {
        while (!Terminated())
            TCustomComPort::WaitForEvent(this);
    } catch (...) {
        // A wait error has already made the port forget this thread; anything else must
        // too, before the thread frees itself.
        if (!Terminated() && rtl::MainLoop().IsBound()) {
            Synchronize([this] { Forget(); });
        } else if (!Terminated()) {
            SetFreeOnTerminate(false); // the port still names it: leaked, never left dangling
        }
        throw;
    }
}

void TCustomComPort::WaitForEvent(TComThread* Thread) {
    TComThread& t = *Thread;
    BOOL completed;
    {
        std::lock_guard lock(t.FLink->WaitMu);
        if (t.Terminated()) return;
        t.FOverlapped = OVERLAPPED{};
        t.FOverlapped.hEvent = t.FWaitEvent.Value;
        t.FEventMask = 0;
        completed = WaitCommEvent(t.FHandle, &t.FEventMask, &t.FOverlapped);
        if (!completed) t.FThreadError = GetLastError();
    }
    if (completed) {
        if (!t.Terminated()) t.Dispatch();
        return;
    }
    if (t.FThreadError == ERROR_IO_PENDING) {
        // Waited for even when terminated meanwhile: the device writes into this thread's
        // record when the wait ends, and it always ends (event, mask change or close).
        if (WaitForSingleObject(t.FWaitEvent.Value, INFINITE) != WAIT_OBJECT_0) return;
        if (t.Terminated()) return;
        t.FThreadError = static_cast<DWORD>(t.FOverlapped.Internal);
        if (t.FThreadError == ERROR_SUCCESS) {
            t.Dispatch();
            return;
        }
    }
    if (t.Terminated()) return;
    SetLastError(0);
    t.ReportWaitError();
}

void TComThread::Dispatch() {
    if (FEventMask == 0) return; // woken by a mask change: nothing happened on the line
    if (FSynchronize) {
        try {
            Synchronize([this] {
                if (Terminated() || !FLink->PortAlive()) return; // closed while queued
                FComPort->FEventMask = FEventMask;
                FComPort->DispatchEvents();
            });
        } catch (const rtl::ENoMainLoop&) {
            // Said once per thread; its events are dropped rather than run on this thread.
            if (!FNoMainLoopShown) rtl::Application().HandleException(std::current_exception());
            FNoMainLoopShown = true;
        }
        return;
    }
    // On this thread: the port cannot finish being destroyed while the lock is held.
    std::lock_guard lock(FLink->Mu);
    if (Terminated() || !FLink->EnterDispatch(this)) return;
    struct Leave {
        TComPortLink& Link;
        ~Leave() { Link.LeaveDispatch(); }
    } leave{*FLink};
    FComPort->FEventMask = FEventMask;
    FComPort->DispatchEventTable(*FLink);
}

void TComThread::ReportWaitError() {
    const DWORD code = FThreadError;
    Synchronize([this, code] {
        if (Terminated() || !FLink->PortAlive()) return; // closed meanwhile: end quietly
        TCustomComPort* port = FComPort;
        Terminate();
        port->FComThread = nullptr; // the port starts a new thread on its next handler change
        port->FThreadError = code;
        try {
            port->RaiseThreadError();
        } catch (...) {
            if (code == ERROR_ACCESS_DENIED && FLink->PortAlive()) port->Close();
            throw;
        }
    });
}

void TComThread::Forget() {
    if (FLink->PortAlive() && FComPort->FComThread == this) FComPort->FComThread = nullptr;
}

} // namespace quillon
