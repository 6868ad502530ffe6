// Ten thousand seeded temperature logs of every awkward shape (long lines, zero bytes,
// CR LF, no final line feed, garbage numbers, empty files) loaded by the window: the
// messages and the points are those of a small model of the format.
#include "../console/ConsoleTestSupport.h"
#include "app/TemperatureChart.h"
#include "tests/support/ScratchDir.h"

#include <QTest>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <unistd.h>

namespace quillon::console::testing {
namespace {

namespace fs = std::filesystem;

// ---- the model: lines end after a line feed; fields at the first "," and ";"

// Blanks, sign, digits with at most one ".", an exponent; nothing else (C notation).
bool IsModelNumber(const std::string& t) {
    size_t i = 0, n = t.size();
    auto blank = [&](size_t k) { return t[k] == ' ' || t[k] == '\t'; };
    auto digits = [&] {
        const size_t from = i;
        while (i < n && t[i] >= '0' && t[i] <= '9')
            ++i;
        return i - from;
    };
    while (i < n && blank(i))
        ++i;
    while (n > i && blank(n - 1))
        --n;
    if (i < n && (t[i] == '+' || t[i] == '-')) ++i;
    size_t mantissa = digits();
    if (i < n && t[i] == '.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0) return false;
    if (i < n && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < n && (t[i] == '+' || t[i] == '-')) ++i;
        if (digits() == 0) return false;
    }
    return i == n;
}

std::optional<double> ModelNumber(const std::string& text) {
    if (!IsModelNumber(text)) return std::nullopt;
    return std::strtod(text.c_str(), nullptr);
}

struct TModelLoad {
    QStringList Messages{"bon format"};
    QList<QPointF> Points;
};

TModelLoad ModelLoad(const std::string& file) {
    TModelLoad m;
    size_t start = 0;
    while (start < file.size()) {
        const size_t lf = file.find('\n', start);
        const size_t end = lf == std::string::npos ? file.size() : lf + 1;
        const std::string line = file.substr(start, end - start);
        start = end;
        const size_t semi = line.find(';');
        if (semi == std::string::npos) {
            m.Messages << "Problème de format";
            continue;
        }
        const size_t comma = std::min(line.find(','), line.size());
        const auto id = ModelNumber(line.substr(0, comma));
        const auto temp =
            ModelNumber(semi > comma + 1 ? line.substr(comma + 1, semi - comma - 1) : "");
        if (!id) m.Messages << "erreur de format";
        if (!temp) m.Messages << "erreur de format";
        if (id && temp) m.Points.append(QPointF(*id, *temp));
    }
    m.Messages << "Tracé terminé";
    std::stable_sort(m.Points.begin(), m.Points.end(),
                     [](const QPointF& a, const QPointF& b) { return a.x() < b.x(); });
    return m;
}

// ---- the generator

class TLogGenerator {
  public:
    explicit TLogGenerator(unsigned seed) : FRng(seed) {}

    std::string File() {
        if (Chance(0.05)) return {};
        std::string file;
        const int lines = Between(1, 12);
        for (int i = 0; i < lines; ++i) {
            file += Line();
            file += Chance(0.2) ? "\r\n" : "\n";
        }
        if (Chance(0.5)) file.pop_back(); // no final line feed (a CR may stay)
        return file;
    }

  private:
    std::string Line() {
        switch (Between(0, 9)) {
        case 0:
            return Garbage(Between(255, 1200)); // longer than one buffer
        case 1:
            return Number() + "," + Number() + ";" + Garbage(Between(250, 600));
        case 2:
            return Number() + "," + Number(); // no ";"
        case 3:
            return Number() + ";" + Number(); // no ","
        case 4:
            return Garbage(Between(0, 6)) + "," + Number() + ";";
        case 5:
            return Number() + "," + Garbage(Between(0, 6)) + ";";
        case 6:
            return Garbage(Between(0, 20));
        default:
            return Number() + "," + Number() + ";" + (Chance(0.3) ? Garbage(3) : "");
        }
    }
    // Short decimals, which both conversions give exactly.
    std::string Number() {
        std::string s;
        if (Chance(0.2)) s += Chance(0.5) ? "-" : "+";
        if (Chance(0.1)) s += " ";
        s += std::to_string(Between(0, 99999));
        if (Chance(0.5)) s += "." + std::to_string(Between(0, 999));
        if (Chance(0.1)) s += "e" + std::to_string(Between(-5, 5));
        if (Chance(0.1)) s += "\t";
        return s;
    }
    std::string Garbage(int n) {
        static const std::string alphabet =
            std::string("0123456789.,;+-eE \tabcXYZ\r") + std::string(1, '\0') + "\x80\xA0\xE9\xFF";
        std::string s;
        for (int i = 0; i < n; ++i)
            s += alphabet[size_t(Between(0, int(alphabet.size()) - 1))];
        return s;
    }
    int Between(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(FRng); }
    bool Chance(double p) { return std::bernoulli_distribution(p)(FRng); }

    std::mt19937 FRng;
};

using TempLogModel = ConsoleTest;

TEST_F(TempLogModel, SeededFilesGiveTheModelsMessagesAndPoints) {
    const quillon_test::TScratchDir dir("quillon-logmodel");
    const fs::path path = dir.PathOf("log.txt");
    TLogGenerator generate(31337);
    const int files = 10000;
    form->hide(); // nothing to draw: the loads alone are under test
    int mismatches = 0, points = 0;
    for (int i = 0; i < files; ++i) {
        const std::string content = generate.File();
        std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
        const TModelLoad want = ModelLoad(content);
        dialogs.Boxes.clear();
        dialogs.AnswerFile(QString::fromStdString(path.string()));
        ui().Button2->click();
        FinishLoad();
        const QList<QPointF> got = form->Chart1().Points();
        points += int(got.size());
        if (dialogs.Texts() != want.Messages || got != want.Points) {
            if (mismatches++ < 3)
                ADD_FAILURE() << "file " << i << " (" << content.size() << " bytes): boxes "
                              << dialogs.Texts().join(" | ").toStdString() << "; model "
                              << want.Messages.join(" | ").toStdString() << "; points "
                              << got.size() << ", model " << want.Points.size();
        }
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(points, files); // the files are not all garbage
    RecordProperty("files", files);
}

} // namespace
} // namespace quillon::console::testing
