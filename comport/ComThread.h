#pragma once
// The event thread of an open port, and the link it shares with its port.
//
// The port never waits for its thread, so a thread may wake up after its port was closed
// or destroyed. It therefore waits on its own copies (handle, wait record, event mask,
// wait event) and reaches the port only on the main thread, or under the link's lock, and
// only while the link says the port still exists.
#include <memory>
#include <mutex>

#include "comport/ComPort.h"

namespace quillon {

/// What a port and its event threads share; outlives both.
struct TComPortLink {
    /// Creates the link of a port. The result is the port's own reference: releasing it
    /// (when the port is destroyed) marks the port gone, after any dispatch running on an
    /// event thread has returned.
    static std::shared_ptr<TComPortLink> Create();

    /// A reference for a thread; unlike the port's, releasing it changes nothing.
    std::shared_ptr<TComPortLink> Shared() const { return FSelf.lock(); }
    /// Whether the port still exists.
    bool PortAlive();

    /// Held by a dispatch that runs on the event thread, and to mark the port gone.
    std::recursive_mutex Mu;
    /// Held while a thread starts a wait and while the port stops its thread, so a
    /// stopped thread never starts another wait on the device.
    std::mutex WaitMu;

private:
    std::weak_ptr<TComPortLink> FSelf;
    bool FPortAlive = true;
};

class TComThread : public rtl::TThread {
public:
    /// Creates and starts the event thread of an open port; the port knows it at once.
    explicit TComThread(TCustomComPort* ComPort);
    ~TComThread() override;

    /// True when the caller runs on this thread.
    bool IsCurrentThread() const;
    /// The event thread the caller runs on, or none.
    static TComThread* Current();

protected:
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
};

} // namespace quillon
