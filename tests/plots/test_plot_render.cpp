// The plot widgets' pictures, checked pixel by pixel: exact colours without antialiasing, points where
// the mapping puts them, spikes kept by the per-column reduction, incremental drawing equal to a full
// redraw, and repaints paced by the frame timer instead of painted at once.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <cmath>
#include <limits>
#include <random>
#include <set>
#include <vector>

#include "plots.h"

using platform_detail::AxisRange;
using platform_detail::Graph;
using platform_detail::PlotMapping;
using platform_detail::PlotWidget;
using platform_detail::StripChart;

namespace {

QImage Render(QWidget& w) {
    QImage img(w.size(), QImage::Format_RGB32);
    img.fill(Qt::black);
    w.render(&img);
    return img;
}

int At(const QImage& img, int x, int y) {
    return static_cast<int>(img.pixel(x, y) & 0xFFFFFF);
}
// At mapped (fractional) pixel coordinates: the pixel they round to, as the widgets draw them.
int At(const QImage& img, double x, double y) {
    return At(img, static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y)));
}

std::set<int> ColoursIn(const QImage& img, const QRect& r) {
    std::set<int> colours;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) colours.insert(At(img, x, y));
    return colours;
}

// Rows of column x that show `color`.
std::vector<int> RowsWith(const QImage& img, const QRect& area, int x, int color) {
    std::vector<int> rows;
    for (int y = area.top(); y <= area.bottom(); ++y)
        if (At(img, x, y) == color) rows.push_back(y);
    return rows;
}

PlotMapping ChartMapping(const StripChart& c) {
    return PlotMapping(c.PlotArea(), c.ShownX(), c.ShownY());
}
PlotMapping GraphMapping(const Graph& g) {
    return PlotMapping(g.PlotArea(), g.Shown(VAL_BOTTOM_XAXIS), g.Shown(VAL_LEFT_YAXIS));
}

constexpr int kBackground = PlotWidget::kPlotBackground;
constexpr int kGrid = PlotWidget::kGridColor;

// ---- strip chart ------------------------------------------------------------------------------------------

TEST(StripChartPicture, OnlyExactTraceColoursAndNoBlending) {
    StripChart chart(nullptr);
    chart.resize(400, 220);
    ASSERT_EQ(chart.SetNumTraces(3), 0);
    ASSERT_EQ(chart.SetPointsPerScreen(60), 0);
    ASSERT_EQ(chart.SetYScaling(VAL_MANUAL, 0, 100), 0);
    std::vector<double> data;
    for (int k = 0; k < 60; ++k) {
        data.push_back(50 + 45 * std::sin(k * 0.3));  // steep slopes: blending would show here
        data.push_back(50 + 30 * std::cos(k * 0.17));
        data.push_back(k * 1.7);
    }
    ASSERT_EQ(chart.Append(data), 0);
    const QImage img = Render(chart);
    const std::set<int> allowed = {kBackground, kGrid, chart.TraceColor(0), chart.TraceColor(1),
                                   chart.TraceColor(2)};
    const std::set<int> seen = ColoursIn(img, chart.PlotArea());
    for (int c : seen) EXPECT_TRUE(allowed.count(c)) << std::hex << "unexpected colour 0x" << c;
    for (int t = 0; t < 3; ++t) EXPECT_TRUE(seen.count(chart.TraceColor(t))) << "trace " << t << " missing";
    // Distinct default colours, red, green and blue first.
    EXPECT_EQ(StripChart::DefaultTraceColor(0), 0xFF0000);
    EXPECT_EQ(StripChart::DefaultTraceColor(2), 0x0000FF);
    std::set<int> defaults;
    for (int t = 0; t < 8; ++t) defaults.insert(StripChart::DefaultTraceColor(t));
    EXPECT_EQ(defaults.size(), 8u);
    EXPECT_EQ(defaults.count(kBackground), 0u);
}

