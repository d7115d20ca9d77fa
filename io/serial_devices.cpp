// Serial devices by name: the adapters present, what the system tells of each, and the COMn links of a
// program directory that give them their COM numbers. A test points the device directory elsewhere and
// describes its fake adapters in small files beside their by-id links.
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFileSystemWatcher>
#include <QSerialPortInfo>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "io_internal.h"

namespace fs = std::filesystem;

namespace {

constexpr int kMaxComPort = 255;
constexpr int kMaxLinkHops = 40;
constexpr int kWatchIntervalMs = 500;

bool TestDeviceDir() {
    const char* dir = std::getenv("COLOUR_SENSOR_DEVICE_DIR");
    return dir && *dir;
}

bool Inside(const fs::path& p, const fs::path& dir) {
    const std::string s = p.lexically_normal().string(), d = dir.lexically_normal().string();
    return s.size() > d.size() && s.compare(0, d.size(), d) == 0 && (d.back() == '/' || s[d.size()] == '/');
}

fs::path Canonical(const fs::path& p) {
    std::error_code ec;
    fs::path c = fs::canonical(p, ec);
    return ec ? fs::path() : c;
}

// The tty a by-id link names: its links followed as far as they stay in the device directory and leave the
// by-id folder (a fake adapter's ttyUSB0 is a link to a pseudo-terminal outside it).
fs::path TtyOf(const fs::path& name, const fs::path& deviceDir, const fs::path& byIdDir) {
    fs::path p = name.lexically_normal(), tty;
    std::error_code ec;
    for (int hop = 0; hop < kMaxLinkHops && Inside(p, deviceDir); ++hop) {
        if (!Inside(p, byIdDir)) tty = p;
        if (!fs::is_symlink(fs::symlink_status(p, ec))) break;
        fs::path target = fs::read_symlink(p, ec);
        if (ec) break;
        p = (target.is_relative() ? p.parent_path() / target : target).lexically_normal();
    }
    if (!tty.empty()) return tty;
    return Canonical(name);
}

int HexValue(const std::string& text) {
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 16);
    return !text.empty() && end && *end == '\0' && v >= 0 && v <= 0xFFFF ? int(v) : -1;
}

// A test's stand-in for what the system tells of a USB adapter.
void ReadDescription(const fs::path& file, SerialDeviceInfo& d) {
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "vendor") d.vendorId = HexValue(value);
        if (key == "product") d.productId = HexValue(value);
        if (key == "manufacturer") d.manufacturer = value;
        if (key == "serial") d.serialNumber = value;
        if (key == "description") d.description = value;
    }
}

void TakeSystemDescription(SerialDeviceInfo& d) {
    const fs::path canonical = Canonical(d.path);
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        if (Canonical(info.systemLocation().toStdString()) != canonical) continue;
        d.description = info.description().toStdString();
        d.manufacturer = info.manufacturer().toStdString();
        d.serialNumber = info.serialNumber().toStdString();
        if (info.hasVendorIdentifier()) d.vendorId = info.vendorIdentifier();
        if (info.hasProductIdentifier()) d.productId = info.productIdentifier();
        return;
    }
}

bool StartsWith(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

std::vector<fs::path> SortedEntries(const fs::path& dir) {
    std::vector<fs::path> entries;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        entries.push_back(it->path());
    std::sort(entries.begin(), entries.end());
    return entries;
}

SerialDeviceInfo Describe(const fs::path& tty, const fs::path& byId) {
    SerialDeviceInfo d;
    d.path = tty.string();
    d.byId = byId.string();
    d.fixedPort = StartsWith(tty.filename().string(), "ttyS");
    if (TestDeviceDir()) {
        if (!byId.empty()) ReadDescription(byId.string() + ".desc", d);
    } else {
        TakeSystemDescription(d);
    }
    const std::string canonical = Canonical(tty).string();
    d.mayOpen = ::access(d.path.c_str(), R_OK | W_OK) == 0 && !io_detail::ComDeviceRefused(canonical) &&
                !io_detail::ComDeviceRefused(d.path);
    return d;
}

// COMn: n, else 0.
int ComNumber(const std::string& name) {
    if (!StartsWith(name, "COM") || name.size() < 4 || name.size() > 6) return 0;
    if (!std::all_of(name.begin() + 3, name.end(), [](char c) { return c >= '0' && c <= '9'; })) return 0;
    if (name[3] == '0') return 0;
    const int n = std::stoi(name.substr(3));
    return n <= kMaxComPort ? n : 0;
}

}  // namespace

