// The process entry's end: the loop's status, or a shown start-up failure and status 1.
#include "ConsoleTestSupport.h"
#include "app/Startup.h"
#include "rtl/Application.h"

#include <QTimer>

namespace quillon::console::testing {
namespace {

class ProcessEntryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        rtl::Application().SetExceptionDisplay(
            [this](const std::string& m) { shown.push_back(m); });
    }
    void TearDown() override { rtl::Application().SetExceptionDisplay(nullptr); }
    std::vector<std::string> shown;
};

TEST_F(ProcessEntryTest, LoopStatusWhenTheWindowCloses) {
    const int status = RunMainForm([] {
        auto w = std::make_unique<QWidget>();
        QTimer::singleShot(0, w.get(), [p = w.get()] { p->close(); });
        return w;
    });
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(shown.empty());
}

TEST_F(ProcessEntryTest, StartUpExceptionIsShownThenFails) {
    EXPECT_EQ(RunMainForm([]() -> std::unique_ptr<QWidget> { throw rtl::Exception("no layout"); }),
              1);
    EXPECT_EQ(shown, std::vector<std::string>{"no layout"});
}

TEST_F(ProcessEntryTest, AnyOtherThrownObjectIsShownWithAnEmptyMessage) {
    EXPECT_EQ(RunMainForm([]() -> std::unique_ptr<QWidget> { throw 42; }), 1);
    EXPECT_EQ(shown, std::vector<std::string>{""});
}

} // namespace
} // namespace quillon::console::testing
