// The teach table: teaching the latest frame into a row, resetting the table, and the tolerance rectangles
// of the selected row on the data panel's symmetry graphs.
#pragma once

inline constexpr int kSym1ToleranceColor = 0xFF0080;
inline constexpr int kSym2ToleranceColor = 0x008040;

extern const char* const InfoButtonTeachDataTo;
extern const char* const InfoButtonResetTable;
extern const char* const InfoEditNo;
extern const char* const InfoRadioInc;

void TeachDataTo();
void ResetTable();
void SetToleranceRangeSymmetry();

int CBF_ButtonTeachDataTo(int panel, int control, int event, void* callbackData, int eventData1,
                          int eventData2);
int CBF_ButtonResetTable(int panel, int control, int event, void* callbackData, int eventData1,
                         int eventData2);
int CBF_EditNo(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_RadioInc(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_GridCtt(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
