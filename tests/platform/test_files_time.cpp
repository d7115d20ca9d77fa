// Files, number arrays as text, time strings and locks.
#include <atomic>
#include <cmath>
#include <limits>
#include <regex>
#include <thread>

#include "ui_test.h"

namespace {

using PlatformFileTest = UiTest;

TEST_F(PlatformFileTest, ProjectDirAndPathnames) {
    std::string dir;
    EXPECT_EQ(GetProjectDir(dir), 0);
    EXPECT_EQ(dir, projectDir.string());
    uitest::SetProjectDir("");
    EXPECT_EQ(GetProjectDir(dir), 0);
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(dir) / "platform_test_files_time")) << dir;
    EXPECT_NE(dir.back(), '/');
    EXPECT_EQ(MakePathname("/a/b", "c.cfg"), "/a/b/c.cfg");
    EXPECT_EQ(MakePathname("/a/b/", "c.cfg"), "/a/b/c.cfg");
}

TEST_F(PlatformFileTest, FileInfo) {
    long size = -1;
    EXPECT_EQ(GetFileInfo(ProjectFile("none"), size), 0);
    EXPECT_EQ(size, 0);
    WriteTextFile(ProjectFile("five"), "12345");
    EXPECT_EQ(GetFileInfo(ProjectFile("five"), size), 1);
    EXPECT_EQ(size, 5);
    EXPECT_EQ(GetFileInfo(projectDir.string(), size), 0);  // a directory is no file
}

TEST_F(PlatformFileTest, ReadLineCutsLongLinesAndEndsWithMinusTwo) {
    WriteTextFile(ProjectFile("lines"), "abcdefgh\r\n\nxyz\r\nab\rcd\n12345\nlast");
    const int f = CVI_OpenFile(ProjectFile("lines"), VAL_READ_ONLY, VAL_OPEN_AS_IS, VAL_ASCII);
    ASSERT_GE(f, 0);
    std::string line;
    EXPECT_EQ(ReadLine(f, line, 5), 5);  // the rest of the long line is skipped
    EXPECT_EQ(line, "abcde");
    EXPECT_EQ(ReadLine(f, line, 5), 0);
    EXPECT_EQ(line, "");
    EXPECT_EQ(ReadLine(f, line, 3), 3);  // exactly as long as allowed, CRLF line end
    EXPECT_EQ(line, "xyz");
    EXPECT_EQ(ReadLine(f, line, 10), 5);  // a lone CR is part of the text
    EXPECT_EQ(line, "ab\rcd");
    EXPECT_EQ(ReadLine(f, line, 0), 0);    // nothing kept, line still consumed
    EXPECT_EQ(ReadLine(f, line, 100), 4);  // the last line has no line end
    EXPECT_EQ(line, "last");
    EXPECT_EQ(ReadLine(f, line, 100), -2);
    EXPECT_EQ(ReadLine(f, line, 100), -2);
    EXPECT_EQ(ReadLine(f, line, -1), -1);
    EXPECT_EQ(CVI_CloseFile(f), 0);
    EXPECT_EQ(ReadLine(f, line, 100), -1);
    EXPECT_EQ(CVI_CloseFile(f), -1);
}

TEST_F(PlatformFileTest, HundredByteRecordsWithEitherLineEnd) {
    const std::string record = "host-a" + std::string(94, '\0');
    WriteTextFile(ProjectFile("IPComboBox.cfg"), record + "\n" + record + "\r\n" + record + "\n");
    const int f = CVI_OpenFile(ProjectFile("IPComboBox.cfg"), VAL_READ_ONLY, VAL_OPEN_AS_IS, VAL_ASCII);
    std::string line;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(ReadLine(f, line, 100), 100) << i;
        EXPECT_EQ(line, record) << i;
    }
    EXPECT_EQ(ReadLine(f, line, 100), -2);
    CVI_CloseFile(f);
}

