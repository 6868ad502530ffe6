#pragma once
// A fresh virtual pair per test, opened through the public API, with helpers for the
// overlapped calls the tests repeat.
#include "platform/WinApi.h"
#include "platform/virtual/VirtualSerial.h"

#include <gtest/gtest.h>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace qvirt {

// Readable failure messages for the control object's records.
inline void PrintTo(const TQueueSizes& q, std::ostream* os) {
    *os << "{Input " << q.Input << ", Output " << q.Output << "}";
}
inline void PrintTo(const TLineState& l, std::ostream* os) {
    *os << "{Dtr " << l.Dtr << ", Rts " << l.Rts << ", Break " << l.Break << "}";
}
inline void PrintTo(const TDriverCalls& c, std::ostream* os) {
    *os << "{Opens " << c.Opens << ", Closes " << c.Closes << ", SetupComm " << c.SetupComm
        << ", GetCommState " << c.GetCommState << ", SetCommState " << c.SetCommState
        << ", GetCommTimeouts " << c.GetCommTimeouts << ", SetCommTimeouts " << c.SetCommTimeouts
        << ", SetCommMask " << c.SetCommMask << ", GetCommMask " << c.GetCommMask
        << ", WaitCommEvent " << c.WaitCommEvent << ", ReadFile " << c.ReadFile << ", WriteFile "
        << c.WriteFile << ", GetOverlappedResult " << c.GetOverlappedResult << ", PurgeComm "
        << c.PurgeComm << ", FlushFileBuffers " << c.FlushFileBuffers << ", ClearCommError "
        << c.ClearCommError << ", EscapeCommFunction " << c.EscapeCommFunction
        << ", TransmitCommChar " << c.TransmitCommChar << ", GetCommModemStatus "
        << c.GetCommModemStatus << ", GetCommProperties " << c.GetCommProperties << "}";
}

namespace test {

using namespace qwin;

/// An overlapped record with its own manual-reset event, and the memory a pending request
/// writes into: the event word of a wait, the buffer of a read.
struct TAsync {
    OVERLAPPED Ov{};
    DWORD Events = 0;
    char Buf[64] = {};
    TAsync() { Ov.hEvent = CreateEvent(nullptr, TRUE, FALSE, nullptr); }
    ~TAsync() { CloseHandle(Ov.hEvent); }
    TAsync(const TAsync&) = delete;
    TAsync& operator=(const TAsync&) = delete;
    /// Whether the request has ended (waits up to ms).
    bool Done(DWORD ms = 0) { return WaitForSingleObject(Ov.hEvent, ms) == WAIT_OBJECT_0; }
};

class VirtualPairTest : public ::testing::Test {
  protected:
    TPair Pair = CreatePair("A", "B");

    ~VirtualPairTest() override {
        for (const HANDLE h : FOpened)
            CloseHandle(h);
    }

    /// A request record that outlives the handles: closing them ends what is still pending,
    /// which writes into the record.
    TAsync& NewAsync() { return *FAsyncs.emplace_back(std::make_unique<TAsync>()); }

    /// Opens an end (the test fails when it cannot).
    HANDLE Open(const TEnd& end) {
        const HANDLE h = CreateFile(end.DeviceName(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OVERLAPPED, 0);
        EXPECT_NE(h, INVALID_HANDLE_VALUE) << "error " << GetLastError();
        if (h != INVALID_HANDLE_VALUE) FOpened.push_back(h);
        return h;
    }

    /// Writes bytes that the line can take at once.
    static void Send(HANDLE h, const std::string& bytes) {
        DWORD done = 0;
        ASSERT_TRUE(WriteFile(h, bytes.data(), DWORD(bytes.size()), &done, nullptr))
            << GetLastError();
        ASSERT_EQ(done, bytes.size());
    }

    static COMSTAT Status(HANDLE h, DWORD* errors = nullptr) {
        COMSTAT stat{};
        DWORD ignored = 0;
        EXPECT_TRUE(ClearCommError(h, errors ? errors : &ignored, &stat)) << GetLastError();
        return stat;
    }

    /// Reads everything queued at the end.
    static std::string Drain(HANDLE h) {
        std::string bytes(Status(h).cbInQue, '\0');
        DWORD done = 0;
        EXPECT_TRUE(ReadFile(h, bytes.data(), DWORD(bytes.size()), &done, nullptr));
        bytes.resize(done);
        return bytes;
    }

    /// Drains until expected bytes came or nothing more is queued. Every read makes room
    /// that a stalled peer fills at once, so nothing here waits.
    static std::string DrainUpTo(HANDLE h, std::size_t expected) {
        std::string all;
        while (all.size() < expected) {
            const std::string more = Drain(h);
            if (more.empty()) break;
            all += more;
        }
        return all;
    }

    static DWORD ModemStatus(HANDLE h) {
        DWORD status = 0;
        EXPECT_TRUE(GetCommModemStatus(h, &status)) << GetLastError();
        return status;
    }

    static void SetState(HANDLE h, void (*change)(DCB&)) {
        DCB dcb{};
        ASSERT_TRUE(GetCommState(h, dcb));
        change(dcb);
        ASSERT_TRUE(SetCommState(h, dcb)) << GetLastError();
    }

    static void SetTimeouts(HANDLE h, DWORD interval, DWORD multiplier, DWORD constant,
                            DWORD writeMultiplier = 0, DWORD writeConstant = 0) {
        const COMMTIMEOUTS t{interval, multiplier, constant, writeMultiplier, writeConstant};
        ASSERT_TRUE(SetCommTimeouts(h, t)) << GetLastError();
    }

    /// Forgets a handle the test closed itself.
    void Forget(HANDLE h) { std::erase(FOpened, h); }

  private:
    std::vector<std::unique_ptr<TAsync>> FAsyncs;
    std::vector<HANDLE> FOpened;
};

/// Expects a failed call and its last error.
#define EXPECT_FAILS_WITH(call, code)                                                              \
    do {                                                                                           \
        EXPECT_FALSE(call);                                                                        \
        EXPECT_EQ(::qwin::GetLastError(), DWORD(code));                                            \
    } while (0)

} // namespace test
} // namespace qvirt
