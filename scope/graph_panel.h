// The graph panel: the course of the recorded values, one graph per signal, shown in place of the data
// panel. The recorder adds every frame it records.
#pragma once

#include "measurement.h"

inline constexpr int kGraphSignals = 7;  // left, centre, right channel, density, symmetry 1, 2, temperature

extern unsigned short graphcnt;  // index of the next sample
extern unsigned short GpBufCnt[2];
extern unsigned short GpBufChL[2], GpBufChC[2], GpBufChR[2], GpBufDensity[2], GpBufSym1[2], GpBufSym2[2],
    GpBufTemp[2];

extern const char* const InfoButtonShowGraph;
extern const char* const InfoButtonClosePanel;
extern const char* const InfoEditSignal;
extern const char* const InfoGraphPanel;

// Clears the graphs; the next segment starts from the frame variables.
void InitPanelGraph();
// A measurement as the next sample; without one, the frame variables.
void SetPanelGraphData(const Measurement& m);
void SetPanelGraphData();
void SetGraphVisible();

int CBF_GRAPHP(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_ButtonShowGraph(int panel, int control, int event, void* callbackData, int eventData1,
                        int eventData2);
int CBF_ButtonGpClose(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_EditSignal(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_PanelGraphGraph(int panel, int control, int event, void* callbackData, int eventData1,
                        int eventData2);
