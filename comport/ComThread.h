#pragma once
// The event thread of an open port, and the link it shares with its port.
//
// A thread's states, and who moves it between them:
//   waiting      the thread, in a device wait on its own copies (handle, wait record, mask,
//                wait event); the device ends the wait on an event, a mask change or close.
//   dispatching  the thread, with a completed wait's events: on the main thread through
//                Synchronize when the port synchronises its events, else on itself under
//                the link's lock.
//   terminated   the port on the main thread (StopThread, or a wait error it reported);
//                the port no longer names the thread and nothing more is dispatched.
//   finished     Execute has returned and the thread has deleted itself.
// The port never waits for its thread, so a thread may wake after its port is gone: it
// reaches the port only on the main thread or under the link's lock, and only while the
// link says the port exists. The port's destructor tells the link so, and abandons the
// Synchronize a handler on the thread may wait in, so neither waits for the other.
#include "comport/ComPort.h"

#include <memory>
#include <mutex>

namespace quillon {

/// What a port and its event threads share; outlives both.
struct TComPortLink {
    /// Whether the port still exists.
    bool PortAlive();
    /// Called by the port's destructor: abandons the Synchronize of a handler running on an
    /// event thread, then marks the port gone once that dispatch has returned.
    void PortDestroyed();
    /// Under Mu: Thread starts a dispatch on itself; false when the port is being destroyed.
    bool EnterDispatch(rtl::TThread* Thread);
    /// Under Mu: the dispatch EnterDispatch allowed has returned.
    void LeaveDispatch();

    /// Held by a dispatch that runs on the event thread, and to mark the port gone.
    std::recursive_mutex Mu;
    /// Held while a thread starts a wait and while the port stops its thread, so a
    /// stopped thread never starts another wait on the device.
    std::mutex WaitMu;

  private:
    std::mutex FDispatchMu; // guards the two below; never held while waiting for Mu
    rtl::TThread* FDispatcher = nullptr;
    bool FDestroying = false;
    bool FPortAlive = true;
};

/// The thread that waits for a port's line events and dispatches them (see above).
class TComThread : public rtl::TThread {
  public:
    /// Creates and starts the event thread of an open port; the port knows it at once.
    explicit TComThread(TCustomComPort* ComPort);
    /// Closes the thread's own wait event.
    ~TComThread() override;

    /// True when the caller runs on this thread.
    bool IsCurrentThread() const;
    /// The event thread the caller runs on, or none.
    static TComThread* Current();

  protected:
    /// Waits and dispatches until terminated.
    void Execute() override;

  private:
    friend class TCustomComPort;

    /// Hands the events of a completed wait to the port (on the main thread if the port
    /// synchronises its events).
    void Dispatch();
    /// Reports a wait error on the main thread; raises what the report raised.
    void ReportWaitError();
    /// On the main thread: the port forgets this thread if it still refers to it.
    void Forget();

    /// Closes the thread's own wait event.
    struct TEventHandle {
        qwin::HANDLE Value = 0;
        ~TEventHandle();
    };

    TCustomComPort* FComPort; // dereferenced only while FLink says the port exists
    std::shared_ptr<TComPortLink> FLink;
    const qwin::HANDLE FHandle;
    const bool FSynchronize;
    TEventHandle FWaitEvent;
    qwin::OVERLAPPED FOverlapped{};
    qwin::DWORD FEventMask = 0; // written by the device when a wait completes
    qwin::DWORD FThreadError = 0;
    bool FNoMainLoopShown = false;
};

} // namespace quillon
