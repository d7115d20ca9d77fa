#include "live_data.h"

#include <algorithm>
#include <span>
#include <string_view>

#include "com232.h"
#include "frame_source.h"
#include "platform.h"
#include "scope_state.h"

double rawBuf[kHistoryFrames * kRawPerFrame];
double densityBuf[kHistoryFrames * kDensityPerFrame];
int source = 0;
int scale = 0;

const char* const InfoSelectSource = " Select a signal to be displayed in the graph.";
const char* const InfoDispCh = " Displays the current intensity of CH_L, CH_C, CH_R. ";
const char* const InfoBarCh = " Displays the RAW values of CH_L, CH_C  and CH_R.";
const char* const InfoDispAktMaxCh =
    " Displays the present maximum of \n CH_L, CH_C, CH_R within the last 60 seconds.";
const char* const InfoDispDensity =
    " Displays the calculated density. \n Formula for calculation: See Manual.";
const char* const InfoDispSym1 =
    " Displays the calculated symmetry 1. \n Formula for calculation: See Manual.";
const char* const InfoDispSym2 =
    " Displays the calculated symmetry 2. \n Formula for calculation: See Manual.";
const char* const InfoDispVec =
    " Displays the currently detected vector number in\n accordance with the row in the COLOR TEACH TABLE. "
    "\n "
    "Double click opens a big display. \n Close the big display with a right mouse click. \n\n Failure "
    "condition is 255.";
const char* const InfoDispStatus = " Displays serial interface status messages.";
const char* const InfoGraphRaw1 = " Displays a signal selected with SOURCE.";
const char* const InfoGraphDensity =
    " Displays the present density. \n Left mouse double click on the Y-AXIS starts an auto zoom. \n Left "
    "mouse click scales the Y-AXIS fix.";
const char* const InfoGraphSym1 =
    "Shows the tolerance range \nselected with No.: of SYMMETRY 1 \nand the actual value of SYMMETRY 1.";
const char* const InfoGraphSym2 =
    "Shows the tolerance range \nselected with No.: of SYMMETRY 2 \nand the actual value of SYMMETRY 2.";

namespace {

constexpr double kFramePause = 0.05;  // between two frames of the live loop
constexpr int kPointsPerScreen = kHistoryFrames + 1;
constexpr double kCursorHeight = 50.0;

// A display and the value of a measurement it shows.
struct FrameDisplay {
    int control;
    unsigned short Measurement::*value;
};
const FrameDisplay kFrameDisplays[] = {
    {DATAP_CH_L, &Measurement::chL},        {DATAP_CH_C, &Measurement::chC},
    {DATAP_CH_R, &Measurement::chR},        {DATAP_BAR_L, &Measurement::chL},
    {DATAP_BAR_C, &Measurement::chC},       {DATAP_BAR_R, &Measurement::chR},
    {DATAP_DENSITY, &Measurement::density}, {DATAP_SYM1, &Measurement::sym1},
    {DATAP_SYM2, &Measurement::sym2},       {DATAP_VEC, &Measurement::vec},
    {DATAP_TEMP, &Measurement::temp},       {DATAP_MAX_L, &Measurement::aktMaxChL},
    {DATAP_MAX_C, &Measurement::aktMaxChC}, {DATAP_MAX_R, &Measurement::aktMaxChR},
    {DATAP_TRIGGER, &Measurement::trigger},
};

void ShowValue(int panel, int control, unsigned short value) {
    int style = CTRL_NONE;
    GetCtrlAttribute(panel, control, ATTR_CTRL_STYLE, style);
    if (style == CTRL_NUMERIC_BAR)
        SetCtrlVal(panel, control, double(value));
    else
        SetCtrlVal(panel, control, value);
}

// Drops the oldest frame of a history and appends this one.
void AppendToHistory(double* history, int size, std::initializer_list<double> values) {
    const int n = static_cast<int>(values.size());
    Shift(history, size, -n, history);
    std::copy(values.begin(), values.end(), history + size - n);
}

int HelpCallback(int event, const char* text, const char* title = "INFO!") {
    ShowHelp(event, text, title);
    return 0;
}

}  // namespace

DensityLimits DensityLimitsOf(unsigned short density, unsigned short tolerance) {
    const long upper = long(density) + long(tolerance), lower = long(density) - long(tolerance);
    return {std::min(upper, long(kDensityFullScale)), std::max(lower, 0L)};
}

