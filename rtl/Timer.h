#pragma once
// A timer component ticking on the main thread.
#include "rtl/Closure.h"
#include "rtl/Component.h"
#include "rtl/MainLoop.h"

namespace rtl {

/// A handler told only who calls it.
using TNotifyEvent = Closure<void(TObject* Sender)>;

/// A component that calls OnTimer on the main thread every Interval milliseconds while enabled.
class TTimer : public TComponent {
  public:
    /// An enabled timer of 1000 ms owned by AOwner; it ticks once OnTimer is set.
    explicit TTimer(TComponent* AOwner);
    /// Stops the timer.
    ~TTimer() override;

    /// The period in milliseconds.
    int Interval() const { return interval_; }
    /// Stores the period in milliseconds and restarts the count.
    void SetInterval(int ms);
    /// True while the timer may tick.
    bool Enabled() const { return enabled_; }
    /// Starts or stops the ticking.
    void SetEnabled(bool on);
    /// Called at each tick.
    TNotifyEvent OnTimer() const { return onTimer_; }
    /// Sets the tick handler; none stops the ticking.
    void SetOnTimer(TNotifyEvent h);

  private:
    void Update();
    void Tick();

    int interval_ = 1000;
    bool enabled_ = true;
    TNotifyEvent onTimer_;
    IMainLoop::TimerId id_ = 0;
    IMainLoop* loop_ = nullptr;
};

} // namespace rtl
