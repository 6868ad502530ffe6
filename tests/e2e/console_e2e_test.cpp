// The operator's dialogue with the simulated board, through the real console and a real
// pty: listing and opening the port, locally or through ser2net, readings good and bad,
// polling, the LED, and the temperature log. Each console run follows a script; every step must
// report "ok".
#include "E2eSession.h"
#include "FrenchLocale.h"
#include "tests/support/Ser2net.h"

#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace quillon::e2e {
namespace {

// The opening every dialogue starts with: the board's port is listed, chosen and opened.
std::vector<std::string> OpenPort(const std::string& port) {
    return {
        "choose ComboBoxDeviceName " + Quoted(port),
        "click SpeedButtonOpenClose",
        "expect-text SpeedButtonOpenClose Close",
    };
}

std::vector<std::string> ClosePortAndQuit() {
    return {"click SpeedButtonOpenClose", "expect-text SpeedButtonOpenClose Open", "quit"};
}

std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

TEST(ConsoleWithBoard, ReadingsGoodThenWrongThenPolledUntilGood) {
    TE2eSession session;
    // Every second reading is wrong: the request gets a good one, the next a short one,
    // and the 10 s poll a good one again. No LED messages, which would join a reading.
    const std::string port =
        session.StartBoard({"--seed", "11", "--bad-every", "2", "--led-period", "0"});
    ASSERT_FALSE(port.empty());
    const auto steps = Join({
        OpenPort(port),
        {
            "click RadioButton6",
            "click Button3",
            "expect-text test2 \"Bonne valeur\"",
            "expect-text longueurmot2 5",
            "expect-items Memo1 1",
            "expect-text StatusPanel1 \"Write bytes: 1\"",
            "expect-text StatusPanel0 \"Read bytes: 7\"",
            // The board's second reading has a four-character value.
            "click Button3",
            "expect-text test Erreur1",
            "expect-text longueurmot2 4",
            "expect-items Memo1 2",
            // No click: the console's own poll asks again and gets a good reading.
            "expect-text test2 \"Bonne valeur\" 20000",
            "expect-text longueurmot2 5",
            "expect-items Memo1 1",
            "expect-text StatusPanel1 \"Write bytes: 3\"",
            "expect-text StatusPanel0 \"Read bytes: 20\"",
            // Commands: back to the file source, received text shows in the terminal.
            "click RadioButton5",
            "choose listeid1 42",
            "expect-text Edit2 42",
            "click Button4",
            "expect-text valeur \"ok c42\"",
            "type parametre bonjour",
            "click envoiparametre",
            "expect-text valeur ok",
            "expect-text Memo \"ok c42ok\"",
            "expect-text StatusPanel1 \"Write bytes: 13\"",
            "expect-text StatusPanel0 \"Read bytes: 28\"",
        },
        ClosePortAndQuit(),
    });
    ExpectScriptPasses(session, steps);
    EXPECT_TRUE(session.StopBoards());
}

TEST(ConsoleWithBoard, PortOptionSelectsTheBoardListedSecondAndOpensItOnlyOnOpen) {
    TE2eSession session;
    // Listed first, and every reading it gives is wrong: a good one comes from the other.
    ASSERT_FALSE(session.StartBoard({"--bad-every", "1", "--led-period", "0"}).empty());
    const std::string port = session.StartBoard({"--seed", "3", "--led-period", "0"});
    ASSERT_FALSE(port.empty());
    const auto steps = Join({
        {
            "expect-text ComboBoxDeviceName " + Quoted(port),
            "expect-text SpeedButtonOpenClose Open",
            "click SpeedButtonOpenClose",
            "expect-text SpeedButtonOpenClose Close",
            "click RadioButton6",
            "click Button3",
            "expect-text test2 \"Bonne valeur\"",
        },
        ClosePortAndQuit(),
    });
    ExpectScriptPasses(session, steps, {"LC_ALL=C"}, {"--port", port});
    EXPECT_TRUE(session.StopBoards());
}

TEST(ConsoleWithBoard, PortOptionReachesTheBoardThroughSer2net) {
    TE2eSession session;
    const std::string device = session.StartBoard({"--seed", "3", "--led-period", "0"});
    ASSERT_FALSE(device.empty());
    const quillon_test::TSer2net server(device);
    const auto steps = Join({
        {
            "expect-text ComboBoxDeviceName " + Quoted(server.Name()),
            "click SpeedButtonOpenClose",
            "expect-text SpeedButtonOpenClose Close",
            "click RadioButton6",
            "click Button3",
            "expect-text test2 \"Bonne valeur\"",
            "expect-text longueurmot2 5",
            "expect-text StatusPanel1 \"Write bytes: 1\"",
            "expect-text StatusPanel0 \"Read bytes: 7\"",
        },
        ClosePortAndQuit(),
    });
    ExpectScriptPasses(session, steps, {"LC_ALL=C"}, {"--port", server.Name()});
    EXPECT_TRUE(session.StopBoards());
}

TEST(ConsoleCommandLine, ABadCommandLineIsNamedAndEndsTheConsoleAtOnce) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> rows = {
        {{"--port"}, "Missing value after '--port'"},
        {{"--baud", "9600"}, "Unknown option 'baud'"},
        {{"/dev/ttyUSB0"}, "unexpected argument '/dev/ttyUSB0'"},
    };
    for (const auto& [args, message] : rows) {
        // Through a shell, so that the console's error output is read as its output.
        std::vector<std::string> argv{"sh", "-c", "exec \"$0\" \"$@\" 2>&1", QUILLON_CONSOLE_EXE};
        argv.insert(argv.end(), args.begin(), args.end());
        TChildProcess console(argv, {{"QT_QPA_PLATFORM=offscreen"}});
        const auto deadline = TClock::now() + std::chrono::seconds(30);
        std::string said;
        for (auto line = console.ReadLine(deadline); line.State == TChildProcess::TLine::lsLine;
             line = console.ReadLine(deadline))
            said += line.Text + "\n";
        EXPECT_NE(said.find(message), std::string::npos) << args[0] << ": " << said;
        EXPECT_EQ(console.Wait(deadline), 1) << args[0];
    }
}

