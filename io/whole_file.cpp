#include "whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>

namespace {

// All of `bytes` to `fd`; false on any error (a full disk, a file size limit).
bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// The file a path names: the target of a symbolic link, so the link stays.
std::string FileNamedBy(std::string_view path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path p(path);
    if (!fs::is_symlink(p, ec)) return std::string(path);
    const fs::path target = fs::weakly_canonical(p, ec);
    return ec ? std::string(path) : target.string();
}

}  // namespace

bool WriteFileWhole(std::string_view path, std::string_view bytes) {
    const std::string to = FileNamedBy(path);
    struct stat st {};
    const bool exists = ::stat(to.c_str(), &st) == 0;
    if (exists && (!S_ISREG(st.st_mode) || ::access(to.c_str(), W_OK) != 0)) return false;
    // One name per process: two programs saving the same file never write into each other's.
    const std::string fresh = to + ".partial-" + std::to_string(::getpid());
    const int fd = ::open(fresh.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    bool ok = WriteAll(fd, bytes);
    if (ok && exists) ok = ::fchmod(fd, st.st_mode & 07777) == 0;
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    if (ok && std::rename(fresh.c_str(), to.c_str()) == 0) return true;
    ::unlink(fresh.c_str());
    return false;
}
