// Text and typed reads and writes, on a pty and on an in-memory pair.
#include "Peer.h"
#include "Raises.h"

#include <gtest/gtest.h>

namespace quillon::test {
namespace {

using namespace qwin;
using ReadWrite = rtl::Handler<void(TObject*, const void*, int32_t, bool)>;

class TextIoTest : public ::testing::TestWithParam<TDeviceKind> {
  protected:
    void SetUp() override {
        port.SetDeviceName(peer->DeviceName());
        port.Open();
    }
    // Sends bytes and waits until the port's device holds them.
    void Arrive(const Bytes& bytes) {
        peer->Send(bytes);
        peer->AwaitDelivery();
    }
    // The lengths of the write requests the port makes from now on.
    std::vector<int32_t>& WriteLengths() {
        port.SetBeforeWrite(recordWrite);
        return writes;
    }

    std::unique_ptr<TPeer> peer = MakePeer(GetParam());
    TComPort port{nullptr};
    std::vector<int32_t> writes;
    ReadWrite recordWrite{[this](TObject*, const void*, int32_t n, bool wait) {
        EXPECT_FALSE(wait) << "every text write returns without waiting";
        writes.push_back(n);
    }};
};

TEST_P(TextIoTest, ReadAnsiStringWithNothingWaitingStillCallsBothEvents) {
    std::vector<std::pair<const void*, int32_t>> seen;
    ReadWrite record([&](TObject*, const void* buf, int32_t n, bool wait) {
        EXPECT_TRUE(wait);
        seen.emplace_back(buf, n);
    });
    port.SetBeforeRead(record);
    port.SetAfterRead(record);
    EXPECT_EQ(port.ReadAnsiString(), "");
    EXPECT_EQ(seen, (std::vector<std::pair<const void*, int32_t>>{{nullptr, 0}, {nullptr, 0}}));
}

TEST_P(TextIoTest, ReadStringTakesWholeUnitsAndLeavesAnOddByte) {
    Arrive({'a', 0, 'b', 0, 'c'});
    EXPECT_EQ(port.ReadString(), u"ab");
    EXPECT_EQ(port.InputCount(), 1u);
    EXPECT_EQ(port.ReadByte(), 'c');
}

TEST_P(TextIoTest, ReadBytesAndTheEncodedReadsTakeWhatIsWaiting) {
    Arrive({1, 2, 3});
    EXPECT_EQ(port.ReadBytes(), (TBytes{1, 2, 3}));
    Arrive({0xC3, 0xA9, 0xE2, 0x82, 0xAC});
    EXPECT_EQ(port.ReadUtf8(), u"\u00E9\u20AC");
    Arrive({'o', 0, 'k', 0});
    EXPECT_EQ(port.Read(TEncoding::Unicode()), u"ok");
}

TEST_P(TextIoTest, ReadLineStopsAtByte13WithAnEncodingAndAtTheWholeUnit13Without) {
    Arrive({'A', 'B', 13, 'C'});
    EXPECT_EQ(port.ReadLine(TEncoding::UTF8()), u"AB\r");
    EXPECT_EQ(port.ReadAnsiChar(), 'C');
    peer->Send({'A', 0, 13, 'B', 13, 0, 'Z', 0});
    EXPECT_EQ(port.ReadLine(), u"A\u420D\r");
    EXPECT_EQ(port.ReadChar(), u'Z');
}

TEST_P(TextIoTest, TerminatorReadsKeepTheTerminator) {
    peer->Send({'x', 'y', ';', 'n', 'o', '\r', 'z', '!', 0xC3, 0xA0, '#', 'q', '\r'});
    EXPECT_EQ(port.ReadUntilBytes(';'), (TBytes{'x', 'y', ';'}));
    EXPECT_EQ(port.ReadAnsiLine(), "no\r");
    EXPECT_EQ(port.ReadAnsiUntil('!'), "z!");
    EXPECT_EQ(port.ReadUntilUtf8('#'), u"\u00E0#");
    EXPECT_EQ(port.ReadLineBytes(), (TBytes{'q', '\r'}));
}

TEST_P(TextIoTest, TypedReadsAreLeastSignificantByteFirst) {
    peer->Send({1, 0, 0, 0, 0x34, 0x12, 0xE9, 0x00, 0x7F});
    EXPECT_EQ(port.ReadDWord(), 1u);
    EXPECT_EQ(port.ReadWord(), 0x1234);
    EXPECT_EQ(port.ReadChar(), u'\u00E9');
    EXPECT_EQ(port.ReadByte(), 0x7F);
}

TEST_P(TextIoTest, TypedWritesAreLeastSignificantByteFirst) {
    port.WriteWord(0x1234);
    port.WriteDWord(0x01020304);
    port.WriteChar(u'\u20AC');
    port.WriteByte(0xFE);
    port.WriteAnsiChar('z');
    EXPECT_EQ(peer->Receive(10), (Bytes{0x34, 0x12, 4, 3, 2, 1, 0xAC, 0x20, 0xFE, 'z'}));
}

TEST_P(TextIoTest, WriteAnsiLineIsTwoRequests) {
    std::vector<int32_t>& lengths = WriteLengths();
    port.WriteAnsiLine("OK");
    EXPECT_EQ(peer->Receive(3), (Bytes{'O', 'K', 13}));
    EXPECT_EQ(lengths, (std::vector<int32_t>{2, 1}));
}

TEST_P(TextIoTest, WriteLineOfAStringEndsWithTheUnit13) {
    std::vector<int32_t>& lengths = WriteLengths();
    port.WriteLine(u"OK");
    EXPECT_EQ(peer->Receive(6), (Bytes{'O', 0, 'K', 0, 13, 0}));
    EXPECT_EQ(lengths, (std::vector<int32_t>{4, 2}));
}

TEST_P(TextIoTest, WriteLineWithAnEncodingEndsWithTheSingleByte13) {
    port.WriteLine(u"OK", TEncoding::Unicode());
    port.WriteLineUtf8(u"\u00E9");
    port.WriteLineBytes({7, 8});
    EXPECT_EQ(peer->Receive(11), (Bytes{'O', 0, 'K', 0, 13, 0xC3, 0xA9, 13, 7, 8, 13}));
}

TEST_P(TextIoTest, StringWritesSendTheirBytesWithoutTerminator) {
    port.WriteString(u"h\u00E9");
    port.WriteUtf8(u"\u00E9");
    port.Write(u"\u00E9", TEncoding::Latin1());
    port.WriteBytes({0, 255});
    EXPECT_EQ(peer->Receive(9), (Bytes{'h', 0, 0xE9, 0, 0xC3, 0xA9, 0xE9, 0, 255}));
}

TEST_P(TextIoTest, AnEmptyWriteSendsNothingButCallsAfterWrite) {
    std::vector<int32_t> after;
    ReadWrite record([&](TObject*, const void*, int32_t n, bool) { after.push_back(n); });
    port.SetAfterWrite(record);
    port.WriteAnsiString("");
    port.WriteAnsiString("x");
    EXPECT_EQ(after, (std::vector<int32_t>{0, 1}));
    EXPECT_EQ(peer->Receive(1), (Bytes{'x'}));
}

TEST_P(TextIoTest, AShortReadThatEndsAtOnceIsATimeoutNotGarbage) {
    port.Timeouts().SetReadInterval(-1); // with no totals: return what is there at once
    Arrive({0x34});
    EXPECT_TRUE(Raises([&] { port.ReadWord(); }, 0, STimeout)) << "a word of one byte";
    Arrive({'a', 'b'});
    EXPECT_THROW(port.ReadLineBytes(), EComError) << "no line end: it must not loop";
    EXPECT_THROW(port.ReadAnsiChar(), EComError);
    Arrive({'c'});
    EXPECT_EQ(port.ReadAnsiChar(), 'c') << "the port is still usable";
}

TEST_P(TextIoTest, OnAClosedPortTheCountFailsFirstOrTheCompletionStep) {
    port.Close();
    EXPECT_TRUE(Raises([&] { port.ReadBytes(); }, ERROR_INVALID_HANDLE));
    EXPECT_TRUE(Raises([&] { port.ReadAnsiString(); }, std::nullopt, SClosedPort));
    EXPECT_THROW(port.WriteAnsiLine("x"), EComError);
}

INSTANTIATE_TEST_SUITE_P(OnBothDevices, TextIoTest, ::testing::ValuesIn(DeviceKinds()), KindName);

} // namespace
} // namespace quillon::test
