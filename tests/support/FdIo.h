#pragma once
// Whole transfers on a blocking descriptor.
#include <cstddef>
#include <string_view>

namespace quillon_test {

/// Writes all of size bytes, retrying short writes; false (errno set) on failure.
bool WriteAll(int fd, const void* data, std::size_t size);
inline bool WriteAll(int fd, std::string_view bytes) {
    return WriteAll(fd, bytes.data(), bytes.size());
}
/// Reads exactly size bytes; throws std::runtime_error on failure or end of file.
void ReadExactly(int fd, void* data, std::size_t size);

} // namespace quillon_test
