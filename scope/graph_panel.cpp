#include "graph_panel.h"

#include <span>

#include "live_data.h"
#include "platform.h"
#include "scope_state.h"

unsigned short graphcnt = 0;
unsigned short GpBufCnt[2];
unsigned short GpBufChL[2], GpBufChC[2], GpBufChR[2], GpBufDensity[2], GpBufSym1[2], GpBufSym2[2],
    GpBufTemp[2];

const char* const InfoButtonShowGraph = " Switch to a graphical display for each signal.";
const char* const InfoButtonClosePanel = " Close PANEL and return to MAIN PANEL. ";
const char* const InfoEditSignal = " Select Signal to be displayed in the graph. ";
const char* const InfoGraphPanel = " Displays the signals selected with SIGNAL. ";

namespace {

// One signal: its value in a measurement, the last segment's y values and its line colour. In selector order;
// the signal's value display is GRAPHP_VALUE + index and its graph GRAPHP_GRAPH + index.
struct Signal {
    unsigned short Measurement::*value;
    unsigned short* segment;
    int color;
};
const Signal kSignals[kGraphSignals] = {
    {&Measurement::chL, GpBufChL, 0xFF0000},   {&Measurement::chC, GpBufChC, 0x00FF00},
    {&Measurement::chR, GpBufChR, 0x0000FF},   {&Measurement::density, GpBufDensity, 0xFF8000},
    {&Measurement::sym1, GpBufSym1, 0xFF0080}, {&Measurement::sym2, GpBufSym2, 0x008000},
    {&Measurement::temp, GpBufTemp, 0x008080},
};

}  // namespace

void InitPanelGraph() {
    graphcnt = 0;
    const Measurement latest = FrameVariables();
    for (int s = 0; s < kGraphSignals; ++s) {
        DeleteGraphPlot(graphpanel, GRAPHP_GRAPH + s, VAL_ALL_PLOTS);
        kSignals[s].segment[0] = kSignals[s].segment[1] = latest.*kSignals[s].value;
    }
    GpBufCnt[0] = GpBufCnt[1] = 0;
}

void SetPanelGraphData() {
    SetPanelGraphData(FrameVariables());
}

void SetPanelGraphData(const Measurement& m) {
    // A graph shows one pass of the index: when it wraps, the pass before goes, so a record of any length
    // holds at most 65,536 plots per graph and no old segment lies under a new one.
    if (graphcnt == 0 && GpBufCnt[1] != 0) InitPanelGraph();
    GpBufCnt[0] = graphcnt == 0 ? 0 : GpBufCnt[1];
    GpBufCnt[1] = graphcnt;
    for (int s = 0; s < kGraphSignals; ++s) {
        const Signal& sig = kSignals[s];
        SetCtrlVal(graphpanel, GRAPHP_VALUE + s, m.*sig.value);
        sig.segment[0] = sig.segment[1];
        sig.segment[1] = m.*sig.value;
        // The first segment of a pass is a point: flat and of zero length.
        if (graphcnt == 0) sig.segment[0] = sig.segment[1];
        PlotXY(graphpanel, GRAPHP_GRAPH + s, std::span<const unsigned short>(GpBufCnt, 2),
               std::span<const unsigned short>(sig.segment, 2), sig.color);
    }
    ++graphcnt;
}

void SetGraphVisible() {
    int selected = 0;
    GetCtrlVal(graphpanel, GRAPHP_SIGNAL, selected);
    if (selected < 0 || selected >= kGraphSignals) selected = 0;
    for (int s = 0; s < kGraphSignals; ++s)
        SetCtrlAttribute(graphpanel, GRAPHP_GRAPH + s, ATTR_VISIBLE, s == selected ? 1 : 0);
}

// --- callbacks ------------------------------------------------------------------------------------------

// Closed (Escape), the graph panel gives its place back to the data panel, as its Close button does.
int CBF_GRAPHP(int, int, int event, void*, int, int) {
    if (event != EVENT_CLOSE) return 0;
    DisplayPanel(datapanel);
    HidePanel(graphpanel);
    return 0;
}

int CBF_ButtonShowGraph(int, int, int event, void*, int, int) {
    if (ShowHelp(event, InfoButtonShowGraph)) return 0;
    if (event != EVENT_COMMIT) return 0;
    DisplayPanel(graphpanel);
    HidePanel(datapanel);
    return 0;
}

int CBF_ButtonGpClose(int, int, int event, void*, int, int) {
    if (ShowHelp(event, InfoButtonClosePanel)) return 0;
    if (event != EVENT_COMMIT) return 0;
    DisplayPanel(datapanel);
    HidePanel(graphpanel);
    return 0;
}

int CBF_EditSignal(int, int, int event, void*, int, int) {
    if (ShowHelp(event, InfoEditSignal)) return 0;
    if (event == EVENT_COMMIT) SetGraphVisible();
    return 0;
}

int CBF_PanelGraphGraph(int, int, int event, void*, int, int) {
    ShowHelp(event, InfoGraphPanel);
    return 0;
}
