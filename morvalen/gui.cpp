#include "gui.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <span>
#include <string>

#include "com232.h"
#include "equation_file.h"
#include "morvalen.h"
#include "operation_line.h"
#include "transfer.h"

std::string file_name;

namespace {

// The pages calculate on the program's one page state.
PageState& pages = WindowPageState();

std::span<double, kCurvePoints> CurveOf(const ChannelDef& ch) {
    return pages.Curve(ch);
}
std::span<unsigned short, kCurvePoints> FactorsOf(const ChannelDef& ch) {
    return pages.Factors(ch);
}
int CoefCount(const PageDescriptor& d) {
    return kCoefsPerChannel * d.channelCount;
}
const PageDescriptor& Page(int page) {
    return *PageDescriptorFor(page);
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------
// Charts

namespace {

// The four drift (or factor) charts of a three-channel page: combined first, then R, G, B.
constexpr int kChartsPerGroup = 4;

void ShowOnly(int panel, int firstChart, int visibleChart) {
    for (int chart = firstChart; chart < firstChart + kChartsPerGroup; ++chart)
        SetCtrlAttribute(panel, chart, ATTR_VISIBLE, chart == visibleChart ? 1 : 0);
}

// A chart shows the curves it was given last and nothing else: without the clear, the previous curve's last
// point would stand at the left edge of the 101 points a screen holds.
template <typename T>
void Plot(int panel, int chart, std::span<const T> data, YRange range) {
    ClearStripChart(panel, chart);
    SetCtrlAttribute(panel, chart, ATTR_POINTS_PER_SCREEN, kPointsPerScreen);
    SetAxisScalingMode(panel, chart, VAL_LEFT_YAXIS, VAL_MANUAL, range.low, range.high);
    PlotStripChart(panel, chart, data);
}

void ColourTraces(int panel, int chart, const PageDescriptor& d) {
    for (int c = 0; c < d.channelCount; ++c) SetTraceColor(panel, chart, c, d.channels[c]->color);
}

// Channel charts on three-channel pages (R, G, B order), then the page's main chart: the combined array
// with the combined range (the six-channel page's exact one), or the single channel's curve.
void PlotDriftCurves(const PageDescriptor& d, int panel) {
    IntExtremes all;
    for (int c = 0; c < d.channelCount; ++c) {
        const IntExtremes e = DriftExtremes(CurveOf(*d.channels[c]));
        all = Combine(all, e);
        if (d.kind == kThreeChannelPage) {
            SetTraceColor(panel, DATAP_DRIFT_GRAPH_R + c, 0, d.channels[c]->color);
            Plot<double>(panel, DATAP_DRIFT_GRAPH_R + c, CurveOf(*d.channels[c]), RangeOf(e));
        }
    }
    ColourTraces(panel, DATAP_DRIFT_GRAPH, d);
    const std::span<const double> data = d.combined != kNoCombinedArrays
                                             ? pages.Combined(d)
                                             : std::span<const double>(CurveOf(*d.channels[0]));
    Plot(panel, DATAP_DRIFT_GRAPH, data, d.kind == kSixChannelPage ? FloatDriftRange(data) : RangeOf(all));
}

void PlotFactorCurves(const PageDescriptor& d, int panel) {
    IntExtremes all;
    for (int c = 0; c < d.channelCount; ++c) {
        const IntExtremes e = FactorExtremes(FactorsOf(*d.channels[c]));
        all = Combine(all, e);
        if (d.kind == kThreeChannelPage) {
            SetTraceColor(panel, DATAP_CF_GRAPH_R + c, 0, d.channels[c]->color);
            Plot<unsigned short>(panel, DATAP_CF_GRAPH_R + c, FactorsOf(*d.channels[c]), RangeOf(e));
        }
    }
    ColourTraces(panel, DATAP_CF_GRAPH, d);
    const std::span<const unsigned short> data =
        d.combined != kNoCombinedArrays ? pages.CfCombined(d)
                                        : std::span<const unsigned short>(FactorsOf(*d.channels[0]));
    Plot(panel, DATAP_CF_GRAPH, data, RangeOf(all));
}

// ---------------------------------------------------------------------------------------------------------
// The engine: one implementation for every page, given its descriptor and panel.

void CalcCurves(const PageDescriptor& d, int panel) {
    for (int c = 0; c < d.channelCount; ++c)
        for (int t = 0; t < kCoefsPerChannel; ++t)
            GetCtrlVal(panel, CoefCtrl(c, t), pages.Coefs(*d.channels[c])[t]);
    ComputeDriftCurves(pages, d);
    PlotDriftCurves(d, panel);
}

void CalcSetPoint(const PageDescriptor& d, int panel) {
    unsigned short index = 0;
    GetCtrlVal(panel, DATAP_TEMP, index);
    if (index > kMaxTempIndex) {
        index = kMaxTempIndex;
        SetCtrlVal(panel, DATAP_TEMP, index);
    }
    for (int c = 0; c < d.channelCount; ++c)
        SetCtrlVal(panel, CurveValueCtrl(c), CurveOf(*d.channels[c])[index]);
    for (int c = 0; c < d.channelCount; ++c)
        SetCtrlVal(panel, SetPointCtrl(c), SetPoint(CurveOf(*d.channels[c])[index]));
}

void CalcCfCurves(const PageDescriptor& d, int panel) {
    unsigned short setPoint[6] = {};
    for (int c = 0; c < d.channelCount; ++c) GetCtrlVal(panel, SetPointCtrl(c), setPoint[c]);
    ComputeFactorCurves(pages, d, std::span<const unsigned short>(setPoint, d.channelCount));
    PlotFactorCurves(d, panel);
}

void CalcCurvesButton(const PageDescriptor& d, int panel) {
    if (d.kind == kThreeChannelPage) ShowOnly(panel, DATAP_DRIFT_GRAPH, DATAP_DRIFT_GRAPH);
    CalcCurves(d, panel);
}

void CalcCalibButton(const PageDescriptor& d, int panel) {
    if (d.kind == kThreeChannelPage) ShowOnly(panel, DATAP_CF_GRAPH, DATAP_CF_GRAPH);
    CalcCfCurves(d, panel);
}

// The send sequence. Its echo waits run the event pump, so a second Send CF (on any page) could start inside
// it; BeginTransfer refuses that and dims the buttons that would try.
void SendCF(const PageDescriptor& d, int panel) {
    if (!BeginTransfer()) return;
    SetCtrlVal(panel, DATAP_STATUS, "TRY TO SAVE");
    SetCtrlAttribute(panel, DATAP_LAMP, ATTR_CMD_BUTTON_COLOR, kLampSendingColor);
    CalcCurves(d, panel);
    CalcSetPoint(d, panel);
    CalcCfCurves(d, panel);
    // A number the sensor's 16 bits cannot hold would go out wrapped round: a wrong table said SUCCESS.
    unsigned short index = 0;
    GetCtrlVal(panel, DATAP_TEMP, index);
    if (const std::string problem = TableProblem(pages, d, index); !problem.empty()) {
        SetCtrlVal(panel, DATAP_STATUS, "FAILURE");
        ReportFailed("nothing was sent: " + problem);
        MessagePopup("Send CF", "Nothing was sent to the sensor.\n" + problem +
                                    ".\nCheck the coefficients and the temperature index.");
        SetCtrlAttribute(panel, DATAP_LAMP, ATTR_CMD_BUTTON_COLOR, kLampIdleColor);
        EndTransfer();
        return;
    }
    SendParaData(d.page);
    SetCtrlVal(panel, DATAP_STATUS, comecho == 1 ? "SUCCESS" : "FAILURE");
    if (comecho == 1)
        ReportDone("table written to page " + std::to_string(d.page) + ": " +
                   GroupedNumber(d.writeFrames * kFactorsPerFrame) + " words");
    SetCtrlAttribute(panel, DATAP_LAMP, ATTR_CMD_BUTTON_COLOR, kLampIdleColor);
    EndTransfer();
}

// ---------------------------------------------------------------------------------------------------------
// Equation files

// The file pop-up of Save (VAL_SAVE_BUTTON) and Get (VAL_LOAD_BUTTON); true when a file was chosen (its
// path is then in file_name).
bool ChooseEquationFile(int buttonLabel) {
    std::string path;
    if (FileSelectPopup(proj_dir, "equation.equ", "*.equ", "equation", buttonLabel, 0, 1, 1, 1, path) <= 0)
        return false;
    file_name = path;
    return true;
}

void ReportEquationProblem(const char* title, int result, int needed) {
    // No earlier "saved" or "loaded" stays beside the status box.
    ReportTrouble(std::string(result == kEquationCannotWrite ? "equations not saved to "
                                                             : "equations not loaded from ") +
                  file_name);
    std::string text =
        "The equation file\n" + file_name + "\n" + EquationFileProblem(result, needed, file_name);
    if (result != kEquationCannotWrite) text += "\nThe coefficients are unchanged.";
    MessagePopup(title, text);
}

void SaveEquation(const PageDescriptor& d, int panel) {
    if (!ChooseEquationFile(VAL_SAVE_BUTTON)) return;
    double coefs[30] = {};
    const int n = CoefCount(d);
    for (int k = 0; k < n; ++k) GetCtrlVal(panel, DATAP_COEF + k, coefs[k]);
    const int result = SaveEquationFile(file_name, std::span<const double>(coefs, n));
    if (result < 0)
        ReportEquationProblem("Save Equation", result, n);
    else
        ReportDone("equations saved to " + file_name);
}

void GetEquation(const PageDescriptor& d, int panel) {
    if (!ChooseEquationFile(VAL_LOAD_BUTTON)) return;
    double coefs[30] = {};
    const int n = CoefCount(d);
    const int result = LoadEquationFile(file_name, std::span<double>(coefs, n));
    if (result != n) {
        ReportEquationProblem("Get Equation", result, n);
        return;
    }
    for (int k = 0; k < n; ++k) SetCtrlVal(panel, DATAP_COEF + k, coefs[k]);
    ReportDone("equations loaded from " + file_name);
}

// ---------------------------------------------------------------------------------------------------------
// Callback entries

using PageAction = void (*)(const PageDescriptor&, int panel);

int OnCommit(int event, PageAction action, int page, int panel) {
    if (event == EVENT_COMMIT) action(Page(page), panel);
    return 0;
}

void ShowDriftR(const PageDescriptor&, int panel) {
    ShowOnly(panel, DATAP_DRIFT_GRAPH, DATAP_DRIFT_GRAPH_R);
}
void ShowDriftG(const PageDescriptor&, int panel) {
    ShowOnly(panel, DATAP_DRIFT_GRAPH, DATAP_DRIFT_GRAPH_G);
}
void ShowDriftB(const PageDescriptor&, int panel) {
    ShowOnly(panel, DATAP_DRIFT_GRAPH, DATAP_DRIFT_GRAPH_B);
}
void ShowCfR(const PageDescriptor&, int panel) {
    ShowOnly(panel, DATAP_CF_GRAPH, DATAP_CF_GRAPH_R);
}
void ShowCfG(const PageDescriptor&, int panel) {
    ShowOnly(panel, DATAP_CF_GRAPH, DATAP_CF_GRAPH_G);
}
void ShowCfB(const PageDescriptor&, int panel) {
    ShowOnly(panel, DATAP_CF_GRAPH, DATAP_CF_GRAPH_B);
}

}  // namespace

#define PAGE_CALLBACK(name, P, action)                     \
    int name(int panel, int, int event, void*, int, int) { \
        return OnCommit(event, action, P, panel);          \
    }

// Every page's operations and callbacks.
#define PAGE_ENTRIES(P)                                                \
    void CalcCurvesDataP##P() {                                        \
        CalcCurves(Page(P), DataPanel(P));                             \
    }                                                                  \
    void CalcSetPointDataP##P() {                                      \
        CalcSetPoint(Page(P), DataPanel(P));                           \
    }                                                                  \
    void CalcCfCurvesDataP##P() {                                      \
        CalcCfCurves(Page(P), DataPanel(P));                           \
    }                                                                  \
    int CBF_DATAP##P(int, int, int, void*, int, int) {                 \
        return 0;                                                      \
    }                                                                  \
    PAGE_CALLBACK(CBF_DataP##P##ButtonCalcCurves, P, CalcCurvesButton) \
    PAGE_CALLBACK(CBF_DataP##P##EditTemp, P, CalcSetPoint)             \
    PAGE_CALLBACK(CBF_DataP##P##ButtonCalcCalib, P, CalcCalibButton)   \
    PAGE_CALLBACK(CBF_DataP##P##ButtonSendCF, P, SendCF)               \
    PAGE_CALLBACK(CBF_DataP##P##ButtonSaveEquation, P, SaveEquation)   \
    PAGE_CALLBACK(CBF_DataP##P##ButtonGetEquation, P, GetEquation)

// The chart switches of the three-channel pages.
#define SHOW_ENTRIES(P)                                         \
    PAGE_CALLBACK(CBF_DataP##P##ButtonShowRed, P, ShowDriftR)   \
    PAGE_CALLBACK(CBF_DataP##P##ButtonShowGreen, P, ShowDriftG) \
    PAGE_CALLBACK(CBF_DataP##P##ButtonShowBlue, P, ShowDriftB)  \
    PAGE_CALLBACK(CBF_DataP##P##ButtonShowCfRed, P, ShowCfR)    \
    PAGE_CALLBACK(CBF_DataP##P##ButtonShowCfGreen, P, ShowCfG)  \
    PAGE_CALLBACK(CBF_DataP##P##ButtonShowCfBlue, P, ShowCfB)

PAGE_ENTRIES(1)
PAGE_ENTRIES(2)
PAGE_ENTRIES(3)
PAGE_ENTRIES(4)
PAGE_ENTRIES(5)
PAGE_ENTRIES(6)
PAGE_ENTRIES(7)
SHOW_ENTRIES(1)
SHOW_ENTRIES(2)
SHOW_ENTRIES(4)
SHOW_ENTRIES(5)

// ---------------------------------------------------------------------------------------------------------
// Panel definitions: the controls each kind's panel file holds, bound to the page's callbacks.

namespace {

#define COEF_NAMES(n) "coefCh" #n "X4", "coefCh" #n "X3", "coefCh" #n "X2", "coefCh" #n "X1", "coefCh" #n "T"
constexpr const char* kCoefNames[30] = {COEF_NAMES(1), COEF_NAMES(2), COEF_NAMES(3),
                                        COEF_NAMES(4), COEF_NAMES(5), COEF_NAMES(6)};
#undef COEF_NAMES
constexpr const char* kCurveValueNames[6] = {"curveValueCh1", "curveValueCh2", "curveValueCh3",
                                             "curveValueCh4", "curveValueCh5", "curveValueCh6"};
constexpr const char* kSetPointNames[6] = {"setPointCh1", "setPointCh2", "setPointCh3",
                                           "setPointCh4", "setPointCh5", "setPointCh6"};

struct PageCallbacks {
    CtrlCallbackPtr calcCurves, editTemp, calcCalib, sendCF, saveEquation, getEquation;
    // Three-channel pages only.
    CtrlCallbackPtr showRed = nullptr, showGreen = nullptr, showBlue = nullptr;
    CtrlCallbackPtr showCfRed = nullptr, showCfGreen = nullptr, showCfBlue = nullptr;
};

struct BindingTable {
    std::array<CtrlBinding, 72> rows{};
    std::size_t count = 0;
    PageKind kind = kThreeChannelPage;  // which panel file holds these controls
};

constexpr void Bind(BindingTable& t, int id, const char* name, CtrlCallbackPtr callback = nullptr) {
    t.rows[t.count++] = {id, name, callback};
}

constexpr BindingTable MakeBindings(PageKind kind, int channels, const PageCallbacks& cb) {
    BindingTable t;
    t.kind = kind;
    for (int k = 0; k < kCoefsPerChannel * channels; ++k) Bind(t, DATAP_COEF + k, kCoefNames[k]);
    Bind(t, DATAP_TEMP, "editTemp", cb.editTemp);
    for (int c = 0; c < channels; ++c) {
        Bind(t, CurveValueCtrl(c), kCurveValueNames[c]);
        Bind(t, SetPointCtrl(c), kSetPointNames[c]);
    }
    Bind(t, DATAP_DRIFT_GRAPH, "chartDrift");
    Bind(t, DATAP_CF_GRAPH, "chartCf");
    Bind(t, DATAP_CALC_CURVES, "buttonCalcCurves", cb.calcCurves);
    Bind(t, DATAP_CALC_CALIB, "buttonCalcCalib", cb.calcCalib);
    Bind(t, DATAP_SEND_CF, "buttonSendCF", cb.sendCF);
    Bind(t, DATAP_SAVE_EQUATION, "buttonSaveEquation", cb.saveEquation);
    Bind(t, DATAP_GET_EQUATION, "buttonGetEquation", cb.getEquation);
    Bind(t, DATAP_STATUS, "textStatus");
    Bind(t, DATAP_LAMP, "buttonLamp");
    Bind(t, DATAP_PROGRESS, "progressSend");
    Bind(t, DATAP_LAST_OPERATION, "lastOperation");
    if (kind == kThreeChannelPage) {
        Bind(t, DATAP_DRIFT_GRAPH_R, "chartDriftR");
        Bind(t, DATAP_DRIFT_GRAPH_G, "chartDriftG");
        Bind(t, DATAP_DRIFT_GRAPH_B, "chartDriftB");
        Bind(t, DATAP_CF_GRAPH_R, "chartCfR");
        Bind(t, DATAP_CF_GRAPH_G, "chartCfG");
        Bind(t, DATAP_CF_GRAPH_B, "chartCfB");
        Bind(t, DATAP_SHOW_RED, "buttonShowRed", cb.showRed);
        Bind(t, DATAP_SHOW_GREEN, "buttonShowGreen", cb.showGreen);
        Bind(t, DATAP_SHOW_BLUE, "buttonShowBlue", cb.showBlue);
        Bind(t, DATAP_SHOW_CF_RED, "buttonShowCfRed", cb.showCfRed);
        Bind(t, DATAP_SHOW_CF_GREEN, "buttonShowCfGreen", cb.showCfGreen);
        Bind(t, DATAP_SHOW_CF_BLUE, "buttonShowCfBlue", cb.showCfBlue);
    }
    return t;
}

#define PAGE_CALLBACK_SET(P)                                                               \
    CBF_DataP##P##ButtonCalcCurves, CBF_DataP##P##EditTemp, CBF_DataP##P##ButtonCalcCalib, \
        CBF_DataP##P##ButtonSendCF, CBF_DataP##P##ButtonSaveEquation, CBF_DataP##P##ButtonGetEquation
#define SHOW_CALLBACK_SET(P)                                                                  \
    CBF_DataP##P##ButtonShowRed, CBF_DataP##P##ButtonShowGreen, CBF_DataP##P##ButtonShowBlue, \
        CBF_DataP##P##ButtonShowCfRed, CBF_DataP##P##ButtonShowCfGreen, CBF_DataP##P##ButtonShowCfBlue

constexpr BindingTable kBindings[7] = {
    MakeBindings(kThreeChannelPage, 3, {PAGE_CALLBACK_SET(1), SHOW_CALLBACK_SET(1)}),
    MakeBindings(kThreeChannelPage, 3, {PAGE_CALLBACK_SET(2), SHOW_CALLBACK_SET(2)}),
    MakeBindings(kSixChannelPage, 6, {PAGE_CALLBACK_SET(3)}),
    MakeBindings(kThreeChannelPage, 3, {PAGE_CALLBACK_SET(4), SHOW_CALLBACK_SET(4)}),
    MakeBindings(kThreeChannelPage, 3, {PAGE_CALLBACK_SET(5), SHOW_CALLBACK_SET(5)}),
    MakeBindings(kSingleChannelPage, 1, {PAGE_CALLBACK_SET(6)}),
    MakeBindings(kSingleChannelPage, 1, {PAGE_CALLBACK_SET(7)}),
};

constexpr const char* kPanelFiles[] = {"page_three_channel.ui", "page_six_channel.ui",
                                       "page_single_channel.ui"};

constexpr PanelCallbackPtr kPanelCallbacks[7] = {CBF_DATAP1, CBF_DATAP2, CBF_DATAP3, CBF_DATAP4,
                                                 CBF_DATAP5, CBF_DATAP6, CBF_DATAP7};

constexpr PanelDef MakePanelDef(int page) {
    const BindingTable& t = kBindings[page - 1];
    return {kPanelFiles[t.kind], kPanelCallbacks[page - 1], std::span(t.rows.data(), t.count)};
}

constexpr PanelDef kPanelDefs[7] = {MakePanelDef(1), MakePanelDef(2), MakePanelDef(3), MakePanelDef(4),
                                    MakePanelDef(5), MakePanelDef(6), MakePanelDef(7)};
constexpr PanelDef kNoPanel{"", nullptr, {}};

}  // namespace

const PanelDef& PagePanelDef(int page) {
    return page >= 1 && page <= 7 ? kPanelDefs[page - 1] : kNoPanel;
}
