// The record reader: the files of every record mode as the scope writes them, line ends, a cut last line,
// a header alone, bad input, and a file read while it grows.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <thread>

#include "record_reader.h"

using namespace records;

namespace {
const std::string kHeaderCrlf = "DATE\tTIME\tCH_L\tCH_C\tCH_R\tDENSITY\tSYM1\tSYM2\tVECTOR\tTEMP\t\r\n";

RecordParser Parse(const std::string& text) {
    RecordParser parser;
    parser.Feed(text);
    parser.End();
    return parser;
}
Values V(std::uint16_t a, std::uint16_t b, std::uint16_t c, std::uint16_t d, std::uint16_t e, std::uint16_t f,
         std::uint16_t g, std::uint16_t h) {
    return {a, b, c, d, e, f, g, h};
}
// 12-06-2026 17:45:03 in seconds since 1970: 20,793 days (1970-01-01 to 2026-12-06) and 63,903 s.
constexpr std::int64_t k174503 = 20793LL * 86400 + 17 * 3600 + 45 * 60 + 3;
}  // namespace

TEST(RecordReader, IntervalModeWithHeaderCrlf) {
    const RecordParser p = Parse(kHeaderCrlf +
                                 "12-06-2026\t17:45:03\t1210\t1984\t1177\t2051\t50\t48\t3\t27\r\n"
                                 "12-06-2026\t17:45:04\t65535\t0\t1\t2\t3\t4\t5\t6\r\n"
                                 "12-06-2026\t17:45:05\t7\t8\t9\t10\t11\t12\t13\t14\r\n");
    ASSERT_TRUE(p.Fatal().empty());
    EXPECT_TRUE(p.HasHeader());
    EXPECT_EQ(p.BadLines(), 0u);
    EXPECT_FALSE(p.LastLineCut());
    const RecordData& d = p.Data();
    ASSERT_EQ(d.Size(), 3u);
    EXPECT_EQ(d.At(0), V(1210, 1984, 1177, 2051, 50, 48, 3, 27));
    EXPECT_EQ(d.At(1), V(65535, 0, 1, 2, 3, 4, 5, 6));
    EXPECT_EQ(d.At(2), V(7, 8, 9, 10, 11, 12, 13, 14));
    EXPECT_EQ(d.Second(0), k174503);
    EXPECT_DOUBLE_EQ(d.Time(0), double(k174503));
    EXPECT_DOUBLE_EQ(d.Time(2), double(k174503 + 2));
    EXPECT_EQ(d.FileLine(0), 2u);
    EXPECT_EQ(d.FileLine(2), 4u);
    EXPECT_EQ(FormatTime(d.Time(1), false), "12-06-2026 17:45:04");
}

TEST(RecordReader, LfLineEndsReadAsCrlf) {
    const RecordParser p = Parse(
        "DATE\tTIME\tCH_L\tCH_C\tCH_R\tDENSITY\tSYM1\tSYM2\tVECTOR\tTEMP\t\n"
        "12-06-2026\t17:45:03\t1210\t1984\t1177\t2051\t50\t48\t3\t27\n"
        "12-06-2026\t17:45:03\t1\t2\t3\t4\t5\t6\t7\t8\n");
    EXPECT_TRUE(p.HasHeader());
    ASSERT_EQ(p.Data().Size(), 2u);
    EXPECT_EQ(p.Data().At(0), V(1210, 1984, 1177, 2051, 50, 48, 3, 27));
    EXPECT_EQ(p.Data().At(1), V(1, 2, 3, 4, 5, 6, 7, 8));
    EXPECT_EQ(p.Data().FileLine(1), 3u);
    EXPECT_EQ(p.BadLines(), 0u);
}

