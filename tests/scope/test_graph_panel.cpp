// The graph panel: one two-point plot per sample on each of the seven graphs, the flat first segment after
// a clear, the 16-bit index wrap, the signal selector, the swap with the data panel and the help texts.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "graph_panel.h"
#include "live_data.h"
#include "scope_session.h"

namespace {

using Values = std::array<unsigned short, kGraphSignals>;  // L, C, R, density, sym 1, sym 2, temperature
constexpr int kColors[kGraphSignals] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFF8000, 0xFF0080, 0x008000, 0x008080};

void SetFrame(const Values& v) {
    dataChL = v[0];
    dataChC = v[1];
    dataChR = v[2];
    dataDensity = v[3];
    dataSym1 = v[4];
    dataSym2 = v[5];
    dataTemp = v[6];
    dataVec = 7;
}

Values Sample(int k) {
    Values v;
    for (int s = 0; s < kGraphSignals; ++s) v[s] = static_cast<unsigned short>(1000 * s + 10 * k + 1);
    return v;
}

std::vector<GraphPlotInfo> Plots(int signal) {
    std::vector<GraphPlotInfo> plots;
    EXPECT_EQ(GetGraphPlots(graphpanel, GRAPHP_GRAPH + signal, plots), 0);
    return plots;
}

struct Segment {
    double x0, x1, y0, y1;
    bool operator==(const Segment&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Segment& s) {
    return os << "(" << s.x0 << "," << s.y0 << ")-(" << s.x1 << "," << s.y1 << ")";
}
Segment SegmentOf(const GraphPlotInfo& p) {
    EXPECT_EQ(p.kind, GraphPlotInfo::XY);
    EXPECT_EQ(p.x.size(), 2u);
    if (p.x.size() != 2 || p.y.size() != 2) return {};
    return {p.x[0], p.x[1], p.y[0], p.y[1]};
}

class GraphPanel : public ScopeSession {
  protected:
    void SetUp() override {
        ScopeSession::SetUp();
        ASSERT_EQ(LoadOrvanePanels(), 0);
        DisplayOrvanePanels();
    }
    static int VisibleGraph() {
        int shown = -1;
        for (int s = 0; s < kGraphSignals; ++s)
            if (Attribute(graphpanel, GRAPHP_GRAPH + s, ATTR_VISIBLE) == 1) shown = shown == -1 ? s : -2;
        return shown;
    }
};

TEST_F(GraphPanel, ThreeSamplesAfterAClearStartWithAZeroLengthSegment) {
    SetFrame(Sample(9));
    SetPanelGraphData();  // before the clear: must not reach the new course
    SetFrame(Sample(0));
    InitPanelGraph();
    for (int k = 0; k < 3; ++k) {
        SetFrame(Sample(k));
        SetPanelGraphData();
    }
    for (int s = 0; s < kGraphSignals; ++s) {
        const std::vector<GraphPlotInfo> plots = Plots(s);
        ASSERT_EQ(plots.size(), 3u) << "signal " << s;
        const double v0 = Sample(0)[s], v1 = Sample(1)[s], v2 = Sample(2)[s];
        EXPECT_EQ(SegmentOf(plots[0]), (Segment{0, 0, v0, v0})) << "signal " << s;
        EXPECT_EQ(SegmentOf(plots[1]), (Segment{0, 1, v0, v1})) << "signal " << s;
        EXPECT_EQ(SegmentOf(plots[2]), (Segment{1, 2, v1, v2})) << "signal " << s;
        for (const GraphPlotInfo& p : plots) EXPECT_EQ(p.color, kColors[s]) << "signal " << s;
        EXPECT_EQ(Int(graphpanel, GRAPHP_VALUE + s), Sample(2)[s]);
    }
    EXPECT_EQ(graphcnt, 3);
}

TEST_F(GraphPanel, ClearBetweenSamplesStartsFlatAtTheCurrentValue) {
    for (int k = 0; k < 5; ++k) {
        SetFrame(Sample(k));
        SetPanelGraphData();
    }
    SetFrame(Sample(6));
    InitPanelGraph();
    for (int s = 0; s < kGraphSignals; ++s) EXPECT_TRUE(Plots(s).empty());
    SetFrame(Sample(7));
    SetPanelGraphData();
    // The segment is flat at the sample's own value, not at the value the buffers held at the clear.
    EXPECT_EQ(SegmentOf(Plots(3).at(0)), (Segment{0, 0, double(Sample(7)[3]), double(Sample(7)[3])}));
}

TEST_F(GraphPanel, WhenTheIndexWrapsAfter65536SamplesTheGraphsStartAPassOfTheirOwn) {
    InitPanelGraph();
    for (int k = 0; k < 65536; ++k) {
        dataDensity = static_cast<unsigned short>(k % 4000);
        SetPanelGraphData();
    }
    EXPECT_EQ(graphcnt, 0);
    std::vector<GraphPlotInfo> plots = Plots(3);
    ASSERT_EQ(plots.size(), 65536u) << "one pass of the index";
    EXPECT_EQ(SegmentOf(plots[65535]), (Segment{65534, 65535, 1534, 1535}));  // 65534 % 4000, 65535 % 4000
    dataDensity = 1234;
    SetPanelGraphData();
    dataDensity = 1300;
    SetPanelGraphData();
    // The pass before is gone: a record of any length keeps at most one pass of plots, and no old segment
    // lies under a new one. The new pass starts as after a clear.
    for (int s = 0; s < kGraphSignals; ++s) {
        int count = -1;
        ASSERT_EQ(GetGraphPlotCount(graphpanel, GRAPHP_GRAPH + s, count), 0);
        EXPECT_EQ(count, 2) << "signal " << s;
    }
    plots = Plots(3);
    ASSERT_EQ(plots.size(), 2u);
    EXPECT_EQ(SegmentOf(plots[0]), (Segment{0, 0, 1234, 1234}));
    EXPECT_EQ(SegmentOf(plots[1]), (Segment{0, 1, 1234, 1300}));
}

TEST_F(GraphPanel, SelectorShowsOneGraphAndAltersNoPlot) {
    EXPECT_EQ(VisibleGraph(), 0) << "the panel file shows the left channel";
    for (int k = 0; k < 4; ++k) {
        SetFrame(Sample(k));
        SetPanelGraphData();
    }
    std::vector<std::vector<GraphPlotInfo>> before;
    for (int s = 0; s < kGraphSignals; ++s) before.push_back(Plots(s));
    for (int pick : {5, 2, 6, 0, 3}) {
        uitest::SelectListItem(graphpanel, GRAPHP_SIGNAL, pick);
        EXPECT_EQ(VisibleGraph(), pick);
        EXPECT_EQ(Attribute(graphpanel, GRAPHP_CLOSE, ATTR_VISIBLE), 1) << "the selector hides graphs only";
    }
    for (int s = 0; s < kGraphSignals; ++s) {
        const std::vector<GraphPlotInfo> now = Plots(s);
        ASSERT_EQ(now.size(), before[s].size());
        for (std::size_t i = 0; i < now.size(); ++i) EXPECT_EQ(SegmentOf(now[i]), SegmentOf(before[s][i]));
    }
    // Hidden graphs keep receiving segments.
    SetFrame(Sample(4));
    SetPanelGraphData();
    for (int s = 0; s < kGraphSignals; ++s) EXPECT_EQ(Plots(s).size(), 5u);
    EXPECT_EQ(SegmentOf(Plots(6).back()), (Segment{3, 4, double(Sample(3)[6]), double(Sample(4)[6])}));
}

TEST_F(GraphPanel, ShowGraphAndCloseSwapItWithTheDataPanel) {
    ASSERT_TRUE(uitest::IsPanelShown(datapanel));
    ASSERT_FALSE(uitest::IsPanelShown(graphpanel));
    uitest::PressKey(datapanel, DATAP_SHOW_GRAPH, VAL_TAB_VKEY);  // tabbing across is no press
    EXPECT_FALSE(uitest::IsPanelShown(graphpanel));
    uitest::Click(datapanel, DATAP_SHOW_GRAPH);
    EXPECT_TRUE(uitest::IsPanelShown(graphpanel));
    EXPECT_FALSE(uitest::IsPanelShown(datapanel));
    for (int s = 0; s < kGraphSignals; ++s) EXPECT_TRUE(Plots(s).empty()) << "no record yet";
    uitest::PressKey(graphpanel, GRAPHP_CLOSE, VAL_TAB_VKEY);
    EXPECT_TRUE(uitest::IsPanelShown(graphpanel));
    uitest::Click(graphpanel, GRAPHP_CLOSE);
    EXPECT_TRUE(uitest::IsPanelShown(datapanel));
    EXPECT_FALSE(uitest::IsPanelShown(graphpanel));
    EXPECT_TRUE(uitest::IsPanelShown(ttpanel) || uitest::IsPanelShown(parapanel)) << "the child panel stays";
}

TEST_F(GraphPanel, HelpTexts) {
    uitest::ExpectPopup("INFO!", " Switch to a graphical display for each signal.");
    uitest::RightClick(datapanel, DATAP_SHOW_GRAPH);
    uitest::Click(datapanel, DATAP_SHOW_GRAPH);
    uitest::ExpectPopup("INFO!", " Close PANEL and return to MAIN PANEL. ");
    uitest::RightClick(graphpanel, GRAPHP_CLOSE);
    uitest::ExpectPopup("INFO!", " Select Signal to be displayed in the graph. ");
    uitest::RightClick(graphpanel, GRAPHP_SIGNAL);
    uitest::ExpectPopup("INFO!", " Displays the signals selected with SIGNAL. ");
    uitest::RightClick(graphpanel, GRAPHP_GRAPH);
    EXPECT_TRUE(uitest::IsPanelShown(graphpanel)) << "a right click on Close does not close";
}

}  // namespace
