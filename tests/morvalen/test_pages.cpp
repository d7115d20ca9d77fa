// The compensation pages driven as a user would: coefficients typed into the fields, buttons pressed, the
// temperature index committed; what the charts, fields, the window's page state and files show afterwards.
// Without panels: the page descriptors, the table layout and page states calculated side by side.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <barrier>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "gui.h"
#include "morvalen.h"
#include "transfer.h"
#include "ui_test.h"

namespace {

using Coefs = std::array<double, 5>;  // X4, X3, X2, X1, T

// --- page descriptors and the transfer layout (no panels) ------------------------------------------------

TEST(PageDescriptors, KindsAndChannels) {
    const PageKind kinds[] = {kThreeChannelPage, kThreeChannelPage,  kSixChannelPage,   kThreeChannelPage,
                              kThreeChannelPage, kSingleChannelPage, kSingleChannelPage};
    const int channels[] = {3, 3, 6, 3, 3, 1, 1};
    for (int page = 1; page <= 7; ++page) {
        const PageDescriptor* d = PageDescriptorFor(page);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->page, page);
        EXPECT_EQ(d->kind, kinds[page - 1]);
        EXPECT_EQ(d->channelCount, channels[page - 1]);
    }
    EXPECT_EQ(PageDescriptorFor(0), nullptr);
    EXPECT_EQ(PageDescriptorFor(8), nullptr);

    // The window's names stand for the parts of its page state that each channel uses.
    PageState& pages = WindowPageState();
    const PageDescriptor& six = *PageDescriptorFor(3);
    EXPECT_EQ(pages.Curve(*six.channels[3]).data(), dataRef);
    EXPECT_EQ(pages.Factors(*six.channels[4]).data(), dataCfDir);
    EXPECT_EQ(&pages.Coefs(*six.channels[5])[4], &DIFT);
    EXPECT_EQ(pages.Combined(six).data(), dataRGBRDD);
    EXPECT_EQ(pages.Combined(six).size(), 600u);
    EXPECT_EQ(pages.CfCombined(six).data(), dataCfRGBRDD);
    const PageDescriptor& rgb = *PageDescriptorFor(2);
    EXPECT_EQ(&pages.Coefs(*rgb.channels[1])[0], &GX4);
    EXPECT_EQ(pages.Curve(*rgb.channels[2]).data(), dataBlau);
    EXPECT_EQ(pages.CfCombined(rgb).data(), dataCfRGB);
    EXPECT_EQ(pages.CfCombined(rgb).size(), 300u);
    // RAW uses the R coefficients with curves of its own.
    const PageDescriptor& raw = *PageDescriptorFor(6);
    EXPECT_EQ(&pages.Coefs(*raw.channels[0])[0], &RX4);
    EXPECT_EQ(&pages.Coefs(*raw.channels[0])[4], &RT);
    EXPECT_EQ(pages.Curve(*raw.channels[0]).data(), dataRaw);
    EXPECT_EQ(pages.Factors(*raw.channels[0]).data(), dataCfRaw);
    EXPECT_TRUE(pages.Combined(raw).empty());
    EXPECT_TRUE(pages.CfCombined(raw).empty());
}

TEST(PageDescriptors, TraceColoursAreDistinctPerPage) {
    for (int page : {1, 3, 6}) {
        const PageDescriptor& d = *PageDescriptorFor(page);
        for (int a = 0; a < d.channelCount; ++a)
            for (int b = a + 1; b < d.channelCount; ++b)
                EXPECT_NE(d.channels[a]->color, d.channels[b]->color) << "page " << page;
    }
}

std::vector<unsigned> FrameAddresses(int page) {
    const PageDescriptor& d = *PageDescriptorFor(page);
    std::vector<unsigned> a;
    for (int k = 0; k < d.writeFrames; ++k) a.push_back(WriteFrameAddress(d, k));
    return a;
}

TEST(PageDescriptors, ThreeBlockPagesWriteEachChannelIntoItsOwnBlock) {
    for (int page : {1, 4, 5}) {
        const PageDescriptor& d = *PageDescriptorFor(page);
        ASSERT_EQ(d.prepareCount, 3);
        EXPECT_EQ(d.prepareAddress[0], 0x1400);
        EXPECT_EQ(d.prepareAddress[1], 0x1500);
        EXPECT_EQ(d.prepareAddress[2], 0x1600);
        EXPECT_EQ(d.valuesPerChannel, 100);
        ASSERT_EQ(d.writeFrames, 30);
        std::vector<unsigned> expected;
        for (unsigned base : {0x1400u, 0x1500u, 0x1600u})
            for (unsigned k = 0; k < 10; ++k) expected.push_back(base + 10 * k);
        EXPECT_EQ(FrameAddresses(page), expected);
        for (int k = 0; k < 30; ++k) EXPECT_EQ(WriteFrameStart(k), 10 * k);  // 100·c + 10·k within channel c
        EXPECT_DOUBLE_EQ(d.progressStep, 33.33);
    }
}

TEST(PageDescriptors, PackedPagesWriteOneRunOfAddresses) {
    struct Expect {
        int page, prepares;
        unsigned prepare0, prepare1;
        int values, frames;
        unsigned firstAddress;
        double step;
    };
    for (const Expect& e :
         {Expect{2, 1, 0x1600, 0, 80, 24, 0x1600, 41.66}, Expect{3, 2, 0x1500, 0x1600, 80, 48, 0x1500, 20.83},
          Expect{6, 1, 0x1400, 0, 100, 10, 0x1400, 100.0}, Expect{7, 1, 0x1400, 0, 100, 10, 0x1400, 100.0}}) {
        const PageDescriptor& d = *PageDescriptorFor(e.page);
        EXPECT_EQ(d.prepareCount, e.prepares) << e.page;
        EXPECT_EQ(d.prepareAddress[0], e.prepare0) << e.page;
        if (e.prepares > 1) {
            EXPECT_EQ(d.prepareAddress[1], e.prepare1) << e.page;
        }
        EXPECT_EQ(d.valuesPerChannel, e.values) << e.page;
        ASSERT_EQ(d.writeFrames, e.frames) << e.page;
        const std::vector<unsigned> a = FrameAddresses(e.page);
        for (int k = 0; k < e.frames; ++k)
            EXPECT_EQ(a[k], e.firstAddress + 10u * k) << e.page << " frame " << k;
        EXPECT_DOUBLE_EQ(d.progressStep, e.step);
    }
    EXPECT_EQ(FrameAddresses(2).back(), 0x16E6u);
    EXPECT_EQ(FrameAddresses(3).back(), 0x16D6u);
}

TEST(PageDescriptors, CompleteTransferFillsTheProgressScale) {
    for (int page = 1; page <= 7; ++page) {
        const PageDescriptor& d = *PageDescriptorFor(page);
        double progress = 0.0;
        for (int k = 0; k < d.writeFrames; ++k) progress += d.progressStep;
        EXPECT_GE(progress, 999.84 - 1e-9) << page;
        EXPECT_LE(progress, 1000.0 + 1e-9) << page;
        // Every value the table holds is sent, and nothing beyond it.
        EXPECT_EQ(d.writeFrames * kFactorsPerFrame, d.valuesPerChannel * d.channelCount) << page;
    }
}

// Factor curves whose every value tells its channel (c + 1: R, G, B, REF, DIR, DIF, RAW) and index:
// 1000·(c + 1) + i.
void FillDistinctFactors(PageState& pages) {
    for (int c = 0; c < 7; ++c)
        for (int i = 0; i < 100; ++i) pages.factors[c][i] = static_cast<unsigned short>(1000 * (c + 1) + i);
}

