// Benchmarks of the plot widgets: the recorder adds one two-point segment per sample to graphs that hold
// tens of thousands, and the live-data loop appends to strip charts with a full history.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <cmath>
#include <cstdlib>
#include <cstring>
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
