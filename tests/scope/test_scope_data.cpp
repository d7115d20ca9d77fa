// The scope's data without panels or link: frame payloads, read replies, parameter files, record lines and
// times, the history shift and the density chart's limits and zoom.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <vector>

#include "com232.h"
#include "file_size_limit.h"
#include "live_data.h"
#include "measurement.h"
#include "parameter_image.h"
#include "record_file.h"
#include "scope_link.h"
#include "ui_test.h"

namespace {

using Image = std::array<std::uint16_t, kImageWords>;

Image CountingImage() {
    Image image;
    for (int i = 0; i < kImageWords; ++i) image[i] = static_cast<std::uint16_t>(1000 + 7 * i);
    return image;
}

// --- request payloads
// ---------------------------------------------------------------------------------------

class ScopePayload : public testing::Test {
  protected:
    void SetUp() override {
        LinkProfile p{};
        p.fillPayload = FillScopeWindowPayload;
        SetLinkProfile(p);
        syncWord = 0x55;
        std::memset(szWriteBuf, 0xEE, sizeof szWriteBuf);
        for (int i = 0; i < kImageWords; ++i) pp[i] = static_cast<unsigned short>(0x0100 + i);
    }
};

TEST_F(ScopePayload, ParameterOrdersCarryTheSixteenScalars) {
    for (unsigned short order : {1, 3, 5, 6, 7, 8}) {
        FillTxBuf(order, 9, 0, 0);
        EXPECT_EQ(GetWord(szWriteBuf, 0), 0x55);
        EXPECT_EQ(GetWord(szWriteBuf, 1), order);
        for (int w = 0; w < 16; ++w) EXPECT_EQ(GetWord(szWriteBuf, 2 + w), pp[w]) << "order " << order;
    }
}

TEST_F(ScopePayload, TeachRowOrderCarriesTheRowAndItsSixWords) {
    FillTxBuf(2, 30, 0, 0);
    EXPECT_EQ(GetWord(szWriteBuf, 2), 30);
    for (int c = 0; c < 6; ++c) EXPECT_EQ(GetWord(szWriteBuf, 3 + c), pp[TeachWord(30, c)]);
    EXPECT_EQ(szWriteBuf[18], 0xEE) << "bytes after the row keep what was there";
    EXPECT_EQ(szWriteBuf[35], 0xEE);
}

TEST_F(ScopePayload, ArgumentOrdersCarryOnlyTheirArgument) {
    for (unsigned short order : {4, 50, 190}) {
        std::memset(szWriteBuf, 0xEE, 36);
        FillTxBuf(order, 3, 0, 0);
        EXPECT_EQ(GetWord(szWriteBuf, 2), 3) << "order " << order;
        EXPECT_EQ(szWriteBuf[6], 0xEE) << "order " << order;
    }
}

// --- read replies
// -------------------------------------------------------------------------------------------

std::array<std::uint16_t, kReplyWords> Reply(std::uint16_t marker, std::uint16_t order, std::uint16_t first) {
    std::array<std::uint16_t, kReplyWords> w{};
    w[0] = marker;
    w[1] = order;
    for (int i = 2; i < kReplyWords; ++i) w[i] = static_cast<std::uint16_t>(first + i - 2);
    return w;
}

TEST(ReadReply, ScalarsAndRowsAreFoundOthersIgnored) {
    const auto scalars = Reply(0x00AA, 3, 500);
    const ReadReply s = ParseReadReply(scalars);
    ASSERT_EQ(s.kind, ReadReply::Scalars);
    ASSERT_EQ(s.values.size(), 16u);
    EXPECT_EQ(s.values.front(), 500);
    EXPECT_EQ(s.values.back(), 515);

    const auto row = Reply(0x00AA, 4, 30);  // row 30, values 31..36
    const ReadReply r = ParseReadReply(row);
    ASSERT_EQ(r.kind, ReadReply::TeachRow);
    EXPECT_EQ(r.row, 30);
    ASSERT_EQ(r.values.size(), 6u);
    EXPECT_EQ(r.values[0], 31);
    EXPECT_EQ(r.values[5], 36);

    EXPECT_EQ(ParseReadReply(Reply(0x0055, 3, 1)).kind, ReadReply::Ignored) << "wrong marker";
    EXPECT_EQ(ParseReadReply(Reply(0x00AA, 5, 1)).kind, ReadReply::Ignored) << "wrong order";
    EXPECT_EQ(ParseReadReply(Reply(0x00AA, 4, 31)).kind, ReadReply::Ignored) << "row 31";
}

TEST(VectorCount, ClampAndDirectModeLimit) {
    EXPECT_EQ(ClampVectorCount(40), 31);
    EXPECT_EQ(ClampVectorCount(31), 31);
    EXPECT_EQ(ClampVectorCount(0), 0);
    EXPECT_FALSE(VectorCountTooHigh(31, kOutModeBinary));
    EXPECT_TRUE(VectorCountTooHigh(6, 0));
    EXPECT_FALSE(VectorCountTooHigh(5, 2));
}

// --- parameter files
// ----------------------------------------------------------------------------------------

TEST(ParameterFile, FormatIsRightAlignedWidthFiveWithCrLf) {
    Image image{};
    image[0] = 7;
    image[1] = 65535;
    image[201] = 123;
    const std::string text = FormatParameterFile(image);
    EXPECT_EQ(text.size(), 202u * 7);
    EXPECT_EQ(text.substr(0, 14), "    7\r\n65535\r\n");
    EXPECT_EQ(text.substr(text.size() - 7), "  123\r\n");
}

TEST(ParameterFile, RoundTripOfAllWords) {
    const Image image = CountingImage();
    Image back{};
    std::string problem;
    ASSERT_TRUE(ParseParameterFile(FormatParameterFile(image), back, problem)) << problem;
    EXPECT_EQ(back, image);
}

// Any white space separates the numbers; anything after the 202nd (more numbers, or text) makes the file one
// the programs did not write, refused as a file with fewer numbers is.
TEST(ParameterFile, AnyWhiteSpaceSeparatesNumbersAndNothingMayFollowThem) {
    std::string text = "1 2\t3\n\n";
    for (int i = 3; i < kImageWords; ++i) text += std::to_string(i + 1) + (i % 2 ? "\r\n" : "  ");
    Image image{};
    std::string problem;
    ASSERT_TRUE(ParseParameterFile(text + " \r\n\t", image, problem)) << problem;
    EXPECT_EQ(image[0], 1);
    EXPECT_EQ(image[2], 3);
    EXPECT_EQ(image[201], 202);
    Image unchanged = image;
    EXPECT_FALSE(ParseParameterFile(text + "99999 junk", unchanged, problem));
    EXPECT_EQ(problem, "holds \"99999\" on line 103, which is not a whole number from 0 to 65535");
    EXPECT_FALSE(ParseParameterFile(text + "7 8", unchanged, problem));
    EXPECT_EQ(problem, "holds 204 numbers instead of 202");
    EXPECT_EQ(unchanged, image);
}

TEST(ParameterFile, BadFilesNameTheProblemAndChangeNothing) {
    const Image before = CountingImage();
    std::string good = FormatParameterFile(before);
    struct Case {
        std::string text, problem;
    };
    std::string junk = good, negative = good, big = good;
    junk.replace(7 * 16, 5, "  12x");     // line 17
    negative.replace(7 * 3, 5, "   -1");  // line 4
    big.replace(7 * 201, 5, "65536");     // line 202
    const Case cases[] = {
        {"", "holds 0 numbers instead of 202"},
        {good.substr(0, 7 * 201), "holds 201 numbers instead of 202"},
        {good + "    7\r\n", "holds 203 numbers instead of 202"},
        {good + "\r\n  x\r\n", "holds \"x\" on line 204, which is not a whole number from 0 to 65535"},
        {junk, "holds \"12x\" on line 17, which is not a whole number from 0 to 65535"},
        {negative, "holds \"-1\" on line 4, which is not a whole number from 0 to 65535"},
        {big, "holds \"65536\" on line 202, which is not a whole number from 0 to 65535"},
        {"1 2 3 0x12", "holds \"0x12\" on line 1, which is not a whole number from 0 to 65535"},
    };
    for (const Case& c : cases) {
        Image image = before;
        std::string problem;
        EXPECT_FALSE(ParseParameterFile(c.text, image, problem));
        EXPECT_EQ(problem, c.problem);
        EXPECT_EQ(image, before);
    }
}

// --- record file
// --------------------------------------------------------------------------------------------

TEST(RecordFile, HeaderAndDataLineBytes) {
    EXPECT_EQ(RecordHeaderLine(), "DATE\tTIME\tCH_L\tCH_C\tCH_R\tDENSITY\tSYM1\tSYM2\tVECTOR\tTEMP\t\r\n");
    EXPECT_EQ(RecordDataLine("12-06-2026", "17:45:03", {1210, 1984, 1177, 2051, 50, 48, 3, 27}),
              "12-06-2026\t17:45:03\t1210\t1984\t1177\t2051\t50\t48\t3\t27\r\n");
    EXPECT_EQ(RecordDataLine("01-01-2027", "00:00:00", {0, 65535, 0, 0, 0, 0, 255, 0}),
              "01-01-2027\t00:00:00\t0\t65535\t0\t0\t0\t0\t255\t0\r\n");
}

// A measurement frame as it comes off the line, through its decoding, to its line in the record file.
TEST(RecordFile, FrameBytesToMeasurementToDataLine) {
    const Frame frame = {0x00, 0xAA, 0x00, 0x05,                           // reply header, order 5
                         0x04, 0xBA, 0xFF, 0x01, 0x04, 0x99,               // CH_L, CH_C, CH_R
                         0x08, 0x03, 0x00, 0x32, 0x00, 0x30,               // density, symmetry 1, 2
                         0x00, 0xFF, 0x00, 0x1B,                           // vector, temperature
                         0x27, 0x0F, 0x01, 0x02, 0xFF, 0xFF, 0x00, 0x01,   // maxima L, C, R, trigger
                         0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};  // spare
    const Measurement m = MeasurementOf(frame);
    EXPECT_EQ(RecordDataLine("09-12-2026", "07:30:00", RecordValuesOf(m)),
              "09-12-2026\t07:30:00\t1210\t65281\t1177\t2051\t50\t48\t255\t27\r\n");
    EXPECT_EQ(m.aktMaxChL, 9999);
    EXPECT_EQ(m.aktMaxChC, 258);
    EXPECT_EQ(m.aktMaxChR, 65535);
    EXPECT_EQ(m.trigger, 1);

    // The frame variables the panels read hold the same values.
    SetFrameVariables(m);
    EXPECT_EQ(dataChC, 65281);
    EXPECT_EQ(dataVec, 255);
    EXPECT_EQ(dataAktMaxChC, 258);
    EXPECT_EQ(dataTrigger, 1);
    const Measurement back = FrameVariables();
    EXPECT_EQ(RecordDataLine("09-12-2026", "07:30:00", RecordValuesOf(back)),
              "09-12-2026\t07:30:00\t1210\t65281\t1177\t2051\t50\t48\t255\t27\r\n");
    EXPECT_EQ(back.aktMaxChL, 9999);
    EXPECT_EQ(back.aktMaxChR, 65535);
    EXPECT_EQ(back.trigger, 1);
}

// A record file whose header the disk refuses is not left behind empty, and the system's reason is given;
// a file to append to loses a last line cut short (its values are not whole), and only a record file takes
// lines.
TEST(RecordFile, AHeaderTheDiskRefusesLeavesNoFileAndAFileToAppendToIsLookedAt) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("record-file-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string path = (dir / "r.dat").string();
    std::string reason;
    {
        const FileSizeLimit limit(10);
        EXPECT_FALSE(StartRecordFile(path, RecordHeaderLine(), reason));
    }
    EXPECT_EQ(reason, "File too large");
    EXPECT_FALSE(fs::exists(path));

    std::string cut;
    EXPECT_TRUE(CutPartialLastLine(path, cut, reason) && cut.empty()) << "no file";
    // A last line without its end is cut back to the last whole line, and what was cut is told.
    const struct {
        std::string text, kept, cut;
    } cases[] = {{"", "", ""},
                 {"DATE\r\n", "DATE\r\n", ""},
                 {"a\nb\n", "a\nb\n", ""},
                 {"DATE\r\n12-10-2026\t13:18:00\t1\t2\t3\t4\t5\t6\t7\t31", "DATE\r\n",
                  "12-10-2026\t13:18:00\t1\t2\t3\t4\t5\t6\t7\t31"},
                 {"a\r", "", "a\r"},
                 {"x\n" + std::string(70000, 'y'), "x\n", std::string(70000, 'y')}};
    for (const auto& c : cases) {
        std::ofstream(path, std::ios::binary) << c.text;
        EXPECT_TRUE(CutPartialLastLine(path, cut, reason)) << reason;
        EXPECT_EQ(cut, c.cut) << c.text.substr(0, 40);
        EXPECT_EQ(ReadTextFile(path), c.kept) << c.text.substr(0, 40);
    }

    // Lines go only to a record file: one that begins with the header or a dated line, or none yet.
    const struct {
        const char* text;
        bool takes;
    } files[] = {{"", true},
                 {"DATE\tTIME\tCH_L\t", true},
                 {"12-10-2026\t13:18:16\t661\t", true},
                 {"  800\r\n    3\r\n", false},
                 {"12-10-26\t13:18:16\t", false},
                 {"DATE TIME", false}};
    for (const auto& f : files) {
        std::ofstream(path, std::ios::binary) << f.text;
        EXPECT_EQ(TakesRecordLines(path), f.takes) << f.text;
    }
    fs::remove(path);
    EXPECT_TRUE(TakesRecordLines(path)) << "no file yet";
    fs::remove_all(dir);
}

TEST(RecordFile, RecordTimeSplit) {
    const RecordDuration ten = SplitRecordTime(RecordSeconds(2, 5));
    EXPECT_EQ(ten.days, 0u);
    EXPECT_EQ(ten.seconds, 10u);
    const RecordDuration long_ = SplitRecordTime(RecordSeconds(5, 36769));
    EXPECT_EQ(long_.days, 2u);
    EXPECT_EQ(long_.hours, 3u);
    EXPECT_EQ(long_.minutes, 4u);
    EXPECT_EQ(long_.seconds, 5u);
    EXPECT_EQ(RecordSeconds(65535, 65535), 4294836225u) << "needs 32 bits";
}

// --- histories and the density chart
// ------------------------------------------------------------------------

TEST(ArrayRoutines, ShiftInPlaceBothWaysAndErrors) {
    std::vector<double> x(600);
    std::iota(x.begin(), x.end(), 1.0);
    std::vector<double> y = x;
    ASSERT_EQ(Shift(y.data(), 600, -6, y.data()), 0);
    EXPECT_EQ(y[0], 7.0);
    EXPECT_EQ(y[593], 600.0);
    for (int i = 594; i < 600; ++i) EXPECT_EQ(y[i], 0.0);

    y = x;
    ASSERT_EQ(Shift(y.data(), 600, 3, y.data()), 0);
    EXPECT_EQ(y[0], 0.0);
    EXPECT_EQ(y[2], 0.0);
    EXPECT_EQ(y[3], 1.0);
    EXPECT_EQ(y[599], 597.0);

    y = x;
    EXPECT_EQ(Shift(x.data(), 0, 1, y.data()), -20003);
    EXPECT_EQ(Shift(x.data(), 600, 600, y.data()), -20102);
    EXPECT_EQ(Shift(x.data(), 600, -600, y.data()), -20102);
    EXPECT_EQ(y, x) << "a refused shift leaves y alone";
    EXPECT_EQ(Copy1D(x.data(), 0, y.data()), -20003);
    std::vector<double> z(3);
    EXPECT_EQ(Copy1D(x.data(), 3, z.data()), 0);
    EXPECT_EQ(z, (std::vector<double>{1.0, 2.0, 3.0}));
}

TEST(DensityChart, ToleranceLimitsDoNotWrap) {
    EXPECT_EQ(DensityLimitsOf(4000, 200).upper, 4096);
    EXPECT_EQ(DensityLimitsOf(50, 100).lower, 0);
    EXPECT_EQ(DensityLimitsOf(65535, 65535).upper, 4096);
    EXPECT_EQ(DensityLimitsOf(0, 65535).lower, 0);
    EXPECT_EQ(DensityLimitsOf(1000, 100).upper, 1100);
    EXPECT_EQ(DensityLimitsOf(1000, 100).lower, 900);
}

TEST(DensityChart, FixedAndAutoZoomRanges) {
    std::vector<double> h(300, 0.0);
    EXPECT_EQ(DensityYRange(h, 0).min, 0.0);
    EXPECT_EQ(DensityYRange(h, 0).max, 4096.0);
    EXPECT_EQ(DensityYRange(h, 1).min, 0.0) << "an all-zero history";
    EXPECT_EQ(DensityYRange(h, 1).max, 25.0);
    for (std::size_t i = 0; i < h.size(); ++i) h[i] = 1000.0 + double(i % 1001);
    EXPECT_EQ(DensityYRange(h, 1).min, 975.0);
    h[7] = 2000.0;
    EXPECT_EQ(DensityYRange(h, 1).max, 2025.0);
    h[0] = 10.0;
    h[1] = 4080.0;
    EXPECT_EQ(DensityYRange(h, 1).min, 10.0);
    EXPECT_EQ(DensityYRange(h, 1).max, 4080.0);
    // The margin is added only where it fits in full: at exactly 25 and 4071 the range ends there.
    h[0] = 25.0;
    h[1] = 4071.0;
    EXPECT_EQ(DensityYRange(h, 1).min, 25.0);
    EXPECT_EQ(DensityYRange(h, 1).max, 4071.0);
}

}  // namespace
