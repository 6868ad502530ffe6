#pragma once
// The event thread of an open port, and the link it shares with its port.
//
// The port never waits for its thread, so a thread may wake after its port is gone: it
// reaches the port only on the main thread or under the link's lock, and only while the
// link says the port exists. The port's destructor tells the link so, and abandons the
// Synchronize a handler on the thread may wait in, so neither waits for the other.
// The thread deletes itself once its Execute returns; the link, which outlives it, tells
// whether it still runs.
#include "comport/ComPort.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace quillon {

class TComThread;

/// Where an event thread is in its life. The thread moves itself between Waiting and
/// Dispatching, and to Finished as it ends; only the port moves it to Terminated, from
/// which it never dispatches again. Debug builds stop the process on any other move.
enum class TComThreadState : uint8_t {
    Waiting,     ///< in a device wait on its own copies (handle, wait record, mask, event)
    Dispatching, ///< handing a completed wait's events to the port: on the main thread
                 ///< through Synchronize when the port synchronises them, else on itself
    Terminated,  ///< stopped by the port, which no longer names it
    Finished,    ///< Execute has returned; the thread deletes itself next
};

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

    /// The port's event thread, or none. Only Adopt and Release change it, both on the
    /// main thread, which is also the only reader.
    TComThread* Thread() const { return FThread; }
    /// A thread just created becomes the port's; the port has none.
    void Adopt(TComThread* Thread);
    /// Terminates Thread; the port no longer names it if it did. Main thread.
    void Release(TComThread* Thread);
    /// Called by a thread as it ends, released or not.
    void ThreadEnded();
    /// How many of the port's threads have not yet ended, the released ones included.
    int ThreadsRunning();
    /// Waits until none runs or Timeout passes; true when none runs. Not on the main thread
    /// while a synchronised thread may still need it.
    bool WaitThreadsEnded(std::chrono::milliseconds Timeout);

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
    TComThread* FThread = nullptr;
    std::mutex FLifeMu; // guards FRunning
    std::condition_variable FEnded;
    int FRunning = 0;
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
    /// Where the thread is in its life; read it only while the thread cannot have ended.
    TComThreadState State() const { return FState.load(std::memory_order_acquire); }
    /// What the thread shares with its port.
    const std::shared_ptr<TComPortLink>& Link() const { return FLink; }

  protected:
    /// Waits and dispatches until terminated.
    void Execute() override;

    /// Marks the thread finished and tells the link; the thread deletes itself next.
    void DoTerminate() override;

  private:
    friend class TCustomComPort;
    friend struct TComPortLink;

    /// The thread's own move from one state to another; false, with nothing changed, once
    /// the port has terminated it.
    bool Enter(TComThreadState From, TComThreadState To);
    /// The port's move to Terminated (through the link).
    void Stop();

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
    std::atomic<TComThreadState> FState{TComThreadState::Waiting};
};

} // namespace quillon
