// The scope's live data and graph panel, through the program's own code:
//  - display cost of one frame (ShowFrame), in the density and the raw view, and the same with the repaint
//    of the chart it feeds (goal: at most 1 ms);
//  - the graph panel after 65,536 samples on each of its seven graphs: adding a sample (goal: at most
//    50 us), a full repaint of the visible graph (goal: at most 16 ms), the memory all seven hold (goal: at
//    most 64 MB), the memory four more passes of the index add (goal: none, the panel keeps one pass), and
//    reading back the last plot of a graph next to copying them all;
//  - the live loop against the emulator on TCP, the pseudo-terminal and a wire-speed serial line at 115,200
//    baud: frames per second next to 1 / (reply time + 50 ms), the reply time being that of bare exchanges
//    (goal: ratio at least 0.95), and the CPU used while Go runs against a sensor that answers after 1 s
//    (goal: below 5 % of a core). CPU is the program's thread's; the emulator serves from its own.
// Usage: bench_scope_live [--loop-seconds=S] [benchmark options]
#include <benchmark/benchmark.h>
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

#include "bench_support.h"
#include "com232.h"
#include "graph_panel.h"
#include "harness.h"
#include "live_data.h"
#include "platform.h"
#include "plots.h"
#include "scope.h"

namespace fs = std::filesystem;

namespace {

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
Frame NextFrame(int k) {
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
    Frame frame{0x00, 0xAA, 0x00, 0x05};
    for (int w = 0; w < 12; ++w) SetFrameWord(frame, 2 + w, words[w]);
    return frame;
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
        ShowFrame(NextFrame(k++));
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
        SetPanelGraphData(MeasurementOf(NextFrame(k)));
    }
    ProcessSystemEvents();
    g_graphMB = ResidentMB() - before;
}

void BM_GraphPanelAddSample(benchmark::State& state) {
    FillGraphPanel();
    int k = kSamples;
    for (auto _ : state) {
        SetPanelGraphData(MeasurementOf(NextFrame(k++)));
    }
    state.counters["MB_seven_graphs"] = g_graphMB;
}
// Each run adds to the same graphs: keep the iterations few so the count stays near 65,536.
BENCHMARK(BM_GraphPanelAddSample)->Iterations(2000)->Unit(benchmark::kMicrosecond);

// A record of any length: four more passes of the index over the full panel. The panel keeps one pass, so
// the resident memory does not grow (goal: growth within 1 MB of allocator noise).
void BM_GraphPanelFourMorePasses(benchmark::State& state) {
    FillGraphPanel();
    const double before = ResidentMB();
    int k = 0;
    for (auto _ : state)
        for (int pass = 0; pass < 4; ++pass)
            for (int s = 0; s < kSamples; ++s) {
                SetPanelGraphData(MeasurementOf(NextFrame(k++)));
            }
    ProcessSystemEvents();
    state.counters["MB_growth"] = ResidentMB() - before;
    state.counters["MB_one_pass"] = g_graphMB;
}
BENCHMARK(BM_GraphPanelFourMorePasses)->Iterations(1)->Unit(benchmark::kMillisecond);

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

int OrderFives(const sensor_emu::SensorEmulator& e) {
    int n = 0;
    for (const auto& f : e.Received()) n += (f[2] << 8 | f[3]) == 5;
    return n;
}

// Runs Go for `seconds` (Stop is pressed by a timer): wall and CPU seconds, and the frames requested.
struct GoRun {
    bench::Span span;
    int frames;
};
GoRun RunGo(sensor_emu::SensorEmulator& e, double seconds) {
    e.ResetCounters();
    QTimer::singleShot(int(seconds * 1000), [] { uitest::Click(mainpanel, MAINP_STOP); });
    const bench::Span s = bench::Measure([] { uitest::Click(mainpanel, MAINP_GO); });
    return {s, OrderFives(e)};
}

void BareExchange() {
    order = 5;
    FillTxBuf(order, 0, 0, 0);
    GetDataFrame();
}

void LiveLoop(const bench::Link& link, double seconds, const fs::path& dir, bench::Table& table) {
    sensor_emu::EmulatorOptions options;
    options.versionText = "ORVANE V3.3 2020-05-18";
    auto emulator = bench::StartEmulator(link, dir, options);
    bench::WriteComSettings(dir, link, *emulator);
    bench::Require(LoadOrvanePanels() == 0, "panels");
    DisplayOrvanePanels();
    InitAll();
    bench::Require(comecho == 1, "not connected on " + link.Name());

    FlushQueues();
    const double bare = bench::ExchangesPerSecond(0.5, BareExchange);
    bench::Require(bare > 0, "the emulator does not answer order 5 on " + link.Name());
    const GoRun go = RunGo(*emulator, seconds);
    const double rate = go.frames / go.span.wall, ideal = 1.0 / (1.0 / bare + 0.05);
    emulator->SetFaults({.replyDelayMs = 1000});
    const GoRun slow = RunGo(*emulator, std::max(seconds, 5.0));
    emulator->SetFaults({});
    table.Row({link.Name(), bench::Format("%.2f", 1e3 / bare), bench::Format("%.2f", rate),
               bench::Format("%.2f", ideal), bench::Format("%.4f", rate / ideal),
               bench::Format("%.1f %%", 100.0 * go.span.cpu / go.span.wall),
               bench::Format("%d frames, %.2f %%", slow.frames, 100.0 * slow.span.cpu / slow.span.wall)});

    if (tcpcon) DisconnectFromTCPServer(g_hconversation);
    tcpcon = 0;
    CloseCom(comport);
    DiscardOrvanePanels();
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    double loopSeconds = 5.0;
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--loop-seconds=", 15) == 0) loopSeconds = std::atof(argv[i] + 15);
    if (InitCVIRTE(argc, argv) != 0) return 1;
    const fs::path dir = bench::WorkDir("bench-scope-live");
    uitest::Install(dir.string());
    bench::PrintConditions("bench_scope_live: the scope's live data and graph panel");

    // Panels without a sensor for the display and graph-panel benchmarks.
    std::ofstream(dir / "ComSettings.cfg") << "1\n1\n1\n127.0.0.1\n1\n";  // nothing listens on port 1
    bench::Require(LoadOrvanePanels() == 0, "panels");
    DisplayOrvanePanels();
    InitAll();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("graph panel: %d samples on each of the seven graphs hold %.1f MB (goal <= 64 MB)\n",
                kSamples, g_graphMB);
    DiscardOrvanePanels();

    bench::Table table({"link", "reply ms (bare)", "Go frames/s", "1/(reply + 50 ms)", "ratio (goal >= 0.95)",
                        "CPU", "sensor answering after 1 s: CPU (goal < 5 %)"});
    for (const bench::Link& link : {bench::Link{bench::Link::Tcp}, bench::Link{bench::Link::Pty},
                                    bench::Link{bench::Link::Wire, 115200}})
        LiveLoop(link, loopSeconds, dir, table);
    std::printf("The live loop (Go):\n");
    table.Print();
    fs::remove_all(dir);
    return 0;
}
