// The device contract both backends keep, run on a pty and on a virtual pair: transfer,
// time-outs, purge, events, line status, settings and close; modem lines, line errors and
// the transmitter on the devices whose line the test can drive.
#include "device_fixture.h"

#include <cstring>
#include <future>
#include <thread>

namespace quillon_test {
namespace {

using Transfer = DeviceContract;

TEST_P(Transfer, QueuedBytesAndSmallWritesCompleteAtOnceWithTheEventSet) {
    FeedQueued("abc");
    DWORD done = 0;
    ASSERT_TRUE(ReadFile(port, rd.buf, 3, &done, &rd.ov));
    EXPECT_EQ(std::string(rd.buf, done), "abc");
    EXPECT_TRUE(rd.Done());
    ASSERT_TRUE(WriteFile(port, "hello", 5, &done, &wr.ov));
    EXPECT_EQ(done, 5u);
    EXPECT_TRUE(wr.Done());
    EXPECT_EQ(other->Take(5), "hello");
}

TEST_P(Transfer, ReadPendsUntilEveryByteCameAndLeavesTheRest) {
    StartPendingRead(4);
    DWORD done = 0;
    EXPECT_FAILS_WITH(GetOverlappedResult(port, &rd.ov, &done, FALSE), ERROR_IO_INCOMPLETE);
    other->Feed("12");
    EXPECT_FALSE(rd.Done(100));
    other->Feed("345");
    EXPECT_EQ(Finish(rd), "1234");
    ReadFile(port, rd.buf, 1, &done, &rd.ov); // at once or pending: the outcome tells
    EXPECT_EQ(Finish(rd), "5");
}

TEST_P(Transfer, CallsWithoutRecordBlockUntilDone) {
    std::thread feeder([&] { other->Feed("sync"); });
    char buf[4];
    DWORD done = 0;
    EXPECT_TRUE(ReadFile(port, buf, 4, &done, nullptr));
    feeder.join();
    EXPECT_EQ(std::string(buf, done), "sync");
    const std::string data = Pattern(1 << 17);
    auto taken = std::async(std::launch::async, [&] { return other->Take(data.size()); });
    EXPECT_TRUE(WriteFile(port, data.data(), DWORD(data.size()), &done, nullptr));
    EXPECT_EQ(done, data.size());
    EXPECT_TRUE(taken.get() == data);
}

TEST_P(Transfer, MegabyteWriteCompletesOnItsOwnInOrder) {
    const std::string data = Pattern(1 << 20);
    DWORD done = 0;
    if (!WriteFile(port, data.data(), DWORD(data.size()), &done, &wr.ov)) {
        ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
    }
    // Nobody waits on the request: the test only reads the other end.
    EXPECT_TRUE(other->Take(data.size()) == data) << "bytes lost or out of order";
    ASSERT_TRUE(wr.Done(5000));
    EXPECT_TRUE(GetOverlappedResult(port, &wr.ov, &done, FALSE));
    EXPECT_EQ(done, data.size());
}

TEST_P(Transfer, PriorityCharacterGoesAheadOfAStalledWrite) {
    ASSERT_TRUE(TransmitCommChar(port, '!'));
    EXPECT_EQ(other->Take(1), "!");
    const std::string data = Pattern(1 << 20);
    EXPECT_FAILS_WITH(WriteFile(port, data.data(), DWORD(data.size()), nullptr, &wr.ov),
                      ERROR_IO_PENDING);
    ASSERT_TRUE(TransmitCommChar(port, '\x01'));
    std::string got = other->Take(data.size() + 1);
    const size_t at = got.find('\x01');
    ASSERT_NE(at, std::string::npos);
    // Behind a network, loopback's buffers may already hold the whole write: the character
    // can only go ahead of what the device still has.
    if (!GetParam().remote) {
        EXPECT_LT(at, data.size() / 2);
    }
    got.erase(at, 1);
    EXPECT_TRUE(got == data) << "the write's own bytes lost their order";
    Finish(wr);
}

TEST_P(Transfer, FlushReturnsOnceThePendingWriteIsOut) {
    const std::string data = Pattern(1 << 18);
    EXPECT_FAILS_WITH(WriteFile(port, data.data(), DWORD(data.size()), nullptr, &wr.ov),
                      ERROR_IO_PENDING);
    auto taken = std::async(std::launch::async, [&] { return other->Take(data.size()); });
    EXPECT_TRUE(FlushFileBuffers(port)) << GetLastError();
    DWORD done = 0;
    EXPECT_TRUE(GetOverlappedResult(port, &wr.ov, &done, FALSE));
    EXPECT_EQ(done, data.size());
    EXPECT_TRUE(taken.get() == data);
}

TEST_P(Transfer, PurgeAbortEndsPendingRequestsAndThePortGoesOn) {
    if (GetParam().remote) GTEST_SKIP() << "the network's buffers take the whole write";
    StartPendingRead(10);
    const std::string data = Pattern(1 << 20);
    EXPECT_FAILS_WITH(WriteFile(port, data.data(), DWORD(data.size()), nullptr, &wr.ov),
                      ERROR_IO_PENDING);
    ASSERT_TRUE(PurgeComm(port, PURGE_RXABORT | PURGE_TXABORT | PURGE_TXCLEAR));
    ASSERT_TRUE(rd.Done() && wr.Done());
    DWORD done = 99;
    EXPECT_FAILS_WITH(GetOverlappedResult(port, &rd.ov, &done, TRUE), ERROR_OPERATION_ABORTED);
    EXPECT_EQ(done, 0u);
    EXPECT_FAILS_WITH(GetOverlappedResult(port, &wr.ov, &done, TRUE), ERROR_OPERATION_ABORTED);
    EXPECT_LT(done, data.size());
    StartPendingRead(2);
    other->Feed("ok");
    EXPECT_EQ(Finish(rd), "ok");
}

TEST_P(Transfer, QueueCountsAndPurgeClear) {
    FeedQueued("12345");
    DWORD errors = 1;
    const COMSTAT stat = Status(&errors);
    EXPECT_EQ(errors, 0u);
    EXPECT_EQ(stat.cbInQue, 5u);
    EXPECT_EQ(stat.cbOutQue, 0u);
    ASSERT_TRUE(PurgeComm(port, PURGE_RXCLEAR | PURGE_TXCLEAR));
    EXPECT_EQ(Status().cbInQue, 0u);
    // Whatever buffers stand between the line and the port, what comes after is kept.
    StartPendingRead(5);
    other->Feed("after");
    EXPECT_EQ(Finish(rd), "after");
    EXPECT_FAILS_WITH(PurgeComm(port, 0x10), ERROR_INVALID_PARAMETER);
}

TEST_P(Transfer, BadRequestsAreRefusedAndEmptyOnesEndAtOnce) {
    DWORD done = 7;
    EXPECT_FAILS_WITH(ReadFile(port, nullptr, 4, &done, &rd.ov), ERROR_INVALID_PARAMETER);
    EXPECT_FAILS_WITH(WriteFile(port, nullptr, 4, &done, &wr.ov), ERROR_INVALID_PARAMETER);
    EXPECT_FAILS_WITH(GetOverlappedResult(port, nullptr, &done, FALSE), ERROR_INVALID_PARAMETER);
    OVERLAPPED foreign{};
    foreign.hEvent = port; // a device, not an event
    EXPECT_FAILS_WITH(ReadFile(port, rd.buf, 4, &done, &foreign), ERROR_INVALID_HANDLE);
    EXPECT_TRUE(ReadFile(port, rd.buf, 0, &done, &rd.ov));
    EXPECT_EQ(done, 0u);
    EXPECT_TRUE(rd.Done());
}

TEST_P(Transfer, XoffHoldsOutputUntilXon) {
    ASSERT_TRUE(EscapeCommFunction(port, SETXOFF));
    DWORD done = 0;
    const BOOL atOnce = WriteFile(port, "held", 4, &done, &wr.ov);
    EXPECT_TRUE(other->Quiet(100)); // the device may take the bytes, but none leave
    ASSERT_TRUE(EscapeCommFunction(port, SETXON));
    EXPECT_EQ(other->Take(4), "held");
    if (!atOnce) Finish(wr, &done);
    EXPECT_EQ(done, 4u);
}

// ---- read and write time-outs, through real reads ----

struct ReadRow {
    const char* what;
    COMMTIMEOUTS timeouts;
    DWORD count;
    const char* queued; // in the device's input before the read starts
    bool atOnce;        // the read ends inside ReadFile
    DWORD quietMs;      // else it must stay pending this long before...
    const char* later;  // ...these bytes arrive (nullptr: none, it ends by itself)
    const char* expected;
    int notBeforeMs; // from the arrival of the later bytes, else from the start
};

void PrintTo(const ReadRow& row, std::ostream* os) {
    *os << row.what;
}

constexpr DWORD MAX = MAXDWORD;

const ReadRow kReadRows[] = {
    {"AllZeroWaitsForEveryByte", {0, 0, 0, 0, 0}, 5, "abc", false, 100, "de", "abcde", 0},
    {"MaxIntervalReturnsAtOnceEmpty", {MAX, 0, 0, 0, 0}, 8, "", true, 0, nullptr, "", 0},
    {"MaxIntervalReturnsWhatIsQueued", {MAX, 0, 0, 0, 0}, 8, "hi", true, 0, nullptr, "hi", 0},
    {"MaxIntervalWithTotalReturnsWhatIsQueued",
     {MAX, 2, 100, 0, 0},
     10,
     "q",
     true,
     0,
     nullptr,
     "q",
     0},
    {"MaxIntervalWithTotalEndsEmpty", {MAX, 2, 100, 0, 0}, 10, "", false, 0, nullptr, "", 120},
    {"FirstByteModeEndsAtTheFirstByte", {MAX, MAX, 60000, 0, 0}, 8, "", false, 100, "z", "z", 0},
    {"TotalEndsAShortRead", {0, 10, 100, 0, 0}, 10, "wxyz", false, 0, nullptr, "wxyz", 200},
    {"IntervalStartsAtTheFirstByte", {50, 0, 0, 0, 0}, 10, "", false, 150, "abc", "abc", 50},
    {"IntervalRunsFromQueuedBytes", {30, 0, 0, 0, 0}, 10, "pq", false, 0, nullptr, "pq", 30},
};

class ReadTimeouts : public DeviceFixture,
                     public testing::TestWithParam<std::tuple<Backend, ReadRow>> {
  protected:
    ReadTimeouts() : DeviceFixture(std::get<0>(GetParam()).make()) {}
};

TEST_P(ReadTimeouts, EndTheReadAsTheSerialApiDocuments) {
    const ReadRow& row = std::get<1>(GetParam());
    if (*row.queued) FeedQueued(row.queued);
    const COMMTIMEOUTS& t = row.timeouts;
    SetTimeouts(t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant);
    auto from = Clock::now();
    DWORD done = 0;
    const BOOL atOnce = ReadFile(port, rd.buf, row.count, &done, &rd.ov);
    ASSERT_EQ(bool(atOnce), row.atOnce) << "error " << GetLastError();
    if (atOnce) {
        EXPECT_EQ(std::string(rd.buf, done), row.expected);
        EXPECT_TRUE(rd.Done());
        return;
    }
    ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
    if (row.later) {
        EXPECT_FALSE(rd.Done(row.quietMs));
        from = Clock::now();
        other->Feed(row.later);
    }
    ASSERT_TRUE(rd.Done(5000)) << "the read never ended";
    EXPECT_EQ(Finish(rd), row.expected);
    EXPECT_GE(Clock::now() - from, milliseconds(row.notBeforeMs));
}

INSTANTIATE_TEST_SUITE_P(Rows, ReadTimeouts,
                         testing::Combine(testing::ValuesIn(Devices()),
                                          testing::ValuesIn(kReadRows)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "_" +
                                    std::get<1>(info.param).what;
                         });

using Timeouts = DeviceContract;

TEST_P(Timeouts, WriteTotalEndsAStalledWriteShort) {
    if (GetParam().remote) GTEST_SKIP() << "the network's buffers take the whole write";
    SetTimeouts(0, 0, 0, 0, 50);
    const std::string data = Pattern(1 << 20);
    const auto start = Clock::now();
    EXPECT_FAILS_WITH(WriteFile(port, data.data(), DWORD(data.size()), nullptr, &wr.ov),
                      ERROR_IO_PENDING);
    ASSERT_TRUE(wr.Done(5000));
    EXPECT_GE(Clock::now() - start, milliseconds(50));
    DWORD done = 0;
    Finish(wr, &done);
    EXPECT_GT(done, 0u);
    EXPECT_LT(done, data.size());
}

TEST_P(Timeouts, AreKeptAndAMeaninglessRecordIsRefused) {
    SetTimeouts(MAXDWORD, 2, 3, 4, 5);
    const COMMTIMEOUTS bad{MAXDWORD, MAXDWORD, MAXDWORD, 0, 0};
    EXPECT_FAILS_WITH(SetCommTimeouts(port, bad), ERROR_INVALID_PARAMETER);
    COMMTIMEOUTS back{};
    ASSERT_TRUE(GetCommTimeouts(port, back));
    const COMMTIMEOUTS set{MAXDWORD, 2, 3, 4, 5};
    EXPECT_EQ(std::memcmp(&back, &set, sizeof set), 0);
}

// ---- the line-event wait ----

using Events = DeviceContract;

TEST_P(Events, ReceivedInputEndsTheWaitOnceUnmaskedInputDoesNot) {
    StartPendingWait(EV_RXCHAR | EV_TXEMPTY);
    other->Feed("q");
    ASSERT_TRUE(ev.Done(5000));
    EXPECT_EQ(ev.events, EV_RXCHAR);
    DWORD done = 1;
    EXPECT_TRUE(GetOverlappedResult(port, &ev.ov, &done, FALSE));
    // Reported, not read: the next wait is for new input, or a handler that leaves it
    // queued would be woken again at once, for ever.
    EXPECT_FAILS_WITH(WaitCommEvent(port, &ev.events, &ev.ov), ERROR_IO_PENDING);
    other->Feed("x");
    ASSERT_TRUE(ev.Done(5000));
    EXPECT_EQ(ev.events, EV_RXCHAR);
    StartPendingWait(EV_BREAK | EV_ERR);
    other->Feed("noise");
    EXPECT_FALSE(ev.Done(100));
}

TEST_P(Events, MaskChangeEndsThePendingWaitEmpty) {
    ev.events = 0xdead; // before the wait starts: from then on the wait owns it
    StartPendingWait(EV_RXCHAR);
    ASSERT_TRUE(SetCommMask(port, 0));
    ASSERT_TRUE(ev.Done());
    EXPECT_EQ(ev.events, 0u);
    DWORD done = 0, mask = 1;
    EXPECT_TRUE(GetOverlappedResult(port, &ev.ov, &done, FALSE));
    ASSERT_TRUE(GetCommMask(port, mask));
    EXPECT_EQ(mask, 0u);
    EXPECT_FAILS_WITH(WaitCommEvent(port, &ev.events, &ev.ov), ERROR_INVALID_PARAMETER);
    EXPECT_FAILS_WITH(SetCommMask(port, 0x2000), ERROR_INVALID_PARAMETER);
}

TEST_P(Events, OneWaitAtATime) {
    StartPendingWait(EV_RXCHAR);
    Async second;
    EXPECT_FAILS_WITH(WaitCommEvent(port, &second.events, &second.ov), ERROR_INVALID_PARAMETER);
    EXPECT_FAILS_WITH(WaitCommEvent(port, nullptr, &second.ov), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(ev.Done());
}

TEST_P(Events, RxCharAlsoWhenAPendingReadTookTheBytes) {
    StartPendingRead(3);
    StartPendingWait(EV_RXCHAR);
    other->Feed("abc");
    ASSERT_TRUE(ev.Done(5000));
    EXPECT_EQ(ev.events, EV_RXCHAR);
    EXPECT_EQ(Finish(rd), "abc");
}

TEST_P(Events, TxEmptyWhenTheOutputIsOut) {
    StartPendingWait(EV_TXEMPTY); // nothing was sent: no event yet
    EXPECT_FALSE(ev.Done());
    DWORD done = 0;
    ASSERT_TRUE(WriteFile(port, "ping", 4, &done, &wr.ov));
    ASSERT_TRUE(ev.Done(5000));
    EXPECT_EQ(ev.events, EV_TXEMPTY);
    EXPECT_EQ(other->Take(4), "ping");
}

TEST_P(Events, WaitWithoutRecordBlocksUntilTheEvent) {
    ASSERT_TRUE(SetCommMask(port, EV_RXCHAR));
    DWORD events = 0;
    auto waited =
        std::async(std::launch::async, [&] { return WaitCommEvent(port, &events, nullptr); });
    other->Feed("x");
    EXPECT_TRUE(waited.get());
    EXPECT_EQ(events, EV_RXCHAR);
}

// ---- modem lines, line errors and the transmitter, as the far end drives them ----

class Lines : public DeviceFixture, public testing::TestWithParam<Backend> {
  protected:
    Lines() : DeviceFixture(GetParam().make()) {}
    static constexpr DWORD LineEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING;
    DWORD Modem() {
        DWORD status = 0;
        EXPECT_TRUE(GetCommModemStatus(port, &status)) << GetLastError();
        return status & (MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON);
    }
    /// Whether the pending wait ends, woken by the device: a device that only looks again
    /// when the caller's time is up would end it then, too late.
    bool EndsPromptly() {
        const auto start = Clock::now();
        return ev.Done(5000) && Clock::now() - start < milliseconds(4000);
    }
    /// The events of the pending wait, once it has ended.
    DWORD Ended() {
        EXPECT_TRUE(EndsPromptly()) << "the wait did not end";
        return ev.events;
    }
};

struct LineRow {
    const char* name;
    DWORD lines;
    DWORD events;
};
constexpr LineRow kLineRows[] = {{"CTS", MS_CTS_ON, EV_CTS},
                                 {"DSR and carrier", MS_DSR_ON | MS_RLSD_ON, EV_DSR | EV_RLSD}};

TEST_P(Lines, EachChangeEndsThePendingWaitAndShowsInTheStatus) {
    for (const LineRow& row : kLineRows) {
        SCOPED_TRACE(row.name);
        for (int edge = 0; edge < 2; ++edge) {
            const DWORD before = Modem();
            StartPendingWait(LineEvents);
            const unsigned looks = other->Looks();
            auto ended = std::async(std::launch::async, [&] { return EndsPromptly(); });
            other->AwaitLookAfter(looks); // the waiter drives the device, asleep or about to
            // A change before the watch is back in the driver would wait for the next one:
            // TIOCMIWAIT measures from its own start.
            other->AwaitWatched();
            if (!other->Drive(before ^ row.lines)) {
                ended.get();
                GTEST_SKIP() << "no hand on the lines";
            }
            EXPECT_TRUE(ended.get()) << "nothing woke the device";
            EXPECT_EQ(ev.events, row.events);
            EXPECT_EQ(Modem(), before ^ row.lines);
        }
    }
}

TEST_P(Lines, AChangeThatCameAndWentIsStillReportedAndAPendingReadStaysPending) {
    StartPendingRead(1);
    ASSERT_TRUE(SetCommMask(port, LineEvents));
    const DWORD before = Modem();
    if (!other->Glitch(MS_CTS_ON)) {
        GTEST_SKIP() << "no hand on the lines";
    }
    // Reported to the next wait whether it came before the wait started or during it.
    if (!WaitCommEvent(port, &ev.events, &ev.ov)) {
        ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
    }
    EXPECT_EQ(Ended(), EV_CTS);
    EXPECT_EQ(Modem(), before);
    EXPECT_FALSE(rd.Done());
}

TEST_P(Lines, ARingIsReportedWhenItEndsAndOnlyWhenAsked) {
    StartPendingWait(EV_CTS);
    if (!other->Ring()) {
        GTEST_SKIP() << "no hand on the ring indicator";
    }
    StartPendingWait(EV_RING); // the mask change ends the first wait, which saw nothing
    EXPECT_EQ(ev.events, 0u);
    if (!other->Ring()) FAIL();
    EXPECT_EQ(Ended(), EV_RING);
    DWORD status = 0;
    ASSERT_TRUE(GetCommModemStatus(port, &status));
    EXPECT_EQ(status & MS_RING_ON, 0u);
}

struct ErrorRow {
    const char* name;
    DWORD error;
    DWORD event; ///< 0: a full input buffer is no line-status event
};
constexpr ErrorRow kErrorRows[] = {{"framing", CE_FRAME, EV_ERR},
                                   {"parity", CE_RXPARITY, EV_ERR},
                                   {"overrun", CE_OVERRUN, EV_ERR},
                                   {"break", CE_BREAK, EV_BREAK},
                                   {"input buffer full", CE_RXOVER, 0}};

TEST_P(Lines, LineErrorsRaiseTheirEventAndShowOnceInClearCommError) {
    for (const ErrorRow& row : kErrorRows) {
        SCOPED_TRACE(row.name);
        Status(); // nothing left from the row before
        StartPendingWait(EV_ERR | EV_BREAK);
        if (!other->LineError(row.error)) continue; // this far end cannot make it
        if (row.event) {
            EXPECT_EQ(Ended(), row.event);
        }
        DWORD errors = 0;
        Status(&errors);
        EXPECT_EQ(errors & row.error, row.error);
        Status(&errors);
        EXPECT_EQ(errors, 0u) << "reported once";
        PurgeComm(port, PURGE_RXCLEAR);
    }
}

TEST_P(Lines, TxEmptyWaitsForTheTransmitterNotOnlyTheQueue) {
    if (!other->HoldTransmitter(true)) {
        GTEST_SKIP() << "no hand on the transmitter";
    }
    StartPendingWait(EV_TXEMPTY);
    DWORD done = 0;
    ASSERT_TRUE(WriteFile(port, "ping", 4, &done, &wr.ov));
    EXPECT_EQ(other->Take(4), "ping"); // the queue is empty, the last byte still shifts out
    EXPECT_FALSE(ev.Done(100));
    other->HoldTransmitter(false);
    EXPECT_EQ(Ended(), EV_TXEMPTY);
}

TEST_P(Lines, LossEndsAPendingLineWait) {
    StartPendingWait(LineEvents);
    if (!other->Unplug()) {
        GTEST_SKIP() << "this device cannot be pulled out";
    }
    ASSERT_TRUE(ev.Done(5000));
    EXPECT_EQ(ev.ov.Internal, ERROR_ACCESS_DENIED);
}

TEST_P(Lines, MaskChangeAndCloseEndAPendingLineWait) {
    StartPendingWait(LineEvents);
    ASSERT_TRUE(SetCommMask(port, LineEvents | EV_RXCHAR));
    EXPECT_EQ(Ended(), 0u);
    StartPendingWait(LineEvents);
    ASSERT_TRUE(PurgeComm(port, PURGE_RXABORT | PURGE_TXABORT | PURGE_RXCLEAR));
    EXPECT_FALSE(ev.Done()) << "a purge ends transfers, not the wait";
    port.Close();
    EXPECT_TRUE(ev.Done());
    EXPECT_EQ(ev.ov.Internal, ERROR_OPERATION_ABORTED);
}

// ---- settings and line control ----

using Settings = DeviceContract;

bool Same(const DCB& a, const DCB& b) {
    return std::memcmp(&a, &b, sizeof(DCB)) == 0;
}

TEST_P(Settings, FreshPortIsEightNoneOneWithDtrOn) {
    const DCB dcb = State();
    EXPECT_EQ(dcb.DCBlength, sizeof(DCB));
    EXPECT_TRUE(dcb.fBinary);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
    EXPECT_EQ(dcb.fDtrControl, DTR_CONTROL_ENABLE);
    EXPECT_FALSE(dcb.fOutxCtsFlow || dcb.fOutX || dcb.fInX);
    EXPECT_EQ(dcb.XonChar, 0x11);
    EXPECT_EQ(dcb.XoffChar, 0x13);
}

TEST_P(Settings, WhatIsSetComesBackRatesIncluded) {
    for (DWORD rate : {9600u, 115200u, 31250u, 250000u, 10400u, 921600u}) {
        DCB dcb = State();
        dcb.BaudRate = rate;
        ASSERT_TRUE(SetCommState(port, dcb)) << rate << ": " << GetLastError();
        EXPECT_EQ(State().BaudRate, rate);
    }
    DCB dcb = State();
    dcb.BaudRate = 250000;
    dcb.ByteSize = 7;
    dcb.Parity = MARKPARITY;
    dcb.StopBits = TWOSTOPBITS;
    dcb.fParity = dcb.fOutxCtsFlow = dcb.fOutX = dcb.fInX = dcb.fNull = dcb.fOutxDsrFlow = 1;
    dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    dcb.XonChar = 'Q';
    dcb.XoffChar = 'S';
    dcb.ErrorChar = '?';
    dcb.EofChar = 0x1A;
    dcb.EvtChar = '\r';
    dcb.XonLim = 1000;
    dcb.XoffLim = 100;
    ASSERT_TRUE(SetCommState(port, dcb)) << GetLastError();
    EXPECT_TRUE(Same(State(), dcb));
}

TEST_P(Settings, RefusedSettingsLeaveTheDeviceAsItWas) {
    DCB before = State();
    before.BaudRate = 57600;
    ASSERT_TRUE(SetCommState(port, before));
    for (auto spoil : {+[](DCB& d) { d.BaudRate = 0; }, +[](DCB& d) { d.ByteSize = 4; },
                       +[](DCB& d) { d.ByteSize = 9; }, +[](DCB& d) { d.Parity = 5; },
                       +[](DCB& d) { d.StopBits = 3; }, +[](DCB& d) { d.StopBits = ONE5STOPBITS; },
                       +[](DCB& d) { d.ByteSize = 5, d.StopBits = TWOSTOPBITS; },
                       +[](DCB& d) { d.fDtrControl = 3; },
                       +[](DCB& d) { d.fInX = 1, d.XonChar = d.XoffChar; }}) {
        DCB bad = before;
        bad.BaudRate = 1200; // would change too, if the rest were accepted
        spoil(bad);
        EXPECT_FAILS_WITH(SetCommState(port, bad), ERROR_INVALID_PARAMETER);
        EXPECT_TRUE(Same(State(), before));
    }
}

TEST_P(Settings, QueueSizesAndPropertiesReport) {
    ASSERT_TRUE(SetupComm(port, 4096, 2048));
    COMMPROP prop{};
    ASSERT_TRUE(GetCommProperties(port, prop));
    EXPECT_EQ(prop.dwCurrentRxQueue, 4096u);
    EXPECT_EQ(prop.dwCurrentTxQueue, 2048u);
    EXPECT_EQ(prop.wPacketLength, sizeof(COMMPROP));
    EXPECT_EQ(prop.dwMaxBaud, BAUD_USER);
    EXPECT_EQ(prop.dwSettableBaud & (BAUD_USER | BAUD_9600), BAUD_USER | BAUD_9600);
    EXPECT_EQ(prop.wSettableData & 0xF, DATABITS_5 | DATABITS_6 | DATABITS_7 | DATABITS_8);
    EXPECT_EQ(prop.wSettableStopParity & 0x1F00,
              PARITY_NONE | PARITY_ODD | PARITY_EVEN | PARITY_MARK | PARITY_SPACE);
    EXPECT_EQ(prop.dwProvCapabilities & (PCF_TOTALTIMEOUTS | PCF_XONXOFF),
              PCF_TOTALTIMEOUTS | PCF_XONXOFF);
}

TEST_P(Settings, BreakAndEscapes) {
    EXPECT_TRUE(SetCommBreak(port));
    EXPECT_TRUE(ClearCommBreak(port));
    EXPECT_FALSE(EscapeCommFunction(port, RESETDEV)); // neither device can reset
    EXPECT_FAILS_WITH(EscapeCommFunction(port, 42), ERROR_INVALID_PARAMETER);
}

// ---- open and close ----

using Lifetime = DeviceContract;

TEST_P(Lifetime, OneOpenAtATimeAndTheCloseFreesTheDevice) {
    ASSERT_TRUE(port.Valid());
    EXPECT_EQ(OpenPort(other->DeviceName()), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_BUSY));
    port.Close();
    Handle again(OpenPort(u"\\\\.\\" + other->DeviceName()));
    EXPECT_TRUE(again.Valid()) << GetLastError();
}

TEST_P(Lifetime, CloseEndsEveryPendingRequestAborted) {
    if (GetParam().remote) GTEST_SKIP() << "the network's buffers take the whole write";
    StartPendingRead(8);
    const std::string data = Pattern(1 << 20);
    EXPECT_FAILS_WITH(WriteFile(port, data.data(), DWORD(data.size()), nullptr, &wr.ov),
                      ERROR_IO_PENDING);
    StartPendingWait(EV_RXCHAR);
    const HANDLE closed = port;
    ASSERT_TRUE(CloseHandle(closed));
    for (Async* a : {&rd, &wr, &ev}) {
        EXPECT_TRUE(a->Done());
        EXPECT_EQ(a->ov.Internal, ERROR_OPERATION_ABORTED);
    }
    DWORD done = 0;
    EXPECT_FAILS_WITH(GetOverlappedResult(closed, &rd.ov, &done, TRUE), ERROR_INVALID_HANDLE);
    Handle again(OpenPort(other->DeviceName()));
    EXPECT_TRUE(again.Valid()) << GetLastError();
}

INSTANTIATE_ON_BOTH_DEVICES(Transfer);
INSTANTIATE_ON_BOTH_DEVICES(Timeouts);
INSTANTIATE_ON_BOTH_DEVICES(Events);
INSTANTIATE_ON_BOTH_DEVICES(Settings);
INSTANTIATE_ON_BOTH_DEVICES(Lifetime);
INSTANTIATE_ON_LINE_DEVICES(Lines);

} // namespace
} // namespace quillon_test
