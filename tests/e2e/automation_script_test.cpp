// The automation's script reader: how words, quotes and time-outs are told apart, and
// that a mistake names its line before anything runs.
#include "app/AutomationScript.h"

#include <gtest/gtest.h>

namespace quillon::console {
namespace {

TScript Parsed(const char* text) {
    auto result = ParseScript(QString::fromUtf8(text));
    if (const auto* error = std::get_if<TScriptError>(&result))
        ADD_FAILURE() << "line " << error->Line << ": " << error->Message.toStdString();
    return std::get_if<TScript>(&result) ? std::get<TScript>(result) : TScript{};
}

TScriptError Error(const char* text) {
    auto result = ParseScript(QString::fromUtf8(text));
    EXPECT_TRUE(std::holds_alternative<TScriptError>(result)) << text;
    return std::holds_alternative<TScriptError>(result) ? std::get<TScriptError>(result)
                                                        : TScriptError{};
}

TEST(AutomationScript, ANumberInTheTextPlaceIsTextNotATimeOut) {
    const TScript script = Parsed("expect-text longueurmot2 5\n");
    ASSERT_EQ(script.size(), 1u);
    EXPECT_EQ(script[0].Args, QStringList({"longueurmot2", "5"}));
    EXPECT_EQ(script[0].TimeoutMs, DefaultStepTimeoutMs);
}

TEST(AutomationScript, AWordAfterTheArgumentsIsTheTimeOut) {
    const TScript script = Parsed("expect-text test2 \"Bonne valeur\" 20000");
    ASSERT_EQ(script.size(), 1u);
    EXPECT_EQ(script[0].Args, QStringList({"test2", "Bonne valeur"}));
    EXPECT_EQ(script[0].TimeoutMs, 20000);
}

TEST(AutomationScript, QuotesKeepBlanksAndEscapeQuotesAndBackslashes) {
    const TScript script = Parsed(R"(type parametre "a \"b\" c\\d")"
                                  "\n"
                                  R"(expect-text test2 "")");
    ASSERT_EQ(script.size(), 2u);
    EXPECT_EQ(script[0].Args[1], QStringLiteral("a \"b\" c\\d"));
    EXPECT_EQ(script[1].Args, QStringList({"test2", ""}));
}

TEST(AutomationScript, CommentsAndBlankLinesAreSkippedAndTheLineIsKeptAsWritten) {
    const TScript script = Parsed("# open\n\n   click   SpeedButtonOpenClose  \nquit\n");
    ASSERT_EQ(script.size(), 2u);
    EXPECT_EQ(script[0].Source, QStringLiteral("click   SpeedButtonOpenClose"));
    EXPECT_EQ(script[1].Command, QStringLiteral("quit"));
}

TEST(AutomationScript, MistakesNameTheirLine) {
    EXPECT_EQ(Error("click Button3\nbogus x\n").Line, 2);
    EXPECT_EQ(Error("quit\n\nexpect-color Shape1 yellow\n").Line, 3);
    EXPECT_EQ(Error("expect-items Memo1 -1").Line, 1);
    EXPECT_EQ(Error("expect-point 0 1 x").Line, 1);
    EXPECT_EQ(Error("type parametre \"open").Line, 1);
    EXPECT_EQ(Error("click Button3 soon").Line, 1);
    EXPECT_EQ(Error("grab a.png 100").Line, 1); // no wait, so no time-out
    EXPECT_EQ(Error("expect-box").Line, 1);
}

} // namespace
} // namespace quillon::console
