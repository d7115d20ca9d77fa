#include "bench_support.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "com232.h"

namespace bench {

namespace {

double Seconds(clockid_t id) {
    timespec ts{};
    clock_gettime(id, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// The sample at fraction q of the sorted samples, interpolated.
double Quantile(const std::vector<double>& sorted, double q) {
    const double at = q * double(sorted.size() - 1);
    const auto below = std::size_t(at);
    const std::size_t above = std::min(below + 1, sorted.size() - 1);
    return sorted[below] + (sorted[above] - sorted[below]) * (at - double(below));
}

}  // namespace

double Now() {
    return Seconds(CLOCK_MONOTONIC);
}

double ThreadCpu() {
    return Seconds(CLOCK_THREAD_CPUTIME_ID);
}

double ProcessCpu() {
    return Seconds(CLOCK_PROCESS_CPUTIME_ID);
}

Summary Summarise(std::vector<double> samples) {
    if (samples.empty()) return {};
    std::sort(samples.begin(), samples.end());
    return {Quantile(samples, 0.5), Quantile(samples, 0.25), Quantile(samples, 0.75), int(samples.size())};
}

bool RunsEnough(const std::vector<double>& walls, double start, const RepeatOptions& o) {
    const int n = int(walls.size());
    return n >= o.maxRuns || Now() - start >= o.maxSeconds ||
           (n >= o.minRuns && Summarise(walls).Spread() <= o.spread);
}

double ExchangesPerSecond(double seconds, void (*exchange)()) {
    const double w0 = Now();
    long answered = 0;
    while (Now() - w0 < seconds) {
        exchange();
        if (bytesToRead == 0) ++answered;
    }
    return double(answered) / (Now() - w0);
}

double WireSeconds(double bytes, long baud) {
    return bytes * 10.0 / double(baud);
}

double ExchangeFloor(int exchanges, long baud, double replyDelaySeconds) {
    return exchanges * (WireSeconds(2 * kFrameBytes, baud) + replyDelaySeconds);
}

std::string RatioText(double ratio) {
    if (ratio < kFloorImplausible) return Format("%.4f FLOOR WRONG (below %.2f)", ratio, kFloorImplausible);
    return Format("%.4f", ratio);
}

std::string Link::Name() const {
    switch (kind) {
        case Tcp:
            return "TCP";
        case Pty:
            return "pty";
        case Wire:
            break;
    }
    return "serial " + std::to_string(baud);
}

int BaudIndex(long baud) {
    static constexpr long kRates[] = {9600, 19200, 38400, 57600, 115200};
    for (int i = 0; i < 5; ++i)
        if (kRates[i] == baud) return i;
    Fail("no baud index for " + std::to_string(baud));
}

std::unique_ptr<sensor_emu::SensorEmulator> StartEmulator(const Link& link, const fs::path& dir,
                                                          sensor_emu::EmulatorOptions options) {
    options.tcp = link.kind == Link::Tcp;
    options.pty = link.Serial();
    options.wireSpeed = link.kind == Link::Wire;
    if (options.pty) options.ptyLink = (dir / ("COM" + std::to_string(kComPort))).string();
    auto emulator = std::make_unique<sensor_emu::SensorEmulator>(options);
    std::string error;
    Require(emulator->Start(&error), "the emulator did not start: " + error);
    return emulator;
}

BareLine::BareLine(const Link& link, int replyDelayMs) : dir_(WorkDir("bench-bare-line")) {
    Require(link.Serial(), "a bare line exchange needs a serial line");
    sensor_emu::EmulatorOptions options;
    options.versionText = "ORVANE V3.3 2020-05-18";  // a scope: order 5 answers with a measurement frame
    emulator_ = StartEmulator(link, dir_, options);
    emulator_->SetFaults({.replyDelayMs = replyDelayMs});
    fd_ = ::open(emulator_->PtyPath().c_str(), O_RDWR | O_NOCTTY);
    Require(fd_ >= 0, "cannot open " + emulator_->PtyPath());
    termios tio{};
    ::tcgetattr(fd_, &tio);
    ::cfmakeraw(&tio);
    const speed_t speed = link.baud == 9600 ? B9600 : link.baud == 115200 ? B115200 : B19200;
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
    ::tcsetattr(fd_, TCSANOW, &tio);
}

BareLine::~BareLine() {
    ::close(fd_);
    emulator_->Stop();
    fs::remove_all(dir_);
}

double BareLine::Seconds(int exchanges) {
    const unsigned char request[kFrameBytes] = {0x00, 0x55, 0x00, 0x05};  // order 5: a measurement frame
    unsigned char reply[kFrameBytes];
    const double start = Now();
    for (int i = 0; i < exchanges; ++i) {
        Require(::write(fd_, request, kFrameBytes) == kFrameBytes, "bare line: write");
        for (std::size_t got = 0; got < kFrameBytes;) {
            pollfd p{fd_, POLLIN, 0};
            Require(::poll(&p, 1, 3000) == 1, "bare line: no reply");
            const ssize_t n = ::read(fd_, reply + got, kFrameBytes - got);
            Require(n > 0, "bare line: read");
            got += std::size_t(n);
        }
    }
    return Now() - start;
}

double MedianRequestInterval(sensor_emu::SensorEmulator& sensor) {
    const auto at = sensor.ReceivedTimes();
    std::vector<double> intervals;
    for (std::size_t i = 1; i < at.size(); ++i)
        intervals.push_back(std::chrono::duration<double>(at[i] - at[i - 1]).count());
    sensor.ResetCounters();
    return intervals.empty() ? 0.0 : Summarise(intervals).median;
}

double BareLineExchangeSeconds(const Link& link, int replyDelayMs) {
    BareLine line(link, replyDelayMs);
    constexpr int kExchanges = 16;
    return Repeat([&] { line.Seconds(kExchanges); }).wall.median / kExchanges;
}

void WriteComSettings(const fs::path& dir, const Link& link, const sensor_emu::SensorEmulator& emulator) {
    std::ofstream settings(dir / "ComSettings.cfg");
    if (link.kind == Link::Tcp)
        settings << "1\n1\n1\n127.0.0.1\n" << emulator.TcpPort() << "\n";
    else
        settings << "0\n" << kComPort << "\n" << BaudIndex(link.baud) << "\n\n\n";
}

LinkBenchOptions ParseLinkBenchOptions(int argc, char** argv) {
    LinkBenchOptions o;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--runs=", 7) == 0) o.repeat.minRuns = std::max(1, std::atoi(argv[i] + 7));
        if (std::strncmp(argv[i], "--reply-delay-ms=", 17) == 0) o.replyDelayMs = std::atoi(argv[i] + 17);
        if (std::strncmp(argv[i], "--only=", 7) == 0) o.only = argv[i] + 7;
    }
    o.repeat.maxRuns = std::max(o.repeat.maxRuns, o.repeat.minRuns);
    return o;
}

fs::path WorkDir(const std::string& name) {
    const fs::path dir = fs::temp_directory_path() / (name + "-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    return dir;
}

void Fail(const std::string& why) {
    std::fprintf(stderr, "benchmark failed: %s\n", why.c_str());
    std::exit(1);
}

void Require(bool ok, const std::string& what) {
    if (!ok) Fail(what);
}

void PrintConditions(const std::string& title) {
    double load[3] = {0, 0, 0};
    ::getloadavg(load, 3);
    std::printf("%s\n%ld cores, load average %.2f %.2f %.2f at the start\n\n", title.c_str(),
                ::sysconf(_SC_NPROCESSORS_ONLN), load[0], load[1], load[2]);
    std::fflush(stdout);
}

void Table::Print() const {
    std::vector<std::size_t> width;
    for (const auto& row : rows_)
        for (std::size_t c = 0; c < row.size(); ++c) {
            if (width.size() <= c) width.push_back(0);
            width[c] = std::max(width[c], row[c].size());
        }
    for (std::size_t r = 0; r < rows_.size(); ++r) {
        std::string line;
        for (std::size_t c = 0; c < rows_[r].size(); ++c) {
            const std::string& cell = rows_[r][c];
            line += cell + std::string(width[c] - cell.size() + (c + 1 < rows_[r].size() ? 2 : 0), ' ');
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        std::printf("%s\n", line.c_str());
        if (r == 0) {
            std::size_t total = 0;
            for (std::size_t w : width) total += w + 2;
            std::printf("%s\n", std::string(total - 2, '-').c_str());
        }
    }
    std::printf("\n");
    std::fflush(stdout);
}

std::string Format(const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

std::string Millis(const Summary& s) {
    return Format("%.2f (%.2f..%.2f)", 1e3 * s.median, 1e3 * s.low, 1e3 * s.high);
}

}  // namespace bench
