// The scope's live data and graph panel, through the program's own code:
//  - display cost of one frame: CopyDatatoVars + SetPanelData + ShowGraph, in the density and the raw view,
//    and the same with the repaint of the chart it feeds (goal: at most 1 ms);
//  - the graph panel after 65,536 samples on each of its seven graphs: adding a sample (goal: at most
//    50 us), a full repaint of the visible graph (goal: at most 16 ms), the memory all seven hold (goal: at
//    most 64 MB), and reading back the last plot of a graph next to copying them all;
//  - the live loop against the emulator on TCP and the pseudo-terminal: frames per second next to
//    1 / (reply time + 50 ms) (goal: ratio at least 0.95), and the CPU used while Go runs against a sensor
//    that answers after 1 s (goal: below 5 % of a core).
// Usage: bench_scope_live [--loop-seconds=S] [benchmark options]
#include <benchmark/benchmark.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QImage>
#include <QTimer>
#include <QWidget>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "com232.h"
#include "graph_panel.h"
#include "harness.h"
#include "live_data.h"
#include "platform.h"
#include "plots.h"
#include "scope.h"
#include "sensor_emulator.h"

namespace fs = std::filesystem;

namespace {

double Clock(clockid_t id) {
    timespec ts{};
    clock_gettime(id, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double ResidentMB() {
    long pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// A plot widget of a panel, found by the panel file's names.
QWidget* Widget(const char* panelClass, const char* name) {
    for (QWidget* w : QApplication::allWidgets())
        if (w->objectName() == name && w->window() && w->parentWidget() &&
            w->parentWidget()->objectName() == panelClass)
            return w;
    return nullptr;
}

// Frame k of a sample passing the sensor.
void NextFrame(int k) {
    const double wave = std::sin(k / 9.0);
    const unsigned short words[12] = {static_cast<unsigned short>(1820 + 140 * wave),
                                      static_cast<unsigned short>(2460 + 90 * wave),
                                      static_cast<unsigned short>(1570 + 170 * wave),
                                      static_cast<unsigned short>(2100 + 60 * wave),
                                      static_cast<unsigned short>(545 + 25 * wave),
                                      static_cast<unsigned short>(512 - 20 * wave),
                                      3,
                                      36,
                                      1990,
                                      2550,
                                      1740,
                                      0};
    std::copy(std::begin(words), std::end(words), databuf + 2);
}

void DisplayFrame(benchmark::State& state, int view, bool repaint) {
    uitest::SelectListItem(datapanel, DATAP_SOURCE, view);
    QWidget* chart = Widget("OrvaneData", view == 0 ? "graphDensity" : "graphRaw");
    if (!chart) {
        state.SkipWithError("chart not found");
        return;
    }
    QImage img(chart->size(), QImage::Format_RGB32);
    int k = 0;
    for (auto _ : state) {
        NextFrame(k++);
        CopyDatatoVars();
        SetPanelData();
        ShowGraph();
        if (repaint) chart->render(&img);
    }
}
void BM_DisplayFrameDensityView(benchmark::State& state) {
    DisplayFrame(state, 0, state.range(0) != 0);
}
void BM_DisplayFrameRawView(benchmark::State& state) {
    DisplayFrame(state, 1, state.range(0) != 0);
}
BENCHMARK(BM_DisplayFrameDensityView)->ArgName("repaint")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DisplayFrameRawView)->ArgName("repaint")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The graph panel filled once with 65,536 samples per graph; the benchmarks below work on it.
constexpr int kSamples = 65536;
double g_graphMB = -1;

void FillGraphPanel() {
    if (g_graphMB >= 0) return;
    InitPanelGraph();
    const double before = ResidentMB();
    for (int k = 0; k < kSamples; ++k) {
        NextFrame(k);
        CopyDatatoVars();
        SetPanelGraphData();
    }
    ProcessSystemEvents();
    g_graphMB = ResidentMB() - before;
}

void BM_GraphPanelAddSample(benchmark::State& state) {
    FillGraphPanel();
    int k = kSamples;
    for (auto _ : state) {
        NextFrame(k++);
        CopyDatatoVars();
        SetPanelGraphData();
    }
    state.counters["MB_seven_graphs"] = g_graphMB;
}
// Each run adds to the same graphs: keep the iterations few so the count stays near 65,536.
BENCHMARK(BM_GraphPanelAddSample)->Iterations(2000)->Unit(benchmark::kMicrosecond);

void BM_GraphPanelFullRepaint(benchmark::State& state) {
    FillGraphPanel();
    DisplayPanel(graphpanel);
    auto* graph = qobject_cast<platform_detail::Graph*>(Widget("OrvaneGraph", "graphDensity"));
    if (!graph) {
        state.SkipWithError("graph not found");
        return;
    }
    uitest::SelectListItem(graphpanel, GRAPHP_SIGNAL, 3);
    QImage img(graph->size(), QImage::Format_RGB32);
    for (auto _ : state) {
        graph->InvalidateCache();
        graph->render(&img);
    }
    state.counters["plots"] = static_cast<double>(graph->PlotCount());
    HidePanel(graphpanel);
}
BENCHMARK(BM_GraphPanelFullRepaint)->Unit(benchmark::kMillisecond);

// What a test does to see the newest segment of a full graph (last:1), next to copying every plot (last:-1).
void BM_GraphPanelReadBack(benchmark::State& state) {
    FillGraphPanel();
    std::vector<GraphPlotInfo> plots;
    for (auto _ : state) {
        GetGraphPlots(graphpanel, GRAPHP_GRAPH + 3, plots, int(state.range(0)));
        benchmark::DoNotOptimize(plots.back().y[1]);
    }
    int count = 0;
    GetGraphPlotCount(graphpanel, GRAPHP_GRAPH + 3, count);
    state.counters["plots"] = count;
    state.counters["copied"] = static_cast<double>(plots.size());
}
BENCHMARK(BM_GraphPanelReadBack)->ArgName("last")->Arg(1)->Arg(-1)->Unit(benchmark::kMicrosecond);

// --- the live loop against the emulator -----------------------------------------------------------------

struct LinkRun {
    bool tcp;
    const char* name;
};

void Require(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "%s\n", what);
    std::exit(1);
}

int OrderFives(const sensor_emu::SensorEmulator& e) {
    int n = 0;
    for (const auto& f : e.Received()) n += (f[2] << 8 | f[3]) == 5;
    return n;
}

// Runs Go for `seconds` (Stop is pressed by a timer); wall and CPU seconds and the frames requested.
struct GoRun {
    double wall, cpu;
    int frames;
};
GoRun RunGo(sensor_emu::SensorEmulator& e, double seconds) {
    e.ResetCounters();
    QTimer::singleShot(int(seconds * 1000), [] { uitest::Click(mainpanel, MAINP_STOP); });
    const double w0 = Clock(CLOCK_MONOTONIC), c0 = Clock(CLOCK_PROCESS_CPUTIME_ID);
    uitest::Click(mainpanel, MAINP_GO);
    return {Clock(CLOCK_MONOTONIC) - w0, Clock(CLOCK_PROCESS_CPUTIME_ID) - c0, OrderFives(e)};
}

void LiveLoop(const LinkRun& link, double seconds, const fs::path& dir) {
    sensor_emu::EmulatorOptions options;
    options.versionText = "ORVANE V3.3 2020-05-18";
    options.tcp = link.tcp;
    options.pty = !link.tcp;
    if (!link.tcp) options.ptyLink = (dir / "COM5").string();
    sensor_emu::SensorEmulator emulator(options);
    std::string error;
    Require(emulator.Start(&error), error.c_str());
    std::ofstream(dir / "ComSettings.cfg")
        << (link.tcp ? "1\n1\n1\n127.0.0.1\n" + std::to_string(emulator.TcpPort()) + "\n" : "0\n5\n4\n\n\n");
    Require(LoadOrvanePanels() == 0, "panels");
    DisplayOrvanePanels();
    InitAll();
    Require(comecho == 1, "not connected");

    // The reply time: bare order-5 exchanges.
    constexpr int kBare = 50;
    FlushQueues();
    const double r0 = Clock(CLOCK_MONOTONIC);
    int answered = 0;
    for (int i = 0; i < kBare; ++i) {
        order = 5;
        FillTxBuf(order, 0, 0, 0);
        GetDataFrame();
        if (bytesToRead != 0) break;
        ++answered;
    }
    if (answered < kBare) {
        std::printf("%-22s the emulator does not answer order 5: live loop not measured\n", link.name);
    } else {
        const double reply = (Clock(CLOCK_MONOTONIC) - r0) / kBare;
        const GoRun go = RunGo(emulator, seconds);
        const double rate = go.frames / go.wall, ideal = 1.0 / (reply + 0.05);
        std::printf(
            "%-22s reply %.2f ms; Go %.2f frames/s, 1/(reply + 50 ms) %.2f/s, ratio %.4f (goal >= 0.95); "
            "CPU %.1f %% of a core\n",
            link.name, 1e3 * reply, rate, ideal, rate / ideal, 100.0 * go.cpu / go.wall);

        emulator.SetFaults({.replyDelayMs = 1000});
        const GoRun slow = RunGo(emulator, std::max(seconds, 5.0));
        std::printf(
            "%-22s sensor answering after 1 s: %d frames in %.1f s, CPU %.2f %% of a core (goal < 5 %%)\n",
            link.name, slow.frames, slow.wall, 100.0 * slow.cpu / slow.wall);
        emulator.SetFaults({});
    }

    if (tcpcon) DisconnectFromTCPServer(g_hconversation);
    tcpcon = 0;
    CloseCom(comport);
    DiscardOrvanePanels();
    emulator.Stop();
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    double loopSeconds = 5.0;
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--loop-seconds=", 15) == 0) loopSeconds = std::atof(argv[i] + 15);
    if (InitCVIRTE(argc, argv) != 0) return 1;
    const fs::path dir = fs::temp_directory_path() / ("bench-scope-live-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    uitest::Install(dir.string());

    // Panels without a sensor for the display and graph-panel benchmarks.
    std::ofstream(dir / "ComSettings.cfg") << "1\n1\n1\n127.0.0.1\n1\n";  // nothing listens on port 1
    Require(LoadOrvanePanels() == 0, "panels");
    DisplayOrvanePanels();
    InitAll();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("graph panel: %d samples on each of the seven graphs hold %.1f MB (goal <= 64 MB)\n",
                kSamples, g_graphMB);
    DiscardOrvanePanels();

    LiveLoop({true, "TCP"}, loopSeconds, dir);
    LiveLoop({false, "serial (pty, 115200)"}, loopSeconds, dir);
    fs::remove_all(dir);
    return 0;
}
