#pragma once
// The last-error codes the platform names, where the system's own codes are errno values.
#include <cerrno>
#include <cstdint>

namespace qwin {

constexpr std::uint32_t ERROR_FILE_NOT_FOUND = ENOENT; // 2, as on Windows
/// What the event wait reports when its device vanished (unplug, hang-up): the code the
/// component treats as "access denied" and answers by closing the port.
constexpr std::uint32_t ERROR_ACCESS_DENIED = 5; // EIO's value, as on Windows
static_assert(EIO == 5, "device-lost code must equal EIO");
constexpr std::uint32_t ERROR_INVALID_HANDLE = EBADF;
constexpr std::uint32_t ERROR_INVALID_PARAMETER = EINVAL;
constexpr std::uint32_t ERROR_OPERATION_ABORTED = ECANCELED;
/// The device is held by another opener, or is still busy with what it was given.
constexpr std::uint32_t ERROR_BUSY = EBUSY;
/// The user cancelled a dialog.
constexpr std::uint32_t ERROR_CANCELLED = ECANCELED;
/// A result that does not fit the caller's buffer.
constexpr std::uint32_t ERROR_INSUFFICIENT_BUFFER = ENOBUFS;

/// A device that does not do what was asked of it (a server without the serial option).
constexpr std::uint32_t ERROR_NOT_SUPPORTED = EOPNOTSUPP;
/// A device that did not answer in time.
constexpr std::uint32_t ERROR_TIMEOUT = ETIMEDOUT;

} // namespace qwin
