// The Morvalen tool's link against the sensor emulator on loopback, through the program's own code:
//  1. A whole page-1 transfer (Send CF: 3 prepare orders with their 0.2 s pauses and 30 write orders) next
//     to its protocol floor, measured in the same run: three 0.2 s pauses plus 33 echoed round trips of
//     the same frames. Reported as transfer time / floor (goal: within 5 %), and the CPU time per transfer.
//     The same again with the frame log on: its ratio must stay within 2 % of the ratio without it.
//  2. A connection attempt that waits out a silent sensor: CPU seconds used per wall second.
// Usage: bench_morvalen_link [transfers]   (default 5, on TCP and on the pseudo-terminal)
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "com232.h"
#include "frame_log.h"
#include "gui.h"
#include "harness.h"
#include "interface_panel.h"
#include "morvalen.h"
#include "platform.h"
#include "sensor_emulator.h"

namespace fs = std::filesystem;

namespace {

double Clock(clockid_t id) {
    timespec ts{};
    clock_gettime(id, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

struct Span {
    double wall = 0, cpu = 0;
};

template <typename F>
Span Measure(F f) {
    const double w0 = Clock(CLOCK_MONOTONIC), c0 = Clock(CLOCK_PROCESS_CPUTIME_ID);
    f();
    return {Clock(CLOCK_MONOTONIC) - w0, Clock(CLOCK_PROCESS_CPUTIME_ID) - c0};
}

// One echoed exchange of a write order, as the transfer sends it.
void RoundTrip(int k) {
    FillTxBuf(182, static_cast<unsigned short>(10 * (k % 30)), static_cast<unsigned short>(0x1400 + k), 10);
    FlushQueues();
    WriteFrame();
    CheckEcho(14);
}

void Run(bool tcp, int transfers, const fs::path& dir) {
    sensor_emu::EmulatorOptions options;
    options.tcp = tcp;
    options.pty = !tcp;
    if (!tcp) options.ptyLink = (dir / "COM5").string();
    sensor_emu::SensorEmulator emulator(options);
    std::string error;
    if (!emulator.Start(&error)) {
        std::fprintf(stderr, "emulator: %s\n", error.c_str());
        std::exit(1);
    }
    std::ofstream(dir / "ComSettings.cfg")
        << (tcp ? "1\n1\n1\n127.0.0.1\n" + std::to_string(emulator.TcpPort()) + "\n" : "0\n5\n4\n\n\n");
    if (LoadMorvalenPanels() != 0) std::exit(1);
    DisplayPanel(mainpanel);
    InitAll();
    if (comecho != 0 || selSensor != 100) {
        std::fprintf(stderr, "not connected\n");
        std::exit(1);
    }
    const char* name = tcp ? "TCP" : "serial (pty, 115200)";

    // Floor: 3 pauses plus 33 round trips, then the transfer itself, alternating to share conditions; after
    // one transfer that warms up the charts and caches.
    uitest::Click(DataPanel(1), DATAP_SEND_CF);
    const std::string logPath = (dir / "frames.log").string();
    // The transfers (not the floor) write the frame log when `label` says so.
    auto measure = [&](const char* label) {
        const bool logged = *label != '\0';
        double floorSum = 0, transferSum = 0, cpuSum = 0;
        for (int i = 0; i < transfers; ++i) {
            Span trips = Measure([] {
                for (int k = 0; k < 33; ++k) RoundTrip(k);
            });
            floorSum += 3 * 0.2 + trips.wall;
            if (logged) OpenFrameLog(logPath);
            Span transfer = Measure([] { uitest::Click(DataPanel(1), DATAP_SEND_CF); });
            CloseFrameLog();
            std::string status;
            GetCtrlVal(DataPanel(1), DATAP_STATUS, status);
            if (status != "SUCCESS") {
                std::fprintf(stderr, "transfer failed: %s\n", status.c_str());
                std::exit(1);
            }
            transferSum += transfer.wall;
            cpuSum += transfer.cpu;
        }
        const double floor = floorSum / transfers, transfer = transferSum / transfers, cpu = cpuSum / transfers;
        std::printf(
            "%-22s page-1 transfer%s %.4f s, floor %.4f s, ratio %.4f (goal <= 1.05); CPU %.4f s per "
            "transfer (%.1f %% of its wall time)\n",
            name, label, transfer, floor, transfer / floor, cpu, 100.0 * cpu / transfer);
        return transfer / floor;
    };
    const double plain = measure("");
    const double logged = measure(" (frame log)");
    std::printf("%-22s frame log on / off: %.4f (goal <= 1.02)\n", name, logged / plain);

    // A connection attempt against a silent sensor waits out the version query's time limit.
    emulator.SetFaults({.silent = true});
    Span wait = Measure([] { uitest::Click(interfacepanel, INTERFACEP_TRY); });
    std::printf("%-22s silent sensor: attempt took %.2f s, CPU %.3f s (%.3f CPU s per wall s)\n", name,
                wait.wall, wait.cpu, wait.cpu / wait.wall);

    if (tcpcon) DisconnectFromTCPServer(g_hconversation);
    tcpcon = 0;
    CloseCom(comport);
    DiscardMorvalenPanels();
    emulator.Stop();
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const int transfers = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    if (InitCVIRTE(argc, argv) != 0) return 1;
    const fs::path dir = fs::temp_directory_path() / ("bench-morvalen-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    uitest::Install(dir.string());
    Run(true, transfers, dir);
    Run(false, transfers, dir);
    fs::remove_all(dir);
    return 0;
}
