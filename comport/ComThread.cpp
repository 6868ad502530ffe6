// The event thread: its wait loop, and the hand-over of events and wait errors to its port.
#include "comport/ComThread.h"

#include "rtl/MainLoop.h"

#include <cstdio>
#include <cstdlib>

namespace quillon {

namespace {
using namespace qwin;
thread_local TComThread* tlsCurrent = nullptr;
constexpr size_t SynchronizedStack = 256 * 1024;
constexpr size_t HandlerStack = 1024 * 1024;
// Checked where the lock order is: a wrong move is a bug of this file, not of the caller.
constexpr bool StatesChecked = QUILLON_LOCK_RANK_CHECK != 0;

const char* NameOf(TComThreadState s) {
    constexpr const char* names[] = {"waiting", "dispatching", "terminated", "finished"};
    return names[static_cast<int>(s)];
}

[[noreturn]] void WrongMove(TComThreadState from, TComThreadState to) {
    std::fprintf(stderr, "event thread moved from %s to %s\n", NameOf(from), NameOf(to));
    std::abort();
}
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

void TComPortLink::Adopt(TComThread* Thread) {
    FThread = Thread;
    std::lock_guard lock(FLifeMu);
    ++FRunning;
}

void TComPortLink::Release(TComThread* Thread) {
    Thread->Stop();
    if (FThread == Thread) FThread = nullptr;
}

void TComPortLink::ThreadEnded() {
    std::lock_guard lock(FLifeMu);
    --FRunning;
    FEnded.notify_all(); // under the lock: the link may go with the thread's reference
}

int TComPortLink::ThreadsRunning() {
    std::lock_guard lock(FLifeMu);
    return FRunning;
}

bool TComPortLink::WaitThreadsEnded(std::chrono::milliseconds Timeout) {
    std::unique_lock lock(FLifeMu);
    return FEnded.wait_for(lock, Timeout, [this] { return FRunning == 0; });
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
    SetFreeOnTerminate(true);
    SetPriority(ComPort->FThreadPriority);
    // Synchronised, the thread only waits and hands over; handlers that run on it get what
    // a Windows thread reserves. The system's default (8 MiB) would reserve gigabytes for a
    // rack of ports.
    SetStackSize(FSynchronize ? SynchronizedStack : HandlerStack);
    FLink->Adopt(this);
    try {
        Start();
    } catch (...) {
        FLink->Release(this);
        FLink->ThreadEnded();
        throw;
    }
}

TComThread::~TComThread() = default;

bool TComThread::IsCurrentThread() const {
    return tlsCurrent == this;
}

TComThread* TComThread::Current() {
    return tlsCurrent;
}

bool TComThread::Enter(TComThreadState From, TComThreadState To) {
    TComThreadState now = From;
    if (FState.compare_exchange_strong(now, To, std::memory_order_acq_rel)) return true;
    if (StatesChecked && now != TComThreadState::Terminated) WrongMove(now, To);
    return false;
}

void TComThread::Stop() {
    TComThreadState now = FState.load(std::memory_order_acquire);
    while (now == TComThreadState::Waiting || now == TComThreadState::Dispatching) {
        if (FState.compare_exchange_weak(now, TComThreadState::Terminated,
                                         std::memory_order_acq_rel))
            break;
    }
    Terminate();
}

void TComThread::DoTerminate() {
    const TComThreadState was = FState.exchange(TComThreadState::Finished);
    if (StatesChecked && was == TComThreadState::Finished) WrongMove(was, was);
    FLink->ThreadEnded();
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
        t.Dispatch();
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
    if (!Enter(TComThreadState::Waiting, TComThreadState::Dispatching)) return;
    struct Back {
        TComThread& Thread;
        ~Back() { Thread.Enter(TComThreadState::Dispatching, TComThreadState::Waiting); }
    } back{*this};
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
        FLink->Release(this); // the port starts a new thread on its next handler change
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
    if (FLink->PortAlive()) FLink->Release(this);
}

} // namespace quillon
