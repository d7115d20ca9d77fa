// The Morvalen tool's link against the sensor emulator, through the program's own code:
//  1. A whole page-1 transfer (Send CF: 3 prepare orders each followed by its 0.2 s pause, then 30 write
//     orders, all echoed), on a wire-speed serial line at 9,600 and 115,200 baud next to its wire floor
//     (33 frames each way at 10 bits a byte, the three pauses and the emulator's reply delay): goal at most
//     1.02 x the floor. On TCP (loopback, no wire) the time alone. Repeated until stable: median and spread
//     (25th..75th percentile), and the CPU the program used. The same with the frame log on: its time
//     must stay within 2 % of the time without it.
//  2. A connection attempt that waits out a silent sensor: CPU seconds used per wall second.
// Usage: bench_morvalen_link [--runs=N] [--reply-delay-ms=D] [--only=TEXT]   (N: at least this many
//   transfers, 5; TEXT: only the links whose name holds it, e.g. 115200)
#include <cstdio>
#include <string>

#include "bench_support.h"
#include "com232.h"
#include "frame_log.h"
#include "gui.h"
#include "harness.h"
#include "interface_panel.h"
#include "morvalen.h"
#include "platform.h"

namespace {

using bench::Link;

constexpr int kExchanges = 33;
constexpr double kPauses = 3 * 0.2;

void SendCf() {
    uitest::Click(DataPanel(1), DATAP_SEND_CF);
    std::string status;
    GetCtrlVal(DataPanel(1), DATAP_STATUS, status);
    bench::Require(status == "SUCCESS", "transfer failed: " + status);
}

void Run(const Link& link, const bench::RepeatOptions& repeat, int replyDelayMs, const bench::fs::path& dir,
         bench::Table& table, bench::Table& silent) {
    // The line's bare exchange, measured before the program's emulator starts.
    const double bare = link.Serial() ? bench::BareLineExchangeSeconds(link, replyDelayMs) : 0.0;
    auto emulator = bench::StartEmulator(link, dir);
    emulator->SetFaults({.replyDelayMs = replyDelayMs});
    bench::WriteComSettings(dir, link, *emulator);
    bench::Require(LoadMorvalenPanels() == 0, "panels");
    DisplayPanel(mainpanel);
    InitAll();
    bench::Require(comecho == 0 && selSensor == 100, "not connected on " + link.Name());

    SendCf();  // warms up the charts and caches
    const std::string logPath = (dir / "frames.log").string();
    const double floor = bench::ExchangeFloor(kExchanges, link.baud, replyDelayMs / 1e3) + kPauses;
    const double bareFloor = kExchanges * bare + kPauses;
    double plain = 0.0;
    for (const bool logged : {false, true}) {
        const bench::Runs runs = bench::Repeat(
            [&] {
                if (logged) OpenFrameLog(logPath);
                SendCf();
                CloseFrameLog();
            },
            repeat);
        if (!logged) plain = runs.wall.median;
        table.Row({link.Name(), logged ? "page-1 transfer, frame log on" : "page-1 transfer",
                   link.Serial() ? bench::Format("%.2f", 1e3 * floor) : "-", bench::Millis(runs.wall),
                   link.Serial() ? bench::RatioText(runs.wall.median / floor) : "-",
                   link.Serial() ? bench::RatioText(runs.wall.median / bareFloor) : "-",
                   logged ? bench::Format("%.4f", runs.wall.median / plain) : "-",
                   bench::Format("%.1f %%", 100.0 * runs.cpu / runs.wall.median),
                   std::to_string(runs.wall.runs)});
    }

    // A connection attempt against a silent sensor waits out the version query's time limit.
    emulator->SetFaults({.silent = true});
    const bench::Span wait = bench::Measure([] { uitest::Click(interfacepanel, INTERFACEP_TRY); });
    silent.Row(
        {link.Name(), bench::Format("%.2f s", wait.wall), bench::Format("%.4f", wait.cpu / wait.wall)});

    if (tcpcon) DisconnectFromTCPServer(g_hconversation);
    tcpcon = 0;
    CloseCom(comport);
    DiscardMorvalenPanels();
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const auto [repeat, replyDelayMs, only] = bench::ParseLinkBenchOptions(argc, argv);
    if (InitCVIRTE(argc, argv) != 0) return 1;
    const bench::fs::path dir = bench::WorkDir("bench-morvalen-link");
    uitest::Install(dir.string());
    bench::PrintConditions("bench_morvalen_link: the compensation table transfer against the emulator");

    bench::Table table({"link", "operation", "wire floor ms", "time ms median (p25..p75)",
                        "time / floor (goal <= 1.02)", "time / bare line", "log on / off (goal <= 1.02)",
                        "CPU", "runs"});
    bench::Table silent({"link", "connection attempt, silent sensor", "CPU s per wall s"});
    for (const Link& link : {Link{Link::Wire, 9600}, Link{Link::Wire, 115200}, Link{Link::Tcp}})
        if (link.Name().find(only) != std::string::npos) Run(link, repeat, replyDelayMs, dir, table, silent);
    std::printf(
        "Emulator reply delay %d ms; the floor holds the three 0.2 s pauses after the prepare orders.\n"
        "Bare line: the same exchanges by a raw client with no program code on the same line, and the "
        "pauses.\n",
        replyDelayMs);
    table.Print();
    silent.Print();
    bench::fs::remove_all(dir);
    return 0;
}
