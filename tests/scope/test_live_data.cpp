// Live data on the data panel: a frame's words in the displays, bars and histories, the density band of
// the selected teach row, the density chart's fixed and auto zoom, the raw view and the symmetry cursors,
// the help texts; then the live-data loop that Go runs against the emulator over TCP and the
// pseudo-terminal.
#include <gtest/gtest.h>

#include <QTimer>
#include <algorithm>
#include <array>
#include <functional>
#include <sstream>
#include <vector>

#include "frame_log.h"
#include "graph_panel.h"
#include "live_data.h"
#include "scope_session.h"
#include "teach_table.h"

namespace {

using Words = std::array<unsigned short, 12>;  // frame words 2..13

// A frame as GetData unpacks it, shown as GetData shows it.
void ShowFrame(const Words& w) {
    std::fill(std::begin(databuf), std::end(databuf), 0xEEEE);  // header and spare words must not matter
    std::copy(w.begin(), w.end(), databuf + 2);
    CopyDatatoVars();
    SetPanelData();
    ShowGraph();
}

Words FrameNo(int k) {
    Words w;
    for (int i = 0; i < 12; ++i) w[i] = static_cast<unsigned short>(100 * (i + 1) + k);
    return w;
}

std::vector<double> Trace(int ctrl, int trace, int count) {
    std::vector<double> points;
    EXPECT_EQ(GetStripChartTrace(datapanel, ctrl, trace, points, count), 0);
    return points;
}

std::pair<double, double> YRangeShown(int ctrl) {
    AxisScaling mode = VAL_AUTOSCALE;
    double min = -1, max = -1;
    GetAxisScalingMode(datapanel, ctrl, VAL_LEFT_YAXIS, mode, min, max);
    EXPECT_EQ(mode, VAL_MANUAL);
    return {min, max};
}

std::pair<double, double> CursorAt(int graph) {
    double x = -1, y = -1;
    EXPECT_EQ(GetGraphCursor(datapanel, graph, 1, x, y), 0);
    return {x, y};
}

void SetRow(int row, std::array<unsigned short, 6> cells) {
    for (int c = 0; c < 6; ++c) SetTableCellVal(ttpanel, TTP_TABLE, {c + 1, row + 1}, cells[c]);
}

class DataPanel : public ScopeSession {
  protected:
    void SetUp() override {
        ScopeSession::SetUp();
        ASSERT_EQ(LoadOrvanePanels(), 0);
        DisplayOrvanePanels();
    }
    static double Number(int panel, int ctrl) {
        double v = -1;
        int style = 0;
        GetCtrlAttribute(panel, ctrl, ATTR_CTRL_STYLE, style);
        if (style == CTRL_NUMERIC_BAR)
            GetCtrlVal(panel, ctrl, v);
        else
            v = Int(panel, ctrl);
        return v;
    }
};

TEST_F(DataPanel, FrameWordsReachTheirDisplaysBarsAndHistories) {
    ShowFrame(FrameNo(1));
    const Words w{1210, 1984, 1177, 2051, 501, 480, 255, 27, 1300, 65535, 1250, 1};
    ShowFrame(w);
    const std::pair<int, unsigned short> shown[] = {
        {DATAP_CH_L, w[0]},  {DATAP_CH_C, w[1]},   {DATAP_CH_R, w[2]},     {DATAP_BAR_L, w[0]},
        {DATAP_BAR_C, w[1]}, {DATAP_BAR_R, w[2]},  {DATAP_DENSITY, w[3]},  {DATAP_SYM1, w[4]},
        {DATAP_SYM2, w[5]},  {DATAP_VEC, w[6]},    {DATAP_TEMP, w[7]},     {DATAP_MAX_L, w[8]},
        {DATAP_MAX_C, w[9]}, {DATAP_MAX_R, w[10]}, {DATAP_TRIGGER, w[11]},
    };
    for (auto [ctrl, value] : shown) EXPECT_EQ(Number(datapanel, ctrl), value) << "control " << ctrl;
    EXPECT_EQ(Int(colbigpanel, COLBIGP_VECTOR), 255);

    // Newest frame last; the frame before it one place to the left.
    const double* raw = rawBuf + std::size(rawBuf) - 12;
    EXPECT_EQ(std::vector<double>(raw + 6, raw + 12),
              (std::vector<double>{1210, 1984, 1177, 1300, 65535, 1250}));
    EXPECT_EQ(raw[0], FrameNo(1)[0]);
    EXPECT_EQ(raw[3], FrameNo(1)[8]);
    EXPECT_EQ(rawBuf[0], 0.0) << "the start history is zero";
    EXPECT_EQ(densityBuf[std::size(densityBuf) - 3], 2051.0);
    EXPECT_EQ(densityBuf[std::size(densityBuf) - 6], FrameNo(1)[3]);
}

TEST_F(DataPanel, DensityBandComesFromTheSelectedRowAndNeverWraps) {
    SetRow(4, {4000, 200, 1, 2, 3, 4});
    SetRow(7, {50, 100, 9, 9, 9, 9});
    SetRow(8, {65535, 65535, 9, 9, 9, 9});
    auto band = [] {
        const double* last = densityBuf + std::size(densityBuf) - 3;
        return std::pair{last[1], last[2]};
    };
    SetCtrlVal(ttpanel, TTP_NO, 4);
    ShowFrame(FrameNo(0));
    EXPECT_EQ(band(), (std::pair{4096.0, 3800.0}));
    SetCtrlVal(ttpanel, TTP_NO, 7);
    ShowFrame(FrameNo(0));
    EXPECT_EQ(band(), (std::pair{150.0, 0.0}));
    SetCtrlVal(ttpanel, TTP_NO, 8);
    ShowFrame(FrameNo(0));
    EXPECT_EQ(band(), (std::pair{4096.0, 0.0}));
    // The chart's band traces carry the same values.
    EXPECT_EQ(Trace(DATAP_GRAPH_DENSITY, 1, 3), (std::vector<double>{4096, 150, 4096}));
    EXPECT_EQ(Trace(DATAP_GRAPH_DENSITY, 2, 3), (std::vector<double>{3800, 0, 0}));
}

TEST_F(DataPanel, DensityChartZoomsOnDoubleClickAndFixesOnClick) {
    ShowFrame(FrameNo(0));
    EXPECT_EQ(YRangeShown(DATAP_GRAPH_DENSITY), (std::pair{0.0, 4096.0}));
    uitest::DoubleClick(datapanel, DATAP_GRAPH_DENSITY);
    std::fill(std::begin(densityBuf), std::end(densityBuf), 0.0);
    ShowGraph();
    EXPECT_EQ(YRangeShown(DATAP_GRAPH_DENSITY), (std::pair{0.0, 25.0})) << "an all-zero history";

    SetRow(0, {1500, 100, 1, 1, 1, 1});  // band 1400..1600
    SetCtrlVal(ttpanel, TTP_NO, 0);
    for (int k = 0; k < kHistoryFrames; ++k) {
        Words w = FrameNo(0);
        w[3] = static_cast<unsigned short>(1000 + 10 * k);  // 1000 .. 1990
        ShowFrame(w);
    }
    EXPECT_EQ(YRangeShown(DATAP_GRAPH_DENSITY), (std::pair{975.0, 2015.0}));
    uitest::Click(datapanel, DATAP_GRAPH_DENSITY);
    ShowGraph();
    EXPECT_EQ(YRangeShown(DATAP_GRAPH_DENSITY), (std::pair{0.0, 4096.0}));
}

TEST_F(DataPanel, EachFrameReplotsExactlyTheHistoryOnAScreenOf101Points) {
    for (int k = 0; k < 3; ++k) ShowFrame(FrameNo(k));
    EXPECT_EQ(Attribute(datapanel, DATAP_GRAPH_DENSITY, ATTR_POINTS_PER_SCREEN), 101);
    // The chart holds the 100 frames of the history and nothing the previous frame plotted.
    const std::vector<double> density = Trace(DATAP_GRAPH_DENSITY, 0, -1);
    ASSERT_EQ(density.size(), 100u);
    EXPECT_EQ(density[0], 0.0);
    EXPECT_EQ(density[97], FrameNo(0)[3]);
    EXPECT_EQ(density[99], FrameNo(2)[3]);
    EXPECT_EQ(CursorAt(DATAP_GRAPH_SYM1), (std::pair{double(FrameNo(2)[4]), 50.0}));
    EXPECT_EQ(CursorAt(DATAP_GRAPH_SYM2), (std::pair{double(FrameNo(2)[5]), 50.0}));
}

TEST_F(DataPanel, RawViewPlotsTheChannelsAndLeavesTheSymmetryCursorsAlone) {
    ShowFrame(FrameNo(1));
    uitest::SelectListItem(datapanel, DATAP_SOURCE, 1);
    EXPECT_TRUE(uitest::IsShown(datapanel, DATAP_GRAPH_RAW));
    for (int ctrl : {DATAP_GRAPH_DENSITY, DATAP_GRAPH_SYM1, DATAP_GRAPH_SYM2})
        EXPECT_FALSE(uitest::IsShown(datapanel, ctrl));
    const std::vector<double> densityBefore = Trace(DATAP_GRAPH_DENSITY, 0, -1);

    ShowFrame(FrameNo(2));
    EXPECT_EQ(CursorAt(DATAP_GRAPH_SYM1), (std::pair{double(FrameNo(1)[4]), 50.0}));
    EXPECT_EQ(CursorAt(DATAP_GRAPH_SYM2), (std::pair{double(FrameNo(1)[5]), 50.0}));
    EXPECT_EQ(Trace(DATAP_GRAPH_DENSITY, 0, -1), densityBefore) << "the hidden view is not plotted";
    EXPECT_EQ(Attribute(datapanel, DATAP_GRAPH_RAW, ATTR_POINTS_PER_SCREEN), 101);
    // Six traces in frame order: L, C, R and their maxima.
    const int words[] = {0, 1, 2, 8, 9, 10};
    for (int t = 0; t < 6; ++t) {
        const std::vector<double> last = Trace(DATAP_GRAPH_RAW, t, 2);
        EXPECT_EQ(last, (std::vector<double>{double(FrameNo(1)[words[t]]), double(FrameNo(2)[words[t]])}))
            << "trace " << t;
    }

    uitest::SelectListItem(datapanel, DATAP_SOURCE, 0);
    EXPECT_TRUE(uitest::IsShown(datapanel, DATAP_GRAPH_SYM1));
    EXPECT_FALSE(uitest::IsShown(datapanel, DATAP_GRAPH_RAW));
    ShowFrame(FrameNo(3));
    EXPECT_EQ(CursorAt(DATAP_GRAPH_SYM1), (std::pair{double(FrameNo(3)[4]), 50.0}));
    // The density history kept growing in the raw view; the chart shows all of it again.
    EXPECT_EQ(Trace(DATAP_GRAPH_DENSITY, 0, 3),
              (std::vector<double>{double(FrameNo(1)[3]), double(FrameNo(2)[3]), double(FrameNo(3)[3])}));
}

TEST(ArrayRoutines, ShiftByZeroCopiesIntoAnotherArray) {
    const double x[] = {1, 2, 3};
    double y[] = {9, 9, 9};
    EXPECT_EQ(Shift(x, 3, 0, y), 0);
    EXPECT_EQ(std::vector<double>(y, y + 3), (std::vector<double>{1, 2, 3}));
}

TEST_F(DataPanel, HelpTitlesAreInfoForSymmetryTwoAndTheSymmetryGraphs) {
    const int withHelp[] = {DATAP_CH_L,       DATAP_CH_C,          DATAP_CH_R,      DATAP_BAR_L,
                            DATAP_BAR_C,      DATAP_BAR_R,         DATAP_DENSITY,   DATAP_SYM1,
                            DATAP_SYM2,       DATAP_VEC,           DATAP_MAX_L,     DATAP_MAX_C,
                            DATAP_MAX_R,      DATAP_GRAPH_DENSITY, DATAP_GRAPH_RAW, DATAP_GRAPH_SYM1,
                            DATAP_GRAPH_SYM2, DATAP_SOURCE,        DATAP_STATUS,    DATAP_SHOW_GRAPH};
    SetCtrlAttribute(datapanel, DATAP_GRAPH_RAW, ATTR_VISIBLE, 1);
    for (int ctrl : withHelp) uitest::RightClick(datapanel, ctrl);
    uitest::RightClick(datapanel, DATAP_TEMP);
    const auto& popups = uitest::UnexpectedPopups();
    ASSERT_EQ(popups.size(), std::size(withHelp)) << "one help text per control, none for the temperature";
    for (std::size_t i = 0; i < popups.size(); ++i) {
        const int ctrl = withHelp[i];
        const bool info = ctrl == DATAP_SYM2 || ctrl == DATAP_GRAPH_SYM1 || ctrl == DATAP_GRAPH_SYM2;
        EXPECT_EQ(popups[i].title, info ? "Info" : "INFO!") << "control " << ctrl;
        EXPECT_FALSE(popups[i].text.empty());
    }
    EXPECT_EQ(popups[9].text, InfoDispVec);
    EXPECT_EQ(popups[13].text, InfoGraphDensity);
    uitest::Reset();  // the help pop-ups were the point of this test
    EXPECT_EQ(scale, 0) << "a right click on the chart does not change its zoom";
}

// --- the live-data loop against the emulator ---------------------------------------------------------------

class LiveLoop : public ScopeSession, public testing::WithParamInterface<Link> {
  protected:
    void SetUp() override {
        ScopeSession::SetUp();
        StartConnected(GetParam());
        emulator->ResetCounters();
        uitest::WatchValues(datapanel, DATAP_CH_L);  // one value per frame shown
    }
    static int FramesShown() { return static_cast<int>(uitest::WatchedValues().size()); }
    int Requests() const { return static_cast<int>(Orders().size()); }
    // Runs `action` inside the running loop's waits as soon as `ready()` holds.
    static void When(std::function<bool()> ready, std::function<void()> action) {
        uitest::RunDuringBusyWait([ready, action] {
            if (ready())
                action();
            else
                When(ready, action);
        });
    }
    static void AfterFrames(int n, std::function<void()> action) {
        When([n] { return FramesShown() >= n; }, std::move(action));
    }
    static void Go() { ASSERT_EQ(uitest::Click(mainpanel, MAINP_GO), 0); }

