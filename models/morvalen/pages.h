// The compensation pages as data: the shared coefficient, curve and factor globals, one constant descriptor
// per page (its channels and the layout of its table in the sensor), and the calculations a page runs.
// No panels: the windows and the command-line tool use the same descriptors and calculations.
#pragma once

#include <span>

#include "compensation.h"

// ---------------------------------------------------------------------------------------------------------
// Shared state: one set for the whole program, zero at start, overwritten whole by each calculation.
extern double RX4, RX3, RX2, RX1, RT;  // R, and RAW on the single-channel pages
extern double GX4, GX3, GX2, GX1, GT;
extern double BX4, BX3, BX2, BX1, BT;
extern double REFX4, REFX3, REFX2, REFX1, REFT;
extern double DIRX4, DIRX3, DIRX2, DIRX1, DIRT;
extern double DIFX4, DIFX3, DIFX2, DIFX1, DIFT;

// Drift curves, index = temperature index.
extern double dataRot[100], dataGruen[100], dataBlau[100], dataRef[100], dataDir[100], dataDif[100],
    dataRaw[100];
// Factor curves (1024 = 1.0).
extern unsigned short dataCfRot[100], dataCfGruen[100], dataCfBlau[100], dataCfRef[100], dataCfDir[100],
    dataCfDif[100], dataCfRaw[100];
// Combined arrays for the multi-trace charts: element channels·i + c.
extern double dataRGB[300], dataRGBRDD[600];
extern unsigned short dataCfRGB[300], dataCfRGBRDD[600];
// The compensation table of the page being sent (at most 480 values are used).
extern unsigned short dataCfSendBuf[600];
// ---------------------------------------------------------------------------------------------------------
// Page descriptors
enum PageKind : int { kThreeChannelPage, kSixChannelPage, kSingleChannelPage };

struct ChannelDef {
    const char* name;                // "R", "G", "B", "REF", "DIR", "DIF", "RAW"
    double* coef[kCoefsPerChannel];  // X4, X3, X2, X1, T
    double* curve;                   // drift curve, 100 values
    unsigned short* factors;         // factor curve, 100 values
    int color;                       // trace colour
};

struct PageDescriptor {
    int page;  // 1..7
    PageKind kind;
    int channelCount;  // 3, 6 or 1
    const ChannelDef* channels[6];
    double* combined;            // dataRGB / dataRGBRDD, nullptr on single-channel pages
    unsigned short* cfCombined;  // dataCfRGB / dataCfRGBRDD, nullptr on single-channel pages

    // Transfer of the compensation table.
    int prepareCount;
    unsigned short prepareAddress[3];  // in sending order
    int valuesPerChannel;              // 100, or 80 where only indices 0..79 are sent
    int writeFrames;                   // write orders of 10 factors each
    int framesPerBase;                 // frames sent from one writeBase before the next one is used
    unsigned short writeBase[3];
    double progressStep;
};
inline constexpr int kFactorsPerFrame = 10;

// Page 1..7, or nullptr.
const PageDescriptor* PageDescriptorFor(int page);
// Write frame k (0-based): its first element of dataCfSendBuf and its table address.
inline int WriteFrameStart(int k) {
    return kFactorsPerFrame * k;
}
inline unsigned short WriteFrameAddress(const PageDescriptor& d, int k) {
    return static_cast<unsigned short>(d.writeBase[k / d.framesPerBase] +
                                       kFactorsPerFrame * (k % d.framesPerBase));
}
// The page's coefficients (X4..T per channel, channel by channel, as an equation file holds them) into the
// channels' globals.
void SetCoefficients(const PageDescriptor& d, std::span<const double> coefs);
// The page's drift curves (and the combined array) from its channels' coefficients.
void ComputeDriftCurves(const PageDescriptor& d);
// The page's factor curves (and the combined array) from its drift curves and one set point per channel.
void ComputeFactorCurves(const PageDescriptor& d, std::span<const unsigned short> setPoints);
// Lays the page's factor curves out in dataCfSendBuf: channel c's first valuesPerChannel factors at
// valuesPerChannel·c.
void LayOutSendBuf(const PageDescriptor& d);

// The coefficient fields of a page show X4 and X3 with 10 decimals, X2 with 8, X1 and T with 6, so a
// coefficient entered or loaded into a page is rounded to these; the command-line tool rounds alike.
inline constexpr int kCoefficientDecimals[kCoefsPerChannel] = {10, 10, 8, 6, 6};
double RoundCoefficient(double value, int term);