TEST(LayOutSendBuf, WholeCurvesOnThreeBlockPages) {
    PageState pages;
    FillDistinctFactors(pages);
    std::fill(std::begin(pages.sendBuf), std::end(pages.sendBuf), 0xBEEF);
    LayOutSendBuf(pages, *PageDescriptorFor(1));
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < 100; ++i) EXPECT_EQ(pages.sendBuf[100 * c + i], 1000 * (c + 1) + i);
    EXPECT_EQ(pages.sendBuf[300], 0xBEEF);
}

TEST(LayOutSendBuf, FirstEightyOfEachChannelOnPagesTwoAndThree) {
    PageState pages;
    FillDistinctFactors(pages);
    LayOutSendBuf(pages, *PageDescriptorFor(2));
    // The frame with address 0x1650 is frame 8, start 80: G indices 0..9.
    const PageDescriptor& p2 = *PageDescriptorFor(2);
    EXPECT_EQ(WriteFrameAddress(p2, 8), 0x1650);
    for (int j = 0; j < 10; ++j) EXPECT_EQ(pages.sendBuf[WriteFrameStart(8) + j], 2000 + j);
    EXPECT_EQ(pages.sendBuf[79], 1079);
    EXPECT_EQ(pages.sendBuf[239], 3079);

    FillDistinctFactors(pages);
    LayOutSendBuf(pages, *PageDescriptorFor(3));
    const PageDescriptor& p3 = *PageDescriptorFor(3);
    EXPECT_EQ(WriteFrameAddress(p3, 8), 0x1550);
    for (int c = 0; c < 6; ++c)
        for (int i = 0; i < 80; ++i)
            EXPECT_EQ(pages.sendBuf[80 * c + i], 1000 * (c + 1) + i) << c << " " << i;
}

TEST(LayOutSendBuf, RawCurveOnSingleChannelPages) {
    PageState pages;
    FillDistinctFactors(pages);
    LayOutSendBuf(pages, *PageDescriptorFor(7));
    for (int i = 0; i < 100; ++i) EXPECT_EQ(pages.sendBuf[i], 7000 + i);
}

// Two runs calculate page 7's table at the same time, each on its own page state with its own coefficients,
// as sensor-tool's threads do. Each step waits for the other run's same step, so the runs interleave step by
// step: a state the two shared would give both the coefficients, curves and table of whichever ran last.
// Rising RAW = 1000 + 10 i, set point at index 0 (1000): factor i = 1024000 / (1000 + 10 i) = 102400 / (100 +
// i). Falling RAW = 2000 - 10 i, set point 2000: factor i = 204800 / (200 - i).
TEST(PageState, TwoRunsAtOnceEachCalculateTheirOwnTable) {
    struct Run {
        Coefs coefs;
        int numerator, denominatorAt0, slope;  // factor i = numerator / (denominatorAt0 + slope·i)
        std::array<unsigned short, 4> words;   // at indices 0, 1, 50, 99
        int wrongTables = 0;
    };
    Run rising{{0, 0, 0, 10, 1000}, 102400, 100, 1, {1024, 1013, 682, 514}};
    Run falling{{0, 0, 0, -10, 2000}, 204800, 200, -1, {1024, 1029, 1365, 2027}};
    const PageDescriptor& d = *PageDescriptorFor(7);
    std::barrier stepDone(2);
    auto calculate = [&](Run& run) {
        PageState pages;
        for (int round = 0; round < 50; ++round) {
            SetCoefficients(pages, d, run.coefs);
            stepDone.arrive_and_wait();
            ComputeDriftCurves(pages, d);
            stepDone.arrive_and_wait();
            const unsigned short setPoint[] = {SetPoint(pages.Curve(*d.channels[0])[0])};
            ComputeFactorCurves(pages, d, setPoint);
            stepDone.arrive_and_wait();
            std::fill(std::begin(pages.sendBuf), std::end(pages.sendBuf), 0);
            LayOutSendBuf(pages, d);
            stepDone.arrive_and_wait();
            bool right = pages.sendBuf[0] == run.words[0] && pages.sendBuf[1] == run.words[1] &&
                         pages.sendBuf[50] == run.words[2] && pages.sendBuf[99] == run.words[3];
            for (int i = 0; i < 100; ++i)
                right = right && pages.sendBuf[i] == run.numerator / (run.denominatorAt0 + run.slope * i);
            if (!right) ++run.wrongTables;
            stepDone.arrive_and_wait();
        }
    };
    std::thread first(calculate, std::ref(rising)), second(calculate, std::ref(falling));
    first.join();
    second.join();
    EXPECT_EQ(rising.wrongTables, 0);
    EXPECT_EQ(falling.wrongTables, 0);
}

// A page's calculation fills its own channels' coefficients, curves and combined arrays, and nothing else of
// the state: not the six-channel page's arrays next to its own, nor the channels it does not have.
TEST(PageState, APageCalculatesIntoItsOwnPartsOnly) {
    PageState pages;
    std::fill(std::begin(pages.rgbRdd), std::end(pages.rgbRdd), -7.0);
    std::fill(std::begin(pages.cfRgbRdd), std::end(pages.cfRgbRdd), 7);
    for (int c : {kChannelRef, kChannelDir, kChannelDif, kChannelRaw}) {
        std::fill(std::begin(pages.curves[c]), std::end(pages.curves[c]), -7.0);
        std::fill(std::begin(pages.factors[c]), std::end(pages.factors[c]), 7);
    }
    const PageDescriptor& d = *PageDescriptorFor(1);
    double coefs[15];
    for (int k = 0; k < 15; ++k) coefs[k] = k + 0.5;
    SetCoefficients(pages, d, coefs);
    for (int c = 0; c < 3; ++c)
        for (int t = 0; t < 5; ++t) EXPECT_EQ(pages.coefs[c][t], 5 * c + t + 0.5) << c << " " << t;
    EXPECT_EQ(pages.coefs[kChannelRef][0], 0.0);

    // R = 500, G = 600, B = 700; set points 1000, 600, 350 give factors 2048, 1024, 512.
    const double constants[15] = {0, 0, 0, 0, 500, 0, 0, 0, 0, 600, 0, 0, 0, 0, 700};
    SetCoefficients(pages, d, constants);
    ComputeDriftCurves(pages, d);
    const unsigned short setPoints[] = {1000, 600, 350};
    ComputeFactorCurves(pages, d, setPoints);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(pages.curves[kChannelG][i], 600.0);
        EXPECT_EQ(pages.factors[kChannelB][i], 512);
        for (int c = 0; c < 3; ++c) {
            EXPECT_EQ(pages.rgb[3 * i + c], 500.0 + 100 * c) << i;
            EXPECT_EQ(pages.cfRgb[3 * i + c], 2048 >> c) << i;
        }
    }
    for (double v : pages.rgbRdd) ASSERT_EQ(v, -7.0);
    for (unsigned short f : pages.cfRgbRdd) ASSERT_EQ(f, 7);
    for (int c : {kChannelRef, kChannelDir, kChannelDif, kChannelRaw}) {
        for (double v : pages.curves[c]) ASSERT_EQ(v, -7.0) << c;
        for (unsigned short f : pages.factors[c]) ASSERT_EQ(f, 7) << c;
    }
}

