#pragma once
// A timer component ticking on the main thread.
#include "rtl/Closure.h"
#include "rtl/Component.h"
#include "rtl/MainLoop.h"

namespace rtl {

using TNotifyEvent = Closure<void(TObject* Sender)>;

class TTimer : public TComponent {
public:
    explicit TTimer(TComponent* AOwner);
    ~TTimer() override;

    int Interval() const { return interval_; }
    void SetInterval(int ms);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool on);
    TNotifyEvent OnTimer() const { return onTimer_; }
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
