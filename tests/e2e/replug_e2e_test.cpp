// The board unplugged and plugged back while the console runs: the operator's device stays
// chosen, shown absent meanwhile, nothing else is opened in its place, and the port reopens
// by itself when asked; polling ends with the port.
#include "E2eSession.h"
#include "platform/PortRegistry.h"
#include "tests/support/ScopedEnv.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace quillon::e2e {
namespace {

namespace fs = std::filesystem;

TEST(ConsoleWithBoard, ReplugKeepsTheChoiceByNameAndByIdentityAndReopensWhenAsked) {
    TE2eSession session;
    const fs::path byId = session.Dir() / "root/dev/serial/by-id";
    fs::create_directories(byId);
    // Listed first, and never the one to open: all its readings are wrong.
    const std::string other = session.StartBoard({"--bad-every", "1", "--led-period", "0"});
    // One device under a fixed name, as udev gives one, and one known by its identity.
    const std::string fixedName = (session.Dir() / "ttyBoard").string();
    const std::vector<std::string> fixedBoard = {"--led-period", "0", "--symlink", fixedName};
    const std::vector<std::string> idBoard = {
        "--led-period", "0", "--symlink", (byId / "usb-Quillon_Board_0001-if00-port0").string()};
    std::string fixedPort = session.StartBoard(fixedBoard);
    std::string idPort = session.StartBoard(idBoard);
    ASSERT_FALSE(other.empty() || fixedPort.empty() || idPort.empty());
    // The fixed name is published in the session's registry, where the boards publish theirs.
    const quillon_test::TScopedEnv registry("QUILLON_PORT_REGISTRY",
                                            (session.Dir() / "registry").string());
    std::optional<qwin::TPortRegistration> fixed(std::in_place, fixedName, "fixed name");

    const std::string fixedAbsent =
        "expect-text ComboBoxDeviceName " + Quoted(fixedName + " (absent)");
    const std::string idAbsent = "expect-text ComboBoxDeviceName " + Quoted(idPort + " (absent)");
    const std::vector<std::string> steps = {
        "choose ComboBoxDeviceName " + Quoted(fixedName),
        "trigger rouvrirauto",
        "click SpeedButtonOpenClose",
        "expect-text SpeedButtonOpenClose Close",
        "click RadioButton6",
        "click Button3",
        "expect-text test2 \"Bonne valeur\"",
        // Unplugged here: the loss is reported, the choice stays and nothing opens.
        "expect-box-start \"Error 5: \" 30000",
        fixedAbsent,
        "expect-text SpeedButtonOpenClose Open",
        // Plugged back under the same name: chosen again, and reopened.
        "expect-text ComboBoxDeviceName " + Quoted(fixedName) + " 30000",
        "expect-text SpeedButtonOpenClose Close",
        "click Button3",
        "expect-text test2 \"Bonne valeur\"",
        "click SpeedButtonOpenClose",
        "expect-text SpeedButtonOpenClose Open",
        // The other device, unplugged and back under a new name with the same identity.
        "choose ComboBoxDeviceName " + Quoted(idPort),
        "click SpeedButtonOpenClose",
        "expect-text SpeedButtonOpenClose Close",
        "expect-box-start \"Error 5: \" 30000",
        idAbsent,
        "expect-text SpeedButtonOpenClose Close 30000",
        "click Button3",
        "expect-text test2 \"Bonne valeur\"",
        "click SpeedButtonOpenClose",
        "expect-text SpeedButtonOpenClose Open",
        "quit",
    };
    // What the test does to the boards once the console has reported the step of that place.
    enum : std::size_t {
        kUnplugFixed = 6,
        kReplugFixed = 8,
        kDropFixed = 14,
        kUnplugId = 17,
        kReplugId = 19
    };
    bool replugged = true;
    std::size_t reported = 0;
    const auto act = [&](const std::string&) {
        switch (reported++) {
        case kUnplugFixed:
        case kDropFixed:
            fixed.reset();
            replugged = session.StopBoard(fixedPort) && replugged;
            break;
        case kReplugFixed:
            fixedPort = session.StartBoard(fixedBoard);
            fixed.emplace(fixedName, "fixed name");
            break;
        case kUnplugId:
            replugged = session.StopBoard(idPort) && replugged;
            break;
        case kReplugId:
            replugged = !session.StartBoard(idBoard).empty() && replugged;
            break;
        }
    };
    ExpectScriptPasses(session, steps,
                       {"LC_ALL=C", "QUILLON_SYSTEM_ROOT=" + (session.Dir() / "root").string()}, {},
                       act);
    EXPECT_TRUE(replugged);
    EXPECT_TRUE(session.StopBoards());
}

TEST(ConsoleWithBoard, ClosingWhilePollingLeavesNoBox) {
    TE2eSession session;
    const std::string port = session.StartBoard({"--bad-every", "1", "--led-period", "0"});
    ASSERT_FALSE(port.empty());
    const std::vector<std::string> steps = {
        "choose ComboBoxDeviceName " + Quoted(port),
        "click SpeedButtonOpenClose",
        "expect-text SpeedButtonOpenClose Close",
        "click RadioButton6",
        "click Button3",
        "expect-text test Erreur1",
        "click SpeedButtonOpenClose",
        "expect-quiet 30000",
        "quit",
    };
    ExpectScriptPasses(session, steps);
    EXPECT_TRUE(session.StopBoards());
}

} // namespace
} // namespace quillon::e2e
