#include "frame_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "io.h"

void FrameLog::WriteLine(std::string line) {
    if (fd_ < 0) return;
    line += '\n';
    const char* p = line.data();
    std::size_t left = line.size();
    while (left > 0) {
        const ssize_t n = ::write(fd_, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // a full disk must not stop the program's exchange
        p += n;
        left -= std::size_t(n);
    }
}

std::string FrameLogLine(double milliseconds, std::string_view direction, std::string_view link,
                         const unsigned char* bytes, int count, std::string_view note) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%.3f", milliseconds);
    std::string line = stamp;
    line.reserve(line.size() + direction.size() + link.size() + 3 * std::size_t(count > 0 ? count : 0) +
                 note.size() + 4);
    (line += ' ') += direction;
    (line += ' ') += link;
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (int i = 0; i < count; ++i) {
        line += ' ';
        line += kHex[bytes[i] >> 4];
        line += kHex[bytes[i] & 0x0F];
    }
    if (count <= 0) line += " (no bytes)";
    if (!note.empty()) (line += ' ') += note;
    return line;
}

bool FrameLog::Open(const std::string& path, std::string* error) {
    Close();
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd_ >= 0) return true;
    if (error) *error = std::strerror(errno);
    return false;
}

void FrameLog::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool OpenFrameLogFromStartup(FrameLog& log, int argc, char** argv) {
    std::string path;
    if (const char* env = std::getenv("COLOUR_SENSOR_FRAME_LOG")) path = env;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--frame-log") == 0) path = argv[i + 1];
    if (path.empty()) return true;
    std::string error;
    if (log.Open(path, &error)) return true;
    std::fprintf(stderr, "The frame log %s cannot be opened: %s\n", path.c_str(), error.c_str());
    return false;
}

void FrameLog::SetLink(std::string_view link) {
    link_ = link.empty() ? "-" : std::string(link);
}

void FrameLog::Sent(const unsigned char* bytes, int count, std::string_view note) {
    if (fd_ >= 0) WriteLine(FrameLogLine(Timer() * 1000.0, "TX", link_, bytes, count, note));
}

void FrameLog::Received(const unsigned char* bytes, int count, std::string_view conclusion) {
    if (fd_ >= 0) WriteLine(FrameLogLine(Timer() * 1000.0, "RX", link_, bytes, count, conclusion));
}

void FrameLog::Failure(std::string_view cause) {
    if (fd_ < 0) return;
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%.3f", Timer() * 1000.0);
    WriteLine(std::string(stamp) + " FAIL " + link_ + " " + std::string(cause));
}
