#pragma once
// What the console's window tests share: scripted boxes and file choices, the board's
// end of a pseudo-terminal, a window on it, and waits on events rather than on time.
#include "TestForm.h"
#include "app/Dialogs.h"
#include "app/QtMainLoop.h"
#include "platform/PortRegistry.h"
#include "tests/support/PtyPair.h"
#include "ui_Unit2.h"

#include <QComboBox>
#include <QString>
#include <QStringList>
#include <chrono>
#include <deque>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::console::testing {

/// Boxes that record their text and return at once, and a file dialog that answers from
/// a script. WhileOpen runs while a box is up, as events delivered by its modal loop.
class TScriptedDialogs : public IDialogs {
  public:
    struct TBox {
        TBoxKind Kind;
        QString Text;
    };

    void ShowBox(TBoxKind kind, const QString& text) override;
    std::optional<QString> ChooseFileToOpen() override;
    /// Answered from the same script as the file dialog.
    std::optional<QString> ChooseFileToSave() override;

    QStringList Texts() const;
    /// The next file dialog's answer; none cancels it.
    void AnswerFile(const std::optional<QString>& path) {
        FAnswers.push_back(path.value_or(QString()));
    }

    std::vector<TBox> Boxes;
    std::function<void(const TBox&)> WhileOpen;
    int OpenBoxes = 0;
    int MostOpenAtOnce = 0;
    int FileDialogs = 0;

  private:
    std::deque<QString> FAnswers; // a null text cancels
};

/// The board's end of a pseudo-terminal pair; the console opens the other end.
class TPtyBoard {
  public:
    TPtyBoard();

    const std::string& DevicePath() const { return FPty.SlavePath(); }
    /// The test's own descriptor of the console's end: the tty's settings read through it.
    int Slave() const { return FPty.Slave(); }
    /// Sends bytes to the console.
    void Send(std::string_view bytes) { FPty.Feed(bytes); }
    /// What the console writes, up to and including the first occurrence of end (the
    /// window keeps running meanwhile). Fails the test after timeout.
    std::string ReadUntil(std::string_view end,
                          std::chrono::milliseconds timeout = std::chrono::seconds(5));

  private:
    quillon_test::TPtyPair FPty;
    std::string FPending;
};

/// The Qt loop with a clock a test moves by hand, so timers tick without waiting.
class TManualClockLoop : public TQtMainLoop {
  public:
    /// Switches between Qt's timers and the manual clock; running timers carry over.
    void SetManualClock(bool manual);
    /// Moves the manual clock forward, running posted work first and then every timer
    /// that falls due, in time order. May be called from inside a tick.
    void Advance(std::chrono::milliseconds by);
    std::chrono::milliseconds Now() const { return FNow; }

  protected:
    void Arm(TimerId id, TTimerEntry& entry) override;
    void Disarm(TimerId id, TTimerEntry& entry) override;

  private:
    bool FManual = false;
    std::chrono::milliseconds FNow{0};
    std::map<TimerId, std::chrono::milliseconds> FDue; // the manual clock's timers
};

/// The loop every window test runs on (manual clock unless a test says otherwise).
TManualClockLoop& Loop();
/// Installs the loop (the test program's main does, once).
void SetLoop(TManualClockLoop* loop);

/// Waits, running the window, until done() holds; false after timeout.
bool WaitFor(const std::function<bool()>& done,
             std::chrono::milliseconds timeout = std::chrono::seconds(5));

/// Picks item index in a drop-down list the way an operator does: opens the list,
/// moves to the item, presses Return.
void ChooseItem(QComboBox* combo, int index);

/// The lines of a multi-line text, none when it is empty.
QStringList LinesOf(const QString& text);

/// A window on a board at the first place of the device list, shown, with its boxes
/// scripted and the application's exception display going to the same boxes.
class ConsoleTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    Ui::Form2& ui() { return form->Form(); }
    /// Clicks "Open" and waits until the port is open.
    void OpenPort();
    /// Sends bytes and waits until the window has counted them.
    void Receive(std::string_view bytes);
    /// Waits until a log load that goes on between the window's events has ended.
    void FinishLoad();
    /// The timer's current state.
    bool Timer1Enabled() const { return form->Timer1()->Enabled(); }

    TScriptedDialogs dialogs;
    std::unique_ptr<TPtyBoard> board;
    qwin::TPortRegistration registration;
    std::unique_ptr<TTestForm2> form;
};

} // namespace quillon::console::testing
