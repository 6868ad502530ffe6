#pragma once
// What a test of the port log needs: a directory of its own, a fixed clock in UTC, an
// explicit regional format, and the file's bytes.
#include "rtl/Locale.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/ScratchDir.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace quillon::test {

/// 6 December 2026, 03:25:06 UTC.
rtl::TDateTime FixedNow();
/// The date-time text every log line of these tests begins with, then a space.
inline constexpr const char* kStamp = "06/12/2026 03:25:06 ";

class LogFixture : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    /// A path inside the test's own directory.
    std::string PathOf(const std::string& name) const { return FDir.PathOf(name); }
    /// The whole file, or "<missing>" when it does not exist.
    static std::string ReadFile(const std::string& path);

  private:
    quillon_test::TScratchDir FDir{"quillon-log"};
    std::optional<quillon_test::TScopedEnv> FTz;
};

} // namespace quillon::test
