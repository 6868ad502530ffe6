#include "board/BoardEngine.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

namespace quillon::board {

namespace {

// Stationary spread and relaxation time of the room temperature.
constexpr double SpreadCelsius = 0.6;
constexpr double RelaxationSeconds = 600.0;

// Uniform in (0, 1] from the generator's raw output, so a seed gives the same
// temperatures with every standard library (the distributions are not portable).
double Uniform(std::mt19937_64& random) {
    return static_cast<double>((random() >> 11) + 1) * 0x1p-53;
}

double Gaussian(std::mt19937_64& random) {
    constexpr double Pi = 3.14159265358979323846;
    const double u1 = Uniform(random);
    const double u2 = Uniform(random);
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * Pi * u2);
}

double Reflect(double value, double low, double high) {
    for (int i = 0; i < 4 && (value < low || value > high); ++i)
        value = value < low ? 2 * low - value : 2 * high - value;
    return std::clamp(value, low, high);
}

std::vector<std::string> SplitInto(const std::string& text, unsigned pieces) {
    const std::size_t count =
        std::clamp<std::size_t>(pieces, 1, std::max<std::size_t>(text.size(), 1));
    std::vector<std::string> parts;
    std::size_t offset = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t size = text.size() / count + (i < text.size() % count ? 1 : 0);
        parts.push_back(text.substr(offset, size));
        offset += size;
    }
    return parts;
}

} // namespace

TTemperatureWalk::TTemperatureWalk(std::uint64_t seed, TimeMs start)
    : FRandom(seed), FLast(start),
      FValue(Reflect(Mean + SpreadCelsius * Gaussian(FRandom), Low, High)) {}

double TTemperatureWalk::At(TimeMs now) {
    if (now <= FLast) return FValue;
    const double seconds = static_cast<double>(now - FLast) / 1000.0;
    const double keep = std::exp(-seconds / RelaxationSeconds);
    const double mean = Mean + (FValue - Mean) * keep;
    const double spread = SpreadCelsius * std::sqrt(1.0 - keep * keep);
    FValue = Reflect(mean + spread * Gaussian(FRandom), Low, High);
    FLast = now;
    return FValue;
}

std::string FormatTemperature(double celsius, char decimalSeparator) {
    const long long centis = std::llround(celsius * 100.0);
    const unsigned long long magnitude =
        static_cast<unsigned long long>(centis < 0 ? -centis : centis);
    const unsigned long long fraction = magnitude % 100;
    std::string body = std::to_string(magnitude / 100) + decimalSeparator +
                       static_cast<char>('0' + fraction / 10) +
                       static_cast<char>('0' + fraction % 10);
    const std::size_t sign = centis < 0 ? 1 : 0;
    if (sign + body.size() < 5) body.insert(0, 5 - sign - body.size(), '0');
    return (sign ? "-" : "") + body;
}

std::string MakeTemperatureLog(std::size_t samples, std::uint64_t seed, char decimalSeparator) {
    constexpr TimeMs SampleIntervalMs = 60'000;
    TTemperatureWalk walk(seed, 0);
    std::string log;
    for (std::size_t id = 1; id <= samples; ++id) {
        log += std::to_string(id);
        log += ',';
        log += FormatTemperature(walk.At(static_cast<TimeMs>(id) * SampleIntervalMs),
                                 decimalSeparator);
        log += ";\n";
    }
    return log;
}

TBoardEngine::TBoardEngine(const TBoardOptions& options, TimeMs start)
    : FOptions(options), FStart(start), FTemperature(options.Seed, start),
      // A stream of its own: switching faults on leaves the temperatures unchanged.
      FFaultRandom(options.Seed ^ 0x9E3779B97F4A7C15ULL) {
    FOptions.SplitPieces = std::max(FOptions.SplitPieces, 1U);
    if (FOptions.LedPeriodMs > 0) FNextLedAt = start + FOptions.LedPeriodMs;
}

void TBoardEngine::Receive(std::string_view bytes, TimeMs now) {
    RunEvents(now);
    if (FUnplugged || bytes.empty()) return;
    for (const char byte : bytes)
        ProcessByte(byte, now);
    FLastByteAt = now;
}

std::vector<std::string> TBoardEngine::Advance(TimeMs now) {
    RunEvents(now);
    std::vector<std::string> chunks;
    if (FUnplugged) return chunks;
    while (!FQueue.empty()) {
        TimeMs releaseAt = FQueue.front().Due;
        if (FLastChunkAt) releaseAt = std::max(releaseAt, *FLastChunkAt + FOptions.ChunkGapMs);
        if (releaseAt > now) break;
        chunks.push_back(std::move(FQueue.front().Text));
        FQueue.pop_front();
        FLastChunkAt = now;
    }
    return chunks;
}

