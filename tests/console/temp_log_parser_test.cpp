// The temperature log's lines: reading them whole, cutting them, converting their numbers.
#include "app/TempLogParser.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

using namespace quillon::console;

namespace {

std::vector<std::string> ReadAll(const std::string& content) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::tmpfile(), &std::fclose);
    std::fwrite(content.data(), 1, content.size(), f.get());
    std::rewind(f.get());
    char buffer[LogLineBufferSize];
    std::vector<std::string> lines;
    std::string line;
    while (ReadLogLine(f.get(), buffer, line))
        lines.push_back(line);
    return lines;
}

rtl::TFormatSettings WithSeparator(char c) {
    rtl::TFormatSettings fs;
    fs.DecimalSeparator = c;
    return fs;
}

} // namespace

TEST(TempLogReading, LastLineWithOrWithoutLineFeed) {
    EXPECT_EQ(ReadAll("1,20;\n2,21;\n"), (std::vector<std::string>{"1,20;\n", "2,21;\n"}));
    EXPECT_EQ(ReadAll("1,20;\n2,21;"), (std::vector<std::string>{"1,20;\n", "2,21;"}));
    EXPECT_TRUE(ReadAll("").empty());
}

TEST(TempLogReading, LongLineIsOneLine) {
    const std::string longLine = "7," + std::string(1000, ' ') + "21.5;\n";
    const auto lines = ReadAll(longLine + "8,22;\n");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], longLine);
}

TEST(TempLogReading, LineFillingTheBufferKeepsItsLineFeed) {
    const std::string line = std::string(LogLineBufferSize - 2, 'x') + "\n";
    EXPECT_EQ(ReadAll(line + "z\n"), (std::vector<std::string>{line, "z\n"}));
}

TEST(TempLogReading, ZeroByteKeepsTheLineWhole) {
    const std::string line("1,2\0x;\n", 7);
    EXPECT_EQ(ReadAll(line + "3,4;\n"), (std::vector<std::string>{line, "3,4;\n"}));
}

TEST(TempLogSplitting, IdentifierAndTemperature) {
    const TLogLineFields f = SplitLogLine("12,23,5;\n");
    EXPECT_EQ(f.Identifier, "12");
    EXPECT_EQ(f.Temperature, "23,5");
    EXPECT_EQ(f.PosComma, 2);
    EXPECT_EQ(f.PosSemicolon, 7);
    EXPECT_FALSE(f.FormatError);
}

TEST(TempLogSplitting, NoSemicolonIsAFormatError) {
    const TLogLineFields f = SplitLogLine("12,23\n");
    EXPECT_TRUE(f.FormatError);
    EXPECT_EQ(f.PosSemicolon, 6);
    EXPECT_EQ(f.Temperature, "23\n");
}

TEST(TempLogSplitting, EmptyLine) {
    const TLogLineFields f = SplitLogLine("\n");
    EXPECT_TRUE(f.FormatError);
    EXPECT_EQ(f.Identifier, "\n");
    EXPECT_EQ(f.Temperature, "");
}

TEST(TempLogSplitting, SemicolonWithoutCommaLeavesTheWholeLineAsIdentifier) {
    const TLogLineFields f = SplitLogLine("12;\n");
    EXPECT_FALSE(f.FormatError);
    EXPECT_EQ(f.Identifier, "12;\n");
    EXPECT_EQ(f.Temperature, "");
}

TEST(TempLogConverting, EachLocaleReadsItsOwnNotation) {
    const TLogSample fr = ConvertLogFields(SplitLogLine("12,23,5;\n"), WithSeparator(','));
    ASSERT_TRUE(fr.Complete());
    EXPECT_EQ(*fr.Id, 12.0);
    EXPECT_EQ(*fr.Temperature, 23.5);
    const TLogSample dot = ConvertLogFields(SplitLogLine("12,23.5;\n"), WithSeparator('.'));
    ASSERT_TRUE(dot.Complete());
    EXPECT_EQ(*dot.Temperature, 23.5);
}

TEST(TempLogConverting, ForeignSeparatorIsNotANumber) {
    // A parser that stopped at the foreign separator would read 23 here.
    const TLogSample s = ConvertLogFields(SplitLogLine("12,23.5;\n"), WithSeparator(','));
    EXPECT_TRUE(s.Id.has_value());
    EXPECT_FALSE(s.Temperature.has_value());
}

TEST(TempLogConverting, EachBadFieldIsReported) {
    const TLogSample s = ConvertLogFields(SplitLogLine("a,b;\n"), WithSeparator('.'));
    EXPECT_FALSE(s.Id.has_value());
    EXPECT_FALSE(s.Temperature.has_value());
    EXPECT_FALSE(s.Complete());
}

TEST(TempLogExtension, LastDotOfTheLastElementInLowerCase) {
    EXPECT_EQ(LowerExtension(u"/home/op/LOG.TXT"), u".txt");
    EXPECT_EQ(LowerExtension(u"/home/op/log.backup.csv"), u".csv");
    EXPECT_EQ(LowerExtension(u"/home/op.d/log"), u"");
    EXPECT_EQ(LowerExtension(u"log."), u".");
}