TEST(StripChartPicture, PointsSitWhereTheMappingPutsThemNewestAtTheRight) {
    StripChart chart(nullptr);
    chart.resize(300, 160);
    ASSERT_EQ(chart.SetPointsPerScreen(11), 0);
    ASSERT_EQ(chart.SetYScaling(VAL_MANUAL, 0, 10), 0);
    const double three[] = {5, 5, 5};
    ASSERT_EQ(chart.Append(three), 0);
    const int color = chart.TraceColor(0);
    QImage img = Render(chart);
    const QRect area = chart.PlotArea();
    const PlotMapping m = ChartMapping(chart);
    const int row = static_cast<int>(std::lround(m.Y(5)));
    // Three points fill the right fifth of an 11-point screen; the left stays empty.
    EXPECT_EQ(At(img, area.right(), row), color);
    EXPECT_EQ(At(img, static_cast<int>(std::lround(m.X(0))), row), color);
    EXPECT_NE(At(img, area.left() + 2, row), color);
    EXPECT_NE(At(img, area.right(), row - 2), color);
    EXPECT_NE(At(img, area.right(), row + 2), color);
    // Eight more fill the screen edge to edge.
    const double eight[] = {5, 5, 5, 5, 5, 5, 5, 5};
    ASSERT_EQ(chart.Append(eight), 0);
    img = Render(chart);
    const QRect full = chart.PlotArea();  // the x labels changed, and with them the margins
    EXPECT_EQ(At(img, full.left(), row), color);
    EXPECT_EQ(At(img, full.right(), row), color);
}

TEST(StripChartPicture, ColumnReductionKeepsASpikeNarrowerThanAColumn) {
    StripChart chart(nullptr);
    chart.resize(260, 200);
    ASSERT_EQ(chart.SetNumTraces(2), 0);
    ASSERT_EQ(chart.SetPointsPerScreen(6000), 0);
    ASSERT_EQ(chart.SetYScaling(VAL_MANUAL, 0, 100), 0);
    std::vector<double> data;
    for (int k = 0; k < 6000; ++k) {
        data.push_back(k == 3001 ? 90.0 : 10.0);  // one point up in trace 0
        data.push_back(k == 1500 ? 5.0 : 95.0);   // one point down in trace 1, above trace 0's spike
    }
    ASSERT_EQ(chart.Append(data), 0);
    const QRect area = chart.PlotArea();
    ASSERT_LT(area.width(), 6000 / 10);  // many points per column
    const QImage img = Render(chart);
    const PlotMapping m = ChartMapping(chart);
    const int c0 = chart.TraceColor(0), c1 = chart.TraceColor(1);

    const int spikeColumn = static_cast<int>(std::lround(m.X(3001)));
    std::vector<int> rows = RowsWith(img, area, spikeColumn, c0);
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows.front(), std::lround(m.Y(90)));  // reaches the spike's top ...
    EXPECT_EQ(rows.back(), std::lround(m.Y(10)));   // ... from the base line, unbroken
    EXPECT_EQ(static_cast<int>(rows.size()), rows.back() - rows.front() + 1);
    // Away from the spike the trace is the flat line alone.
    rows = RowsWith(img, area, spikeColumn - 20, c0);
    EXPECT_EQ(rows, (std::vector<int>{static_cast<int>(std::lround(m.Y(10)))}));

    const int dipColumn = static_cast<int>(std::lround(m.X(1500)));
    rows = RowsWith(img, area, dipColumn, c1);
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows.back(), std::lround(m.Y(5)));
    EXPECT_EQ(rows.front(), std::lround(m.Y(95)));

    // Still exact colours only.
    for (int c : ColoursIn(img, area))
        EXPECT_TRUE(c == kBackground || c == kGrid || c == c0 || c == c1) << std::hex << c;
}

