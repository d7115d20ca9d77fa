// Live measurement data: the live display of each frame, the data panel's displays, bars, strip
// charts, symmetry cursors and the teach row's tolerance bands, and the live-data loop that Go runs.
#pragma once

#include <span>

#include "frame.h"
#include "measurement.h"
#include "sensor_exchange.h"

// Histories of the last 100 frames, oldest first: six raw values and three density values per frame.
inline constexpr int kHistoryFrames = 100;
inline constexpr int kRawPerFrame = 6, kDensityPerFrame = 3;
extern double rawBuf[kHistoryFrames * kRawPerFrame];
extern double densityBuf[kHistoryFrames * kDensityPerFrame];
extern int source;  // signal selector: 0 density view, 1 raw view
extern int scale;   // density chart: 0 fixed range, 1 auto zoom

// Help texts of the data panel.
extern const char* const InfoSelectSource;
extern const char* const InfoDispCh;
extern const char* const InfoBarCh;
extern const char* const InfoDispAktMaxCh;
extern const char* const InfoDispDensity;
extern const char* const InfoDispSym1;
extern const char* const InfoDispSym2;
extern const char* const InfoDispVec;
extern const char* const InfoDispStatus;
extern const char* const InfoGraphRaw1;
extern const char* const InfoGraphDensity;
extern const char* const InfoGraphSym1;
extern const char* const InfoGraphSym2;

// The symmetry graphs show the tolerance bands of the teach row selected for teaching.
inline constexpr int kSym1ToleranceColor = 0xFF0080;
inline constexpr int kSym2ToleranceColor = 0x008040;
void SetToleranceRangeSymmetry();

// The density tolerance band of a teach row, kept inside 0..4096 (computed wide enough not to wrap).
inline constexpr int kDensityFullScale = 4096;
struct DensityLimits {
    long upper, lower;
};
DensityLimits DensityLimitsOf(unsigned short density, unsigned short tolerance);
// The density chart's y range: 0..4096, or with auto zoom the history's range widened by 25 on each side
// that has room.
inline constexpr double kZoomMargin = 25.0;
struct DensityRange {
    double min, max;
};
DensityRange DensityYRange(std::span<const double> history, int scaleMode);

void GetData();
// The live display of one frame: the frame variables, the displays, the histories and the charts.
void ShowFrame(const Frame& frame);
// A measurement into the displays and the histories; without one, the frame variables.
void SetPanelData(const Measurement& m);
void SetPanelData();
void ShowGraph();
void DispVis();

// Array routines on doubles. Shift moves x by k places into y (x and y may be the same array); both
// return 0, or -20003 when n <= 0; Shift returns -20102 when |k| >= n (y unchanged).
int Shift(const double* x, int n, int k, double* y);
int Copy1D(const double* x, int n, double* y);

int CBF_SelectSource(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_DispChL(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_DispChC(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_DispChR(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_BarChL(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_BarChC(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_BarChR(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_DispAktMaxChL(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_DispAktMaxChC(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_DispAktMaxChR(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_DispDensity(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_DispSym1(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_DispSym2(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_DispVec(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_DispStatus(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_GraphRaw1(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_GraphDensity(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_GraphSym1(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_GraphSym2(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
