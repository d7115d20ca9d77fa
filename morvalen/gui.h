// The compensation pages on screen: the page panels, their charts, the Send CF sequence and the equation
// files, driven by the page descriptors of pages.h.
#pragma once

#include <string>

#include "compensation.h"
#include "platform.h"
#include "window_pages.h"

// The path chosen in the last equation-file pop-up.
extern std::string file_name;

// ---------------------------------------------------------------------------------------------------------
// Page controls: one set of ids for all page kinds; each kind's panel file has the controls its kind needs.
enum DataPageCtrl : int {
    DATAP_COEF = 1,                           // 30 fields: DATAP_COEF + 5·channel + term (X4 = 0 .. T = 4)
    DATAP_TEMP = DATAP_COEF + 30,             // temperature index
    DATAP_CURVE_VALUE,                        // 6 indicators: + channel
    DATAP_SET_POINT = DATAP_CURVE_VALUE + 6,  // 6 fields: + channel
    DATAP_DRIFT_GRAPH = DATAP_SET_POINT + 6,  // combined drift chart; the only one on single-channel pages
    DATAP_DRIFT_GRAPH_R,                      // three-channel pages: R, G, B drift charts
    DATAP_DRIFT_GRAPH_G,
    DATAP_DRIFT_GRAPH_B,
    DATAP_CF_GRAPH,  // combined factor chart; the only one on single-channel pages
    DATAP_CF_GRAPH_R,
    DATAP_CF_GRAPH_G,
    DATAP_CF_GRAPH_B,
    DATAP_CALC_CURVES,
    DATAP_SHOW_RED,
    DATAP_SHOW_GREEN,
    DATAP_SHOW_BLUE,
    DATAP_CALC_CALIB,
    DATAP_SHOW_CF_RED,
    DATAP_SHOW_CF_GREEN,
    DATAP_SHOW_CF_BLUE,
    DATAP_SEND_CF,
    DATAP_SAVE_EQUATION,
    DATAP_GET_EQUATION,
    DATAP_STATUS,          // page status text
    DATAP_LAMP,            // status lamp: a command button whose colour marks a running send
    DATAP_PROGRESS,        // progress indicator, full scale 1000
    DATAP_LAST_OPERATION,  // what the last operation did, and when
};
constexpr int CoefCtrl(int channel, int term) {
    return DATAP_COEF + kCoefsPerChannel * channel + term;
}
constexpr int CurveValueCtrl(int channel) {
    return DATAP_CURVE_VALUE + channel;
}
constexpr int SetPointCtrl(int channel) {
    return DATAP_SET_POINT + channel;
}

inline constexpr int kLampIdleColor = 0xE0E0E0;
inline constexpr int kLampSendingColor = 0xFF0000;

// The panel of page 1..7 for LoadPanel(mainpanel, PagePanelDef(page)); pages of a kind share a file.
const PanelDef& PagePanelDef(int page);

// ---------------------------------------------------------------------------------------------------------
// Per-page operations and callbacks: thin entries into the shared engine. The engine operations work on
// DataPanel(page); the callbacks on the panel they are called for.
#define MORVALEN_CTRL_CALLBACK(name) \
    int name(int panel, int control, int event, void* callbackData, int eventData1, int eventData2)

void CalcCurvesDataP1(), CalcCurvesDataP2(), CalcCurvesDataP3(), CalcCurvesDataP4(), CalcCurvesDataP5(),
    CalcCurvesDataP6(), CalcCurvesDataP7();
void CalcSetPointDataP1(), CalcSetPointDataP2(), CalcSetPointDataP3(), CalcSetPointDataP4(),
    CalcSetPointDataP5(), CalcSetPointDataP6(), CalcSetPointDataP7();
void CalcCfCurvesDataP1(), CalcCfCurvesDataP2(), CalcCfCurvesDataP3(), CalcCfCurvesDataP4(),
    CalcCfCurvesDataP5(), CalcCfCurvesDataP6(), CalcCfCurvesDataP7();