TEST(ConsoleWithBoard, LedColourFollowsTheBoardWhileLed1IsChecked) {
    TE2eSession session;
    const std::string port = session.StartBoard({"--seed", "3", "--led-period", "200"});
    ASSERT_FALSE(port.empty());
    const auto steps = Join({
        OpenPort(port),
        {
            // With led2 checked, an "on" message leaves the circle white.
            "expect-text valeur L1",
            "expect-color Shape1 #ffffff",
            "click led1",
            "expect-color Shape1 #ffff00",
            "expect-color Shape1 #ffffff",
            "expect-color Shape1 #ffff00",
            "click led2",
        },
        ClosePortAndQuit(),
    });
    ExpectScriptPasses(session, steps);
    EXPECT_TRUE(session.StopBoards());
}

struct TLogSample {
    std::string Id;
    std::string Temperature; // in C notation
};

// The samples of a log file as the board wrote them: "id,temperature;" lines.
std::vector<TLogSample> ReadLog(const std::filesystem::path& path) {
    std::vector<TLogSample> samples;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        const auto comma = line.find(',');
        const auto semicolon = line.find(';');
        if (comma == std::string::npos || semicolon == std::string::npos) continue;
        std::string temperature = line.substr(comma + 1, semicolon - comma - 1);
        for (char& c : temperature)
            if (c == ',') c = '.';
        samples.push_back({line.substr(0, comma), temperature});
    }
    return samples;
}

// Loads the log through the file dialog; every sample must be listed and plotted, with
// no box but the two of a clean load.
void ExpectLogPlotted(TE2eSession& session, const std::filesystem::path& log,
                      const std::vector<std::string>& env) {
    ASSERT_FALSE(log.empty());
    const auto samples = ReadLog(log);
    ASSERT_EQ(samples.size(), 60u);
    std::vector<std::string> steps{
        "answer-file " + Quoted(log.string()),
        "click Button2",
        "expect-box \"bon format\"",
        "expect-box \"Tracé terminé\"",
        "expect-text Edit1 " + Quoted(log.string()),
        "expect-points " + std::to_string(samples.size()),
        "expect-items Memo1 " + std::to_string(samples.size()),
    };
    for (const std::size_t i : {std::size_t{0}, samples.size() / 2, samples.size() - 1})
        steps.push_back("expect-point " + std::to_string(i) + " " + samples[i].Id + " " +
                        samples[i].Temperature);
    steps.push_back("quit");
    ExpectScriptPasses(session, steps, env);
}

TEST(ConsoleWithLogFile, DecimalPointLogIsPlottedInTheCLocale) {
    TE2eSession session;
    ExpectLogPlotted(session, session.WriteLog("log.txt", {"--samples", "60", "--seed", "5"}),
                     {"LC_ALL=C"});
}

TEST(ConsoleWithLogFile, DecimalCommaLogIsPlottedInAFrenchLocale) {
    TE2eSession session;
    const auto locales = session.Dir() / "locales";
    if (const std::string why = MakeFrenchLocale(locales); !why.empty())
        GTEST_SKIP() << "no French locale for this test: " << why;
    ExpectLogPlotted(
        session,
        session.WriteLog("journal.TXT", {"--samples", "60", "--seed", "8", "--decimal-comma"}),
        {"LOCPATH=" + locales.string(), std::string("LC_ALL=") + kFrenchLocale});
}

} // namespace
} // namespace quillon::e2e
