#pragma once
// The temperature dialogue with the board. The operator's request and each polling tick
// send "w"; the reply, gathered up to "f", is judged by its length. A wrong one shows the
// error count after a pause that does not block the window, then polling starts.
//
// States: idle or polling (Timer1 on); a pause pending or not (a newer request, tick or
// finished reading ends it first); a polling tick's error box open or not (a tick that
// finds it open does nothing, so there is never more than one). Texts are bytes: the
// window shows them as Latin-1.
#include <string>
#include <string_view>
#include <vector>

namespace quillon::console {

class TTemperatureDialogue {
  public:
    /// The one-line fields the dialogue writes to.
    enum TField { dfTest, dfTest2, dfLength };

    /// What the dialogue does to the window and the port.
    class IOutputs {
      public:
        virtual ~IOutputs() = default;
        virtual void Show(TField field, const std::string& text) = 0;
        /// Memo1: emptied, or one more line.
        virtual void ClearReadings() = 0;
        virtual void AddReading(const std::string& text) = 0;
        /// Timer1's enabled state.
        virtual void SetPolling(bool on) = 0;
        /// The pause ends with PauseOver unless StopPause comes first.
        virtual void StartPause(int ms) = 0;
        virtual void StopPause() = 0;
        /// Writes to the port; a failure throws after the port's error box.
        virtual void Send(const std::string& bytes) = 0;
        /// A finished reading has been judged: good (errors 0) or the errors' count.
        virtual void Judged(const std::string& /*reading*/, int /*errors*/) {}
    };

    static constexpr int PauseMs = 2000;

    explicit TTemperatureDialogue(IOutputs& outputs) : FOut(outputs) {}

    /// The operator's request (Button3).
    void Request();
    /// A tick of Timer1.
    void Tick();
    /// A chunk received while the serial link is the temperature source.
    void Received(std::string_view chunk);
    /// The pause started by StartPause is over.
    void PauseOver();
    /// The port's error box is about to open, and has closed: the box of a polling
    /// tick's failed write holds back the ticks that come while it is open.
    void ErrorBoxOpening();
    void ErrorBoxClosed();
    /// The two above around a box's life.
    struct TErrorBox {
        explicit TErrorBox(TTemperatureDialogue& dialogue) : Dialogue(dialogue) {
            Dialogue.ErrorBoxOpening();
        }
        ~TErrorBox() { Dialogue.ErrorBoxClosed(); }
        TErrorBox(const TErrorBox&) = delete;
        TErrorBox& operator=(const TErrorBox&) = delete;
        TTemperatureDialogue& Dialogue;
    };

  private:
    void Finish();
    void CancelPause();
    void ShowErrorCount();

    IOutputs& FOut;
    std::string lecture;
    int nberreurs = 0;
    bool FPausePending = false;
    bool FTickWriting = false; // a tick's write is under way
    bool FTickBoxOpen = false; // the box of a tick's failed write is open
    struct TSaved {
        bool TickWriting;
        bool TickBoxOpen;
    };
    std::vector<TSaved> FBoxes; // one per open error box, innermost last
};

} // namespace quillon::console
