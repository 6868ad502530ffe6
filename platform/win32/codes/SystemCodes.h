#pragma once
// The last-error codes the platform names, with Windows' own values: on Windows the last
// error is the system's GetLastError code.
#include <cstdint>

namespace qwin {

constexpr std::uint32_t ERROR_FILE_NOT_FOUND = 2;
/// What the event wait reports when its device vanished: the component closes the port.
constexpr std::uint32_t ERROR_ACCESS_DENIED = 5;
constexpr std::uint32_t ERROR_INVALID_HANDLE = 6;
constexpr std::uint32_t ERROR_INVALID_PARAMETER = 87;
constexpr std::uint32_t ERROR_OPERATION_ABORTED = 995;
/// The device is held by another opener, or is still busy with what it was given.
constexpr std::uint32_t ERROR_BUSY = 170;
/// The user cancelled a dialog.
constexpr std::uint32_t ERROR_CANCELLED = 1223;
/// A result that does not fit the caller's buffer.
constexpr std::uint32_t ERROR_INSUFFICIENT_BUFFER = 122;

/// A device that does not do what was asked of it (a server without the serial option).
constexpr std::uint32_t ERROR_NOT_SUPPORTED = 50;
/// A device that did not answer in time.
constexpr std::uint32_t ERROR_TIMEOUT = 1460;

} // namespace qwin