TEST(StripChartPicture, NotANumberLeavesAGapAndOutOfRangePointsAreClipped) {
    StripChart chart(nullptr);
    chart.resize(300, 160);
    ASSERT_EQ(chart.SetPointsPerScreen(5), 0);
    ASSERT_EQ(chart.SetYScaling(VAL_MANUAL, 0, 10), 0);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double data[] = {5, 5, nan, 5, 1e300};
    ASSERT_EQ(chart.Append(data), 0);
    const QImage img = Render(chart);
    const PlotMapping m = ChartMapping(chart);
    const int color = chart.TraceColor(0);
    const int row = static_cast<int>(std::lround(m.Y(5)));
    EXPECT_EQ(At(img, m.X(0.5 + chart.ShownX().min), m.Y(5)), color);  // between points 0 and 1
    EXPECT_NE(At(img, m.X(1.5 + chart.ShownX().min), m.Y(5)), color);  // the gap around the NaN
    EXPECT_NE(At(img, m.X(2.5 + chart.ShownX().min), m.Y(5)), color);
    // The segment towards 1e300 leaves through the top edge: nearly vertical above point 3.
    const QRect area = chart.PlotArea();
    const int col3 = static_cast<int>(std::lround(m.X(3 + chart.ShownX().min)));
    EXPECT_EQ(At(img, col3, area.top()), color);
    EXPECT_EQ(At(img, col3, row), color);
    // Nothing is drawn towards the NaN: the column of point 1 stays empty below it.
    const int col1 = static_cast<int>(std::lround(m.X(1 + chart.ShownX().min)));
    for (int y = row + 2; y <= area.bottom(); ++y) EXPECT_NE(At(img, col1, y), color) << y;
}

// ---- graph
// ---------------------------------------------------------------------------------------------------

Graph& ManualGraph(Graph& g, int w, int h) {
    g.resize(w, h);
    EXPECT_EQ(g.SetScaling(VAL_BOTTOM_XAXIS, VAL_MANUAL, 0, 100), 0);
    EXPECT_EQ(g.SetScaling(VAL_LEFT_YAXIS, VAL_MANUAL, 0, 100), 0);
    return g;
}

int Segment(Graph& g, double x0, double y0, double x1, double y1, int color) {
    const double x[] = {x0, x1}, y[] = {y0, y1};
    return g.AddXY(x, y, color);
}

TEST(GraphPicture, IncrementalDrawingMatchesAFullRedraw) {
    Graph g(nullptr);
    ManualGraph(g, 420, 300);
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(-10, 110);  // some segments reach outside the area
    const int colours[] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFF8000};
    auto addSome = [&](int n) {
        for (int i = 0; i < n; ++i) ASSERT_GT(Segment(g, u(rng), u(rng), u(rng), u(rng), colours[i % 4]), 0);
    };
    addSome(40);
    ASSERT_GT(g.AddRectangle(20, 20, 40, 60, 0xFF0080, 0xFF0080), 0);
    const QImage first = Render(g);  // the cache now holds these plots
    addSome(40);
    ASSERT_GT(g.AddRectangle(60, 10, 90, 30, 0x008040, VAL_TRANSPARENT), 0);
    addSome(10);
    const QImage incremental = Render(g);
    g.InvalidateCache();
    const QImage full = Render(g);
    EXPECT_NE(first, incremental);
    EXPECT_TRUE(incremental == full) << "incremental drawing differs from a full redraw";
}

TEST(GraphPicture, ShortLinesOfOneColumnKeepTheirGapsAndTheirDrawingOrder) {
    Graph g(nullptr);
    ManualGraph(g, 300, 240);
    ASSERT_GT(Segment(g, 50, 10, 50, 20, 0xFF0000), 0);
    ASSERT_GT(Segment(g, 50, 60, 50, 70, 0xFF0000), 0);  // the same column, apart from the first
    ASSERT_GT(Segment(g, 80, 0, 80, 100, 0xFF0000), 0);
    ASSERT_GT(Segment(g, 80, 40, 80, 50, 0x0000FF), 0);  // over the red one
    ASSERT_GT(Segment(g, 80, 44, 80, 46, 0xFF0000), 0);  // and red again over the blue
    const QImage img = Render(g);
    const PlotMapping m = GraphMapping(g);
    EXPECT_EQ(At(img, m.X(50), m.Y(15)), 0xFF0000);
    EXPECT_EQ(At(img, m.X(50), m.Y(65)), 0xFF0000);
    EXPECT_NE(At(img, m.X(50), m.Y(40)), 0xFF0000) << "the gap between the two lines stays empty";
    EXPECT_EQ(At(img, m.X(80), m.Y(20)), 0xFF0000);
    EXPECT_EQ(At(img, m.X(80), m.Y(42)), 0x0000FF);
    EXPECT_EQ(At(img, m.X(80), m.Y(45)), 0xFF0000);
    EXPECT_EQ(At(img, m.X(80), m.Y(48)), 0x0000FF);
}