    // What the data panel and the histories show, to compare before and after.
    struct Shown {
        std::vector<int> displays;
        std::vector<double> raw, density;
        bool operator==(const Shown&) const = default;
    };
    static Shown Snapshot() {
        Shown s;
        for (int ctrl = DATAP_CH_L; ctrl <= DATAP_TRIGGER; ++ctrl)
            if (ctrl < DATAP_BAR_L || ctrl > DATAP_BAR_R) s.displays.push_back(Int(datapanel, ctrl));
        s.raw.assign(std::begin(rawBuf), std::end(rawBuf));
        s.density.assign(std::begin(densityBuf), std::end(densityBuf));
        return s;
    }
};

TEST_P(LiveLoop, GoShowsEachFrameAndStopEndsItInThePause) {
    AfterFrames(3, [] { uitest::Click(mainpanel, MAINP_STOP); });
    Go();
    EXPECT_EQ(poll, 0);
    EXPECT_EQ(Dimmed(mainpanel, MAINP_GO), 0);
    EXPECT_EQ(FramesShown(), 3);
    EXPECT_EQ(Orders(), (std::vector<int>{5, 5, 5})) << "Stop in the pause sends no further request";
    // The request carries the parameter words, as every order without a payload of its own.
    const auto request = emulator->Received().back();
    for (int w = 0; w < 16; ++w)
        EXPECT_EQ(request[4 + 2 * w] << 8 | request[5 + 2 * w], pp[w]) << "word " << w;
    // The last reply, word by word, on the panel and at the end of the histories.
    unsigned short words[12];
    for (int i = 0; i < 12; ++i) words[i] = GetWord(szReadBuf, 2 + i);
    EXPECT_EQ(Int(datapanel, DATAP_CH_L), words[0]);
    EXPECT_EQ(Int(datapanel, DATAP_DENSITY), words[3]);
    EXPECT_EQ(Int(datapanel, DATAP_VEC), words[6]);
    EXPECT_EQ(Int(datapanel, DATAP_TRIGGER), words[11]);
    EXPECT_EQ(rawBuf[std::size(rawBuf) - 1], words[10]);
    EXPECT_EQ(densityBuf[std::size(densityBuf) - 3], words[3]);
    EXPECT_EQ(Trace(DATAP_GRAPH_DENSITY, 0, 1).at(0), words[3]);
    EXPECT_EQ(CursorAt(DATAP_GRAPH_SYM1).first, words[4]);
    EXPECT_EQ(Status(), kScopeVersion) << "no failure report";
}

// The pause between two frames sleeps to its end: a few sleeps a frame, with the exchange's, not one a
// millisecond (50 a frame).
TEST_P(LiveLoop, ThePauseBetweenFramesSleeps) {
    QTimer::singleShot(1000, [] { uitest::Click(mainpanel, MAINP_STOP); });
    const long sleeps = ThreadSleeps();
    Go();
    const long slept = ThreadSleeps() - sleeps;
    ASSERT_GE(FramesShown(), 5);
    EXPECT_LT(slept, 10 * FramesShown());
}

TEST_P(LiveLoop, StopDuringAFrameWaitEndsTheLoopAfterThatWait) {
    emulator->SetFaults({.replyDelayMs = 400});
    When([this] { return emulator->FrameCount() >= 1; }, [] { uitest::Click(mainpanel, MAINP_STOP); });
    Go();
    EXPECT_EQ(FramesShown(), 1) << "the frame that was awaited is still shown";
    EXPECT_EQ(Requests(), 1);
    EXPECT_EQ(Status(), kScopeVersion);
}

TEST_P(LiveLoop, TimeOutMidRunKeepsTheLastFrameOnTheDisplaysAndInTheHistories) {
    Shown before;
    AfterFrames(2, [&] {
        before = Snapshot();
        emulator->SetFaults({.silent = true});
    });
    Go();
    EXPECT_EQ(poll, 0);
    EXPECT_EQ(Status(), "TIMEOUT");
    EXPECT_TRUE(uitest::IsPanelShown(interfacepanel));
    EXPECT_EQ(Requests(), 3);
    EXPECT_EQ(FramesShown(), 2);
    EXPECT_EQ(Snapshot(), before);
}

// Every request of the live loop is followed in the frame log by its reply, and the last by the failure's
// cause and its time-out.
TEST_P(LiveLoop, TheFrameLogHoldsEveryReplyAndTheTimeOut) {
    const std::string logPath = ProjectFile("frames.log");
    ASSERT_TRUE(OpenFrameLog(logPath));
    AfterFrames(3, [this] { emulator->SetFaults({.silent = true}); });
    Go();
    CloseFrameLog();
    std::vector<std::string> kinds;  // "TX 5", "RX complete", "FAIL" or "RX time-out", in order
    std::istringstream log(ReadTextFile(logPath));
    for (std::string line; std::getline(log, line);) {
        std::istringstream words(line);
        std::string stamp, direction, link, b0, b1, b2, b3;
        words >> stamp >> direction >> link >> b0 >> b1 >> b2 >> b3;
        if (direction == "TX")
            kinds.push_back("TX " + std::to_string(std::stoi(b2 + b3, nullptr, 16)));
        else if (direction == "FAIL")
            kinds.push_back("FAIL");
        else
            kinds.push_back("RX " + line.substr(line.rfind(' ') + 1));
    }
    const std::vector<std::string> expected = {"TX 5",        "RX complete", "TX 5", "RX complete", "TX 5",
                                               "RX complete", "TX 5",        "FAIL", "RX time-out"};
    EXPECT_EQ(kinds, expected);
}

TEST_P(LiveLoop, TeachingFollowsTheLiveValuesAndOnlyACellEditStopsGo) {
    ShowChildPanel(kChildTeachTable);
    uitest::Click(ttpanel, TTP_AUTO_INC);
    std::vector<std::array<unsigned short, 3>> taught;
    auto teach = [&] {
        taught.push_back({dataDensity, dataSym1, dataSym2});
        uitest::Click(ttpanel, TTP_TEACH_DATA_TO);
    };
    AfterFrames(1, teach);
    AfterFrames(2, teach);
    AfterFrames(3, [] { uitest::SetTableCellAndCommit(ttpanel, TTP_TABLE, {2, 1}, "150"); });
    Go();
    EXPECT_EQ(FramesShown(), 3);
    EXPECT_EQ(Requests(), 3) << "the cell edit ends the loop after its pass";
    ASSERT_EQ(taught.size(), 2u);
    for (int r = 0; r < 2; ++r) {
        EXPECT_EQ(Cell(1, r + 1), taught[r][0]);
        EXPECT_EQ(Cell(3, r + 1), taught[r][1]);
        EXPECT_EQ(Cell(5, r + 1), taught[r][2]);
        EXPECT_EQ(Cell(6, r + 1), 50);
    }
    EXPECT_EQ(Cell(2, 1), 150);
    EXPECT_EQ(Int(ttpanel, TTP_NO), 2);
}

TEST_P(LiveLoop, ChildPanelSwitchKeepsGoingAndTheInterfacePanelStopsIt) {
    AfterFrames(1, [] { uitest::Click(mainpanel, MAINP_TEACH_TABLE); });
    AfterFrames(2, [] {
        EXPECT_TRUE(uitest::IsPanelShown(ttpanel));
        uitest::Click(datapanel, DATAP_SHOW_GRAPH);
    });
    AfterFrames(3, [] { uitest::Click(mainpanel, MAINP_CONNECT); });
    Go();
    EXPECT_EQ(FramesShown(), 3);
    EXPECT_EQ(Requests(), 3);
    EXPECT_TRUE(uitest::IsPanelShown(interfacepanel));
    EXPECT_TRUE(uitest::IsPanelShown(graphpanel));
    EXPECT_EQ(graphcnt, 0) << "the live loop does not feed the graph panel";
}

TEST_P(LiveLoop, StopAutoSendEndsTheSensorsOwnSendingWithoutAwaitingAReply) {
    order = 50;
    FillTxBuf(order, 1, 0, 0);  // what a triggered record sends
    WriteFrame();
    ASSERT_TRUE(uitest::PumpUntil([this] { return emulator->AutoSending(); }, 2.0));
    emulator->ResetCounters();
    StopAutoSend();
    EXPECT_TRUE(uitest::PumpUntil([this] { return !emulator->AutoSending(); }, 2.0));
    ASSERT_EQ(Orders(), (std::vector<int>{50}));
    const auto request = emulator->Received().front();
    EXPECT_EQ(request[4] << 8 | request[5], 0) << "argument 0 stops the sending";
    EXPECT_EQ(comecho, 1) << "no reply is awaited, so none is missed";
    // Frames the sensor sent by itself before it stopped do not spoil the next exchanges.
    AfterFrames(2, [] { uitest::Click(mainpanel, MAINP_STOP); });
    Go();
    EXPECT_EQ(FramesShown(), 2);
    EXPECT_EQ(Status(), kScopeVersion);
}

INSTANTIATE_TEST_SUITE_P(Links, LiveLoop, testing::Values(Link::Tcp, Link::Serial), LinkName);

// Closing the window while Go runs ends the event loop once Go has returned; the conversation is closed.
class ProgramEnd : public ScopeSession {};

TEST_F(ProgramEnd, ClosingTheMainPanelWhileGoRunsEndsTheProgram) {
    StartConnected(Link::Tcp);
    uitest::WatchValues(datapanel, DATAP_CH_L);
    PostDeferredCallToThread([](void*) { uitest::Click(mainpanel, MAINP_GO); }, nullptr);
    std::function<void()> closeLater = [&] {
        if (uitest::WatchedValues().size() >= 2)
            uitest::ClosePanel(mainpanel);
        else
            uitest::RunDuringBusyWait(closeLater);
    };
    uitest::RunDuringBusyWait(closeLater);
    EXPECT_EQ(RunUserInterface(), 0);
    EXPECT_EQ(poll, 0);
    EXPECT_EQ(uitest::WatchedValues().size(), 2u);
    EndOrvane();
    EXPECT_EQ(tcpcon, 0);
    EXPECT_TRUE(uitest::PumpUntil([&] { return !emulator->TcpClientConnected(); }, 2.0));
}

}  // namespace