std::string SerialDeviceDir() {
    return TestDeviceDir() ? std::string(std::getenv("COLOUR_SENSOR_DEVICE_DIR")) : std::string("/dev");
}

std::vector<SerialDeviceInfo> ListSerialDevices() {
    const fs::path deviceDir = fs::absolute(SerialDeviceDir()).lexically_normal();
    const fs::path byIdDir = deviceDir / "serial" / "by-id";
    std::vector<SerialDeviceInfo> devices;
    std::vector<fs::path> seen;  // canonical paths listed already
    auto add = [&](const fs::path& tty, const fs::path& byId) {
        const fs::path canonical = Canonical(tty);
        if (canonical.empty() || std::find(seen.begin(), seen.end(), canonical) != seen.end()) return;
        seen.push_back(canonical);
        devices.push_back(Describe(tty, byId));
    };
    for (const fs::path& link : SortedEntries(byIdDir))
        if (link.extension() != ".desc") add(TtyOf(link, deviceDir, byIdDir), link);
    const bool test = TestDeviceDir();
    std::vector<fs::path> fixed;
    for (const fs::path& entry : SortedEntries(deviceDir)) {
        const std::string name = entry.filename().string();
        if (StartsWith(name, "ttyUSB") || StartsWith(name, "ttyACM")) add(entry, {});
        if (test && StartsWith(name, "ttyS")) fixed.push_back(entry);
    }
    if (!test)
        for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
            fixed.emplace_back(info.systemLocation().toStdString());
    for (const fs::path& entry : fixed) add(entry, {});
    return devices;
}

bool FindSerialDevice(const std::string& path, SerialDeviceInfo& device) {
    const fs::path canonical = Canonical(path);
    if (canonical.empty()) return false;
    for (SerialDeviceInfo& d : ListSerialDevices())
        if (Canonical(d.path) == canonical) {
            device = std::move(d);
            return true;
        }
    return false;
}

ComLink ReadComLink(const std::string& dir, int port) {
    ComLink link;
    link.port = port;
    std::error_code ec;
    const fs::path name = fs::absolute(fs::path(dir) / ("COM" + std::to_string(port)), ec);
    const fs::file_status status = fs::symlink_status(name, ec);
    if (ec && ec.value() != ENOENT) {
        link.state = kComLinkUnreadable;
        return link;
    }
    if (!fs::exists(status)) return link;
    if (!fs::is_symlink(status)) {
        link.state = kComLinkNotALink;
        return link;
    }
    fs::path target = fs::read_symlink(name, ec);
    if (ec) {
        link.state = kComLinkUnreadable;
        return link;
    }
    if (target.is_relative()) target = name.parent_path() / target;
    link.target = target.lexically_normal().string();
    const fs::path resolved = fs::canonical(name, ec);
    if (!ec) {
        link.state = kComLinkPresent;
        link.device = resolved.string();
        return link;
    }
    link.state = ec.value() == ELOOP                           ? kComLinkLoop
                 : ec.value() == EACCES || ec.value() == EPERM ? kComLinkUnreadable
                                                               : kComLinkAbsent;
    // Where it would lead: two programs with a COM5 each may serve different lines, and the port's lock is
    // named after the device, so the device itself is opened, not the link.
    const fs::path partly = fs::weakly_canonical(target, ec);
    link.device = (ec ? target : partly).string();
    return link;
}

std::vector<ComLink> ListComLinks(const std::string& dir) {
    std::vector<ComLink> links;
    std::vector<int> ports;
    for (const fs::path& entry : SortedEntries(dir))
        if (const int n = ComNumber(entry.filename().string())) ports.push_back(n);
    std::sort(ports.begin(), ports.end());
    for (int n : ports) links.push_back(ReadComLink(dir, n));
    return links;
}

