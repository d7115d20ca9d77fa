// Serial ports on QSerialPort. Each port lives on the thread that opened it; several threads may use their
// own ports at once (the table of ports is shared and locked). The reads and writes return only when done or
// when the port's time-out has run out, as the programs expect, and wait through io's wait (the hook's pump
// on its thread); bytes that reached the operating system count as received even when no event loop ran
// since.
#include <grp.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSerialPort>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "io_internal.h"

using io_detail::WaitFor;

namespace {

constexpr int kMaxPortNumber = 255;
constexpr int kDefaultTimeoutMs = 10000;
// Upper bound on the chunks pulled from the system in one call, so a flood cannot keep us in the loop.
constexpr int kMaxDrainPasses = 256;

struct ComPort {
    QSerialPort serial;
    int timeoutMs = kDefaultTimeoutMs;
};

// A read or write that waits holds its port, so a callback that closes the port during the wait leaves the
// waiting call a closed port rather than a destroyed one. The table, the reasons of failed opens and the
// refused device are shared by every thread and taken under g_portsMutex; a port itself is used only by
// the thread that opened it, without the lock.
std::mutex g_portsMutex;
std::map<int, std::shared_ptr<ComPort>>& Ports() {
    static std::map<int, std::shared_ptr<ComPort>> ports;
    return ports;
}

bool ValidPortNumber(int port) {
    return port >= 1 && port <= kMaxPortNumber;
}

// Why the last open of each port failed.
std::map<int, ComOpenFailure> g_openFailures;
// A device that is refused as to a user without the permission (tests run as root, who may open anything).
std::string g_refusedDevice;

bool RefusedForTest(const std::string& device) {
    std::lock_guard lock(g_portsMutex);
    return !g_refusedDevice.empty() && device == g_refusedDevice;
}

// 0 when this user may open the device for reading and writing, else the system's reason.
int AccessRefusal(const std::string& device) {
    if (RefusedForTest(device)) return EACCES;
    return ::access(device.c_str(), R_OK | W_OK) == 0 ? 0 : errno;
}

// Names from the user and group databases, else the numbers; safe on the tool's threads, which open their
// links side by side.
std::string UserName(uid_t uid) {
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(16384);
    ::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found);
    return found ? found->pw_name : std::to_string(uid);
}
std::string GroupName(gid_t gid) {
    group entry{};
    group* found = nullptr;
    std::vector<char> buffer(16384);
    ::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found);
    return found ? found->gr_name : std::to_string(gid);
}

