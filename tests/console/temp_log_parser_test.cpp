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

TEST(TempLogSplitting, FieldsAndPositionsOfEachLineShape) {
    struct TRow {
        const char* Line;
        const char* Identifier;
        const char* Temperature;
        int32_t PosComma, PosSemicolon;
        bool FormatError;
    };
    const TRow rows[] = {
        {"12,23,5;\n", "12", "23,5", 2, 7, false}, // the first comma cuts, the next is kept
        {"12,23\n", "12", "23\n", 2, 6, true},     // no semicolon is a format error
        {"\n", "\n", "", 1, 1, true},              // an empty line
        {"12;\n", "12;\n", "", 4, 2, false},       // no comma: the whole line is the identifier
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Line);
        const TLogLineFields f = SplitLogLine(row.Line);
        EXPECT_EQ(f.Identifier, row.Identifier);
        EXPECT_EQ(f.Temperature, row.Temperature);
        EXPECT_EQ(f.PosComma, row.PosComma);
        EXPECT_EQ(f.PosSemicolon, row.PosSemicolon);
        EXPECT_EQ(f.FormatError, row.FormatError);
    }
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