TEST(PagePanelDef, PagesOfAKindShareTheirFile) {
    EXPECT_STREQ(PagePanelDef(1).file, PagePanelDef(2).file);
    EXPECT_STREQ(PagePanelDef(1).file, PagePanelDef(5).file);
    EXPECT_STREQ(PagePanelDef(6).file, PagePanelDef(7).file);
    EXPECT_STRNE(PagePanelDef(1).file, PagePanelDef(3).file);
    EXPECT_STRNE(PagePanelDef(3).file, PagePanelDef(6).file);
    EXPECT_EQ(PagePanelDef(1).callback, &CBF_DATAP1);
    EXPECT_EQ(PagePanelDef(7).callback, &CBF_DATAP7);
    // Each page binds its own callbacks.
    auto callbackOf = [](int page, int id) -> CtrlCallbackPtr {
        for (const CtrlBinding& b : PagePanelDef(page).controls)
            if (b.id == id) return b.callback;
        return nullptr;
    };
    EXPECT_EQ(callbackOf(4, DATAP_CALC_CURVES), &CBF_DataP4ButtonCalcCurves);
    EXPECT_EQ(callbackOf(2, DATAP_SHOW_CF_BLUE), &CBF_DataP2ButtonShowCfBlue);
    EXPECT_EQ(callbackOf(3, DATAP_TEMP), &CBF_DataP3EditTemp);
    EXPECT_EQ(callbackOf(6, DATAP_GET_EQUATION), &CBF_DataP6ButtonGetEquation);
    EXPECT_EQ(callbackOf(7, DATAP_SEND_CF), &CBF_DataP7ButtonSendCF);
    EXPECT_EQ(callbackOf(3, DATAP_SHOW_RED), nullptr);  // not on a six-channel page
}

TEST(PagePanelDef, PagesOutsideOneToSevenDoNotLoad) {
    EXPECT_LT(LoadPanel(0, PagePanelDef(0)), 0);
    EXPECT_LT(LoadPanel(0, PagePanelDef(8)), 0);
}

// --- the pages ------------------------------------------------------------------------------------------

// The engine's coefficients, curves and factors as a fresh run has them (all zero), so that each test starts
// from the program's start and not from what an earlier test in the same process computed.
void ResetEngine() {
    WindowPageState() = PageState{};
    file_name.clear();
}

class Pages : public UiTest {
  protected:
    void SetUp() override {
        UiTest::SetUp();
        ResetEngine();
        ASSERT_EQ(LoadMorvalenPanels(), 0);
        std::snprintf(proj_dir, sizeof proj_dir, "%s", projectDir.string().c_str());
        DisplayPanel(mainpanel);
    }
    void TearDown() override {
        DiscardMorvalenPanels();
        UiTest::TearDown();
    }

    // Shows page `page` (as the sensor selector would) and returns its panel.
    int Page(int page) {
        for (int p = 1; p <= 7; ++p) HidePanel(DataPanel(p));
        DisplayPanel(DataPanel(page));
        return DataPanel(page);
    }
    static void TypeCoefs(int panel, int channel, const Coefs& c) {
        for (int t = 0; t < 5; ++t) ASSERT_EQ(uitest::SetAndCommit(panel, CoefCtrl(channel, t), c[t]), 0);
    }
    static double Field(int panel, int ctrl) {
        double v = -12345.0;
        EXPECT_EQ(GetCtrlVal(panel, ctrl, v), 0);
        return v;
    }
    static unsigned short UField(int panel, int ctrl) {
        unsigned short v = 12345;
        EXPECT_EQ(GetCtrlVal(panel, ctrl, v), 0);
        return v;
    }
    static std::vector<double> Trace(int panel, int chart, int trace) {
        std::vector<double> v;
        EXPECT_EQ(GetStripChartTrace(panel, chart, trace, v), 0);
        return v;
    }
    static std::pair<double, double> YRangeOf(int panel, int chart) {
        AxisScaling mode = VAL_AUTOSCALE;
        double lo = 0, hi = 0;
        EXPECT_EQ(GetAxisScalingMode(panel, chart, VAL_LEFT_YAXIS, mode, lo, hi), 0);
        EXPECT_EQ(mode, VAL_MANUAL);
        return {lo, hi};
    }
    static int Attr(int panel, int ctrl, CtrlAttr attr) {
        int v = -1;
        EXPECT_EQ(GetCtrlAttribute(panel, ctrl, attr, v), 0);
        return v;
    }
    // Which of a three-channel page's four charts (combined, R, G, B) are visible.
    static std::vector<int> Visibility(int panel, int first) {
        std::vector<int> v;
        for (int chart = first; chart < first + 4; ++chart) v.push_back(Attr(panel, chart, ATTR_VISIBLE));
        return v;
    }
    static std::string Text(int panel, int ctrl) {
        std::string s;
        EXPECT_EQ(GetCtrlVal(panel, ctrl, s), 0);
        return s;
    }
};

std::vector<double> Constant(double v) {
    return std::vector<double>(100, v);
}
std::vector<double> Curve(const Coefs& c) {
    std::vector<double> v(100);
    for (long long i = 0; i < 100; ++i) {
        double x = c[0] * static_cast<double>(i * i * i * i);
        x += c[1] * static_cast<double>(i * i * i);
        x += c[2] * static_cast<double>(i * i);
        x += c[3] * static_cast<double>(i);
        x += c[4];
        v[i] = x;
    }
    return v;
}

// --- drift curves -----------------------------------------------------------------------------------------

TEST_F(Pages, CalcCurvesPlotsEveryChannelWithItsRangeAndShowsTheCombinedChart) {
    const int p = Page(1);
    const Coefs r{0, 0, 0, 0, 500};      // constant 500: [450, 550]
    const Coefs g{0, 0, 0, 1, -3.7};     // -3.7 .. 95.3: [-3 - 50, 95 + 50]
    const Coefs b{0, 0, 1.5, 0, 10500};  // 10500 .. 25201.5, min stays 10000: [9950, 25251]
    TypeCoefs(p, 0, r);
    TypeCoefs(p, 1, g);
    TypeCoefs(p, 2, b);
    ASSERT_EQ(uitest::Click(p, DATAP_SHOW_GREEN), 0);
    ASSERT_EQ(uitest::Click(p, DATAP_CALC_CURVES), 0);

    EXPECT_EQ(Visibility(p, DATAP_DRIFT_GRAPH), (std::vector<int>{1, 0, 0, 0}));
    EXPECT_TRUE(uitest::IsShown(p, DATAP_DRIFT_GRAPH));

    const std::vector<double> curves[] = {Constant(500), Curve(g), Curve(b)};
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(Trace(p, DATAP_DRIFT_GRAPH_R + c, 0), curves[c]) << "channel chart " << c;
        EXPECT_EQ(Trace(p, DATAP_DRIFT_GRAPH, c), curves[c]) << "combined trace " << c;
        EXPECT_EQ(Attr(p, DATAP_DRIFT_GRAPH_R + c, ATTR_POINTS_PER_SCREEN), 101);
    }
    EXPECT_EQ(Attr(p, DATAP_DRIFT_GRAPH, ATTR_NUM_TRACES), 3);
    EXPECT_EQ(Attr(p, DATAP_DRIFT_GRAPH, ATTR_POINTS_PER_SCREEN), 101);
    EXPECT_EQ(YRangeOf(p, DATAP_DRIFT_GRAPH_R), std::make_pair(450.0, 550.0));
    EXPECT_EQ(YRangeOf(p, DATAP_DRIFT_GRAPH_G), std::make_pair(-53.0, 145.0));
    EXPECT_EQ(YRangeOf(p, DATAP_DRIFT_GRAPH_B), std::make_pair(9950.0, 25251.0));
    EXPECT_EQ(YRangeOf(p, DATAP_DRIFT_GRAPH), std::make_pair(-53.0, 25251.0));

    // The window's page state holds this page's coefficients and curves.
    EXPECT_EQ(RT, 500.0);
    EXPECT_EQ(GX1, 1.0);
    EXPECT_EQ(GT, -3.7);
    EXPECT_EQ(BX2, 1.5);
    EXPECT_EQ(BT, 10500.0);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(dataGruen[i], curves[1][i]);
        for (int c = 0; c < 3; ++c) EXPECT_EQ(dataRGB[3 * i + c], curves[c][i]);
    }
}

