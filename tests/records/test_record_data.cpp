// The lines in memory: ranges over any span (against a plain scan here), the pixel columns of a picture at
// every zoom (a one-line spike never disappears), the statistics of a range and the memory a line costs.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "record_data.h"

using namespace records;

namespace {
RecordData Flat(std::size_t lines, std::uint16_t value, std::size_t spikeAt, std::uint16_t spike) {
    RecordData d;
    for (std::size_t i = 0; i < lines; ++i) {
        Values v;
        v.fill(value);
        if (i == spikeAt) v[3] = spike;
        d.Append(1'700'000'000 + std::int64_t(i / 10), v, i + 2);  // ten lines a second
    }
    return d;
}
}  // namespace

TEST(RecordData, RangeOfAnySpanMatchesAPlainScan) {
    std::mt19937 random(7);
    RecordData d;
    std::vector<Values> lines;
    for (int i = 0; i < 300'000; ++i) {
        Values v;
        for (auto& x : v) x = std::uint16_t(random() % 50000 + 1000);
        lines.push_back(v);
        d.Append(1'700'000'000 + i, v, std::size_t(i) + 1);
    }
    for (int trial = 0; trial < 300; ++trial) {
        std::size_t a = random() % lines.size(), b = random() % lines.size();
        if (trial % 3 == 0) b = a + random() % 200;  // short spans too
        b = std::min(b, lines.size());
        if (a > b) std::swap(a, b);
        const Range r = d.RangeOf(a, b);
        for (int s = 0; s < kSignals; ++s) {
            std::uint16_t lo = 0xFFFF, hi = 0;
            for (std::size_t i = a; i < b; ++i)
                lo = std::min(lo, lines[i][s]), hi = std::max(hi, lines[i][s]);
            ASSERT_EQ(r.min[s], lo) << a << ".." << b;
            ASSERT_EQ(r.max[s], hi) << a << ".." << b;
        }
    }
}

TEST(RecordData, ASpikeJustBeforeARangeStaysOutOfIt) {
    // Lines 4,096 to 8,191 share one range a level above their groups of 64; a span from line 4,160 on (the
    // 66th group) must take that part from the groups, without line 4,096's spike.
    const RecordData d = Flat(3 * 4096, 100, 4096, 60000);
    EXPECT_EQ(d.RangeOf(4160, 3 * 4096).max[3], 100);
    EXPECT_EQ(d.RangeOf(4096, 3 * 4096).max[3], 60000);
}

TEST(RecordData, ASpikeOfOneLineShowsInItsColumnAtEveryZoom) {
    const RecordData d = Flat(100'000, 100, 77'777, 5000);
    // Line axis, all lines (the file's lines 2 to 100,001) over the width: the spike, file line 77,779, lies
    // in column floor(77,777 · W / 100,000).
    const std::pair<int, int> widths[] = {{1, 0}, {100, 77}, {1920, 1493}, {4000, 3111}, {100'000, 77'777}};
    for (const auto& [width, column] : widths) {
        const std::vector<Column> columns = ReduceToColumns(d, Axis::Line, 2, 100'002, width);
        for (int c = 0; c < width; ++c) {
            ASSERT_EQ(columns[std::size_t(c)].range.max[3], c == column ? 5000 : 100) << width << " " << c;
            // At one line a column the spike's column holds the spike alone.
            const int alone = width == 100'000 && c == column;
            ASSERT_EQ(columns[std::size_t(c)].range.min[3], alone ? 5000 : 100) << width << " " << c;
        }
    }
    // Time axis zoomed in to 1.5 s around it (ten lines a second: the spike is 7,777.7 s after the start)
    // over 300 columns: it lies 0.7 s into the view, in column 140.
    const double t0 = 1'700'000'000 + 7777.0;
    const std::vector<Column> zoomed = ReduceToColumns(d, Axis::Time, t0, t0 + 1.5, 300);
    for (int c = 0; c < 300; ++c) {
        const Column& col = zoomed[std::size_t(c)];
        if (c % 20 == 0) {
            ASSERT_EQ(col.last - col.first, 1u) << c;  // a line every 0.1 s = 20 columns
        } else {
            ASSERT_EQ(col.last, col.first) << c;
        }
        if (c == 140) {
            EXPECT_EQ(col.range.max[3], 5000);
        }
    }
    EXPECT_EQ(zoomed[140].first, 77'777u);
}

TEST(RecordData, StatisticsOfARange) {
    RecordData d;
    const std::uint16_t ch[] = {2, 4, 4, 4, 5, 5, 7, 9, 65535};
    for (int i = 0; i < 9; ++i) {
        Values v{ch[i], 0, 0, 0, 0, 0, 0, std::uint16_t(100 + i)};
        d.Append(1'000 + i, v, std::size_t(i) + 1);
    }
    // Lines 0..7: 2 4 4 4 5 5 7 9: mean 5, deviations² 9 1 1 1 0 0 4 16 = 32, /8 = 4, deviation 2.
    const auto s = d.StatsOf(0, 8);
    EXPECT_EQ(s[0].count, 8u);
    EXPECT_EQ(s[0].min, 2);
    EXPECT_EQ(s[0].max, 9);
    EXPECT_DOUBLE_EQ(s[0].mean, 5.0);
    EXPECT_DOUBLE_EQ(s[0].stddev, 2.0);
    EXPECT_DOUBLE_EQ(s[1].stddev, 0.0);
    // TEMP 100..107: mean 103.5, Σ(d²) = 2·(0.25 + 2.25 + 6.25 + 12.25) = 42, /8 = 5.25.
    EXPECT_DOUBLE_EQ(s[7].mean, 103.5);
    EXPECT_NEAR(s[7].stddev, std::sqrt(5.25), 1e-12);
    // With the 65,535: mean (40 + 65535) / 9.
    const auto all = d.StatsOf(0, 9);
    EXPECT_EQ(all[0].max, 65535);
    EXPECT_NEAR(all[0].mean, 65575.0 / 9, 1e-9);
    EXPECT_EQ(d.StatsOf(3, 3)[0].count, 0u);
}

TEST(RecordData, ALineCostsAtMost24Bytes) {
    // Ten lines a second: 16 bytes of values, 8 bytes for each second's lines, 32 bytes of ranges per 64
    // lines: 16 + 0.8 + 0.5 = 17.3 bytes; the ranges' room grows by doubling, so up to 0.5 more.
    const RecordData d = Flat(1'000'000, 5, 0, 5);
    EXPECT_GE(double(d.BytesUsed()) / 1'000'000, 17.3);
    EXPECT_LE(double(d.BytesUsed()) / 1'000'000, 17.8);
    // A day at one line a second: one stretch of lines a second apart, 16.5 bytes a line (up to 17).
    RecordData day;
    for (std::size_t i = 0; i < 86'400; ++i) day.Append(1'700'000'000 + std::int64_t(i), Values{}, i + 1);
    EXPECT_GE(double(day.BytesUsed()) / 86'400, 16.5);
    EXPECT_LE(double(day.BytesUsed()) / 86'400, 17.0);
    EXPECT_EQ(day.Second(50'000), 1'700'050'000);
    EXPECT_DOUBLE_EQ(day.Time(86'399), 1'700'086'399.0);
}

TEST(RecordData, LinesOneASecondAndLinesSharingASecondTakeTheirPlaces) {
    // A record at one line a second whose clock skips a second and twice gives a second two or three lines.
    const std::int64_t seconds[] = {100, 101, 102, 103, 103, 105, 106, 106, 106, 107};
    // Shared seconds spread their lines: the k-th of n at ceil(k · 65536 / n) / 65536 of the second.
    const double times[] = {100, 101, 102, 103, 103.5, 105, 106, 106 + 21846 / 65536.0, 106 + 43691 / 65536.0,
                            107};
    RecordData d;
    for (std::size_t i = 0; i < 10; ++i) ASSERT_TRUE(d.Append(seconds[i], Values{}, i + 1));
    for (std::size_t i = 0; i < 10; ++i) {
        EXPECT_EQ(d.Second(i), seconds[i]) << i;
        EXPECT_DOUBLE_EQ(d.Time(i), times[i]) << i;
    }
    EXPECT_EQ(d.FirstAtOrAfter(103.2), 4u);
    EXPECT_EQ(d.FirstAtOrAfter(104), 5u);
    // 70,000 lines in one second: the last stays inside it, at 65,535 / 65,536.
    for (std::size_t i = 0; i < 70'000; ++i) d.Append(108, Values{}, i + 11);
    EXPECT_DOUBLE_EQ(d.Time(d.Size() - 1), 108 + 65535 / 65536.0);
}

TEST(RecordData, ALineMoreThan68YearsFromTheFirstIsLeftOut) {
    // Seconds are kept as 32-bit offsets from the first line's: -2^31 .. 2^31 - 1 from it.
    RecordData d;
    const std::int64_t first = 3'000'000'000;
    ASSERT_TRUE(d.Append(first, Values{}, 1));
    EXPECT_FALSE(d.Append(first + 2'147'483'648, Values{}, 2));
    EXPECT_FALSE(d.Append(first - 2'147'483'649, Values{}, 3));
    EXPECT_EQ(d.Size(), 1u);
    EXPECT_TRUE(d.Append(first + 2'147'483'647, Values{}, 4));
    EXPECT_TRUE(d.Append(first - 2'147'483'648, Values{}, 5));
    EXPECT_EQ(d.Second(1), first + 2'147'483'647);
    EXPECT_EQ(d.Second(2), first - 2'147'483'648);
    EXPECT_EQ(d.FileLine(2), 5u);
}

TEST(RecordData, AClockSetBackIsNoticed) {
    RecordData d;
    d.Append(2000, Values{}, 1);
    d.Append(2001, Values{}, 2);
    EXPECT_TRUE(d.TimesAscend());
    d.Append(1990, Values{}, 3);
    EXPECT_FALSE(d.TimesAscend());
}

TEST(RecordData, MillionsOfLinesBeyondTheirReservationKeepTheirRanges) {
    // Room made for 4.3 M lines (their first level of ranges is over 2 MB), then 4.4 M lines added, so that
    // the ranges outgrow the room made and move. Every value 1000 but three planted ones.
    RecordData d;
    d.Reserve(4'300'000);
    for (std::size_t i = 0; i < 4'400'000; ++i) {
        Values v;
        v.fill(1000);
        if (i == 123'456) v[5] = 7;
        if (i == 4'321'000) v[2] = 60000;
        if (i == 4'399'999) v[7] = 65535;
        ASSERT_TRUE(d.Append(1'700'000'000 + std::int64_t(i / 1000), v, i + 1));
    }
    ASSERT_EQ(d.Size(), 4'400'000u);
    EXPECT_EQ(d.At(123'456)[5], 7);
    EXPECT_EQ(d.At(4'321'000)[2], 60000);
    const Range all = d.RangeOf(0, d.Size());
    const Values mins = {1000, 1000, 1000, 1000, 1000, 7, 1000, 1000};
    const Values maxs = {1000, 1000, 60000, 1000, 1000, 1000, 1000, 65535};
    EXPECT_EQ(all.min, mins);
    EXPECT_EQ(all.max, maxs);
    // Between the planted lines, just leaving them out: nothing but 1000.
    const Range between = d.RangeOf(123'457, 4'321'000);
    Values flat;
    flat.fill(1000);
    EXPECT_EQ(between.min, flat);
    EXPECT_EQ(between.max, flat);
    EXPECT_EQ(d.RangeOf(4'320'999, 4'321'001).max[2], 60000);
    EXPECT_EQ(d.RangeOf(4'399'936, 4'400'000).max[7], 65535);
}
