// The port log, byte for byte, with a fixed clock and explicit regional formats.
#include "LogFixture.h"
#include "PtyPort.h"
#include "Raises.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace quillon::test {
namespace {

using OpenClose = rtl::Handler<void(TCustomComPort*)>;

std::string Line(const std::string& text) {
    return kStamp + text + "\n";
}

class PortLogTest : public LogFixture {
  protected:
    void SetUp() override {
        LogFixture::SetUp();
        logPath = PathOf("port.log");
        port.SetDeviceName(peer->DeviceName());
        port.SetLogFile(rtl::Utf8ToString(logPath));
    }
    std::string Log() const { return ReadFile(logPath); }
    std::string Name() const { return rtl::StringToUtf8(peer->DeviceName()); }

    std::string logPath;
    std::unique_ptr<TPeer> peer = MakePeer(TDeviceKind::Virtual);
    TComPort port{nullptr};
};

TEST_F(PortLogTest, NoLogFileMeansNoFileIsTouched) {
    port.SetLogFile(u"");
    EXPECT_FALSE(port.LogEnabled());
    port.Open();
    port.WriteAnsiString("AT");
    port.Log(u"by hand");
    port.Close();
    EXPECT_TRUE(std::filesystem::is_empty(PathOf("")));
}

TEST_F(PortLogTest, OpenAndCloseOnAPty) {
    TPty pty;
    port.SetDeviceName(pty.DeviceName());
    port.Open();
    port.Close();
    EXPECT_EQ(Log(), Line("Open " + pty.SlavePath()) + Line("Close " + pty.SlavePath()));
}

TEST_F(PortLogTest, LinesAreAppendedToWhatTheFileHolds) {
    std::ofstream(logPath) << "from an earlier run\n";
    port.Open();
    EXPECT_EQ(Log(), "from an earlier run\n" + Line("Open " + Name()));
}

TEST_F(PortLogTest, RequestAndCompletionLinesCarryTheBytes) {
    port.Open();
    const uint8_t at[] = {'A', 'T', 13};
    port.Write(at, 3, true);
    const uint8_t one = 'A';
    port.Write(&one, 1, true);
    peer->Send({1, 2, 0xAB, 0xCD, 0xFF});
    uint8_t got[5];
    port.Read(got, 5, true);
    EXPECT_EQ(Log(), Line("Open " + Name()) + Line("Write request $41, $54, $0D") +
                         Line("Write complete $41, $54, $0D") + Line("Write request $41") +
                         Line("Write complete $41") + Line("Read request 5 byte(s)") +
                         Line("Read complete $01, $02, $AB, $CD, $FF"));
}

TEST_F(PortLogTest, TransfersOfNoBytesWriteNoLine) {
    port.Open();
    port.Write("x", 0, true);
    port.Read(nullptr, 0, false);
    port.WaitForReadCompletion();
    port.WaitForWriteCompletion();
    EXPECT_EQ(Log(), Line("Open " + Name()));
}

TEST_F(PortLogTest, ByteGroupsNeedDataAndAPositiveCount) {
    const uint8_t data[] = {7};
    port.Log(u"none ", nullptr, 3);
    port.Log(u"zero ", data, 0);
    port.Log(u"negative ", data, -1);
    EXPECT_EQ(Log(), Line("none ") + Line("zero ") + Line("negative "));
}

TEST_F(PortLogTest, TextAndFileNameAreWrittenAsUtf8) {
    const std::string name = PathOf("journal-\xC3\xA9t\xC3\xA9.log");
    port.SetLogFile(rtl::Utf8ToString(name));
    port.Log(u"port ouvert \u00E0 9600");
    EXPECT_EQ(ReadFile(name), Line("port ouvert \xC3\xA0 9600"));
}

TEST_F(PortLogTest, AFileRemovedBetweenLinesIsCreatedAgain) {
    port.Log(u"first");
    std::filesystem::remove(logPath);
    port.Log(u"second");
    EXPECT_EQ(Log(), Line("second"));
}

TEST_F(PortLogTest, AMissingDirectoryFailsOpenAfterTheDeviceOpened) {
    int before = 0, after = 0;
    OpenClose beforeOpen([&](TCustomComPort*) { ++before; });
    OpenClose afterOpen([&](TCustomComPort*) { ++after; });
    port.SetBeforeOpen(beforeOpen);
    port.SetAfterOpen(afterOpen);
    port.SetLogFile(rtl::Utf8ToString(PathOf("missing/port.log")));
    EXPECT_TRUE(
        Raises<rtl::EInOutError>([&] { port.Open(); }, ENOENT, rtl::SysErrorMessage(ENOENT)));
    EXPECT_TRUE(port.Active()) << "the device stays open";
    EXPECT_EQ(before, 1);
    EXPECT_EQ(after, 0);
}

TEST_F(PortLogTest, AFailedCloseLineLeavesThePortClosedWithoutAfterClose) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    int after = 0;
    OpenClose afterClose([&](TCustomComPort*) { ++after; });
    port.SetAfterClose(afterClose);
    port.SetLogFile(u"");
    port.Open();
    port.SetLogFile(u"/dev/full");
    EXPECT_TRUE(Raises<rtl::EInOutError>([&] { port.Close(); }, ENOSPC));
    EXPECT_FALSE(port.Active());
    EXPECT_EQ(after, 0);
}