ComOpenFailure DescribeOpenFailure(const std::string& device, QSerialPort::SerialPortError error) {
    ComOpenFailure f;
    f.device = device;
    struct stat st {};
    if (::stat(device.c_str(), &st) == 0) {
        f.group = GroupName(st.st_gid);
        f.owner = UserName(st.st_uid);
        f.groupMayOpen = (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    }
    const int refusal = AccessRefusal(device);
    if (refusal == EACCES || refusal == EPERM)
        f.problem = kComOpenNoPermission;
    else if (refusal == ENOENT || error == QSerialPort::DeviceNotFoundError)
        f.problem = kComOpenNoDevice;
    else if (error == QSerialPort::PermissionError)  // Qt's answer to a device another program holds
        f.problem = kComOpenInUse;
    else
        f.problem = kComOpenFailed;
    return f;
}

// The open port, or nullptr with the error in `err`.
std::shared_ptr<ComPort> FindPort(int port, int& err) {
    if (!ValidPortNumber(port)) {
        err = kRS232InvalidPortNum;
        return nullptr;
    }
    std::lock_guard lock(g_portsMutex);
    auto it = Ports().find(port);
    if (it == Ports().end()) {
        err = kRS232PortNotOpen;
        return nullptr;
    }
    return it->second;
}

// Whether `p` is still the open port number `port` (no callback closed or reopened it during a wait).
bool StillOpen(int port, const std::shared_ptr<ComPort>& p) {
    std::lock_guard lock(g_portsMutex);
    auto it = Ports().find(port);
    return it != Ports().end() && it->second == p;
}

// A wait that ran out leaves a time-out error behind; a broken line's error must stay.
void ClearTimeout(QSerialPort& serial) {
    if (serial.error() == QSerialPort::TimeoutError) serial.clearError();
}

// Moves what the system holds for the port into its buffer, without waiting.
void PullArrived(QSerialPort& serial) {
    for (int i = 0; i < kMaxDrainPasses && serial.waitForReadyRead(0); ++i) {
    }
    ClearTimeout(serial);
}

// Hands bytes straight to the system, without waiting: the count it took (0 when it took none or the line
// failed, which the port's own write then reports). Qt's way, through the port's buffer, turns its write
// notifier on and off for every frame, and each turn wakes the thread's event loop.
int WriteNow(QSerialPort& serial, const unsigned char* data, int count) {
    const int fd = static_cast<int>(serial.handle());
    if (fd < 0) return 0;
    for (;;) {
        const ssize_t n = ::write(fd, data, static_cast<std::size_t>(count));
        if (n < 0 && errno == EINTR) continue;
        return n > 0 ? static_cast<int>(n) : 0;
    }
}

// The bytes the system holds in the port's input (FIONREAD) or output (TIOCOUTQ) queue; -1 when it does not
// tell, which counts as bytes to flush.
int SystemQueueBytes(const QSerialPort& serial, unsigned long request) {
    const int fd = static_cast<int>(serial.handle());
    int n = 0;
    return fd >= 0 && ::ioctl(fd, request, &n) == 0 ? n : -1;
}

// The device went away or the line hung up (a read that ends the stream). It stays broken until reopened.
bool BrokenLine(const QSerialPort& serial) {
    const auto e = serial.error();
    return e == QSerialPort::ResourceError || e == QSerialPort::ReadError || !serial.isOpen();
}

bool ApplyLineSettings(QSerialPort& serial, long baudRate, int parity, int dataBits, int stopBits) {
    static const QSerialPort::Parity kParity[] = {QSerialPort::NoParity, QSerialPort::OddParity,
                                                  QSerialPort::EvenParity, QSerialPort::MarkParity,
                                                  QSerialPort::SpaceParity};
    if (baudRate <= 0 || baudRate > INT_MAX || parity < 0 || parity > 4 || dataBits < 5 || dataBits > 8 ||
        (stopBits != 1 && stopBits != 2))
        return false;
    return serial.setBaudRate(static_cast<qint32>(baudRate)) && serial.setParity(kParity[parity]) &&
           serial.setDataBits(static_cast<QSerialPort::DataBits>(dataBits)) &&
           serial.setStopBits(stopBits == 1 ? QSerialPort::OneStop : QSerialPort::TwoStop) &&
           serial.setFlowControl(QSerialPort::NoFlowControl);
}

}  // namespace

std::string ComPortDevicePath(int port) {
    if (!ValidPortNumber(port)) return {};
    std::string dir;
    if (GetProjectDir(dir) < 0) dir.clear();
    return ComLinkDevice(dir, port);
}

int OpenComConfig(int port, std::string_view deviceName, long baudRate, int parity, int dataBits,
                  int stopBits, int /*inputQueueSize*/, int /*outputQueueSize*/) {
    if (!ValidPortNumber(port)) return kRS232InvalidPortNum;
    if (!QCoreApplication::instance()) return kRS232InternalError;
    CloseCom(port);
    io_detail::PrepareThread();

    {
        std::lock_guard lock(g_portsMutex);
        g_openFailures.erase(port);
    }
    auto p = std::make_shared<ComPort>();
    const std::string path = deviceName.empty() ? ComPortDevicePath(port) : std::string(deviceName);
    p->serial.setPortName(QString::fromStdString(path));
    if (!ApplyLineSettings(p->serial, baudRate, parity, dataBits, stopBits)) return kRS232InternalError;
    // The queues of the system are large enough; ours grows as needed.
    if (RefusedForTest(path) || !p->serial.open(QIODevice::ReadWrite)) {
        ComOpenFailure failure = DescribeOpenFailure(path, p->serial.error());
        std::lock_guard lock(g_portsMutex);
        g_openFailures[port] = std::move(failure);
        return kRS232CannotOpenPort;
    }
    std::lock_guard lock(g_portsMutex);
    Ports()[port] = std::move(p);
    return 0;
}

