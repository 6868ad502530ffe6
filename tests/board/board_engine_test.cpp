#include "board/BoardEngine.h"
#include "board_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

using quillon::board::FormatTemperature;
using quillon::board::MakeTemperatureLog;
using quillon::board::TBoardEngine;
using quillon::board::TBoardOptions;
using quillon::board::TimeMs;

struct TChunkAt {
    TimeMs At;
    std::string Text;
};

// Plays the program's loop around an engine: advance, sleep until the next
// deadline, repeat. Fails when a deadline does not lie ahead, since the program
// would then spin.
class TDriver {
  public:
    explicit TDriver(const TBoardOptions& options, TimeMs start = 0)
        : Engine(options, start), Now(start) {}

    /// Runs until `until` and returns the chunks written meanwhile.
    std::vector<TChunkAt> RunUntil(TimeMs until) {
        std::vector<TChunkAt> out;
        for (int guard = 0; guard < 100000; ++guard) {
            for (auto& chunk : Engine.Advance(Now))
                out.push_back({Now, std::move(chunk)});
            const auto deadline = Engine.NextDeadline();
            if (deadline && *deadline <= Now) {
                ADD_FAILURE() << "deadline " << *deadline << " not after now " << Now;
                return out;
            }
            if (!deadline || *deadline > until) {
                Now = std::max(Now, until);
                for (auto& chunk : Engine.Advance(Now))
                    out.push_back({Now, std::move(chunk)});
                return out;
            }
            Now = *deadline;
        }
        ADD_FAILURE() << "the engine never settled";
        return out;
    }

    /// Bytes arriving at `at`; what was due before is collected in Written.
    void Send(std::string_view bytes, TimeMs at) {
        for (auto& c : RunUntil(at))
            Written.push_back(std::move(c));
        Engine.Receive(bytes, at);
    }

    /// Everything written up to `until`, including what was collected by Send.
    std::vector<TChunkAt> Collect(TimeMs until) {
        auto later = RunUntil(until);
        std::vector<TChunkAt> all = std::move(Written);
        Written.clear();
        for (auto& c : later)
            all.push_back(std::move(c));
        return all;
    }

    TBoardEngine Engine;
    TimeMs Now;
    std::vector<TChunkAt> Written;
};

std::vector<std::string> Texts(const std::vector<TChunkAt>& chunks) {
    std::vector<std::string> texts;
    for (const auto& c : chunks)
        texts.push_back(c.Text);
    return texts;
}

std::string Joined(const std::vector<TChunkAt>& chunks) {
    std::string all;
    for (const auto& c : chunks)
        all += c.Text;
    return all;
}

TBoardOptions Quiet() {
    TBoardOptions options;
    options.LedPeriodMs = 0;
    options.Seed = 11;
    return options;
}