std::string ComLinkDevice(const std::string& dir, int port) {
    if (port < 1 || port > kMaxComPort) return {};
    const ComLink link = dir.empty() ? ComLink{} : ReadComLink(dir, port);
    if (link.state == kComLinkNone || link.state == kComLinkNotALink)
        return "/dev/ttyS" + std::to_string(port - 1);
    return link.device.empty() ? link.target : link.device;
}

int CheckDeviceName(const std::string& name, std::string& error) {
    if (name.empty()) {
        error = "no device is given";
        return -1;
    }
    if (name.find_first_of(" \t\r\n") != std::string::npos) {
        error = "\"" + name +
                "\" holds a blank, which no serial device's name does: choose the device from the list";
        return -1;
    }
    if (name.front() != '/') {
        error = "\"" + name + "\" is no full device path: give it as /dev/ttyUSB0 or /dev/serial/by-id/...";
        return -1;
    }
    std::error_code ec;
    const fs::file_status own = fs::symlink_status(name, ec);
    if (ec && ec.value() != ENOENT) {
        error = "the folder of " + name + " cannot be read (" + ec.message() + ")";
        return -1;
    }
    if (!fs::exists(own)) {
        error = "there is no device " + name + ": plug in the adapter, or choose a device from the list";
        return -1;
    }
    const fs::path resolved = fs::canonical(name, ec);
    if (ec.value() == ELOOP) {
        error = name + " is a loop of links that lead to each other, not a device";
        return -1;
    }
    if (ec.value() == EACCES || ec.value() == EPERM) {
        error = "a folder on the way to " + name + " cannot be read (" + ec.message() + ")";
        return -1;
    }
    if (ec) {
        error = name + " is a link to " + fs::read_symlink(name, ec).string() +
                ", which does not exist: plug in the adapter, or choose a device from the list";
        return -1;
    }
    if (!fs::is_character_file(resolved, ec)) {
        error = name + " is not a serial device";
        return -1;
    }
    return 0;
}

int LinkComPort(const std::string& dir, const std::string& device, int& port, std::string& error) {
    if (CheckDeviceName(device, error) != 0) return -1;
    const fs::path canonical = Canonical(device);
    for (const ComLink& link : ListComLinks(dir))
        if (link.state == kComLinkPresent && fs::path(link.device) == canonical) {
            port = link.port;
            return 0;
        }
    SerialDeviceInfo found;
    const bool listed = FindSerialDevice(device, found);
    // The by-id name stays the same whatever ttyUSB number the adapter gets when it is plugged in again.
    const std::string target = listed && !found.byId.empty() ? found.byId : device;
    std::vector<fs::path> fixedPorts;
    for (const SerialDeviceInfo& d : ListSerialDevices())
        if (d.fixedPort) fixedPorts.push_back(fs::path(d.path).filename());
    for (int n = 1; n <= kMaxComPort; ++n) {
        if (ReadComLink(dir, n).state != kComLinkNone) continue;
        const fs::path fixed = "ttyS" + std::to_string(n - 1);
        if (std::find(fixedPorts.begin(), fixedPorts.end(), fixed) != fixedPorts.end()) continue;
        std::error_code ec;
        fs::create_symlink(target, fs::path(dir) / ("COM" + std::to_string(n)), ec);
        if (ec) {
            error = "cannot make the link COM" + std::to_string(n) + " in " + dir + " (" + ec.message() + ")";
            return -1;
        }
        port = n;
        return 0;
    }
    error = "every COM number from 1 to 255 is taken in " + dir;
    return -1;
}

// --- following plugging ---------------------------------------------------------------------------------