TEST_F(PlatformFileTest, WriteAppendReadAndDelete) {
    const std::string path = ProjectFile("rec.dat");
    int f = CVI_OpenFile(path, VAL_WRITE_ONLY, VAL_TRUNCATE, VAL_ASCII);
    ASSERT_GE(f, 0);
    EXPECT_EQ(WriteLine(f, "head"), 5);
    EXPECT_EQ(CVI_WriteFile(f, "a\tb\n", 4), 4);
    EXPECT_EQ(CVI_CloseFile(f), 0);
    f = CVI_OpenFile(path, VAL_WRITE_ONLY, VAL_APPEND, VAL_ASCII);
    EXPECT_EQ(CVI_WriteFile(f, "c\n", 2), 2);
    CVI_CloseFile(f);
    EXPECT_EQ(ReadTextFile(path), "head\na\tb\nc\n");

    f = CVI_OpenFile(path, VAL_READ_WRITE, VAL_OPEN_AS_IS, VAL_BINARY);
    char buf[4] = {};
    EXPECT_EQ(CVI_ReadFile(f, buf, 4), 4);
    EXPECT_EQ(std::string(buf, 4), "head");
    CVI_CloseFile(f);
    f = CVI_OpenFile(path, VAL_WRITE_ONLY, VAL_TRUNCATE, VAL_ASCII);
    CVI_CloseFile(f);
    EXPECT_EQ(ReadTextFile(path), "");

    EXPECT_EQ(CVI_OpenFile(ProjectFile("missing"), VAL_READ_ONLY, VAL_OPEN_AS_IS, VAL_ASCII), -1);
    EXPECT_EQ(CVI_OpenFile(ProjectFile("no/dir/file"), VAL_WRITE_ONLY, VAL_TRUNCATE, VAL_ASCII), -1);
    EXPECT_EQ(CVI_DeleteFile(path), 0);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_LT(CVI_DeleteFile(path), 0);
    EXPECT_EQ(CVI_WriteFile(12345, "x", 1), -1);
}

TEST_F(PlatformFileTest, DoublesRoundTripExactlyRightAligned) {
    const double values[] = {0.1,     -2,   1e-300, 123456789.125,
                             1.0 / 3, -0.0, 5e-324, std::numeric_limits<double>::max()};
    const std::string path = ProjectFile("equation.equ");
    ASSERT_EQ(ArrayToFile(path, values, 15), 0);
    const std::string text = ReadTextFile(path);
    EXPECT_EQ(text.substr(0, 32), "            0.1\n             -2\n");
    EXPECT_NE(text.find("         1e-300\n"), std::string::npos);
    EXPECT_NE(text.find("  123456789.125\n"), std::string::npos);
    EXPECT_NE(text.find("\n0.3333333333333333\n"), std::string::npos) << "wider than the field when needed";
    EXPECT_EQ(text.find('\r'), std::string::npos);

    double back[8] = {};
    ASSERT_EQ(FileToArray(path, back), 8);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(back[i], values[i]) << i;
    EXPECT_TRUE(std::signbit(back[5]));

    // Fewer slots than lines: reads what fits.
    double two[2] = {};
    EXPECT_EQ(FileToArray(path, two), 2);
    EXPECT_EQ(two[1], -2.0);
}

TEST_F(PlatformFileTest, ReadingNumbersAcceptsBlanksAndRejectsJunk) {
    double d[6] = {};
    WriteTextFile(ProjectFile("ok"), "  1.5  \r\n\n\t-3e2\r\n+7\n");
    EXPECT_EQ(FileToArray(ProjectFile("ok"), d), 3);
    EXPECT_EQ(d[0], 1.5);
    EXPECT_EQ(d[1], -300.0);
    EXPECT_EQ(d[2], 7.0);
    for (const char* junk : {"1\n12abc\n", "1 2\n", "abc\n", "0x10\n", "1.5.2\n", "--1\n", "+-1\n", "+\n"}) {
        WriteTextFile(ProjectFile("junk"), junk);
        EXPECT_EQ(FileToArray(ProjectFile("junk"), d), -2) << junk;
    }
    EXPECT_EQ(FileToArray(ProjectFile("missing"), d), -1);
    WriteTextFile(ProjectFile("empty"), "");
    EXPECT_EQ(FileToArray(ProjectFile("empty"), d), 0);
    // A directory is not an empty file: it cannot be read at all.
    std::filesystem::create_directory(ProjectFile("folder.equ"));
    EXPECT_EQ(FileToArray(ProjectFile("folder.equ"), d), -1);
    EXPECT_EQ(CVI_OpenFile(ProjectFile("folder.equ"), VAL_READ_ONLY, VAL_OPEN_AS_IS, VAL_ASCII), -1);
}

