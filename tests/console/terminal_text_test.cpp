// The terminal's lines: every line end form, split pairs, and nothing lost.
#include "app/TerminalText.h"

#include <gtest/gtest.h>

using quillon::console::TTerminalText;

TEST(TerminalText, EachLineEndFormEndsOneLine) {
    TTerminalText t;
    t.Append(u"a\r\nb\nc\rd");
    EXPECT_EQ(t.LineCount(), 4u);
    EXPECT_EQ(t.Text(), u"a\nb\nc\nd");
}

TEST(TerminalText, CrLfSplitOverTwoChunksIsOneLineEnd) {
    TTerminalText t;
    t.Append(u"a\r");
    EXPECT_EQ(t.LineCount(), 2u);
    t.Append(u"\nb");
    EXPECT_EQ(t.Text(), u"a\nb");
}

TEST(TerminalText, TwoCrsAreTwoLineEnds) {
    TTerminalText t;
    t.Append(u"a\r\rb\n\n");
    EXPECT_EQ(t.Text(), u"a\n\nb\n\n");
}

TEST(TerminalText, ControlCharactersAreKept) {
    TTerminalText t;
    t.Append(std::u16string_view(u"x\0\t\x1b"
                                 u"y",
                                 5));
    EXPECT_EQ(t.Line(0), std::u16string(u"x\0\t\x1b"
                                        u"y",
                                        5));
}

TEST(TerminalText, AppendReportsTheFirstLineItChanged) {
    TTerminalText t;
    EXPECT_EQ(t.Append(u"one\ntw"), 0u);
    EXPECT_EQ(t.Append(u"o\nthree"), 1u);
    EXPECT_EQ(t.Append(u"!"), 2u);
}

TEST(TerminalText, SliceSpansLines) {
    TTerminalText t;
    t.Append(u"hello\nworld\nagain");
    EXPECT_EQ(t.Slice(0, 3, 2, 2), u"lo\nworld\nag");
    EXPECT_EQ(t.Slice(1, 1, 1, 4), u"orl");
}

TEST(TerminalText, ClearForgetsAPendingCr) {
    TTerminalText t;
    t.Append(u"a\r");
    t.Clear();
    t.Append(u"\nb");
    EXPECT_EQ(t.Text(), u"\nb");
}