TEST(RecordReader, IntervalZeroAndTriggeredLinesSpreadOverTheirSecond) {
    // Four lines in one second, then two in the next (the last second still open, spread as far as known).
    std::string text = kHeaderCrlf;
    for (int i = 0; i < 4; ++i)
        text += "02-28-2024\t23:59:59\t" + std::to_string(i) + "\t0\t0\t0\t0\t0\t0\t0\r\n";
    for (int i = 0; i < 2; ++i)
        text += "02-29-2024\t00:00:00\t9\t0\t0\t0\t0\t0\t0\t" + std::to_string(i) + "\r\n";
    const RecordParser p = Parse(text);
    const RecordData& d = p.Data();
    ASSERT_EQ(d.Size(), 6u);
    const double t0 = double(19781LL * 86400 + 86399);  // 2024-02-28 is day 19,781
    EXPECT_DOUBLE_EQ(d.Time(0), t0);
    EXPECT_DOUBLE_EQ(d.Time(1), t0 + 0.25);
    EXPECT_DOUBLE_EQ(d.Time(2), t0 + 0.5);
    EXPECT_DOUBLE_EQ(d.Time(3), t0 + 0.75);
    EXPECT_DOUBLE_EQ(d.Time(4), t0 + 1);
    EXPECT_DOUBLE_EQ(d.Time(5), t0 + 1.5);
    EXPECT_EQ(FormatTime(d.Time(5), true), "02-29-2024 00:00:00.500");
    EXPECT_EQ(d.FirstAtOrAfter(t0 + 0.3), 2u);
    EXPECT_TRUE(d.TimesAscend());
    // Lines that share a second keep their own line numbers in the file.
    EXPECT_EQ(d.FileLine(3), 5u);
    EXPECT_EQ(d.FileLine(5), 7u);
    EXPECT_TRUE(p.Summary().empty()) << p.Summary();
}

TEST(RecordReader, DatesAndTimesAreCheckedAgainstTheCalendar) {
    const std::string values = "\t1\t2\t3\t4\t5\t6\t7\t8\r\n";
    const RecordParser p = Parse(kHeaderCrlf +                         //
                                 "02-29-2023\t12:00:00" + values +     // line 2: 2023 is no leap year
                                 "02-29-1900\t12:00:00" + values +     // line 3: nor is 1900
                                 "02-29-2000\t12:00:00" + values +     // 2000 is
                                 "08-31-2026\t12:00:00" + values +     //
                                 "08-32-2026\t12:00:00" + values +     // line 6
                                 "09-31-2026\t12:00:00" + values +     // line 7
                                 "01-00-2026\t12:00:00" + values +     // line 8
                                 "00-10-2026\t12:00:00" + values +     // line 9
                                 "12-06-2026\t17:45" + values +        // line 10: a time without seconds
                                 "2026-12-06T17:45:03Z\tx" + values +  // line 11: an ISO stamp, 20 characters
                                 "2026-12-06T17:45:03+01\tx" + values);  // line 12: 22 characters
    ASSERT_EQ(p.Data().Size(), 2u);
    // 2000-01-01 is day 10,957 (30 years of 365 days and 7 leap days), 2000-02-29 59 days later.
    EXPECT_EQ(p.Data().Second(0), (10957LL + 59) * 86400 + 12 * 3600);
    EXPECT_EQ(p.Data().FileLine(1), 5u);
    EXPECT_EQ(p.Summary(),
              "line 2: the date \"02-29-2023\" is not a date MM-DD-YYYY\n"
              "line 3: the date \"02-29-1900\" is not a date MM-DD-YYYY\n"
              "line 6: the date \"08-32-2026\" is not a date MM-DD-YYYY\n"
              "line 7: the date \"09-31-2026\" is not a date MM-DD-YYYY\n"
              "line 8: the date \"01-00-2026\" is not a date MM-DD-YYYY\n"
              "line 9: the date \"00-10-2026\" is not a date MM-DD-YYYY\n"
              "line 10: the time \"17:45\" is not a time HH:MM:SS\n"
              "line 11: the date \"2026-12-06T17:45:03Z\" is not a date MM-DD-YYYY\n"
              "line 12: the date \"2026-12-06T17:45:03+...\" is not a date MM-DD-YYYY\n"
              "9 lines are left out; the others are shown.\n");
}

