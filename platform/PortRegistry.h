#pragma once

// Registry of virtual serial ports (such as the simulated board's pty) that
// programs publish so that device enumeration lists them beside real devices.
//
// Layout: one directory (PortRegistryDir()), one regular file per port named
// "<pid>-<n>" holding two lines: the device path and the friendly name.
// Entries are staged in the ".staging" subdirectory and renamed into place, so
// a watcher of the directory sees exactly one IN_MOVED_TO when a port appears
// and one IN_DELETE when it goes; names starting with "." are never entries.

#include <string>
#include <vector>

namespace qwin {

/// Directory of the registry: $QUILLON_PORT_REGISTRY, else
/// $XDG_RUNTIME_DIR/quillon-ports, else /tmp/quillon-ports-UID (the user id).
std::string PortRegistryDir();

/// One registered port, removed again when the object is destroyed or released.
class TPortRegistration {
  public:
    /// An empty registration that owns no entry.
    TPortRegistration() noexcept = default;
    /// Publishes devicePath under friendlyName; throws std::system_error when the
    /// entry cannot be written, std::invalid_argument for a text with a line end.
    TPortRegistration(const std::string& devicePath, const std::string& friendlyName);
    /// Removes the entry, if this process made it.
    ~TPortRegistration();

    /// Takes over other's entry; other owns none afterwards.
    TPortRegistration(TPortRegistration&& other) noexcept;
    /// Removes this entry, then takes over other's.
    TPortRegistration& operator=(TPortRegistration&& other) noexcept;
    /// Not copyable: one object owns an entry.
    TPortRegistration(const TPortRegistration&) = delete;
    TPortRegistration& operator=(const TPortRegistration&) = delete;

    /// Removes the entry now; later calls and the destructor do nothing.
    void Release() noexcept;
    /// Full path of the entry file, empty when nothing is registered.
    const std::string& EntryPath() const noexcept { return FEntryPath; }
    /// True while an entry is published.
    bool Registered() const noexcept { return !FEntryPath.empty(); }

  private:
    std::string FEntryPath;
    int FOwnerPid = 0; // a forked child must not remove its parent's entry
};

/// A port read back from the registry.
struct TRegisteredPort {
    std::string Path;         ///< the device path, as CreateFile opens it
    std::string FriendlyName; ///< the name shown to the user
};

/// The live registered ports in registration order: by modification time of the
/// entry, then by pid and sequence number (entries of one process keep their
/// order; entries of several processes within one clock tick go by pid).
/// Entries whose owning process is gone or whose device path no longer exists are
/// deleted and left out, so a crashed program leaves no port behind.
std::vector<TRegisteredPort> ListRegisteredPorts();

} // namespace qwin
