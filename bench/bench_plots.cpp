// Benchmarks of the plot widgets: the recorder adds one two-point segment per sample to graphs that hold
// tens of thousands, and the live-data loop appends to strip charts with a full history.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <QApplication>
#include <QImage>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform.h"
#include "plots.h"

using platform_detail::Graph;
using platform_detail::StripChart;

namespace {

constexpr int kSegments = 50000;

// A channel's course over a record: a slow wave with some noise, 0..4095 like the sensor's values.
double Signal(int i) {
    return 2048 + 1500 * std::sin(i * 0.002) + 300 * std::sin(i * 0.37);
}

void FillGraph(Graph& g, int segments) {
    for (int i = 1; i <= segments; ++i) {
        const double x[] = {double(i - 1), double(i)}, y[] = {Signal(i - 1), Signal(i)};
        g.AddXY(x, y, 0xFF0000);
    }
}

void FillChart(StripChart& c, int points) {
    std::vector<double> data;
    for (int k = 0; k < points; ++k)
        for (int t = 0; t < c.NumTraces(); ++t) data.push_back(Signal(k + 400 * t));
    c.Append(data);
}

QImage RenderTarget(const QWidget& w) {
    return QImage(w.size(), QImage::Format_RGB32);
}

// One more segment on a graph of 50,000 whose picture is cached: storing it is all that happens now.
void BM_GraphAddSegment(benchmark::State& state) {
    Graph g(nullptr);
    g.resize(800, 400);
    FillGraph(g, kSegments);
    QImage img = RenderTarget(g);
    g.render(&img);
    int i = kSegments;
    for (auto _ : state) {
        const double x[] = {double(i), double(i + 1)}, y[] = {Signal(i), Signal(i + 1)};
        benchmark::DoNotOptimize(g.AddXY(x, y, 0xFF0000));
        ++i;
    }
    state.counters["plots"] = static_cast<double>(g.PlotCount());
}
BENCHMARK(BM_GraphAddSegment)->Iterations(200000);  // the graph grows from 50,000 to 250,000

// The same through the public PlotXY (finding the control by panel and id), as the programs call it.
int g_panel = 0;
enum : int { kGraphCtrl = 1 };
void BM_PlotXYPublic(benchmark::State& state) {
    if (g_panel <= 0) {
        state.SkipWithError("test panel not loaded");
        return;
    }
    DeleteGraphPlot(g_panel, kGraphCtrl, VAL_ALL_PLOTS);
    SetAxisScalingMode(g_panel, kGraphCtrl, VAL_BOTTOM_XAXIS, VAL_AUTOSCALE, 0, 0);
    SetAxisScalingMode(g_panel, kGraphCtrl, VAL_LEFT_YAXIS, VAL_AUTOSCALE, 0, 0);
    for (int i = 0; i < kSegments; ++i) {
        const unsigned short x[] = {static_cast<unsigned short>(i), static_cast<unsigned short>(i + 1)};
        const unsigned short y[] = {static_cast<unsigned short>(Signal(i)),
                                    static_cast<unsigned short>(Signal(i + 1))};
        PlotXY(g_panel, kGraphCtrl, x, y, 0xFF8000);
    }
    int i = kSegments;
    for (auto _ : state) {
        const unsigned short x[] = {static_cast<unsigned short>(i), static_cast<unsigned short>(i + 1)};
        const unsigned short y[] = {static_cast<unsigned short>(Signal(i)),
                                    static_cast<unsigned short>(Signal(i + 1))};
        benchmark::DoNotOptimize(PlotXY(g_panel, kGraphCtrl, x, y, 0xFF8000));
        ++i;
    }
}
BENCHMARK(BM_PlotXYPublic)->Iterations(200000);

// A full repaint of a graph of 50,000 segments: every plot drawn again (after a resize, a range change
// or a deletion).
void BM_GraphFullRepaint(benchmark::State& state) {
    Graph g(nullptr);
    g.resize(800, 400);
    FillGraph(g, kSegments);
    QImage img = RenderTarget(g);
    for (auto _ : state) {
        g.InvalidateCache();
        g.render(&img);
    }
}
BENCHMARK(BM_GraphFullRepaint)->Unit(benchmark::kMillisecond);

// The frame in steady state: one new segment drawn onto the cache, the cache shown, a cursor on top.
void BM_GraphAddSegmentAndRepaint(benchmark::State& state) {
    Graph g(nullptr);
    g.resize(800, 400);
    g.SetScaling(VAL_BOTTOM_XAXIS, VAL_MANUAL, 0, 1e6);  // no range growth in between
    FillGraph(g, kSegments);
    g.SetCursor(1, 25000, 2048);
    QImage img = RenderTarget(g);
    g.render(&img);
    int i = kSegments;
    for (auto _ : state) {
        const double x[] = {double(i), double(i + 1)}, y[] = {Signal(i), Signal(i + 1)};
        g.AddXY(x, y, 0xFF0000);
        g.render(&img);
        ++i;
    }
}
BENCHMARK(BM_GraphAddSegmentAndRepaint)->Unit(benchmark::kMicrosecond);

// Six traces, one point each, onto a strip chart whose 10,000-point history is full, then a repaint;
// the argument is the points per screen (101 as the programs set it, 10,000 for the column reduction).
void BM_StripChartAppendAndRepaint(benchmark::State& state) {
    StripChart c(nullptr);
    c.resize(640, 240);
    c.SetNumTraces(6);
    c.SetPointsPerScreen(static_cast<int>(state.range(0)));
    FillChart(c, StripChart::kHistory);
    QImage img = RenderTarget(c);
    int k = StripChart::kHistory;
    for (auto _ : state) {
        double frame[6];
        for (int t = 0; t < 6; ++t) frame[t] = Signal(k + 400 * t);
        c.Append(frame);
        c.render(&img);
        ++k;
    }
}
BENCHMARK(BM_StripChartAppendAndRepaint)->Arg(101)->Arg(10000)->Unit(benchmark::kMicrosecond);

// The live-data loop's pass: the whole 100-frame history of six values (600 points) plotted again.
void BM_StripChartReplotHistory(benchmark::State& state) {
    StripChart c(nullptr);
    c.resize(640, 240);
    c.SetNumTraces(6);
    c.SetPointsPerScreen(101);
    c.SetYScaling(VAL_MANUAL, 0, 4096);
    FillChart(c, StripChart::kHistory);
    std::vector<double> history(600);
    for (int i = 0; i < 600; ++i) history[i] = Signal(i);
    QImage img = RenderTarget(c);
    for (auto _ : state) {
        c.Append(history);
        c.render(&img);
    }
}
BENCHMARK(BM_StripChartReplotHistory)->Unit(benchmark::kMicrosecond);

// ---- the scope's recorder: seven graphs, one two-point plot per sample and graph, up to 65,536 each ----
constexpr int kRecord = 65536;

void AddSample(Graph& g, int i) {
    const unsigned short x[] = {static_cast<unsigned short>(i), static_cast<unsigned short>(i + 1)};
    const unsigned short y[] = {static_cast<unsigned short>(Signal(i)),
                                static_cast<unsigned short>(Signal(i + 1))};
    g.AddXY(x, y, 0x0000FF);
}

void FillRecord(Graph& g) {
    for (int i = 0; i < kRecord; ++i) AddSample(g, i % 65535);
}

// One sample onto a recorder graph that already holds 65,536, through PlotXY as the program calls it.
void BM_RecorderSample(benchmark::State& state) {
    if (g_panel <= 0) {
        state.SkipWithError("test panel not loaded");
        return;
    }
    DeleteGraphPlot(g_panel, kGraphCtrl, VAL_ALL_PLOTS);
    for (int i = 0; i < kRecord; ++i) {
        const unsigned short x[] = {static_cast<unsigned short>(i % 65535),
                                    static_cast<unsigned short>(i % 65535 + 1)};
        const unsigned short y[] = {2048, 2049};
        PlotXY(g_panel, kGraphCtrl, x, y, 0x0000FF);
    }
    int i = 0;
    for (auto _ : state) {
        const unsigned short x[] = {static_cast<unsigned short>(i), static_cast<unsigned short>(i + 1)};
        const unsigned short y[] = {static_cast<unsigned short>(Signal(i)),
                                    static_cast<unsigned short>(Signal(i + 1))};
        benchmark::DoNotOptimize(PlotXY(g_panel, kGraphCtrl, x, y, 0x0000FF));
        i = (i + 1) % 65535;
    }
    int count = 0;
    GetGraphPlotCount(g_panel, kGraphCtrl, count);
    state.counters["plots"] = count;
}
BENCHMARK(BM_RecorderSample)->Iterations(100000);

// A full repaint of a recorder graph of 65,536 plots at a visible size (after a resize, a range change or
// a clear), autoscaled.
void BM_RecorderFullRepaint(benchmark::State& state) {
    Graph g(nullptr);
    g.resize(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    FillRecord(g);
    QImage img = RenderTarget(g);
    for (auto _ : state) {
        g.InvalidateCache();
        g.render(&img);
    }
    state.counters["plots"] = static_cast<double>(g.PlotCount());
}
BENCHMARK(BM_RecorderFullRepaint)->Args({800, 400})->Args({1280, 720})->Unit(benchmark::kMillisecond);

// The memory of seven recorder graphs of 65,536 plots each: what the plot stores reserve, and what the
// heap grew by (the widgets and their cached pictures included).
void BM_RecorderSevenGraphsMemory(benchmark::State& state) {
    for (auto _ : state) {
        const std::size_t heapBefore = mallinfo2().uordblks;
        std::vector<std::unique_ptr<Graph>> graphs;
        std::size_t stores = 0;
        for (int k = 0; k < 7; ++k) {
            graphs.push_back(std::make_unique<Graph>(nullptr));
            graphs.back()->resize(800, 200);
            FillRecord(*graphs.back());
            QImage img = RenderTarget(*graphs.back());
            graphs.back()->render(&img);  // its cached picture too
            stores += graphs.back()->StorageBytes();
        }
        const std::size_t heapAfter = mallinfo2().uordblks;
        state.counters["store_MB"] = static_cast<double>(stores) / (1024.0 * 1024.0);
        state.counters["heap_MB"] = static_cast<double>(heapAfter - heapBefore) / (1024.0 * 1024.0);
    }
}
BENCHMARK(BM_RecorderSevenGraphsMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

// Clearing a recorder graph of 65,536 plots (DeleteGraphPlot with VAL_ALL_PLOTS).
void BM_RecorderClear(benchmark::State& state) {
    Graph g(nullptr);
    g.resize(800, 400);
    for (auto _ : state) {
        state.PauseTiming();
        FillRecord(g);
        state.ResumeTiming();
        benchmark::DoNotOptimize(g.Delete(VAL_ALL_PLOTS));
    }
}
BENCHMARK(BM_RecorderClear)->Iterations(50)->Unit(benchmark::kMicrosecond);

// A hidden graph of 65,536 plots given one more sample and a moved cursor per pass, with the event loop
// turning over as the program's does: nothing is drawn while hidden.
void BM_HiddenGraphSampleAndCursor(benchmark::State& state) {
    Graph g(nullptr);
    g.resize(800, 400);
    g.SetScaling(VAL_BOTTOM_XAXIS, VAL_MANUAL, 0, 65536);
    FillRecord(g);
    int i = 0;
    for (auto _ : state) {
        AddSample(g, i);
        g.SetCursor(1, i, 2048);
        QCoreApplication::processEvents();
        i = (i + 1) % 65535;
    }
}
BENCHMARK(BM_HiddenGraphSampleAndCursor)->Unit(benchmark::kMicrosecond);

// The scope's live view: its whole 100-frame history (3 or 6 traces, 300 or 600 values) plotted again into
// a strip chart of 101 points per screen on every frame, through PlotStripChart as the program calls it.
// The repaint follows at the screen's pace, not per call; the heap must not grow over the calls.
void BM_ScopeReplotHistoryCall(benchmark::State& state) {
    const int traces = static_cast<int>(state.range(0));
    const CtrlBinding controls[] = {{1, "chart"}};
    const int panel = LoadPanel(0, PanelDef{"plots_test.ui", nullptr, controls});
    if (panel <= 0) {
        state.SkipWithError("test panel not loaded");
        return;
    }
    SetCtrlAttribute(panel, 1, ATTR_NUM_TRACES, traces);
    SetCtrlAttribute(panel, 1, ATTR_POINTS_PER_SCREEN, 101);
    std::vector<double> history(100 * traces);
    for (std::size_t i = 0; i < history.size(); ++i) history[i] = Signal(static_cast<int>(i));
    PlotStripChart(panel, 1, history);  // the first call sets up the chart's fixed history
    const std::size_t heapBefore = mallinfo2().uordblks;
    for (auto _ : state) benchmark::DoNotOptimize(PlotStripChart(panel, 1, history));
    state.counters["heap_growth_KB"] =
        (static_cast<double>(mallinfo2().uordblks) - static_cast<double>(heapBefore)) / 1024.0;
    DiscardPanel(panel);
}
BENCHMARK(BM_ScopeReplotHistoryCall)->Arg(3)->Arg(6)->Unit(benchmark::kMicrosecond);

// Pictures to look at: a strip chart like the raw view and a graph like a symmetry graph and a record.
void SavePictures(const std::string& dir) {
    StripChart c(nullptr);
    c.resize(640, 240);
    c.SetNumTraces(6);
    c.SetPointsPerScreen(101);
    c.SetYScaling(VAL_MANUAL, 0, 4096);
    std::vector<double> data;
    for (int k = 0; k < 150; ++k)
        for (int t = 0; t < 6; ++t) data.push_back(t < 3 ? Signal(k * 20 + 900 * t) : 3600 + 150 * t);
    c.Append(data);
    c.grab().save(QString::fromStdString(dir + "/plots_stripchart.png"));

    StripChart wide(nullptr);
    wide.resize(640, 240);
    wide.SetNumTraces(3);
    wide.SetPointsPerScreen(5000);
    FillChart(wide, 6000);
    wide.grab().save(QString::fromStdString(dir + "/plots_stripchart_reduced.png"));

    Graph sym(nullptr);
    sym.resize(400, 250);
    sym.SetScaling(VAL_BOTTOM_XAXIS, VAL_MANUAL, 0, 1000);
    sym.SetScaling(VAL_LEFT_YAXIS, VAL_MANUAL, 0, 100);
    sym.AddRectangle(440, 0, 560, 100, 0xFF0080, 0xFF0080);
    sym.SetCursor(1, 512, 50);
    sym.grab().save(QString::fromStdString(dir + "/plots_graph_symmetry.png"));

    Graph rec(nullptr);
    rec.resize(640, 300);
    FillGraph(rec, 3000);
    rec.grab().save(QString::fromStdString(dir + "/plots_graph_record.png"));
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (InitCVIRTE(argc, argv) != 0) return 1;
    std::string pngDir;
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--png=", 6) == 0) pngDir = argv[i] + 6;
    if (!pngDir.empty()) SavePictures(pngDir);

    const CtrlBinding controls[] = {{kGraphCtrl, "autoGraph"}};
    SetPanelDirectory(PLOTS_BENCH_PANEL_DIR);
    g_panel = LoadPanel(0, PanelDef{"plots_test.ui", nullptr, controls});

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