// A chart shows the points of the curve it was given last and nothing else: no point of the curve before
// at the left edge of its 101 points.
TEST_F(Pages, EachCalcCurvesShowsItsOwnHundredPointsOnly) {
    const int p = Page(4);
    TypeCoefs(p, 0, {0, 0, 0, 0, 100});
    ASSERT_EQ(uitest::Click(p, DATAP_CALC_CURVES), 0);
    TypeCoefs(p, 0, {0, 0, 0, 0, 200});
    ASSERT_EQ(uitest::Click(p, DATAP_CALC_CURVES), 0);
    EXPECT_EQ(Trace(p, DATAP_DRIFT_GRAPH_R, 0), Constant(200));
    EXPECT_EQ(Trace(p, DATAP_DRIFT_GRAPH, 0), Constant(200));
    EXPECT_EQ(YRangeOf(p, DATAP_DRIFT_GRAPH_R), std::make_pair(150.0, 250.0));
}

TEST_F(Pages, ShowButtonsSwitchTheDriftChartWithoutCalculating) {
    const int p = Page(2);
    TypeCoefs(p, 0, {0, 0, 0, 0, 7});
    ASSERT_EQ(uitest::Click(p, DATAP_CALC_CURVES), 0);
    TypeCoefs(p, 0, {0, 0, 0, 0, 99});  // typed, not calculated

    ASSERT_EQ(uitest::Click(p, DATAP_SHOW_RED), 0);
    EXPECT_EQ(Visibility(p, DATAP_DRIFT_GRAPH), (std::vector<int>{0, 1, 0, 0}));
    ASSERT_EQ(uitest::Click(p, DATAP_SHOW_GREEN), 0);
    EXPECT_EQ(Visibility(p, DATAP_DRIFT_GRAPH), (std::vector<int>{0, 0, 1, 0}));
    ASSERT_EQ(uitest::Click(p, DATAP_SHOW_BLUE), 0);
    EXPECT_EQ(Visibility(p, DATAP_DRIFT_GRAPH), (std::vector<int>{0, 0, 0, 1}));
    EXPECT_TRUE(uitest::IsShown(p, DATAP_DRIFT_GRAPH_B));

    EXPECT_EQ(RT, 7.0);
    EXPECT_EQ(Trace(p, DATAP_DRIFT_GRAPH_R, 0).size(), 100u);
    // The factor charts are a separate set.
    EXPECT_EQ(Visibility(p, DATAP_CF_GRAPH), (std::vector<int>{1, 0, 0, 0}));
}

TEST_F(Pages, ButtonsIgnoreEverythingButACommit) {
    const int p = Page(1);
    TypeCoefs(p, 0, {0, 0, 0, 0, 5});
    for (int button : {DATAP_CALC_CURVES, DATAP_SHOW_RED, DATAP_CALC_CALIB, DATAP_SHOW_CF_BLUE, DATAP_SEND_CF,
                       DATAP_SAVE_EQUATION, DATAP_GET_EQUATION}) {
        uitest::RightClick(p, button);
    }
    uitest::RightClick(p, DATAP_TEMP);
    // No pop-up (the fixture checks), nothing calculated, nothing switched, nothing sent.
    EXPECT_EQ(RT, 0.0);
    EXPECT_TRUE(Trace(p, DATAP_DRIFT_GRAPH, 0).empty());
    EXPECT_EQ(Visibility(p, DATAP_DRIFT_GRAPH), (std::vector<int>{1, 0, 0, 0}));
    EXPECT_EQ(Text(p, DATAP_STATUS), "READY");
}

// --- set points -----------------------------------------------------------------------------------------

TEST_F(Pages, TemperatureAbove99IsClampedAndShowsIndex99) {
    const int p = Page(1);
    TypeCoefs(p, 0, {1e-6, 0, 0, 0, 1000});     // 96.059601 + 1000 at 99
    TypeCoefs(p, 1, {0, 2e-5, -3e-3, 0.5, 7});  // exact powers 970299 and 9801
    TypeCoefs(p, 2, {0, 0, 0, -0.5, 0});
    ASSERT_EQ(uitest::Click(p, DATAP_CALC_CURVES), 0);
    ASSERT_EQ(uitest::SetAndCommit(p, DATAP_TEMP, static_cast<unsigned short>(150)), 0);

    EXPECT_EQ(UField(p, DATAP_TEMP), 99);
    const double r99 = 1e-6 * 96059601.0 + 1000.0;
    double g99 = 2e-5 * 970299.0;
    g99 += -3e-3 * 9801.0;
    g99 += 0.5 * 99.0;
    g99 += 7.0;
    // The curves hold the exact values; the fields show them to six decimals.
    EXPECT_EQ(dataRot[99], r99);
    EXPECT_EQ(dataGruen[99], g99);
    EXPECT_NEAR(Field(p, CurveValueCtrl(0)), r99, 5e-7);
    EXPECT_NEAR(Field(p, CurveValueCtrl(1)), g99, 5e-7);
    EXPECT_EQ(Field(p, CurveValueCtrl(2)), -49.5);
    EXPECT_EQ(UField(p, SetPointCtrl(0)), 1096);
    EXPECT_EQ(UField(p, SetPointCtrl(1)), static_cast<unsigned short>(std::trunc(g99)));
    EXPECT_EQ(UField(p, SetPointCtrl(2)), 65536 - 49);
}

TEST_F(Pages, SetPointsTruncateTowardZeroAndWrap) {
    const int p = Page(5);
    TypeCoefs(p, 0, {0, 0, 0, 0, 1234.9});
    TypeCoefs(p, 1, {0, 0, 0, 0, -0.5});
    TypeCoefs(p, 2, {0, 0, 0, 0, -3.7});
    ASSERT_EQ(uitest::Click(p, DATAP_CALC_CURVES), 0);
    ASSERT_EQ(uitest::SetAndCommit(p, DATAP_TEMP, static_cast<unsigned short>(42)), 0);
    EXPECT_EQ(UField(p, DATAP_TEMP), 42);
    EXPECT_EQ(Field(p, CurveValueCtrl(0)), 1234.9);
    EXPECT_EQ(Field(p, CurveValueCtrl(1)), -0.5);
    EXPECT_EQ(Field(p, CurveValueCtrl(2)), -3.7);
    EXPECT_EQ(UField(p, SetPointCtrl(0)), 1234);
    EXPECT_EQ(UField(p, SetPointCtrl(1)), 0);
    EXPECT_EQ(UField(p, SetPointCtrl(2)), 65533);
}

TEST_F(Pages, TemperatureBeforeAnyCalcShowsZeros) {
    const int p = Page(1);
    for (int c = 0; c < 3; ++c) uitest::SetAndCommit(p, SetPointCtrl(c), static_cast<unsigned short>(77));
    TypeCoefs(p, 0, {0, 0, 0, 0, 300});  // typed but never calculated
    ASSERT_EQ(uitest::SetAndCommit(p, DATAP_TEMP, static_cast<unsigned short>(10)), 0);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(Field(p, CurveValueCtrl(c)), 0.0);
        EXPECT_EQ(UField(p, SetPointCtrl(c)), 0);
    }
}

