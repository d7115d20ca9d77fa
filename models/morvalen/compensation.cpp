#include "compensation.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>

unsigned short ToUint16(double x) {
    if (!std::isfinite(x) || std::fabs(x) >= 0x1p63) return 0;
    const auto truncated = static_cast<std::int64_t>(x);  // toward zero
    return static_cast<unsigned short>(static_cast<std::uint64_t>(truncated) & 0xFFFFu);
}

double DriftValue(std::span<const double, kCoefsPerChannel> coef, int i) {
    const std::int64_t i2 = std::int64_t{i} * i;
    const std::int64_t i3 = i2 * i;
    const std::int64_t i4 = i3 * i;
    double value = coef[0] * static_cast<double>(i4);
    value += coef[1] * static_cast<double>(i3);
    value += coef[2] * static_cast<double>(i2);
    value += coef[3] * static_cast<double>(i);
    value += coef[4];
    return value;
}

void DriftCurve(std::span<const double, kCoefsPerChannel> coef, std::span<double, kCurvePoints> curve) {
    for (int i = 0; i < kCurvePoints; ++i) curve[i] = DriftValue(coef, i);
}

unsigned short CompensationFactor(unsigned short setPoint, double curveValue) {
    const auto numerator = static_cast<std::uint32_t>(setPoint) << 10;
    return ToUint16(static_cast<double>(numerator) / curveValue);
}

namespace {

// Truncation toward zero into 32 bits; values beyond the 32-bit range stop at its ends.
int TruncateToInt(double v) {
    const double t = std::trunc(v);
    if (t <= static_cast<double>(INT_MIN)) return INT_MIN;
    if (t >= static_cast<double>(INT_MAX)) return INT_MAX;
    return static_cast<int>(t);
}

}  // namespace

IntExtremes DriftExtremes(std::span<const double> curve) {
    IntExtremes e;
    for (double v : curve) {
        if (!std::isfinite(v)) continue;
        if (e.min > v) e.min = TruncateToInt(v);
        if (e.max < v) e.max = TruncateToInt(v);
    }
    return e;
}

IntExtremes FactorExtremes(std::span<const unsigned short> factors) {
    IntExtremes e;
    for (int f : factors) {
        if (f < e.min) e.min = f;
        if (f > e.max) e.max = f;
    }
    return e;
}

IntExtremes Combine(IntExtremes a, IntExtremes b) {
    return {std::min(a.min, b.min), std::max(a.max, b.max)};
}

YRange RangeOf(IntExtremes e) {
    return {static_cast<double>(e.min) - kRangeMargin, static_cast<double>(e.max) + kRangeMargin};
}

YRange FloatDriftRange(std::span<const double> values) {
    double min = 10000.0, max = -10000.0;
    for (double v : values) {
        if (!std::isfinite(v)) continue;
        if (min > v) min = v;
        if (max < v) max = v;
    }
    return {min - kRangeMargin, max + kRangeMargin};
}
