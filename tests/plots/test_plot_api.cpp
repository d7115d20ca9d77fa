// The strip-chart and graph operations on a loaded panel: what the charts hold, their ranges, handles,
// cursors and the errors for wrong controls and bad data.
#include <cmath>
#include <limits>
#include <vector>

#include "platform.h"
#include "ui_test.h"

namespace {

enum : int { kChart = 1, kGraph, kAutoGraph, kNumber };
const CtrlBinding kControls[] = {
    {kChart, "chart"}, {kGraph, "graph"}, {kAutoGraph, "autoGraph"}, {kNumber, "number"}};
const PanelDef kPanelDef{"plots_test.ui", nullptr, kControls};

class PlotApiTest : public UiTest {
  protected:
    struct AxisRange {
        double min = 0, max = 0;
    };

    void SetUp() override {
        UiTest::SetUp();
        SetPanelDirectory(PLOTS_TEST_PANEL_DIR);
        panel = LoadPanel(0, kPanelDef);
        ASSERT_GT(panel, 0);
    }
    void TearDown() override {
        if (panel > 0) DiscardPanel(panel);
        UiTest::TearDown();
    }

    std::vector<double> Trace(int trace, int count = -1) {
        std::vector<double> points;
        EXPECT_EQ(GetStripChartTrace(panel, kChart, trace, points, count), 0);
        return points;
    }
    std::vector<GraphPlotInfo> Plots(int control) {
        std::vector<GraphPlotInfo> plots;
        EXPECT_EQ(GetGraphPlots(panel, control, plots), 0);
        return plots;
    }
    int AddSegment(int control, double x0, double y0, double x1, double y1, int color = VAL_RED) {
        const double x[] = {x0, x1}, y[] = {y0, y1};
        return PlotXY(panel, control, x, y, color);
    }
    AxisRange Range(int control, Axis axis, AxisScaling* mode = nullptr) {
        AxisScaling m;
        AxisRange r;
        EXPECT_EQ(GetAxisScalingMode(panel, control, axis, m, r.min, r.max), 0);
        if (mode) *mode = m;
        return r;
    }
    int panel = 0;
};

// ---- strip chart: what the panel file sets, interleaving, history --------------------------------------

TEST_F(PlotApiTest, PanelFileSetsTracesAndPointsPerScreen) {
    uitest::AllowPlatformErrors refused("GetCtrlAttribute", UIEInvalidAttribute);
    int value = 0;
    EXPECT_EQ(GetCtrlAttribute(panel, kChart, ATTR_NUM_TRACES, value), 0);
    EXPECT_EQ(value, 3);
    EXPECT_EQ(GetCtrlAttribute(panel, kChart, ATTR_POINTS_PER_SCREEN, value), 0);
    EXPECT_EQ(value, 101);
    EXPECT_EQ(GetCtrlAttribute(panel, kChart, ATTR_CTRL_STYLE, value), 0);
    EXPECT_EQ(value, CTRL_STRIP_CHART);
    EXPECT_EQ(GetCtrlAttribute(panel, kGraph, ATTR_CTRL_STYLE, value), 0);
    EXPECT_EQ(value, CTRL_GRAPH);
    // Attributes only strip charts have.
    EXPECT_EQ(GetCtrlAttribute(panel, kGraph, ATTR_NUM_TRACES, value), UIEInvalidAttribute);
}

TEST_F(PlotApiTest, InterleavedDataGoesToTracesByPosition) {
    const double data[] = {1, 10, 100, 2, 20, 200, 3, 30, 300};
    ASSERT_EQ(PlotStripChart(panel, kChart, data), 0);
    EXPECT_EQ(Trace(0), (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(Trace(1), (std::vector<double>{10, 20, 30}));
    EXPECT_EQ(Trace(2), (std::vector<double>{100, 200, 300}));
    // A second call continues the same traces.
    const unsigned short more[] = {4, 40, 65535};
    ASSERT_EQ(PlotStripChart(panel, kChart, more), 0);
    EXPECT_EQ(Trace(0), (std::vector<double>{1, 2, 3, 4}));
    EXPECT_EQ(Trace(2), (std::vector<double>{100, 200, 300, 65535}));
    EXPECT_EQ(Trace(1, 2), (std::vector<double>{30, 40}));  // the last two, oldest first
}

TEST_F(PlotApiTest, LengthNotAMultipleOfTracesIsRefusedWhole) {
    uitest::AllowPlatformErrors refused("PlotStripChart", UIEInvalidValue);
    const double good[] = {1, 2, 3};
    ASSERT_EQ(PlotStripChart(panel, kChart, good), 0);
    const double bad[] = {5, 6, 7, 8};
    EXPECT_EQ(PlotStripChart(panel, kChart, bad), UIEInvalidValue);
    const unsigned short badShort[] = {5, 6};
    EXPECT_EQ(PlotStripChart(panel, kChart, badShort), UIEInvalidValue);
    EXPECT_EQ(Trace(0), (std::vector<double>{1}));
    EXPECT_EQ(Trace(2), (std::vector<double>{3}));
    // Empty data is a whole number of points: nothing happens.
    EXPECT_EQ(PlotStripChart(panel, kChart, std::span<const double>{}), 0);
    EXPECT_EQ(Trace(1).size(), 1u);
}

TEST_F(PlotApiTest, TraceCountChangesLayoutAndClearsHistory) {
    uitest::AllowPlatformErrors refused(
        {{"GetStripChartTrace", UIEIndexOutOfRange}, {"SetCtrlAttribute", UIEInvalidValue}});
    const double data[] = {1, 2, 3};
    ASSERT_EQ(PlotStripChart(panel, kChart, data), 0);
    ASSERT_EQ(SetCtrlAttribute(panel, kChart, ATTR_NUM_TRACES, 1), 0);
    EXPECT_TRUE(Trace(0).empty());
    ASSERT_EQ(PlotStripChart(panel, kChart, data), 0);  // now three points of one trace
    EXPECT_EQ(Trace(0), (std::vector<double>{1, 2, 3}));
    std::vector<double> points;
    EXPECT_EQ(GetStripChartTrace(panel, kChart, 1, points), UIEIndexOutOfRange);
    EXPECT_EQ(SetCtrlAttribute(panel, kChart, ATTR_NUM_TRACES, 0), UIEInvalidValue);
    EXPECT_EQ(SetCtrlAttribute(panel, kChart, ATTR_NUM_TRACES, 65), UIEInvalidValue);
    EXPECT_EQ(SetCtrlAttribute(panel, kChart, ATTR_POINTS_PER_SCREEN, 1), UIEInvalidValue);
    EXPECT_EQ(SetCtrlAttribute(panel, kChart, ATTR_POINTS_PER_SCREEN, 10001), UIEInvalidValue);
    int value = 0;
    EXPECT_EQ(GetCtrlAttribute(panel, kChart, ATTR_NUM_TRACES, value), 0);
    EXPECT_EQ(value, 1);
    EXPECT_EQ(GetCtrlAttribute(panel, kChart, ATTR_POINTS_PER_SCREEN, value), 0);
    EXPECT_EQ(value, 101);
}

TEST_F(PlotApiTest, ReadBackCountArgument) {
    uitest::AllowPlatformErrors refused(
        {{"GetStripChartTrace", UIEInvalidValue}, {"GetStripChartTrace", UIEIndexOutOfRange}});
    const double data[] = {1, 1, 1, 2, 2, 2};
    ASSERT_EQ(PlotStripChart(panel, kChart, data), 0);
    EXPECT_EQ(Trace(0, 0), std::vector<double>{});
    EXPECT_EQ(Trace(0, 5), (std::vector<double>{1, 2}));  // more than kept: what is kept
    std::vector<double> points;
    EXPECT_EQ(GetStripChartTrace(panel, kChart, 0, points, -2), UIEInvalidValue);
    EXPECT_EQ(GetStripChartTrace(panel, kChart, -1, points), UIEIndexOutOfRange);
}

TEST_F(PlotApiTest, HistoryIsBoundedAndDropsTheOldest) {
    ASSERT_EQ(SetCtrlAttribute(panel, kChart, ATTR_NUM_TRACES, 2), 0);
    // 10,500 points per trace in uneven chunks, one chunk larger than the whole history.
    std::vector<double> data;
    auto append = [&](int from, int to) {
        data.clear();
        for (int k = from; k < to; ++k) {
            data.push_back(k);
            data.push_back(-k);
        }
        return PlotStripChart(panel, kChart, data);
    };
    ASSERT_EQ(append(0, 123), 0);
    ASSERT_EQ(append(123, 10400), 0);
    ASSERT_EQ(append(10400, 10500), 0);
    const std::vector<double> t0 = Trace(0), t1 = Trace(1);
    ASSERT_EQ(t0.size(), 10000u);
    ASSERT_EQ(t1.size(), 10000u);
    for (int i = 0; i < 10000; ++i) {
        ASSERT_EQ(t0[i], 500 + i) << i;
        ASSERT_EQ(t1[i], -(500 + i)) << i;
    }
    // One call with more than the history keeps only its own last points.
    ASSERT_EQ(append(20000, 32000), 0);
    const std::vector<double> t2 = Trace(0);
    ASSERT_EQ(t2.size(), 10000u);
    EXPECT_EQ(t2.front(), 22000);
    EXPECT_EQ(t2.back(), 31999);
}

TEST_F(PlotApiTest, ClearEmptiesTheChart) {
    const double data[] = {1, 2, 3, 4, 5, 6};
    ASSERT_EQ(PlotStripChart(panel, kChart, data), 0);
    ASSERT_EQ(ClearStripChart(panel, kChart), 0);
    EXPECT_TRUE(Trace(0).empty());
    ASSERT_EQ(PlotStripChart(panel, kChart, data), 0);
    EXPECT_EQ(Trace(0), (std::vector<double>{1, 4}));
}

TEST_F(PlotApiTest, WindowScrollsWithNewestAtTheRight) {
    // Two calculations of 100 points each on a 101-point screen.
    std::vector<double> data(300);
    for (int i = 0; i < 300; ++i) data[i] = i;
    ASSERT_EQ(PlotStripChart(panel, kChart, data), 0);
    AxisScaling mode;
    AxisRange x = Range(kChart, VAL_BOTTOM_XAXIS, &mode);
    EXPECT_EQ(mode, VAL_MANUAL);
    EXPECT_EQ(x.min, -1);
    EXPECT_EQ(x.max, 99);
    ASSERT_EQ(PlotStripChart(panel, kChart, data), 0);
    x = Range(kChart, VAL_BOTTOM_XAXIS);
    EXPECT_EQ(x.min, 99);
    EXPECT_EQ(x.max, 199);
    ASSERT_EQ(SetCtrlAttribute(panel, kChart, ATTR_POINTS_PER_SCREEN, 10), 0);
    x = Range(kChart, VAL_BOTTOM_XAXIS);
    EXPECT_EQ(x.min, 190);
    EXPECT_EQ(x.max, 199);
    // The history outlives the screen.
    EXPECT_EQ(Trace(0).size(), 200u);
}

TEST_F(PlotApiTest, StripChartManualRange) {
    uitest::AllowPlatformErrors refused("SetAxisScalingMode", UIEInvalidValue);
    ASSERT_EQ(SetAxisScalingMode(panel, kChart, VAL_LEFT_YAXIS, VAL_MANUAL, -53.0, 62.0), 0);
    AxisScaling mode;
    AxisRange y = Range(kChart, VAL_LEFT_YAXIS, &mode);
    EXPECT_EQ(mode, VAL_MANUAL);
    EXPECT_EQ(y.min, -53.0);
    EXPECT_EQ(y.max, 62.0);
    // Data outside the range do not move it.
    const double data[] = {-1000, 5000, 7};
    ASSERT_EQ(PlotStripChart(panel, kChart, data), 0);
    y = Range(kChart, VAL_LEFT_YAXIS);
    EXPECT_EQ(y.min, -53.0);
    EXPECT_EQ(y.max, 62.0);
    // Bad ranges and axes are refused and change nothing.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(SetAxisScalingMode(panel, kChart, VAL_LEFT_YAXIS, VAL_MANUAL, 10.0, 10.0), UIEInvalidValue);
    EXPECT_EQ(SetAxisScalingMode(panel, kChart, VAL_LEFT_YAXIS, VAL_MANUAL, 20.0, 10.0), UIEInvalidValue);
    EXPECT_EQ(SetAxisScalingMode(panel, kChart, VAL_LEFT_YAXIS, VAL_MANUAL, nan, 10.0), UIEInvalidValue);
    EXPECT_EQ(SetAxisScalingMode(panel, kChart, VAL_BOTTOM_XAXIS, VAL_MANUAL, 0.0, 10.0), UIEInvalidValue);
    EXPECT_EQ(SetAxisScalingMode(panel, kChart, VAL_LEFT_YAXIS, static_cast<AxisScaling>(7), 0.0, 10.0),
              UIEInvalidValue);
    y = Range(kChart, VAL_LEFT_YAXIS, &mode);
    EXPECT_EQ(mode, VAL_MANUAL);
    EXPECT_EQ(y.min, -53.0);
    EXPECT_EQ(y.max, 62.0);
}

TEST_F(PlotApiTest, StripChartAutoscaleFollowsVisiblePointsOnly) {
    ASSERT_EQ(SetCtrlAttribute(panel, kChart, ATTR_NUM_TRACES, 1), 0);
    ASSERT_EQ(SetAxisScalingMode(panel, kChart, VAL_LEFT_YAXIS, VAL_AUTOSCALE, 0, 0), 0);
    std::vector<double> data = {50000.0};                        // a spike that will scroll out
    for (int i = 0; i < 50; ++i) data.push_back(1000 + 20 * i);  // 1000 .. 1980
    ASSERT_EQ(PlotStripChart(panel, kChart, data), 0);
    AxisScaling mode;
    AxisRange y = Range(kChart, VAL_LEFT_YAXIS, &mode);
    EXPECT_EQ(mode, VAL_AUTOSCALE);
    EXPECT_LE(y.min, 1000);
    EXPECT_GE(y.max, 50000);
    // 101 more points push the spike off the screen; it stays in the history.
    std::vector<double> more(101, 1500.0);
    more.back() = 1980;
    more.front() = 1000;
    ASSERT_EQ(PlotStripChart(panel, kChart, more), 0);
    y = Range(kChart, VAL_LEFT_YAXIS);
    EXPECT_LE(y.min, 1000);
    EXPECT_GE(y.max, 1980);
    EXPECT_GE(y.min, 500);  // rounded out, not far out
    EXPECT_LE(y.max, 2500);
    EXPECT_EQ(Trace(0).front(), 50000.0);
    // Not-a-number points are kept but do not spoil the range.
    const double nan[] = {std::numeric_limits<double>::quiet_NaN()};
    ASSERT_EQ(PlotStripChart(panel, kChart, nan), 0);
    y = Range(kChart, VAL_LEFT_YAXIS);
    EXPECT_TRUE(std::isfinite(y.min) && std::isfinite(y.max));
    EXPECT_TRUE(std::isnan(Trace(0).back()));
}

TEST_F(PlotApiTest, TraceColours) {
    uitest::AllowPlatformErrors refused(
        {{"SetTraceColor", UIEIndexOutOfRange}, {"SetTraceColor", UIEInvalidValue}});
    EXPECT_EQ(SetTraceColor(panel, kChart, 2, 0x123456), 0);
    EXPECT_EQ(SetTraceColor(panel, kChart, 3, 0x123456), UIEIndexOutOfRange);
    EXPECT_EQ(SetTraceColor(panel, kChart, -1, 0x123456), UIEIndexOutOfRange);
    EXPECT_EQ(SetTraceColor(panel, kChart, 0, 0x1000000), UIEInvalidValue);
    EXPECT_EQ(SetTraceColor(panel, kChart, 0, -5), UIEInvalidValue);
}

// ---- graph: plots and handles ----------------------------------------------------------------------------

TEST_F(PlotApiTest, PlotXYStoresPointsAndReturnsRisingHandles) {
    const int h1 = AddSegment(kGraph, 0, 10, 1, 20, 0xFF8000);
    const int h2 = AddSegment(kGraph, 1, 20, 2, 15, 0x008080);
    ASSERT_GT(h1, 0);
    ASSERT_GT(h2, h1);
    const unsigned short ux[] = {3, 4, 65535}, uy[] = {0, 65535, 7};
    const int h3 = PlotXY(panel, kGraph, ux, uy, VAL_BLUE);
    ASSERT_GT(h3, h2);
    const auto plots = Plots(kGraph);
    ASSERT_EQ(plots.size(), 3u);
    EXPECT_EQ(plots[0].handle, h1);
    EXPECT_EQ(plots[0].kind, GraphPlotInfo::XY);
    EXPECT_EQ(plots[0].x, (std::vector<double>{0, 1}));
    EXPECT_EQ(plots[0].y, (std::vector<double>{10, 20}));
    EXPECT_EQ(plots[0].color, 0xFF8000);
    EXPECT_EQ(plots[1].color, 0x008080);
    EXPECT_EQ(plots[2].x, (std::vector<double>{3, 4, 65535}));
    EXPECT_EQ(plots[2].y, (std::vector<double>{0, 65535, 7}));
}

TEST_F(PlotApiTest, PlotXYRefusesBadInputAndStoresNothing) {
    uitest::AllowPlatformErrors refused("PlotXY", UIEInvalidValue);
    const double x2[] = {0, 1}, y3[] = {0, 1, 2};
    EXPECT_EQ(PlotXY(panel, kGraph, x2, y3, VAL_RED), UIEInvalidValue);
    EXPECT_EQ(PlotXY(panel, kGraph, std::span<const double>{}, std::span<const double>{}, VAL_RED),
              UIEInvalidValue);
    const double y2[] = {0, 1};
    EXPECT_EQ(PlotXY(panel, kGraph, x2, y2, 0x1000000), UIEInvalidValue);
    EXPECT_EQ(PlotXY(panel, kGraph, x2, y2, -1), UIEInvalidValue);
    EXPECT_TRUE(Plots(kGraph).empty());
    // A single point is a plot too.
    const double x1[] = {5}, y1[] = {6};
    EXPECT_GT(PlotXY(panel, kGraph, x1, y1, VAL_RED), 0);
}

TEST_F(PlotApiTest, PlotRectangleIsStoredWithFrameAndFill) {
    uitest::AllowPlatformErrors refused("PlotRectangle", UIEInvalidValue);
    const int h = PlotRectangle(panel, kGraph, 940.0, 0.0, 1000.0, 100.0, 0xFF0080, 0xFF0080);
    ASSERT_GT(h, 0);
    const int outlined = PlotRectangle(panel, kGraph, 10, 10, 20, 20, VAL_BLACK, VAL_TRANSPARENT);
    ASSERT_GT(outlined, h);
    const auto plots = Plots(kGraph);
    ASSERT_EQ(plots.size(), 2u);
    EXPECT_EQ(plots[0].kind, GraphPlotInfo::Rectangle);
    EXPECT_EQ(plots[0].x, (std::vector<double>{940.0, 1000.0}));
    EXPECT_EQ(plots[0].y, (std::vector<double>{0.0, 100.0}));
    EXPECT_EQ(plots[0].color, 0xFF0080);
    EXPECT_EQ(plots[0].fillColor, 0xFF0080);
    EXPECT_EQ(plots[1].fillColor, VAL_TRANSPARENT);
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(PlotRectangle(panel, kGraph, 0, 0, inf, 1, VAL_RED, VAL_RED), UIEInvalidValue);
    EXPECT_EQ(PlotRectangle(panel, kGraph, 0, 0, 1, 1, VAL_RED, 0x2000000), UIEInvalidValue);
    EXPECT_EQ(Plots(kGraph).size(), 2u);
}

TEST_F(PlotApiTest, DeleteOnePlotOrAll) {
    uitest::AllowPlatformErrors refused("DeleteGraphPlot", UIEItemNotFound);
    const int a = AddSegment(kGraph, 0, 0, 1, 1);
    const int b = AddSegment(kGraph, 1, 1, 2, 2);
    const int c = PlotRectangle(panel, kGraph, 0, 0, 5, 5, VAL_RED, VAL_RED);
    ASSERT_EQ(DeleteGraphPlot(panel, kGraph, b), 0);
    auto plots = Plots(kGraph);
    ASSERT_EQ(plots.size(), 2u);
    EXPECT_EQ(plots[0].handle, a);
    EXPECT_EQ(plots[1].handle, c);
    EXPECT_EQ(plots[1].x, (std::vector<double>{0, 5}));
    EXPECT_EQ(DeleteGraphPlot(panel, kGraph, b), UIEItemNotFound);
    EXPECT_EQ(DeleteGraphPlot(panel, kGraph, 0), UIEItemNotFound);
    EXPECT_EQ(DeleteGraphPlot(panel, kGraph, 999), UIEItemNotFound);
    ASSERT_EQ(DeleteGraphPlot(panel, kGraph, VAL_ALL_PLOTS), 0);
    EXPECT_TRUE(Plots(kGraph).empty());
    // Handles are never reused, so a stale handle cannot delete a newer plot.
    const int d = AddSegment(kGraph, 0, 0, 1, 1);
    EXPECT_GT(d, c);
    EXPECT_EQ(DeleteGraphPlot(panel, kGraph, a), UIEItemNotFound);
    EXPECT_EQ(Plots(kGraph).size(), 1u);
    // Deleting from an empty graph is fine.
    ASSERT_EQ(DeleteGraphPlot(panel, kGraph, VAL_ALL_PLOTS), 0);
    ASSERT_EQ(DeleteGraphPlot(panel, kGraph, VAL_ALL_PLOTS), 0);
}

TEST_F(PlotApiTest, ManyDeletionsKeepTheRemainingPointsIntact) {
    // Deleting most plots packs the point store; the survivors must keep their own points.
    std::vector<int> handles;
    for (int i = 0; i < 6000; ++i) handles.push_back(AddSegment(kGraph, i, i * 2, i + 1, i * 3));
    for (int i = 0; i < 6000; ++i)
        if (i % 7 != 0) {
            ASSERT_EQ(DeleteGraphPlot(panel, kGraph, handles[i]), 0);
        }
    const auto plots = Plots(kGraph);
    ASSERT_EQ(plots.size(), 858u);
    for (std::size_t k = 0; k < plots.size(); ++k) {
        const int i = static_cast<int>(k) * 7;
        ASSERT_EQ(plots[k].handle, handles[i]);
        ASSERT_EQ(plots[k].x, (std::vector<double>{double(i), double(i + 1)}));
        ASSERT_EQ(plots[k].y, (std::vector<double>{double(i * 2), double(i * 3)}));
    }
}

TEST_F(PlotApiTest, TwoPointPlotsReadBackExactlyWhicheverWayTheyAreStored) {
    // Whole numbers 0..65535 are kept packed; anything else (a fraction, a sign, beyond 65535) as given.
    const unsigned short ux[] = {0, 65535}, uy[] = {65535, 0};
    ASSERT_GT(PlotXY(panel, kGraph, ux, uy, 0xFFFFFF), 0);
    const double edges[][4] = {
        {65535, 65535, 0, 0}, {65536, 1, 2, 3}, {0.5, 1, 2, 3}, {-1, 0, 0, 0}, {-0.0, 0, 0, 0}};
    for (const auto& e : edges) ASSERT_GT(AddSegment(kGraph, e[0], e[1], e[2], e[3], 0x000001), 0);
    const auto plots = Plots(kGraph);
    ASSERT_EQ(plots.size(), 6u);
    EXPECT_EQ(plots[0].x, (std::vector<double>{0, 65535}));
    EXPECT_EQ(plots[0].y, (std::vector<double>{65535, 0}));
    EXPECT_EQ(plots[0].color, 0xFFFFFF);
    EXPECT_EQ(plots[0].fillColor, VAL_TRANSPARENT);
    for (std::size_t k = 0; k < std::size(edges); ++k) {
        EXPECT_EQ(plots[k + 1].x, (std::vector<double>{edges[k][0], edges[k][2]})) << k;
        EXPECT_EQ(plots[k + 1].y, (std::vector<double>{edges[k][1], edges[k][3]})) << k;
        EXPECT_EQ(plots[k + 1].color, 0x000001);
    }
    EXPECT_TRUE(std::signbit(plots[5].x[0])) << "-0 stays -0";
}

TEST_F(PlotApiTest, PlotCountAndOnlyTheLastPlots) {
    uitest::AllowPlatformErrors refused({{"GetGraphPlots", UIEInvalidValue},
                                         {"GetGraphPlotCount", UIEWrongType},
                                         {"GetGraphPlotCount", UIEInvalidControl}});
    int count = -1;
    EXPECT_EQ(GetGraphPlotCount(panel, kGraph, count), 0);
    EXPECT_EQ(count, 0);
    for (int i = 0; i < 1000; ++i) ASSERT_GT(AddSegment(kGraph, i, i % 50, i + 1, (i + 1) % 50), 0);
    const int rect = PlotRectangle(panel, kGraph, 1, 2, 3, 4, VAL_RED, VAL_BLUE);
    const double x3[] = {0.5, 1.5, 2.5}, y3[] = {1, 2, 3};
    const int line = PlotXY(panel, kGraph, x3, y3, VAL_GREEN);
    EXPECT_EQ(GetGraphPlotCount(panel, kGraph, count), 0);
    EXPECT_EQ(count, 1002);

    std::vector<GraphPlotInfo> plots;
    EXPECT_EQ(GetGraphPlots(panel, kGraph, plots, 3), 0);
    ASSERT_EQ(plots.size(), 3u);
    EXPECT_EQ(plots[0].x, (std::vector<double>{999, 1000}));
    EXPECT_EQ(plots[0].y, (std::vector<double>{49, 0}));
    EXPECT_EQ(plots[1].handle, rect);
    EXPECT_EQ(plots[1].kind, GraphPlotInfo::Rectangle);
    EXPECT_EQ(plots[1].fillColor, VAL_BLUE);
    EXPECT_EQ(plots[2].handle, line);
    EXPECT_EQ(plots[2].x, (std::vector<double>{0.5, 1.5, 2.5}));
    EXPECT_EQ(GetGraphPlots(panel, kGraph, plots, 0), 0);
    EXPECT_TRUE(plots.empty());
    EXPECT_EQ(GetGraphPlots(panel, kGraph, plots, 5000), 0);
    EXPECT_EQ(plots.size(), 1002u);
    EXPECT_EQ(GetGraphPlots(panel, kGraph, plots, -2), UIEInvalidValue);
    EXPECT_EQ(GetGraphPlotCount(panel, kChart, count), UIEWrongType);
    EXPECT_EQ(GetGraphPlotCount(panel, 99, count), UIEInvalidControl);
    ASSERT_EQ(DeleteGraphPlot(panel, kGraph, VAL_ALL_PLOTS), 0);
    EXPECT_EQ(GetGraphPlotCount(panel, kGraph, count), 0);
    EXPECT_EQ(count, 0);
}

TEST_F(PlotApiTest, MixedPlotsKeepTheirDataWhenTheStoreIsPacked) {
    // Packed samples, lines of fractional points and rectangles; deleting most packs the point and the
    // rectangle stores, and every survivor must keep its own data.
    std::vector<int> handles;
    for (int i = 0; i < 6000; ++i) {
        if (i % 3 == 0) {
            handles.push_back(AddSegment(kGraph, i, 1, i + 1, 2));
        } else if (i % 3 == 1) {
            const double x[] = {i + 0.5, i + 1.5, i + 2.5}, y[] = {0.25, 0.5, 0.75};
            handles.push_back(PlotXY(panel, kGraph, x, y, VAL_BLUE));
        } else {
            handles.push_back(
                PlotRectangle(panel, kGraph, i, 0, i + 10, 5, VAL_RED, i % 2 ? VAL_RED : VAL_BLUE));
        }
    }
    for (int i = 0; i < 6000; ++i) {
        if (i % 7 != 0) {
            ASSERT_EQ(DeleteGraphPlot(panel, kGraph, handles[i]), 0);
        }
    }
    const auto plots = Plots(kGraph);
    ASSERT_EQ(plots.size(), 858u);
    for (std::size_t k = 0; k < plots.size(); ++k) {
        const int i = static_cast<int>(k) * 7;
        ASSERT_EQ(plots[k].handle, handles[i]);
        if (i % 3 == 0) {
            ASSERT_EQ(plots[k].x, (std::vector<double>{double(i), double(i + 1)}));
        } else if (i % 3 == 1) {
            ASSERT_EQ(plots[k].x, (std::vector<double>{i + 0.5, i + 1.5, i + 2.5}));
            ASSERT_EQ(plots[k].y, (std::vector<double>{0.25, 0.5, 0.75}));
        } else {
            ASSERT_EQ(plots[k].kind, GraphPlotInfo::Rectangle);
            ASSERT_EQ(plots[k].x, (std::vector<double>{double(i), double(i + 10)}));
            ASSERT_EQ(plots[k].fillColor, i % 2 ? VAL_RED : VAL_BLUE);
        }
    }
}

// ---- graph: ranges and cursors ---------------------------------------------------------------------------

TEST_F(PlotApiTest, GraphRangesFromPanelFileAndManualScaling) {
    uitest::AllowPlatformErrors refused("SetAxisScalingMode", UIEInvalidValue);
    AxisScaling mode;
    AxisRange x = Range(kGraph, VAL_BOTTOM_XAXIS, &mode);
    EXPECT_EQ(mode, VAL_MANUAL);
    EXPECT_EQ(x.min, 0.0);
    EXPECT_EQ(x.max, 1000.0);
    AxisRange y = Range(kGraph, VAL_LEFT_YAXIS, &mode);
    EXPECT_EQ(mode, VAL_MANUAL);
    EXPECT_EQ(y.max, 100.0);
    ASSERT_EQ(SetAxisScalingMode(panel, kGraph, VAL_LEFT_YAXIS, VAL_MANUAL, -5.0, 5.0), 0);
    y = Range(kGraph, VAL_LEFT_YAXIS);
    EXPECT_EQ(y.min, -5.0);
    EXPECT_EQ(y.max, 5.0);
    x = Range(kGraph, VAL_BOTTOM_XAXIS);  // the other axis is untouched
    EXPECT_EQ(x.max, 1000.0);
    EXPECT_EQ(SetAxisScalingMode(panel, kGraph, static_cast<Axis>(2), VAL_MANUAL, 0, 1), UIEInvalidValue);
    EXPECT_EQ(SetAxisScalingMode(panel, kGraph, VAL_BOTTOM_XAXIS, VAL_MANUAL, 1, 0), UIEInvalidValue);
}

TEST_F(PlotApiTest, GraphAutoscaleEnclosesTheDataAndGrowsRarely) {
    AxisScaling mode;
    Range(kAutoGraph, VAL_BOTTOM_XAXIS, &mode);
    EXPECT_EQ(mode, VAL_AUTOSCALE);
    // A record's segments: x grows by one per sample, y wanders.
    int changes = 0;
    AxisRange last = Range(kAutoGraph, VAL_BOTTOM_XAXIS);
    for (int i = 1; i <= 3000; ++i) {
        ASSERT_GT(AddSegment(kAutoGraph, i - 1, 1000 + (i - 1) % 37, i, 1000 + i % 37), 0);
        const AxisRange x = Range(kAutoGraph, VAL_BOTTOM_XAXIS);
        ASSERT_LE(x.min, 0.0);
        ASSERT_GE(x.max, i);
        if (x.min != last.min || x.max != last.max) ++changes;
        last = x;
    }
    EXPECT_LE(changes, 40);  // grows with headroom, not with every segment
    const AxisRange y = Range(kAutoGraph, VAL_LEFT_YAXIS);
    EXPECT_LE(y.min, 1000);
    EXPECT_GE(y.max, 1036);
    EXPECT_GE(y.min, 0);  // not padded below zero for data that never go there
    // After deleting, the range fits the remaining data again.
    ASSERT_EQ(DeleteGraphPlot(panel, kAutoGraph, VAL_ALL_PLOTS), 0);
    AddSegment(kAutoGraph, 0, 5, 1, 6);
    EXPECT_LE(Range(kAutoGraph, VAL_BOTTOM_XAXIS).max, 10.0);
    // Switching to manual and back.
    ASSERT_EQ(SetAxisScalingMode(panel, kAutoGraph, VAL_LEFT_YAXIS, VAL_MANUAL, 0, 4096), 0);
    EXPECT_EQ(Range(kAutoGraph, VAL_LEFT_YAXIS).max, 4096);
    ASSERT_EQ(SetAxisScalingMode(panel, kAutoGraph, VAL_LEFT_YAXIS, VAL_AUTOSCALE, 0, 0), 0);
    EXPECT_LE(Range(kAutoGraph, VAL_LEFT_YAXIS).max, 10.0);
}

TEST_F(PlotApiTest, Cursors) {
    uitest::AllowPlatformErrors refused({{"SetGraphCursor", UIEIndexOutOfRange},
                                         {"GetGraphCursor", UIEIndexOutOfRange},
                                         {"SetGraphCursor", UIEInvalidValue}});
    double x = -1, y = -1;
    ASSERT_EQ(GetGraphCursor(panel, kGraph, 1, x, y), 0);  // not placed yet
    EXPECT_EQ(x, 0.0);
    EXPECT_EQ(y, 0.0);
    ASSERT_EQ(SetGraphCursor(panel, kGraph, 1, 512.0, 50.0), 0);
    ASSERT_EQ(SetGraphCursor(panel, kGraph, 2, 3.5, 7.25), 0);
    ASSERT_EQ(GetGraphCursor(panel, kGraph, 1, x, y), 0);
    EXPECT_EQ(x, 512.0);
    EXPECT_EQ(y, 50.0);
    ASSERT_EQ(GetGraphCursor(panel, kGraph, 2, x, y), 0);
    EXPECT_EQ(x, 3.5);
    EXPECT_EQ(y, 7.25);
    // Outside the plot area is allowed: the cursor is just not drawn.
    EXPECT_EQ(SetGraphCursor(panel, kGraph, 1, 5000.0, -3.0), 0);
    EXPECT_EQ(SetGraphCursor(panel, kGraph, 0, 1, 1), UIEIndexOutOfRange);
    EXPECT_EQ(SetGraphCursor(panel, kGraph, 3, 1, 1), UIEIndexOutOfRange);
    EXPECT_EQ(GetGraphCursor(panel, kAutoGraph, 2, x, y), UIEIndexOutOfRange);  // one cursor by default
    EXPECT_EQ(SetGraphCursor(panel, kGraph, 1, std::numeric_limits<double>::quiet_NaN(), 1), UIEInvalidValue);
    // Cursors are no plots and survive deleting them.
    ASSERT_EQ(DeleteGraphPlot(panel, kGraph, VAL_ALL_PLOTS), 0);
    ASSERT_EQ(GetGraphCursor(panel, kGraph, 2, x, y), 0);
    EXPECT_EQ(x, 3.5);
    EXPECT_TRUE(Plots(kGraph).empty());
}

// ---- wrong controls ---------------------------------------------------------------------------------------

TEST_F(PlotApiTest, WrongControlsAreReported) {
    uitest::AllowPlatformErrors refused({{"PlotXY", UIEWrongType},
                                         {"PlotRectangle", UIEWrongType},
                                         {"DeleteGraphPlot", UIEWrongType},
                                         {"SetGraphCursor", UIEWrongType},
                                         {"GetGraphPlots", UIEWrongType},
                                         {"PlotStripChart", UIEWrongType},
                                         {"ClearStripChart", UIEWrongType},
                                         {"SetTraceColor", UIEWrongType},
                                         {"GetStripChartTrace", UIEWrongType},
                                         {"SetAxisScalingMode", UIEWrongType},
                                         {"GetAxisScalingMode", UIEWrongType},
                                         {"SetCtrlAttribute", UIEInvalidAttribute},
                                         {"PlotStripChart", UIEInvalidControl},
                                         {"PlotXY", UIEInvalidControl},
                                         {"GetGraphCursor", UIEInvalidControl},
                                         {"PlotStripChart", UIEInvalidPanel},
                                         {"PlotXY", UIEInvalidPanel},
                                         {"SetAxisScalingMode", UIEInvalidPanel}});
    const double d[] = {1, 2, 3};
    const double x[] = {0, 1}, y[] = {0, 1};
    std::vector<double> points;
    std::vector<GraphPlotInfo> plots;
    double cx, cy;
    AxisScaling mode;
    // A graph operation on a strip chart, and the other way round.
    EXPECT_EQ(PlotXY(panel, kChart, x, y, VAL_RED), UIEWrongType);
    EXPECT_EQ(PlotRectangle(panel, kChart, 0, 0, 1, 1, VAL_RED, VAL_RED), UIEWrongType);
    EXPECT_EQ(DeleteGraphPlot(panel, kChart, VAL_ALL_PLOTS), UIEWrongType);
    EXPECT_EQ(SetGraphCursor(panel, kChart, 1, 0, 0), UIEWrongType);
    EXPECT_EQ(GetGraphPlots(panel, kChart, plots), UIEWrongType);
    EXPECT_EQ(PlotStripChart(panel, kGraph, d), UIEWrongType);
    EXPECT_EQ(ClearStripChart(panel, kGraph), UIEWrongType);
    EXPECT_EQ(SetTraceColor(panel, kGraph, 0, VAL_RED), UIEWrongType);
    EXPECT_EQ(GetStripChartTrace(panel, kGraph, 0, points), UIEWrongType);
    // A control that is no plot at all.
    EXPECT_EQ(PlotStripChart(panel, kNumber, d), UIEWrongType);
    EXPECT_EQ(PlotXY(panel, kNumber, x, y, VAL_RED), UIEWrongType);
    EXPECT_EQ(SetAxisScalingMode(panel, kNumber, VAL_LEFT_YAXIS, VAL_MANUAL, 0, 1), UIEWrongType);
    EXPECT_EQ(GetAxisScalingMode(panel, kNumber, VAL_LEFT_YAXIS, mode, cx, cy), UIEWrongType);
    EXPECT_EQ(SetCtrlAttribute(panel, kNumber, ATTR_POINTS_PER_SCREEN, 101), UIEInvalidAttribute);
    // Unknown control and panel.
    EXPECT_EQ(PlotStripChart(panel, 99, d), UIEInvalidControl);
    EXPECT_EQ(PlotXY(panel, 99, x, y, VAL_RED), UIEInvalidControl);
    EXPECT_EQ(GetGraphCursor(panel, 99, 1, cx, cy), UIEInvalidControl);
    EXPECT_EQ(PlotStripChart(panel + 1000, kChart, d), UIEInvalidPanel);
    EXPECT_EQ(PlotXY(panel + 1000, kGraph, x, y, VAL_RED), UIEInvalidPanel);
    EXPECT_EQ(SetAxisScalingMode(panel + 1000, kGraph, VAL_LEFT_YAXIS, VAL_MANUAL, 0, 1), UIEInvalidPanel);
    // Nothing reached the charts.
    EXPECT_TRUE(Plots(kGraph).empty());
    EXPECT_TRUE(Trace(0).empty());
}

}  // namespace