TEST_F(Pages, TemperatureUsesTheCurvesAsTheyStand) {
    const int p = Page(1);
    TypeCoefs(p, 0, {0, 0, 0, 2, 10});
    ASSERT_EQ(uitest::Click(p, DATAP_CALC_CURVES), 0);
    TypeCoefs(p, 0, {0, 0, 0, 0, 5000});  // not calculated
    ASSERT_EQ(uitest::SetAndCommit(p, DATAP_TEMP, static_cast<unsigned short>(20)), 0);
    EXPECT_EQ(Field(p, CurveValueCtrl(0)), 50.0);
    EXPECT_EQ(UField(p, SetPointCtrl(0)), 50);
    EXPECT_EQ(Trace(p, DATAP_DRIFT_GRAPH_R, 0).size(), 100u);  // no new curve
}

TEST_F(Pages, PagesShareTheCurvesOfTheLastCalculation) {
    const int p1 = Page(1);
    TypeCoefs(p1, 0, {0, 0, 0, 0, 321.5});
    TypeCoefs(p1, 1, {0, 0, 0, 1, 0});
    ASSERT_EQ(uitest::Click(p1, DATAP_CALC_CURVES), 0);

    const int p4 = Page(4);  // never calculated
    ASSERT_EQ(uitest::SetAndCommit(p4, DATAP_TEMP, static_cast<unsigned short>(30)), 0);
    EXPECT_EQ(Field(p4, CurveValueCtrl(0)), 321.5);
    EXPECT_EQ(Field(p4, CurveValueCtrl(1)), 30.0);
    EXPECT_EQ(UField(p4, SetPointCtrl(0)), 321);
    EXPECT_EQ(Field(p4, CoefCtrl(0, 4)), 0.0) << "the fields stay the page's own";

    // The single-channel pages write the R coefficients but keep a RAW curve of their own.
    const int p6 = Page(6);
    ASSERT_EQ(uitest::SetAndCommit(p6, DATAP_TEMP, static_cast<unsigned short>(30)), 0);
    EXPECT_EQ(Field(p6, CurveValueCtrl(0)), 0.0);
    TypeCoefs(p6, 0, {0, 0, 0, 0, 42});
    ASSERT_EQ(uitest::Click(p6, DATAP_CALC_CURVES), 0);
    EXPECT_EQ(RT, 42.0);
    EXPECT_EQ(dataRaw[30], 42.0);
    EXPECT_EQ(dataRot[30], 321.5);
}

TEST_F(Pages, ExtremeCoefficientsWrapOrZeroTheSetPointsAndKeepTheRangeFinite) {
    const int p = Page(1);
    TypeCoefs(p, 0, {1e12, 0, 0, 0, 0});  // 9.6059601e19 at index 99: beyond 2^63
    TypeCoefs(p, 1, {0, 0, 0, 0, 1e12});  // 10^12 wraps modulo 65536
    TypeCoefs(p, 2, {0, 0, 0, 0, -1e12});
    ASSERT_EQ(uitest::Click(p, DATAP_CALC_CURVES), 0);
    ASSERT_EQ(uitest::SetAndCommit(p, DATAP_TEMP, static_cast<unsigned short>(99)), 0);
    EXPECT_EQ(dataRot[99], 96059601e12);
    EXPECT_EQ(Field(p, CurveValueCtrl(0)), 96059601e12) << "shown, not clamped";
    EXPECT_EQ(UField(p, SetPointCtrl(0)), 0);
    EXPECT_EQ(UField(p, SetPointCtrl(1)), 4096);          // 10^12 mod 65536
    EXPECT_EQ(UField(p, SetPointCtrl(2)), 65536 - 4096);  // -10^12 mod 65536
    // Truncation to 32 bits stops at the ends of the range instead of overflowing.
    const auto [lo, hi] = YRangeOf(p, DATAP_DRIFT_GRAPH);
    EXPECT_EQ(lo, -2147483648.0 - 50);
    EXPECT_EQ(hi, 2147483647.0 + 50);
}

// --- compensation factors -------------------------------------------------------------------------------

TEST_F(Pages, CalcCalibUsesTheSetPointFields) {
    const int p = Page(1);
    TypeCoefs(p, 0, {0, 0, 0, 0, 1000});
    TypeCoefs(p, 1, {0, 0, 0, 20, 800});  // 800 at 0, 2000 at 60, 2780 at 99
    TypeCoefs(p, 2, {0, 0, 0, 0, -100});
    ASSERT_EQ(uitest::Click(p, DATAP_CALC_CURVES), 0);
    ASSERT_EQ(uitest::SetAndCommit(p, DATAP_TEMP, static_cast<unsigned short>(0)), 0);
    EXPECT_EQ(UField(p, SetPointCtrl(0)), 1000);
    EXPECT_EQ(UField(p, SetPointCtrl(2)), 65436);
    // Typed set points are what Calc Calib uses.
    ASSERT_EQ(uitest::SetAndCommit(p, SetPointCtrl(1), static_cast<unsigned short>(1000)), 0);
    ASSERT_EQ(uitest::SetAndCommit(p, SetPointCtrl(2), static_cast<unsigned short>(1000)), 0);
    ASSERT_EQ(uitest::Click(p, DATAP_SHOW_CF_GREEN), 0);
    ASSERT_EQ(uitest::Click(p, DATAP_CALC_CALIB), 0);

    EXPECT_EQ(Visibility(p, DATAP_CF_GRAPH), (std::vector<int>{1, 0, 0, 0}));
    EXPECT_EQ(std::vector<double>(dataCfRot, dataCfRot + 100), Constant(1024));
    EXPECT_EQ(dataCfGruen[0], 1280);
    EXPECT_EQ(dataCfGruen[10], 1024);
    EXPECT_EQ(dataCfGruen[60], 512);
    EXPECT_EQ(dataCfGruen[99], 368);                                                // 1024000 / 2780 = 368.3
    EXPECT_EQ(std::vector<double>(dataCfBlau, dataCfBlau + 100), Constant(55296));  // q = -10240

    const unsigned short* cf[] = {dataCfRot, dataCfGruen, dataCfBlau};
    for (int c = 0; c < 3; ++c) {
        const std::vector<double> expected(cf[c], cf[c] + 100);
        EXPECT_EQ(Trace(p, DATAP_CF_GRAPH_R + c, 0), expected) << c;
        EXPECT_EQ(Trace(p, DATAP_CF_GRAPH, c), expected) << c;
        for (int i = 0; i < 100; ++i) EXPECT_EQ(dataCfRGB[3 * i + c], cf[c][i]);
        EXPECT_EQ(Attr(p, DATAP_CF_GRAPH_R + c, ATTR_POINTS_PER_SCREEN), 101);
    }
    EXPECT_EQ(YRangeOf(p, DATAP_CF_GRAPH_R), std::make_pair(974.0, 1074.0));
    EXPECT_EQ(YRangeOf(p, DATAP_CF_GRAPH_G), std::make_pair(318.0, 1330.0));
    EXPECT_EQ(YRangeOf(p, DATAP_CF_GRAPH_B), std::make_pair(9950.0, 55346.0));
    EXPECT_EQ(YRangeOf(p, DATAP_CF_GRAPH), std::make_pair(318.0, 55346.0));
    // The drift charts are untouched.
    EXPECT_EQ(Trace(p, DATAP_DRIFT_GRAPH, 0).size(), 100u);
}

TEST_F(Pages, CalcCalibBeforeAnyCurveGivesZeroFactors) {
    const int p = Page(2);
    for (int c = 0; c < 3; ++c) uitest::SetAndCommit(p, SetPointCtrl(c), static_cast<unsigned short>(1000));
    std::fill(std::begin(dataCfRot), std::end(dataCfRot), 5);
    ASSERT_EQ(uitest::Click(p, DATAP_CALC_CALIB), 0);
    EXPECT_EQ(Trace(p, DATAP_CF_GRAPH, 0), Constant(0));
    EXPECT_EQ(dataCfRot[50], 0);
    EXPECT_EQ(YRangeOf(p, DATAP_CF_GRAPH), std::make_pair(-50.0, 50.0));
}

