// The compensation pages as data: one constant descriptor per page (its channels and the layout of its
// table in the sensor), a page state that holds what a page computes, and the calculations a page runs on a
// state. No panels: the windows and the command-line tool use the same descriptors and calculations, each
// on its own state.
#pragma once

#include <span>
#include <string>

#include "compensation.h"

// ---------------------------------------------------------------------------------------------------------
// Channels and page descriptors

// The measuring channels. RAW, the channel of the single-channel pages, has curves of its own but works on
// R's coefficients.
enum Channel : int { kChannelR, kChannelG, kChannelB, kChannelRef, kChannelDir, kChannelDif, kChannelRaw };
inline constexpr int kChannels = 7;
inline constexpr int kCoefficientSets = 6;  // R (RAW too), G, B, REF, DIR, DIF

struct ChannelDef {
    const char* name;      // "R", "G", "B", "REF", "DIR", "DIF", "RAW"
    Channel channel;       // its drift and factor curves
    Channel coefficients;  // its coefficient set
    int color;             // trace colour
};

enum PageKind : int { kThreeChannelPage, kSixChannelPage, kSingleChannelPage };

// The arrays that hold all of a page's curves for its multi-trace charts.
enum CombinedArrays : int { kNoCombinedArrays, kCombinedRgb, kCombinedRgbRdd };

struct PageDescriptor {
    int page;  // 1..7
    PageKind kind;
    int channelCount;  // 3, 6 or 1
    const ChannelDef* channels[6];
    CombinedArrays combined;  // none on single-channel pages

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
inline constexpr int kSendBufSize = 600;  // at most 480 values are used

// ---------------------------------------------------------------------------------------------------------
// Page state: what the calculations of a page work on, zero at start and overwritten whole by each
// calculation. A value: the window has one, each run of the command-line tool its own.
struct PageState {
    double coefs[kCoefficientSets][kCoefsPerChannel]{};  // X4, X3, X2, X1, T
    double curves[kChannels][kCurvePoints]{};            // drift curves, index = temperature index
    unsigned short factors[kChannels][kCurvePoints]{};   // factor curves (1024 = 1.0)
    // Combined arrays for the multi-trace charts: element channels·i + c.
    double rgb[3 * kCurvePoints]{}, rgbRdd[6 * kCurvePoints]{};
    unsigned short cfRgb[3 * kCurvePoints]{}, cfRgbRdd[6 * kCurvePoints]{};
    // The compensation table of the page being sent.
    unsigned short sendBuf[kSendBufSize]{};

    std::span<double, kCoefsPerChannel> Coefs(const ChannelDef& ch) { return coefs[ch.coefficients]; }
    std::span<const double, kCoefsPerChannel> Coefs(const ChannelDef& ch) const {
        return coefs[ch.coefficients];
    }
    std::span<double, kCurvePoints> Curve(const ChannelDef& ch) { return curves[ch.channel]; }
    std::span<const double, kCurvePoints> Curve(const ChannelDef& ch) const { return curves[ch.channel]; }
    std::span<unsigned short, kCurvePoints> Factors(const ChannelDef& ch) { return factors[ch.channel]; }
    std::span<const unsigned short, kCurvePoints> Factors(const ChannelDef& ch) const {
        return factors[ch.channel];
    }
    // The page's combined arrays, empty where it has none.
    std::span<double> Combined(const PageDescriptor& d);
    std::span<const double> Combined(const PageDescriptor& d) const;
    std::span<unsigned short> CfCombined(const PageDescriptor& d);
    std::span<const unsigned short> CfCombined(const PageDescriptor& d) const;
};

// Page 1..7, or nullptr.
const PageDescriptor* PageDescriptorFor(int page);
// Write frame k (0-based): its first element of the send buffer and its table address.
inline int WriteFrameStart(int k) {
    return kFactorsPerFrame * k;
}
inline unsigned short WriteFrameAddress(const PageDescriptor& d, int k) {
    return static_cast<unsigned short>(d.writeBase[k / d.framesPerBase] +
                                       kFactorsPerFrame * (k % d.framesPerBase));
}
// The page's coefficients (X4..T per channel, channel by channel, as an equation file holds them) into the
// channels' coefficient sets.
void SetCoefficients(PageState& s, const PageDescriptor& d, std::span<const double> coefs);
// The page's drift curves (and the combined array) from its channels' coefficients.
void ComputeDriftCurves(PageState& s, const PageDescriptor& d);
// The page's factor curves (and the combined array) from its drift curves and one set point per channel.
void ComputeFactorCurves(PageState& s, const PageDescriptor& d, std::span<const unsigned short> setPoints);
// Why page d's table, with its set points taken from the drift curves at temperature index `index` as a
// send takes them, would not be what the curves ask for: the first channel and index where a set point or a
// factor lies outside the 0 to 65535 of the sensor's numbers (it would go out wrapped round), or where no
// factor brings a set point above 0 back (the drift curve is 0, negative or not a number there). Empty when
// every number is true; a set point of 0 makes every factor 0, as a page without coefficients sends.
std::string TableProblem(const PageState& s, const PageDescriptor& d, int index);
// Lays the page's factor curves out in the send buffer: channel c's first valuesPerChannel factors at
// valuesPerChannel·c.
void LayOutSendBuf(PageState& s, const PageDescriptor& d);

// The coefficient fields of a page show X4 and X3 with 10 decimals, X2 with 8, X1 and T with 6, so a
// coefficient entered or loaded into a page is rounded to these; the command-line tool rounds alike.
inline constexpr int kCoefficientDecimals[kCoefsPerChannel] = {10, 10, 8, 6, 6};
double RoundCoefficient(double value, int term);