TEST(GraphPicture, OnlyExactColoursAndNoBlending) {
    Graph g(nullptr);
    ManualGraph(g, 300, 240);
    for (int i = 0; i < 20; ++i)
        ASSERT_GT(Segment(g, i * 5, 0, 100 - i * 3, 100, i % 2 ? 0xFF8000 : 0x008080), 0);
    ASSERT_EQ(g.SetCursor(1, 33.3, 66.6), 0);
    const QImage img = Render(g);
    const std::set<int> allowed = {kBackground, kGrid, 0xFF8000, 0x008080, Graph::kCursorColor};
    const std::set<int> seen = ColoursIn(img, g.PlotArea());
    for (int c : seen) EXPECT_TRUE(allowed.count(c)) << std::hex << "unexpected colour 0x" << c;
    EXPECT_TRUE(seen.count(0xFF8000) && seen.count(0x008080) && seen.count(Graph::kCursorColor));
}

TEST(GraphPicture, FilledRectangleAndCrosshairCursor) {
    Graph g(nullptr);
    ManualGraph(g, 300, 240);
    ASSERT_GT(g.AddRectangle(40, 0, 60, 100, 0xFF0080, 0xFF0080), 0);
    ASSERT_GT(g.AddRectangle(70, 20, 90, 40, 0x000080, VAL_TRANSPARENT), 0);
    ASSERT_EQ(g.SetCursor(1, 50, 50), 0);
    QImage img = Render(g);
    const PlotMapping m = GraphMapping(g);
    EXPECT_EQ(At(img, m.X(45), m.Y(80)), 0xFF0080);             // filled
    EXPECT_EQ(At(img, m.X(50), m.Y(80)), Graph::kCursorColor);  // vertical line over the fill
    EXPECT_EQ(At(img, m.X(10), m.Y(50)), Graph::kCursorColor);  // horizontal line across the area
    EXPECT_EQ(At(img, m.X(70), m.Y(30)), 0x000080);             // outline only
    EXPECT_EQ(At(img, m.X(83), m.Y(33)), kBackground);          // inside the outline, off the grid
    // Moving the cursor needs no redraw of the plots, and leaves no trace behind.
    ASSERT_EQ(g.SetCursor(1, 55, 50), 0);
    img = Render(g);
    EXPECT_EQ(At(img, m.X(50), m.Y(80)), 0xFF0080);
    EXPECT_EQ(At(img, m.X(55), m.Y(80)), Graph::kCursorColor);
    // A cursor outside the ranges draws nothing.
    ASSERT_EQ(g.SetCursor(1, 500, 500), 0);
    img = Render(g);
    EXPECT_EQ(ColoursIn(img, g.PlotArea()).count(Graph::kCursorColor), 0u);
}

TEST(GraphPicture, ZeroLengthSegmentIsADotAndFarSegmentsKeepTheirSlope) {
    Graph g(nullptr);
    ManualGraph(g, 300, 240);
    ASSERT_GT(Segment(g, 20, 70, 20, 70, 0x0000FF), 0);    // the first sample after a clear
    ASSERT_GT(Segment(g, 0, 0, 1e12, 1e12, 0xFF0000), 0);  // the diagonal, one end very far away
    const double inf = std::numeric_limits<double>::infinity();
    ASSERT_GT(Segment(g, 0, 100, inf, 0, 0x00FF00), 0);  // nothing sensible to draw
    const QImage img = Render(g);
    const PlotMapping m = GraphMapping(g);
    EXPECT_EQ(At(img, m.X(20), m.Y(70)), 0x0000FF);
    for (double v : {10.0, 50.0, 90.0}) {
        const int x = static_cast<int>(std::lround(m.X(v)));
        const std::vector<int> rows = RowsWith(img, g.PlotArea(), x, 0xFF0000);
        ASSERT_FALSE(rows.empty()) << v;
        EXPECT_NEAR(rows.front(), m.Y(v), 1.0) << v;
    }
    EXPECT_EQ(ColoursIn(img, g.PlotArea()).count(0x00FF00), 0u);
}

