#include "simulated_line.h"

#include <algorithm>
#include <deque>

#include "platform.h"

namespace simulated_line {
namespace {

struct Arrival {
    double delay;
    std::vector<std::uint8_t> bytes;
    bool hangUp;
};

struct Line {
    bool tcp = false;
    double now = 0.0;
    std::deque<std::uint8_t> waiting;  // arrived, not read yet
    std::vector<Arrival> pending;      // scheduled, clock not started
    double scheduleStart = -1.0;       // < 0: the schedule waits for a write
    std::size_t nextArrival = 0;
    bool hungUp = false;
    bool written = false;
    std::vector<std::uint8_t> sinceWrite, all;
    std::vector<std::vector<std::uint8_t>> frames;
    std::string status;
    int popups = 0;
    // TCP conversation
    bool connected = false;
    TCPCallbackPtr callback = nullptr;
    bool inCallback = false;
    // serial
    bool open = false;
    double comTimeout = 10.0;
};

Line line;
constexpr unsigned kHandle = 7;

// Moves every arrival that is due by now onto the program's side.
void Deliver() {
    if (line.scheduleStart < 0) return;
    while (line.nextArrival < line.pending.size() &&
           line.scheduleStart + line.pending[line.nextArrival].delay <= line.now) {
        const Arrival& a = line.pending[line.nextArrival++];
        if (line.hungUp) continue;
        if (a.hangUp) {
            line.hungUp = true;
            continue;
        }
        line.waiting.insert(line.waiting.end(), a.bytes.begin(), a.bytes.end());
        line.all.insert(line.all.end(), a.bytes.begin(), a.bytes.end());
        if (line.written) line.sinceWrite.insert(line.sinceWrite.end(), a.bytes.begin(), a.bytes.end());
    }
}

// Waits up to `seconds` for at least one byte; true when one is there.
bool WaitForBytes(double seconds) {
    Deliver();
    const double until = line.now + seconds;
    while (line.waiting.empty() && !line.hungUp) {
        if (line.scheduleStart < 0 || line.nextArrival >= line.pending.size()) break;
        const double due = line.scheduleStart + line.pending[line.nextArrival].delay;
        if (due > until) break;
        line.now = std::max(line.now, due);
        Deliver();
    }
    if (line.waiting.empty() && !line.hungUp) line.now = std::max(line.now, until);
    return !line.waiting.empty();
}

int Take(unsigned char* data, int count) {
    const int n = std::min<int>(count, int(line.waiting.size()));
    std::copy_n(line.waiting.begin(), n, data);
    line.waiting.erase(line.waiting.begin(), line.waiting.begin() + n);
    return n;
}

void Raise(int event) {
    line.inCallback = true;
    line.callback(kHandle, event, 0, nullptr);
    line.inCallback = false;
}

int Write(const unsigned char* data, int count) {
    line.frames.emplace_back(data, data + count);
    if (!line.written) {
        line.written = true;
        Deliver();
        line.sinceWrite.assign(line.waiting.begin(), line.waiting.end());
        if (line.scheduleStart < 0) line.scheduleStart = line.now;
    }
    return count;
}

}  // namespace

void Reset(bool tcp) {
    line = Line{};
    line.tcp = tcp;
}

void Preload(std::span<const std::uint8_t> bytes) {
    line.waiting.insert(line.waiting.end(), bytes.begin(), bytes.end());
    line.all.insert(line.all.end(), bytes.begin(), bytes.end());
}

void ScheduleAfterWrite(double delay, std::span<const std::uint8_t> bytes, bool hangUp) {
    line.pending.push_back({delay, {bytes.begin(), bytes.end()}, hangUp});
}

void Start() {
    if (line.scheduleStart < 0) line.scheduleStart = line.now;
}

const std::vector<std::uint8_t>& ReceivableSinceWrite() {
    return line.sinceWrite;
}
const std::vector<std::uint8_t>& AllArrived() {
    return line.all;
}
const std::vector<std::vector<std::uint8_t>>& Written() {
    return line.frames;
}
std::string LastStatusText() {
    return line.status;
}
int Popups() {
    return line.popups;
}
double Now() {
    return line.now;
}

}  // namespace simulated_line