TEST_F(Pages, ShowCfButtonsSwitchTheFactorChart) {
    const int p = Page(5);
    ASSERT_EQ(uitest::Click(p, DATAP_SHOW_CF_RED), 0);
    EXPECT_EQ(Visibility(p, DATAP_CF_GRAPH), (std::vector<int>{0, 1, 0, 0}));
    ASSERT_EQ(uitest::Click(p, DATAP_SHOW_CF_GREEN), 0);
    EXPECT_EQ(Visibility(p, DATAP_CF_GRAPH), (std::vector<int>{0, 0, 1, 0}));
    ASSERT_EQ(uitest::Click(p, DATAP_SHOW_CF_BLUE), 0);
    EXPECT_EQ(Visibility(p, DATAP_CF_GRAPH), (std::vector<int>{0, 0, 0, 1}));
    EXPECT_TRUE(Trace(p, DATAP_CF_GRAPH_B, 0).empty());  // no calculation
    ASSERT_EQ(uitest::Click(p, DATAP_CALC_CALIB), 0);
    EXPECT_EQ(Visibility(p, DATAP_CF_GRAPH), (std::vector<int>{1, 0, 0, 0}));
    EXPECT_EQ(Visibility(p, DATAP_DRIFT_GRAPH), (std::vector<int>{1, 0, 0, 0}));
}

// --- the six-channel and single-channel pages
// ---------------------------------------------------------------

TEST_F(Pages, SixChannelPageUsesAllSixChannelsAndTheExactRange) {
    const int p = Page(3);
    const Coefs coefs[6] = {{0, 0, 0, 0, 5},    {0, 0, 0, 0, 6},     {0, 0, 0, 0, 7},
                            {0, 0, 0, 0, -3.7}, {0, 0, 0.001, 0, 1}, {0, 0, 0, 0, 12.2}};
    for (int c = 0; c < 6; ++c) TypeCoefs(p, c, coefs[c]);
    ASSERT_EQ(uitest::Click(p, DATAP_CALC_CURVES), 0);

    EXPECT_EQ(Attr(p, DATAP_DRIFT_GRAPH, ATTR_NUM_TRACES), 6);
    for (int c = 0; c < 6; ++c) {
        const std::vector<double> expected = Curve(coefs[c]);
        EXPECT_EQ(Trace(p, DATAP_DRIFT_GRAPH, c), expected) << c;
        for (int i = 0; i < 100; ++i) EXPECT_EQ(dataRGBRDD[6 * i + c], expected[i]);
    }
    const auto [lo, hi] = YRangeOf(p, DATAP_DRIFT_GRAPH);
    EXPECT_DOUBLE_EQ(lo, -53.7);
    EXPECT_DOUBLE_EQ(hi, 62.2);
    EXPECT_EQ(REFT, -3.7);
    EXPECT_EQ(DIRX2, 0.001);
    EXPECT_EQ(DIFT, 12.2);
    EXPECT_EQ(dataDir[99], Curve(coefs[4])[99]);

    ASSERT_EQ(uitest::SetAndCommit(p, DATAP_TEMP, static_cast<unsigned short>(0)), 0);
    const unsigned short setPoints[6] = {5, 6, 7, 65533, 1, 12};
    for (int c = 0; c < 6; ++c) {
        EXPECT_EQ(Field(p, CurveValueCtrl(c)), coefs[c][4]) << c;
        EXPECT_EQ(UField(p, SetPointCtrl(c)), setPoints[c]) << c;
    }
    ASSERT_EQ(uitest::SetAndCommit(p, SetPointCtrl(3), static_cast<unsigned short>(0)), 0);
    ASSERT_EQ(uitest::Click(p, DATAP_CALC_CALIB), 0);
    EXPECT_EQ(dataCfRGBRDD[0], 1024);         // 5·1024 / 5
    EXPECT_EQ(dataCfRGBRDD[3], 0);            // set point 0
    EXPECT_EQ(dataCfRGBRDD[6 * 99 + 4], 94);  // 1024 / 10.801
    EXPECT_EQ(dataCfDif[0], 1007);            // 12288 / 12.2
    EXPECT_EQ(Trace(p, DATAP_CF_GRAPH, 4).back(), 94.0);
    EXPECT_EQ(YRangeOf(p, DATAP_CF_GRAPH), std::make_pair(-50.0, 1074.0));
}

TEST_F(Pages, SingleChannelPagesWorkOnTheRawChannel) {
    for (int page : {6, 7}) {
        const int p = Page(page);
        TypeCoefs(p, 0, {0, 0, 0, 1, 10480});  // 10480 .. 10579: min stays 10000
        ASSERT_EQ(uitest::Click(p, DATAP_CALC_CURVES), 0);
        EXPECT_EQ(RX1, 1.0);
        EXPECT_EQ(RT, 10480.0);
        const std::vector<double> expected = Curve({0, 0, 0, 1, 10480});
        EXPECT_EQ(std::vector<double>(dataRaw, dataRaw + 100), expected);
        EXPECT_EQ(Attr(p, DATAP_DRIFT_GRAPH, ATTR_NUM_TRACES), 1);
        EXPECT_EQ(Trace(p, DATAP_DRIFT_GRAPH, 0).size(), 100u);
        EXPECT_EQ(YRangeOf(p, DATAP_DRIFT_GRAPH), std::make_pair(9950.0, 10629.0));

        ASSERT_EQ(uitest::SetAndCommit(p, DATAP_TEMP, static_cast<unsigned short>(500)), 0);
        EXPECT_EQ(UField(p, DATAP_TEMP), 99);
        EXPECT_EQ(Field(p, CurveValueCtrl(0)), 10579.0);
        EXPECT_EQ(UField(p, SetPointCtrl(0)), 10579);
        ASSERT_EQ(uitest::Click(p, DATAP_CALC_CALIB), 0);
        EXPECT_EQ(dataCfRaw[99], 1024);
        EXPECT_EQ(dataCfRaw[0], 1033);  // 10579·1024 / 10480 = 1033.67
        EXPECT_EQ(Trace(p, DATAP_CF_GRAPH, 0).front(), 1033.0);
        EXPECT_EQ(YRangeOf(p, DATAP_CF_GRAPH), std::make_pair(974.0, 1083.0));
    }
}

// --- Send CF --------------------------------------------------------------------------------------------