TEST_F(PlatformFileTest, UnsignedShortArrays) {
    const unsigned short values[] = {0, 1, 1024, 65535};
    ASSERT_EQ(ArrayToFile(ProjectFile("p.ini"), values, 6), 0);
    EXPECT_EQ(ReadTextFile(ProjectFile("p.ini")), "     0\n     1\n  1024\n 65535\n");
    unsigned short back[4] = {};
    EXPECT_EQ(FileToArray(ProjectFile("p.ini"), back), 4);
    EXPECT_EQ(back[3], 65535);
    for (const char* bad : {"65536\n", "-1\n", "1.5\n", "7x\n"}) {
        WriteTextFile(ProjectFile("bad"), bad);
        EXPECT_EQ(FileToArray(ProjectFile("bad"), back), -2) << bad;
    }
    EXPECT_EQ(ArrayToFile(ProjectFile("no/dir/p.ini"), values, 6), -1);
}

TEST(PlatformTimeTest, DateAndTimeStrings) {
    EXPECT_TRUE(std::regex_match(DateStr(), std::regex(R"((0[1-9]|1[0-2])-(0[1-9]|[12]\d|3[01])-\d{4})")))
        << DateStr();
    EXPECT_TRUE(std::regex_match(TimeStr(), std::regex(R"(([01]\d|2[0-3]):[0-5]\d:[0-5]\d)"))) << TimeStr();
}

TEST(PlatformTimeTest, TimerIsMonotonicSecondsAndDelaySleeps) {
    const double t0 = Timer();
    Delay(0.05);
    const double t1 = Timer();
    EXPECT_GE(t1 - t0, 0.05);
    EXPECT_LT(t1 - t0, 1.0);
    Sleep(20);
    EXPECT_GE(Timer() - t1, 0.02);
}

TEST(PlatformLockTest, LocksAreRecursiveAndExcludeOtherThreads) {
    int lock = 0;
    ASSERT_EQ(CmtNewLock("", 0, lock), 0);
    EXPECT_EQ(CmtGetLock(lock), 0);
    EXPECT_EQ(CmtGetLock(lock), 0);  // the holder may take it again

    std::atomic<bool> gotIt{false};
    std::atomic<int> otherThread{0};
    std::thread other([&] {
        otherThread = CmtGetCurrentThreadID();
        EXPECT_LT(CmtReleaseLock(lock), 0);  // not the holder
        CmtGetLock(lock);
        gotIt = true;
        CmtReleaseLock(lock);
    });
    Sleep(50);
    EXPECT_FALSE(gotIt);
    EXPECT_EQ(CmtReleaseLock(lock), 0);
    Sleep(20);
    EXPECT_FALSE(gotIt) << "still held once";
    EXPECT_EQ(CmtReleaseLock(lock), 0);
    other.join();
    EXPECT_TRUE(gotIt);
    EXPECT_NE(otherThread, CmtGetCurrentThreadID());

    EXPECT_EQ(CmtDiscardLock(lock), 0);
    EXPECT_LT(CmtGetLock(lock), 0);
    EXPECT_LT(CmtDiscardLock(lock), 0);
}

TEST(PlatformLockTest, HolderMayDiscardItsLock) {
    int lock = 0;
    CmtNewLock("", 0, lock);
    CmtGetLock(lock);
    EXPECT_EQ(CmtDiscardLock(lock), 0);
    int again = 0;
    CmtNewLock("", 0, again);
    EXPECT_NE(again, lock);
}

}  // namespace