namespace {

struct DeviceWatch {
    std::string dir;
    DeferredCallbackPtr fn = nullptr;
    void* data = nullptr;
    std::string last;
    std::string lastLook;  // Look() when `last` was taken
    QTimer timer;
    QFileSystemWatcher watcher;
};
std::unique_ptr<DeviceWatch> g_watch;
bool g_inWatchCallback = false;  // the watch's own callback runs (and may end the watch)

// What the panel shows of the devices and links; a change of it is a change worth telling.
std::string Snapshot(const std::string& dir) {
    std::string s;
    for (const SerialDeviceInfo& d : ListSerialDevices())
        s += d.path + "|" + d.byId + "|" + (d.mayOpen ? "1" : "0") + "\n";
    for (const ComLink& l : ListComLinks(dir))
        s += std::to_string(l.port) + ":" + std::to_string(int(l.state)) + ":" + l.device + "\n";
    return s;
}

// What a plain look at the folders sees: each entry's name, where a link leads, and what the entry it
// leads to is (its node, owner, permissions and the time of their last change, or why it cannot be
// reached), with the device the harness refuses. Listing the devices asks the system about every port,
// which costs tens of milliseconds; this look costs a few system calls an entry, so the devices are listed
// only when it changed.
std::string Look(const std::string& dir) {
    const fs::path deviceDir = SerialDeviceDir();
    std::string s = io_detail::RefusedComDevice() + "\n";
    for (const fs::path& folder : {fs::path(dir), deviceDir, deviceDir / "serial" / "by-id"}) {
        const bool comLinks = folder == fs::path(dir);
        std::error_code ec;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            const std::string name = it->path().filename().string();
            if (comLinks && ComNumber(name) == 0) continue;  // the program's other files
            s += name;
            std::error_code linkError;
            if (it->is_symlink(linkError)) s += " -> " + fs::read_symlink(it->path(), linkError).string();
            struct stat st {};
            const bool reached = ::stat(it->path().c_str(), &st) == 0;
            if (reached && S_ISDIR(st.st_mode))
                s += " folder";  // what changes inside it (the terminals of /dev/pts) is no serial device
            else if (reached)
                s += " " + std::to_string(st.st_ino) + " " + std::to_string(st.st_mode) + " " +
                     std::to_string(st.st_uid) + " " + std::to_string(st.st_gid) + " " +
                     std::to_string(st.st_ctim.tv_sec) + "." + std::to_string(st.st_ctim.tv_nsec);
            else
                s += " errno " + std::to_string(errno);
            s += "\n";
        }
    }
    return s;
}

// Only a look that changed is worth a list, the watcher's news too: it tells of every file written beside
// the COM links (a record, a frame log, the settings), which no list would show.
void CheckForChange() {
    if (!g_watch) return;
    std::string look = Look(g_watch->dir);
    if (look == g_watch->lastLook) return;
    g_watch->lastLook = std::move(look);
    std::string now = Snapshot(g_watch->dir);
    if (now == g_watch->last) return;
    g_watch->last = std::move(now);
    const DeferredCallbackPtr fn = g_watch->fn;
    void* data = g_watch->data;
    g_inWatchCallback = true;
    io_detail::RunCallback(fn, data);
    g_inWatchCallback = false;
}

}  // namespace

void WatchSerialDevices(const std::string& dir, DeferredCallbackPtr fn, void* data) {
    StopWatchingSerialDevices();
    if (!fn || !QCoreApplication::instance()) return;
    g_watch = std::make_unique<DeviceWatch>();
    g_watch->dir = dir;
    g_watch->fn = fn;
    g_watch->data = data;
    g_watch->lastLook = Look(dir);
    g_watch->last = Snapshot(dir);
    // The watcher tells at once of what it sees; the poll catches the rest (a link's target that comes and
    // goes, a by-id folder made after the watch began).
    const fs::path deviceDir = SerialDeviceDir();
    for (const fs::path& d : {fs::path(dir), deviceDir, deviceDir / "serial" / "by-id"}) {
        std::error_code ec;
        if (fs::is_directory(d, ec)) g_watch->watcher.addPath(QString::fromStdString(d.string()));
    }
    QObject::connect(&g_watch->watcher, &QFileSystemWatcher::directoryChanged, [] { CheckForChange(); });
    QObject::connect(&g_watch->timer, &QTimer::timeout, [] { CheckForChange(); });
    g_watch->timer.start(kWatchIntervalMs);
}

void StopWatchingSerialDevices() {
    if (!g_watch) return;
    DeviceWatch* watch = g_watch.release();
    watch->timer.stop();
    QObject::disconnect(&watch->timer, nullptr, nullptr, nullptr);
    QObject::disconnect(&watch->watcher, nullptr, nullptr, nullptr);
    // Ended from inside its own callback, whose timer or watcher is still sending: it is deleted once that
    // has returned. Otherwise at once, so a watch ended just before the run ends is not left behind.
    if (g_inWatchCallback && QCoreApplication::instance())
        QTimer::singleShot(0, [watch] { delete watch; });
    else
        delete watch;
}
