// What the benchmarks share: clocks, timing a piece of work, repeating it until its time is stable (median
// and spread), the wire floor of a serial line, the machine's load, tables, and the sensor emulator started
// on a link with the program's settings file pointing at it.
//
// Times are wall seconds of the program's thread; CPU is that thread's own (the emulator serves from a
// thread of its own in the same process and is not counted).
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "sensor_emulator.h"

namespace bench {

namespace fs = std::filesystem;

double Now();         // monotonic seconds
double ThreadCpu();   // CPU seconds of the calling thread
double ProcessCpu();  // CPU seconds of the whole process (the emulator's thread too)

struct Span {
    double wall = 0.0, cpu = 0.0;
};

template <typename F>
Span Measure(F&& f) {
    const double w0 = Now(), c0 = ThreadCpu();
    f();
    return {Now() - w0, ThreadCpu() - c0};
}

// Samples summed up: the median and the 25th and 75th percentiles.
struct Summary {
    double median = 0.0, low = 0.0, high = 0.0;
    int runs = 0;
    double Spread() const { return median > 0.0 ? (high - low) / median : 0.0; }  // relative
};
Summary Summarise(std::vector<double> samples);

// How often Repeat runs a piece of work: at least minRuns times, then until the middle half of the times
// lies within `spread` of the median, or maxRuns or maxSeconds are reached.
struct RepeatOptions {
    int minRuns = 5;
    int maxRuns = 25;
    double maxSeconds = 60.0;
    double spread = 0.01;
};
struct Runs {
    Summary wall;
    double cpu = 0.0;  // median CPU seconds per run
};
// Whether Repeat has run often enough, after `walls` since `start`.
bool RunsEnough(const std::vector<double>& walls, double start, const RepeatOptions& o);
template <typename F>
Runs Repeat(F&& once, const RepeatOptions& o = {}) {
    std::vector<double> walls, cpus;
    const double start = Now();
    do {
        const Span s = Measure(once);
        walls.push_back(s.wall);
        cpus.push_back(s.cpu);
    } while (!RunsEnough(walls, start, o));
    return {Summarise(walls), Summarise(cpus).median};
}
// As Repeat, with the floor's work (`floor` returns its seconds) run just before each run, untimed by it:
// the runs and their ratios to the floor taken in turn with them.
struct RunsInTurns {
    Runs runs;
    Summary ratio;
};
template <typename F, typename G>
RunsInTurns RepeatInTurns(F&& once, G&& floor, const RepeatOptions& o = {}) {
    std::vector<double> walls, cpus, ratios;
    const double start = Now();
    do {
        const double floorSeconds = floor();
        const Span s = Measure(once);
        walls.push_back(s.wall);
        cpus.push_back(s.cpu);
        ratios.push_back(s.wall / floorSeconds);
    } while (!RunsEnough(walls, start, o));
    return {{Summarise(walls), Summarise(cpus).median}, Summarise(ratios)};
}

// `exchange` (one request and its reply through the program's own link code, nothing displayed or recorded)
// back to back for `seconds`: the exchanges answered per second. The bare exchange rate a loop is held to.
double ExchangesPerSecond(double seconds, void (*exchange)());

// A serial line: 10 bits a byte (start bit, 8 data bits, stop bit).
inline constexpr int kFrameBytes = 36;
double WireSeconds(double bytes, long baud);
// The wire floor of `exchanges` request frames each answered by a frame, and the emulator's reply delay.
double ExchangeFloor(int exchanges, long baud, double replyDelaySeconds = 0.0);
// Below this a measured time / floor means the floor is wrong, not the program fast.
inline constexpr double kFloorImplausible = 0.98;
// "ratio" or, below kFloorImplausible, the ratio marked as a wrong floor.
std::string RatioText(double ratio);

// Where a program meets the emulator: TCP on loopback, its pseudo-terminal at memory speed, or a serial
// line at wire speed at `baud`.
struct Link {
    enum Kind { Tcp, Pty, Wire } kind = Tcp;
    long baud = 115200;
    std::string Name() const;
    bool Serial() const { return kind != Tcp; }
};
// The bare exchange of a serial line: a raw client with no program code (a 36-byte request written, the
// 36-byte reply read) against an emulator of its own on `link`, repeated until stable; median seconds per
// exchange. Above the wire time by the line's own turnaround (the pseudo-terminal both ways and the
// emulator's timing), which no program can avoid on this line.
double BareLineExchangeSeconds(const Link& link, int replyDelayMs);
// The same bare client kept open, so its exchanges can be timed in turns with the program's: the line's
// turnaround drifts with the machine over a run, and a floor taken once at the start drifts away from it.
class BareLine {
  public:
    BareLine(const Link& link, int replyDelayMs);
    ~BareLine();
    BareLine(const BareLine&) = delete;
    BareLine& operator=(const BareLine&) = delete;
    double Seconds(int exchanges);  // wall seconds of that many exchanges back to back
    sensor_emu::SensorEmulator& Sensor() { return *emulator_; }

  private:
    fs::path dir_;
    std::unique_ptr<sensor_emu::SensorEmulator> emulator_;
    int fd_ = -1;
};
// The median time between two requests the sensor got since its counters were reset, which it resets: the
// pace of the exchanges without the stalls of a few milliseconds that the machine adds to any run now and
// then.
double MedianRequestInterval(sensor_emu::SensorEmulator& sensor);
// The emulator on `link` (options as given, the link's own set here); its serial line linked as dir/COM5.
// Ends the benchmark with the reason when it cannot start.
std::unique_ptr<sensor_emu::SensorEmulator> StartEmulator(const Link& link, const fs::path& dir,
                                                          sensor_emu::EmulatorOptions options = {});
// The program's settings file in `dir` pointing at the emulator over `link` (COM5 on serial links).
void WriteComSettings(const fs::path& dir, const Link& link, const sensor_emu::SensorEmulator& emulator);
inline constexpr int kComPort = 5;
int BaudIndex(long baud);

// The options of the link benchmarks: --runs=N (at least N runs of each operation), --reply-delay-ms=D
// (the emulator's delay before each reply, added to the wire floor) and --only=TEXT (only the links whose
// name holds TEXT, e.g. 115200 or TCP).
struct LinkBenchOptions {
    RepeatOptions repeat;
    int replyDelayMs = 0;
    std::string only;
};
LinkBenchOptions ParseLinkBenchOptions(int argc, char** argv);

// A fresh directory for one benchmark run, removed by Cleanup.
fs::path WorkDir(const std::string& name);

[[noreturn]] void Fail(const std::string& why);
void Require(bool ok, const std::string& what);

// The benchmark's title and the conditions it ran under (cores, load averages), first in its output.
void PrintConditions(const std::string& title);

// A table printed with its columns aligned.
class Table {
  public:
    explicit Table(std::vector<std::string> header) : rows_{std::move(header)} {}
    void Row(std::vector<std::string> cells) { rows_.push_back(std::move(cells)); }
    void Print() const;

  private:
    std::vector<std::vector<std::string>> rows_;
};
// printf into a std::string.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
// "median (p25..p75)" of seconds in milliseconds.
std::string Millis(const Summary& s);

}  // namespace bench
