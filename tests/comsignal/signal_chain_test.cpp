// Binding: each indicator saves the handler it replaces and calls it; unbinding puts it
// back, in any order and whoever goes first, so nothing ever calls a destroyed indicator.
#include "signal_fixture.h"

namespace quillon::signaltest {
namespace {

class ChainTest : public SignalTest {
  protected:
    int Opened = 0, Closed = 0, Rx = 0, BeforeWrites = 0, AfterWrites = 0;
    OpenClose AppAfterOpen{[this](TCustomComPort*) { ++Opened; }};
    OpenClose AppAfterClose{[this](TCustomComPort*) { ++Closed; }};
    Notify AppOnRxChar{[this](TObject*) {
        ++Rx;
        Port->ReadAnsiString();
    }};
    ReadWrite AppBeforeWrite{[this](TObject*, const void*, int32_t, bool) { ++BeforeWrites; }};
    ReadWrite AppAfterWrite{[this](TObject*, const void*, int32_t, bool) { ++AfterWrites; }};

    void SetUp() override {
        SignalTest::SetUp();
        Port->SetAfterOpen(AppAfterOpen);
        Port->SetAfterClose(AppAfterClose);
        Port->SetOnRxChar(AppOnRxChar);
        Port->SetBeforeWrite(AppBeforeWrite);
        Port->SetAfterWrite(AppAfterWrite);
    }

    /// Every handler of the port is the application's own again.
    void ExpectApplicationHandlers() const {
        EXPECT_TRUE(Port->AfterOpen() == AppAfterOpen.closure());
        EXPECT_TRUE(Port->AfterClose() == AppAfterClose.closure());
        EXPECT_TRUE(Port->OnRxChar() == AppOnRxChar.closure());
        EXPECT_TRUE(Port->BeforeWrite() == AppBeforeWrite.closure());
        EXPECT_TRUE(Port->AfterWrite() == AppAfterWrite.closure());
        EXPECT_FALSE(Port->OnTxEmpty().Assigned());
    }

    void ReceiveOne() {
        const int before = Rx;
        Far->Send("a");
        ASSERT_TRUE(RunUntil([&] { return Rx > before; }));
    }

