// The teach table: teaching the latest frame into the selected row, auto increment without wrap, the
// tolerance rectangles on the symmetry graphs and their clamps, Reset, and which edits stop the live loop.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "live_data.h"
#include "scope_session.h"
#include "teach_table.h"

namespace {

using Row = std::array<unsigned short, 6>;

class TeachTable : public ScopeSession {
  protected:
    void SetUp() override {
        ScopeSession::SetUp();
        ASSERT_EQ(LoadOrvanePanels(), 0);
        DisplayOrvanePanels();
        ShowChildPanel(kChildTeachTable);
    }
    static void SetRow(int row, Row cells) {
        for (int c = 0; c < 6; ++c) SetTableCellVal(ttpanel, TTP_TABLE, {c + 1, row + 1}, cells[c]);
    }
    static Row RowOf(int row) {
        Row r;
        for (int c = 0; c < 6; ++c) r[c] = Cell(c + 1, row + 1);
        return r;
    }
    static void SetFrame(unsigned short density, unsigned short sym1, unsigned short sym2) {
        dataDensity = density;
        dataSym1 = sym1;
        dataSym2 = sym2;
    }
    // The one plot of a symmetry graph, which must be a rectangle.
    static GraphPlotInfo Rectangle(int graph) {
        std::vector<GraphPlotInfo> plots;
        GetGraphPlots(datapanel, graph, plots);
        EXPECT_EQ(plots.size(), 1u);
        if (plots.size() != 1) return {};
        EXPECT_EQ(plots[0].kind, GraphPlotInfo::Rectangle);
        return plots[0];
    }
    static std::size_t PlotCount(int graph) {
        std::vector<GraphPlotInfo> plots;
        GetGraphPlots(datapanel, graph, plots);
        return plots.size();
    }
};

TEST_F(TeachTable, TeachBeforeAnyFrameWritesZerosWithTheDefaultTolerances) {
    for (int r : {11, 12, 13}) SetRow(r, {7, 7, 7, 7, 7, 7});
    uitest::SetAndCommit(ttpanel, TTP_NO, 12);
    uitest::Click(ttpanel, TTP_TEACH_DATA_TO);
    EXPECT_EQ(RowOf(12), (Row{0, 100, 0, 50, 0, 50}));
    EXPECT_EQ(RowOf(11), (Row{7, 7, 7, 7, 7, 7})) << "neighbours keep their values";
    EXPECT_EQ(RowOf(13), (Row{7, 7, 7, 7, 7, 7}));
    EXPECT_EQ(Int(ttpanel, TTP_NO), 12) << "auto increment is off";
}

TEST_F(TeachTable, AutoIncrementAdvancesButNotPastTheLastRow) {
    SetRow(0, {7, 7, 7, 7, 7, 7});
    uitest::Click(ttpanel, TTP_AUTO_INC);
    ASSERT_EQ(Int(ttpanel, TTP_AUTO_INC), 1);
    SetFrame(2051, 501, 480);
    uitest::SetAndCommit(ttpanel, TTP_NO, 29);
    uitest::Click(ttpanel, TTP_TEACH_DATA_TO);
    EXPECT_EQ(Int(ttpanel, TTP_NO), 30);
    SetFrame(4095, 999, 1);
    uitest::Click(ttpanel, TTP_TEACH_DATA_TO);
    EXPECT_EQ(Int(ttpanel, TTP_NO), 30) << "no wrap to row 0";
    EXPECT_EQ(RowOf(29), (Row{2051, 100, 501, 50, 480, 50}));
    EXPECT_EQ(RowOf(30), (Row{4095, 100, 999, 50, 1, 50}));
    EXPECT_EQ(RowOf(0), (Row{7, 7, 7, 7, 7, 7}));
}

TEST_F(TeachTable, RectanglesAfterAutoIncrementBelongToTheNextRow) {
    SetRow(4, {1000, 100, 300, 20, 600, 30});  // the row now taught over
    SetRow(5, {1000, 100, 700, 40, 200, 10});  // the row selected next
    uitest::Click(ttpanel, TTP_AUTO_INC);
    uitest::SetAndCommit(ttpanel, TTP_NO, 4);
    SetFrame(2000, 100, 900);
    uitest::Click(ttpanel, TTP_TEACH_DATA_TO);
    const GraphPlotInfo s1 = Rectangle(DATAP_GRAPH_SYM1), s2 = Rectangle(DATAP_GRAPH_SYM2);
    EXPECT_EQ(s1.x, (std::vector<double>{660, 740}));
    EXPECT_EQ(s1.y, (std::vector<double>{0, 100}));
    EXPECT_EQ(s2.x, (std::vector<double>{190, 210}));
    EXPECT_EQ(s1.color, 0xFF0080);
    EXPECT_EQ(s1.fillColor, 0xFF0080);
    EXPECT_EQ(s2.color, 0x008040);
    EXPECT_EQ(s2.fillColor, 0x008040);
}

TEST_F(TeachTable, RectanglesAreClampedToTheSymmetryScale) {
    SetRow(3, {0, 0, 990, 50, 20, 50});
    SetRow(4, {0, 0, 65535, 65535, 0, 65535});
    uitest::SetAndCommit(ttpanel, TTP_NO, 3);
    EXPECT_EQ(Rectangle(DATAP_GRAPH_SYM1).x, (std::vector<double>{940, 1000}));
    EXPECT_EQ(Rectangle(DATAP_GRAPH_SYM2).x, (std::vector<double>{0, 70}));
    uitest::SetAndCommit(ttpanel, TTP_NO, 4);
    EXPECT_EQ(Rectangle(DATAP_GRAPH_SYM1).x, (std::vector<double>{0, 1000})) << "no 16-bit wrap";
    EXPECT_EQ(Rectangle(DATAP_GRAPH_SYM2).x, (std::vector<double>{0, 1000}));
}

TEST_F(TeachTable, ResetSetsEveryCellToOneAndEmptiesTheGraphsUntilNoIsCommitted) {
    SetRow(0, {9, 9, 500, 9, 500, 9});
    SetRow(30, {9, 9, 9, 9, 9, 9});
    uitest::SetAndCommit(ttpanel, TTP_NO, 30);
    ASSERT_EQ(PlotCount(DATAP_GRAPH_SYM1), 1u);
    SetGraphCursor(datapanel, DATAP_GRAPH_SYM1, 1, 321, 50);
    // Tabbing across the buttons presses neither.
    uitest::PressKey(ttpanel, TTP_TEACH_DATA_TO, VAL_TAB_VKEY);
    uitest::PressKey(ttpanel, TTP_RESET_TABLE, VAL_TAB_VKEY);
    ASSERT_EQ(RowOf(30), (Row{9, 9, 9, 9, 9, 9}));

    uitest::Click(ttpanel, TTP_RESET_TABLE);
    for (int r = 0; r < kTeachRows; ++r) ASSERT_EQ(RowOf(r), (Row{1, 1, 1, 1, 1, 1})) << "row " << r;
    EXPECT_EQ(Int(ttpanel, TTP_NO), 0);
    EXPECT_EQ(PlotCount(DATAP_GRAPH_SYM1), 0u);
    EXPECT_EQ(PlotCount(DATAP_GRAPH_SYM2), 0u);
    double x = 0, y = 0;
    GetGraphCursor(datapanel, DATAP_GRAPH_SYM1, 1, x, y);
    EXPECT_EQ(x, 321) << "the cursor is not a plot";

    uitest::Commit(ttpanel, TTP_NO);
    EXPECT_EQ(Rectangle(DATAP_GRAPH_SYM1).x, (std::vector<double>{0, 2}));
    EXPECT_EQ(Rectangle(DATAP_GRAPH_SYM2).x, (std::vector<double>{0, 2}));
}

TEST_F(TeachTable, OnlyAPersonsCellEditStopsTheLiveLoop) {
    poll = 1;
    uitest::Click(ttpanel, TTP_TEACH_DATA_TO);
    uitest::Click(ttpanel, TTP_RESET_TABLE);
    SetTableCellVal(ttpanel, TTP_TABLE, {2, 3}, static_cast<unsigned short>(77));
    uitest::SetAndCommit(ttpanel, TTP_NO, 5);
    uitest::Click(ttpanel, TTP_AUTO_INC);
    EXPECT_EQ(poll, 1) << "program writes, teaching, reset and the row selector leave the loop running";
    uitest::SetTableCellAndCommit(ttpanel, TTP_TABLE, {4, 9}, "60");
    EXPECT_EQ(poll, 0);
    EXPECT_EQ(Cell(4, 9), 60);
}

TEST_F(TeachTable, HelpTextsButNoneForTheTableItself) {
    SetRow(0, {7, 7, 7, 7, 7, 7});
    uitest::ExpectPopup("INFO!", InfoButtonTeachDataTo);
    uitest::RightClick(ttpanel, TTP_TEACH_DATA_TO);
    uitest::ExpectPopup("INFO!", InfoButtonResetTable);
    uitest::RightClick(ttpanel, TTP_RESET_TABLE);
    uitest::ExpectPopup("INFO!", InfoEditNo);
    uitest::RightClick(ttpanel, TTP_NO);
    uitest::ExpectPopup("INFO!", InfoRadioInc);
    uitest::RightClick(ttpanel, TTP_AUTO_INC);
    uitest::RightClick(ttpanel, TTP_TABLE);
    EXPECT_EQ(uitest::Popups().size(), 4u);
    EXPECT_EQ(Cell(1, 1), 7) << "a right click teaches and resets nothing";
    EXPECT_EQ(Int(ttpanel, TTP_AUTO_INC), 0);
}

}  // namespace
