// The settings file and the server history file: formats, and what happens with missing, short and
// damaged files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "file_size_limit.h"
#include "settings_files.h"
#include "ui_test.h"
#include "whole_file.h"

namespace {

using Strings = std::vector<std::string>;

std::string Record(const std::string& text, const char* lineEnd = "\n") {
    std::string r = text;
    r.resize(kHistoryRecordBytes, '\0');
    return r + lineEnd;
}

class SettingsFiles : public UiTest {};

TEST_F(SettingsFiles, ComSettingsRoundTripIsFiveDecimalLines) {
    ComSettings s{1, 3, 4, "sensor-gw.example", "502"};
    ASSERT_TRUE(WriteComSettings(ProjectFile("ComSettings.cfg"), s));
    EXPECT_EQ(ReadTextFile(ProjectFile("ComSettings.cfg")), "1\n3\n4\nsensor-gw.example\n502\n");
    ComSettings back;
    ASSERT_TRUE(ReadComSettings(ProjectFile("ComSettings.cfg"), back));
    EXPECT_EQ(back.protocol, 1);
    EXPECT_EQ(back.comPort, 3);
    EXPECT_EQ(back.baudIndex, 4);
    EXPECT_EQ(back.server, "sensor-gw.example");
    EXPECT_EQ(back.portNumber, "502");
}

TEST_F(SettingsFiles, MissingComSettingsLeavesDefaults) {
    ComSettings s;
    s.comPort = 7;
    EXPECT_FALSE(ReadComSettings(ProjectFile("ComSettings.cfg"), s));
    EXPECT_EQ(s.comPort, 7);
}

TEST_F(SettingsFiles, JunkAndShortComSettingsReadAsZeroAndEmpty) {
    WriteTextFile(ProjectFile("ComSettings.cfg"), "TCP\r\n 12abc\r\n");
    ComSettings s{5, 5, 5, "x", "y"};
    ASSERT_TRUE(ReadComSettings(ProjectFile("ComSettings.cfg"), s));
    EXPECT_EQ(s.protocol, 0) << "a line that is not a number reads as 0";
    EXPECT_EQ(s.comPort, 12) << "decimal conversion stops at the first non-digit";
    EXPECT_EQ(s.baudIndex, 0);
    EXPECT_EQ(s.server, "");
    EXPECT_EQ(s.portNumber, "");
}

TEST_F(SettingsFiles, OverlongLinesDoNotShiftTheFollowingOnes) {
    const std::string longServer(400, 's');
    WriteTextFile(ProjectFile("ComSettings.cfg"),
                  "1\n2\n3\n" + longServer + "\n" + std::string(50, '9') + "\n");
    ComSettings s;
    ASSERT_TRUE(ReadComSettings(ProjectFile("ComSettings.cfg"), s));
    EXPECT_EQ(s.server, std::string(kServerTextMax, 's'));
    EXPECT_EQ(s.portNumber, std::string(kPortTextMax, '9'));
}

TEST(ComSettingsText, CarriageReturnsEndingALineAreNotPartOfItsText) {
    // A file last saved by an editor that ends lines with CR, or cut off before its final LF: the server
    // name would not resolve with a CR in it, and writing it back would change what reads back.
    ComSettings s;
    ParseComSettings("1\r\n5\r\n1\r\nsensor-gw\r\r\n502\r", s);
    EXPECT_EQ(s.server, "sensor-gw");
    EXPECT_EQ(s.portNumber, "502");
    ComSettings back;
    ParseComSettings(FormatComSettings(s), back);
    EXPECT_EQ(back.server, s.server);
    EXPECT_EQ(back.portNumber, s.portNumber);
}

TEST(DecimalValue, ConvertsLikeTheSensorToolsAlwaysDid) {
    EXPECT_EQ(DecimalValue("502"), 502);
    EXPECT_EQ(DecimalValue("  -3"), -3);
    EXPECT_EQ(DecimalValue("+7x"), 7);
    EXPECT_EQ(DecimalValue("abc"), 0);
    EXPECT_EQ(DecimalValue(""), 0);
    EXPECT_EQ(DecimalValue("99999999999999"), 2147483647);
}

TEST_F(SettingsFiles, HistoryRecordsAreHundredBytesAndALineEnd) {
    ASSERT_TRUE(WriteServerHistory(ProjectFile("IPComboBox.cfg"), {"alpha", "10.0.0.7"}));
    const std::string bytes = ReadTextFile(ProjectFile("IPComboBox.cfg"));
    EXPECT_EQ(bytes, Record("alpha") + Record("10.0.0.7"));
    EXPECT_EQ(ReadServerHistory(ProjectFile("IPComboBox.cfg")), (Strings{"alpha", "10.0.0.7"}));
}

TEST_F(SettingsFiles, FiveRecordsReadBackInOrder) {
    Strings names = {"e1", "e2", "e3", "e4", "e5"};
    ASSERT_TRUE(WriteServerHistory(ProjectFile("IPComboBox.cfg"), names));
    EXPECT_EQ(ReadServerHistory(ProjectFile("IPComboBox.cfg")), names);
}

TEST(ServerHistory, TwoByteLineEndsAndEmptyRecords) {
    std::string bytes = Record("one", "\r\n") + Record("", "\r\n") + Record("three", "\r\n");
    EXPECT_EQ(ParseServerHistory(bytes), (Strings{"one", "three"}));
}

TEST(ServerHistory, AnEntryReadsBackAsItWasReadAfterTheHistoryIsWritten) {
    // Trailing CRs are line-end bytes: kept in the entry, one of them would be lost at every write.
    const Strings entries =
        ParseServerHistory(Record("gw\r\r", "\r\n") + Record(std::string(99, 'c') + "\r"));
    EXPECT_EQ(entries, (Strings{"gw", std::string(99, 'c')}));
    EXPECT_EQ(ParseServerHistory(FormatServerHistory(entries)), entries);
}

TEST(ServerHistory, CountIsSizeOverHundredAndOne) {
    // A torn last record (fewer than 101 bytes) is not counted.
    std::string bytes = Record("one") + Record("two").substr(0, 60);
    EXPECT_EQ(ParseServerHistory(bytes), (Strings{"one"}));
    EXPECT_TRUE(ParseServerHistory("").empty());
    EXPECT_TRUE(ParseServerHistory(std::string(100, 'x')).empty());
}

TEST(ServerHistory, JunkBytesDoNotRunPastARecord) {
    // A record without a zero byte: its text is the whole 100 bytes, and the next record still lines up.
    std::string bytes = std::string(100, 'j') + "\n" + Record("next");
    EXPECT_EQ(ParseServerHistory(bytes), (Strings{std::string(100, 'j'), "next"}));
}

TEST(ServerHistory, EachLineIsOneEntryAndTenAtMost) {
    // Damaged files: a line longer than a record is one entry cut to 100 bytes, not several.
    std::string longLines;
    for (char c : std::string("vwxyz")) longLines += std::string(5000, c) + "\n";
    const Strings entries = ParseServerHistory(longLines);
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(entries[0], std::string(100, 'v'));
    EXPECT_EQ(entries[4], std::string(100, 'z'));
    std::string twelve;
    for (int i = 0; i < 12; ++i) twelve += Record("h" + std::to_string(i));
    const Strings ten = ParseServerHistory(twelve);
    ASSERT_EQ(ten.size(), std::size_t(kHistoryMaxEntries));
    EXPECT_EQ(ten.back(), "h9");
}

TEST_F(SettingsFiles, BytesThatAreNotUtf8RoundTripUnchanged) {
    const std::string name = "gw-\xFF\xC3(";  // a stray byte and a broken two-byte sequence
    ASSERT_TRUE(WriteServerHistory(ProjectFile("IPComboBox.cfg"), {name}));
    EXPECT_EQ(ReadServerHistory(ProjectFile("IPComboBox.cfg")), Strings{name});
}

TEST_F(SettingsFiles, BothFilesAreReplacedWholeNeverRewrittenInPlace) {
    // A second name for the old file still reads the old bytes: the new file took its place in one step.
    for (const char* name : {"ComSettings.cfg", "IPComboBox.cfg"}) {
        const std::string path = ProjectFile(name), old = ProjectFile(std::string(name) + ".old");
        WriteTextFile(path, "previous\n");
        std::filesystem::create_hard_link(path, old);
        const bool written = std::string(name) == "IPComboBox.cfg" ? WriteServerHistory(path, {"x"})
                                                                   : WriteComSettings(path, ComSettings{});
        ASSERT_TRUE(written) << name;
        EXPECT_EQ(ReadTextFile(old), "previous\n") << name;
        EXPECT_NE(ReadTextFile(path), "previous\n") << name;
    }
}

TEST_F(SettingsFiles, ASettingsWriteThatFailsHalfWayLeavesBothFilesAsTheyWere) {
    const std::string settings = ProjectFile("ComSettings.cfg"), history = ProjectFile("IPComboBox.cfg");
    WriteTextFile(settings, "1\n3\n4\nold-gateway\n502\n");
    WriteTextFile(history, Record("old-gateway"));
    {
        FileSizeLimit limit(20);  // no file may grow past 20 bytes: a full disk
        EXPECT_FALSE(WriteComSettings(settings, ComSettings{0, 2, 1, std::string(40, 'g'), "7"}));
        EXPECT_FALSE(WriteServerHistory(history, {"new-gateway", "second"}));
    }
    EXPECT_EQ(ReadTextFile(settings), "1\n3\n4\nold-gateway\n502\n");
    EXPECT_EQ(ReadTextFile(history), Record("old-gateway"));
    int files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(projectDir)) ++files;
    EXPECT_EQ(files, 2) << "nothing left beside them";
}