using simulated_line::line;
using namespace simulated_line;

// --- the platform calls the link makes ------------------------------------------------------------------

double Timer() {
    return line.now;
}

int ProcessSystemEvents() {
    line.now += kPumpStepSeconds;
    Deliver();
    if (!line.tcp || !line.connected || !line.callback || line.inCallback) return 0;
    if (!line.waiting.empty()) {
        Raise(TCP_DATAREADY);
    } else if (line.hungUp) {
        line.connected = false;
        Raise(TCP_DISCONNECT);
    }
    return 0;
}

int SetCtrlVal(int, int, std::string_view value) {
    line.status = std::string(value);
    return 0;
}
int SetCtrlAttribute(int, int, CtrlAttr, int) {
    return 0;
}
std::string TimeStr() {
    return "00:00:00";
}
int MessagePopup(std::string_view, std::string_view) {
    ++line.popups;
    return 0;
}
int SetWaitCursor(int) {
    return 0;
}

int ConnectToTCPServer(unsigned& handle, int, std::string_view, TCPCallbackPtr callback, void*, int) {
    line.connected = true;
    line.callback = callback;
    handle = kHandle;
    return 0;
}
int DisconnectFromTCPServer(unsigned handle) {
    if (handle != kHandle || !line.connected) return kTCP_NoConnectionEstablished;
    line.connected = false;
    return 0;
}
int ClientTCPWrite(unsigned handle, const unsigned char* data, int count, int) {
    if (handle != kHandle || !line.connected) return kTCP_NoConnectionEstablished;
    if (line.hungUp) return kTCP_ConnectionClosed;
    return Write(data, count);
}
int ClientTCPRead(unsigned handle, unsigned char* data, int count, int timeoutMs) {
    if (handle != kHandle || !line.connected) return kTCP_NoConnectionEstablished;
    if (count < 0 || (count > 0 && !data)) return kTCP_InvalidParameter;
    if (count == 0) return 0;
    if (!WaitForBytes(timeoutMs / 1000.0)) return line.hungUp ? kTCP_ConnectionClosed : kTCP_TimeOutErr;
    return Take(data, count);
}

int OpenComConfig(int, std::string_view, long, int, int, int, int, int) {
    line.open = true;
    return 0;
}
int CloseCom(int) {
    line.open = false;
    return 0;
}
int SetComTime(int, double seconds) {
    line.comTimeout = seconds;
    return 0;
}
int SetCTSMode(int, int) {
    return 0;
}
int FlushInQ(int) {
    if (!line.open) return kRS232PortNotOpen;
    Deliver();
    line.waiting.clear();
    return 0;
}
int FlushOutQ(int) {
    return line.open ? 0 : kRS232PortNotOpen;
}
int ComWrt(int, const unsigned char* buffer, int count) {
    if (!line.open) return kRS232PortNotOpen;
    return Write(buffer, count);
}
int ComRd(int, unsigned char* buffer, int count) {
    if (!line.open) return kRS232PortNotOpen;
    if (count <= 0) return count == 0 ? 0 : kRS232InternalError;
    int got = 0;
    const double until = line.now + line.comTimeout;
    while (got < count) {
        got += Take(buffer + got, count - got);
        if (got == count || line.now >= until || !WaitForBytes(until - line.now)) break;
    }
    if (got > 0) return got;
    return line.hungUp ? kRS232UnknownIOError : kRS232TimeOut;
}
int GetInQLen(int) {
    if (!line.open) return kRS232PortNotOpen;
    Deliver();
    if (line.waiting.empty() && line.hungUp) return kRS232UnknownIOError;
    return int(line.waiting.size());
}
int GetComOpenFailure(int, ComOpenFailure& failure) {
    failure = ComOpenFailure{};
    return 0;
}
std::string ComPortDevicePath(int port) {
    return "/dev/ttyS" + std::to_string(port - 1);
}