TEST_F(Pages, SendCfRecalculatesEverythingAndReportsAFailedTransfer) {
    const int p = Page(1);
    TypeCoefs(p, 0, {0, 0, 0, 0, 1000});
    TypeCoefs(p, 1, {0, 0, 0, 2, 500});
    ASSERT_EQ(uitest::SetAndCommit(p, DATAP_TEMP, static_cast<unsigned short>(250)), 0);  // before any curve
    ASSERT_EQ(uitest::Click(p, DATAP_SHOW_GREEN), 0);
    ASSERT_EQ(uitest::Click(p, DATAP_SHOW_CF_BLUE), 0);

    std::string statusDuring;
    int lampDuring = -1;
    unsigned short setPointDuring = 0;
    uitest::RunDuringBusyWait([&] {
        statusDuring = Text(p, DATAP_STATUS);
        lampDuring = Attr(p, DATAP_LAMP, ATTR_CMD_BUTTON_COLOR);
        setPointDuring = UField(p, SetPointCtrl(1));
    });
    ASSERT_EQ(uitest::Click(p, DATAP_SEND_CF), 0);  // no sensor connected

    EXPECT_EQ(statusDuring, "TRY TO SAVE");
    EXPECT_EQ(lampDuring, 0xFF0000);
    EXPECT_EQ(setPointDuring, 698);  // 2·99 + 500: temperature 250 clamped to 99
    EXPECT_EQ(Text(p, DATAP_STATUS), "FAILURE");
    EXPECT_EQ(Attr(p, DATAP_LAMP, ATTR_CMD_BUTTON_COLOR), 0xE0E0E0);
    EXPECT_EQ(UField(p, DATAP_TEMP), 99);
    EXPECT_EQ(dataCfRot[0], 1024);
    EXPECT_EQ(dataCfGruen[99], 1024);
    EXPECT_EQ(dataCfGruen[0], 1429);  // 698·1024 / 500 = 1429.5
    EXPECT_EQ(Trace(p, DATAP_DRIFT_GRAPH, 1).size(), 100u);
    EXPECT_EQ(Trace(p, DATAP_CF_GRAPH, 1).size(), 100u);
    // Which charts are visible is the user's choice, not the send's.
    EXPECT_EQ(Visibility(p, DATAP_DRIFT_GRAPH), (std::vector<int>{0, 0, 1, 0}));
    EXPECT_EQ(Visibility(p, DATAP_CF_GRAPH), (std::vector<int>{0, 0, 0, 1}));
    EXPECT_EQ(Attr(p, DATAP_SEND_CF, ATTR_DIMMED), 0);
}

// A set point that 16 bits cannot hold would go out wrapped round (70000 as 4464): nothing is sent, and the
// person learns which channel and why.
TEST_F(Pages, SendCfSendsNoTableThatTheSensorsNumbersCannotHold) {
    const int p = Page(1);
    TypeCoefs(p, 0, {0, 0, 0, 0, 1000});
    TypeCoefs(p, 1, {0, 0, 0, 0, 70000});
    uitest::ExpectPopup(
        "Send CF",
        "Nothing was sent to the sensor.\nchannel G: the set point would be 70000 (the drift curve at "
        "temperature index 0), outside 0 to 65535.\nCheck the coefficients and the temperature index.");
    ASSERT_EQ(uitest::Click(p, DATAP_SEND_CF), 0);
    EXPECT_EQ(uitest::PendingExpectations(), 0);
    EXPECT_EQ(Text(p, DATAP_STATUS), "FAILURE");
    EXPECT_EQ(Attr(p, DATAP_SEND_CF, ATTR_DIMMED), 0);
}

TEST_F(Pages, AfterSendCfAndCalcCurvesAgainEveryChartShowsExactlyTheCurvesItWasLastGiven) {
    const int p = Page(1);
    TypeCoefs(p, 0, {0, 0, 0, 0, 3000});
    TypeCoefs(p, 1, {0, 0, 0, 0, 2500});
    TypeCoefs(p, 2, {0, 0, 0, 0, 2000});
    ASSERT_EQ(uitest::Click(p, DATAP_CALC_CURVES), 0);
    ASSERT_EQ(uitest::SetAndCommit(p, DATAP_TEMP, static_cast<unsigned short>(0)), 0);  // the set points
    ASSERT_EQ(uitest::Click(p, DATAP_CALC_CALIB), 0);  // every factor 1024 on every chart

    TypeCoefs(p, 0, {0, 0, 0, 0, 1000});
    TypeCoefs(p, 1, {0, 0, 0, 2, 500});
    TypeCoefs(p, 2, {0, 0, 0, 0, 0});
    ASSERT_EQ(uitest::SetAndCommit(p, DATAP_TEMP, static_cast<unsigned short>(99)), 0);
    ASSERT_EQ(uitest::Click(p, DATAP_SEND_CF), 0);  // no sensor: the curves are computed all the same

    // Set points at index 99: 1000, 698 (2·99 + 500) and 0. Factors: 1000·1024/1000; 698·1024/(2i + 500)
    // truncated; 0/0 gives 0.
    std::vector<double> green(100), greenFactors(100);
    for (int i = 0; i < 100; ++i) {
        green[i] = 2.0 * i + 500.0;
        greenFactors[i] = (698 * 1024) / (2 * i + 500);
    }
    const std::vector<double> curves[] = {Constant(1000), green, Constant(0)};
    const std::vector<double> factors[] = {Constant(1024), greenFactors, Constant(0)};
    EXPECT_EQ(greenFactors[0], 1429.0);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(Trace(p, DATAP_DRIFT_GRAPH_R + c, 0), curves[c]) << "drift chart " << c;
        EXPECT_EQ(Trace(p, DATAP_DRIFT_GRAPH, c), curves[c]) << "combined drift trace " << c;
        EXPECT_EQ(Trace(p, DATAP_CF_GRAPH_R + c, 0), factors[c]) << "factor chart " << c;
        EXPECT_EQ(Trace(p, DATAP_CF_GRAPH, c), factors[c]) << "combined factor trace " << c;
    }

    TypeCoefs(p, 0, {0, 0, 0, 0, 700});
    ASSERT_EQ(uitest::Click(p, DATAP_CALC_CURVES), 0);
    EXPECT_EQ(Trace(p, DATAP_DRIFT_GRAPH_R, 0), Constant(700));
    EXPECT_EQ(Trace(p, DATAP_DRIFT_GRAPH, 0), Constant(700));
    EXPECT_EQ(Trace(p, DATAP_CF_GRAPH_R, 0), Constant(1024)) << "the factor charts keep what they were given";
}

// --- equation files ------------------------------------------------------------------------------------

TEST_F(Pages, SaveEquationWritesTheFieldsOnePerLine) {
    const int p = Page(1);
    TypeCoefs(p, 0, {0, 0, 0.5, -2, 1000});
    const std::string path = ProjectFile("mine.equ");
    uitest::ExpectFileSelect(VAL_NEW_FILE_SELECTED, path);
    ASSERT_EQ(uitest::Click(p, DATAP_SAVE_EQUATION), 0);

    std::vector<std::string> expected = {"         0", "         0", "       0.5", "        -2",
                                         "      1000"};
    expected.resize(15, "         0");
    EXPECT_EQ(TextLines(ReadTextFile(path)), expected);
    EXPECT_EQ(file_name, path);

    ASSERT_EQ(uitest::Popups().size(), 1u);
    const uitest::Popup& pop = uitest::Popups()[0];
    EXPECT_EQ(pop.kind, uitest::Popup::FileSelect);
    EXPECT_EQ(pop.title, "equation");
    EXPECT_EQ(pop.text, "equation.equ");
    EXPECT_EQ(pop.directory, projectDir.string());
    EXPECT_EQ(pop.filter, "*.equ");
    EXPECT_EQ(pop.buttonLabel, VAL_SAVE_BUTTON);
    EXPECT_EQ(pop.restrictDirectory, 0);
    EXPECT_EQ(pop.restrictExtension, 1);
    EXPECT_EQ(pop.allowCancel, 1);
    EXPECT_EQ(pop.allowMakeDirectory, 1);
    // Saving calculates nothing.
    EXPECT_EQ(RT, 0.0);
}

