#pragma once
// A pseudo-terminal pair of the test's own: the code under test opens the slave by its
// path, the test plays the far end on the master.
#include <chrono>
#include <string>
#include <string_view>

namespace quillon_test {

class TPtyPair {
  public:
    /// Opens the pair, both ends close-on-exec; throws std::runtime_error when none is left.
    TPtyPair();
    ~TPtyPair();
    TPtyPair(const TPtyPair&) = delete;
    TPtyPair& operator=(const TPtyPair&) = delete;

    int Master() const { return FMaster; }
    int Slave() const { return FSlave; }
    const std::string& SlavePath() const { return FPath; }

    /// Both ends raw, so nothing is echoed or translated before the code under test
    /// sets the line up.
    void MakeRaw();
    /// Writes all of bytes to the master; throws on failure.
    void Feed(std::string_view bytes) const;
    void Feed(const void* data, std::size_t size) const;
    /// Reads from the master until n bytes came or nothing more comes within timeout.
    std::string Drain(std::size_t n, std::chrono::milliseconds timeout) const;
    /// Lets the code under test be the slave's only user.
    void CloseSlave();
    /// Hangs up the line, as pulling a USB adapter does.
    void CloseMaster();

  private:
    int FMaster = -1;
    int FSlave = -1;
    std::string FPath;
};

} // namespace quillon_test
