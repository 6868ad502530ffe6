// What the advice is built from: the node's group and mode as stat shows them, and the
// groups of the user running the program.
#include "app/PortAccess.h"
#include "tests/support/ScratchDir.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon::console {
namespace {

bool Has(const std::vector<gid_t>& groups, gid_t gid) {
    return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

TEST(PortAccessTest, NodeReadsAsItsGroupAndModeAndAMissingOneAsNothing) {
    const quillon_test::TScratchDir dir("quillon-access");
    const std::string node = dir.PathOf("node");
    std::ofstream(node).put('x');
    ASSERT_EQ(chmod(node.c_str(), 0640), 0);

    const auto owner = ReadNodeOwner(node);
    ASSERT_TRUE(owner.has_value());
    struct stat st {};
    ASSERT_EQ(stat(node.c_str(), &st), 0);
    EXPECT_EQ(owner->Group, st.st_gid);
    EXPECT_EQ(owner->Mode & 07777, 0640u);
    const group* g = getgrgid(st.st_gid);
    EXPECT_EQ(owner->GroupName, g ? g->gr_name : "");

    EXPECT_FALSE(ReadNodeOwner(dir.PathOf("absent")).has_value());
    EXPECT_FALSE(ReadNodeOwner("").has_value());
}

TEST(PortAccessTest, UserHasTheSessionsAndTheAccountsGroups) {
    const TUserAccess user = CurrentUserAccess();
    EXPECT_TRUE(Has(user.SessionGroups, getegid()));
    const passwd* account = getpwuid(geteuid());
    if (!account) GTEST_SKIP() << "this uid has no account";
    EXPECT_EQ(user.Name, account->pw_name);
    EXPECT_TRUE(Has(user.AccountGroups, account->pw_gid));
}

} // namespace
} // namespace quillon::console
