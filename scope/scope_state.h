// The scope's program-wide state and the small services every part of the scope uses: the panel handles
// and control ids, the run flag, the memory target, the counts, the file names, the child-panel switch, the
// dimming of the controls that start operations, and the help pop-up. It uses no other part of the scope.
#pragma once

#include "platform.h"

// Panel handles, valid from start to end of the run.
extern int mainpanel, parapanel, ttpanel, datapanel, interfacepanel, recpanel, graphpanel, colbigpanel;

// --- control ids, one enum per panel (objectNames in panel_set.cpp) ----------------------------------------
enum MainPanelCtrl : int {
    MAINP_CONNECT = 1,
    MAINP_PARAMETERS,
    MAINP_TEACH_TABLE,
    MAINP_RECORDER,
    MAINP_SEND,
    MAINP_GET,
    MAINP_GO,
    MAINP_STOP,
    MAINP_SELECT_RAM,
    MAINP_SELECT_EEPROM,
    MAINP_SELECT_FILE,
    MAINP_ABOUT,
    MAINP_LOGO_BOX,  // the logo's run-time controls follow MAINP_LOGO_PICTURE
    MAINP_LOGO_PICTURE,
};

enum ParaPanelCtrl : int {
    PARAP_POWER = 1,
    PARAP_CHANNEL_MODE,
    PARAP_AVERAGE,
    PARAP_EVAL_MODE,
    PARAP_HOLD,
    PARAP_INTLIM,
    PARAP_MAX_NO,
    PARAP_OUT_MODE,
    PARAP_TRIGGER,
    PARAP_EXTERN_TEACH,
    PARAP_MAX_UP,
    PARAP_MAX_DOWN,
    PARAP_POWER_VALUE,  // the power as a number beside its slider
};

enum TeachTablePanelCtrl : int {
    TTP_TABLE = 1,
    TTP_NO,
    TTP_AUTO_INC,
    TTP_TEACH_DATA_TO,
    TTP_RESET_TABLE,
};

enum DataPanelCtrl : int {
    DATAP_CH_L = 1,
    DATAP_CH_C,
    DATAP_CH_R,
    DATAP_BAR_L,
    DATAP_BAR_C,
    DATAP_BAR_R,
    DATAP_DENSITY,
    DATAP_SYM1,
    DATAP_SYM2,
    DATAP_VEC,
    DATAP_TEMP,
    DATAP_MAX_L,
    DATAP_MAX_C,
    DATAP_MAX_R,
    DATAP_TRIGGER,
    DATAP_GRAPH_DENSITY,  // strip chart: density, upper limit, lower limit
    DATAP_GRAPH_RAW,      // strip chart: L, C, R and their maxima
    DATAP_GRAPH_SYM1,
    DATAP_GRAPH_SYM2,
    DATAP_SOURCE,  // signal selector: 0 density view, 1 raw view
    DATAP_STATUS,
    DATAP_COMPORT,
    DATAP_SERVER,
    DATAP_SHOW_GRAPH,
    DATAP_MAX_LABEL,  // captions that show and hide with their displays
    DATAP_TRIGGER_LABEL,
    DATAP_LAST_OPERATION,  // what the last operation did, beside the status box
};

enum RecorderPanelCtrl : int {
    RECP_MODE = 1,
    RECP_INTERVAL,
    RECP_COUNT,
    RECP_DAYS,
    RECP_HOURS,
    RECP_MINUTES,
    RECP_SECONDS,
    RECP_TIME_FRAME,
    RECP_RECORDED,
    RECP_REMAINING,
    RECP_FRAME_COUNTER,
    RECP_START,
    RECP_STOP,
    RECP_START_TRIGGERED,
    RECP_STOP_TRIGGERED,
    RECP_MANUAL,
    RECP_SELECT_FILE,
    RECP_FILE,
    RECP_SENSOR_ID,
    RECP_INTERVAL_LABEL,  // captions that show and hide with their controls
    RECP_COUNT_LABEL,
    RECP_RECORDED_LABEL,
    RECP_REMAINING_LABEL,
    RECP_FRAME_COUNTER_LABEL,
    RECP_VIEW,
};

enum GraphPanelCtrl : int {
    GRAPHP_SIGNAL = 1,
    GRAPHP_VALUE,  // seven value displays: GRAPHP_VALUE + signal (0 left channel .. 6 temperature)
    GRAPHP_GRAPH = GRAPHP_VALUE + 7,  // seven graphs: GRAPHP_GRAPH + signal
    GRAPHP_CLOSE = GRAPHP_GRAPH + 7,
};

enum BigVectorPanelCtrl : int {
    COLBIGP_VECTOR = 1,
    COLBIGP_SENSOR_ID,
};

// --- program-wide state ---------------------------------------------------------------------------------
extern unsigned short anzpara;  // 202 words in the parameter image
extern unsigned short anzVec;   // 31 teach vectors
extern unsigned short anzOut;   // 5 vectors at most unless the output mode is BINARY
extern unsigned short target;   // memory selector: RAM, EEPROM or DATFILE
// 1 while the live-data loop or a record loop runs. Its symbol is orvane::poll: a global variable named
// poll would take the place of POSIX poll() for every caller in a program that links the scope (the
// emulator's thread in the tests jumped into it).
namespace orvane {
extern unsigned short poll;
}
using orvane::poll;
inline constexpr unsigned short RAM = 1, EEPROM = 2, DATFILE = 3;

extern char proj_dir[512];
extern char recFileName[260];
extern char paraFileName[600];

// Child-panel numbers of ShowChildPanel.
enum ChildPanel : int { kChildInterface = 1, kChildParameters = 2, kChildTeachTable = 3, kChildRecorder = 5 };
inline constexpr int kButtonNormalColor = 0xE0E0E0;
inline constexpr int kButtonMarkedColor = 0xC0C0C0;

// --- services -------------------------------------------------------------------------------------------
// Shows one child panel (by number) and marks its button; any other number hides all four.
void ShowChildPanel(int number);
// Dims (1) or enables (0) every control that starts an exchange with the sensor; the interface panel's
// Accept and Change-baud-rate are held dimmed meanwhile and then show the link's state again.
void SetButtonsDimmed(int dimmed);
// Shows a help text in a message pop-up titled "INFO!" on a right click; true when it did.
bool ShowHelp(int event, const char* text, const char* title = "INFO!");
