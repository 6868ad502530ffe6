#include "app/PortAccess.h"

#include <cerrno>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace quillon::console {

namespace {

std::string GroupName(gid_t gid) {
    std::vector<char> buf(4096);
    group entry{};
    group* found = nullptr;
    while (getgrgid_r(gid, &entry, buf.data(), buf.size(), &found) == ERANGE)
        buf.resize(buf.size() * 2);
    return found ? found->gr_name : std::string();
}

// The login name and primary group of uid, when the account database knows it.
bool ReadAccount(uid_t uid, std::string& name, gid_t& primary) {
    std::vector<char> buf(4096);
    passwd entry{};
    passwd* found = nullptr;
    while (getpwuid_r(uid, &entry, buf.data(), buf.size(), &found) == ERANGE)
        buf.resize(buf.size() * 2);
    if (!found) return false;
    name = found->pw_name;
    primary = found->pw_gid;
    return true;
}

} // namespace

std::optional<TNodeOwner> ReadNodeOwner(const std::string& path) {
    struct stat st {};
    if (path.empty() || stat(path.c_str(), &st) != 0) return std::nullopt;
    return TNodeOwner{st.st_gid, GroupName(st.st_gid), st.st_mode};
}

TUserAccess CurrentUserAccess() {
    TUserAccess user;
    const int count = getgroups(0, nullptr);
    if (count > 0) {
        user.SessionGroups.resize(static_cast<size_t>(count));
        const int got = getgroups(count, user.SessionGroups.data());
        user.SessionGroups.resize(static_cast<size_t>(got > 0 ? got : 0));
    }
    user.SessionGroups.push_back(getegid());

    gid_t primary = 0;
    if (!ReadAccount(geteuid(), user.Name, primary)) return user;
    int n = 32;
    std::vector<gid_t> groups(static_cast<size_t>(n));
    // getgrouplist reports the size it needs when the list is too short.
    while (getgrouplist(user.Name.c_str(), primary, groups.data(), &n) < 0)
        groups.resize(static_cast<size_t>(n));
    groups.resize(static_cast<size_t>(n));
    user.AccountGroups = std::move(groups);
    return user;
}

std::string PortErrorAdvice(int code, const std::string& path) {
    return PortErrorHint(code, path, ReadNodeOwner(path), CurrentUserAccess());
}

std::string PortErrorText(int code, const std::string& message, const std::string& path) {
    std::string text = "Error " + std::to_string(code) + ": " + message;
    const std::string advice = PortErrorAdvice(code, path);
    if (!advice.empty()) text += "\n\n" + advice;
    return text;
}

} // namespace quillon::console
