// Inputs far larger than the board sends: a megabyte on one terminal line, a temperature
// log of a hundred thousand lines in reverse order, and one of a million lines, loaded
// between the window's events.
#include "../console/ConsoleTestSupport.h"
#include "app/TemperatureChart.h"
#include "app/TerminalView.h"
#include "tests/support/ScratchDir.h"

#include <QTest>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace quillon::console::testing {
namespace {

namespace fs = std::filesystem;

class LargeInput : public ConsoleTest {
  protected:
    /// Writes a log of lines first..last (a step of -1 when first > last) and loads it.
    void LoadLog(int first, int last) {
        const fs::path path = dir / "log.txt";
        {
            std::ofstream out(path, std::ios::binary);
            const int step = first <= last ? 1 : -1;
            for (int id = first;; id += step) {
                out << id << ',' << (id % 500) / 10 << '.' << id % 10 << ";\n";
                if (id == last) break;
            }
        }
        dialogs.AnswerFile(QString::fromStdString(path.string()));
        QTest::mouseClick(ui().Button2, Qt::LeftButton);
    }
    /// Whether the chart holds exactly the points of ids lo..hi, in ascending order.
    ::testing::AssertionResult HoldsLogPoints(int lo, int hi) {
        const QList<QPointF> points = form->Chart1().Points();
        if (points.size() != hi - lo + 1)
            return ::testing::AssertionFailure() << points.size() << " points";
        for (int id = lo; id <= hi; ++id) {
            const QPointF want(id, (id % 500) / 10 + (id % 10) / 10.0);
            if (points[id - lo] != want)
                return ::testing::AssertionFailure()
                       << "point " << id - lo << " is (" << points[id - lo].x() << ", "
                       << points[id - lo].y() << ")";
        }
        return ::testing::AssertionSuccess();
    }
    const quillon_test::TScratchDir scratch{"quillon-large"};
    const fs::path dir = scratch.Path();
};

TEST_F(LargeInput, TheTerminalKeepsAMegabyteWithoutALineEnd) {
    std::string data;
    data.reserve(1 << 20);
    for (size_t i = 0; data.size() < (1u << 20); ++i) {
        const char c = static_cast<char>(i * 31 % 256);
        if (c != '\n' && c != '\r') data += c;
    }
    for (size_t at = 0; at < data.size(); at += 4096)
        ui().Memo->AppendText(QString::fromLatin1(data.substr(at, 4096)));
    QCoreApplication::processEvents(); // paints and lays out what it took

    EXPECT_EQ(ui().Memo->LineCount(), 1);
    const QString text = ui().Memo->Text();
    EXPECT_EQ(text.size(), qsizetype(data.size()));
    EXPECT_TRUE(text == QString::fromLatin1(data)) << "the terminal lost or changed bytes";
}

TEST_F(LargeInput, AHundredThousandLinesInReverseOrderArePlottedAscending) {
    LoadLog(100000, 1);
    FinishLoad();
    EXPECT_EQ(dialogs.Texts(), QStringList({"bon format", "Tracé terminé"}));
    EXPECT_TRUE(HoldsLogPoints(1, 100000));
}

TEST_F(LargeInput, AMillionLinesLoadBetweenTheWindowsEventsWithoutError) {
    LoadLog(1, 1000000);
    // The click has returned long before the end: the window answers meanwhile.
    ASSERT_TRUE(form->Loading());
    FinishLoad();
    EXPECT_EQ(dialogs.Texts(), QStringList({"bon format", "Tracé terminé"}));
    EXPECT_TRUE(HoldsLogPoints(1, 1000000));
    EXPECT_EQ(ui().Memo1->LineCount(), 1000000);
}

} // namespace
} // namespace quillon::console::testing
