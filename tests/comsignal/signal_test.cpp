// Event signals and the write signal: on at the event, off Delay after the last one,
// painted on the control, reported through OnSignal, with the application's handlers kept.
#include "signal_fixture.h"

namespace quillon::signaltest {
namespace {

class EventSignalTest : public SignalTest {
  protected:
    int AppRx = 0;
    TObject* AppRxSender = nullptr;
    Notify AppOnRxChar{[this](TObject* sender) {
        ++AppRx;
        AppRxSender = sender;
        Port->ReadAnsiString();
    }};
    std::vector<bool> Changes; // SignalValue at each OnSignal
    TObject* SignalSender = nullptr;
    Notify OnSignal{[this](TObject* sender) {
        SignalSender = sender;
        Changes.push_back(static_cast<TComSignal*>(sender)->SignalValue());
    }};

    /// Sends one byte and runs the loop until the application's handler has seen it.
    void ReceiveOne() {
        const int before = AppRx;
        Far->Send("a");
        ASSERT_TRUE(RunUntil([&] { return AppRx > before; }));
    }
};

TEST_F(EventSignalTest, ACharacterLightsTheControlCallsTheApplicationAndGoesOffAfterDelay) {
    auto* lamp = new TControl(Form.get());
    Port->SetOnRxChar(AppOnRxChar);
    TComSignal* rx = Indicator(siRxChar, lamp);
    rx->SetColorOn(rtl::clRed);
    rx->SetColorOff(rtl::clMaroon);
    rx->SetOnSignal(OnSignal);
    EXPECT_EQ(lamp->Color(), rtl::clMaroon);
    Port->Open();

    ReceiveOne();
    EXPECT_EQ(AppRxSender, Port);
    EXPECT_TRUE(rx->SignalValue());
    EXPECT_EQ(lamp->Color(), rtl::clRed);
    EXPECT_EQ(SignalSender, rx);

    Advance(99ms);
    EXPECT_EQ(lamp->Color(), rtl::clRed);
    Advance(1ms);
    EXPECT_EQ(lamp->Color(), rtl::clMaroon);
    EXPECT_FALSE(rx->SignalValue());
    EXPECT_EQ(Changes, (std::vector<bool>{true, false}));
    EXPECT_EQ(Timers.Live(), 0u) << "off, its timer stops";
}

TEST_F(EventSignalTest, CharactersEvery50msKeepItOnAndOnSignalReportsOnlyChanges) {
    Port->SetOnRxChar(AppOnRxChar);
    TComSignal* rx = Indicator(siRxChar); // no control: the state is tracked all the same
    rx->SetOnSignal(OnSignal);
    Port->Open();

    for (int i = 0; i < 10; ++i) {
        ReceiveOne();
        Advance(50ms);
        ASSERT_TRUE(rx->SignalValue()) << "after character " << i;
    }
    EXPECT_EQ(Changes, (std::vector<bool>{true}));
    EXPECT_EQ(AppRx, 10);

    Advance(50ms);
    EXPECT_FALSE(rx->SignalValue());
    EXPECT_EQ(Changes, (std::vector<bool>{true, false}));
}

TEST_F(EventSignalTest, DelayIsTheTimeFromTheLastEventToOff) {
    Port->SetOnRxChar(AppOnRxChar);
    TComSignal* rx = Indicator(siRxChar);
    rx->SetDelay(300);
    Port->Open();

    ReceiveOne();
    Advance(299ms);
    EXPECT_TRUE(rx->SignalValue());
    Advance(1ms);
    EXPECT_FALSE(rx->SignalValue());
}

TEST_F(EventSignalTest, ColorOnTakesEffectAtTheNextRepaint) {
    auto* lamp = new TControl(Form.get());
    Port->SetOnRxChar(AppOnRxChar);
    TComSignal* rx = Indicator(siRxChar, lamp);
    Port->Open();
    ReceiveOne();
    ASSERT_EQ(lamp->Color(), rtl::clLime);

    rx->SetColorOn(rtl::clYellow);
    EXPECT_EQ(lamp->Color(), rtl::clLime) << "setting ColorOn only stores it";
    rx->SetColorOff(rtl::clBlack); // repaints, in the on colour since the signal is on
    EXPECT_EQ(lamp->Color(), rtl::clYellow);
    Advance(100ms);
    EXPECT_EQ(lamp->Color(), rtl::clBlack);
}

TEST_F(EventSignalTest, AnIndicatorMakesAnOpenPortListenForItsEventOnItsOwn) {
    Port->Open();
    ASSERT_EQ(Pair.A().EventMask(), 0u);
    TComSignal* ring = Indicator(siRing);
    EXPECT_EQ(Pair.A().EventMask(), qwin::EV_RING);
    EXPECT_EQ(rtl::TThread::RunningCount(), 1);

    Pair.A().PulseRing();
    ASSERT_TRUE(RunUntil([&] { return ring->SignalValue(); }));
    EXPECT_TRUE(ring->SignalValue());
}

TEST_F(EventSignalTest, ABreakAndALineErrorLightTheirIndicatorsAndPassTheErrorsOn) {
    std::vector<TLineErrors> appErrors;
    TObject* appSender = nullptr;
    rtl::Handler<void(TObject*, TLineErrors)> appLineError([&](TObject* s, TLineErrors e) {
        appSender = s;
        appErrors.push_back(e);
    });
    Port->SetOnLineError(appLineError);
    TComSignal* brk = Indicator(siBreak);
    TComSignal* err = Indicator(siLineError);
    Port->Open();

    Pair.A().InjectLineError(qwin::CE_BREAK | qwin::CE_FRAME);
    ASSERT_TRUE(RunUntil([&] { return !appErrors.empty() && brk->SignalValue(); }));

    EXPECT_TRUE(err->SignalValue());
    EXPECT_EQ(appErrors, (std::vector<TLineErrors>{TLineErrors{leBreak, leFrame}}));
    EXPECT_EQ(appSender, Port);
    Advance(100ms);
    EXPECT_FALSE(brk->SignalValue());
    EXPECT_FALSE(err->SignalValue());
}

class WriteSignalTest : public SignalTest {
  protected:
    struct Call {
        TObject* Sender;
        const void* Buffer;
        int32_t Length;
        bool Wait;
        bool operator==(const Call&) const = default;
    };
    std::vector<Call> Before, After;
    std::function<void()> DuringBefore = [] {};
    ReadWrite AppBeforeWrite{[this](TObject* s, const void* b, int32_t n, bool w) {
        Before.push_back({s, b, n, w});
        DuringBefore();
    }};
    ReadWrite AppAfterWrite{[this](TObject* s, const void* b, int32_t n, bool w) {
        After.push_back({s, b, n, w});
    }};
};

TEST_F(WriteSignalTest, AWriteLongerThanDelayKeepsItOnUntilTheFirstTickAfterIt) {
    Port->SetBeforeWrite(AppBeforeWrite);
    Port->SetAfterWrite(AppAfterWrite);
    TComSignal* tx = Indicator(siTxChar);
    Port->Open();
    // A handler inside the write runs the loop for 250 ms, as a modal box would: the
    // indicator's timer ticks twice while the write is still in progress.
    bool onDuringWrite = false;
    DuringBefore = [&] {
        Advance(250ms);
        onDuringWrite = tx->SignalValue();
    };
    const char data[] = "abc";

    Port->Write(data, 3, true);

    EXPECT_TRUE(onDuringWrite);
    EXPECT_TRUE(tx->SignalValue());
    Advance(49ms);
    EXPECT_TRUE(tx->SignalValue());
    Advance(1ms); // the tick at 300 ms, the first after the write
    EXPECT_FALSE(tx->SignalValue());
    const Call expected{Port, data, 3, true};
    EXPECT_EQ(Before, (std::vector<Call>{expected}));
    EXPECT_EQ(After, (std::vector<Call>{expected}));
}

TEST_F(WriteSignalTest, ANonWaitingWriteLightsItForDelay) {
    TComSignal* tx = Indicator(siTxChar);
    Port->Open();

    Port->WriteAnsiString("abc");
    EXPECT_TRUE(tx->SignalValue());
    Advance(99ms);
    EXPECT_TRUE(tx->SignalValue());
    Advance(1ms);
    EXPECT_FALSE(tx->SignalValue());
}

TEST_F(WriteSignalTest, AWriteThatRaisedIsNotLeftLitOnceThePortCloses) {
    Port->SetAfterWrite(AppAfterWrite);
    TComSignal* tx = Indicator(siTxChar);
    Port->Open();
    Pair.Unplug();

    EXPECT_THROW(Port->WriteAnsiString("abc"), EComError);
    EXPECT_TRUE(After.empty());
    Advance(500ms);
    EXPECT_TRUE(tx->SignalValue()) << "the write never ended";

    Port->Close();
    EXPECT_FALSE(tx->SignalValue());
    Advance(100ms);
    EXPECT_FALSE(tx->SignalValue());
    EXPECT_EQ(Timers.Live(), 0u) << "its timer has stopped";
}

TEST_F(SignalTest, NoneNeverLightsButStillPassesOpenAndCloseOn) {
    auto* lamp = new TControl(Form.get());
    int opened = 0, closed = 0;
    OpenClose appOpen([&](TCustomComPort* p) { opened += p == Port; });
    OpenClose appClose([&](TCustomComPort* p) { closed += p == Port; });
    Port->SetAfterOpen(appOpen);
    Port->SetAfterClose(appClose);
    TComSignal* none = Indicator(siNone, lamp);

    Port->Open();
    Far->Send("a");
    Port->WriteAnsiString("b");
    Port->Close();

    EXPECT_EQ(opened, 1);
    EXPECT_EQ(closed, 1);
    EXPECT_FALSE(none->SignalValue());
    EXPECT_EQ(lamp->Color(), rtl::clGreen);
}

} // namespace
} // namespace quillon::signaltest
