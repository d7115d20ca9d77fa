// The compensation arithmetic: conversion to the sensor's 16-bit numbers, drift curves, factors and the
// chart ranges.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "compensation.h"
#include "pages.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(ToUint16, TruncatesTowardZero) {
    EXPECT_EQ(ToUint16(1234.9), 1234);
    EXPECT_EQ(ToUint16(0.999), 0);
    EXPECT_EQ(ToUint16(-0.5), 0);
    EXPECT_EQ(ToUint16(-0.0), 0);
    EXPECT_EQ(ToUint16(65535.99), 65535);
}

TEST(ToUint16, WrapsModulo65536WithoutClamping) {
    EXPECT_EQ(ToUint16(-3.7), 65533);
    EXPECT_EQ(ToUint16(-1.0), 65535);
    EXPECT_EQ(ToUint16(70000.7), 4464);
    EXPECT_EQ(ToUint16(65536.0), 0);
    EXPECT_EQ(ToUint16(-65536.5), 0);
    EXPECT_EQ(ToUint16(4294967296.0 + 7.0), 7);
    // Large but below 2^63: the low 16 bits of the exact integer.
    EXPECT_EQ(ToUint16(0x1p62 + 0x1p20 + 5.0 * 0x1p11), (5u << 11) & 0xFFFF);
}

TEST(ToUint16, NonFiniteAndHugeGiveZero) {
    EXPECT_EQ(ToUint16(kNaN), 0);
    EXPECT_EQ(ToUint16(kInf), 0);
    EXPECT_EQ(ToUint16(-kInf), 0);
    EXPECT_EQ(ToUint16(0x1p63), 0);
    EXPECT_EQ(ToUint16(-0x1p63), 0);
    EXPECT_EQ(ToUint16(1e300), 0);
    // Just below 2^63 still converts: the largest double under 2^63 is a multiple of 1024.
    EXPECT_EQ(ToUint16(std::nextafter(0x1p63, 0.0)), 0xFC00);
}

TEST(SetPoint, IsTheCurveValueAsUint16) {
    EXPECT_EQ(SetPoint(1234.9), 1234);
    EXPECT_EQ(SetPoint(-0.5), 0);
    EXPECT_EQ(SetPoint(-3.7), 65533);
    EXPECT_EQ(SetPoint(kNaN), 0);
}

TEST(DriftValue, IndexZeroIsTheConstantTerm) {
    const double coef[5] = {3.5, -2.25, 7.0, 11.0, 500.125};
    EXPECT_EQ(DriftValue(coef, 0), 500.125);
}

TEST(DriftValue, UsesExactIntegerPowersAtIndex99) {
    const double coef[5] = {-1.791e-07, -6.985e-05, -0.004122, 1.613, 1745.534};
    // 99^2 = 9801, 99^3 = 970299, 99^4 = 96059601, each exact; the terms added left to right.
    double expected = -1.791e-07 * 96059601.0;
    expected += -6.985e-05 * 970299.0;
    expected += -0.004122 * 9801.0;
    expected += 1.613 * 99.0;
    expected += 1745.534;
    EXPECT_EQ(DriftValue(coef, 99), expected);

    // These coefficients round differently when summed right to left or evaluated by Horner's scheme.
    double reversed = 1745.534;
    reversed += 1.613 * 99.0;
    reversed += -0.004122 * 9801.0;
    reversed += -6.985e-05 * 970299.0;
    reversed += -1.791e-07 * 96059601.0;
    const double horner =
        (((-1.791e-07 * 99.0 + -6.985e-05) * 99.0 + -0.004122) * 99.0 + 1.613) * 99.0 + 1745.534;
    EXPECT_NE(DriftValue(coef, 99), reversed);
    EXPECT_NE(DriftValue(coef, 99), horner);
}

TEST(DriftValue, PureFourthPowerIsExact) {
    const double coef[5] = {1.0, 0.0, 0.0, 0.0, 0.0};
    EXPECT_EQ(DriftValue(coef, 99), 96059601.0);
    EXPECT_EQ(DriftValue(coef, 50), 6250000.0);
}

TEST(DriftCurve, FillsAllHundredIndices) {
    const double coef[5] = {0.0, 0.0, 0.5, -2.0, 1000.0};
    std::vector<double> curve(kCurvePoints, -1.0);
    DriftCurve(coef, std::span<double, kCurvePoints>(curve.data(), kCurvePoints));
    for (int i = 0; i < kCurvePoints; ++i) EXPECT_EQ(curve[i], 0.5 * i * i - 2.0 * i + 1000.0) << "i = " << i;
}

