#pragma once
// Runs a temperature log's load between the window's events: a slice of lines at a time,
// short enough that the window answers at once between two, with a progress bar in the
// status bar once the load lasts. Memo1 and the chart show what it has read at the end of
// each slice, and behind every box it shows. A new load replaces one still going on, which
// keeps what it has read.
#include "app/Dialogs.h"
#include "app/TempLogLoad.h"
#include "rtl/Locale.h"

#include <QObject>
#include <QString>
#include <chrono>
#include <memory>

class QProgressBar;
class QStatusBar;
class QTimer;

namespace quillon::console {

class TTemperatureChart;
class TTerminalView;

class TTempLogRunner : public QObject, private TTempLogLoad::IOutputs {
  public:
    TTempLogRunner(TTerminalView* memo1, TTemperatureChart& chart, QStatusBar* status,
                   IDialogs& dialogs, const rtl::TFormatSettings& formatSettings);

    /// Loads the file at path, as the operator chose it: its boxes, then, once it is open,
    /// Memo1 and the chart emptied and the lines read slice by slice.
    void Start(const QString& path);
    /// Ends a load still going on; what it has read stays shown.
    void Stop();
    /// True while a load goes on between the window's events.
    bool Loading() const { return FLoad != nullptr; }

  private:
    void Continue();
    void AddLine(std::string_view temperature) override;
    void AddPoint(double id, double temperature) override;
    void ShowBox(const std::string& text) override;
    /// Shows what the load has read so far: all of it, or Memo1's lines alone.
    void Flush();
    void FlushMemo1();

    TTerminalView* FMemo1;
    TTemperatureChart& FChart;
    IDialogs& FDialogs;
    const rtl::TFormatSettings FFormatSettings;
    std::shared_ptr<TTempLogLoad> FLoad;
    QTimer* FSlice;
    QProgressBar* FProgress;
    std::chrono::steady_clock::time_point FStart;
    QString FPendingMemo1; // lines read that Memo1 does not show yet
};

} // namespace quillon::console
