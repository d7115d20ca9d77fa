// The scope against the sensor emulator on loopback, through the program's own code:
//  1. Start-up to a shown window when no sensor answers at once (the connect is refused): seconds since the
//     process started, and the peak resident memory.
//  2. Send and Get of the whole parameter set to and from RAM (32 echoed or answered round trips each), next
//     to their protocol floor measured in the same run: the same 32 frames exchanged bare. Reported as
//     operation time / floor (goal: at most 1.05) and the CPU time per operation.
//  3. A Get that waits out a silent sensor: CPU seconds used per wall second (goal: below 0.05).
// Usage: bench_scope_link [operations]   (default 5, on TCP and on the pseudo-terminal)
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "com232.h"
#include "harness.h"
#include "interface_panel.h"
#include "parameters.h"
#include "platform.h"
#include "scope.h"
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

// The frames of a Send or a Get exchanged bare, without the panels.
void SendFloor() {
    FlushQueues();
    FillTxBuf(1, 0, 0, 0);
    WriteFrame();
    CheckEcho(18);
    for (unsigned short r = 0; r < 31; ++r) {
        FillTxBuf(2, r, 0, 0);
        WriteFrame();
        CheckEcho(6);
    }
}

void GetFloor() {
    for (unsigned short r = 0; r < 32; ++r) {
        FillTxBuf(r == 0 ? 3 : 4, static_cast<unsigned short>(r - 1), 0, 0);
        FlushQueues();
        WriteFrame();
        ReceiveReply();
    }
}

void Require(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "%s\n", what);
    std::exit(1);
}

void StartUp(const fs::path& dir) {
    std::ofstream(dir / "ComSettings.cfg") << "1\n1\n1\n127.0.0.1\n1\n";  // nothing listens on port 1
    Require(LoadOrvanePanels() == 0, "panels");
    DisplayOrvanePanels();
    InitAll();
    ProcessSystemEvents();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf(
        "start-up to a shown window (connect refused): %.3f s after process start, peak RSS %.1f MB\n",
        Timer(), usage.ru_maxrss / 1024.0);
    DiscardOrvanePanels();
}

void Run(bool tcp, int operations, const fs::path& dir) {
    sensor_emu::EmulatorOptions options;
    options.versionText = "ORVANE V3.3 2020-05-18";
    options.tcp = tcp;
    options.pty = !tcp;
    if (!tcp) options.ptyLink = (dir / "COM5").string();
    sensor_emu::SensorEmulator emulator(options);
    std::string error;
    Require(emulator.Start(&error), error.c_str());
    std::ofstream(dir / "ComSettings.cfg")
        << (tcp ? "1\n1\n1\n127.0.0.1\n" + std::to_string(emulator.TcpPort()) + "\n" : "0\n5\n4\n\n\n");
    Require(LoadOrvanePanels() == 0, "panels");
    DisplayOrvanePanels();
    InitAll();
    Require(comecho == 1 && tcpcon == (tcp ? 1 : 0), "not connected");
    const char* name = tcp ? "TCP" : "serial (pty, 115200)";

    struct Operation {
        const char* name;
        int button;
        void (*floor)();
    };
    for (const Operation& op :
         {Operation{"Send", MAINP_SEND, SendFloor}, Operation{"Get", MAINP_GET, GetFloor}}) {
        double floorSum = 0, opSum = 0, cpuSum = 0;
        for (int i = 0; i < operations; ++i) {
            floorSum += Measure(op.floor).wall;
            // The Send button's callback holds for 0.5 s after the transfer; time the transfer itself.
            Span s = Measure(op.button == MAINP_SEND ? SendPara : GetPara);
            Require(comecho == 1, "transfer failed");
            opSum += s.wall;
            cpuSum += s.cpu;
        }
        const double floor = floorSum / operations, time = opSum / operations, cpu = cpuSum / operations;
        std::printf(
            "%-22s %-4s to RAM %.4f s, floor %.4f s, ratio %.4f (goal <= 1.05); CPU %.1f %% of its time\n",
            name, op.name, time, floor, time / floor, 100.0 * cpu / time);
    }

    emulator.SetFaults({.silent = true});
    Span wait = Measure(GetPara);
    std::printf("%-22s silent sensor: Get waited %.2f s, %.3f CPU s per wall s (goal < 0.05)\n", name,
                wait.wall, wait.cpu / wait.wall);

    if (tcpcon) DisconnectFromTCPServer(g_hconversation);
    tcpcon = 0;
    CloseCom(comport);
    DiscardOrvanePanels();
    emulator.Stop();
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const int operations = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    if (InitCVIRTE(argc, argv) != 0) return 1;
    const fs::path dir = fs::temp_directory_path() / ("bench-scope-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    uitest::Install(dir.string());
    StartUp(dir);
    Run(true, operations, dir);
    Run(false, operations, dir);
    fs::remove_all(dir);
    return 0;
}
