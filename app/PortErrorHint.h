#pragma once
// What the operator can do about a port error, in French, shown under the system's message
// in the console's error box. Pure: the caller reads the device node and the user.
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace quillon::console {

/// The device node as stat shows it.
struct TNodeOwner {
    gid_t Group = 0;
    std::string GroupName; ///< empty when the group database does not know the gid
    mode_t Mode = 0;       ///< st_mode
};

/// The user the console runs as.
struct TUserAccess {
    std::string Name;                 ///< login name; empty when the account is unknown
    std::vector<gid_t> SessionGroups; ///< the process's groups, effective group included
    std::vector<gid_t> AccountGroups; ///< the account's groups in the group database
};

/// Advice for the error `code` (errno, or 5 for a device lost while open) raised on the
/// device `path`; node is empty when the node could not be read. Empty when there is
/// nothing to add to the system's message.
std::string PortErrorHint(int code, const std::string& path, const std::optional<TNodeOwner>& node,
                          const TUserAccess& user);

} // namespace quillon::console
