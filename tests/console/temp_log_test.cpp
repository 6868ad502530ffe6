// Loading a temperature log: format checks, the messages, the chart and the locales.
#include "ConsoleTestSupport.h"
#include "app/TemperatureChart.h"
#include "tests/support/ScratchDir.h"

#include <QChart>
#include <QLineSeries>
#include <QTest>
#include <QValueAxis>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace quillon::console::testing {
namespace {

namespace fs = std::filesystem;

// Sets an environment variable for the life of a scope.
class TEnvOverride {
  public:
    TEnvOverride(const char* name, const std::string& value) : FName(name) {
        if (const char* old = std::getenv(name)) FOld = old;
        setenv(name, value.c_str(), 1);
    }
    ~TEnvOverride() {
        if (FOld)
            setenv(FName, FOld->c_str(), 1);
        else
            unsetenv(FName);
    }

  private:
    const char* FName;
    std::optional<std::string> FOld;
};

class TempLogTest : public ConsoleTest {
  protected:
    void TearDown() override {
        fs::permissions(dir, fs::perms::owner_all); // so that it can be removed
        ConsoleTest::TearDown();
    }
    QString Write(const std::string& name, const std::string& content) {
        const fs::path p = dir / name; // names are UTF-8, as the file system's are
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << content;
        return QString::fromStdString(p.string());
    }
    /// Chooses path in the dialog and clicks the load button.
    void Load(const std::optional<QString>& path) {
        dialogs.AnswerFile(path);
        QTest::mouseClick(ui().Button2, Qt::LeftButton);
        FinishLoad();
    }
    QList<QPointF> Points() const { return form->Chart1().Points(); }
    QStringList Memo1Lines() { return LinesOf(ui().Memo1->Text()); }
    void UseSeparator(char c) {
        rtl::TFormatSettings settings;
        settings.DecimalSeparator = c;
        form.reset();
        form = std::make_unique<TTestForm2>(dialogs, settings);
        form->show();
    }

