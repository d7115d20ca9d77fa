// Files: the program directory, path names, plain file handles, lines and number arrays as text.
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>

#include "io_internal.h"

namespace io_detail {
namespace {

std::mutex g_filesMutex;
std::map<int, std::FILE*> g_files;
int g_nextFile = 1;
std::string g_projectDirOverride;

// Where the programs of every user keep their files when they cannot keep them next to the executable.
constexpr const char* kUserDirName = "colour-sensor-tools";

// An installed program finds its panels in the share directory beside bin/, not in bin/panels.
bool RunsFromInstalledPrefix(const std::filesystem::path& exeDir) {
    std::error_code ec;
    return !std::filesystem::is_directory(exeDir / "panels", ec) &&
           std::filesystem::is_directory(exeDir.parent_path() / PANEL_INSTALL_DIR, ec);
}

// $XDG_CONFIG_HOME, else ~/.config, with the home directory from the user database when HOME is not set. A
// relative XDG_CONFIG_HOME is ignored, as the XDG base directory rules say (QStandardPaths of Qt 6.4 takes
// it as it is, and takes / for a missing HOME). Empty when there is no home directory.
std::filesystem::path UserConfigDir() {
    namespace fs = std::filesystem;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && fs::path(xdg).is_absolute()) return xdg;
    if (const char* home = std::getenv("HOME"); home && fs::path(home).is_absolute())
        return fs::path(home) / ".config";
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && fs::path(pw->pw_dir).is_absolute())
        return fs::path(pw->pw_dir) / ".config";
    return {};
}

// The program's files (settings, server history, records, COMn links) live next to the executable when
// it runs from a directory of its own, as in the build tree. An installed program's directory (/usr/bin)
// belongs to the system and to every user, so there they live in the user's configuration directory,
// $XDG_CONFIG_HOME/colour-sensor-tools/<program> (~/.config/...), made on first use. The environment
// variable COLOUR_SENSOR_PROGRAM_DIR names another directory for one run (the demo of scripts/run.sh keeps
// its settings apart from the user's that way; sensor-tool then finds the demo's COMn links there), also
// made on first use. -1 when the directory cannot be made; `dir` names it all the same.
// `program` names another program's directory in the user's configuration directory (empty: this
// program's); `make` makes it there.
int ProgramDir(std::string& dir, const std::string& program, bool make) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (const char* chosen = std::getenv("COLOUR_SENSOR_PROGRAM_DIR"); chosen && *chosen) {
        const fs::path path = fs::absolute(chosen, ec);
        dir = path.string();
        fs::create_directories(path, ec);
        return fs::is_directory(path, ec) ? 0 : -1;
    }
    const fs::path exe = ExecutablePath();
    if (exe.empty()) {
        dir = fs::current_path(ec).string();
        return 0;
    }
    const fs::path exeDir = exe.parent_path();
    if (::access(exeDir.c_str(), W_OK) == 0 && !RunsFromInstalledPrefix(exeDir)) {
        dir = exeDir.string();
        return 0;
    }
    const fs::path config = UserConfigDir();
    const fs::path user = config / kUserDirName / (program.empty() ? exe.filename() : fs::path(program));
    dir = user.string();
    if (config.empty()) return -1;
    if (!make) return 0;
    fs::create_directories(user, ec);
    return fs::is_directory(user, ec) ? 0 : -1;
}

std::FILE* FileOf(int handle) {
    std::lock_guard lock(g_filesMutex);
    auto it = g_files.find(handle);
    return it == g_files.end() ? nullptr : it->second;
}

