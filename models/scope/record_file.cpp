#include "record_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <system_error>

namespace {

// 0 when the whole text went to the file, else the system's error number.
int WriteAll(int fd, std::string_view text) {
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n < 0 ? errno : EIO;
        done += std::size_t(n);
    }
    return 0;
}

// Closes the file; the first error of the write and the close, or 0.
int CloseAfter(int fd, int writeError) {
    const int closeError = ::close(fd) == 0 ? 0 : errno;
    return writeError ? writeError : closeError;
}

std::string Reason(int error) {
    return std::generic_category().message(error);
}

}  // namespace

bool AppendRecordText(const std::string& path, std::string_view text, std::string& reason) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        reason = Reason(errno);
        return false;
    }
    struct stat before {};
    const bool regular = ::fstat(fd, &before) == 0 && S_ISREG(before.st_mode);
    const int written = WriteAll(fd, text);
    // A file that refuses even this keeps the fragment; the caller learns of the failed write either way.
    if (written != 0 && regular) {
        [[maybe_unused]] const int cut = ::ftruncate(fd, before.st_size);
    }
    const int error = CloseAfter(fd, written);
    if (error != 0) reason = Reason(error);
    return error == 0;
}

bool StartRecordFile(const std::string& path, std::string_view header, std::string& reason) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        reason = Reason(errno);
        return false;
    }
    struct stat st {};
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    const int error = CloseAfter(fd, WriteAll(fd, header));
    if (error == 0) return true;
    if (regular) ::unlink(path.c_str());
    reason = Reason(error);
    return false;
}

bool CutPartialLastLine(const std::string& path, std::string& removed, std::string& reason) {
    removed.clear();
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return true;
        reason = Reason(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0) {
        ::close(fd);
        return true;
    }
    // A record line is far shorter than this; a longer last piece is cut back to its last line end as well.
    constexpr off_t kTail = 1 << 16;
    off_t end = st.st_size;
    std::string tail;
    for (;;) {
        const off_t from = std::max<off_t>(end - kTail, 0);
        std::string piece(std::size_t(end - from), '\0');
        if (::pread(fd, piece.data(), piece.size(), from) != ssize_t(piece.size())) {
            reason = Reason(errno ? errno : EIO);
            ::close(fd);
            return false;
        }
        tail.insert(0, piece);
        end = from;
        const std::size_t lineEnd = tail.rfind('\n');
        if (lineEnd == tail.size() - 1) break;  // a whole last line: nothing to cut
        if (lineEnd != std::string::npos || from == 0) {
            const std::size_t keep = lineEnd == std::string::npos ? 0 : lineEnd + 1;
            removed = tail.substr(keep);
            if (::ftruncate(fd, off_t(std::size_t(from) + keep)) != 0) {
                reason = Reason(errno);
                removed.clear();
                ::close(fd);
                return false;
            }
            break;
        }
    }
    if (::close(fd) != 0) {
        reason = Reason(errno);
        return false;
    }
    return true;
}

std::string RecordHeaderLine() {
    std::string line;
    for (const char* name :
         {"DATE", "TIME", "CH_L", "CH_C", "CH_R", "DENSITY", "SYM1", "SYM2", "VECTOR", "TEMP"}) {
        line += name;
        line += '\t';
    }
    return line + "\r\n";
}

std::string RecordDataLine(std::string_view date, std::string_view time, const RecordValues& values) {
    std::string line;
    line.reserve(64);
    line += date;
    line += '\t';
    line += time;
    line += '\t';
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) line += '\t';
        line += std::to_string(values[i]);
    }
    return line + "\r\n";
}

bool TakesRecordLines(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT;
    char start[16];
    const ssize_t n = ::read(fd, start, sizeof start);
    ::close(fd);
    if (n <= 0) return n == 0;
    const std::string_view head(start, std::size_t(n));
    auto digits = [&](std::size_t at, std::size_t count) {
        for (std::size_t i = at; i < at + count; ++i)
            if (i >= head.size() || head[i] < '0' || head[i] > '9') return false;
        return true;
    };
    const bool dated = head.size() >= 11 && digits(0, 2) && head[2] == '-' && digits(3, 2) &&
                       head[5] == '-' && digits(6, 4) && head[10] == '\t';
    return head.starts_with("DATE\t") || dated;
}