    const quillon_test::TScratchDir scratch{"quillon-logs"};
    const fs::path dir = scratch.Path();
};

TEST_F(TempLogTest, FrenchLocaleReadsDecimalCommas) {
    UseSeparator(',');
    Load(Write("log.txt", "12,23,5;\n"));
    EXPECT_EQ(dialogs.Texts(), QStringList({"bon format", "Tracé terminé"}));
    EXPECT_EQ(Points(), QList<QPointF>({{12, 23.5}}));
    EXPECT_EQ(Memo1Lines(), QStringList({"23,5"}));
    EXPECT_TRUE(ui().Edit1->text().endsWith("log.txt"));
}

TEST_F(TempLogTest, DotLocaleReadsDecimalPoints) {
    Load(Write("log.txt", "12,23.5;\n"));
    EXPECT_EQ(dialogs.Texts(), QStringList({"bon format", "Tracé terminé"}));
    EXPECT_EQ(Points(), QList<QPointF>({{12, 23.5}}));
}

TEST_F(TempLogTest, FrenchLocaleFromTheEnvironment) {
    const fs::path locales = dir / "locales";
    fs::create_directories(locales);
    const std::string make =
        "localedef -i fr_FR -f UTF-8 '" + (locales / "fr_FR.UTF-8").string() + "' >/dev/null 2>&1";
    if (std::system(make.c_str()) != 0) GTEST_SKIP() << "localedef cannot build fr_FR here";
    rtl::TFormatSettings settings;
    {
        TEnvOverride locPath("LOCPATH", locales.string());
        TEnvOverride all("LC_ALL", "fr_FR.UTF-8");
        settings = rtl::TFormatSettings::FromEnvironment();
    }
    ASSERT_EQ(settings.DecimalSeparator, ',');

    form.reset();
    form = std::make_unique<TTestForm2>(dialogs, settings);
    form->show();
    Load(Write("log.txt", "12,23,5;\n13,23.5;\n"));
    // The dot is not this locale's separator: that temperature is not a number.
    EXPECT_EQ(dialogs.Texts(), QStringList({"bon format", "erreur de format", "Tracé terminé"}));
    EXPECT_EQ(Points(), QList<QPointF>({{12, 23.5}}));
}

TEST_F(TempLogTest, ExtensionInCapitalsIsAccepted) {
    Load(Write("LOG.TXT", "1,20;\n"));
    EXPECT_EQ(dialogs.Texts(), QStringList({"bon format", "Tracé terminé"}));
    EXPECT_EQ(Points().size(), 1);
}

TEST_F(TempLogTest, OtherExtensionIsRefusedAndChangesNothingElse) {
    Load(Write("log.txt", "1,20;\n"));
    dialogs.Boxes.clear();
    Load(Write("log.csv", "2,21;\n"));
    EXPECT_EQ(dialogs.Texts(), QStringList({"mauvais format"}));
    EXPECT_TRUE(ui().Edit1->text().endsWith("log.csv"));
    EXPECT_EQ(Points(), QList<QPointF>({{1, 20}}));
    EXPECT_EQ(ui().Memo1->Text(), "");
}

TEST_F(TempLogTest, CancelledDialogOnlyClearsMemo1) {
    Load(Write("log.txt", "1,20;\n"));
    dialogs.Boxes.clear();
    const QString shown = ui().Edit1->text();
    Load(std::nullopt);
    EXPECT_TRUE(dialogs.Boxes.empty());
    EXPECT_EQ(ui().Memo1->Text(), "");
    EXPECT_EQ(ui().Edit1->text(), shown);
    EXPECT_EQ(Points().size(), 1);
}

TEST_F(TempLogTest, LastLineCountsOnceWithOrWithoutLineFeed) {
    Load(Write("a.txt", "1,20;\n2,21;\n"));
    EXPECT_EQ(Points(), QList<QPointF>({{1, 20}, {2, 21}}));
    Load(Write("b.txt", "1,20;\n2,21;"));
    EXPECT_EQ(Points(), QList<QPointF>({{1, 20}, {2, 21}}));
}

TEST_F(TempLogTest, EmptyLineIsAFormatProblem) {
    Load(Write("log.txt", "\n1,20;\n\n2,21;\n"));
    EXPECT_EQ(dialogs.Texts(), QStringList({"bon format", "Problème de format",
                                            "Problème de format", "Tracé terminé"}));
    EXPECT_EQ(Memo1Lines(), QStringList({"", "20", "", "21"}));
    EXPECT_EQ(Points().size(), 2);
}

TEST_F(TempLogTest, BadNumbersShowOneBoxEachAndAddNoPoint) {
    Load(Write("log.txt", "1,20;\nx,21;\n3,y;\na,b;\n4;\n5,22;\n"));
    EXPECT_EQ(
        dialogs.Texts(),
        QStringList({"bon format", "erreur de format", "erreur de format", "erreur de format",
                     "erreur de format", "erreur de format", "erreur de format", "Tracé terminé"}));
    EXPECT_EQ(Points(), QList<QPointF>({{1, 20}, {5, 22}}));
    EXPECT_EQ(Memo1Lines(), QStringList({"20", "21", "y", "b", "", "22"}));
}

TEST_F(TempLogTest, PointsAreDrawnByIncreasingIdentifier) {
    Load(Write("log.txt", "3,30;\n1,10;\n2,20;\n"));
    EXPECT_EQ(Points(), QList<QPointF>({{1, 10}, {2, 20}, {3, 30}}));
    EXPECT_EQ(Memo1Lines(), QStringList({"30", "10", "20"}));
    EXPECT_LE(form->Chart1().BottomAxis()->min(), 1);
    EXPECT_GE(form->Chart1().BottomAxis()->max(), 3);
    EXPECT_EQ(form->Chart1().LeftAxis()->max(), 50);
}

TEST_F(TempLogTest, PointsReadSoFarShowBehindABox) {
    qsizetype shownAtBox = -1;
    dialogs.WhileOpen = [&](const TScriptedDialogs::TBox& box) {
        if (box.Text == "Problème de format") shownAtBox = Points().size();
    };
    Load(Write("log.txt", "2,20;\n1,21;\nbroken\n3,22;\n"));
    EXPECT_EQ(shownAtBox, 2);
    EXPECT_EQ(Points().size(), 3);
}

TEST_F(TempLogTest, ReadOnlyFileLoads) {
    const QString path = Write("log.txt", "1,20;\n");
    fs::permissions(path.toStdString(), fs::perms::owner_read | fs::perms::group_read);
    Load(path);
    EXPECT_EQ(dialogs.Texts(), QStringList({"bon format", "Tracé terminé"}));
    EXPECT_EQ(Points().size(), 1);
}

TEST_F(TempLogTest, MissingFileCannotBeOpened) {
    Load(Write("log.txt", "1,20;\n"));
    dialogs.Boxes.clear();
    Load(QString::fromStdString((dir / "gone.txt").string()));
    EXPECT_EQ(dialogs.Texts(), QStringList({"bon format", "Le fichier ne peut être ouvert"}));
    EXPECT_EQ(Points().size(), 1);
    EXPECT_EQ(ui().Memo1->Text(), "");
}

TEST_F(TempLogTest, PathWithAccentsOpens) {
    Load(Write("données été/relevé.txt", "1,20;\n"));
    EXPECT_EQ(dialogs.Texts(), QStringList({"bon format", "Tracé terminé"}));
    EXPECT_TRUE(ui().Edit1->text().endsWith("données été/relevé.txt"));
}

TEST_F(TempLogTest, ChartKeepsItsFixedTemperatureAxis) {
    Load(Write("log.txt", "1,-5;\n2,75;\n"));
    EXPECT_EQ(Points(), QList<QPointF>({{1, -5}, {2, 75}}));
    const QValueAxis* left = form->Chart1().LeftAxis();
    EXPECT_EQ(left->min(), 0);
    EXPECT_EQ(left->max(), 50);
    EXPECT_EQ(left->titleText(), "Température (°C)");
    EXPECT_EQ(left->titleBrush().color(), QColor(Qt::blue));
    EXPECT_EQ(form->Chart1().BottomAxis()->titleText(), "Id");
    EXPECT_EQ(ui().Chart1->chart()->title(), "Affichage température");
}

} // namespace
} // namespace quillon::console::testing

