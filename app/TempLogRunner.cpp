#include "app/TempLogRunner.h"

#include "app/CodePage.h"
#include "app/TemperatureChart.h"
#include "app/TerminalView.h"
#include "rtl/Application.h"

#include <QFile>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>
#include <utility>

namespace quillon::console {

namespace {
// A slice: short enough that the window answers at once between two.
constexpr auto kSlice = std::chrono::milliseconds(20);
// A load shows its progress once it has taken longer than this.
constexpr auto kQuiet = std::chrono::milliseconds(300);
} // namespace

TTempLogRunner::TTempLogRunner(TTerminalView* memo1, TTemperatureChart& chart, QStatusBar* status,
                               IDialogs& dialogs, const rtl::TFormatSettings& formatSettings)
    : QObject(status), FMemo1(memo1), FChart(chart), FDialogs(dialogs),
      FFormatSettings(formatSettings) {
    FProgress = new QProgressBar(status);
    FProgress->setRange(0, 100);
    FProgress->setFormat(QStringLiteral("Lecture du fichier : %p %"));
    status->addPermanentWidget(FProgress);
    FProgress->hide();
    FSlice = new QTimer(this);
    FSlice->setSingleShot(true);
    connect(FSlice, &QTimer::timeout, this, [this] {
        // As the message loop runs a handler: an escaping exception goes to the display.
        try {
            Continue();
        } catch (...) {
            rtl::Application().HandleException(this);
        }
    });
}

void TTempLogRunner::Start(const QString& path) {
    FLoad = TTempLogLoad::Open(ToRtlString(path), QFile::encodeName(path).toStdString(),
                               FFormatSettings, *this);
    if (!FLoad) return;
    FMemo1->Clear();
    FChart.Clear();
    FStart = std::chrono::steady_clock::now();
    Continue();
}

void TTempLogRunner::Stop() {
    if (!FLoad) return;
    FLoad.reset();
    FSlice->stop();
    FProgress->hide();
    Flush();
}

void TTempLogRunner::Continue() {
    // Held here: a box of this slice may let the operator start another load, which
    // replaces this one; the slice then ends without touching the new one.
    const std::shared_ptr<TTempLogLoad> load = FLoad;
    if (!load) return;
    const auto now = std::chrono::steady_clock::now();
    const bool over = load->Step(now + kSlice);
    if (load != FLoad) return;
    if (over) {
        FLoad.reset();
        FProgress->hide();
        return;
    }
    FlushMemo1();
    if (now - FStart > kQuiet) {
        FProgress->setValue(static_cast<int>(load->Progress() * 100));
        FProgress->show();
    }
    FSlice->start(0);
}

void TTempLogRunner::AddLine(std::string_view temperature) {
    FPendingMemo1 +=
        QLatin1StringView(temperature.data(), static_cast<qsizetype>(temperature.size()));
    FPendingMemo1 += QLatin1Char('\n');
}

void TTempLogRunner::AddPoint(double id, double temperature) {
    FChart.Add(id, temperature);
}

void TTempLogRunner::ShowBox(const std::string& text) {
    // Behind a box, the chart and Memo1 show what the load has read so far.
    Flush();
    FDialogs.ShowBox(IDialogs::bkMessage, QString::fromUtf8(text));
}

void TTempLogRunner::Flush() {
    FlushMemo1();
    FChart.Flush();
}

void TTempLogRunner::FlushMemo1() {
    if (!FPendingMemo1.isEmpty()) FMemo1->AppendLines(std::exchange(FPendingMemo1, QString()));
}

} // namespace quillon::console