TEST_F(Pages, SaveAndGetRestoreEveryFieldOfEachKind) {
    for (int page : {2, 3, 7}) {
        const int p = Page(page);
        const int n = 5 * PageDescriptorFor(page)->channelCount;
        // Awkward values, each within what its field shows.
        const Coefs typed{1.234e-7, -2.5e-5, 0.000123, -0.1, 1745.534};
        for (int c = 0; c < n / 5; ++c) {
            Coefs row = typed;
            row[4] += c;
            TypeCoefs(p, c, row);
        }
        std::vector<double> shown(n);
        for (int k = 0; k < n; ++k) shown[k] = Field(p, DATAP_COEF + k);
        EXPECT_EQ(shown[0], 1.234e-7);
        EXPECT_EQ(shown[1], -2.5e-5);
        EXPECT_EQ(shown[2], 0.000123);

        const std::string path = ProjectFile("page" + std::to_string(page) + ".equ");
        uitest::ExpectFileSelect(VAL_NEW_FILE_SELECTED, path);
        ASSERT_EQ(uitest::Click(p, DATAP_SAVE_EQUATION), 0);
        EXPECT_EQ(TextLines(ReadTextFile(path)).size(), static_cast<size_t>(n));

        for (int k = 0; k < n; ++k) ASSERT_EQ(uitest::SetAndCommit(p, DATAP_COEF + k, 3.0), 0);
        uitest::ExpectFileSelect(VAL_EXISTING_FILE_SELECTED, path);
        ASSERT_EQ(uitest::Click(p, DATAP_GET_EQUATION), 0);
        for (int k = 0; k < n; ++k)
            EXPECT_EQ(Field(p, DATAP_COEF + k), shown[k]) << "page " << page << " field " << k;
    }
}

TEST_F(Pages, GetEquationFillsTheFieldsAndCalculatesNothing) {
    const std::string path = ProjectFile("fifteen.equ");
    std::string text;
    for (int k = 1; k <= 15; ++k) text += std::to_string(k) + ".25\n";
    WriteTextFile(path, text);

    const int p1 = Page(1);
    uitest::ExpectFileSelect(VAL_EXISTING_FILE_SELECTED, path);
    ASSERT_EQ(uitest::Click(p1, DATAP_GET_EQUATION), 0);
    ASSERT_EQ(uitest::Popups().size(), 1u);
    EXPECT_EQ(uitest::Popups()[0].buttonLabel, VAL_LOAD_BUTTON) << "the dialog takes existing files only";
    for (int k = 0; k < 15; ++k) EXPECT_EQ(Field(p1, DATAP_COEF + k), k + 1.25);
    EXPECT_EQ(RX4, 0.0);
    EXPECT_TRUE(Trace(p1, DATAP_DRIFT_GRAPH, 0).empty());
    ASSERT_EQ(uitest::Click(p1, DATAP_CALC_CURVES), 0);
    EXPECT_EQ(BT, 15.25);

    // A single-channel page takes the first five values.
    const int p6 = Page(6);
    uitest::ExpectFileSelect(VAL_EXISTING_FILE_SELECTED, path);
    ASSERT_EQ(uitest::Click(p6, DATAP_GET_EQUATION), 0);
    for (int k = 0; k < 5; ++k) EXPECT_EQ(Field(p6, DATAP_COEF + k), k + 1.25);
    EXPECT_EQ(file_name, path);
}

TEST_F(Pages, CancelLeavesFilesAndFieldsAlone) {
    const int p = Page(4);
    TypeCoefs(p, 1, {1, 2, 3, 4, 5});
    const std::string existing = ProjectFile("equation.equ");
    WriteTextFile(existing, "keep me\n");
    file_name = "earlier.equ";

    uitest::ExpectFileSelect(VAL_NO_FILE_SELECTED, existing);
    ASSERT_EQ(uitest::Click(p, DATAP_SAVE_EQUATION), 0);
    EXPECT_EQ(ReadTextFile(existing), "keep me\n");

    WriteTextFile(existing, "9\n9\n9\n9\n9\n9\n9\n9\n9\n9\n9\n9\n9\n9\n9\n");
    uitest::ExpectFileSelect(VAL_NO_FILE_SELECTED, existing);
    ASSERT_EQ(uitest::Click(p, DATAP_GET_EQUATION), 0);
    EXPECT_EQ(Field(p, CoefCtrl(1, 0)), 1.0);
    EXPECT_EQ(Field(p, CoefCtrl(1, 4)), 5.0);
    EXPECT_EQ(Field(p, CoefCtrl(0, 0)), 0.0);
    EXPECT_EQ(file_name, "earlier.equ");
}

TEST_F(Pages, BadEquationFilesAreReportedAndChangeNothing) {
    const int p = Page(1);
    TypeCoefs(p, 0, {1, 2, 3, 4, 5});
    const std::string missing = ProjectFile("missing.equ");
    const std::string shortFile = ProjectFile("short.equ");
    const std::string junk = ProjectFile("junk.equ");
    WriteTextFile(shortFile, "1\n2\n3\n4\n5\n6\n7\n");
    WriteTextFile(junk, "1\n2\n\n3\n4\nfive\n6\n7\n8\n9\n10\n11\n12\n13\n14\n15\n");
    const std::string tail = "\nThe coefficients are unchanged.";

    struct Case {
        std::string path, problem;
    };
    for (const Case& c : {Case{missing, "cannot be opened or read."},
                          Case{shortFile, "holds 7 of the 15 values this page needs."},
                          Case{junk, "holds text that is not a number on line 6."}}) {
        uitest::ExpectFileSelect(VAL_EXISTING_FILE_SELECTED, c.path);
        uitest::ExpectPopup("Get Equation", "The equation file\n" + c.path + "\n" + c.problem + tail);
        ASSERT_EQ(uitest::Click(p, DATAP_GET_EQUATION), 0);
        for (int t = 0; t < 5; ++t) EXPECT_EQ(Field(p, CoefCtrl(0, t)), t + 1.0) << c.path;
        for (int k = 5; k < 15; ++k) EXPECT_EQ(Field(p, DATAP_COEF + k), 0.0) << c.path;
    }
}

TEST_F(Pages, SaveThatCannotWriteIsReported) {
    const int p = Page(3);
    const std::string path = ProjectFile("no/such/dir/x.equ");
    uitest::ExpectFileSelect(VAL_NEW_FILE_SELECTED, path);
    uitest::ExpectPopup("Save Equation", "The equation file\n" + path + "\ncannot be written.");
    ASSERT_EQ(uitest::Click(p, DATAP_SAVE_EQUATION), 0);
    EXPECT_FALSE(std::filesystem::exists(path));
}

// --- pictures -------------------------------------------------------------------------------------------

// Renders each page kind with curves and factors drawn. MORVALEN_PAGE_IMAGES names a directory that keeps
// the pictures for a look.
TEST_F(Pages, EachKindRendersWithItsCurves) {
    const char* keep = std::getenv("MORVALEN_PAGE_IMAGES");
    for (int page : {1, 3, 6}) {
        const int p = Page(page);
        const int channels = PageDescriptorFor(page)->channelCount;
        for (int c = 0; c < channels; ++c)
            TypeCoefs(p, c, {-2e-6, 3.5e-4, -0.02 * (c + 1), 1.5, 1000.0 + 40 * c});
        ASSERT_EQ(uitest::Click(p, DATAP_CALC_CURVES), 0);
        ASSERT_EQ(uitest::SetAndCommit(p, DATAP_TEMP, static_cast<unsigned short>(25)), 0);
        ASSERT_EQ(uitest::Click(p, DATAP_CALC_CALIB), 0);
        const std::string name = "page" + std::to_string(page) + ".png";
        ASSERT_EQ(SavePanelImage(p, ProjectFile(name)), 0);
        long size = 0;
        EXPECT_EQ(GetFileInfo(ProjectFile(name), size), 1);
        EXPECT_GT(size, 1000);
        if (keep) SavePanelImage(p, std::string(keep) + "/" + name);
    }
    if (keep) SavePanelImage(mainpanel, std::string(keep) + "/main_with_page.png");
}

}  // namespace
