#pragma once
// A fresh pseudo-terminal pair for one measurement, both ends raw. The driver keeps
// both ends: it talks through the master, and holding the slave open keeps the line
// from hanging up between the stack's open and close.
#include <string>

namespace quillon::bench {

class TPtyPair {
public:
    /// Opens the pair; throws std::runtime_error when the system has no pty left.
    TPtyPair();
    ~TPtyPair();
    TPtyPair(const TPtyPair&) = delete;
    TPtyPair& operator=(const TPtyPair&) = delete;

    int Master() const { return FMaster; }
    const std::string& SlavePath() const { return FPath; }

private:
    int FMaster = -1;
    int FSlave = -1;
    std::string FPath;
};

/// Writes all of size bytes to a blocking descriptor; throws on failure.
void WriteAll(int fd, const void* data, size_t size);
/// Reads exactly size bytes from a blocking descriptor; throws on failure or end.
void ReadExactly(int fd, void* data, size_t size);

} // namespace quillon::bench