// Page 1, three-channel
MORVALEN_CTRL_CALLBACK(CBF_DATAP1);
MORVALEN_CTRL_CALLBACK(CBF_DataP1ButtonCalcCurves);
MORVALEN_CTRL_CALLBACK(CBF_DataP1ButtonShowRed);
MORVALEN_CTRL_CALLBACK(CBF_DataP1ButtonShowGreen);
MORVALEN_CTRL_CALLBACK(CBF_DataP1ButtonShowBlue);
MORVALEN_CTRL_CALLBACK(CBF_DataP1EditTemp);
MORVALEN_CTRL_CALLBACK(CBF_DataP1ButtonCalcCalib);
MORVALEN_CTRL_CALLBACK(CBF_DataP1ButtonShowCfRed);
MORVALEN_CTRL_CALLBACK(CBF_DataP1ButtonShowCfGreen);
MORVALEN_CTRL_CALLBACK(CBF_DataP1ButtonShowCfBlue);
MORVALEN_CTRL_CALLBACK(CBF_DataP1ButtonSendCF);
MORVALEN_CTRL_CALLBACK(CBF_DataP1ButtonSaveEquation);
MORVALEN_CTRL_CALLBACK(CBF_DataP1ButtonGetEquation);
// Page 2, three-channel
MORVALEN_CTRL_CALLBACK(CBF_DATAP2);
MORVALEN_CTRL_CALLBACK(CBF_DataP2ButtonCalcCurves);
MORVALEN_CTRL_CALLBACK(CBF_DataP2ButtonShowRed);
MORVALEN_CTRL_CALLBACK(CBF_DataP2ButtonShowGreen);
MORVALEN_CTRL_CALLBACK(CBF_DataP2ButtonShowBlue);
MORVALEN_CTRL_CALLBACK(CBF_DataP2EditTemp);
MORVALEN_CTRL_CALLBACK(CBF_DataP2ButtonCalcCalib);
MORVALEN_CTRL_CALLBACK(CBF_DataP2ButtonShowCfRed);
MORVALEN_CTRL_CALLBACK(CBF_DataP2ButtonShowCfGreen);
MORVALEN_CTRL_CALLBACK(CBF_DataP2ButtonShowCfBlue);
MORVALEN_CTRL_CALLBACK(CBF_DataP2ButtonSendCF);
MORVALEN_CTRL_CALLBACK(CBF_DataP2ButtonSaveEquation);
MORVALEN_CTRL_CALLBACK(CBF_DataP2ButtonGetEquation);
// Page 3, six-channel
MORVALEN_CTRL_CALLBACK(CBF_DATAP3);
MORVALEN_CTRL_CALLBACK(CBF_DataP3ButtonCalcCurves);
MORVALEN_CTRL_CALLBACK(CBF_DataP3EditTemp);
MORVALEN_CTRL_CALLBACK(CBF_DataP3ButtonCalcCalib);
MORVALEN_CTRL_CALLBACK(CBF_DataP3ButtonSendCF);
MORVALEN_CTRL_CALLBACK(CBF_DataP3ButtonSaveEquation);
MORVALEN_CTRL_CALLBACK(CBF_DataP3ButtonGetEquation);
// Page 4, three-channel
MORVALEN_CTRL_CALLBACK(CBF_DATAP4);
MORVALEN_CTRL_CALLBACK(CBF_DataP4ButtonCalcCurves);
MORVALEN_CTRL_CALLBACK(CBF_DataP4ButtonShowRed);
MORVALEN_CTRL_CALLBACK(CBF_DataP4ButtonShowGreen);
MORVALEN_CTRL_CALLBACK(CBF_DataP4ButtonShowBlue);
MORVALEN_CTRL_CALLBACK(CBF_DataP4EditTemp);
MORVALEN_CTRL_CALLBACK(CBF_DataP4ButtonCalcCalib);
MORVALEN_CTRL_CALLBACK(CBF_DataP4ButtonShowCfRed);
MORVALEN_CTRL_CALLBACK(CBF_DataP4ButtonShowCfGreen);
MORVALEN_CTRL_CALLBACK(CBF_DataP4ButtonShowCfBlue);
MORVALEN_CTRL_CALLBACK(CBF_DataP4ButtonSendCF);
MORVALEN_CTRL_CALLBACK(CBF_DataP4ButtonSaveEquation);
MORVALEN_CTRL_CALLBACK(CBF_DataP4ButtonGetEquation);
// Page 5, three-channel
MORVALEN_CTRL_CALLBACK(CBF_DATAP5);
MORVALEN_CTRL_CALLBACK(CBF_DataP5ButtonCalcCurves);
MORVALEN_CTRL_CALLBACK(CBF_DataP5ButtonShowRed);
MORVALEN_CTRL_CALLBACK(CBF_DataP5ButtonShowGreen);
MORVALEN_CTRL_CALLBACK(CBF_DataP5ButtonShowBlue);
MORVALEN_CTRL_CALLBACK(CBF_DataP5EditTemp);
MORVALEN_CTRL_CALLBACK(CBF_DataP5ButtonCalcCalib);
MORVALEN_CTRL_CALLBACK(CBF_DataP5ButtonShowCfRed);
MORVALEN_CTRL_CALLBACK(CBF_DataP5ButtonShowCfGreen);
MORVALEN_CTRL_CALLBACK(CBF_DataP5ButtonShowCfBlue);
MORVALEN_CTRL_CALLBACK(CBF_DataP5ButtonSendCF);
MORVALEN_CTRL_CALLBACK(CBF_DataP5ButtonSaveEquation);
MORVALEN_CTRL_CALLBACK(CBF_DataP5ButtonGetEquation);
// Page 6, single-channel
MORVALEN_CTRL_CALLBACK(CBF_DATAP6);
MORVALEN_CTRL_CALLBACK(CBF_DataP6ButtonCalcCurves);
MORVALEN_CTRL_CALLBACK(CBF_DataP6EditTemp);
MORVALEN_CTRL_CALLBACK(CBF_DataP6ButtonCalcCalib);
MORVALEN_CTRL_CALLBACK(CBF_DataP6ButtonSendCF);
MORVALEN_CTRL_CALLBACK(CBF_DataP6ButtonSaveEquation);
MORVALEN_CTRL_CALLBACK(CBF_DataP6ButtonGetEquation);
// Page 7, single-channel (version 1.5 only)
MORVALEN_CTRL_CALLBACK(CBF_DATAP7);
MORVALEN_CTRL_CALLBACK(CBF_DataP7ButtonCalcCurves);
MORVALEN_CTRL_CALLBACK(CBF_DataP7EditTemp);
MORVALEN_CTRL_CALLBACK(CBF_DataP7ButtonCalcCalib);
MORVALEN_CTRL_CALLBACK(CBF_DataP7ButtonSendCF);
MORVALEN_CTRL_CALLBACK(CBF_DataP7ButtonSaveEquation);
MORVALEN_CTRL_CALLBACK(CBF_DataP7ButtonGetEquation);
