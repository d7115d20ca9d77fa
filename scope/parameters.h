// The sensor's parameter set: sixteen scalar parameters and the teach vectors as program variables, their
// binding to the parameter panel and the teach table, the memory selector, the mode-dependent enabling,
// and the transfers to and from the sensor's RAM or EEPROM.
#pragma once

#include "parameter_image.h"

// The scalar parameters, in image order.
extern unsigned short paraPower, paraChannelMode, paraAverage, paraEvalMode, paraHold, paraIntlim, paraMaxNr,
    paraOutMode, paraTrigger, paraExtteach, paraMaxUp, paraMaxDown, paraFrei13, paraFrei14, paraFrei15,
    paraFrei16;
// Teach vectors: row r (0..30) is teach-table row r + 1; columns as the table shows them.
extern unsigned short paraTeachVec[kTeachRows][kTeachColumns];

// Help texts of the parameter panel and the memory selector.
extern const char* const InfoSlidePower;
extern const char* const InfoEditChannelMode;
extern const char* const InfoEditAverage;
extern const char* const InfoSeeManual;  // evaluation mode and external teach
extern const char* const InfoEditHold;
extern const char* const InfoEditIntlim;
extern const char* const InfoEditMaxNo;
extern const char* const InfoEditOutmode;
extern const char* const InfoEditTrigger;
extern const char* const InfoEditMaxUp;
extern const char* const InfoEditMaxDown;
extern const char* const InfoMaxVecTooHigh;  // the vector-count message
extern const char* const InfoSelectMemory;

void GetPanelValues();
void SetPanelValues();
// The parameter variables as an image (words 0..201).
ParameterImage ImageOfVars();
void CopyVarsToPP();
// A read reply in pp words 0..17 into the variables (ignored unless it is a good order 3 or 4 reply).
void CopyPPtoVars();
// A whole image (from a parameter file) into the variables; the vector count is limited to the teach rows.
void CopyImageToVars(std::span<const std::uint16_t, kImageWords> image);
void SendPara();
void GetPara();
void InitEval();
void InitExteach();
void InitTrigger();
// The MAXVEC-No. message when too many vectors are set for a direct output mode.
void CheckVectorCount();
// Teach-table row labels: rows in use green, the rest red.
void ColourTeachRows();

int CBF_SelectRAM(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_SelectEEPROM(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_SelectFILE(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_SlidePower(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
// The number beside the power slider: both show the same value, whichever a person moves.
int CBF_EditPower(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_EditChannelMode(int panel, int control, int event, void* callbackData, int eventData1,
                        int eventData2);
int CBF_EditAverage(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_Evalmode(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_EditHold(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_EditIntlim(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_EditMaxNo(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_EditOutmode(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_EditTrigger(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_ExternTeach(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_EditMaxUp(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_EditMaxDown(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
