#include "rtl/Text.h"

#include <gtest/gtest.h>

namespace {

using rtl::TBytes;
using rtl::TEncoding;

TEST(Text, Utf8RoundTripsAccentsAndAstralCharacters) {
    std::string utf8 = "Température 23,5 °C \xF0\x9F\x8C\xA1"; // thermometer emoji
    rtl::string s = rtl::Utf8ToString(utf8);
    EXPECT_EQ(s.substr(0, 11), u"Température");
    EXPECT_EQ(s.back(), u'\xDF21'); // low surrogate of U+1F321
    EXPECT_EQ(rtl::StringToUtf8(s), utf8);
}

TEST(Text, MalformedUtf8BecomesReplacementCharacters) {
    EXPECT_EQ(rtl::Utf8ToString("a\xC3"), u"a\uFFFD");                   // truncated sequence
    EXPECT_EQ(rtl::Utf8ToString("\xC0\xAF"), u"\uFFFD\uFFFD");           // overlong '/'
    EXPECT_EQ(rtl::Utf8ToString("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD"); // surrogate
}

TEST(Encoding, Utf16IsLittleEndianWithoutByteOrderMark) {
    TBytes b = TEncoding::Unicode().GetBytes(u"OK");
    EXPECT_EQ(b, (TBytes{'O', 0, 'K', 0}));
    EXPECT_EQ(TEncoding::Unicode().GetString(TBytes{0x34, 0x12}), u"\x1234");
    EXPECT_EQ(TEncoding::UTF8().GetBytes(u"é"), (TBytes{0xC3, 0xA9}));
}

TEST(Encoding, Latin1IsOneBytePerCharacterAndQuestionMarkOtherwise) {
    rtl::string all;
    for (int c = 0; c < 256; ++c)
        all += static_cast<char16_t>(c);
    TBytes bytes = TEncoding::Latin1().GetBytes(all);
    ASSERT_EQ(bytes.size(), 256u);
    for (int c = 0; c < 256; ++c)
        EXPECT_EQ(bytes[c], c);
    EXPECT_EQ(TEncoding::Latin1().GetString(bytes), all);
    // A character outside Latin-1, astral ones included, is one '?'.
    EXPECT_EQ(TEncoding::Latin1().GetBytes(u"a\u20AC\U0001F321b"), (TBytes{'a', '?', '?', 'b'}));
}

} // namespace
