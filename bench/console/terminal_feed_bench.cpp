// Text at full speed into the window's receive path: the port's OnRxChar chain (the
// indicator's hook, then the console's handler) timed call by call.
#include "ConsoleBench.h"
#include "app/Unit2.h"
#include "tests/support/PtyPair.h"
#include "ui_Unit2.h"

#include <QApplication>
#include <QEventLoop>
#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

namespace quillon::console::bench {

namespace {

using Clock = std::chrono::steady_clock;

/// Stands in front of the window's receive handler and times each call.
class TTimedReceive {
  public:
    TTimedReceive(TBenchForm& form, int64_t target, QEventLoop& loop)
        : FForm(form), FInner(form.ComPort()->OnRxChar()), FTarget(target), FLoop(loop) {
        form.ComPort()->SetOnRxChar(TNotifyEvent::Of<&TTimedReceive::Call>(this));
    }
    ~TTimedReceive() { FForm.ComPort()->SetOnRxChar(FInner); }

    bool Finished() const { return FForm.ReadBytesTotal() >= FTarget; }
    std::vector<double> Ms;

  private:
    void Call(TObject* Sender) {
        const auto t0 = Clock::now();
        FInner(Sender);
        Ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        if (Finished()) FLoop.quit();
    }

    TBenchForm& FForm;
    const TNotifyEvent FInner;
    const int64_t FTarget;
    QEventLoop& FLoop;
};

std::string TerminalText(size_t size) {
    std::string text;
    for (int line = 0; text.size() < size; ++line)
        text += "T=" + std::to_string(200 + line % 150) + " LED=" + std::to_string(line % 2) +
                " sample " + std::to_string(line) + " of the board's running report\r\n";
    text.resize(size);
    return text;
}

} // namespace

TFeedResult MeasureTerminalFeed(int64_t bytes, size_t chunk) {
    TBenchDialogs dialogs;
    TBenchForm form(dialogs, rtl::TFormatSettings::FromLocale("C"));
    form.show();
    quillon_test::TPtyPair pty;
    pty.MakeRaw();
    form.ComPort()->SetDeviceName(u"\\\\.\\" + rtl::Utf8ToString(pty.SlavePath()));

    QEventLoop loop;
    TFeedResult result;
    {
        TTimedReceive timed(form, bytes, loop);
        form.Form().SpeedButtonOpenClose->click();
        if (!form.ComPort()->Active()) return result;
        const std::string text = TerminalText(chunk);
        const auto start = Clock::now();
        std::thread feeder([&] {
            for (int64_t sent = 0; sent < bytes; sent += static_cast<int64_t>(chunk))
                pty.Feed(text.data(), std::min<int64_t>(static_cast<int64_t>(chunk), bytes - sent));
        });
        if (!timed.Finished()) loop.exec();
        result.Seconds = std::chrono::duration<double>(Clock::now() - start).count();
        feeder.join();
        std::vector<double> ms = timed.Ms;
        std::sort(ms.begin(), ms.end());
        result.Bytes = form.ReadBytesTotal();
        result.Calls = static_cast<int64_t>(ms.size());
        if (!ms.empty()) {
            result.MaxMs = ms.back();
            result.MedianMs = ms[ms.size() / 2];
        }
    }
    form.Form().SpeedButtonOpenClose->click();
    return result;
}

} // namespace quillon::console::bench
