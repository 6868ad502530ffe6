// The handle table: one map from HANDLE values to devices and events. Values are never
// reused, so a handle kept after CloseHandle fails instead of reaching a newer object.
#include "platform/core/Device.h"
#include "platform/core/LockRank.h"

#include <mutex>
#include <unordered_map>
#include <variant>

namespace qwin::detail {

namespace {

struct OpenDevice {
    std::shared_ptr<Device> dev;
    std::string key;
};
using Entry = std::variant<OpenDevice, std::shared_ptr<Event>>;

struct Table {
    std::mutex mu;
    std::unordered_map<HANDLE, Entry> entries;
    HANDLE next = 0x1000; // small values look like file descriptors: keep clear of them
};

// Never destroyed: a free-on-terminate event thread may still close its handles while the
// process exits.
Table& table() {
    static Table& t = *new Table;
    return t;
}

HANDLE Add(Entry e) {
    Table& t = table();
    std::lock_guard lock(t.mu);
    const HANDLE h = t.next;
    t.next += 4;
    t.entries.emplace(h, std::move(e));
    return h;
}

} // namespace

HANDLE AddDevice(std::shared_ptr<Device> dev, std::string key) {
    return Add(OpenDevice{std::move(dev), std::move(key)});
}

HANDLE AddEvent(std::shared_ptr<Event> ev) {
    return Add(std::move(ev));
}

std::shared_ptr<Device> FindDevice(HANDLE h) {
    Table& t = table();
    std::lock_guard lock(t.mu);
    auto it = t.entries.find(h);
    if (it == t.entries.end()) return nullptr;
    auto* d = std::get_if<OpenDevice>(&it->second);
    return d ? d->dev : nullptr;
}

std::shared_ptr<Event> FindEvent(HANDLE h) {
    Table& t = table();
    std::lock_guard lock(t.mu);
    auto it = t.entries.find(h);
    if (it == t.entries.end()) return nullptr;
    auto* e = std::get_if<std::shared_ptr<Event>>(&it->second);
    return e ? *e : nullptr;
}

std::shared_ptr<Device> FindOpenDevice(const std::string& key) {
    if (key.empty()) return nullptr;
    Table& t = table();
    std::lock_guard lock(t.mu);
    for (auto& [h, e] : t.entries)
        if (auto* d = std::get_if<OpenDevice>(&e); d && d->key == key) return d->dev;
    return nullptr;
}

} // namespace qwin::detail

namespace qwin {

BOOL CloseHandle(HANDLE h) {
    // Outlives entry, which may hold a device's last owner.
    const detail::TRankHold rank(detail::TLockRank::Device);
    detail::Entry entry;
    {
        detail::Table& t = detail::table();
        std::lock_guard lock(t.mu);
        auto it = t.entries.find(h);
        if (it == t.entries.end()) return detail::Fail(ERROR_INVALID_HANDLE);
        entry = std::move(it->second);
        t.entries.erase(it);
    }
    // Outside the table lock: closing a device ends its pending requests and waits for
    // the threads driving it.
    if (auto* d = std::get_if<detail::OpenDevice>(&entry)) d->dev->Close();
    return TRUE;
}

} // namespace qwin