TEST_F(PortLogTest, ALogFileThatIsADirectoryIsAnInputOutputError) {
    port.SetLogFile(rtl::Utf8ToString(PathOf("")));
    EXPECT_TRUE(Raises<rtl::EInOutError>([&] { port.Log(u"line"); }, EISDIR));
}

TEST_F(PortLogTest, AFailedRequestLineStartsNoTransferAndLosesNothing) {
    port.Open();
    port.SetLogFile(rtl::Utf8ToString(PathOf("missing/port.log")));
    const uint8_t data[] = {'h', 'i'};
    EXPECT_THROW(port.Write(data, 2, true), rtl::EInOutError);
    EXPECT_FALSE(port.WritePending());
    port.SetLogFile(rtl::Utf8ToString(logPath));
    port.Write(data, 2, true); // the direction is idle again, nothing half-started
    EXPECT_EQ(peer->Receive(2), (Bytes{'h', 'i'}));
}

TEST_F(PortLogTest, ARequestOutstandingAtCloseIsForgotten) {
    port.Open();
    std::vector<uint8_t> buffer(4);
    port.Read(buffer.data(), 4, false);
    port.Close();
    buffer.clear();
    buffer.shrink_to_fit();
    port.Open();
    port.WaitForReadCompletion();
    EXPECT_EQ(Log(), Line("Open " + Name()) + Line("Read request 4 byte(s)") +
                         Line("Close " + Name()) + Line("Open " + Name()));
}

TEST_F(PortLogTest, ARequestCompletedWhileLoggingWasOffIsNotLoggedLater) {
    port.SetLogFile(u"");
    port.Open();
    peer->Send({1, 2, 3});
    {
        std::vector<uint8_t> buffer(3);
        port.Read(buffer.data(), 3, true);
    }
    port.SetLogFile(rtl::Utf8ToString(logPath));
    port.WaitForReadCompletion();
    EXPECT_EQ(Log(), "<missing>");
}

TEST_F(PortLogTest, ATimedOutReadIsLoggedLaterWithOnlyTheBytesThatCame) {
    port.Timeouts().SetReadConstant(30);
    port.Open();
    peer->Send({'O', 'K', 0, 7});
    std::vector<uint8_t> buffer(10, 0xAA); // what the caller's memory held before
    EXPECT_THROW(port.Read(buffer.data(), 10, true), EComError);
    std::fill(buffer.begin(), buffer.end(), 0xEE); // the caller reuses its memory
    port.WaitForReadCompletion();
    EXPECT_EQ(Log(), Line("Open " + Name()) + Line("Read request 10 byte(s)") +
                         Line("Read complete $4F, $4B, $00, $07"));
}

TEST_F(PortLogTest, AWriteCutShortByItsTimeOutLogsOnlyTheBytesThatWent) {
    qvirt::TPair pair = CreateTestPair();
    const qwin::HANDLE far = OpenEnd(pair.B());
    ASSERT_TRUE(qwin::SetupComm(far, 4, 4)); // four bytes fit there, and nobody reads them
    port.SetDeviceName(pair.A().DeviceName());
    port.Timeouts().SetWriteConstant(30);
    port.BufferSizes().SetOutput(1); // and one in the port's own queue
    port.Open();
    EXPECT_THROW(port.Write("ABCDEF", 6, true), EComError);
    port.WaitForWriteCompletion();
    const std::string name = rtl::StringToUtf8(pair.A().DeviceName());
    EXPECT_EQ(Log(), Line("Open " + name) + Line("Write request $41, $42, $43, $44, $45, $46") +
                         Line("Write complete $41, $42, $43, $44, $45"));
    qwin::CloseHandle(far);
}

} // namespace
} // namespace quillon::test