TEST(RecordReader, EveryMonthHasItsNumberOfDays) {
    constexpr int kDays2026[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    for (int m = 1; m <= 12; ++m) {
        EXPECT_TRUE(IsDate(2026, m, kDays2026[m - 1])) << m;
        EXPECT_FALSE(IsDate(2026, m, kDays2026[m - 1] + 1)) << m;
    }
    EXPECT_TRUE(IsDate(2024, 2, 29));
    EXPECT_FALSE(IsDate(2024, 2, 30));
}

TEST(RecordReader, TimesAreReadAndShownOnTheirCalendarDay) {
    // Days since 1970-01-01, counted by hand: 2000-01-01 is day 10,957, 2024-01-01 day 19,723 (54 years and
    // 13 leap days) and 2100-01-01 day 47,482 (130 years and 32 leap days); 2000 and 2024 are leap years,
    // 2100 is not.
    EXPECT_EQ(SecondsFromCivil(2000, 2, 29, 0, 0, 0), (10957 + 59) * 86400LL);
    EXPECT_EQ(SecondsFromCivil(2000, 3, 1, 0, 0, 0), (10957 + 60) * 86400LL);
    EXPECT_EQ(SecondsFromCivil(2100, 3, 1, 0, 0, 0), (47482 + 59) * 86400LL);
    EXPECT_EQ(FormatTime((10957 + 59) * 86400.0, false), "02-29-2000 00:00:00");
    EXPECT_EQ(FormatTime((10957 + 60) * 86400.0, false), "03-01-2000 00:00:00");
    EXPECT_EQ(FormatTime((47482 + 59) * 86400.0 - 1, false), "02-28-2100 23:59:59");
    EXPECT_EQ(FormatTime((47482 + 59) * 86400.0, false), "03-01-2100 00:00:00");
    EXPECT_EQ(FormatTime((47482 + 364) * 86400.0, false), "12-31-2100 00:00:00");
    // The first and the last day of each month of 2026 (2026-01-01 is day 20,454: 56 years and 14 leap days).
    constexpr int kMonthStart[13] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365};
    for (int m = 0; m < 12; ++m) {
        char first[32], last[32];
        std::snprintf(first, sizeof first, "%02d-01-2026 00:00:00", m + 1);
        std::snprintf(last, sizeof last, "%02d-%02d-2026 23:59:59", m + 1,
                      kMonthStart[m + 1] - kMonthStart[m]);
        EXPECT_EQ(FormatTime((20454 + kMonthStart[m]) * 86400.0, false), first);
        EXPECT_EQ(FormatTime((20454 + kMonthStart[m + 1]) * 86400.0 - 1, false), last);
    }
    const RecordParser p = Parse("03-01-2024\t12:00:00\t1\t2\t3\t4\t5\t6\t7\t8\r\n");
    ASSERT_EQ(p.Data().Size(), 1u);
    EXPECT_EQ(p.Data().Second(0), (19723 + 60) * 86400LL + 12 * 3600);
    EXPECT_EQ(FormatTime(p.Data().Time(0), false), "03-01-2024 12:00:00");
}

TEST(RecordReader, ManualLinesWithoutHeaderAsTheDefaultFileHasThem) {
    const RecordParser p = Parse(
        "01-02-2027\t08:00:00\t0\t0\t0\t0\t0\t0\t0\t0\r\n"
        "01-02-2027\t08:07:30\t100\t200\t300\t400\t500\t600\t31\t700\r\n");
    EXPECT_FALSE(p.HasHeader());
    ASSERT_EQ(p.Data().Size(), 2u);
    EXPECT_EQ(p.Data().At(0), V(0, 0, 0, 0, 0, 0, 0, 0));
    EXPECT_DOUBLE_EQ(p.Data().Time(1) - p.Data().Time(0), 450.0);
    EXPECT_EQ(p.Data().FileLine(0), 1u);
    EXPECT_TRUE(p.Summary().empty());
}

TEST(RecordReader, CutLastLineIsReportedAndTheLinesBeforeAreShown) {
    const RecordParser p = Parse(kHeaderCrlf +
                                 "12-06-2026\t17:45:03\t1\t2\t3\t4\t5\t6\t7\t8\r\n"
                                 "12-06-2026\t17:45:04\t1\t2\t3\t4\t5\t6\t7\t2");
    EXPECT_TRUE(p.LastLineCut());
    ASSERT_EQ(p.Data().Size(), 1u);
    EXPECT_EQ(p.BadLines(), 0u);
    EXPECT_EQ(
        p.Summary(),
        "line 3 is cut off (it has no line end: the recording was interrupted); the lines before it are "
        "shown\n");
}

TEST(RecordReader, HeaderOnly) {
    const RecordParser p = Parse(kHeaderCrlf);
    EXPECT_TRUE(p.HasHeader());
    EXPECT_EQ(p.Data().Size(), 0u);
    EXPECT_TRUE(p.Fatal().empty());
    EXPECT_EQ(p.Summary(), "The file holds the header line only.\n");
}