DensityRange DensityYRange(std::span<const double> history, int scaleMode) {
    if (scaleMode != 1) return {0.0, double(kDensityFullScale)};
    DensityRange r{double(kDensityFullScale), 0.0};
    for (double v : history) {
        r.min = std::min(r.min, v);
        r.max = std::max(r.max, v);
    }
    if (r.min > kZoomMargin) r.min -= kZoomMargin;
    if (r.max < kDensityFullScale - kZoomMargin) r.max += kZoomMargin;
    return r;
}

// --- the teach row's tolerance bands on the symmetry graphs ---------------------------------------------

namespace {

constexpr long kSymmetryFullScale = 1000;

int SelectedTeachRow() {
    int n = 0;
    GetCtrlVal(ttpanel, TTP_NO, n);
    return n;
}

unsigned short TeachCell(int column, int row) {
    unsigned short value = 0;
    GetTableCellVal(ttpanel, TTP_TABLE, {column, row + 1}, value);
    return value;
}

// The tolerance band of one symmetry of teach row `row` (value in `column`, tolerance in the next one).
void DrawToleranceRectangle(int graph, int row, int column, int color) {
    const long value = TeachCell(column, row), tolerance = TeachCell(column + 1, row);
    const long upper = std::min(value + tolerance, kSymmetryFullScale);
    const long lower = std::max(value - tolerance, 0L);
    DeleteGraphPlot(datapanel, graph, VAL_ALL_PLOTS);
    PlotRectangle(datapanel, graph, double(lower), 0.0, double(upper), 100.0, color, color);
}

}  // namespace

void SetToleranceRangeSymmetry() {
    const int n = SelectedTeachRow();
    DrawToleranceRectangle(DATAP_GRAPH_SYM1, n, 3, kSym1ToleranceColor);
    DrawToleranceRectangle(DATAP_GRAPH_SYM2, n, 5, kSym2ToleranceColor);
}

// --- the live-data loop ---------------------------------------------------------------------------------

void GetData() {
    poll = 1;
    FlushQueues();
    SetToleranceRangeSymmetry();
    // Events run during the pause, so Stop, teaching and panel switches answer at once.
    RequestedFrames requested([](double) {
        ProcessSystemEvents();
        ProcessSystemEventsUntil(Timer() + kFramePause, [] { return poll == 1; });
    });
    RunFrameSource(requested, ShowFrame);
}

void ShowFrame(const Frame& frame) {
    const Measurement m = MeasurementOf(frame);
    SetFrameVariables(m);
    SetPanelData(m);
    ShowGraph();
}

void SetPanelData() {
    SetPanelData(FrameVariables());
}

void SetPanelData(const Measurement& m) {
    for (const FrameDisplay& d : kFrameDisplays) ShowValue(datapanel, d.control, m.*d.value);
    // The big display shows the detected vector too, so it can be read from across the line.
    SetCtrlVal(colbigpanel, COLBIGP_VECTOR, m.vec);

    int row = 0;
    GetCtrlVal(ttpanel, TTP_NO, row);
    unsigned short density = 0, tolerance = 0;
    GetTableCellVal(ttpanel, TTP_TABLE, {1, row + 1}, density);
    GetTableCellVal(ttpanel, TTP_TABLE, {2, row + 1}, tolerance);
    const DensityLimits limits = DensityLimitsOf(density, tolerance);

    AppendToHistory(rawBuf, int(std::size(rawBuf)),
                    {double(m.chL), double(m.chC), double(m.chR), double(m.aktMaxChL), double(m.aktMaxChC),
                     double(m.aktMaxChR)});
    AppendToHistory(densityBuf, int(std::size(densityBuf)),
                    {double(m.density), double(limits.upper), double(limits.lower)});
}

namespace {

// The chart shows exactly the history: what the previous frame plotted is cleared first, so the 101st point
// on the screen is not a stale value joined to the oldest frame by a false line.
void PlotHistory(int chart, std::span<const double> history) {
    SetCtrlAttribute(datapanel, chart, ATTR_POINTS_PER_SCREEN, kPointsPerScreen);
    ClearStripChart(datapanel, chart);
    PlotStripChart(datapanel, chart, history);
}

}  // namespace

void ShowGraph() {
    GetCtrlVal(datapanel, DATAP_SOURCE, source);
    if (source == 0) {
        const DensityRange y = DensityYRange(densityBuf, scale);
        SetAxisScalingMode(datapanel, DATAP_GRAPH_DENSITY, VAL_LEFT_YAXIS, VAL_MANUAL, y.min, y.max);
        PlotHistory(DATAP_GRAPH_DENSITY, densityBuf);
        SetGraphCursor(datapanel, DATAP_GRAPH_SYM1, 1, dataSym1, kCursorHeight);
        SetGraphCursor(datapanel, DATAP_GRAPH_SYM2, 1, dataSym2, kCursorHeight);
    } else if (source == 1) {
        PlotHistory(DATAP_GRAPH_RAW, rawBuf);
    }
}

