// The temperature dialogue as tables: events in, then what it shows and sends.
// Events: "request", "tick", "pause over", "rx <bytes>", "close port" (later writes fail
// with a box), "hold <event>" (runs inside the next box). Outputs: "<field>=<text>",
// "memo1 clear", "memo1+<text>", "polling on|off", "pause <ms>", "pause stop", "send <bytes>",
// "box". Texts are written in UTF-8 here; the dialogue's are Latin-1.
#include "app/TemperatureDialogue.h"

#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

using namespace quillon::console;

namespace {

using TLines = std::vector<std::string>;

std::string Utf8(const std::string& latin1) {
    std::string out;
    for (const unsigned char c : latin1) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

class TRecorder : public TTemperatureDialogue::IOutputs {
  public:
    TRecorder() : FDialogue(*this) {}

    void Run(const std::string& event) {
        try {
            if (event == "request") FDialogue.Request();
            if (event == "tick") FDialogue.Tick();
            if (event == "pause over") FDialogue.PauseOver();
            if (event.starts_with("rx ")) FDialogue.Received(event.substr(3));
            if (event == "close port") FPortClosed = true;
            if (event.starts_with("hold ")) FHeld.push_back(event.substr(5));
        } catch (const std::runtime_error&) {
            // As the window's handlers: the box was the report; the window goes on.
        }
    }
    TLines Outputs(const TLines& setup, const TLines& events) {
        for (const std::string& e : setup)
            Run(e);
        Log.clear();
        for (const std::string& e : events)
            Run(e);
        return Log;
    }

    void Show(TTemperatureDialogue::TField field, const std::string& text) override {
        static const char* const names[] = {"test", "test2", "length"};
        Log.push_back(std::string(names[field]) + "=" + Utf8(text));
    }
    void ClearReadings() override { Log.push_back("memo1 clear"); }
    void AddReading(const std::string& text) override { Log.push_back("memo1+" + Utf8(text)); }
    void SetPolling(bool on) override { Log.push_back(on ? "polling on" : "polling off"); }
    void StartPause(int ms) override { Log.push_back("pause " + std::to_string(ms)); }
    void StopPause() override { Log.push_back("pause stop"); }
    void Send(const std::string& bytes) override {
        if (!FPortClosed) {
            Log.push_back("send " + bytes);
            return;
        }
        Log.push_back("box");
        FDialogue.ErrorBoxOpening();
        for (const std::string& e : std::exchange(FHeld, {}))
            Run(e);
        FDialogue.ErrorBoxClosed();
        throw std::runtime_error("aborted");
    }

    TLines Log;

  private:
    TTemperatureDialogue FDialogue;
    bool FPortClosed = false;
    TLines FHeld;
};

struct TRow {
    const char* Name;
    TLines Setup;
    TLines Events;
    TLines Expected;
};

void Check(const std::vector<TRow>& table) {
    for (const TRow& row : table) {
        SCOPED_TRACE(row.Name);
        TRecorder recorder;
        EXPECT_EQ(recorder.Outputs(row.Setup, row.Events), row.Expected);
    }
}

const TLines kAsk = {"test=Demande température", "length=", "test2=", "memo1 clear"};

TLines Then(TLines first, const TLines& more) {
    first.insert(first.end(), more.begin(), more.end());
    return first;
}

} // namespace

TEST(TemperatureDialogue, Readings) {
    Check({
        {"good reading in one chunk",
         {"request"},
         {"rx w23.50f"},
         {"test2=début lecture", "test2=début tepérature", "test2=fin lecture", "memo1+23.50",
          "test=23.50", "length=5", "test2=Bonne valeur", "polling off"}},
        {"split over two chunks",
         {"request", "rx w23."},
         {"rx 50f"},
         {"test2=début lecture", "test2=fin lecture", "memo1+23.50", "test=23.50", "length=5",
          "test2=Bonne valeur", "polling off"}},
        {"wrong length: listed twice, then the pause",
         {"request"},
         {"rx w23.5f"},
         {"test2=début lecture", "test2=début tepérature", "test2=fin lecture", "memo1+23.5",
          "test=23.5", "length=4", "memo1+23.5", "pause 2000"}},
        {"line ends before the w belong to the value",
         {"request"},
         {"rx \r\nw23.50f"},
         {"test2=début lecture", "test2=début tepérature", "test2=fin lecture", "memo1+\r\n23.50",
          "test=\r\n23.50", "length=7", "memo1+\r\n23.50", "pause 2000"}},
        {"two readings without a request gather into one",
         {"request", "rx w23.50f"},
         {"rx w23.60f"},
         {"test2=début lecture", "test2=début tepérature", "test2=fin lecture", "memo1+23.5023.60",
          "test=23.5023.60", "length=10", "memo1+23.5023.60", "pause 2000"}},
        {"bytes above 127 are value bytes",
         {"request"},
         {"rx w2\xE9.50f"},
         {"test2=début lecture", "test2=début tepérature", "test2=fin lecture", "memo1+2é.50",
          "test=2é.50", "length=5", "test2=Bonne valeur", "polling off"}},
    });
}

TEST(TemperatureDialogue, RequestsPollingAndThePause) {
    Check({
        {"request",
         {},
         {"request"},
         Then({"test=Demande température", "polling off"},
              {"length=", "test2=", "memo1 clear", "send w"})},
        {"pause over: the count, then polling",
         {"request", "rx w1f"},
         {"pause over"},
         {"test=Erreur1", "polling on"}},
        {"a tick keeps the count",
         {"request", "rx w1f", "pause over"},
         {"tick", "rx w2f", "pause over"},
         Then(kAsk, {"send w", "test2=début lecture", "test2=début tepérature", "test2=fin lecture",
                     "memo1+2", "test=2", "length=1", "memo1+2", "pause 2000", "test=Erreur2",
                     "polling on"})},
        {"a request starts the count again",
         {"request", "rx w1f", "pause over", "tick", "rx w2f", "pause over", "request", "rx w3f"},
         {"pause over"},
         {"test=Erreur1", "polling on"}},
        {"a request during the pause cancels its step",
         {"request", "rx w1f"},
         {"request", "pause over"},
         Then({"pause stop", "test=Demande température", "polling off"},
              {"length=", "test2=", "memo1 clear", "send w"})},
        {"a tick during the pause cancels its step",
         {"request", "rx w1f", "pause over", "rx w2f"},
         {"tick", "pause over"},
         Then({"pause stop"}, Then(kAsk, {"send w"}))},
        {"a reading during the pause comes after the pause's step",
         {"request", "rx w1f"},
         {"rx w22.00f"},
         {"test2=début lecture", "test2=début tepérature", "pause stop", "test=Erreur1",
          "polling on", "test2=fin lecture", "memo1+122.00", "test=122.00", "length=6",
          "memo1+122.00", "pause 2000"}},
    });
}

TEST(TemperatureDialogue, PortClosedWhilePolling) {
    const TLines polling = {"request", "rx w1f", "pause over", "close port"};
    Check({
        {"each tick resets the reading, then its write fails",
         polling,
         {"tick", "tick"},
         Then(Then(kAsk, {"box"}), Then(kAsk, {"box"}))},
        {"ticks while its box is open do nothing",
         Then(polling, {"hold tick", "hold tick"}),
         {"tick", "tick"},
         Then(Then(kAsk, {"box"}), Then(kAsk, {"box"}))},
        {"a request's box does not hold the ticks back",
         Then(polling, {"hold tick"}),
         {"request"},
         Then(
             {"test=Demande température", "polling off", "length=", "test2=", "memo1 clear", "box"},
             Then(kAsk, {"box"}))},
    });
}