TEST(RecordReader, EmptyFile) {
    const RecordParser p = Parse("");
    EXPECT_TRUE(p.Fatal().empty());
    EXPECT_EQ(p.Summary(), "The file is empty: it holds no line yet.\n");
}

TEST(RecordReader, BadLinesAreLeftOutWithTheirReason) {
    const RecordParser p = Parse(kHeaderCrlf +
                                 "12-06-2026\t17:45:03\t1\t2\t3\t4\t5\t6\t7\t8\r\n"
                                 "12-06-2026\t17:45:04\t1\t2\t3\t4\t5\t6\t7\r\n"
                                 "12-06-2026\t17:45:04\t1\t2\t3\t4\t5\t6\t7\t8\t9\r\n"
                                 "12-06-2026\t17:45:05\t1\t2\t65536\t4\t5\t6\t7\t8\r\n"
                                 "12-06-2026\t17:45:05\t1\t2\t3\t4\t5\t6\t7\t-8\r\n"
                                 "13-06-2026\t17:45:06\t1\t2\t3\t4\t5\t6\t7\t8\r\n"
                                 "12-06-2026\t24:00:00\t1\t2\t3\t4\t5\t6\t7\t8\r\n"
                                 "12-06-2026\t17:45:07\t1\t2\t3\t4\t5\t6\t7\t9\r\n");
    EXPECT_TRUE(p.Fatal().empty());
    ASSERT_EQ(p.Data().Size(), 2u);
    EXPECT_EQ(p.Data().At(1)[7], 9);
    EXPECT_EQ(p.Data().FileLine(1), 9u);
    EXPECT_EQ(p.BadLines(), 6u);
    EXPECT_EQ(p.Summary(),
              "line 3: 9 fields instead of 10 (date, time and eight values, separated by TABs)\n"
              "line 4: 11 fields instead of 10 (date, time and eight values, separated by TABs)\n"
              "line 5: CH_R \"65536\" is not a number from 0 to 65535\n"
              "line 6: TEMP \"-8\" is not a number from 0 to 65535\n"
              "line 7: the date \"13-06-2026\" is not a date MM-DD-YYYY\n"
              "line 8: the time \"24:00:00\" is not a time HH:MM:SS\n"
              "6 lines are left out; the others are shown.\n");
}

TEST(RecordReader, BinaryJunkIsNotARecordFile) {
    std::string junk;
    for (int i = 0; i < 20000; ++i) junk += char((i * 7919) % 256);
    const RecordParser p = Parse(junk);
    EXPECT_EQ(p.Data().Size(), 0u);
    EXPECT_EQ(p.Fatal().rfind("this is not a record file", 0), 0u) << p.Fatal();
}

TEST(RecordReader, SixteenLinesOfTextBeforeAnyRecordLineAreNoRecordFile) {
    std::string text;
    for (int i = 0; i < 16; ++i) text += "text line\n";
    const RecordParser p = Parse(text + "12-06-2026\t17:45:03\t1\t2\t3\t4\t5\t6\t7\t8\r\n");
    EXPECT_EQ(p.Data().Size(), 0u);
    EXPECT_EQ(p.Fatal(),
              "this is not a record file: its first 16 lines are neither record lines (date, time and eight "
              "values separated by TABs) nor the header line \"DATE TIME CH_L ... TEMP\"");
}

TEST(RecordReader, TextThatIsNoRecordFile) {
    const RecordParser p = Parse("hello\nworld\n");
    EXPECT_EQ(p.Fatal(),
              "this is not a record file: no line is a record line (date, time and eight values separated by "
              "TABs) and there is no header line \"DATE TIME CH_L ... TEMP\"");
}

