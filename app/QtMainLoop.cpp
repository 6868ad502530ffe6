#include "app/QtMainLoop.h"

#include "rtl/Application.h"

#include <QThread>
#include <QTimer>
#include <algorithm>

namespace quillon::console {

TQtMainLoop::TQtMainLoop() = default;

TQtMainLoop::~TQtMainLoop() {
    for (auto& [id, entry] : FTimers)
        TQtMainLoop::Disarm(id, entry);
}

void TQtMainLoop::Post(Task fn) {
    // A queued call to an object of the GUI thread: safe from any thread.
    QMetaObject::invokeMethod(
        this, [fn = std::move(fn)] { RunGuarded(fn); }, Qt::QueuedConnection);
}

bool TQtMainLoop::IsMainThread() const {
    return QThread::currentThread() == thread();
}

rtl::IMainLoop::TimerId TQtMainLoop::StartTimer(int intervalMs, Task tick) {
    const TimerId id = FNextId++;
    auto add = [this, id, intervalMs, tick = std::move(tick)]() mutable {
        TTimerEntry& e = FTimers[id];
        // At least 1 ms, or a hand-driven clock would never get past a zero-interval timer.
        e.Interval = std::chrono::milliseconds(std::max(intervalMs, 1));
        e.Tick = std::make_shared<Task>(std::move(tick));
        Arm(id, e);
    };
    // Timers belong to the GUI thread; another thread gets its id at once all the same.
    if (IsMainThread())
        add();
    else
        Post(std::move(add));
    return id;
}

void TQtMainLoop::StopTimer(TimerId id) {
    if (!IsMainThread()) {
        Post([this, id] { StopTimer(id); });
        return;
    }
    auto it = FTimers.find(id);
    if (it == FTimers.end()) return;
    Disarm(id, it->second);
    FTimers.erase(it);
}

void TQtMainLoop::Arm(TimerId, TTimerEntry& entry) {
    auto* timer = new QTimer(this);
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(static_cast<int>(entry.Interval.count()));
    std::weak_ptr<Task> tick = entry.Tick;
    connect(timer, &QTimer::timeout, this, [tick] {
        if (auto t = tick.lock()) RunGuarded(*t);
    });
    timer->start();
    entry.Timer = timer;
}

void TQtMainLoop::Disarm(TimerId, TTimerEntry& entry) {
    if (!entry.Timer) return;
    entry.Timer->stop();
    // Never deleted under its own timeout signal: the tick may be the one stopping it.
    entry.Timer->deleteLater();
    entry.Timer = nullptr;
}

void TQtMainLoop::RunGuarded(const Task& fn) {
    try {
        fn();
    } catch (...) {
        rtl::Application().HandleException(nullptr);
    }
}

} // namespace quillon::console
