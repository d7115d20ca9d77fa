// The Morvalen tool's shell: start-up, panel set, sensor identification and the page switch.
#pragma once

#include <cstdint>

#include "build.h"
#include "sensor_table.h"

// Panel handles, valid from start to end of the run. datapanelN is 0 for a page this build does not have.
extern int mainpanel;
extern int interfacepanel;
extern int datapanel1, datapanel2, datapanel3, datapanel4, datapanel5, datapanel6, datapanel7;
// datapanelN by page number 1..7 (0 for pages this build lacks or out of range).
int DataPanel(int page);

// Main panel controls.
enum MainPanelCtrl : int {
    MAINP_SELECT_SENSOR = 1,
    MAINP_STATUS,
    MAINP_COMPORT,
    MAINP_SERVER,
    MAINP_CONNECT,
    MAINP_ABOUT,
    MAINP_LOGO_BOX,  // the logo's run-time controls follow MAINP_LOGO_PICTURE
    MAINP_LOGO_PICTURE,
};

extern std::uint16_t selSensor;
extern char proj_dir[512];
extern const char* const InfoEditSelectSensor;

// Runs the whole program: load panels, start-up sequence, event loop, end of the run (also on SIGTERM and
// SIGINT). Returns the exit code (0, or -1 when a panel fails to load).
int MorvalenMain(int argc, char** argv);
// SIGTERM and SIGINT end the run as closing the main panel does.
void EndRunOnSignal(int signalNumber);
// Loads the panel set and places the pages; 0 or -1.
int LoadMorvalenPanels();
void DiscardMorvalenPanels();
// After the event loop: closes an open TCP conversation and discards the panels.
void EndMorvalen();
void InitAll();
void SetChildPanel();
void ShowChildPanel();

int CBF_MAINP(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_EditSelectSensor(int panel, int control, int event, void* callbackData, int eventData1,
                         int eventData2);
int CBF_DispStatus(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
