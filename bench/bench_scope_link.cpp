// The scope against the sensor emulator, through the program's own code:
//  1. Start-up to a shown window when no sensor answers at once (the connect is refused): seconds since the
//     process started, and the peak resident memory.
//  2. Send and Get of the whole parameter set to and from RAM and EEPROM (32 or 33 exchanges of a frame
//     each way), on a wire-speed serial line at 9,600 and 115,200 baud next to its wire floor (the bytes
//     both ways at 10 bits each, and the emulator's reply delay): goal at most 1.02 x the floor. On TCP
//     (loopback, no wire) the times alone. Each operation is repeated until its time is stable; median and
//     spread (25th..75th percentile), and the CPU the program used. Next to a bare client's exchanges on a
//     line of its own, timed in turns (goal at most 1.005): whole runs, and the median time between two
//     requests at the sensor, which stalls of the machine that hit a run here and there leave out.
//  3. A Get that waits out a silent sensor: CPU seconds used per wall second (goal: below 0.05).
// Usage: bench_scope_link [--runs=N] [--reply-delay-ms=D] [--only=TEXT]   (N: at least this many runs per
//   operation, 5; TEXT: only the links whose name holds it, e.g. 115200)
#include <sys/resource.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "bench_support.h"
#include "com232.h"
#include "harness.h"
#include "parameters.h"
#include "platform.h"
#include "scope.h"
#include "scope_state.h"

namespace {

using bench::Link;

constexpr const char* kVersion = "ORVANE V3.3 2020-05-18";

void StartUp(const bench::fs::path& dir) {
    std::ofstream(dir / "ComSettings.cfg") << "1\n1\n1\n127.0.0.1\n1\n";  // nothing listens on port 1
    bench::Require(LoadOrvanePanels() == 0, "panels");
    DisplayOrvanePanels();
    InitAll();
    ProcessSystemEvents();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf(
        "start-up to a shown window (connect refused): %.3f s after process start, peak RSS %.1f MB\n\n",
        Timer(), usage.ru_maxrss / 1024.0);
    DiscardOrvanePanels();
}

struct Operation {
    const char* name;
    void (*run)();
    unsigned short memory;
    int exchanges;
};
constexpr Operation kOperations[] = {
    {"Send to RAM", SendPara, RAM, 32},
    {"Send to EEPROM", SendPara, EEPROM, 33},  // and order 6
    {"Get from RAM", GetPara, RAM, 32},
    {"Get from EEPROM", GetPara, EEPROM, 33},  // after order 8
};

void Run(const Link& link, const bench::RepeatOptions& repeat, int replyDelayMs, const bench::fs::path& dir,
         bench::Table& table, bench::Table& silent) {
    // The line's bare exchanges, timed in turns with the program's runs.
    std::unique_ptr<bench::BareLine> bare;
    if (link.Serial()) bare = std::make_unique<bench::BareLine>(link, replyDelayMs);
    sensor_emu::EmulatorOptions options;
    options.versionText = kVersion;
    auto emulator = bench::StartEmulator(link, dir, options);
    emulator->SetFaults({.replyDelayMs = replyDelayMs});
    bench::WriteComSettings(dir, link, *emulator);
    bench::Require(LoadOrvanePanels() == 0, "panels");
    DisplayOrvanePanels();
    InitAll();
    bench::Require(comecho == 1, "not connected on " + link.Name());

    for (const Operation& op : kOperations) {
        target = op.memory;
        // The Send button's callback holds for 0.5 s after the transfer; the transfer itself is timed.
        // The median time between two requests at the sensor, of each run and of the bare run before it.
        std::vector<double> opInterval, bareInterval;
        emulator->ResetCounters();
        const auto [runs, toBare] = bench::RepeatInTurns(
            [&] {
                op.run();
                bench::Require(comecho == 1, std::string(op.name) + " failed");
                opInterval.push_back(bench::MedianRequestInterval(*emulator));
            },
            [&] {
                if (!bare) return 1.0;
                const double seconds = bare->Seconds(op.exchanges);
                bareInterval.push_back(bench::MedianRequestInterval(bare->Sensor()));
                return seconds;
            },
            repeat);
        std::vector<double> pace;
        for (std::size_t i = 0; i < std::min(opInterval.size(), bareInterval.size()); ++i)
            pace.push_back(opInterval[i] / bareInterval[i]);
        const bench::Summary paced = bench::Summarise(pace);
        const double floor = bench::ExchangeFloor(op.exchanges, link.baud, replyDelayMs / 1e3);
        table.Row(
            {link.Name(), op.name, std::to_string(op.exchanges),
             link.Serial() ? bench::Format("%.2f", 1e3 * floor) : "-", bench::Millis(runs.wall),
             link.Serial() ? bench::RatioText(runs.wall.median / floor) : "-",
             link.Serial() ? bench::Format("%.4f (%.4f..%.4f)", toBare.median, toBare.low, toBare.high) : "-",
             link.Serial() ? bench::Format("%.4f (%.4f..%.4f)", paced.median, paced.low, paced.high) : "-",
             bench::Format("%.1f %%", 100.0 * runs.cpu / runs.wall.median), std::to_string(runs.wall.runs)});
    }

    target = RAM;
    emulator->SetFaults({.silent = true});
    const bench::Span wait = bench::Measure(GetPara);
    silent.Row(
        {link.Name(), bench::Format("%.2f s", wait.wall), bench::Format("%.4f", wait.cpu / wait.wall)});

    if (tcpcon) DisconnectFromTCPServer(g_hconversation);
    tcpcon = 0;
    CloseCom(comport);
    DiscardOrvanePanels();
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const auto [repeat, replyDelayMs, only] = bench::ParseLinkBenchOptions(argc, argv);
    if (InitCVIRTE(argc, argv) != 0) return 1;
    const bench::fs::path dir = bench::WorkDir("bench-scope-link");
    uitest::Install(dir.string());
    bench::PrintConditions("bench_scope_link: the scope's parameter transfers against the emulator");
    StartUp(dir);

    bench::Table table({"link", "operation", "exchanges", "wire floor ms", "time ms median (p25..p75)",
                        "time / floor (goal <= 1.02)", "time / bare line in turns (goal <= 1.005)",
                        "median pace / bare's (goal <= 1.005)", "CPU", "runs"});
    bench::Table silent({"link", "Get against a silent sensor", "CPU s per wall s (goal < 0.05)"});
    for (const Link& link : {Link{Link::Wire, 9600}, Link{Link::Wire, 115200}, Link{Link::Tcp}})
        if (link.Name().find(only) != std::string::npos) Run(link, repeat, replyDelayMs, dir, table, silent);
    std::printf(
        "Emulator reply delay %d ms. Serial links at wire speed: 10 bits per byte both ways.\n"
        "Bare line: the same number of exchanges by a raw client with no program code on a line of its own,\n"
        "just before each run; the median (25th..75th percentile) of the runs' ratios to it. The median "
        "pace:\n"
        "the median time between two requests at the sensor in a run over that of the bare run before it.\n",
        replyDelayMs);
    table.Print();
    silent.Print();
    bench::fs::remove_all(dir);
    return 0;
}
