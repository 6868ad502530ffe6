// Line errors and modem-line changes on the virtual device, ten thousand seeded batches:
// each batch is reported exactly as a small model of the line says, every set once, in
// the order of the event table.
#include "../comport/event_fixture.h"

#include <random>

namespace quillon::reliability {
namespace {

using eventtest::EventTest;
using Notify = rtl::Handler<void(TObject*)>;
using LineError = rtl::Handler<void(TObject*, TLineErrors)>;
using Trace = std::vector<std::string>;

// The driver's error flags and the set members they stand for, in the set's order.
constexpr std::pair<qwin::DWORD, TLineError> kErrorFlags[] = {
    {qwin::CE_BREAK, leBreak},       {qwin::CE_DNS, leDeviceNotSelected},
    {qwin::CE_FRAME, leFrame},       {qwin::CE_IOE, leIO},
    {qwin::CE_MODE, leMode},         {qwin::CE_OOP, leOutOfPaper},
    {qwin::CE_OVERRUN, leOverrun},   {qwin::CE_PTO, leDeviceTimeOut},
    {qwin::CE_RXOVER, leRxOverflow}, {qwin::CE_RXPARITY, leParity},
    {qwin::CE_TXFULL, leTxFull},
};

std::string ErrorText(TLineErrors errors) {
    std::string s = "LineError";
    for (auto [flag, member] : kErrorFlags)
        if (errors.Contains(member)) s += " " + std::to_string(member);
    return s;
}

std::string ErrorText(qwin::DWORD flags) {
    TLineErrors set;
    for (auto [flag, member] : kErrorFlags)
        if (flags & flag) set.Include(member);
    return ErrorText(set);
}

/// The line as the port should see it, and what one batch of changes makes it report.
struct TLineModel {
    bool Rts = true, Dtr = true, Ring = false; // the peer opens with DTR and RTS raised
    qwin::DWORD Pending = 0;                   // error flags not yet reported

    /// The dispatch of one batch and the read in its RxChar handler, in calling order.
    Trace Expect(int rtsToggles, int dtrToggles, int ringOn, bool peerBreak, qwin::DWORD injected) {
        const bool ringEnds = ringOn == 0 && Ring;
        if (ringOn >= 0) Ring = ringOn == 1;
        Rts ^= rtsToggles % 2 == 1;
        Dtr ^= dtrToggles % 2 == 1;
        Pending |= injected | (peerBreak ? qwin::CE_BREAK : 0);
        const bool lineStatus = injected & (qwin::CE_RXPARITY | qwin::CE_FRAME | qwin::CE_OVERRUN);
        Trace t;
        if (peerBreak || (injected & qwin::CE_BREAK)) t.push_back("Break");
        if (rtsToggles) t.push_back("CTS");
        if (dtrToggles) t.push_back("DSR");
        if (lineStatus) t.push_back(ErrorText(std::exchange(Pending, 0)));
        if (ringEnds) t.push_back("Ring");
        if (dtrToggles) t.push_back("RLSD");
        t.push_back("RxChar");
        if (Pending) t.push_back(ErrorText(std::exchange(Pending, 0))); // the read's query
        return t;
    }
    TModemStatus Status() const {
        TModemStatus s;
        if (Rts) s.Include(msCTS);
        if (Dtr) s.Include(msDSR).Include(msRLSD);
        if (Ring) s.Include(msRing);
        return s;
    }
};

using LineStatusModel = EventTest;

TEST_F(LineStatusModel, SeededBatchesAreReportedAsTheModelSays) {
    TComPort port(nullptr);
    Aim(port);
    eventtest::TPeer peer(Pair.B());
    qvirt::TEnd end = Pair.A();
    std::mt19937 rng(9001);
    const int batches = 10000;

    Trace seen;
    TLineModel model;
    Trace expected;
    TModemStatus expectedStatus;
    int done = 0, mismatches = 0;
    Trace firstSeen, firstExpected;

    bool rtsNow = model.Rts, dtrNow = model.Dtr;
    auto applyBatch = [&](bool empty) {
        std::uniform_int_distribution<int> toggles(0, 2), ring(-1, 1), flag(0, 10);
        std::bernoulli_distribution coin(0.5);
        int rts = 0, dtr = 0, ringOn = -1;
        bool brk = false;
        qwin::DWORD injected = 0;
        if (!empty) {
            rts = toggles(rng);
            dtr = toggles(rng);
            ringOn = ring(rng);
            brk = coin(rng) && coin(rng);
            if (coin(rng))
                for (int k = std::uniform_int_distribution<int>(1, 4)(rng); k > 0; --k)
                    injected |= kErrorFlags[flag(rng)].first;
        }
        expected = model.Expect(rts, dtr, ringOn, brk, injected);
        expectedStatus = model.Status();

        std::vector<std::function<void()>> steps;
        for (int i = 0; i < rts; ++i)
            steps.push_back([&] { peer.SetRts(rtsNow = !rtsNow); });
        for (int i = 0; i < dtr; ++i)
            steps.push_back([&] { peer.SetDtr(dtrNow = !dtrNow); });
        if (ringOn >= 0) steps.push_back([&, ringOn] { end.SetRing(ringOn == 1); });
        if (brk)
            steps.push_back([&] {
                qwin::SetCommBreak(peer.Handle);
                qwin::ClearCommBreak(peer.Handle);
            });
        if (injected) steps.push_back([&, injected] { end.InjectLineError(injected); });
        std::shuffle(steps.begin(), steps.end(), rng);
        for (auto& step : steps)
            step();
        peer.Send("s"); // the batch's last event: its RxChar ends the dispatch
    };

    auto record = [&](const char* what) {
        return Notify([&, what](TObject*) { seen.push_back(what); });
    };
    Notify onBreak = record("Break"), onCts = record("CTS"), onDsr = record("DSR"),
           onRing = record("Ring"), onRlsd = record("RLSD");
    LineError onLineError([&](TObject*, TLineErrors e) { seen.push_back(ErrorText(e)); });
    // The next batch is made while the event thread waits for this dispatch to end, so the
    // whole batch reaches its next wait at once.
    Notify onRx([&](TObject*) {
        seen.push_back("RxChar");
        const AnsiString got = port.ReadAnsiString();
        if (got != "s" || seen != expected || port.ModemStatus() != expectedStatus) {
            if (mismatches++ == 0) {
                firstSeen = seen;
                firstExpected = expected;
            }
        }
        seen.clear();
        if (++done < batches) applyBatch(false);
    });
    port.SetOnBreak(onBreak);
    port.SetOnCTSChange(onCts);
    port.SetOnDSRChange(onDsr);
    port.SetOnLineError(onLineError);
    port.SetOnRing(onRing);
    port.SetOnRLSDChange(onRlsd);
    port.SetOnRxChar(onRx);
    port.Open();
    ASSERT_EQ(port.ModemStatus(), model.Status());

    applyBatch(true); // the thread may be waiting now: a batch of one event
    ASSERT_TRUE(Loop.RunUntil([&] { return done == batches; }, std::chrono::seconds(300)))
        << done << " of " << batches << " batches came back";
    port.Close();
    EXPECT_EQ(mismatches, 0) << "first: seen " << ::testing::PrintToString(firstSeen) << ", model "
                             << ::testing::PrintToString(firstExpected);
    EXPECT_TRUE(Shown.empty());
    RecordProperty("batches", batches);
}

} // namespace
} // namespace quillon::reliability