    /// One session with a character and a write, checked by whileOpen before it closes
    /// (closing switches event indicators off); each application handler runs once.
    void ExpectEachHandlerOncePerSession(const std::function<void()>& whileOpen = [] {}) {
        const int opened = Opened, closed = Closed, rx = Rx, writes = AfterWrites;
        Port->Open();
        ReceiveOne();
        Port->WriteAnsiString("w");
        whileOpen();
        Port->Close();
        EXPECT_EQ(Opened, opened + 1);
        EXPECT_EQ(Closed, closed + 1);
        EXPECT_EQ(Rx, rx + 1);
        EXPECT_EQ(AfterWrites, writes + 1);
    }
};

TEST_F(ChainTest, TheConsolesTwoIndicatorsChainAndRestoreInReverseOrder) {
    TComSignal* rx = Indicator(siRxChar);
    TComSignal* tx = Indicator(siTxChar);
    EXPECT_FALSE(Port->AfterOpen() == AppAfterOpen.closure()) << "the indicators are in front";

    ExpectEachHandlerOncePerSession([&] {
        EXPECT_TRUE(rx->SignalValue());
        EXPECT_TRUE(tx->SignalValue());
    });

    delete tx;
    delete rx;
    ExpectApplicationHandlers();
}

TEST_F(ChainTest, DestroyingTheFirstBoundFirstRelinksTheChain) {
    TComSignal* first = Indicator(siRxChar);
    TComSignal* second = Indicator(siRxChar);

    delete first; // out of order: second still holds first's hook as the handler it replaced
    ExpectEachHandlerOncePerSession([&] { EXPECT_TRUE(second->SignalValue()); });

    delete second;
    ExpectApplicationHandlers();
    Port->Open();
    EXPECT_EQ(Pair.A().EventMask(), qwin::EV_RXCHAR);
}

TEST_F(ChainTest, AnIndicatorUnboundFromTheMiddleLeavesTheOthersChained) {
    TComSignal* a = Indicator(siRxChar);
    TComSignal* b = Indicator(siRxChar);
    TComSignal* c = Indicator(siRxChar);

    b->SetComPort(nullptr);
    ExpectEachHandlerOncePerSession([&] {
        EXPECT_TRUE(a->SignalValue());
        EXPECT_FALSE(b->SignalValue());
        EXPECT_TRUE(c->SignalValue());
    });

    delete c;
    delete a;
    delete b;
    ExpectApplicationHandlers();
}

TEST_F(ChainTest, DestroyingThePortFirstLeavesItsIndicatorsUnboundAndOff) {
    TComSignal* rx = Indicator(siRxChar);
    TComSignal* tx = Indicator(siTxChar);
    std::vector<bool> changes;
    Notify onSignal(
        [&](TObject* s) { changes.push_back(static_cast<TComSignal*>(s)->SignalValue()); });
    rx->SetOnSignal(onSignal);
    Port->Open();
    ReceiveOne();
    ASSERT_TRUE(rx->SignalValue());

    delete Port;
    Port = nullptr;

    EXPECT_EQ(rx->ComPort(), nullptr);
    EXPECT_EQ(tx->ComPort(), nullptr);
    EXPECT_FALSE(rx->SignalValue());
    EXPECT_EQ(changes, (std::vector<bool>{true, false}));
    Advance(1000ms); // their timers find nothing to do
    delete tx;
    delete rx;
}

TEST_F(ChainTest, APortOfAnotherOwnerIsLetGoWhenItIsDestroyed) {
    auto other = std::make_unique<TComponent>(nullptr);
    auto* foreign = new TComPort(other.get());
    auto* s = new TComSignal(Form.get());
    s->SetSignal(siRxChar);
    s->SetComPort(foreign);

    other.reset();

    EXPECT_EQ(s->ComPort(), nullptr);
}

TEST_F(ChainTest, AControlOfAnotherOwnerIsLetGoWhenItIsDestroyed) {
    auto other = std::make_unique<TComponent>(nullptr);
    auto* lamp = new TControl(other.get());
    TComSignal* rx = Indicator(siRxChar, lamp);

    other.reset();
    EXPECT_EQ(rx->Control(), nullptr);
    Port->Open();
    ReceiveOne(); // paints nothing, and does not fail
    EXPECT_TRUE(rx->SignalValue());
}

TEST_F(ChainTest, ChangingTheSignalMovesTheHooksToTheNewEvents) {
    TComSignal* s = Indicator(siRxChar);
    Port->Open();

    s->SetSignal(siTxEmpty);
    EXPECT_TRUE(Port->OnRxChar() == AppOnRxChar.closure());
    EXPECT_EQ(Pair.A().EventMask(), qwin::EV_RXCHAR | qwin::EV_TXEMPTY);
    ReceiveOne();
    EXPECT_FALSE(s->SignalValue()) << "a character is no longer its event";
    Port->WriteAnsiString("w");
    ASSERT_TRUE(RunUntil([&] { return s->SignalValue(); }));

    delete s;
    ExpectApplicationHandlers();
    EXPECT_EQ(Pair.A().EventMask(), qwin::EV_RXCHAR);
}

TEST_F(ChainTest, BindingAtRunTimeIsImmediateAndRebindingTheSamePortChangesNothing) {
    auto* s = new TComSignal(Form.get());
    s->SetSignal(siRxChar);
    s->SetComPort(Port);
    const TNotifyEvent hook = Port->OnRxChar();
    EXPECT_FALSE(hook == AppOnRxChar.closure());

    s->SetComPort(Port);
    EXPECT_TRUE(Port->OnRxChar() == hook);
    ExpectEachHandlerOncePerSession();

    s->SetComPort(nullptr);
    EXPECT_FALSE(s->SignalValue()) << "unbinding switches it off";
    ExpectApplicationHandlers();
}

TEST_F(ChainTest, WhileLoadingTheIndicatorWaitsForLoadedToBind) {
    auto* s = new TComSignal(Form.get());
    s->BeginLoading();
    s->SetSignal(siRxChar);
    s->SetComPort(Port);
    ExpectApplicationHandlers();

    s->Loaded();
    EXPECT_FALSE(Port->OnRxChar() == AppOnRxChar.closure());
}

TEST_F(ChainTest, AnIndicatorBeingDesignedNeverBinds) {
    auto* s = new TComSignal(Form.get());
    s->SetDesigning(true);
    s->SetSignal(siRxChar);
    s->SetComPort(Port);
    s->Loaded();

    ExpectApplicationHandlers();
    delete s;
    ExpectApplicationHandlers();
}

} // namespace
} // namespace quillon::signaltest
