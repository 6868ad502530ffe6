#pragma once
// What the enumeration and notification tests share: the recorded trees, a private
// registry of virtual ports, a pty to register, and lists as plain strings.
#include <gtest/gtest.h>

#include <pty.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/DeviceEnum.h"
#include "rtl/MainLoop.h"
#include "rtl/Strings.h"
#include "rtl/Text.h"

namespace enumtest {

/// A recorded tree under tests/data.
inline std::string DataTree(const char* name) { return std::string(QUILLON_TEST_DATA) + "/" + name; }

inline std::vector<std::string> Utf8(const rtl::TStringList& list) {
    std::vector<std::string> out;
    for (const auto& s : list.Items()) out.push_back(rtl::StringToUtf8(s));
    return out;
}

/// A directory of its own, removed with everything in it.
class TTempDir {
public:
    TTempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "quillon-enum-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        FPath = pattern;
    }
    ~TTempDir() {
        std::error_code ec;
        std::filesystem::remove_all(FPath, ec);
    }
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;
    const std::string& Path() const { return FPath; }

private:
    std::string FPath;
};

/// Sets an environment variable for the scope, then puts the old value back.
class TScopedEnv {
public:
    TScopedEnv(const char* name, const std::string& value) : FName(name) {
        if (const char* old = std::getenv(name)) FOld = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~TScopedEnv() {
        if (FOld)
            ::setenv(FName.c_str(), FOld->c_str(), 1);
        else
            ::unsetenv(FName.c_str());
    }
    TScopedEnv(const TScopedEnv&) = delete;
    TScopedEnv& operator=(const TScopedEnv&) = delete;

private:
    std::string FName;
    std::optional<std::string> FOld;
};

/// A pty pair: the slave's path is a device a program can register.
class TPty {
public:
    TPty() {
        char name[256];
        if (::openpty(&FMaster, &FSlave, name, nullptr, nullptr) != 0)
            throw std::runtime_error("openpty failed");
        FPath = name;
    }
    ~TPty() {
        ::close(FMaster);
        ::close(FSlave);
    }
    TPty(const TPty&) = delete;
    TPty& operator=(const TPty&) = delete;
    const std::string& Path() const { return FPath; }
    int Master() const { return FMaster; }
    /// Closes the slave so that the port can open it without sharing.
    void CloseSlave() {
        ::close(FSlave);
        FSlave = -1;
    }

private:
    int FMaster = -1, FSlave = -1;
    std::string FPath;
};

/// Reads a recorded tree instead of the machine, with an empty registry of virtual ports,
/// and makes the test's thread the main thread.
class TEnumTest : public ::testing::Test {
protected:
    void SetUp() override {
        rtl::PlainLoop().BindToCurrentThread();
        qwin::SetSystemRoot(DataTree("sysfs-desktop"));
    }
    void TearDown() override { qwin::SetSystemRoot("/"); }

    TTempDir Registry;
    TScopedEnv RegistryEnv{"QUILLON_PORT_REGISTRY", Registry.Path() + "/ports"};
};

} // namespace enumtest