TEST(DriftCurve, NonFiniteCoefficientsFlowThrough) {
    const double coef[5] = {0.0, 0.0, 0.0, 0.0, kInf};
    std::vector<double> curve(kCurvePoints);
    DriftCurve(coef, std::span<double, kCurvePoints>(curve.data(), kCurvePoints));
    EXPECT_TRUE(std::isinf(curve[0]));
    EXPECT_TRUE(std::isinf(curve[99]));
}

TEST(CompensationFactor, ScalesTheSetPointByTheCurve) {
    EXPECT_EQ(CompensationFactor(1000, 1000.0), 1024);
    EXPECT_EQ(CompensationFactor(1000, 800.0), 1280);
    EXPECT_EQ(CompensationFactor(1000, 2000.0), 512);
    // At the index the set point was taken from, 1024 or just below.
    EXPECT_EQ(CompensationFactor(SetPoint(1234.9), 1234.9), 1023);
}

TEST(CompensationFactor, WrapsLikeEveryOtherNumber) {
    EXPECT_EQ(CompensationFactor(1000, -100.0), 55296);      // q = -10240
    EXPECT_EQ(CompensationFactor(65535, 1.0), 64512);        // q = 67107840, exact numerator
    EXPECT_EQ(CompensationFactor(1, -1024.0 / 5.5), 65531);  // q = -5.5, truncated to -5
}

TEST(CompensationFactor, ZeroCurveOrSetPointGivesZero) {
    EXPECT_EQ(CompensationFactor(0, 0.0), 0);     // 0/0
    EXPECT_EQ(CompensationFactor(1000, 0.0), 0);  // x/0
    EXPECT_EQ(CompensationFactor(1000, -0.0), 0);
    EXPECT_EQ(CompensationFactor(0, 1234.0), 0);
    EXPECT_EQ(CompensationFactor(1000, kNaN), 0);
    EXPECT_EQ(CompensationFactor(1000, 1e-300), 0);  // quotient beyond 2^63
}

TEST(DriftRange, ConstantCurveGetsFiftyEitherSide) {
    const std::vector<double> curve(kCurvePoints, 500.0);
    const YRange r = RangeOf(DriftExtremes(curve));
    EXPECT_EQ(r.low, 450.0);
    EXPECT_EQ(r.high, 550.0);
}

TEST(DriftRange, ExtremesAreTruncatedTowardZero) {
    std::vector<double> curve(kCurvePoints, 4.0);
    curve[10] = -3.7;
    curve[70] = 12.2;
    const IntExtremes e = DriftExtremes(curve);
    EXPECT_EQ(e.min, -3);
    EXPECT_EQ(e.max, 12);
    const YRange r = RangeOf(e);
    EXPECT_EQ(r.low, -53.0);
    EXPECT_EQ(r.high, 62.0);
}

TEST(DriftRange, StartValuesBoundTheRange) {
    std::vector<double> high(kCurvePoints);
    for (int i = 0; i < kCurvePoints; ++i) high[i] = 10500.0 + 500.0 * i / 99.0;
    const YRange r = RangeOf(DriftExtremes(high));
    EXPECT_EQ(r.low, 9950.0);  // min stays at its start value 10000
    EXPECT_EQ(r.high, 11050.0);

    const std::vector<double> low(kCurvePoints, -20000.0);
    const YRange l = RangeOf(DriftExtremes(low));
    EXPECT_EQ(l.low, -20050.0);
    EXPECT_EQ(l.high, -9950.0);  // max stays at -10000
}

TEST(DriftRange, NonFiniteValuesNeverMoveAnExtreme) {
    std::vector<double> curve(kCurvePoints, 100.0);
    curve[3] = kNaN;
    curve[4] = kInf;
    curve[5] = -kInf;
    const YRange r = RangeOf(DriftExtremes(curve));
    EXPECT_EQ(r.low, 50.0);
    EXPECT_EQ(r.high, 150.0);
}

TEST(DriftRange, ValuesBeyond32BitsSaturate) {
    std::vector<double> curve(kCurvePoints, 0.0);
    curve[0] = -1e12;
    curve[1] = 1e12;
    const IntExtremes e = DriftExtremes(curve);
    EXPECT_EQ(e.min, std::numeric_limits<int>::min());
    EXPECT_EQ(e.max, std::numeric_limits<int>::max());
    const YRange r = RangeOf(e);  // widened without overflowing
    EXPECT_LT(r.low, -2147483648.0);
    EXPECT_GT(r.high, 2147483647.0);
}

