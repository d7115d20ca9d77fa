// The Orvane scope's shell: the start-up sequence, the end of the run and the main panel's callbacks. The
// program-wide state and the services every part uses are in scope_state.h.
#pragma once

#include "scope_state.h"

// Help texts of the main panel.
extern const char* const InfoButtonPara;
extern const char* const InfoButtonTeachTable;
extern const char* const InfoButtonSend;
extern const char* const InfoButtonGet;
extern const char* const InfoButtonGo;
extern const char* const InfoButtonStop;

// --- start, run, end ------------------------------------------------------------------------------------
// The whole program: load panels, start-up sequence, event loop, end of the run (also on SIGTERM and
// SIGINT). Returns 0, or -1 when the platform cannot start or a panel does not load.
int OrvaneMain(int argc, char** argv);
// SIGTERM and SIGINT end the run as closing the main panel does: a running live-data or record loop ends
// after its current frame (a record after writing its line).
void EndRunOnSignal(int signalNumber);
// Loads the eight panels in their order and places them; 0, or -1 (nothing stays loaded) at the first
// panel that fails.
int LoadOrvanePanels();
void DiscardOrvanePanels();
// Shows the first child panel, the data panel and the main panel, as the program does before InitAll.
void DisplayOrvanePanels();
void InitAll();
// After the event loop: closes an open TCP conversation and discards the panels.
void EndOrvane();

int CBF_MAINP(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_PARAP(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_TTP(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_DATAP(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_COLBIGP(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_ButtonPara(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_ButtonTeachTable(int panel, int control, int event, void* callbackData, int eventData1,
                         int eventData2);
int CBF_ButtonSend(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_ButtonGet(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_ButtonGo(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_ButtonStop(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