const char* OpenMode(int readWrite, int action, bool exists) {
    const bool read = readWrite == VAL_READ_ONLY || readWrite == VAL_READ_WRITE;
    const bool write = readWrite == VAL_WRITE_ONLY || readWrite == VAL_READ_WRITE;
    if (!write) return "rb";
    if (action == VAL_APPEND) return read ? "a+b" : "ab";
    if (action == VAL_OPEN_AS_IS && exists) return "r+b";
    return read ? "w+b" : "wb";
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

// The whole text must be the number: "12abc" and "1 2" are not numbers.
template <class T>
bool ParseWhole(std::string_view s, T& value) {
    const bool plus = !s.empty() && s.front() == '+';
    if (plus) s.remove_prefix(1);
    if (s.empty() || s.front() == '+' || (s.front() == '-' && plus)) return false;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    return ec == std::errc() && end == s.data() + s.size();
}

bool ParseValue(std::string_view s, double& v) {
    return ParseWhole(s, v);
}
bool ParseValue(std::string_view s, unsigned short& v) {
    long long wide = 0;
    if (!ParseWhole(s, wide) || wide < 0 || wide > 65535) return false;
    v = static_cast<unsigned short>(wide);
    return true;
}

std::string Format(double v) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);  // shortest text that reads back exactly
    return std::string(buf, r.ptr);
}
std::string Format(unsigned short v) {
    return std::to_string(v);
}

template <class T>
std::string ArrayText(std::span<const T> data, int fieldWidth) {
    std::string out;
    for (const T& v : data) {
        const std::string text = Format(v);
        if (fieldWidth > static_cast<int>(text.size()))
            out.append(static_cast<std::size_t>(fieldWidth) - text.size(), ' ');
        (out += text) += '\n';
    }
    return out;
}

template <class T>
int WriteArray(std::string_view path, std::span<const T> data, int fieldWidth) {
    std::FILE* f = std::fopen(std::string(path).c_str(), "wb");
    if (!f) return -1;
    const std::string text = ArrayText(data, fieldWidth);
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    ok = std::fclose(f) == 0 && ok;
    return ok ? 0 : -1;
}

// fopen opens a directory for reading here; a directory is never a file the programs can use.
std::FILE* OpenRegularFile(const std::string& path, const char* mode) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return nullptr;
    return std::fopen(path.c_str(), mode);
}

// Up to data.size() values, one per line, from `next` (a character, or EOF at the end).
template <class T, class NextChar>
int ParseArray(NextChar next, std::span<T> data) {
    size_t count = 0;
    std::string line;
    int result = 0;
    for (int c = 0; count < data.size() && result == 0;) {
        line.clear();
        while ((c = next()) != EOF && c != '\n') line.push_back(static_cast<char>(c));
        const std::string_view text = Trim(line);
        if (!text.empty()) {
            if (ParseValue(text, data[count]))
                ++count;
            else
                result = -2;
        }
        if (c == EOF) break;
    }
    return result ? result : static_cast<int>(count);
}

template <class T>
int ReadArray(std::string_view path, std::span<T> data) {
    std::FILE* f = OpenRegularFile(std::string(path), "rb");
    if (!f) return -1;
    const int result = ParseArray([f] { return std::fgetc(f); }, data);
    std::fclose(f);
    return result;
}

template <class T>
int ReadArrayText(std::string_view text, std::span<T> data) {
    std::size_t at = 0;
    return ParseArray([&] { return at < text.size() ? static_cast<unsigned char>(text[at++]) : EOF; }, data);
}

}  // namespace

std::filesystem::path ExecutablePath() {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : exe;
}

std::string ExecutableDir() {
    const std::filesystem::path exe = ExecutablePath();
    return exe.empty() ? std::filesystem::current_path().string() : exe.parent_path().string();
}

void SetProjectDirOverride(const std::string& dir) {
    g_projectDirOverride = dir;
}

}  // namespace io_detail

using namespace io_detail;

int GetProjectDir(std::string& dir) {
    int result = 0;
    if (g_projectDirOverride.empty())
        result = ProgramDir(dir, {}, true);
    else
        dir = g_projectDirOverride;
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return result;
}

int GetProgramDirOf(std::string_view program, std::string& dir) {
    if (!g_projectDirOverride.empty()) {
        dir = g_projectDirOverride;
        return 0;
    }
    return ProgramDir(dir, std::string(program), false);
}

std::string MakePathname(std::string_view dir, std::string_view fileName) {
    std::string path(dir);
    if (!path.empty() && path.back() != '/') path += '/';
    path += fileName;
    return path;
}

