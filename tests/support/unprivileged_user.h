// Running part of a test as an unprivileged user. CI runs the suite as root, who may open and write
// everything, so a test of what a user may not do runs that part as "nobody" instead; what it runs must
// then lie where that user can reach it (a checkout under /root, or in any 0700 folder, is not).
#pragma once

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace unprivileged {

// The user to run as when this process runs as root ("nobody"); null when it does not run as root (it is
// unprivileged itself) or there is no such user.
inline const passwd* User() {
    return ::geteuid() == 0 ? ::getpwnam("nobody") : nullptr;
}

// A command line's prefix that runs the rest as `user`, real and effective ids alike, without root's
// groups (util-linux's setpriv).
inline std::string CommandPrefix(const passwd& user) {
    return "setpriv --reuid=" + std::to_string(user.pw_uid) + " --regid=" + std::to_string(user.pw_gid) +
           " --clear-groups -- ";
}

// Copies `program` into `dir`, a folder under the temporary directory (made, and opened for entering
// with the folders between), and returns the copy's path: a program every user may run.
inline std::string ReachableCopy(const std::string& program, const std::filesystem::path& dir) {
    namespace fs = std::filesystem;
    fs::create_directories(dir);
    const fs::path temp = fs::temp_directory_path();
    for (fs::path p = dir; p.has_relative_path() && p != temp && p.string().starts_with(temp.string());
         p = p.parent_path()) {
        struct stat st {};
        if (::stat(p.c_str(), &st) == 0 && st.st_uid == ::geteuid())
            fs::permissions(p, fs::perms::others_exec | fs::perms::group_exec, fs::perm_options::add);
    }
    const fs::path copy = dir / fs::path(program).filename();
    fs::copy_file(program, copy, fs::copy_options::overwrite_existing);
    fs::permissions(copy, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
    return copy.string();
}

// While it lives, this process's real and effective ids are `user`'s, without root's groups: the system
// then refuses it what it refuses that user, access(2) included. The saved ids stay root's, so the end
// gives root back. For code that runs in this process; a program run from here gets CommandPrefix instead.
class AsUser {
  public:
    explicit AsUser(const passwd& user) {
        groups_.resize(std::size_t(std::max(::getgroups(0, nullptr), 0)));
        if (!groups_.empty())
            groups_.resize(std::size_t(std::max(::getgroups(int(groups_.size()), groups_.data()), 0)));
        ok_ = ::setgroups(0, nullptr) == 0 && ::setresgid(user.pw_gid, user.pw_gid, 0) == 0 &&
              ::setresuid(user.pw_uid, user.pw_uid, 0) == 0;
    }
    ~AsUser() {
        [[maybe_unused]] const int a = ::setresuid(0, 0, 0);
        [[maybe_unused]] const int b = ::setresgid(0, 0, 0);
        [[maybe_unused]] const int c = ::setgroups(groups_.size(), groups_.data());
    }
    AsUser(const AsUser&) = delete;
    AsUser& operator=(const AsUser&) = delete;
    bool Ok() const { return ok_; }

  private:
    std::vector<gid_t> groups_;
    bool ok_ = false;
};

}  // namespace unprivileged