namespace quillon::console::testing {
namespace {

TEST(ChartColumns, FewPointsAreAllDrawnAndManyKeepEachColumnsExtremes) {
    const QList<QPointF> few = {{1, 20}, {2, 25}, {3, 21}, {4, 22}, {5, 20}};
    EXPECT_EQ(PointsForColumns(few, 0, 10, 400), few);

    QList<QPointF> many;
    for (int i = 0; i < 100000; ++i)
        many.append(QPointF(i, (i * 7919) % 50));
    const int columns = 400;
    const QList<QPointF> drawn = PointsForColumns(many, 0, 100000, columns);
    EXPECT_LE(drawn.size(), 4 * columns);
    EXPECT_EQ(drawn.front(), many.front());
    EXPECT_EQ(drawn.back(), many.back());
    // Every column reaches from the lowest to the highest of its points: here 0 and 49.
    for (int c = 0; c < columns; ++c) {
        double lo = 1e9, hi = -1e9;
        for (const QPointF& p : drawn)
            if (int(p.x() * columns / 100000) == c) {
                lo = std::min(lo, p.y());
                hi = std::max(hi, p.y());
            }
        ASSERT_EQ(lo, 0) << "column " << c;
        ASSERT_EQ(hi, 49) << "column " << c;
    }
    EXPECT_TRUE(std::is_sorted(drawn.begin(), drawn.end(),
                               [](const QPointF& a, const QPointF& b) { return a.x() < b.x(); }));
}

} // namespace
} // namespace quillon::console::testing
