// Equation files: one coefficient per line, right-aligned in 10 characters, read back exactly; loads that
// cannot deliver every value leave the caller's coefficients as they were.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "equation_file.h"
#include "file_size_limit.h"
#include "ui_test.h"

namespace {

// Values whose shortest decimal forms are long, tiny, huge, negative or need an exponent.
std::vector<double> AwkwardValues(size_t n) {
    const double pool[] = {0.1,
                           1.0 / 3.0,
                           -2.5e-5,
                           0.000123,
                           1.2345678901234567e-7,
                           -9.87654321e-11,
                           1e12,
                           -1e12,
                           123456789.123,
                           std::numeric_limits<double>::denorm_min(),
                           -1745.534,
                           2.0 / 7.0,
                           5e-324 * 3,
                           -0.0,
                           1000.0};
    std::vector<double> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = pool[i % std::size(pool)] * (i < std::size(pool) ? 1.0 : -1.0);
    return v;
}

class EquationFileTest : public UiTest {};

TEST_F(EquationFileTest, RoundTripIsExactForEveryPageSize) {
    for (size_t n : {15u, 30u, 5u}) {
        const std::string path = ProjectFile("awkward" + std::to_string(n) + ".equ");
        const std::vector<double> saved = AwkwardValues(n);
        ASSERT_EQ(SaveEquationFile(path, saved), 0);

        const std::vector<std::string> lines = TextLines(ReadTextFile(path));
        ASSERT_EQ(lines.size(), n);
        for (const std::string& line : lines) {
            EXPECT_GE(line.size(), 10u) << "'" << line << "'";
            if (line.size() > 10) {
                EXPECT_EQ(line.find(' '), std::string::npos) << "'" << line << "'";
            }
        }

        std::vector<double> loaded(n, 42.0);
        ASSERT_EQ(LoadEquationFile(path, loaded), static_cast<int>(n));
        for (size_t i = 0; i < n; ++i) {
            EXPECT_EQ(loaded[i], saved[i]) << "value " << i << " of " << n;
            EXPECT_EQ(std::signbit(loaded[i]), std::signbit(saved[i])) << "value " << i;
        }
    }
}

TEST_F(EquationFileTest, WritesOneRightAlignedValuePerLine) {
    // R = (0, 0, 0.5, -2, 1000), G and B all zero.
    std::vector<double> coefs(15, 0.0);
    coefs[2] = 0.5;
    coefs[3] = -2.0;
    coefs[4] = 1000.0;
    const std::string path = ProjectFile("equation.equ");
    ASSERT_EQ(SaveEquationFile(path, coefs), 0);

    const std::vector<std::string> lines = TextLines(ReadTextFile(path));
    const std::vector<std::string> expected = {"         0", "         0", "       0.5", "        -2",
                                               "      1000", "         0", "         0", "         0",
                                               "         0", "         0", "         0", "         0",
                                               "         0", "         0", "         0"};
    EXPECT_EQ(lines, expected);
}

TEST_F(EquationFileTest, SaveReplacesTheWholeFile) {
    const std::string path = ProjectFile("old.equ");
    WriteTextFile(path, std::string(40, '7') + "\n1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n");
    const std::vector<double> coefs = {1, 2, 3, 4, 5};
    ASSERT_EQ(SaveEquationFile(path, coefs), 0);
    EXPECT_EQ(TextLines(ReadTextFile(path)).size(), 5u);
}

TEST_F(EquationFileTest, ASaveThatFailsHalfWayLeavesTheOldFileAsItWas) {
    const std::string path = ProjectFile("kept.equ");
    const std::string old = "         1\n         2\n         3\n         4\n         5\n";
    WriteTextFile(path, old);
    const std::vector<double> coefs(15, 123.5);  // 165 bytes
    {
        FileSizeLimit limit(60);  // no file may grow past 60 bytes: a full disk
        EXPECT_EQ(SaveEquationFile(path, coefs), kEquationCannotWrite);
    }
    EXPECT_EQ(ReadTextFile(path), old);
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(projectDir))
        files += e.path().string().starts_with(path);
    EXPECT_EQ(files, 1) << "nothing left beside it";
}

TEST_F(EquationFileTest, SaveIntoAMissingDirectoryFails) {
    const std::vector<double> coefs(5, 1.0);
    EXPECT_EQ(SaveEquationFile(ProjectFile("no/such/dir/x.equ"), coefs), kEquationCannotWrite);
}

TEST_F(EquationFileTest, LoadReadsOnlyAsManyValuesAsTheCallerHas) {
    const std::string path = ProjectFile("fifteen.equ");
    std::string text;
    for (int i = 1; i <= 15; ++i) text += "  " + std::to_string(i * 1.5) + "\n";
    text += "not a number\n";  // beyond what any page reads
    WriteTextFile(path, text);

    std::vector<double> five(5, 0.0);
    EXPECT_EQ(LoadEquationFile(path, five), 5);
    EXPECT_EQ(five, (std::vector<double>{1.5, 3.0, 4.5, 6.0, 7.5}));
}

