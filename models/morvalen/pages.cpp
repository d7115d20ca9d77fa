#include "pages.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

// ---------------------------------------------------------------------------------------------------------
// Channels and pages

namespace {

constexpr ChannelDef kChR{"R", kChannelR, kChannelR, 0xE00000};
constexpr ChannelDef kChG{"G", kChannelG, kChannelG, 0x00A000};
constexpr ChannelDef kChB{"B", kChannelB, kChannelB, 0x0040FF};
constexpr ChannelDef kChRef{"REF", kChannelRef, kChannelRef, 0xFF8C00};
constexpr ChannelDef kChDir{"DIR", kChannelDir, kChannelDir, 0xC000C0};
constexpr ChannelDef kChDif{"DIF", kChannelDif, kChannelDif, 0x00A0A0};
// RAW shares the R coefficients but has its own curves.
constexpr ChannelDef kChRaw{"RAW", kChannelRaw, kChannelR, 0xE00000};

// Pages 1, 4 and 5: R, G, B whole, each into its own block at 0x1400, 0x1500, 0x1600.
constexpr PageDescriptor RgbBlocksPage(int page) {
    return {.page = page,
            .kind = kThreeChannelPage,
            .channelCount = 3,
            .channels = {&kChR, &kChG, &kChB},
            .combined = kCombinedRgb,
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
                                .combined = kCombinedRgb,
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
                                .combined = kCombinedRgbRdd,
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
            .combined = kNoCombinedArrays,
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

// The combined array of `d`: `array3` (rgb, cfRgb) or `array6` (rgbRdd, cfRgbRdd); empty where it has none.
template <typename T, std::size_t N3, std::size_t N6>
std::span<T> CombinedOf(const PageDescriptor& d, T (&array3)[N3], T (&array6)[N6]) {
    switch (d.combined) {
        case kCombinedRgb:
            return array3;
        case kCombinedRgbRdd:
            return array6;
        case kNoCombinedArrays:
            break;
    }
    return {};
}

}  // namespace

std::span<double> PageState::Combined(const PageDescriptor& d) {
    return CombinedOf(d, rgb, rgbRdd);
}
std::span<const double> PageState::Combined(const PageDescriptor& d) const {
    return CombinedOf(d, rgb, rgbRdd);
}
std::span<unsigned short> PageState::CfCombined(const PageDescriptor& d) {
    return CombinedOf(d, cfRgb, cfRgbRdd);
}
std::span<const unsigned short> PageState::CfCombined(const PageDescriptor& d) const {
    return CombinedOf(d, cfRgb, cfRgbRdd);
}

const PageDescriptor* PageDescriptorFor(int page) {
    return page >= 1 && page <= 7 ? &Page(page) : nullptr;
}

void ComputeDriftCurves(PageState& s, const PageDescriptor& d) {
    for (int c = 0; c < d.channelCount; ++c) DriftCurve(s.Coefs(*d.channels[c]), s.Curve(*d.channels[c]));
    const std::span<double> combined = s.Combined(d);
    if (!combined.empty())
        for (int i = 0; i < kCurvePoints; ++i)
            for (int c = 0; c < d.channelCount; ++c)
                combined[d.channelCount * i + c] = s.Curve(*d.channels[c])[i];
}

void ComputeFactorCurves(PageState& s, const PageDescriptor& d, std::span<const unsigned short> setPoints) {
    const std::span<unsigned short> combined = s.CfCombined(d);
    for (int i = 0; i < kCurvePoints; ++i) {
        for (int c = 0; c < d.channelCount; ++c) {
            const unsigned short f = CompensationFactor(setPoints[c], s.Curve(*d.channels[c])[i]);
            s.Factors(*d.channels[c])[i] = f;
            if (!combined.empty()) combined[d.channelCount * i + c] = f;
        }
    }
}

namespace {
std::string Number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", v);
    return text;
}
}  // namespace

std::string TableProblem(const PageState& s, const PageDescriptor& d, int index) {
    constexpr double kLimit = 65536.0;
    for (int c = 0; c < d.channelCount; ++c) {
        const ChannelDef& ch = *d.channels[c];
        const std::span<const double, kCurvePoints> curve = s.Curve(ch);
        const std::string channel = std::string("channel ") + ch.name + ": ";
        const double at = curve[std::size_t(index)];
        if (!(at >= 0 && at < kLimit))
            return channel + "the set point would be " + Number(at) +
                   " (the drift curve at temperature index " + std::to_string(index) +
                   "), outside 0 to 65535";
        const double setPoint = std::trunc(at);
        if (setPoint == 0) continue;  // every factor 0, whatever the curve: an empty page sends zeros
        for (int i = 0; i < kCurvePoints; ++i) {
            const double v = curve[std::size_t(i)];
            const std::string where = " at temperature index " + std::to_string(i);
            if (!std::isfinite(v) || v <= 0)
                return channel + "the drift curve is " + (std::isfinite(v) ? Number(v) : "not a number") +
                       where + ", so no factor brings it to the set point";
            const double factor = setPoint * kFactorOne / v;
            if (!(factor < kLimit))
                return channel + "the factor" + where + " would be " + Number(std::trunc(factor)) +
                       " (1024 is 1.0), more than 65535";
        }
    }
    return {};
}

void SetCoefficients(PageState& s, const PageDescriptor& d, std::span<const double> coefs) {
    for (int c = 0; c < d.channelCount; ++c)
        for (int t = 0; t < kCoefsPerChannel; ++t)
            s.Coefs(*d.channels[c])[t] = coefs[kCoefsPerChannel * c + t];
}

void LayOutSendBuf(PageState& s, const PageDescriptor& d) {
    for (int c = 0; c < d.channelCount; ++c)
        std::copy_n(s.Factors(*d.channels[c]).begin(), d.valuesPerChannel,
                    s.sendBuf + d.valuesPerChannel * c);
}

double RoundCoefficient(double value, int term) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", kCoefficientDecimals[term], value);
    return std::strtod(text, nullptr);
}