TEST(DriftRange, CombinedTakesTheOuterChannelExtremes) {
    const std::vector<double> r(kCurvePoints, 500.0);
    std::vector<double> g(kCurvePoints, 20.5);
    g[50] = -3.7;
    const std::vector<double> b(kCurvePoints, 10800.0);
    const IntExtremes all =
        Combine(Combine(Combine(IntExtremes{}, DriftExtremes(r)), DriftExtremes(g)), DriftExtremes(b));
    const YRange range = RangeOf(all);
    EXPECT_EQ(range.low, -53.0);
    EXPECT_EQ(range.high, 10850.0);
}

TEST(SixChannelDriftRange, FollowsTheExactExtremes) {
    std::vector<double> values(6 * kCurvePoints, 5.0);
    values[6 * 20 + 3] = -3.7;
    values[6 * 99 + 5] = 12.2;
    const YRange r = FloatDriftRange(values);
    EXPECT_DOUBLE_EQ(r.low, -53.7);
    EXPECT_DOUBLE_EQ(r.high, 62.2);
}

TEST(SixChannelDriftRange, StartsAtTenThousandAndSkipsNonFinite) {
    std::vector<double> values(6 * kCurvePoints, 12000.0);
    values[7] = kNaN;
    values[8] = -kInf;
    const YRange r = FloatDriftRange(values);
    EXPECT_EQ(r.low, 9950.0);
    EXPECT_EQ(r.high, 12050.0);
}

TEST(FactorRange, ConstantFactorsAndTheStartValues) {
    const std::vector<unsigned short> ones(kCurvePoints, 1024);
    const YRange r = RangeOf(FactorExtremes(ones));
    EXPECT_EQ(r.low, 974.0);
    EXPECT_EQ(r.high, 1074.0);

    const std::vector<unsigned short> big(kCurvePoints, 55296);
    const YRange b = RangeOf(FactorExtremes(big));
    EXPECT_EQ(b.low, 9950.0);  // min never leaves 10000
    EXPECT_EQ(b.high, 55346.0);
}

TEST(FactorRange, SpansEveryValue) {
    std::vector<unsigned short> f(kCurvePoints, 1024);
    f[0] = 512;
    f[99] = 1280;
    const YRange r = RangeOf(FactorExtremes(f));
    EXPECT_EQ(r.low, 462.0);
    EXPECT_EQ(r.high, 1330.0);
}

// A table goes to the sensor only when every set point and factor is the number it means: none wrapped
// round 16 bits, none from a curve that no factor can bring back.
TEST(TableProblem, NamesTheFirstNumberTheSensorCannotHold) {
    const PageDescriptor& d = *PageDescriptorFor(1);  // R, G, B: X4, X3, X2, X1, T each
    auto problem = [&](const std::vector<double>& coefs, int index) {
        auto s = std::make_unique<PageState>();
        SetCoefficients(*s, d, coefs);
        ComputeDriftCurves(*s, d);
        return TableProblem(*s, d, index);
    };
    EXPECT_EQ(problem(std::vector<double>(15, 0.0), 0), "") << "an empty page sends zeros";
    EXPECT_EQ(problem({0, 0, 0, 0, 1000, 0, 0, 0, 0, 500, 0, 0, 0, 0, 2000}, 40), "");
    EXPECT_EQ(problem({0, 0, 0, 0, 70000, 0, 0, 0, 0, 500, 0, 0, 0, 0, 2000}, 0),
              "channel R: the set point would be 70000 (the drift curve at temperature index 0), outside 0 "
              "to 65535");
    EXPECT_EQ(
        problem({0, 0, 0, 0, 1000, 0, 0, 0, 0, -5, 0, 0, 0, 0, 2000}, 7),
        "channel G: the set point would be -5 (the drift curve at temperature index 7), outside 0 to 65535");
    // 50 - i reaches 0 at index 50.
    EXPECT_EQ(
        problem({0, 0, 0, -1, 50, 0, 0, 0, 0, 500, 0, 0, 0, 0, 2000}, 0),
        "channel R: the drift curve is 0 at temperature index 50, so no factor brings it to the set point");
    // 1000 - 10·i: at index 99 the curve is 10, and 1000 · 1024 / 10 = 102400.
    EXPECT_EQ(problem({0, 0, 0, -10, 1000, 0, 0, 0, 0, 500, 0, 0, 0, 0, 2000}, 0),
              "channel R: the factor at temperature index 99 would be 102400 (1024 is 1.0), more than 65535");
}

}  // namespace
