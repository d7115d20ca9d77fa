#include "pages.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

double RX4, RX3, RX2, RX1, RT;
double GX4, GX3, GX2, GX1, GT;
double BX4, BX3, BX2, BX1, BT;
double REFX4, REFX3, REFX2, REFX1, REFT;
double DIRX4, DIRX3, DIRX2, DIRX1, DIRT;
double DIFX4, DIFX3, DIFX2, DIFX1, DIFT;

double dataRot[100], dataGruen[100], dataBlau[100], dataRef[100], dataDir[100], dataDif[100], dataRaw[100];
unsigned short dataCfRot[100], dataCfGruen[100], dataCfBlau[100], dataCfRef[100], dataCfDir[100],
    dataCfDif[100], dataCfRaw[100];
double dataRGB[300], dataRGBRDD[600];
unsigned short dataCfRGB[300], dataCfRGBRDD[600];
unsigned short dataCfSendBuf[600];

// ---------------------------------------------------------------------------------------------------------
// Channels and pages

namespace {

constexpr ChannelDef kChR{"R", {&RX4, &RX3, &RX2, &RX1, &RT}, dataRot, dataCfRot, 0xE00000};
constexpr ChannelDef kChG{"G", {&GX4, &GX3, &GX2, &GX1, &GT}, dataGruen, dataCfGruen, 0x00A000};
constexpr ChannelDef kChB{"B", {&BX4, &BX3, &BX2, &BX1, &BT}, dataBlau, dataCfBlau, 0x0040FF};
constexpr ChannelDef kChRef{"REF", {&REFX4, &REFX3, &REFX2, &REFX1, &REFT}, dataRef, dataCfRef, 0xFF8C00};
constexpr ChannelDef kChDir{"DIR", {&DIRX4, &DIRX3, &DIRX2, &DIRX1, &DIRT}, dataDir, dataCfDir, 0xC000C0};
constexpr ChannelDef kChDif{"DIF", {&DIFX4, &DIFX3, &DIFX2, &DIFX1, &DIFT}, dataDif, dataCfDif, 0x00A0A0};
// RAW shares the R coefficients but has its own curves.
constexpr ChannelDef kChRaw{"RAW", {&RX4, &RX3, &RX2, &RX1, &RT}, dataRaw, dataCfRaw, 0xE00000};

// Pages 1, 4 and 5: R, G, B whole, each into its own block at 0x1400, 0x1500, 0x1600.
constexpr PageDescriptor RgbBlocksPage(int page) {
    return {.page = page,
            .kind = kThreeChannelPage,
            .channelCount = 3,
            .channels = {&kChR, &kChG, &kChB},
            .combined = dataRGB,
            .cfCombined = dataCfRGB,
            .prepareCount = 3,
            .prepareAddress = {0x1400, 0x1500, 0x1600},
            .valuesPerChannel = 100,
            .writeFrames = 30,
            .framesPerBase = 10,
            .writeBase = {0x1400, 0x1500, 0x1600},
            .progressStep = 33.33};
}

// Page 2: indices 0..79 of R, G, B one after the other from 0x1600.
constexpr PageDescriptor kPage2{.page = 2,
                                .kind = kThreeChannelPage,
                                .channelCount = 3,
                                .channels = {&kChR, &kChG, &kChB},
                                .combined = dataRGB,
                                .cfCombined = dataCfRGB,
                                .prepareCount = 1,
                                .prepareAddress = {0x1600},
                                .valuesPerChannel = 80,
                                .writeFrames = 24,
                                .framesPerBase = 24,
                                .writeBase = {0x1600},
                                .progressStep = 41.66};

// Page 3: indices 0..79 of all six channels one after the other from 0x1500.
constexpr PageDescriptor kPage3{.page = 3,
                                .kind = kSixChannelPage,
                                .channelCount = 6,
                                .channels = {&kChR, &kChG, &kChB, &kChRef, &kChDir, &kChDif},
                                .combined = dataRGBRDD,
                                .cfCombined = dataCfRGBRDD,
                                .prepareCount = 2,
                                .prepareAddress = {0x1500, 0x1600},
                                .valuesPerChannel = 80,
                                .writeFrames = 48,
                                .framesPerBase = 48,
                                .writeBase = {0x1500},
                                .progressStep = 20.83};

// Pages 6 and 7: the RAW curve whole at 0x1400.
constexpr PageDescriptor SingleChannelPage(int page) {
    return {.page = page,
            .kind = kSingleChannelPage,
            .channelCount = 1,
            .channels = {&kChRaw},
            .combined = nullptr,
            .cfCombined = nullptr,
            .prepareCount = 1,
            .prepareAddress = {0x1400},
            .valuesPerChannel = 100,
            .writeFrames = 10,
            .framesPerBase = 10,
            .writeBase = {0x1400},
            .progressStep = 100.0};
}

constexpr PageDescriptor kPages[7] = {RgbBlocksPage(1),    kPage2,           kPage3,
                                      RgbBlocksPage(4),    RgbBlocksPage(5), SingleChannelPage(6),
                                      SingleChannelPage(7)};

constexpr const PageDescriptor& Page(int page) {
    return kPages[page - 1];
}

std::span<double, kCurvePoints> CurveOf(const ChannelDef& ch) {
    return std::span<double, kCurvePoints>(ch.curve, kCurvePoints);
}

}  // namespace

const PageDescriptor* PageDescriptorFor(int page) {
    return page >= 1 && page <= 7 ? &Page(page) : nullptr;
}

void ComputeDriftCurves(const PageDescriptor& d) {
    for (int c = 0; c < d.channelCount; ++c) {
        const ChannelDef& ch = *d.channels[c];
        const double coef[kCoefsPerChannel] = {*ch.coef[0], *ch.coef[1], *ch.coef[2], *ch.coef[3],
                                               *ch.coef[4]};
        DriftCurve(coef, CurveOf(ch));
    }
    if (d.combined)
        for (int i = 0; i < kCurvePoints; ++i)
            for (int c = 0; c < d.channelCount; ++c)
                d.combined[d.channelCount * i + c] = d.channels[c]->curve[i];
}

void ComputeFactorCurves(const PageDescriptor& d, std::span<const unsigned short> setPoints) {
    for (int i = 0; i < kCurvePoints; ++i) {
        for (int c = 0; c < d.channelCount; ++c) {
            const unsigned short f = CompensationFactor(setPoints[c], d.channels[c]->curve[i]);
            d.channels[c]->factors[i] = f;
            if (d.cfCombined) d.cfCombined[d.channelCount * i + c] = f;
        }
    }
}

void SetCoefficients(const PageDescriptor& d, std::span<const double> coefs) {
    for (int c = 0; c < d.channelCount; ++c)
        for (int t = 0; t < kCoefsPerChannel; ++t) *d.channels[c]->coef[t] = coefs[kCoefsPerChannel * c + t];
}

void LayOutSendBuf(const PageDescriptor& d) {
    for (int c = 0; c < d.channelCount; ++c)
        std::copy_n(d.channels[c]->factors, d.valuesPerChannel, dataCfSendBuf + d.valuesPerChannel * c);
}

double RoundCoefficient(double value, int term) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", kCoefficientDecimals[term], value);
    return std::strtod(text, nullptr);
}
