// The advice under a port error: which group to join and how, a busy port, a missing or
// vanished device, and nothing for the errors it has no advice for.
#include "app/PortErrorHint.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace quillon::console {
namespace {

constexpr gid_t kDialout = 20;
constexpr gid_t kAlice = 1000;
const std::string kPath = "/dev/ttyUSB0";

TNodeOwner DialoutNode(mode_t permissions = 0660) {
    return {kDialout, "dialout", static_cast<mode_t>(S_IFCHR | permissions)};
}

TUserAccess Alice(std::vector<gid_t> session, std::vector<gid_t> account) {
    return {"alice", std::move(session), std::move(account)};
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(PortErrorHintTest, UserOutsideTheNodesGroupIsToldTheCommandAndTheNewSession) {
    for (int code : {EACCES, EPERM}) {
        const std::string hint =
            PortErrorHint(code, kPath, DialoutNode(), Alice({kAlice}, {kAlice}));
        EXPECT_TRUE(Has(hint, "« /dev/ttyUSB0 » appartient au groupe dialout")) << hint;
        EXPECT_TRUE(Has(hint, "alice n'en fait pas partie")) << hint;
        EXPECT_TRUE(Has(hint, "\n    sudo usermod -aG dialout alice\n")) << hint;
        EXPECT_TRUE(Has(hint, "nouvelle session")) << hint;
    }
}

TEST(PortErrorHintTest, GroupComesFromTheNodeNotFromAFixedName) {
    const TNodeOwner uucp{14, "uucp", S_IFCHR | 0660};
    const std::string hint = PortErrorHint(EACCES, "/dev/ttyACM0", uucp, Alice({kAlice}, {kAlice}));
    EXPECT_TRUE(Has(hint, "sudo usermod -aG uucp alice")) << hint;
    EXPECT_FALSE(Has(hint, "dialout")) << hint;
}

TEST(PortErrorHintTest, MemberOfTheAccountButNotOfTheSessionNeedsOnlyANewSession) {
    const std::string hint =
        PortErrorHint(EACCES, kPath, DialoutNode(), Alice({kAlice}, {kAlice, kDialout}));
    EXPECT_TRUE(Has(hint, "en fait partie, mais la session actuelle")) << hint;
    EXPECT_TRUE(Has(hint, "nouvelle session")) << hint;
    EXPECT_FALSE(Has(hint, "usermod")) << hint;
}

TEST(PortErrorHintTest, MemberOfTheSessionGetsNoGroupAdvice) {
    const std::string hint =
        PortErrorHint(EACCES, kPath, DialoutNode(), Alice({kAlice, kDialout}, {kAlice, kDialout}));
    EXPECT_TRUE(Has(hint, "pour une autre raison")) << hint;
    EXPECT_FALSE(Has(hint, "usermod")) << hint;
    EXPECT_FALSE(Has(hint, "nouvelle session")) << hint;
}

TEST(PortErrorHintTest, NodeNoGroupMayJoinPointsToTheUdevRule) {
    const TNodeOwner rootOnly{0, "root", S_IFCHR | 0660};
    const TNodeOwner ownerOnly = DialoutNode(0600);
    const TNodeOwner unnamed{4321, "", S_IFCHR | 0660};
    for (const TNodeOwner& node : {rootOnly, ownerOnly, unnamed}) {
        const std::string hint = PortErrorHint(EACCES, kPath, node, Alice({kAlice}, {kAlice}));
        EXPECT_TRUE(Has(hint, "uaccess")) << hint;
        EXPECT_TRUE(Has(hint, "60-quillon-board.rules")) << hint;
        EXPECT_FALSE(Has(hint, "usermod")) << hint;
    }
}

TEST(PortErrorHintTest, UnreadableNodeFallsBackOnTheUsualGroups) {
    const std::string hint = PortErrorHint(EACCES, kPath, std::nullopt, Alice({kAlice}, {kAlice}));
    EXPECT_TRUE(Has(hint, "dialout")) << hint;
    EXPECT_TRUE(Has(hint, "uucp")) << hint;
    EXPECT_TRUE(Has(hint, "sudo usermod -aG dialout alice")) << hint;
    EXPECT_TRUE(Has(hint, "nouvelle session")) << hint;
}

TEST(PortErrorHintTest, UnknownAccountLetsTheShellNameTheUser) {
    const std::string hint = PortErrorHint(EACCES, kPath, DialoutNode(), {"", {kAlice}, {}});
    EXPECT_TRUE(Has(hint, "sudo usermod -aG dialout $USER")) << hint;
}

TEST(PortErrorHintTest, BusyPortSaysAnotherProgramHoldsIt) {
    const std::string hint = PortErrorHint(EBUSY, kPath, DialoutNode(), Alice({kAlice}, {kAlice}));
    EXPECT_TRUE(Has(hint, "« /dev/ttyUSB0 » est déjà ouvert par un autre programme")) << hint;
    EXPECT_TRUE(Has(hint, "fuser -v /dev/ttyUSB0")) << hint;
    EXPECT_FALSE(Has(hint, "usermod")) << hint;
}

TEST(PortErrorHintTest, MissingOrVanishedDeviceSaysSo) {
    for (int code : {ENOENT, ENODEV, ENXIO}) {
        const std::string hint = PortErrorHint(code, kPath, std::nullopt, Alice({}, {}));
        EXPECT_TRUE(Has(hint, "« /dev/ttyUSB0 » n'existe pas ou plus")) << code << ": " << hint;
    }
    EXPECT_TRUE(Has(PortErrorHint(ENOENT, "", std::nullopt, Alice({}, {})), "Aucun port série"));
    const std::string lost = PortErrorHint(EIO, kPath, DialoutNode(), Alice({}, {}));
    EXPECT_TRUE(Has(lost, "La liaison avec « /dev/ttyUSB0 » est perdue")) << lost;
}

TEST(PortErrorHintTest, ErrorsWithoutAdviceAddNothing) {
    for (int code : {0, EINVAL, ENOTTY, EISDIR})
        EXPECT_EQ(PortErrorHint(code, kPath, DialoutNode(), Alice({}, {})), "") << code;
}

} // namespace
} // namespace quillon::console
