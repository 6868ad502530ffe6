#pragma once
// The console's figures, measured on the real window (TForm2) under an offscreen Qt.
#include "app/Dialogs.h"
#include "app/Unit2.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace quillon::console::bench {

/// The window with what the figures read from it.
class TBenchForm : public TForm2 {
  public:
    using TForm2::Chart1;
    using TForm2::ComPort;
    using TForm2::Form;
    using TForm2::ReadBytesTotal;
    using TForm2::TForm2;
};

/// Boxes that return at once and a file dialog that answers with one path.
class TBenchDialogs : public IDialogs {
  public:
    void ShowBox(TBoxKind, const QString& text) override {
        LastBox = text;
        ++Boxes;
        if (OnBox) OnBox(text);
    }
    std::optional<QString> ChooseFileToOpen() override { return File; }

    QString File;
    QString LastBox;
    int Boxes = 0;
    std::function<void(const QString&)> OnBox;
};

struct TLoadResult {
    int64_t Lines = 0;
    int64_t Points = 0;       // in the chart after the load
    double Seconds = 0;       // the load button's click until the chart has been drawn
    double CpuSeconds = 0;    // processor time of the process meanwhile
    double LongestWaitMs = 0; // the longest the window left its input waiting meanwhile
    double LongestWorkMs = 0; // the GUI thread's processor time in that kind of wait, at most
    int Boxes = 0;
    double BaselineRssMiB = 0; // peak resident size before the load
    double PeakRssMiB = 0;     // peak resident size after it
};

struct TFeedResult {
    int64_t Bytes = 0;
    int64_t Calls = 0;   // receive handler calls
    double MaxMs = 0;    // the slowest call
    double MedianMs = 0; // the median call
    double Seconds = 0;  // the first byte written until the window counted the last
};

/// Writes a temperature log of lines samples ("id,temperature;") to path.
void WriteTemperatureLog(const std::string& path, int64_t lines);
/// Loads path through the window's load button and draws the chart.
TLoadResult MeasureLogLoad(const std::string& path, int64_t lines);
/// Feeds bytes of text in chunk-byte writes to an open port of the window.
TFeedResult MeasureTerminalFeed(int64_t bytes, size_t chunk);

} // namespace quillon::console::bench
