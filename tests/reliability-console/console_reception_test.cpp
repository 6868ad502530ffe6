// A million random bytes (zero bytes and bytes above 127 included) reach the window in
// random chunks: every chunk is counted once, `valeur` shows each chunk up to its first
// zero byte, and the LED follows only a second byte of "0" or "1".
#include "../console/ConsoleTestSupport.h"
#include "app/Shape.h"

#include <QEventLoop>
#include <QTest>
#include <QTimer>
#include <random>

namespace quillon::console::testing {
namespace {

using ReadWrite = rtl::Handler<void(TObject*, const void*, int32_t, bool)>;

constexpr size_t kTotal = 1'000'000;

class ConsoleReception : public ConsoleTest {
  protected:
    /// Runs the window until done() holds after a read; false after 30 s.
    bool RunUntilRead(const std::function<bool()>& done) {
        if (done()) return true;
        QEventLoop loop;
        Quit = [&] {
            if (done()) loop.quit();
        };
        bool late = false;
        QTimer::singleShot(30000, &loop, [&] {
            late = true;
            loop.quit();
        });
        loop.exec();
        Quit = nullptr;
        return !late;
    }
    std::function<void()> Quit;
};

TEST_F(ConsoleReception, AMillionRandomBytesInRandomChunks) {
    OpenPort();
    QTest::mouseClick(ui().led1, Qt::LeftButton);
    ASSERT_TRUE(ui().led1->isChecked());

    std::mt19937 rng(1234);
    std::string data(kTotal, '\0');
    std::uniform_int_distribution<int> byte(0, 255);
    for (char& c : data)
        c = static_cast<char>(byte(rng));

    // Each read of the handler is seen as it happens; its effects are checked at the next
    // read, once the handler has finished with it.
    std::string received;
    received.reserve(kTotal);
    std::optional<std::string> last;
    QColor led = ui().Shape1->BrushColor();
    int reads = 0, ledChanges = 0, chunksWithNul = 0, mismatches = 0;
    std::string firstMismatch;
    auto checkLast = [&] {
        if (!last) return;
        const std::string& chunk = *last;
        const QString valeur = QString::fromLatin1(chunk.substr(0, chunk.find('\0')));
        chunksWithNul += chunk.find('\0') != std::string::npos;
        if (chunk.size() >= 2 && (chunk[1] == '0' || chunk[1] == '1')) {
            const QColor now = chunk[1] == '0' ? QColor(Qt::white) : QColor(255, 255, 0);
            ledChanges += now != led;
            led = now;
        }
        if (ui().valeur->text() != valeur || ui().Shape1->BrushColor() != led) {
            if (mismatches++ == 0)
                firstMismatch = "read " + std::to_string(reads) + " of " +
                                std::to_string(chunk.size()) + " bytes";
        }
    };
    ReadWrite spy([&](TObject*, const void* buf, int32_t n, bool) {
        checkLast();
        last.emplace(static_cast<const char*>(buf), static_cast<size_t>(n));
        received += *last;
        ++reads;
        if (Quit) Quit();
    });
    form->ComPort()->SetAfterRead(spy);

    std::uniform_int_distribution<size_t> chunkSize(1, 4096);
    size_t sent = 0;
    while (sent < kTotal) {
        const size_t n = std::min(chunkSize(rng), kTotal - sent);
        board->Send(std::string_view(data).substr(sent, n));
        sent += n;
        ASSERT_TRUE(RunUntilRead([&] { return received.size() >= sent; }))
            << received.size() << " of " << sent << " bytes read";
    }
    QCoreApplication::processEvents(); // the last handler's own steps are over
    checkLast();

    EXPECT_EQ(form->ReadBytesTotal(), int64_t(kTotal));
    EXPECT_EQ(received.size(), kTotal);
    EXPECT_TRUE(received == data) << "bytes lost, added or reordered";
    EXPECT_EQ(mismatches, 0) << "first at " << firstMismatch;
    EXPECT_TRUE(dialogs.Boxes.empty()) << dialogs.Texts().join(" | ").toStdString();
    RecordProperty("reads", reads);
    RecordProperty("led_changes", ledChanges);
    RecordProperty("reads_with_nul", chunksWithNul);
}

} // namespace
} // namespace quillon::console::testing
