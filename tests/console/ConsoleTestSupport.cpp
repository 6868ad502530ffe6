#include "ConsoleTestSupport.h"

#include "rtl/Application.h"

#include <QAbstractItemView>
#include <QEventLoop>
#include <QSignalSpy>
#include <QSocketNotifier>
#include <QTest>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

namespace quillon::console::testing {

void TScriptedDialogs::ShowBox(TBoxKind kind, const QString& text) {
    Boxes.push_back({kind, text});
    ++OpenBoxes;
    MostOpenAtOnce = std::max(MostOpenAtOnce, OpenBoxes);
    if (WhileOpen) WhileOpen(Boxes.back());
    --OpenBoxes;
}

std::optional<QString> TScriptedDialogs::ChooseFileToSave() {
    return ChooseFileToOpen();
}

std::optional<QString> TScriptedDialogs::ChooseFileToOpen() {
    ++FileDialogs;
    if (FAnswers.empty()) {
        ADD_FAILURE() << "the file dialog opened without a scripted answer";
        return std::nullopt;
    }
    const QString answer = FAnswers.front();
    FAnswers.pop_front();
    if (answer.isNull()) return std::nullopt;
    return answer;
}

QStringList TScriptedDialogs::Texts() const {
    QStringList texts;
    for (const TBox& b : Boxes)
        texts << b.Text;
    return texts;
}

TPtyBoard::TPtyBoard() {
    FPty.MakeRaw();
    // ReadUntil takes what is there and then waits on the window's own loop.
    fcntl(FPty.Master(), F_SETFL, fcntl(FPty.Master(), F_GETFL) | O_NONBLOCK);
}

std::string TPtyBoard::ReadUntil(std::string_view end, std::chrono::milliseconds timeout) {
    QSocketNotifier notifier(FPty.Master(), QSocketNotifier::Read);
    QSignalSpy ready(&notifier, &QSocketNotifier::activated);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        char buf[4096];
        ssize_t n;
        while ((n = ::read(FPty.Master(), buf, sizeof buf)) > 0)
            FPending.append(buf, static_cast<size_t>(n));
        if (auto at = FPending.find(end); at != std::string::npos) {
            std::string out = FPending.substr(0, at + end.size());
            FPending.erase(0, at + end.size());
            return out;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !ready.wait(static_cast<int>(left.count()))) {
            ADD_FAILURE() << "the console did not write \"" << end << "\"; it wrote \"" << FPending
                          << "\"";
            return std::exchange(FPending, {});
        }
    }
}

void TManualClockLoop::SetManualClock(bool manual) {
    if (manual == FManual) return;
    for (auto& [id, entry] : Timers())
        Disarm(id, entry);
    FManual = manual;
    for (auto& [id, entry] : Timers())
        Arm(id, entry);
}

void TManualClockLoop::Arm(TimerId id, TTimerEntry& entry) {
    if (FManual)
        FDue[id] = FNow + entry.Interval;
    else
        TQtMainLoop::Arm(id, entry);
}

void TManualClockLoop::Disarm(TimerId id, TTimerEntry& entry) {
    FDue.erase(id);
    TQtMainLoop::Disarm(id, entry);
}

void TManualClockLoop::Advance(std::chrono::milliseconds by) {
    const auto target = FNow + by;
    for (;;) {
        QCoreApplication::sendPostedEvents(this);
        auto next = FDue.end();
        for (auto it = FDue.begin(); it != FDue.end(); ++it)
            if (it->second <= target && (next == FDue.end() || it->second < next->second))
                next = it;
        if (next == FDue.end()) break;
        FNow = std::max(FNow, next->second);
        const TTimerEntry& entry = Timers().at(next->first);
        next->second = FNow + entry.Interval;
        const std::shared_ptr<Task> tick = entry.Tick;
        RunGuarded(*tick);
    }
    // A nested Advance inside a tick may already have gone further.
    FNow = std::max(FNow, target);
}

namespace {
TManualClockLoop* g_loop = nullptr;
}

void SetLoop(TManualClockLoop* loop) {
    g_loop = loop;
    rtl::SetMainLoop(loop);
}

TManualClockLoop& Loop() {
    return *g_loop;
}

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    return QTest::qWaitFor(done, static_cast<int>(timeout.count()));
}

void ChooseItem(QComboBox* combo, int index) {
    combo->showPopup();
    QAbstractItemView* view = combo->view();
    view->setCurrentIndex(combo->model()->index(index, combo->modelColumn()));
    QTest::keyClick(view, Qt::Key_Return);
}

QStringList LinesOf(const QString& text) {
    if (text.isEmpty()) return {};
    return text.split(QLatin1Char('\n'));
}

void ConsoleTest::SetUp() {
    Loop().SetManualClock(true);
    board = std::make_unique<TPtyBoard>();
    registration = qwin::TPortRegistration(board->DevicePath(), "Quillon test board");
    rtl::Application().SetExceptionDisplay([this](const std::string& message) {
        dialogs.ShowBox(IDialogs::bkError, QString::fromUtf8(message));
    });
    form = std::make_unique<TTestForm2>(dialogs, rtl::TFormatSettings::FromLocale("C"));
    form->show();
}

void ConsoleTest::TearDown() {
    form.reset();
    rtl::Application().SetExceptionDisplay(nullptr);
    registration.Release();
    board.reset();
}

void ConsoleTest::OpenPort() {
    ASSERT_EQ(form->ComPort()->DeviceName(), u"\\\\.\\" + rtl::Utf8ToString(board->DevicePath()));
    QTest::mouseClick(ui().SpeedButtonOpenClose, Qt::LeftButton);
    ASSERT_TRUE(form->ComPort()->Active()) << dialogs.Texts().join(" | ").toStdString();
}

void ConsoleTest::Receive(std::string_view bytes) {
    const int64_t target = form->ReadBytesTotal() + static_cast<int64_t>(bytes.size());
    board->Send(bytes);
    ASSERT_TRUE(WaitFor([&] { return form->ReadBytesTotal() >= target; }))
        << "received " << form->ReadBytesTotal() << " of " << target << " bytes";
}

} // namespace quillon::console::testing

namespace quillon::console::testing {

void ConsoleTest::FinishLoad() {
    if (!form->Loading()) return;
    // A load's last step is its "Tracé terminé" box.
    QEventLoop loop;
    const auto whileOpen = dialogs.WhileOpen;
    dialogs.WhileOpen = [&](const TScriptedDialogs::TBox& box) {
        if (whileOpen) whileOpen(box);
        if (box.Text == QStringLiteral("Tracé terminé")) loop.quit();
    };
    QTimer::singleShot(60000, &loop, [&] { loop.exit(1); });
    const bool late = loop.exec() != 0;
    dialogs.WhileOpen = whileOpen;
    ASSERT_FALSE(late) << "the load did not end";
}

} // namespace quillon::console::testing
