#pragma once
// The runtime's main loop over Qt's: posted work and timers run in the GUI thread's event
// loop, so modal boxes (which run that loop) keep delivering both. A manual clock lets a
// test drive the timers by advancing time instead of waiting.
#include "rtl/MainLoop.h"

#include <QObject>
#include <atomic>
#include <chrono>
#include <map>
#include <memory>

class QTimer;

namespace quillon::console {

class TQtMainLoop : public QObject, public rtl::IMainLoop {
  public:
    /// Binds the loop to the calling thread, which must be the GUI thread.
    TQtMainLoop();
    ~TQtMainLoop() override;

    void Post(Task fn) override;
    bool IsMainThread() const override;
    TimerId StartTimer(int intervalMs, Task tick) override;
    void StopTimer(TimerId id) override;

    /// Switches between Qt's timers and a manual clock; running timers carry over.
    void SetManualClock(bool manual);
    bool ManualClock() const { return FManual; }
    /// Moves the manual clock forward, running posted work first and then every timer
    /// that falls due, in time order. May be called from inside a tick.
    void Advance(std::chrono::milliseconds by);
    std::chrono::milliseconds Now() const { return FNow; }

  private:
    struct TTimerEntry {
        std::chrono::milliseconds Interval;
        std::chrono::milliseconds Due; // manual clock
        std::shared_ptr<Task> Tick;    // shared: a tick may stop its own timer
        QTimer* Timer = nullptr;       // Qt clock
    };

    void Arm(TTimerEntry& entry);
    void Disarm(TTimerEntry& entry);
    /// Runs fn as the loop runs everything: an escaping exception goes to the
    /// application's display instead of unwinding through Qt.
    static void RunGuarded(const Task& fn);

    std::map<TimerId, TTimerEntry> FTimers;
    std::atomic<TimerId> FNextId{1};
    bool FManual = false;
    std::chrono::milliseconds FNow{0};
};

} // namespace quillon::console
