#pragma once
// Reads what PortErrorHint needs from the system: the device node's group and mode (stat),
// and the groups of the user running the console, both in this session and in the account.
#include "app/PortErrorHint.h"

#include <optional>
#include <string>

namespace quillon::console {

/// The node at path as stat shows it; empty when stat fails.
std::optional<TNodeOwner> ReadNodeOwner(const std::string& path);

/// The user this process runs as.
TUserAccess CurrentUserAccess();

/// PortErrorHint for this process and the node at path as they are now.
std::string PortErrorAdvice(int code, const std::string& path);

/// The console's error box text (UTF-8): "Error ", the code, ": " and the system's message,
/// unchanged; then, after a blank line, the advice, if any.
std::string PortErrorText(int code, const std::string& message, const std::string& path);

} // namespace quillon::console