void DispVis() {
    GetCtrlVal(datapanel, DATAP_SOURCE, source);
    if (source != 0 && source != 1) return;
    const int density = source == 0;
    SetCtrlAttribute(datapanel, DATAP_GRAPH_RAW, ATTR_VISIBLE, !density);
    for (int ctrl : {DATAP_GRAPH_DENSITY, DATAP_GRAPH_SYM1, DATAP_GRAPH_SYM2})
        SetCtrlAttribute(datapanel, ctrl, ATTR_VISIBLE, density);
}

int Shift(const double* x, int n, int k, double* y) {
    if (n <= 0) return -20003;
    if (k >= n || k <= -n) return -20102;  // written so that no k overflows
    if (k < 0) {
        for (int i = 0; i < n + k; ++i) y[i] = x[i - k];
        std::fill(y + n + k, y + n, 0.0);
    } else if (k > 0) {
        for (int i = n - 1; i >= k; --i) y[i] = x[i - k];
        std::fill(y, y + k, 0.0);
    } else if (x != y) {
        std::copy(x, x + n, y);
    }
    return 0;
}

int Copy1D(const double* x, int n, double* y) {
    if (n <= 0) return -20003;
    std::copy(x, x + n, y);
    return 0;
}

// --- callbacks ------------------------------------------------------------------------------------------

int CBF_SelectSource(int, int, int event, void*, int, int) {
    if (ShowHelp(event, InfoSelectSource)) return 0;
    if (event == EVENT_COMMIT) DispVis();
    return 0;
}

int CBF_GraphDensity(int, int, int event, void*, int, int) {
    if (ShowHelp(event, InfoGraphDensity)) return 0;
    if (event == EVENT_LEFT_CLICK) scale = 0;
    if (event == EVENT_LEFT_DOUBLE_CLICK) scale = 1;
    return 0;
}

int CBF_DispVec(int, int, int event, void*, int, int) {
    if (ShowHelp(event, InfoDispVec)) return 0;
    if (event == EVENT_LEFT_DOUBLE_CLICK) DisplayPanel(colbigpanel);
    return 0;
}

int CBF_DispChL(int, int, int event, void*, int, int) {
    return HelpCallback(event, InfoDispCh);
}
int CBF_DispChC(int, int, int event, void*, int, int) {
    return HelpCallback(event, InfoDispCh);
}
int CBF_DispChR(int, int, int event, void*, int, int) {
    return HelpCallback(event, InfoDispCh);
}
int CBF_BarChL(int, int, int event, void*, int, int) {
    return HelpCallback(event, InfoBarCh);
}
int CBF_BarChC(int, int, int event, void*, int, int) {
    return HelpCallback(event, InfoBarCh);
}
int CBF_BarChR(int, int, int event, void*, int, int) {
    return HelpCallback(event, InfoBarCh);
}
int CBF_DispAktMaxChL(int, int, int event, void*, int, int) {
    return HelpCallback(event, InfoDispAktMaxCh);
}
int CBF_DispAktMaxChC(int, int, int event, void*, int, int) {
    return HelpCallback(event, InfoDispAktMaxCh);
}
int CBF_DispAktMaxChR(int, int, int event, void*, int, int) {
    return HelpCallback(event, InfoDispAktMaxCh);
}
int CBF_DispDensity(int, int, int event, void*, int, int) {
    return HelpCallback(event, InfoDispDensity);
}
int CBF_DispSym1(int, int, int event, void*, int, int) {
    return HelpCallback(event, InfoDispSym1);
}
int CBF_DispSym2(int, int, int event, void*, int, int) {
    return HelpCallback(event, InfoDispSym2, "Info");
}
int CBF_DispStatus(int, int, int event, void*, int, int) {
    return HelpCallback(event, InfoDispStatus);
}
int CBF_GraphRaw1(int, int, int event, void*, int, int) {
    return HelpCallback(event, InfoGraphRaw1);
}
int CBF_GraphSym1(int, int, int event, void*, int, int) {
    return HelpCallback(event, InfoGraphSym1, "Info");
}
int CBF_GraphSym2(int, int, int event, void*, int, int) {
    return HelpCallback(event, InfoGraphSym2, "Info");
}
