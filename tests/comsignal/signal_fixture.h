#pragma once
// A form of the indicator tests: an owner with a port on a virtual pair, the far end of
// the pair, a manual clock for the indicators' timers, and the application's handlers.
#include "comsignal/ComSignal.h"
#include "platform/virtual/VirtualSerial.h"
#include "rtl/MainLoop.h"
#include "tests/comport/event_fixture.h"

#include <atomic>
#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace quillon::signaltest {

using namespace std::chrono_literals;
using eventtest::TPeer;
using Notify = rtl::Handler<void(TObject*)>;
using OpenClose = rtl::Handler<void(TCustomComPort*)>;
using ReadWrite = rtl::Handler<void(TObject*, const void*, int32_t, bool)>;

/// Forwards to the test's loop and keeps count of the timers that run.
class TTimerWatch : public rtl::IMainLoop {
  public:
    explicit TTimerWatch(rtl::TPlainLoop& inner) : FInner(inner) {}
    void Post(Task fn) override { FInner.Post(std::move(fn)); }
    bool IsMainThread() const override { return FInner.IsMainThread(); }
    TimerId StartTimer(int ms, Task tick) override {
        const TimerId id = FInner.StartTimer(ms, std::move(tick));
        FLive.insert(id);
        return id;
    }
    void StopTimer(TimerId id) override {
        FInner.StopTimer(id);
        FLive.erase(id);
    }
    /// Timers started and not stopped (the main thread's business only).
    size_t Live() const { return FLive.size(); }

  private:
    rtl::TPlainLoop& FInner;
    std::set<TimerId> FLive;
};

class SignalTest : public quillon_test::TMainThreadTest {
  protected:
    TTimerWatch Timers{Loop};
    qvirt::TPair Pair;
    std::unique_ptr<TPeer> Far;
    /// The form: owns the port, the controls and the indicators it creates.
    std::unique_ptr<TComponent> Form;
    TComPort* Port = nullptr;

    void SetUp() override {
        TMainThreadTest::SetUp();
        Loop.UseManualClock(); // before any timer exists
        rtl::SetMainLoop(&Timers);
        static std::atomic<int> serial{0};
        const std::string id = std::to_string(getpid()) + "-" + std::to_string(++serial);
        Pair = qvirt::CreatePair("sig-a-" + id, "sig-b-" + id);
        Far = std::make_unique<TPeer>(Pair.B());
        Form = std::make_unique<TComponent>(nullptr);
        Port = new TComPort(Form.get());
        Port->SetDeviceName(Pair.A().DeviceName());
    }

    void TearDown() override {
        Form.reset();
        Far.reset();
        TMainThreadTest::TearDown();
    }

    /// An indicator of the form on Signal, bound to the port as a stored layout does it.
    TComSignal* Indicator(TSignal signal, TControl* control = nullptr) {
        auto* s = new TComSignal(Form.get());
        s->BeginLoading();
        s->SetSignal(signal);
        s->SetComPort(Port);
        s->SetControl(control);
        s->Loaded();
        return s;
    }

    void Advance(std::chrono::milliseconds ms) { Loop.Advance(ms); }
};

} // namespace quillon::signaltest