// The one writer of whole files: a replaced file keeps its permissions, a symbolic link keeps pointing at
// the file it named, and a file the user may not write, or a directory, is not replaced.
TEST_F(SettingsFiles, AFileWrittenWholeKeepsItsPermissionsAndItsLinks) {
    namespace fs = std::filesystem;
    const std::string file = ProjectFile("kept.cfg"), link = ProjectFile("link.cfg");
    WriteTextFile(file, "old\n");
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink(file, link);
    ASSERT_TRUE(WriteFileWhole(link, "new\n"));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadTextFile(file), "new\n");
    EXPECT_EQ(fs::status(file).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_directory(ProjectFile("dir.cfg"));
    EXPECT_FALSE(WriteFileWhole(ProjectFile("dir.cfg"), "x"));
    EXPECT_TRUE(fs::is_directory(ProjectFile("dir.cfg")));
    EXPECT_TRUE(WriteFileWhole(ProjectFile("fresh.cfg"), "")) << "an empty file is a whole file too";
    EXPECT_EQ(fs::file_size(ProjectFile("fresh.cfg")), 0u);
}

// A link whose file does not exist yet has it made where it points, relative targets read from each
// link's own folder, and the links stay; a link into a missing folder makes nothing.
TEST_F(SettingsFiles, ADanglingLinkIsWrittenThroughAndKept) {
    namespace fs = std::filesystem;
    fs::create_directory(ProjectFile("sub"));
    fs::create_symlink("sub/mid.cfg", ProjectFile("first.cfg"));
    fs::create_symlink("target.cfg", ProjectFile("sub/mid.cfg"));  // sub/target.cfg, not ./target.cfg
    ASSERT_TRUE(WriteFileWhole(ProjectFile("first.cfg"), "through\n"));
    EXPECT_TRUE(fs::is_symlink(ProjectFile("first.cfg")));
    EXPECT_TRUE(fs::is_symlink(ProjectFile("sub/mid.cfg")));
    EXPECT_EQ(ReadTextFile(ProjectFile("sub/target.cfg")), "through\n");
    EXPECT_FALSE(fs::exists(ProjectFile("target.cfg")));

    fs::create_symlink("missing/target.cfg", ProjectFile("astray.cfg"));
    errno = 0;
    EXPECT_FALSE(WriteFileWhole(ProjectFile("astray.cfg"), "x"));
    EXPECT_EQ(errno, ENOENT);
    EXPECT_TRUE(fs::is_symlink(ProjectFile("astray.cfg")));
    EXPECT_FALSE(fs::exists(ProjectFile("missing")));
}

