// The board's replies as the console reads them: readings up to "f", LED state, value text.
#include "app/ReplyScan.h"

#include <gtest/gtest.h>
#include <string>

using namespace quillon::console;

TEST(ReplyScan, WholeReadingEndsAtF) {
    std::string lecture;
    const TReplyScan scan = ScanReply("w23.50f", lecture);
    EXPECT_TRUE(scan.TemperatureStarted);
    EXPECT_TRUE(scan.ReadingFinished);
    EXPECT_EQ(lecture, "23.50");
    EXPECT_TRUE(IsGoodReading(lecture));
}

TEST(ReplyScan, SplitReadingGathersAcrossChunks) {
    std::string lecture;
    const TReplyScan first = ScanReply("w23.", lecture);
    EXPECT_TRUE(first.TemperatureStarted);
    EXPECT_FALSE(first.ReadingFinished);
    const TReplyScan second = ScanReply("50f", lecture);
    EXPECT_FALSE(second.TemperatureStarted);
    EXPECT_TRUE(second.ReadingFinished);
    EXPECT_EQ(lecture, "23.50");
}

TEST(ReplyScan, BytesAfterFAreNotScanned) {
    std::string lecture;
    EXPECT_TRUE(ScanReply("w22.00fw99", lecture).ReadingFinished);
    EXPECT_EQ(lecture, "22.00");
}

TEST(ReplyScan, OnlyLowerCaseLettersAreMarkers) {
    std::string lecture;
    const TReplyScan scan = ScanReply("W2F", lecture);
    EXPECT_FALSE(scan.TemperatureStarted);
    EXPECT_FALSE(scan.ReadingFinished);
    EXPECT_EQ(lecture, "W2F");
}

TEST(ReplyScan, LineEndsBeforeTheReadingCountTowardsIt) {
    std::string lecture;
    ScanReply("\r\nw23.50f", lecture);
    EXPECT_EQ(lecture, "\r\n23.50");
    EXPECT_FALSE(IsGoodReading(lecture));
}

TEST(ReplyScan, ReadingsWithoutRequestGatherIntoOne) {
    std::string lecture;
    ScanReply("w23.50f", lecture);
    ScanReply("w23.60f", lecture);
    EXPECT_EQ(lecture, "23.5023.60");
    EXPECT_FALSE(IsGoodReading(lecture));
}

TEST(ReplyScan, LengthIsCountedInBytes) {
    std::string lecture;
    ScanReply("w23.5\xB0"
              "f",
              lecture);
    EXPECT_EQ(lecture.size(), 5u);
    EXPECT_TRUE(IsGoodReading(lecture));
    lecture.clear();
    ScanReply("w23.5f", lecture);
    EXPECT_FALSE(IsGoodReading(lecture));
}

TEST(ReplyScan, LedStateIsTheSecondByte) {
    EXPECT_EQ(LedReportOf("x1"), TLedReport::On);
    EXPECT_EQ(LedReportOf("L0 and more"), TLedReport::Off);
    EXPECT_EQ(LedReportOf("1"), TLedReport::None);
    EXPECT_EQ(LedReportOf(""), TLedReport::None);
    EXPECT_EQ(LedReportOf("x2"), TLedReport::None);
}

TEST(ReplyScan, ValueTextStopsAtTheFirstZeroByte) {
    EXPECT_EQ(UpToFirstNul(std::string_view("ab\0cd", 5)), "ab");
    EXPECT_EQ(UpToFirstNul("abc"), "abc");
    EXPECT_EQ(UpToFirstNul(""), "");
}