TEST_F(EquationFileTest, LoadAcceptsWindowsLineEndsAndBlankLines) {
    const std::string path = ProjectFile("windows.equ");
    WriteTextFile(path, "       0.5\r\n\r\n        -2\r\n      1000\r\n     1e-07\r\n         0\r\n");
    std::vector<double> coefs(5, 9.0);
    ASSERT_EQ(LoadEquationFile(path, coefs), 5);
    EXPECT_EQ(coefs, (std::vector<double>{0.5, -2.0, 1000.0, 1e-7, 0.0}));
}

TEST_F(EquationFileTest, ShortFileLeavesTheValuesUnchanged) {
    const std::string path = ProjectFile("short.equ");
    WriteTextFile(path, "1\n2\n3\n4\n5\n6\n7\n");
    std::vector<double> coefs(15, 8.25);
    EXPECT_EQ(LoadEquationFile(path, coefs), 7);
    EXPECT_EQ(coefs, std::vector<double>(15, 8.25));

    WriteTextFile(path, "");
    EXPECT_EQ(LoadEquationFile(path, coefs), 0);
    EXPECT_EQ(coefs, std::vector<double>(15, 8.25));
}

TEST_F(EquationFileTest, TextThatIsNotANumberLeavesTheValuesUnchanged) {
    const std::string path = ProjectFile("junk.equ");
    std::vector<double> coefs(5, -4.0);
    for (const char* text : {"1\n2\nthree\n4\n5\n", "1\n2\n3abc\n4\n5\n", "\x01\x02\x03\n"}) {
        WriteTextFile(path, text);
        EXPECT_EQ(LoadEquationFile(path, coefs), kEquationNotANumber) << text;
        EXPECT_EQ(coefs, std::vector<double>(5, -4.0));
    }
}

TEST_F(EquationFileTest, ValuesNoFieldCanHoldAreRefused) {
    const std::string path = ProjectFile("range.equ");
    std::vector<double> coefs(5, 3.0);
    for (const char* bad : {"nan", "inf", "-inf", "1e13", "-2e12", "1e400"}) {
        WriteTextFile(path, std::string("1\n2\n3\n4\n") + bad + "\n");
        const int result = LoadEquationFile(path, coefs);
        EXPECT_TRUE(result == kEquationOutOfRange || result == kEquationNotANumber) << bad << ": " << result;
        EXPECT_EQ(coefs, std::vector<double>(5, 3.0)) << bad;
    }
    WriteTextFile(path, "1e12\n-1e12\n0\n0\n0\n");  // the limits themselves are fine
    EXPECT_EQ(LoadEquationFile(path, coefs), 5);
}

TEST_F(EquationFileTest, MissingFileLeavesTheValuesUnchanged) {
    std::vector<double> coefs(30, 1.5);
    EXPECT_EQ(LoadEquationFile(ProjectFile("missing.equ"), coefs), kEquationCannotOpen);
    EXPECT_EQ(coefs, std::vector<double>(30, 1.5));
}

TEST(EquationFileProblem, SaysWhatWentWrong) {
    EXPECT_EQ(EquationFileProblem(kEquationCannotOpen, 15), "cannot be opened or read.");
    EXPECT_EQ(EquationFileProblem(kEquationNotANumber, 15), "holds text that is not a number.");
    EXPECT_EQ(EquationFileProblem(kEquationCannotWrite, 5), "cannot be written.");
    EXPECT_EQ(EquationFileProblem(7, 15), "holds 7 of the 15 values this page needs.");
    EXPECT_EQ(EquationFileProblem(0, 30), "holds 0 of the 30 values this page needs.");
}

// A refused value is named by its line, blank lines counted, as an editor numbers them.
TEST_F(EquationFileTest, ProblemNamesTheLineOfTheRefusedValue) {
    const std::string path = ProjectFile("typo.equ");
    WriteTextFile(path, "0.5\r\n\r\n-2\r\n1,5\r\n7\r\n");
    std::vector<double> coefs(5, 9.0);
    const int result = LoadEquationFile(path, coefs);
    EXPECT_EQ(EquationFileProblem(result, 5, path), "holds text that is not a number on line 4.");
    WriteTextFile(path, "x\n1\n2\n3\n4\n5\n");
    EXPECT_EQ(EquationFileProblem(LoadEquationFile(path, coefs), 5, path),
              "holds text that is not a number on line 1.");
    WriteTextFile(path, "1\n2\n3\n4\n5\n\n   2e12\n");
    std::vector<double> six(6, 9.0);
    EXPECT_EQ(EquationFileProblem(LoadEquationFile(path, six), 6, path),
              "holds a value that is not a number between -1e12 and 1e12 on line 7.");
}

}  // namespace
