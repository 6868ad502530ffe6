// The operator's tools: the terminal's hex view and "Enregistrer sous…", the journal of
// judged readings, and the parameter field as a command line with its history.
#include "ConsoleTestSupport.h"
#include "tests/support/ScratchDir.h"

#include <QAction>
#include <QFile>
#include <QRegularExpression>
#include <QTest>
#include <chrono>

namespace quillon::console::testing {
namespace {

using namespace std::chrono_literals;

class ToolsTest : public ConsoleTest {
  protected:
    QAction* Action(QWidget* pane, const QString& text) {
        for (QAction* a : pane->actions())
            if (a->text() == text) return a;
        ADD_FAILURE() << "no action " << text.toStdString();
        return nullptr;
    }
    QByteArray Contents(const std::string& path) {
        QFile file(QString::fromStdString(path));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    quillon_test::TScratchDir dir{"quillon-tools"};
};

TEST_F(ToolsTest, HexViewShowsEveryByteAndSavingWritesThemExactly) {
    OpenPort();
    const std::string first("ok c42\r\n\0\xE9", 10);
    Receive(first);
    Action(ui().Memo, "Affichage hexadécimal")->trigger();
    Receive("ab\rcdefghijk");
    EXPECT_EQ(ui().Memo->Text(),
              "00000000  6f 6b 20 63 34 32 0d 0a  00 e9 61 62 0d 63 64 65  ok c42....ab.cde\n"
              "00000010  66 67 68 69 6a 6b                                 fghijk");
    Action(ui().Memo, "Affichage hexadécimal")->trigger();
    EXPECT_EQ(ui().Memo->Text(), QString::fromLatin1("ok c42\n\0\xE9"
                                                     "ab\ncdefghijk",
                                                     21));

    // Saved with the window's shortcut, the port closed: the bytes as they came.
    QTest::mouseClick(ui().SpeedButtonOpenClose, Qt::LeftButton);
    dialogs.AnswerFile(QString::fromStdString(dir.PathOf("terminal.bin")));
    QTest::keyClick(form.get(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(Contents(dir.PathOf("terminal.bin")),
              QByteArray((first + "ab\rcdefghijk").c_str(), 22));
    EXPECT_TRUE(dialogs.Boxes.empty()) << dialogs.Texts().join(" | ").toStdString();
}

TEST_F(ToolsTest, JournalAppendsEachJudgedReadingAndAFailedWriteIsShownOnce) {
    OpenPort();
    QTest::mouseClick(ui().RadioButton6, Qt::LeftButton);
    const std::string path = dir.PathOf("mesures.csv");
    dialogs.AnswerFile(QString::fromStdString(path));
    Action(ui().Memo1, "Journal des mesures…")->trigger();
    QTest::mouseClick(ui().Button3, Qt::LeftButton);
    Receive("w23.50f");
    QTest::mouseClick(ui().Button3, Qt::LeftButton);
    Receive("\r\nw2\"f");
    const QStringList lines = QString::fromUtf8(Contents(path)).split('\n');
    ASSERT_EQ(lines.size(), 5) << lines.join(" | ").toStdString();
    EXPECT_EQ(lines[0], "date;valeur;résultat");
    const QRegularExpression stamp("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d;");
    EXPECT_TRUE(stamp.match(lines[1]).hasMatch()) << lines[1].toStdString();
    EXPECT_TRUE(lines[1].endsWith(";\"23.50\";Bonne valeur"));
    EXPECT_TRUE(lines[2].endsWith(";\"\r")) << "the reading keeps the line ends sent before it";
    EXPECT_EQ(lines[3], "2\"\"\";Erreur 1");
    EXPECT_EQ(lines[4], "");
    Loop().Advance(2000ms);

    // A journal that cannot be written: one box, and the option goes off.
    dialogs.AnswerFile(QStringLiteral("/dev/full"));
    Action(ui().Memo1, "Journal des mesures…")->trigger();
    Action(ui().Memo1, "Journal des mesures…")->trigger();
    for (int i = 0; i < 2; ++i) {
        QTest::mouseClick(ui().Button3, Qt::LeftButton);
        Receive("w1f");
    }
    ASSERT_EQ(dialogs.Boxes.size(), 1u) << dialogs.Texts().join(" | ").toStdString();
    EXPECT_TRUE(dialogs.Boxes[0].Text.startsWith("Le journal des mesures ne peut être écrit"));
    EXPECT_FALSE(Action(ui().Memo1, "Journal des mesures…")->isChecked());
}

TEST_F(ToolsTest, EnterSendsTheParameterAndUpDownRecallTheLastTwenty) {
    OpenPort();
    for (int i = 1; i <= 21; ++i) {
        ui().parametre->setText(QString("p%1").arg(i));
        QTest::keyClick(ui().parametre, Qt::Key_Return);
    }
    std::string sent;
    for (int i = 1; i <= 21; ++i)
        sent += "p" + std::to_string(i);
    EXPECT_EQ(board->ReadUntil("p21"), sent);
    ui().parametre->setText("typing");
    QTest::keyClick(ui().parametre, Qt::Key_Up);
    EXPECT_EQ(ui().parametre->text(), "p21");
    for (int i = 0; i < 25; ++i)
        QTest::keyClick(ui().parametre, Qt::Key_Up);
    EXPECT_EQ(ui().parametre->text(), "p2") << "the oldest of the last twenty";
    for (int i = 0; i < 19; ++i)
        QTest::keyClick(ui().parametre, Qt::Key_Down);
    EXPECT_EQ(ui().parametre->text(), "p21");
    QTest::keyClick(ui().parametre, Qt::Key_Down);
    EXPECT_EQ(ui().parametre->text(), "typing");
}

} // namespace
} // namespace quillon::console::testing
