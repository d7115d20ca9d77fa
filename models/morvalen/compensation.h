// The arithmetic of the compensation pages: drift curves, set points, compensation factors and the y-axis
// ranges of their charts. Pure functions, no user interface.
#pragma once

#include <span>

inline constexpr int kCurvePoints = 100;  // temperature indices 0..99
inline constexpr int kMaxTempIndex = 99;
inline constexpr int kPointsPerScreen = 101;
inline constexpr int kCoefsPerChannel = 5;  // X4, X3, X2, X1, T
inline constexpr int kRangeMargin = 50;     // added below and above every chart's extremes
inline constexpr int kFactorOne = 1024;     // factor 1.0 in the sensor's fixed point

// Floating point to the sensor's unsigned 16-bit numbers: truncated toward zero and taken modulo 65536,
// never clamped; a value that is not finite or whose magnitude is 2^63 or more gives 0.
unsigned short ToUint16(double x);

// X4·i⁴ + X3·i³ + X2·i² + X1·i + T with the powers as exact integers, added left to right.
// coef holds X4, X3, X2, X1, T.
double DriftValue(std::span<const double, kCoefsPerChannel> coef, int i);
void DriftCurve(std::span<const double, kCoefsPerChannel> coef, std::span<double, kCurvePoints> curve);

// The set point of a curve value: the value as an unsigned 16-bit number.
inline unsigned short SetPoint(double curveValue) {
    return ToUint16(curveValue);
}

// The factor that brings curveValue back to the set point: (sp·1024) / curveValue in double precision,
// converted like every other number sent to the sensor (0 for a zero curve value).
unsigned short CompensationFactor(unsigned short setPoint, double curveValue);

struct YRange {
    double low;
    double high;
};

// Integer extremes of the three- and single-channel pages' charts. They start at min 10000 and max -10000,
// so a curve entirely above 10000 (or below -10000) leaves that end at the start value.
struct IntExtremes {
    int min = 10000;
    int max = -10000;
};
// Drift values count truncated toward zero (saturated to 32 bits); values that are not finite are skipped.
IntExtremes DriftExtremes(std::span<const double> curve);
IntExtremes FactorExtremes(std::span<const unsigned short> factors);
IntExtremes Combine(IntExtremes a, IntExtremes b);
// [min - 50, max + 50]
YRange RangeOf(IntExtremes e);

// The six-channel page's drift chart: exact extremes of all values (start values ±10000, values that are
// not finite skipped), widened by 50.
YRange FloatDriftRange(std::span<const double> values);
