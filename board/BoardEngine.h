#pragma once

// Protocol engine of the simulated instrument board: pure logic, no I/O.
// The caller passes a monotonic clock in milliseconds to every call, feeds the
// bytes it read, writes the chunks Advance() returns, and sleeps until
// NextDeadline().
//
// Protocol (the console sends commands without terminator):
//   "w"             -> reading "w" + 5-character value + "f", e.g. "w22.47f";
//                      answered at once, so "ww" gives two readings.
//   "c" + digits    -> "ok c<n>" for n in 1..299, "err c<digits>" otherwise
//                      (also for a lone "c"); the digits end at the first
//                      non-digit, which starts the next command, or after a
//                      quiet gap (CommandGapMs).
//   anything else   -> "ok" once the bytes stop for CommandGapMs (the whole
//                      burst is one free text, "w" and "c" inside it included);
//                      a "c" followed by a non-digit starts a free text too.
//   CR and LF between commands are ignored (handy from a terminal).
//   Every LedPeriodMs the board sends "L1" / "L0" (LED on / off), toggling,
//   starting with "L1".
// Replies never contain "w" or "f" besides the reading's markers. Without the
// split and line-end faults, the second byte of a chunk is "0" or "1" only in LED
// messages (readings stay within 20..25 C), so a console that reads the LED state
// there is never misled.
//
// Chunks leave in the order they were produced, at least ChunkGapMs apart, so
// the pieces of a split reply reach the console as separate reads.

#include <cstdint>
#include <deque>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::board {

/// Milliseconds of a monotonic clock.
using TimeMs = std::int64_t;

/// Behaviour and faults of the board.
struct TBoardOptions {
    TimeMs LedPeriodMs = 3000;           ///< LED message period; 0 sends none
    unsigned BadEvery = 0;               ///< every Nth reading has a wrong length; 0 never
    double BadProbability = 0.0;         ///< chance of a wrong-length reading (seeded)
    unsigned SplitPieces = 1;            ///< replies leave in this many chunks
    bool CrLfBeforeReading = false;      ///< "\r\n" before the "w" of a reading
    TimeMs ReplyDelayMs = 0;             ///< time between a command and its reply
    bool Silent = false;                 ///< answer nothing (LED messages still go)
    std::optional<TimeMs> UnplugAfterMs; ///< report an unplug this long after start
    std::uint64_t Seed = 1;              ///< seeds temperatures and random faults
    TimeMs CommandGapMs = 50;            ///< quiet time that ends a command
    TimeMs ChunkGapMs = 20;              ///< least time between two chunks
};

/// Seeded mean-reverting random walk of the room temperature (Ornstein-Uhlenbeck
/// around 22 C, sampled exactly for any elapsed time, kept within 20..25 C).
class TTemperatureWalk {
  public:
    static constexpr double Mean = 22.0;
    static constexpr double Low = 20.0;
    static constexpr double High = 25.0;

    TTemperatureWalk(std::uint64_t seed, TimeMs start);
    /// Temperature at time now; calls must not go back in time.
    double At(TimeMs now);

  private:
    std::mt19937_64 FRandom;
    TimeMs FLast;
    double FValue;
};

/// Formats a temperature with two decimals and the given separator ("%05.2f"-like,
/// independent of the C locale).
std::string FormatTemperature(double celsius, char decimalSeparator = '.');

/// An SD-card temperature log: lines "id,temperature;\n" for ids 1..samples,
/// one sample a minute.
std::string MakeTemperatureLog(std::size_t samples, std::uint64_t seed, char decimalSeparator);

/// The board's side of the serial dialogue.
class TBoardEngine {
  public:
    TBoardEngine(const TBoardOptions& options, TimeMs start);

    /// Bytes received from the console at time now.
    void Receive(std::string_view bytes, TimeMs now);
    /// Runs what is due by now; returns the chunks to write now, in order.
    std::vector<std::string> Advance(TimeMs now);
    /// When Advance next has something to do; none while only waiting for input.
    std::optional<TimeMs> NextDeadline() const;
    /// True once the unplug time has passed: the program should drop the line.
    /// What was not yet written by then is lost with it.
    bool Unplugged() const noexcept { return FUnplugged; }
    /// Number of readings produced so far.
    unsigned Readings() const noexcept { return FReadings; }

  private:
    enum class TCommandState { Idle, Value, FreeText };
    struct TPending {
        TimeMs Due;
        std::string Text;
    };

    void RunEvents(TimeMs now);
    void ProcessByte(char byte, TimeMs at);
    void FinishCommand(TimeMs at);
    void Reply(std::string text, TimeMs at);
    void AnswerReading(TimeMs at);
    bool NextReadingIsBad();

    TBoardOptions FOptions;
    TimeMs FStart;
    TTemperatureWalk FTemperature;
    std::mt19937_64 FFaultRandom;

    TCommandState FState = TCommandState::Idle;
    std::string FDigits;
    TimeMs FLastByteAt = 0;

    bool FLedOn = false;
    std::optional<TimeMs> FNextLedAt;

    std::deque<TPending> FQueue;
    std::optional<TimeMs> FLastChunkAt;

    unsigned FReadings = 0;
    unsigned FBadReadings = 0;
    bool FUnplugged = false;
};

} // namespace quillon::board
