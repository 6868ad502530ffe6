#include "rtl/Timer.h"

namespace rtl {

TTimer::TTimer(TComponent* AOwner) : TComponent(AOwner) {}

TTimer::~TTimer() {
    enabled_ = false;
    Update();
}

void TTimer::SetInterval(int ms) {
    if (ms == interval_) return;
    interval_ = ms;
    Update();
}

void TTimer::SetEnabled(bool on) {
    if (on == enabled_) return;
    enabled_ = on;
    Update();
}

void TTimer::SetOnTimer(TNotifyEvent h) {
    onTimer_ = h;
    Update();
}

void TTimer::Update() {
    if (id_ != 0) {
        loop_->StopTimer(id_);
        id_ = 0;
    }
    // Like a system timer: it runs only with a positive interval and a handler.
    if (enabled_ && interval_ > 0 && onTimer_.Assigned() && !IsDesigning()) {
        loop_ = &MainLoop();
        id_ = loop_->StartTimer(interval_, [this] { Tick(); });
    }
}

void TTimer::Tick() {
    if (onTimer_.Assigned()) onTimer_(this);
}

} // namespace rtl