// Root replacing a file of another user leaves it theirs (CI runs the tests as root).
TEST_F(SettingsFiles, AFileReplacedByRootKeepsItsOwner) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root may give a file away";
    const std::string file = ProjectFile("theirs.cfg");
    WriteTextFile(file, "old\n");
    ASSERT_EQ(::chown(file.c_str(), 65534, 65534), 0);
    ASSERT_TRUE(WriteFileWhole(file, "new\n"));
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
    EXPECT_EQ(ReadTextFile(file), "new\n");
}

// A failed write leaves errno at its cause, for the caller to name.
TEST_F(SettingsFiles, AFailedWholeWriteLeavesItsReasonInErrno) {
    const std::string file = ProjectFile("limited.cfg");
    {
        FileSizeLimit limit(20);
        errno = 0;
        EXPECT_FALSE(WriteFileWhole(file, std::string(40, 'x')));
        EXPECT_EQ(errno, EFBIG);
    }
    std::filesystem::create_directory(ProjectFile("folder.cfg"));
    errno = 0;
    EXPECT_FALSE(WriteFileWhole(ProjectFile("folder.cfg"), "x"));
    EXPECT_EQ(errno, EISDIR);
    int files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(projectDir)) ++files;
    EXPECT_EQ(files, 1) << "nothing but the folder";
}

TEST_F(SettingsFiles, MissingHistoryIsEmpty) {
    EXPECT_TRUE(ReadServerHistory(ProjectFile("IPComboBox.cfg")).empty());
}

TEST_F(SettingsFiles, OverlongServerNameIsCutToItsRecord) {
    const std::string name = std::string(98, 'n') + "\xC3\xA9" + "tail";  // a two-byte character at 98..99
    ASSERT_TRUE(WriteServerHistory(ProjectFile("IPComboBox.cfg"), {name, "after"}));
    const std::string bytes = ReadTextFile(ProjectFile("IPComboBox.cfg"));
    ASSERT_EQ(bytes.size(), 2u * (kHistoryRecordBytes + 1));
    auto back = ReadServerHistory(ProjectFile("IPComboBox.cfg"));
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0], name.substr(0, 100));
    EXPECT_EQ(back[1], "after");
}

TEST(CutToBytes, NeverSplitsACharacter) {
    EXPECT_EQ(CutToBytes("abc", 5), "abc");
    EXPECT_EQ(CutToBytes("abcdef", 3), "abc");
    EXPECT_EQ(CutToBytes("ab\xC3\xA9", 3), "ab");
    EXPECT_EQ(CutToBytes("a\xE2\x82\xAC"
                         "b",
                         3),
              "a");
}

TEST_F(SettingsFiles, UnwritableFileIsReported) {
    const std::string dir = ProjectFile("no-such-dir/IPComboBox.cfg");
    EXPECT_FALSE(WriteServerHistory(dir, {"x"}));
    EXPECT_FALSE(WriteComSettings(ProjectFile("no-such-dir/ComSettings.cfg"), ComSettings{}));
}

}  // namespace