int ProbeComDevice(std::string_view device, ComOpenFailure& failure) {
    failure = {};
    const std::string path(device);
    if (!path.empty() && AccessRefusal(path) == 0) return 0;
    failure = DescribeOpenFailure(path, QSerialPort::NoError);
    return kRS232CannotOpenPort;
}

int GetComOpenFailure(int port, ComOpenFailure& failure) {
    failure = {};
    if (!ValidPortNumber(port)) return kRS232InvalidPortNum;
    std::lock_guard lock(g_portsMutex);
    auto it = g_openFailures.find(port);
    if (it != g_openFailures.end()) failure = it->second;
    return 0;
}

bool io_detail::ComDeviceRefused(const std::string& device) {
    return RefusedForTest(device);
}

std::string io_detail::RefusedComDevice() {
    std::lock_guard lock(g_portsMutex);
    return g_refusedDevice;
}

void io_detail::SetRefusedComDevice(const std::string& device) {
    std::lock_guard lock(g_portsMutex);
    g_refusedDevice = device;
}

void io::CloseAllPorts() {
    std::map<int, std::shared_ptr<ComPort>> ports;
    {
        std::lock_guard lock(g_portsMutex);
        ports.swap(Ports());
    }
    for (auto& [number, p] : ports) p->serial.close();
}

int CloseCom(int port) {
    if (!ValidPortNumber(port)) return kRS232InvalidPortNum;
    std::shared_ptr<ComPort> p;
    {
        std::lock_guard lock(g_portsMutex);
        auto it = Ports().find(port);
        if (it == Ports().end()) return 0;
        p = std::move(it->second);
        Ports().erase(it);
    }
    p->serial.close();  // also when a waiting call still holds it
    return 0;
}

int SetComTime(int port, double timeoutSeconds) {
    int err = 0;
    const std::shared_ptr<ComPort> p = FindPort(port, err);
    if (!p) return err;
    if (!std::isfinite(timeoutSeconds) || timeoutSeconds < 0) return kRS232InternalError;
    p->timeoutMs = static_cast<int>(std::min(timeoutSeconds * 1000.0, double{INT_MAX}));
    return 0;
}

// Mode 0: no handshake; any other mode: RTS/CTS.
int SetCTSMode(int port, int mode) {
    int err = 0;
    const std::shared_ptr<ComPort> p = FindPort(port, err);
    if (!p) return err;
    if (mode < 0) return kRS232InternalError;
    const auto flow = mode == 0 ? QSerialPort::NoFlowControl : QSerialPort::HardwareControl;
    return p->serial.setFlowControl(flow) ? 0 : kRS232UnknownIOError;
}

// Drops what waits in our buffer and in the system's, and what arrived meanwhile.
int FlushInQ(int port) {
    int err = 0;
    const std::shared_ptr<ComPort> p = FindPort(port, err);
    if (!p) return err;
    // The flush before every request mostly finds nothing to drop, and the system's flush of an empty
    // queue still costs a few tens of microseconds an exchange (measured on a pseudo-terminal): only what
    // waits is flushed.
    if (p->serial.bytesAvailable() == 0 && SystemQueueBytes(p->serial, FIONREAD) == 0) return 0;
    p->serial.clear(QSerialPort::Input);
    PullArrived(p->serial);
    p->serial.readAll();
    return 0;
}

int FlushOutQ(int port) {
    int err = 0;
    const std::shared_ptr<ComPort> p = FindPort(port, err);
    if (!p) return err;
    if (p->serial.bytesToWrite() == 0 && SystemQueueBytes(p->serial, TIOCOUTQ) == 0) return 0;
    p->serial.clear(QSerialPort::Output);
    return 0;
}

