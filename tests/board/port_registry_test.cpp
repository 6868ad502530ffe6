#include "platform/PortRegistry.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/ScratchDir.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <system_error>
#include <tuple>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using qwin::ListRegisteredPorts;
using qwin::PortRegistryDir;
using qwin::TPortRegistration;
using qwin::TRegisteredPort;

using quillon_test::FileText;
using quillon_test::RunInChild;
using quillon_test::TScopedEnv;

std::vector<std::string> NamesIn(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

class PortRegistryTest : public ::testing::Test {
  protected:
    // A file standing in for a device node.
    std::string MakeDevice(const std::string& name) {
        const std::string path = FRoot.PathOf(name);
        std::ofstream(path) << "";
        return path;
    }

    // Entry files of the registry, staging area left out.
    std::vector<std::string> Entries() const {
        auto names = NamesIn(Registry);
        names.erase(std::remove(names.begin(), names.end(), ".staging"), names.end());
        return names;
    }

  private:
    quillon_test::TScratchDir FRoot{"quillon-registry"};

  protected:
    const std::string Registry = FRoot.PathOf("registry");

  private:
    TScopedEnv FEnv{"QUILLON_PORT_REGISTRY", Registry};
};

// ---------------------------------------------------------------- location

TEST(PortRegistryDir, ExplicitThenRuntimeDirThenTmp) {
    // An empty variable counts as unset.
    const char* const runtime = "/run/user/4242";
    const std::string tmp = "/tmp/quillon-ports-" + std::to_string(::getuid());
    const std::tuple<const char*, const char*, std::string> rows[] = {
        {"/somewhere/ports", runtime, "/somewhere/ports"},
        {nullptr, runtime, "/run/user/4242/quillon-ports"},
        {"", runtime, "/run/user/4242/quillon-ports"},
        {nullptr, nullptr, tmp},
    };
    for (const auto& [registry, xdg, expected] : rows) {
        TScopedEnv registryEnv("QUILLON_PORT_REGISTRY", registry);
        TScopedEnv runtimeEnv("XDG_RUNTIME_DIR", xdg);
        EXPECT_EQ(PortRegistryDir(), expected) << (registry ? registry : "(unset)");
    }
}

// ---------------------------------------------------------------- registration

TEST_F(PortRegistryTest, RegistrationWritesOneEntryInAPrivateDirectory) {
    const std::string device = MakeDevice("ttyFAKE0");
    TPortRegistration registration(device, "Fake board (ttyFAKE0)");

    struct stat st {};
    ASSERT_EQ(::lstat(Registry.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700U);

    const auto entries = Entries();
    ASSERT_EQ(entries.size(), 1U);
    const std::string owner = std::to_string(::getpid()) + "-";
    EXPECT_EQ(entries[0].rfind(owner, 0), 0U) << entries[0];
    const std::string sequence = entries[0].substr(owner.size());
    EXPECT_TRUE(!sequence.empty() && sequence.find_first_not_of("0123456789") == std::string::npos)
        << entries[0];
    EXPECT_EQ(registration.EntryPath(), Registry + "/" + entries[0]);
    EXPECT_TRUE(registration.Registered());
    EXPECT_EQ(FileText(registration.EntryPath()), device + "\nFake board (ttyFAKE0)\n");
    EXPECT_TRUE(NamesIn(Registry + "/.staging").empty()) << "nothing left half-written";
}

TEST_F(PortRegistryTest, DestructorAndReleaseRemoveTheEntry) {
    const std::string device = MakeDevice("ttyFAKE0");
    {
        TPortRegistration registration(device, "one");
        EXPECT_EQ(Entries().size(), 1U);
    }
    EXPECT_TRUE(Entries().empty());

    TPortRegistration registration(device, "two");
    const std::string entry = registration.EntryPath();
    registration.Release();
    EXPECT_TRUE(Entries().empty());
    EXPECT_FALSE(registration.Registered());
    EXPECT_TRUE(registration.EntryPath().empty());

    // Releasing twice must not remove somebody else's entry of the same name.
    std::ofstream(entry) << "other\n";
    registration.Release();
    EXPECT_EQ(Entries().size(), 1U);
}

TEST_F(PortRegistryTest, MovingHandsTheEntryOver) {
    const std::string device = MakeDevice("ttyFAKE0");
    std::optional<TPortRegistration> first(std::in_place, device, "moved");
    const std::string entry = first->EntryPath();
    TPortRegistration second(std::move(*first));
    EXPECT_FALSE(first->Registered());
    EXPECT_EQ(second.EntryPath(), entry);
    first.reset();
    EXPECT_EQ(Entries().size(), 1U) << "the moved-from object must not remove the entry";

    TPortRegistration third(device, "replaced");
    third = std::move(second);
    EXPECT_EQ(third.EntryPath(), entry);
    ASSERT_EQ(Entries().size(), 1U) << "assignment releases the entry it overwrites";
    EXPECT_EQ(FileText(entry), device + "\nmoved\n");
}

TEST_F(PortRegistryTest, ForkedChildDoesNotRemoveItsParentsEntry) {
    const std::string device = MakeDevice("ttyFAKE0");
    TPortRegistration registration(device, "parent");
    ASSERT_EQ(RunInChild([&] {
                  registration.Release();
                  return 0;
              }),
              0);
    EXPECT_EQ(Entries().size(), 1U);
}

TEST_F(PortRegistryTest, BadTextOrDirectoryIsRefused) {
    const std::string device = MakeDevice("ttyFAKE0");
    EXPECT_THROW(TPortRegistration(device, "two\nlines"), std::invalid_argument);
    EXPECT_THROW(TPortRegistration(device + "\r", "name"), std::invalid_argument);
    EXPECT_THROW(TPortRegistration("", "name"), std::invalid_argument);
    EXPECT_TRUE(Entries().empty());

    {
        TScopedEnv underFile("QUILLON_PORT_REGISTRY", (device + "/registry").c_str());
        EXPECT_THROW(TPortRegistration(device, "name"), std::system_error);
    }
    {
        ASSERT_EQ(::mkdir(Registry.c_str(), 0700), 0);
        const std::string link = Registry + "-link";
        ASSERT_EQ(::symlink(Registry.c_str(), link.c_str()), 0);
        TScopedEnv viaLink("QUILLON_PORT_REGISTRY", link.c_str());
        EXPECT_THROW(TPortRegistration(device, "name"), std::system_error)
            << "a symlink could point anywhere";
    }
}

TEST_F(PortRegistryTest, DirectoryOfAnotherUserIsRefused) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to hand a directory to another user";
    ASSERT_EQ(::mkdir(Registry.c_str(), 0700), 0);
    ASSERT_EQ(::chown(Registry.c_str(), 4242, 4242), 0);
    EXPECT_THROW(TPortRegistration(MakeDevice("ttyFAKE0"), "name"), std::system_error);
}

// ---------------------------------------------------------------- listing

TEST_F(PortRegistryTest, ListingKeepsRegistrationOrder) {
    EXPECT_TRUE(ListRegisteredPorts().empty()) << "a missing directory lists nothing";
    std::vector<TPortRegistration> registrations;
    std::vector<TRegisteredPort> expected;
    for (int i = 0; i < 12; ++i) {
        const std::string device = MakeDevice("ttyFAKE" + std::to_string(i));
        const std::string name = "Fake board " + std::to_string(i);
        registrations.emplace_back(device, name);
        expected.push_back({device, name});
    }
    const auto listed = ListRegisteredPorts();
    ASSERT_EQ(listed.size(), expected.size());
    for (std::size_t i = 0; i < listed.size(); ++i) {
        EXPECT_EQ(listed[i].Path, expected[i].Path) << i;
        EXPECT_EQ(listed[i].FriendlyName, expected[i].FriendlyName) << i;
    }

    registrations.erase(registrations.begin() + 3);
    const auto after = ListRegisteredPorts();
    ASSERT_EQ(after.size(), 11U);
    EXPECT_EQ(after[3].Path, expected[4].Path);
}

TEST_F(PortRegistryTest, EntryOfACrashedProgramIsDeletedWhenListed) {
    const std::string live = MakeDevice("ttyLIVE");
    const std::string dead = MakeDevice("ttyDEAD");
    TPortRegistration registration(live, "live");

    ASSERT_EQ(RunInChild([&]() -> int {
                  // _exit runs no destructors: the entry stays behind, as after a crash.
                  TPortRegistration orphan(dead, "dead");
                  ::_exit(0);
              }),
              0);
    ASSERT_EQ(Entries().size(), 2U) << "the crashed program left its entry";

    const auto listed = ListRegisteredPorts();
    ASSERT_EQ(listed.size(), 1U);
    EXPECT_EQ(listed[0].Path, live);
    EXPECT_EQ(Entries().size(), 1U) << "the stale entry is deleted";
}

TEST_F(PortRegistryTest, HalfWrittenEntryOfACrashedProgramIsSwept) {
    TPortRegistration registration(MakeDevice("ttyLIVE"), "live");
    ASSERT_EQ(RunInChild([&] {
                  const std::string staged =
                      Registry + "/.staging/" + std::to_string(::getpid()) + "-1";
                  std::ofstream(staged) << "/dev/half";
                  return 0;
              }),
              0);
    ASSERT_EQ(NamesIn(Registry + "/.staging").size(), 1U);
    EXPECT_EQ(ListRegisteredPorts().size(), 1U);
    EXPECT_TRUE(NamesIn(Registry + "/.staging").empty());
}

TEST_F(PortRegistryTest, EntryWhoseDeviceVanishedIsDeletedWhenListed) {
    const std::string kept = MakeDevice("ttyKEPT");
    const std::string gone = MakeDevice("ttyGONE");
    TPortRegistration a(kept, "kept");
    TPortRegistration b(gone, "gone");
    ASSERT_EQ(ListRegisteredPorts().size(), 2U);
    ASSERT_EQ(::unlink(gone.c_str()), 0);
    const auto listed = ListRegisteredPorts();
    ASSERT_EQ(listed.size(), 1U);
    EXPECT_EQ(listed[0].Path, kept);
    EXPECT_EQ(Entries().size(), 1U);
}

TEST_F(PortRegistryTest, ForeignFilesAreNeitherListedNorDeleted) {
    TPortRegistration registration(MakeDevice("ttyFAKE0"), "real");
    for (const char* name : {"README", "12-x", "-3", "99999999999999999999-1", ".hidden"})
        std::ofstream(Registry + "/" + name) << "/dev/null\nforeign\n";
    ASSERT_EQ(::mkdir((Registry + "/1-1").c_str(), 0700), 0);
    const auto listed = ListRegisteredPorts();
    ASSERT_EQ(listed.size(), 1U);
    EXPECT_EQ(listed[0].FriendlyName, "real");
    EXPECT_EQ(NamesIn(Registry).size(), 8U);
}

// ---------------------------------------------------------------- watching

struct TEvent {
    std::uint32_t Mask;
    std::string Name;
};

// Events on files of the watched directory (events of directories left out).
std::vector<TEvent> DrainFileEvents(int fd) {
    std::vector<TEvent> events;
    alignas(inotify_event) char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        for (ssize_t offset = 0; offset < n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buffer + offset);
            if (!(e->mask & IN_ISDIR) && e->len > 0) events.push_back({e->mask, e->name});
            offset += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
        }
    }
    return events;
}

TEST_F(PortRegistryTest, WatcherSeesOneMoveInAndOneDelete) {
    ASSERT_EQ(::mkdir(Registry.c_str(), 0700), 0);
    const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_GE(::inotify_add_watch(fd, Registry.c_str(), IN_ALL_EVENTS), 0);

    // The kernel queues the events before the calls return, so draining now is exact.
    std::optional<TPortRegistration> registration(std::in_place, MakeDevice("ttyFAKE0"), "watched");
    const std::string name = registration->EntryPath().substr(Registry.size() + 1);
    auto events = DrainFileEvents(fd);
    ASSERT_EQ(events.size(), 1U);
    EXPECT_EQ(events[0].Mask, static_cast<std::uint32_t>(IN_MOVED_TO));
    EXPECT_EQ(events[0].Name, name);

    registration.reset();
    events = DrainFileEvents(fd);
    ASSERT_EQ(events.size(), 1U);
    EXPECT_EQ(events[0].Mask, static_cast<std::uint32_t>(IN_DELETE));
    EXPECT_EQ(events[0].Name, name);
    ::close(fd);
}

} // namespace