TEST(RecordReader, PiecesOfAnySizeReadTheSame) {
    const std::string text = kHeaderCrlf +
                             "12-06-2026\t17:45:03\t1210\t1984\t1177\t2051\t50\t48\t3\t27\r\n"
                             "12-06-2026\t17:45:03\t1\t2\t3\t4\t5\t6\t7\t8\r\n"
                             "12-06-2026\t17:45:04\t9\t10\t11\t12\t13\t14\t15\t16\r\n";
    for (std::size_t cut = 1; cut < text.size(); ++cut) {
        RecordParser p;
        p.Feed(text.substr(0, cut));
        p.Feed(text.substr(cut));
        p.End();
        ASSERT_EQ(p.Data().Size(), 3u) << cut;
        EXPECT_EQ(p.Data().At(0), V(1210, 1984, 1177, 2051, 50, 48, 3, 27)) << cut;
        EXPECT_EQ(p.Data().At(2), V(9, 10, 11, 12, 13, 14, 15, 16)) << cut;
        EXPECT_EQ(p.BadLines(), 0u) << cut;
    }
}

TEST(RecordReader, LinesBeyondTheMemoryLimitAreLeftOutWithAMessage) {
    RecordParser p(2);
    p.Feed(
        "12-06-2026\t17:45:03\t1\t2\t3\t4\t5\t6\t7\t8\r\n"
        "12-06-2026\t17:45:04\t1\t2\t3\t4\t5\t6\t7\t8\r\n"
        "12-06-2026\t17:45:05\t1\t2\t3\t4\t5\t6\t7\t8\r\n");
    EXPECT_EQ(p.Data().Size(), 2u);
    EXPECT_EQ(p.Fatal(),
              "only the first 2 lines are shown: the file holds more than fit into this computer's memory");
}

TEST(RecordReader, FollowsAGrowingFileAndStopsWhenItShrinks) {
    const std::string path = testing::TempDir() + "follow-" + std::to_string(getpid()) + ".dat";
    std::ofstream(path, std::ios::binary)
        << kHeaderCrlf << "12-06-2026\t17:45:03\t1\t2\t3\t4\t5\t6\t7\t8\r\n";
    RecordReader reader(path);
    std::string error;
    ASSERT_TRUE(reader.Open(error)) << error;
    while (reader.Step(1 << 20)) {
    }
    EXPECT_EQ(reader.Data().Size(), 1u);
    {
        std::ofstream out(path, std::ios::binary | std::ios::app);
        out << "12-06-2026\t17:45:04\t9\t9\t9\t9\t9\t9\t9\t9\r\n12-06-2026\t17:45:05\t5\t5";  // the last line
                                                                                              // half written
    }
    reader.Step(1 << 20);
    ASSERT_EQ(reader.Data().Size(), 2u);
    EXPECT_FALSE(reader.Parser().LastLineCut());  // still being written, not cut
    std::ofstream(path, std::ios::binary | std::ios::app) << "\t5\t5\t5\t5\t5\t5\r\n";
    reader.Step(1 << 20);
    ASSERT_EQ(reader.Data().Size(), 3u);
    EXPECT_EQ(reader.Data().At(2), V(5, 5, 5, 5, 5, 5, 5, 5));
    // Its end cut off, its start as it was (the header and the first line: 60 + 38 bytes).
    std::filesystem::resize_file(path, 98);
    EXPECT_FALSE(reader.Step(1 << 20));
    EXPECT_EQ(reader.Fatal(),
              "the file became shorter while it was read (98 bytes, 168 had been read): its end was cut off; "
              "the lines read before are shown; open it again to see what it holds now");
    EXPECT_EQ(reader.Data().Size(), 3u);  // what was read stays
    EXPECT_EQ(reader.Data().At(2), V(5, 5, 5, 5, 5, 5, 5, 5));
    EXPECT_EQ(reader.ReadAgainCount(), 0u);
    std::remove(path.c_str());
}