// Waits until the bytes are handed to the system. On time-out the bytes not handed over are dropped (they
// must not leave later, in the middle of the next exchange) and the count handed over is returned.
int ComWrt(int port, const unsigned char* buffer, int count) {
    io_detail::NoteLinkActivity();
    int err = 0;
    const std::shared_ptr<ComPort> p = FindPort(port, err);
    if (!p) return err;
    if (count < 0 || (count > 0 && !buffer)) return kRS232InternalError;
    if (count == 0) return 0;
    QSerialPort& s = p->serial;
    // With nothing queued before them the bytes go to the system at once; only what it does not take waits
    // in the port's buffer (a failed line then shows in Qt's own write).
    const int sent = s.bytesToWrite() == 0 ? WriteNow(s, buffer, count) : 0;
    if (sent == count) return count;
    const int rest = count - sent;
    if (s.write(reinterpret_cast<const char*>(buffer) + sent, rest) != rest) return kRS232UnknownIOError;
    // The rest leaves as the system makes room, in the wait below. No flush(): Qt takes a system queue that
    // is full at that moment for a failed write, though the line only needs time.
    WaitFor([&] { return s.bytesToWrite() == 0 || BrokenLine(s) || !StillOpen(port, p); }, p->timeoutMs,
            [&](qint64 left) { s.waitForBytesWritten(static_cast<int>(std::min<qint64>(left, INT_MAX))); });
    if (!StillOpen(port, p)) return kRS232PortNotOpen;
    // Qt drops its output buffer when the device refuses a write, so an empty buffer alone is no success.
    if (s.error() == QSerialPort::WriteError || BrokenLine(s)) {
        s.clear(QSerialPort::Output);
        return kRS232UnknownIOError;
    }
    const int written = count - static_cast<int>(s.bytesToWrite());
    ClearTimeout(s);
    if (written == count) return count;
    s.clear(QSerialPort::Output);
    if (written > 0) return written;
    return BrokenLine(s) ? kRS232UnknownIOError : kRS232TimeOut;
}

// Reads `count` bytes, waiting up to the port's time-out for them. Returns the bytes read, which are fewer
// than `count` when the time-out ran out; kRS232TimeOut when none came at all.
int ComRd(int port, unsigned char* buffer, int count) {
    int err = 0;
    const std::shared_ptr<ComPort> p = FindPort(port, err);
    if (!p) return err;
    if (count < 0 || (count > 0 && !buffer)) return kRS232InternalError;
    if (count == 0) return 0;
    QSerialPort& s = p->serial;
    QElapsedTimer clock;
    clock.start();
    int got = 0;
    for (;;) {
        // Bytes already in the port's buffer come before any the system holds: ask the system only for more.
        if (s.bytesAvailable() < count - got) PullArrived(s);
        const qint64 n = s.read(reinterpret_cast<char*>(buffer) + got, count - got);
        if (n > 0) got += static_cast<int>(n);
        if (got == count || BrokenLine(s)) break;
        const qint64 left = p->timeoutMs - clock.elapsed();
        if (left <= 0) break;
        WaitFor([&] { return s.bytesAvailable() > 0 || BrokenLine(s) || !StillOpen(port, p); }, left,
                [&](qint64 wait) { s.waitForReadyRead(static_cast<int>(std::min<qint64>(wait, INT_MAX))); });
        if (!StillOpen(port, p)) return kRS232PortNotOpen;
    }
    ClearTimeout(s);
    if (got > 0) {
        io_detail::NoteLinkActivity();
        return got;
    }
    return BrokenLine(s) ? kRS232UnknownIOError : kRS232TimeOut;
}

bool ComLineLost(int port) {
    int err = 0;
    const std::shared_ptr<ComPort> p = FindPort(port, err);
    return !p || BrokenLine(p->serial);
}

int GetInQLen(int port) {
    int err = 0;
    const std::shared_ptr<ComPort> p = FindPort(port, err);
    if (!p) return err;
    PullArrived(p->serial);
    const qint64 n = p->serial.bytesAvailable();
    if (n == 0 && BrokenLine(p->serial)) return kRS232UnknownIOError;
    return static_cast<int>(std::min<qint64>(n, INT_MAX));
}
