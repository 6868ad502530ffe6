#pragma once
// What the enumeration and notification tests share: the recorded trees, a private
// registry of virtual ports, a pty to register, and lists as plain strings.
#include "platform/DeviceEnum.h"
#include "platform/Registry.h"
#include "rtl/MainLoop.h"
#include "rtl/Strings.h"
#include "rtl/Text.h"
#include "tests/support/PtyPair.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/ScratchDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace enumtest {

/// A recorded tree under tests/data.
inline std::string DataTree(const char* name) {
    return std::string(QUILLON_TEST_DATA) + "/" + name;
}

inline std::vector<std::string> Utf8(const rtl::TStringList& list) {
    std::vector<std::string> out;
    for (const auto& s : list.Items())
        out.push_back(rtl::StringToUtf8(s));
    return out;
}

using quillon_test::TScopedEnv;
using TTempDir = quillon_test::TScratchDir;
/// A pty pair: the slave's path is a device a program can register.
using TPty = quillon_test::TPtyPair;

/// Reads a recorded tree instead of the machine, with an empty registry of virtual ports,
/// and makes the test's thread the main thread; a registry source a test set goes after it.
class TEnumTest : public ::testing::Test {
  protected:
    void SetUp() override {
        rtl::PlainLoop().BindToCurrentThread();
        qwin::SetSystemRoot(DataTree("sysfs-desktop"));
    }
    void TearDown() override {
        qwin::SetRegistrySource(nullptr);
        qwin::SetSystemRoot("/");
    }

    TTempDir Registry{"quillon-enum"};
    TScopedEnv RegistryEnv{"QUILLON_PORT_REGISTRY", Registry.Path() + "/ports"};
};

} // namespace enumtest
