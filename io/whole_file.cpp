#include "whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>

namespace {

// All of `bytes` to `fd`; false on any error (a full disk, a file size limit), errno saying which.
bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) errno = EIO;  // no progress and no reason: never loop on it
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// The file a path names: the end of a chain of symbolic links, each relative one read from its link's
// folder, so the links stay and a link whose file does not exist yet has it made where it points. False
// (ELOOP) for a chain that does not end.
bool FileNamedBy(std::string_view path, std::string& file) {
    namespace fs = std::filesystem;
    fs::path p(path);
    for (int links = 0; links < 40; ++links) {
        std::error_code ec;
        if (!fs::is_symlink(p, ec)) {
            file = p.string();
            return true;
        }
        const fs::path target = fs::read_symlink(p, ec);
        if (ec) {
            errno = ec.value();
            return false;
        }
        p = target.is_absolute() ? target : p.parent_path() / target;
    }
    errno = ELOOP;
    return false;
}

}  // namespace

bool WriteFileWhole(std::string_view path, std::string_view bytes) {
    std::string to;
    if (!FileNamedBy(path, to)) return false;
    struct stat st {};
    const bool exists = ::stat(to.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return false;
    }
    if (exists && ::access(to.c_str(), W_OK) != 0) return false;
    // One name per process: two programs saving the same file never write into each other's.
    const std::string fresh = to + ".partial-" + std::to_string(::getpid());
    const int fd = ::open(fresh.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    bool ok = WriteAll(fd, bytes);
    if (ok && exists) {
        // Root replacing another user's file leaves it theirs. Best effort: a user may not give a file away,
        // nor name an owner outside its user namespace, and the bytes matter more. Before fchmod, which
        // restores the set-id bits a change of owner clears.
        if (::fchown(fd, st.st_uid, st.st_gid) != 0) errno = 0;
        ok = ::fchmod(fd, st.st_mode & 07777) == 0;
    }
    ok = ok && ::fsync(fd) == 0;
    int cause = ok ? 0 : errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        cause = errno;
    }
    if (ok && std::rename(fresh.c_str(), to.c_str()) == 0) return true;
    if (ok) cause = errno;
    ::unlink(fresh.c_str());
    errno = cause;  // the failure's own reason, not the clean-up's
    return false;
}