// Sends one "w" at each of the times and returns the full reply to each.
std::vector<std::string> ReadingsAt(const TBoardOptions& options,
                                    const std::vector<TimeMs>& times) {
    TDriver board(options);
    std::vector<std::string> replies;
    for (const TimeMs t : times) {
        board.Collect(t);
        board.Send("w", t);
        replies.push_back(Joined(board.Collect(t + 10'000)));
    }
    return replies;
}

// One request every 20 s, the first at 20 s.
std::vector<TimeMs> EveryTwentySeconds(int count) {
    std::vector<TimeMs> times;
    for (int i = 1; i <= count; ++i)
        times.push_back(i * 20'000LL);
    return times;
}

double ValueOf(const std::string& reading) {
    return std::stod(reading.substr(1, reading.size() - 2));
}

using quillon::board::test::IsGoodReading;
using quillon::board::test::ParseLogLine;

// ---------------------------------------------------------------- readings

TEST(BoardReadings, RequestIsAnsweredAtOnceWithFiveCharacterValue) {
    TBoardEngine engine(Quiet(), 1000);
    engine.Receive("w", 1000);
    const auto chunks = engine.Advance(1000);
    ASSERT_EQ(chunks.size(), 1U);
    EXPECT_TRUE(IsGoodReading(chunks[0])) << chunks[0];
    const double value = ValueOf(chunks[0]);
    EXPECT_GE(value, 20.0);
    EXPECT_LE(value, 25.0);
    EXPECT_EQ(engine.Readings(), 1U);
    EXPECT_FALSE(engine.NextDeadline().has_value()) << "nothing left to do";
}

TEST(BoardReadings, TemperatureDriftsSlowlyWithinBounds) {
    const auto replies = ReadingsAt(Quiet(), EveryTwentySeconds(1500));
    std::set<std::string> distinct;
    double sum = 0, previous = 0;
    for (std::size_t i = 0; i < replies.size(); ++i) {
        ASSERT_TRUE(IsGoodReading(replies[i])) << replies[i];
        // The second byte stays "2", so no reading passes for an LED message.
        EXPECT_EQ(replies[i][1], '2') << replies[i];
        const double value = ValueOf(replies[i]);
        EXPECT_GE(value, 20.0);
        EXPECT_LE(value, 25.0);
        if (i > 0) {
            EXPECT_LT(std::abs(value - previous), 1.0) << "jump between readings 20 s apart";
        }
        previous = value;
        sum += value;
        distinct.insert(replies[i]);
    }
    EXPECT_GT(distinct.size(), 50U) << "the temperature should wander";
    EXPECT_NEAR(sum / static_cast<double>(replies.size()), 22.0, 1.0);
}

TEST(BoardReadings, SeedDecidesTheTemperatures) {
    const auto times = EveryTwentySeconds(40);
    TBoardOptions other = Quiet();
    other.Seed = 12;
    EXPECT_EQ(ReadingsAt(Quiet(), times), ReadingsAt(Quiet(), times));
    EXPECT_NE(ReadingsAt(Quiet(), times), ReadingsAt(other, times));
}

TEST(BoardReadings, MergedRequestsGiveSeparateChunks) {
    TBoardOptions options = Quiet();
    TBoardEngine engine(options, 0);
    engine.Receive("ww", 500);
    const auto first = engine.Advance(500);
    ASSERT_EQ(first.size(), 1U);
    EXPECT_TRUE(engine.Advance(500 + options.ChunkGapMs - 1).empty());
    ASSERT_EQ(engine.NextDeadline(), 500 + options.ChunkGapMs);
    const auto second = engine.Advance(500 + options.ChunkGapMs);
    ASSERT_EQ(second.size(), 1U);
    EXPECT_TRUE(IsGoodReading(first[0]));
    EXPECT_TRUE(IsGoodReading(second[0]));
    EXPECT_EQ(engine.Readings(), 2U);
}

TEST(BoardReadings, FormatMatchesPrintfWithFiveCharacters) {
    for (int centis = 0; centis < 10000; ++centis) {
        const double value = centis / 100.0 + 0.001;
        char expected[16];
        std::snprintf(expected, sizeof expected, "%05.2f", value);
        ASSERT_EQ(FormatTemperature(value), expected) << value;
    }
    EXPECT_EQ(FormatTemperature(23.5, ','), "23,50");
    EXPECT_EQ(FormatTemperature(-1.25), "-1.25");
    EXPECT_EQ(FormatTemperature(22.996), "23.00");
}

// ---------------------------------------------------------------- commands

TEST(BoardCommands, ValueIsAcknowledgedAfterQuietGap) {
    TBoardOptions options = Quiet();
    TBoardEngine engine(options, 0);
    engine.Receive("c42", 100);
    EXPECT_TRUE(engine.Advance(100).empty()) << "more digits may follow";
    ASSERT_EQ(engine.NextDeadline(), 100 + options.CommandGapMs);
    EXPECT_TRUE(engine.Advance(100 + options.CommandGapMs - 1).empty());
    EXPECT_EQ(engine.Advance(100 + options.CommandGapMs), std::vector<std::string>{"ok c42"});
}

TEST(BoardCommands, ValueSplitOverReadsIsOneCommand) {
    TDriver board(Quiet());
    board.Send("c", 100);
    board.Send("1", 130);
    board.Send("7", 170);
    const auto chunks = board.Collect(1000);
    ASSERT_EQ(Texts(chunks), std::vector<std::string>{"ok c17"});
    EXPECT_EQ(chunks[0].At, 170 + Quiet().CommandGapMs);
}

TEST(BoardCommands, ValuesOutsideTheRangeAreRefused) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"c1", "ok c1"},      {"c299", "ok c299"},    {"c042", "ok c42"}, {"c0", "err c0"},
        {"c300", "err c300"}, {"c1000", "err c1000"}, {"c", "err c"},
    };
    for (const auto& [sent, expected] : cases) {
        SCOPED_TRACE(sent);
        TDriver board(Quiet());
        board.Send(sent, 10);
        EXPECT_EQ(Texts(board.Collect(1000)), std::vector<std::string>{expected});
    }
}

TEST(BoardCommands, NonDigitEndsTheValueAndStartsTheNextCommand) {
    TBoardOptions options = Quiet();
    TBoardEngine engine(options, 0);
    engine.Receive("c42w", 10);
    EXPECT_EQ(engine.Advance(10), std::vector<std::string>{"ok c42"}) << "no wait for a gap";
    const auto reading = engine.Advance(10 + options.ChunkGapMs);
    ASSERT_EQ(reading.size(), 1U);
    EXPECT_TRUE(IsGoodReading(reading[0]));
}

TEST(BoardCommands, FreeTextIsOneCommandUntilSilence) {
    const std::vector<std::string> texts = {"hello", "Bonjour le board", "cat",
                                            "x w and c12 inside", "\xe9t\xe9"};
    for (const auto& text : texts) {
        SCOPED_TRACE(text);
        TDriver board(Quiet());
        board.Send(text, 10);
        EXPECT_EQ(Texts(board.Collect(5000)), std::vector<std::string>{"ok"});
        EXPECT_EQ(board.Engine.Readings(), 0U);
    }
}

TEST(BoardCommands, SilenceSeparatesTexts) {
    const TimeMs gap = Quiet().CommandGapMs;
    TDriver board(Quiet());
    board.Send("hel", 10);
    board.Send("lo", 10 + gap - 1);
    EXPECT_EQ(Texts(board.Collect(1000)), std::vector<std::string>{"ok"});
    board.Send("one", 1000);
    board.Send("two", 1000 + gap);
    const auto chunks = board.Collect(3000);
    ASSERT_EQ(Texts(chunks), (std::vector<std::string>{"ok", "ok"}));
    EXPECT_EQ(chunks[0].At, 1000 + gap);
    EXPECT_EQ(chunks[1].At, 1000 + 2 * gap);
}

TEST(BoardCommands, TextStartingWithWAsksForAReadingFirst) {
    TDriver board(Quiet());
    board.Send("wifi", 10);
    const auto texts = Texts(board.Collect(1000));
    ASSERT_EQ(texts.size(), 2U);
    EXPECT_TRUE(IsGoodReading(texts[0]));
    EXPECT_EQ(texts[1], "ok");
}

TEST(BoardCommands, LineEndsBetweenCommandsAreIgnored) {
    TDriver board(Quiet());
    board.Send("w\r\n", 10);
    board.Send("\n", 20);
    const auto texts = Texts(board.Collect(1000));
    ASSERT_EQ(texts.size(), 1U);
    EXPECT_TRUE(IsGoodReading(texts[0]));
}

// ---------------------------------------------------------------- LED

TEST(BoardLed, TogglesEveryPeriodStartingOn) {
    TBoardOptions options;
    options.LedPeriodMs = 3000;
    TDriver board(options, 1000);
    EXPECT_EQ(board.Engine.NextDeadline(), 4000);
    const auto chunks = board.Collect(13'500);
    ASSERT_EQ(chunks.size(), 4U);
    const std::vector<std::string> expected = {"L1", "L0", "L1", "L0"};
    for (std::size_t i = 0; i < chunks.size(); ++i) {
        EXPECT_EQ(chunks[i].Text, expected[i]);
        EXPECT_EQ(chunks[i].At, 1000 + 3000 * static_cast<TimeMs>(i + 1));
    }
}

TEST(BoardLed, PeriodZeroSendsNothing) {
    TBoardEngine engine(Quiet(), 0);
    EXPECT_FALSE(engine.NextDeadline().has_value());
    EXPECT_TRUE(engine.Advance(3'600'000).empty());
}

TEST(BoardLed, LongStallSendsOneToggleAndRestartsTheBeat) {
    TBoardOptions options;
    options.LedPeriodMs = 100;
    TBoardEngine engine(options, 0);
    EXPECT_EQ(engine.Advance(1050), std::vector<std::string>{"L1"}) << "no backlog of ten messages";
    EXPECT_EQ(engine.NextDeadline(), 1150);
    EXPECT_TRUE(engine.Advance(1149).empty());
    EXPECT_EQ(engine.Advance(1150), std::vector<std::string>{"L0"}) << "still alternating";
    EXPECT_EQ(engine.NextDeadline(), 1250);
}

TEST(BoardLed, WaitsBehindAReplyAlreadyOnItsWay) {
    TBoardOptions options;
    options.LedPeriodMs = 3000;
    options.ReplyDelayMs = 500;
    TDriver board(options);
    board.Send("w", 2900);
    const auto chunks = board.Collect(4000);
    ASSERT_EQ(chunks.size(), 2U);
    EXPECT_TRUE(IsGoodReading(chunks[0].Text));
    EXPECT_EQ(chunks[0].At, 3400);
    EXPECT_EQ(chunks[1].Text, "L1");
    EXPECT_EQ(chunks[1].At, 3400 + options.ChunkGapMs);
}

// ---------------------------------------------------------------- faults

TEST(BoardFaults, EveryNthReadingHasWrongLengthAlternatingShortAndLong) {
    TBoardOptions faulty = Quiet();
    faulty.BadEvery = 3;
    const auto times = EveryTwentySeconds(12);
    const auto clean = ReadingsAt(Quiet(), times);
    const auto bad = ReadingsAt(faulty, times);
    ASSERT_EQ(bad.size(), clean.size());
    int wrong = 0;
    for (std::size_t i = 0; i < bad.size(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_TRUE(IsGoodReading(clean[i])) << clean[i];
        const std::string value = clean[i].substr(1, 5);
        if ((i + 1) % 3 != 0) {
            EXPECT_EQ(bad[i], clean[i]);
            continue;
        }
        ++wrong;
        if (wrong % 2 == 1)
            EXPECT_EQ(bad[i], "w" + value.substr(0, 4) + "f");
        else
            EXPECT_EQ(bad[i], "w" + value + "0f");
    }
    EXPECT_EQ(wrong, 4);
}

TEST(BoardFaults, ProbabilityOfWrongLengthIsSeededAndNearP) {
    TBoardOptions faulty = Quiet();
    faulty.BadProbability = 0.3;
    const auto times = EveryTwentySeconds(2000);
    const auto bad = ReadingsAt(faulty, times);
    const auto clean = ReadingsAt(Quiet(), times);
    int wrong = 0;
    for (std::size_t i = 0; i < bad.size(); ++i) {
        if (bad[i].size() != 7) {
            ++wrong;
            EXPECT_EQ(bad[i].substr(0, 5), clean[i].substr(0, 5))
                << "same temperature, wrong length";
        } else
            EXPECT_EQ(bad[i], clean[i]);
    }
    EXPECT_GT(wrong, 2000 * 0.25);
    EXPECT_LT(wrong, 2000 * 0.35);
    EXPECT_EQ(ReadingsAt(faulty, times), bad) << "same seed, same faults";

    faulty.BadProbability = 1.0;
    for (const auto& reading : ReadingsAt(faulty, EveryTwentySeconds(50)))
        EXPECT_NE(reading.size(), 7U) << reading;
}

TEST(BoardFaults, SplitRepliesLeaveInPiecesSpacedApart) {
    TBoardOptions options = Quiet();
    options.SplitPieces = 3;
    TDriver board(options);
    board.Send("w", 100);
    const auto reading = board.Collect(1000);
    ASSERT_EQ(reading.size(), 3U);
    EXPECT_EQ(reading[0].Text.size(), 3U);
    EXPECT_EQ(reading[1].Text.size(), 2U);
    EXPECT_EQ(reading[2].Text.size(), 2U);
    for (std::size_t i = 0; i < reading.size(); ++i)
        EXPECT_EQ(reading[i].At, 100 + static_cast<TimeMs>(i) * options.ChunkGapMs);
    EXPECT_EQ(Joined(reading), ReadingsAt(Quiet(), {100})[0])
        << "splitting must not change the reading";

    board.Send("c42", 1000);
    EXPECT_EQ(Texts(board.Collect(2000)), (std::vector<std::string>{"ok", " c", "42"}));
}

TEST(BoardFaults, SplitBeyondLengthGivesOneByteChunksAndSparesLed) {
    TBoardOptions options = Quiet();
    options.SplitPieces = 50;
    options.LedPeriodMs = 1000;
    TDriver board(options);
    board.Send("w", 100);
    const auto chunks = board.Collect(1500);
    ASSERT_EQ(chunks.size(), 8U);
    for (std::size_t i = 0; i < 7; ++i)
        EXPECT_EQ(chunks[i].Text.size(), 1U);
    EXPECT_TRUE(IsGoodReading(Joined({chunks.begin(), chunks.begin() + 7})));
    EXPECT_EQ(chunks[7].Text, "L1");
}

TEST(BoardFaults, LineEndsBeforeTheReading) {
    TBoardOptions options = Quiet();
    options.CrLfBeforeReading = true;
    const auto replies = ReadingsAt(options, EveryTwentySeconds(5));
    const auto clean = ReadingsAt(Quiet(), EveryTwentySeconds(5));
    for (std::size_t i = 0; i < replies.size(); ++i)
        EXPECT_EQ(replies[i], "\r\n" + clean[i]);
}

TEST(BoardFaults, DelayHoldsRepliesBack) {
    TBoardOptions options = Quiet();
    options.ReplyDelayMs = 700;
    TBoardEngine engine(options, 0);
    engine.Receive("w", 100);
    EXPECT_EQ(engine.NextDeadline(), 800);
    EXPECT_TRUE(engine.Advance(799).empty());
    ASSERT_EQ(engine.Advance(800).size(), 1U);

    engine.Receive("c42", 1000);
    EXPECT_EQ(engine.NextDeadline(), 1000 + options.CommandGapMs);
    EXPECT_TRUE(engine.Advance(1000 + options.CommandGapMs).empty());
    EXPECT_EQ(engine.NextDeadline(), 1000 + options.CommandGapMs + 700);
    EXPECT_EQ(engine.Advance(1000 + options.CommandGapMs + 700),
              std::vector<std::string>{"ok c42"});
}

TEST(BoardFaults, SilentBoardAnswersNothingButStillBlinks) {
    TBoardOptions options = Quiet();
    options.Silent = true;
    options.LedPeriodMs = 1000;
    TDriver board(options);
    board.Send("w", 100);
    board.Send("c42", 200);
    board.Send("hello", 400);
    EXPECT_EQ(Texts(board.Collect(2500)), (std::vector<std::string>{"L1", "L0"}));
    EXPECT_EQ(board.Engine.Readings(), 0U);
}

TEST(BoardFaults, UnplugEndsEverything) {
    TBoardOptions options;
    options.LedPeriodMs = 1000;
    options.UnplugAfterMs = 2500;
    TDriver board(options, 500);
    EXPECT_EQ(Texts(board.Collect(2999)), (std::vector<std::string>{"L1", "L0"}));
    EXPECT_FALSE(board.Engine.Unplugged());
    EXPECT_EQ(board.Engine.NextDeadline(), 3000);
    // A reply not yet written when the time comes is lost with the line.
    board.Engine.Receive("w", 2999);
    EXPECT_TRUE(board.Engine.Advance(3000).empty());
    EXPECT_TRUE(board.Engine.Unplugged());
    EXPECT_FALSE(board.Engine.NextDeadline().has_value());
    board.Engine.Receive("w", 3100);
    EXPECT_TRUE(board.Engine.Advance(4600).empty()) << "no LED either";
}

// ---------------------------------------------------------------- scheduling

TEST(BoardScheduling, EveryReadingArrivesWholeUnderRandomTraffic) {
    TBoardOptions options;
    options.LedPeriodMs = 300;
    options.SplitPieces = 4;
    options.ReplyDelayMs = 35;
    options.BadProbability = 0.2;
    options.CrLfBeforeReading = true;
    options.Seed = 3;
    TDriver board(options);
    std::mt19937 random(99);
    const std::string alphabet = "wc0123456789x \r";
    for (int step = 0; step < 3000; ++step) {
        std::string bytes;
        for (unsigned n = random() % 4; n > 0; --n)
            bytes += alphabet[random() % alphabet.size()];
        board.Send(bytes, board.Now + static_cast<TimeMs>(random() % 120));
    }
    const std::string everything = Joined(board.Collect(board.Now + 10'000));
    EXPECT_GT(board.Engine.Readings(), 100U);
    const auto deadline = board.Engine.NextDeadline();
    EXPECT_TRUE(!deadline || *deadline > board.Now);
    // No reply contains a marker of its own, so the markers count the readings.
    std::size_t starts = 0, ends = 0;
    for (const char c : everything) {
        starts += c == 'w';
        ends += c == 'f';
    }
    EXPECT_EQ(starts, board.Engine.Readings());
    EXPECT_EQ(ends, board.Engine.Readings());
}

// ---------------------------------------------------------------- log file

TEST(BoardLog, LinesHaveIdentifierTemperatureAndSemicolon) {
    const std::string dot = MakeTemperatureLog(200, 4, '.');
    const std::string comma = MakeTemperatureLog(200, 4, ',');
    std::istringstream dotLines(dot), commaLines(comma);
    std::string a, b;
    std::set<std::string> distinct;
    int id = 0;
    while (std::getline(dotLines, a)) {
        ++id;
        ASSERT_TRUE(std::getline(commaLines, b));
        const auto m = ParseLogLine(a, '.');
        const auto n = ParseLogLine(b, ',');
        ASSERT_TRUE(m) << a;
        ASSERT_TRUE(n) << b;
        EXPECT_EQ(m->Id, std::to_string(id));
        EXPECT_EQ(n->Id, m->Id);
        EXPECT_EQ(n->Whole, m->Whole);
        EXPECT_EQ(n->Fraction, m->Fraction);
        const double value = std::stod(m->Whole + "." + m->Fraction);
        EXPECT_GE(value, 20.0);
        EXPECT_LE(value, 25.0);
        distinct.insert(a.substr(a.find(',')));
    }
    EXPECT_EQ(id, 200);
    EXPECT_FALSE(std::getline(commaLines, b));
    EXPECT_EQ(dot.back(), '\n');
    EXPECT_GT(distinct.size(), 20U);
}

TEST(BoardLog, SeedDecidesTheLog) {
    EXPECT_EQ(MakeTemperatureLog(30, 8, '.'), MakeTemperatureLog(30, 8, '.'));
    EXPECT_NE(MakeTemperatureLog(30, 8, '.'), MakeTemperatureLog(30, 9, '.'));
    EXPECT_EQ(MakeTemperatureLog(0, 8, '.'), "");
}

} // namespace