TEST(RecordReader, AFileReplacedWhileFollowedIsReadAgainFromItsStart) {
    const std::string path = testing::TempDir() + "replaced-" + std::to_string(getpid()) + ".dat";
    const std::string other = path + ".new";
    std::ofstream(path, std::ios::binary) << kHeaderCrlf << "12-06-2026\t17:45:03\t1\t2\t3\t4\t5\t6\t7\t8\r\n"
                                          << "12-06-2026\t17:45:04\t1\t2\t3\t4\t5\t6\t7\t8\r\n";
    RecordReader reader(path);
    std::string error;
    ASSERT_TRUE(reader.Open(error)) << error;
    reader.Step(1 << 20);
    ASSERT_EQ(reader.Data().Size(), 2u);
    // Another file renamed over it, as a recorder writing afresh does.
    std::ofstream(other, std::ios::binary)
        << kHeaderCrlf << "12-07-2026\t08:00:00\t9\t8\t7\t6\t5\t4\t3\t2\r\n";
    ASSERT_EQ(std::rename(other.c_str(), path.c_str()), 0);
    EXPECT_FALSE(reader.Step(1 << 20));
    EXPECT_EQ(reader.Fatal(), "");
    EXPECT_EQ(reader.Note(),
              "the file was replaced by another file of the same name while it was read: it is "
              "read again from its start");
    EXPECT_EQ(reader.ReadAgainCount(), 1u);
    ASSERT_EQ(reader.Data().Size(), 1u);
    EXPECT_EQ(reader.Data().At(0), V(9, 8, 7, 6, 5, 4, 3, 2));
    EXPECT_EQ(reader.Data().Second(0), k174503 + 86400 - 35103);  // 12-07-2026 08:00:00
    EXPECT_EQ(reader.Data().FileLine(0), 2u);
    // Cut to nothing in place and written afresh, longer than before: read again from its start too.
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        << kHeaderCrlf << "12-08-2026\t09:00:00\t7\t7\t7\t7\t7\t7\t7\t7\r\n"
        << "12-08-2026\t09:00:00\t6\t6\t6\t6\t6\t6\t6\t6\r\n"
        << "12-08-2026\t09:00:01\t5\t5\t5\t5\t5\t5\t5\t5\r\n";
    EXPECT_FALSE(reader.Step(1 << 20));
    EXPECT_EQ(reader.Note(),
              "the file was cut and written afresh while it was read: it is read again from its start");
    EXPECT_EQ(reader.ReadAgainCount(), 2u);
    ASSERT_EQ(reader.Data().Size(), 3u);
    EXPECT_EQ(reader.Data().At(0), V(7, 7, 7, 7, 7, 7, 7, 7));
    EXPECT_EQ(reader.Data().At(2), V(5, 5, 5, 5, 5, 5, 5, 5));
    EXPECT_EQ(reader.Parser().BadLines(), 0u);
    std::remove(path.c_str());
}

TEST(RecordReader, APipeIsReadToItsEndAndFollowedWithoutOpeningItAgain) {
    // As `sensor-tool plot <(ssh line-pc cat record.dat)` hands it over: a pipe, whose size says nothing.
    const std::string path = testing::TempDir() + "pipe-" + std::to_string(getpid());
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    std::thread writer([&] {
        const std::string text = kHeaderCrlf + "12-06-2026\t17:45:03\t1\t2\t3\t4\t5\t6\t7\t8\r\n" +
                                 "12-06-2026\t17:45:03\t9\t9\t9\t9\t9\t9\t9\t9\r\n";
        const int fd = ::open(path.c_str(), O_WRONLY);
        EXPECT_EQ(::write(fd, text.data(), text.size()), ssize_t(text.size()));
        ::close(fd);
    });
    RecordReader reader(path);
    std::string error;
    ASSERT_TRUE(reader.Open(error)) << error;
    while (reader.Step(1 << 20)) {
    }
    writer.join();
    // Following it on: the pipe is at its end. Opened again, it would wait for a writer that never comes.
    auto more = std::async(std::launch::async, [&] { return reader.Step(1 << 20); });
    if (more.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        ADD_FAILURE() << "the reader waits for the pipe to be opened again";
        ::close(::open(path.c_str(), O_WRONLY | O_NONBLOCK));  // lets it go
    }
    EXPECT_FALSE(more.get());
    EXPECT_EQ(reader.ReadAgainCount(), 0u);
    EXPECT_EQ(reader.Fatal(), "");
    ASSERT_EQ(reader.Data().Size(), 2u);
    EXPECT_EQ(reader.Data().At(1), V(9, 9, 9, 9, 9, 9, 9, 9));
    std::remove(path.c_str());
}

TEST(RecordReader, MissingFileAndFolderSayWhy) {
    RecordReader missing("/nonexistent/record.dat");
    std::string error;
    EXPECT_FALSE(missing.Open(error));
    EXPECT_EQ(error, "cannot open /nonexistent/record.dat: No such file or directory");
    RecordReader folder("/tmp");
    EXPECT_FALSE(folder.Open(error));
    EXPECT_EQ(error, "cannot open /tmp: it is a folder, not a file");
}