TEST(GraphPicture, AutoscaledRangeShowsEverySegment) {
    Graph g(nullptr);
    g.resize(300, 200);
    for (int i = 1; i <= 500; ++i)
        ASSERT_GT(Segment(g, i - 1, 1000 + (i - 1) % 50, i, 1000 + i % 50, 0xFF0000), 0);
    Render(g);
    for (int i = 501; i <= 700; ++i)
        ASSERT_GT(Segment(g, i - 1, 1000 + (i - 1) % 50, i, 1000 + i % 50, 0xFF0000), 0);
    const QImage img = Render(g);
    const PlotMapping m = GraphMapping(g);
    // The newest segment is on screen, whatever the range grew to.
    const int x = static_cast<int>(std::lround(m.X(699.5)));
    EXPECT_FALSE(RowsWith(img, g.PlotArea(), x, 0xFF0000).empty());
}

// The handles of deleted plots come again, so a graph whose oldest plots are deleted as new ones come (the
// scope's graph panel) never runs out of them: here with handles up to 5, a hundred samples later the
// newest still draws and deletes by its handle.
TEST(GraphPicture, HandlesOfDeletedPlotsComeAgainSoAGraphNeverRunsOut) {
    Graph g(nullptr);
    ManualGraph(g, 300, 240);
    ASSERT_EQ(g.SetScaling(VAL_BOTTOM_XAXIS, VAL_MANUAL, 0, 110), 0);
    g.SetHandleLimit(5);
    std::vector<int> handles;
    for (int i = 0; i < 102; ++i) {
        if (handles.size() >= 3) {
            ASSERT_EQ(g.Delete(handles[handles.size() - 3]), 0) << "sample " << i;
        }
        handles.push_back(Segment(g, i, 10, i, 90, i == 101 ? 0x0000FF : 0xFF0000));
        ASSERT_GT(handles.back(), 0) << "sample " << i;
    }
    EXPECT_EQ(std::vector<int>(handles.begin(), handles.begin() + 7), (std::vector{1, 2, 3, 4, 5, 1, 2}));
    EXPECT_EQ(std::vector<int>(handles.end() - 3, handles.end()), (std::vector{5, 1, 2}));
    ASSERT_EQ(g.Delete(1), 0);  // the middle one of the last three: 1 comes after 5
    EXPECT_EQ(g.Delete(3), UIEItemNotFound);
    const auto plots = g.Plots();
    ASSERT_EQ(plots.size(), 2u);
    EXPECT_EQ((std::vector{plots[0].handle, int(plots[0].x[0]), plots[1].handle, int(plots[1].x[0])}),
              (std::vector{5, 99, 2, 101}));
    const QImage img = Render(g);
    const PlotMapping m = GraphMapping(g);
    EXPECT_EQ(At(img, m.X(101), m.Y(50)), 0x0000FF) << "the newest sample draws";
    EXPECT_EQ(At(img, m.X(99), m.Y(50)), 0xFF0000);
    EXPECT_NE(At(img, m.X(100), m.Y(50)), 0xFF0000) << "the deleted sample is gone";
}