std::optional<TimeMs> TBoardEngine::NextDeadline() const {
    if (FUnplugged) return std::nullopt;
    std::optional<TimeMs> next;
    const auto consider = [&next](TimeMs at) { next = next ? std::min(*next, at) : at; };
    if (FState != TCommandState::Idle) consider(FLastByteAt + FOptions.CommandGapMs);
    if (FNextLedAt) consider(*FNextLedAt);
    if (FOptions.UnplugAfterMs) consider(FStart + *FOptions.UnplugAfterMs);
    if (!FQueue.empty()) {
        TimeMs releaseAt = FQueue.front().Due;
        if (FLastChunkAt) releaseAt = std::max(releaseAt, *FLastChunkAt + FOptions.ChunkGapMs);
        consider(releaseAt);
    }
    return next;
}

// Handles the timed events up to now in time order, so a command that ended by
// silence is answered before an LED message that came later.
void TBoardEngine::RunEvents(TimeMs now) {
    while (!FUnplugged) {
        enum { None, Command, Led, Unplug } kind = None;
        TimeMs at = now + 1;
        if (FState != TCommandState::Idle && FLastByteAt + FOptions.CommandGapMs < at) {
            kind = Command;
            at = FLastByteAt + FOptions.CommandGapMs;
        }
        if (FNextLedAt && *FNextLedAt < at) {
            kind = Led;
            at = *FNextLedAt;
        }
        if (FOptions.UnplugAfterMs && FStart + *FOptions.UnplugAfterMs < at) {
            kind = Unplug;
            at = FStart + *FOptions.UnplugAfterMs;
        }
        switch (kind) {
        case None:
            return;
        case Command:
            FinishCommand(at);
            break;
        case Led:
            FLedOn = !FLedOn;
            FQueue.push_back({at, FLedOn ? "L1" : "L0"});
            // After a stall one toggle stands for all the missed ones and the beat
            // restarts, so the messages keep alternating and no backlog builds up.
            FNextLedAt = at + FOptions.LedPeriodMs > now ? at + FOptions.LedPeriodMs
                                                         : now + FOptions.LedPeriodMs;
            break;
        case Unplug:
            FUnplugged = true;
            FQueue.clear();
            break;
        }
    }
}

void TBoardEngine::ProcessByte(char byte, TimeMs at) {
    switch (FState) {
    case TCommandState::Idle:
        if (byte == 'w')
            AnswerReading(at);
        else if (byte == 'c') {
            FState = TCommandState::Value;
            FDigits.clear();
        } else if (byte != '\r' && byte != '\n')
            FState = TCommandState::FreeText;
        break;
    case TCommandState::Value:
        if (byte >= '0' && byte <= '9') {
            if (FDigits.size() < 16) FDigits += byte;
        } else if (FDigits.empty())
            FState = TCommandState::FreeText;
        else {
            FinishCommand(at);
            ProcessByte(byte, at);
        }
        break;
    case TCommandState::FreeText:
        break;
    }
}

void TBoardEngine::FinishCommand(TimeMs at) {
    if (FState == TCommandState::Value) {
        const long long value = FDigits.empty() ? 0 : std::atoll(FDigits.c_str());
        if (FDigits.size() <= 3 && value >= 1 && value <= 299)
            Reply("ok c" + std::to_string(value), at);
        else
            Reply("err c" + FDigits, at);
    } else if (FState == TCommandState::FreeText)
        Reply("ok", at);
    FState = TCommandState::Idle;
    FDigits.clear();
}

void TBoardEngine::Reply(std::string text, TimeMs at) {
    if (FOptions.Silent) return;
    for (auto& piece : SplitInto(text, FOptions.SplitPieces))
        FQueue.push_back({at + FOptions.ReplyDelayMs, std::move(piece)});
}

void TBoardEngine::AnswerReading(TimeMs at) {
    if (FOptions.Silent) return;
    ++FReadings;
    std::string value = FormatTemperature(FTemperature.At(at));
    if (NextReadingIsBad()) {
        // Alternate short and long values, the two ways a reading goes wrong.
        ++FBadReadings;
        value = FBadReadings % 2 == 1 ? value.substr(0, value.size() - 1) : value + "0";
    }
    Reply((FOptions.CrLfBeforeReading ? "\r\nw" : "w") + value + "f", at);
}

bool TBoardEngine::NextReadingIsBad() {
    bool bad = FOptions.BadEvery > 0 && FReadings % FOptions.BadEvery == 0;
    if (FOptions.BadProbability > 0.0 && Uniform(FFaultRandom) <= FOptions.BadProbability)
        bad = true;
    return bad;
}

} // namespace quillon::board
