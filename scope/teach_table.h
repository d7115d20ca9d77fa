// The teach table: teaching the latest frame into a row, resetting the table, and the callbacks that redraw
// the selected row's tolerance bands on the data panel (drawn by the live data).
#pragma once

extern const char* const InfoButtonTeachDataTo;
extern const char* const InfoButtonResetTable;
extern const char* const InfoEditNo;
extern const char* const InfoRadioInc;

void TeachDataTo();
void ResetTable();

int CBF_ButtonTeachDataTo(int panel, int control, int event, void* callbackData, int eventData1,
                          int eventData2);
int CBF_ButtonResetTable(int panel, int control, int event, void* callbackData, int eventData1,
                         int eventData2);
int CBF_EditNo(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_RadioInc(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_GridCtt(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