// A plot that outlives a whole round of handles keeps its handle; the others take the free ones, and only
// when every handle is in use does a new plot fail.
TEST(GraphPicture, APlotThatOutlivesARoundOfHandlesKeepsItsHandleAndTheOthersTakeTheFreeOnes) {
    Graph g(nullptr);
    ManualGraph(g, 300, 240);
    g.SetHandleLimit(4);
    ASSERT_EQ(g.AddRectangle(0, 0, 10, 10, 0x00FF00, 0x00FF00), 1);
    std::vector<int> handles;
    for (int i = 0; i < 20; ++i) {
        if (handles.size() >= 2) {
            ASSERT_EQ(g.Delete(handles[handles.size() - 2]), 0) << "sample " << i;
        }
        handles.push_back(Segment(g, 20 + 3 * i, 20, 20 + 3 * i, 90, 0xFF0000));
    }
    EXPECT_EQ(std::vector<int>(handles.begin(), handles.begin() + 6), (std::vector{2, 3, 4, 2, 3, 4}));
    ASSERT_EQ(Segment(g, 5, 50, 6, 50, 0x0000FF), 4);
    EXPECT_EQ(Segment(g, 7, 50, 8, 50, 0x0000FF), UIEOutOfMemory) << "all four handles are in use";
    ASSERT_EQ(g.Delete(1), 0);
    const auto plots = g.Plots();
    ASSERT_EQ(plots.size(), 3u);
    EXPECT_EQ((std::vector{plots[0].handle, int(plots[0].x[0]), plots[2].handle, int(plots[2].x[0])}),
              (std::vector{2, 74, 4, 5}));
    EXPECT_EQ(Segment(g, 7, 50, 8, 50, 0x0000FF), 1);
    const QImage img = Render(g);
    const PlotMapping m = GraphMapping(g);
    EXPECT_NE(At(img, m.X(3), m.Y(3)), 0x00FF00) << "the deleted rectangle is gone";
    EXPECT_EQ(At(img, m.X(77), m.Y(50)), 0xFF0000);
}

// A graph of whole numbers (a recorder's samples) and the ticks it would label its axes with.
class WholeGraph : public Graph {
  public:
    WholeGraph() : Graph(nullptr) {
        SetWholeNumbers(true);
        resize(704, 500);
    }
    Layout Axes() const { return ComputeLayout(Shown(VAL_BOTTOM_XAXIS), Shown(VAL_LEFT_YAXIS)); }
};

bool WholeTicks(const PlotWidget::Ticks& t) {
    for (int i = 0; i < t.count; ++i)
        if (t.At(i) != std::round(t.At(i))) return false;
    return t.count >= 2;
}

TEST(GraphAxes, WholeNumberDataGetWholeTicksAndAMarginAboveAndBelow) {
    // Courses that step between two values every ten samples, from the first sample on: a temperature
    // one apart, a flat 0 and a flat 65535, a channel, and whole numbers below 0.
    struct Course {
        int low, high;
    };
    for (const Course c :
         {Course{309, 310}, Course{0, 0}, Course{65535, 65535}, Course{2036, 2161}, Course{-7, 3}}) {
        WholeGraph g;
        auto value = [c](int i) { return i / 10 % 2 ? c.high : c.low; };
        int seenHigh = c.low;
        for (int i = 0; i < 60; ++i) {
            ASSERT_GT(Segment(g, std::max(0, i - 1), value(std::max(0, i - 1)), i, value(i), 0x008080), 0);
            seenHigh = std::max(seenHigh, value(i));
            const auto layout = g.Axes();
            ASSERT_TRUE(WholeTicks(layout.yTicks)) << c.low << " after " << i + 1 << " samples";
            ASSERT_TRUE(WholeTicks(layout.xTicks)) << c.low << " after " << i + 1 << " samples";
            ASSERT_EQ(layout.x.min, 0.0);
            if (i <= 1) {
                ASSERT_EQ(layout.x.max, 1.0) << "the first two samples: an x axis from 0 to 1, no margin";
            }
            if (c.low >= 0) {
                ASSERT_GE(layout.y.min, 0.0) << "no room below 0 for data that never go there";
            }
            if (c.low != 0) {
                ASSERT_LT(layout.y.min, c.low) << "the data never lie on the frame";
            }
            ASSERT_GT(layout.y.max, seenHigh);
        }
        // The margin is a margin: the course takes a good part of the height, but not all of it.
        const AxisRange y = g.Shown(VAL_LEFT_YAXIS);
        const int span = c.high - c.low;
        EXPECT_LE(y.max - y.min, 3.0 * std::max(span, 2)) << c.low;
        if (span > 0) {
            EXPECT_LE(span, 0.9 * (y.max - y.min)) << "fills the height";
        }
    }
    // A graph not told its data are whole (a drift curve) keeps the tight range of its data.
    Graph curve(nullptr);
    curve.resize(704, 500);
    ASSERT_GT(Segment(curve, 0, 309, 1, 310, 0xFF0000), 0);
    EXPECT_EQ(curve.Shown(VAL_LEFT_YAXIS).min, 309.0);
    EXPECT_EQ(curve.Shown(VAL_LEFT_YAXIS).max, 310.0);
}

