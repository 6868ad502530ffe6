#pragma once
// A directory of the test's own in the system's temporary directory, removed with
// everything in it at the end of its scope.
#include <string>

namespace quillon_test {

class TScratchDir {
  public:
    /// Creates "<temp>/<stem>-<random>"; throws std::filesystem::filesystem_error.
    explicit TScratchDir(const std::string& stem = "quillon");
    ~TScratchDir();
    TScratchDir(const TScratchDir&) = delete;
    TScratchDir& operator=(const TScratchDir&) = delete;

    const std::string& Path() const { return FPath; }
    /// A path inside the directory.
    std::string PathOf(const std::string& name) const { return FPath + "/" + name; }

  private:
    std::string FPath;
};

/// The whole content of a file, byte for byte; empty when it cannot be read.
std::string FileText(const std::string& path);

} // namespace quillon_test
