#include "app/TemperatureDialogue.h"

#include "app/ReplyScan.h"

#include <utility>

namespace quillon::console {

namespace {
const std::string kRequest = "w";
// Fixed texts in Latin-1, like the readings they share the fields with.
const std::string kAsking = "Demande temp\xE9rature";
} // namespace

void TTemperatureDialogue::Request() {
    // A newer request replaces a pending pause's step: its "Erreur" would be stale.
    CancelPause();
    FOut.Show(dfTest, kAsking);
    FOut.SetPolling(false);
    nberreurs = 0;
    lecture.clear();
    FOut.Show(dfLength, {});
    FOut.Show(dfTest2, {});
    FOut.ClearReadings();
    FOut.Send(kRequest);
}

void TTemperatureDialogue::Tick() {
    if (FTickBoxOpen) return;
    CancelPause();
    FOut.Show(dfTest, kAsking);
    lecture.clear();
    FOut.Show(dfLength, {});
    FOut.Show(dfTest2, {});
    FOut.ClearReadings();
    struct TWriting {
        bool& Flag;
        bool Old;
        ~TWriting() { Flag = Old; }
    } writing{FTickWriting, std::exchange(FTickWriting, true)};
    FOut.Send(kRequest);
}

void TTemperatureDialogue::Received(std::string_view chunk) {
    FOut.Show(dfTest2, "d\xE9"
                       "but lecture");
    const TReplyScan scan = ScanReply(chunk, lecture);
    if (scan.TemperatureStarted)
        FOut.Show(dfTest2, "d\xE9"
                           "but tep\xE9rature");
    if (scan.ReadingFinished) Finish();
}

void TTemperatureDialogue::Finish() {
    // A reading that ends during the pause comes after the pause's step, as it would had
    // the pause blocked the window.
    if (FPausePending) {
        CancelPause();
        ShowErrorCount();
    }
    FOut.Show(dfTest2, "fin lecture");
    FOut.AddReading(lecture);
    FOut.Show(dfTest, lecture);
    FOut.Show(dfLength, std::to_string(lecture.size()));
    if (IsGoodReading(lecture)) {
        FOut.Show(dfTest2, "Bonne valeur");
        FOut.SetPolling(false);
        FOut.Judged(lecture, 0);
        return;
    }
    FOut.AddReading(lecture);
    ++nberreurs;
    FOut.Judged(lecture, nberreurs);
    FPausePending = true;
    FOut.StartPause(PauseMs);
}

void TTemperatureDialogue::PauseOver() {
    if (!std::exchange(FPausePending, false)) return;
    ShowErrorCount();
}

void TTemperatureDialogue::ShowErrorCount() {
    FOut.Show(dfTest, "Erreur" + std::to_string(nberreurs));
    FOut.SetPolling(true);
}

void TTemperatureDialogue::CancelPause() {
    if (std::exchange(FPausePending, false)) FOut.StopPause();
}

void TTemperatureDialogue::ErrorBoxOpening() {
    FBoxes.push_back({FTickWriting, FTickBoxOpen});
    // Any other write made while the box is open is not the tick's.
    FTickBoxOpen = FTickBoxOpen || FTickWriting;
    FTickWriting = false;
}

void TTemperatureDialogue::ErrorBoxClosed() {
    if (FBoxes.empty()) return;
    FTickWriting = FBoxes.back().TickWriting;
    FTickBoxOpen = FBoxes.back().TickBoxOpen;
    FBoxes.pop_back();
}

} // namespace quillon::console