// ---- pacing
// ------------------------------------------------------------------------------------------------

class PaintCounter : public QObject {
  public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++paints;
        return false;
    }
};

void PumpFor(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 5);
}

TEST(PlotPacing, ManyPlotsCauseOneRepaintAtTheNextFrame) {
    Graph g(nullptr);
    g.resize(300, 200);
    g.show();
    PumpFor(100);
    PaintCounter counter;
    g.installEventFilter(&counter);
    for (int i = 0; i < 500; ++i) ASSERT_GT(Segment(g, i, i, i + 1, i + 1, 0xFF0000), 0);
    EXPECT_EQ(counter.paints, 0) << "painted synchronously";
    EXPECT_TRUE(g.RepaintPending());
    PumpFor(120);
    EXPECT_GE(counter.paints, 1);
    EXPECT_LE(counter.paints, 2);
    EXPECT_FALSE(g.RepaintPending());
    // Idle: no more paints.
    const int settled = counter.paints;
    PumpFor(80);
    EXPECT_EQ(counter.paints, settled);
}

TEST(PlotPacing, StripChartAppendsArePacedToo) {
    StripChart chart(nullptr);
    chart.resize(300, 200);
    ASSERT_EQ(chart.SetNumTraces(6), 0);
    chart.show();
    PumpFor(100);
    PaintCounter counter;
    chart.installEventFilter(&counter);
    const double frame[] = {1, 2, 3, 4, 5, 6};
    for (int i = 0; i < 200; ++i) ASSERT_EQ(chart.Append(frame), 0);
    EXPECT_EQ(counter.paints, 0) << "painted synchronously";
    PumpFor(120);
    EXPECT_GE(counter.paints, 1);
    EXPECT_LE(counter.paints, 2);
}

TEST(PlotPacing, HiddenGraphTakesPlotsAndCursorsWithoutPaintingAndShowsThemOnceShown) {
    Graph g(nullptr);
    ManualGraph(g, 300, 240);
    g.show();
    PumpFor(60);
    g.hide();
    PaintCounter counter;
    g.installEventFilter(&counter);
    for (int i = 0; i < 2000; ++i) {
        const unsigned short x[] = {static_cast<unsigned short>(i % 100),
                                    static_cast<unsigned short>(i % 100 + 1)};
        const unsigned short y[] = {10, 20};
        ASSERT_GT(g.AddXY(x, y, 0x0000FF), 0);
        ASSERT_EQ(g.SetCursor(1, 50, i % 100), 0);
    }
    ASSERT_GT(g.AddRectangle(60, 40, 80, 90, 0xFF0080, 0xFF0080), 0);  // a tolerance band
    ASSERT_EQ(g.SetCursor(1, 30, 70), 0);
    PumpFor(60);
    EXPECT_EQ(counter.paints, 0) << "a hidden graph paints nothing";
    EXPECT_FALSE(g.RepaintPending()) << "and its frame timer goes idle";
    g.show();
    PumpFor(60);
    EXPECT_GE(counter.paints, 1);
    const QImage img = Render(g);
    const PlotMapping m = GraphMapping(g);
    EXPECT_EQ(At(img, m.X(70), m.Y(60)), 0xFF0080);
    EXPECT_EQ(At(img, m.X(30), m.Y(50)), Graph::kCursorColor);
    EXPECT_EQ(At(img, m.X(10), m.Y(70)), Graph::kCursorColor);
    EXPECT_EQ(At(img, m.X(40.5), m.Y(15)), 0x0000FF);
}

}  // namespace
