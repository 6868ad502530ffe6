#pragma once
// The runtime's main loop over Qt's: posted work and timers run in the GUI thread's event
// loop, so modal boxes (which run that loop) keep delivering both. A subclass may run the
// timers on a clock of its own (tests advance one by hand).
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

  protected:
    struct TTimerEntry {
        std::chrono::milliseconds Interval;
        std::shared_ptr<Task> Tick; // shared: a tick may stop its own timer
        QTimer* Timer = nullptr;
    };

    /// Makes a timer tick, and stops it: with a Qt timer here.
    virtual void Arm(TimerId id, TTimerEntry& entry);
    virtual void Disarm(TimerId id, TTimerEntry& entry);
    std::map<TimerId, TTimerEntry>& Timers() { return FTimers; }
    /// Runs fn as the loop runs everything: an escaping exception goes to the
    /// application's display instead of unwinding through Qt.
    static void RunGuarded(const Task& fn);

  private:
    std::map<TimerId, TTimerEntry> FTimers;
    std::atomic<TimerId> FNextId{1};
};

} // namespace quillon::console