// One look at the file each (a record appends a line per frame, and every system call counts there).
int GetFileInfo(std::string_view path, long& size) {
    size = 0;
    struct stat st {};
    if (::stat(std::string(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
    size = static_cast<long>(st.st_size);
    return 1;
}

int CVI_OpenFile(std::string_view path, int readWrite, int action, int fileType) {
    (void)fileType;  // no line-end translation on this platform
    if (readWrite < VAL_READ_WRITE || readWrite > VAL_WRITE_ONLY) return -1;
    const std::string p(path);
    struct stat st {};
    const bool exists = ::stat(p.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) return -1;
    std::FILE* f = std::fopen(p.c_str(), OpenMode(readWrite, action, exists));
    if (!f) return -1;
    std::lock_guard lock(g_filesMutex);
    const int handle = g_nextFile++;
    g_files[handle] = f;
    return handle;
}

int ReadLine(int file, std::string& line, int maxChars) {
    line.clear();
    std::FILE* f = FileOf(file);
    if (!f || maxChars < 0) return -1;
    int c = std::fgetc(f);
    if (c == EOF) return std::ferror(f) ? -1 : -2;
    // The whole line is consumed, so an overlong line does not spill into the next read.
    std::string whole;
    for (; c != EOF && c != '\n'; c = std::fgetc(f)) whole.push_back(static_cast<char>(c));
    if (c == '\n' && !whole.empty() && whole.back() == '\r') whole.pop_back();
    if (std::ferror(f)) return -1;
    line = whole.substr(0, static_cast<size_t>(maxChars));
    return static_cast<int>(line.size());
}

int WriteLine(int file, std::string_view line) {
    std::FILE* f = FileOf(file);
    if (!f) return -1;
    if (std::fwrite(line.data(), 1, line.size(), f) != line.size() || std::fputc('\n', f) == EOF) return -1;
    return static_cast<int>(line.size()) + 1;
}

int CVI_WriteFile(int file, const void* data, int count) {
    std::FILE* f = FileOf(file);
    if (!f || count < 0 || (!data && count > 0)) return -1;
    const size_t written = std::fwrite(data, 1, static_cast<size_t>(count), f);
    return written == static_cast<size_t>(count) ? count : -1;
}

int CVI_ReadFile(int file, void* data, int count) {
    std::FILE* f = FileOf(file);
    if (!f || count < 0 || (!data && count > 0)) return -1;
    const size_t got = std::fread(data, 1, static_cast<size_t>(count), f);
    return std::ferror(f) ? -1 : static_cast<int>(got);
}

int CVI_CloseFile(int file) {
    std::FILE* f = nullptr;
    {
        std::lock_guard lock(g_filesMutex);
        auto it = g_files.find(file);
        if (it == g_files.end()) return -1;
        f = it->second;
        g_files.erase(it);
    }
    return std::fclose(f) == 0 ? 0 : -1;
}

int CVI_DeleteFile(std::string_view path) {
    const std::string p(path);
    if (::access(p.c_str(), F_OK) != 0) return -1;
    return std::remove(p.c_str()) == 0 ? 0 : -6;
}

int ArrayToFile(std::string_view path, std::span<const double> data, int fieldWidth) {
    return WriteArray(path, data, fieldWidth);
}
int ArrayToFile(std::string_view path, std::span<const unsigned short> data, int fieldWidth) {
    return WriteArray(path, data, fieldWidth);
}
int FileToArray(std::string_view path, std::span<double> data) {
    return ReadArray(path, data);
}
int FileToArray(std::string_view path, std::span<unsigned short> data) {
    return ReadArray(path, data);
}
std::string ArrayToText(std::span<const double> data, int fieldWidth) {
    return ArrayText(data, fieldWidth);
}
std::string ArrayToText(std::span<const unsigned short> data, int fieldWidth) {
    return ArrayText(data, fieldWidth);
}
int TextToArray(std::string_view text, std::span<double> data) {
    return ReadArrayText(text, data);
}
int TextToArray(std::string_view text, std::span<unsigned short> data) {
    return ReadArrayText(text, data);
}
