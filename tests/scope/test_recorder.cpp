// The recorder driven as a user would: record modes and their panel, the record time, the choice of the
// record file, the bytes of its lines, lines that cannot be written, manual lines and their counter, and
// records against the emulator (a count at an interval, time-out, Stop, triggered frames on both links).
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "com232.h"
#include "frame_log.h"
#include "graph_panel.h"
#include "interface_panel.h"
#include "live_data.h"
#include "record_file.h"
#include "recorder.h"
#include "scope.h"
#include "scope_link.h"
#include "sensor_emulator.h"
#include "ui_test.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kHeader = "DATE\tTIME\tCH_L\tCH_C\tCH_R\tDENSITY\tSYM1\tSYM2\tVECTOR\tTEMP\t\r\n";
constexpr const char* kConfirmName = "Are you sure, that you have selected the right file name?";
constexpr const char* kSaved = "File has been saved!";

// The date and time of the lines: a fixed date and a clock that ticks one second per line.
int g_ticks = 0;
std::string TestDate() {
    return "12-06-2026";
}
std::string TestTime() {
    char text[16];
    std::snprintf(text, sizeof text, "17:45:%02d", ++g_ticks % 60);
    return text;
}

std::string MakeSure(int blanks) {
    return " Make sure, that the file is not opened by any other program." + std::string(blanks, ' ') +
           "\n Otherwise it can not be saved.";
}

std::string LostText(int lost, int tried, const std::string& path) {
    return std::to_string(lost) + " of " + std::to_string(tried) + " lines could not be written to\n" + path +
           "\nThe file may be open in another program or read-only, or the disk may be full.";
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find("\r\n", at);
        if (end == std::string::npos) {
            lines.push_back(text.substr(at) + "<no line end>");
            break;
        }
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

// Root writes into read-only files regardless; the test process gives that up for itself.
void GiveUpFileOverride() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    ASSERT_EQ(syscall(SYS_capget, &header, data), 0);
    data[0].effective &= ~(1u << CAP_DAC_OVERRIDE);
    ASSERT_EQ(syscall(SYS_capset, &header, data), 0);
}

// Files may grow to `bytes` only while this lives (a full disk, as far as one process can tell).
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{bytes, old_.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &old_); }

  private:
    rlimit old_{};
};

class Recorder : public UiTest {
  protected:
    void SetUp() override {
        UiTest::SetUp();
        ASSERT_EQ(LoadOrvanePanels(), 0);
        DisplayOrvanePanels();
        InitRecordFileName(projectDir.string());
        SetRecordClock(TestDate, TestTime);
        g_ticks = 0;
        uitest::Click(mainpanel, MAINP_RECORDER);
    }
    void TearDown() override {
        poll = 0;
        if (tcpcon) DisconnectFromTCPServer(g_hconversation);
        tcpcon = 0;
        CloseCom(comport);
        DiscardOrvanePanels();
        if (emulator) emulator->Stop();
        UiTest::TearDown();
    }

    // The start-up sequence against the emulator on TCP or on its pseudo-terminal (COM5).
    void Connect(bool tcp, double autoSendHz = 20.0) {
        sensor_emu::EmulatorOptions options;
        options.versionText = "ORVANE V3.3 2020-05-18";
        options.autoSendHz = autoSendHz;
        options.tcp = tcp;
        options.pty = !tcp;
        if (!tcp) options.ptyLink = ProjectFile("COM5");
        emulator = std::make_unique<sensor_emu::SensorEmulator>(options);
        std::string error;
        ASSERT_TRUE(emulator->Start(&error)) << error;
        WriteTextFile(
            ProjectFile("ComSettings.cfg"),
            tcp ? "1\n1\n1\n127.0.0.1\n" + std::to_string(emulator->TcpPort()) + "\n" : "0\n5\n4\n\n\n");
        InitAll();
        ASSERT_EQ(comecho, 1) << "the version query failed";
        uitest::Click(mainpanel, MAINP_RECORDER);
        emulator->ResetCounters();
    }
    // Words of the request frames the emulator received since Connect: {order, first payload word}.
    std::vector<std::pair<int, int>> Requests() const {
        std::vector<std::pair<int, int>> r;
        for (const auto& f : emulator->Received()) r.emplace_back(f[2] << 8 | f[3], f[4] << 8 | f[5]);
        return r;
    }
    // Runs `action` inside the record's waits once `ready()` holds.
    static void WhenDuringTheRecord(std::function<bool()> ready, std::function<void()> action) {
        auto step = std::make_shared<std::function<void()>>();
        *step = [=] {
            if (ready())
                action();
            else
                uitest::RunDuringBusyWait(*step);
        };
        uitest::RunDuringBusyWait(*step);
    }
    static double FrameCounter() {
        double v = -1;
        GetCtrlVal(recpanel, RECP_FRAME_COUNTER, v);
        return v;
    }
    static void ExpectStartConfirmations() {
        uitest::ExpectPopup("ATTENTION!", kConfirmName, 1);
        uitest::ExpectPopup("ATTENTION!", MakeSure(36));
    }
    // The values of a data line (its columns after date and time).
    static std::string Values(const std::string& line) {
        const std::size_t second = line.find('\t', line.find('\t') + 1);
        return second == std::string::npos ? line : line.substr(second + 1);
    }

    std::unique_ptr<sensor_emu::SensorEmulator> emulator;

    static std::string Shown(int ctrl) {
        std::string text;
        GetCtrlVal(recpanel, ctrl, text);
        return text;
    }
    static int Attr(int panel, int ctrl, CtrlAttr attr) {
        int v = -1;
        GetCtrlAttribute(panel, ctrl, attr, v);
        return v;
    }
    static int Value(int ctrl) {
        int v = -1;
        GetCtrlVal(recpanel, ctrl, v);
        return v;
    }
    static std::size_t Plots(int signal = 0) {
        std::vector<GraphPlotInfo> plots;
        GetGraphPlots(graphpanel, GRAPHP_GRAPH + signal, plots);
        return plots.size();
    }
    void SelectNewFile(const std::string& path) {
        uitest::ExpectFileSelect(VAL_NEW_FILE_SELECTED, path);
        uitest::Click(recpanel, RECP_SELECT_FILE);
    }
    void Manual() {
        if (Value(RECP_MODE) != 2) uitest::SelectListItem(recpanel, RECP_MODE, 2);
        uitest::Click(recpanel, RECP_MANUAL);
    }
};

// --- the panel ------------------------------------------------------------------------------------------

TEST_F(Recorder, EachModeShowsItsControlsOnly) {
    const std::vector<int> modeControls = {
        RECP_INTERVAL,        RECP_COUNT,          RECP_TIME_FRAME,    RECP_DAYS,  RECP_SECONDS,
        RECP_RECORDED,        RECP_REMAINING,      RECP_FRAME_COUNTER, RECP_START, RECP_STOP,
        RECP_START_TRIGGERED, RECP_STOP_TRIGGERED, RECP_MANUAL};
    const std::vector<int> shown[4] = {
        {RECP_INTERVAL, RECP_COUNT, RECP_TIME_FRAME, RECP_DAYS, RECP_SECONDS, RECP_RECORDED, RECP_REMAINING,
         RECP_START, RECP_STOP},
        {RECP_INTERVAL, RECP_FRAME_COUNTER, RECP_START, RECP_STOP},
        {RECP_RECORDED, RECP_MANUAL},
        {RECP_FRAME_COUNTER, RECP_START_TRIGGERED, RECP_STOP_TRIGGERED},
    };
    for (int mode : {3, 1, 2, 0}) {
        ASSERT_EQ(uitest::SelectListItem(recpanel, RECP_MODE, mode), 0);
        for (int ctrl : modeControls) {
            const bool expected =
                std::find(shown[mode].begin(), shown[mode].end(), ctrl) != shown[mode].end();
            EXPECT_EQ(uitest::IsShown(recpanel, ctrl), expected) << "mode " << mode << ", control " << ctrl;
        }
        EXPECT_TRUE(uitest::IsShown(recpanel, RECP_SELECT_FILE));
        EXPECT_TRUE(uitest::IsShown(recpanel, RECP_FILE));
    }
}

TEST_F(Recorder, RecordTimeIsIntervalTimesCountSplitIntoDaysHoursMinutesSeconds) {
    struct Case {
        unsigned short interval, count;
        int days, hours, minutes, seconds;
    };
    const Case cases[] = {{2, 5, 0, 0, 0, 10}, {5, 36769, 2, 3, 4, 5}, {65535, 65535, 49708, 18, 3, 45}};
    for (const Case& c : cases) {
        SetCtrlVal(recpanel, RECP_RECORDED, static_cast<unsigned short>(9));
        uitest::SetAndCommit(recpanel, RECP_INTERVAL, c.interval);
        uitest::SetAndCommit(recpanel, RECP_COUNT, c.count);
        EXPECT_EQ(Value(RECP_DAYS), c.days) << c.interval << " x " << c.count;
        EXPECT_EQ(Value(RECP_HOURS), c.hours) << c.interval << " x " << c.count;
        EXPECT_EQ(Value(RECP_MINUTES), c.minutes) << c.interval << " x " << c.count;
        EXPECT_EQ(Value(RECP_SECONDS), c.seconds) << c.interval << " x " << c.count;
        EXPECT_EQ(Value(RECP_RECORDED), 0);
        EXPECT_EQ(Value(RECP_REMAINING), c.count);
    }
    EXPECT_EQ(zeitint, 65535);
    EXPECT_EQ(anzwerte, 65535);
}

TEST_F(Recorder, ModeChangeStopsTheLoopClearsTheGraphAndRestartsTheManualCount) {
    SetPanelGraphData();
    SetPanelGraphData();
    ASSERT_EQ(Plots(6), 2u);
    otcrec = 12;
    poll = 1;  // as while the live-data loop runs
    uitest::SelectListItem(recpanel, RECP_MODE, 2);
    EXPECT_EQ(poll, 0);
    EXPECT_EQ(Plots(0), 0u);
    EXPECT_EQ(Plots(6), 0u);
    EXPECT_EQ(otcrec, 0);
    EXPECT_EQ(Value(RECP_RECORDED), 0);
    Manual();
    EXPECT_EQ(Value(RECP_RECORDED), 1);
    EXPECT_EQ(Plots(), 1u) << "a manual line is added to the graph";

    SetCtrlVal(recpanel, RECP_REMAINING, static_cast<unsigned short>(3));
    uitest::SelectListItem(recpanel, RECP_MODE, 0);  // the record time is shown anew
    EXPECT_EQ(Value(RECP_REMAINING), Value(RECP_COUNT));
    EXPECT_EQ(otcrec, 1) << "only manual mode restarts the count";
}

TEST_F(Recorder, EveryControlAnswersARightClickWithItsHelp) {
    uitest::ExpectPopup("INFO!", " Switch to data recorder.");
    uitest::RightClick(mainpanel, MAINP_RECORDER);
    const std::pair<int, const char*> always[] = {
        {RECP_MODE, " Select how to record data frame. "},
        {RECP_SELECT_FILE, " Select a record file for data save. "},
        {RECP_FILE, " Shows the path of the record file. "},
        {RECP_INTERVAL, " Choose a even interval for recording. \n Minimum interval is 1 second. "},
        {RECP_COUNT, " Choose how many Data should be recorded. "},
        {RECP_DAYS, " Displays the time for recording \n when all VALUES will be recorded."},
        {RECP_SECONDS, " Displays the time for recording \n when all VALUES will be recorded."},
        {RECP_RECORDED, " Displays how many values are already recorded."},
        {RECP_REMAINING, " Displays how many values remain to be recorded."},
        {RECP_START, " Start data record."},
        {RECP_STOP, " Stop data record."},
    };
    for (auto [ctrl, text] : always) {
        uitest::ExpectPopup("INFO!", text);
        EXPECT_EQ(uitest::RightClick(recpanel, ctrl), 0) << ctrl;
    }
    uitest::SelectListItem(recpanel, RECP_MODE, 3);
    uitest::ExpectPopup("INFO!", " Start data record.");
    uitest::RightClick(recpanel, RECP_START_TRIGGERED);
    uitest::ExpectPopup("INFO!", " Stop data record.");
    uitest::RightClick(recpanel, RECP_STOP_TRIGGERED);
    uitest::SelectListItem(recpanel, RECP_MODE, 2);
    uitest::ExpectPopup("INFO!", " Record one frame manually \n and append to existing file. ");
    uitest::RightClick(recpanel, RECP_MANUAL);
    EXPECT_EQ(otcrec, 0) << "help records nothing";
    EXPECT_FALSE(fs::exists(projectDir / "RecordFile.dat"));
}

// --- the record file ------------------------------------------------------------------------------------

TEST_F(Recorder, ANewFileGetsTheHeaderAndManualLinesOfZerosBeforeAnyFrame) {
    const std::string path = ProjectFile("new.dat");
    const std::string startPath = Shown(RECP_FILE);
    SelectNewFile(path);
    const uitest::Popup& dialog = uitest::Popups().back();
    EXPECT_EQ(dialog.title, "FILENAME!");
    EXPECT_EQ(dialog.text, "RecordFile.dat");
    EXPECT_EQ(dialog.filter, "*.dat");
    EXPECT_EQ(dialog.directory, startPath) << "the dialog starts at the file in force";
    EXPECT_EQ(dialog.buttonLabel, VAL_OK_BUTTON);
    EXPECT_EQ(dialog.allowCancel, 1);
    EXPECT_EQ(dialog.allowMakeDirectory, 1);
    EXPECT_EQ(Shown(RECP_FILE), path);
    EXPECT_EQ(ReadTextFile(path), kHeader);

    Manual();
    Manual();
    EXPECT_EQ(ReadTextFile(path), std::string(kHeader) + "12-06-2026\t17:45:01\t0\t0\t0\t0\t0\t0\t0\t0\r\n" +
                                      "12-06-2026\t17:45:02\t0\t0\t0\t0\t0\t0\t0\t0\r\n");
}

TEST_F(Recorder, ManualLinesHoldTheLatestFrameInColumnOrder) {
    SelectNewFile(ProjectFile("r.dat"));
    dataChL = 1210, dataChC = 1984, dataChR = 1177, dataDensity = 2051, dataSym1 = 50, dataSym2 = 48;
    dataVec = 3, dataTemp = 27, dataAktMaxChL = 9999, dataTrigger = 1;
    Manual();
    dataChL = 65535, dataVec = 255, dataTemp = 0;
    Manual();
    const auto lines = Lines(ReadTextFile(ProjectFile("r.dat")));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "12-06-2026\t17:45:01\t1210\t1984\t1177\t2051\t50\t48\t3\t27");
    EXPECT_EQ(lines[2], "12-06-2026\t17:45:02\t65535\t1984\t1177\t2051\t50\t48\t255\t0");
    std::vector<GraphPlotInfo> plots;
    GetGraphPlots(graphpanel, GRAPHP_GRAPH + 0, plots);
    ASSERT_EQ(plots.size(), 2u);
    EXPECT_EQ(plots[1].y, (std::vector<double>{1210, 65535}));
}

TEST_F(Recorder, TheDefaultFileGetsLinesWithoutAHeader) {
    EXPECT_EQ(Shown(RECP_FILE), ProjectFile("RecordFile.dat"));
    Manual();
    EXPECT_EQ(ReadTextFile(ProjectFile("RecordFile.dat")),
              "12-06-2026\t17:45:01\t0\t0\t0\t0\t0\t0\t0\t0\r\n");
}

TEST_F(Recorder, AnExistingFileAcceptedIsReplacedByANewOneWithAHeader) {
    const std::string path = ProjectFile("old.dat");
    WriteTextFile(path, "old content that is longer than a header line, old content, old content\r\n");
    uitest::ExpectFileSelect(VAL_EXISTING_FILE_SELECTED, path);
    uitest::ExpectPopup("ATTENTION!", "File already exist! \nDo you want to select existing file?", 1);
    uitest::ExpectPopup("ATTENTION!", MakeSure(36));
    uitest::Click(recpanel, RECP_SELECT_FILE);
    EXPECT_EQ(ReadTextFile(path), kHeader);
    EXPECT_EQ(Shown(RECP_FILE), path);
}

TEST_F(Recorder, DecliningAnExistingFileKeepsThePreviousOneInForceAndOnDisplay) {
    const std::string previous = ProjectFile("previous.dat"), declined = ProjectFile("declined.dat");
    SelectNewFile(previous);
    WriteTextFile(declined, "keep me\r\n");
    uitest::ExpectFileSelect(VAL_EXISTING_FILE_SELECTED, declined);
    uitest::ExpectPopup("ATTENTION!", "File already exist! \nDo you want to select existing file?", 0);
    uitest::Click(recpanel, RECP_SELECT_FILE);
    EXPECT_EQ(ReadTextFile(declined), "keep me\r\n");
    EXPECT_EQ(Shown(RECP_FILE), previous);
    Manual();
    EXPECT_EQ(Lines(ReadTextFile(previous)).size(), 2u) << "lines still go to the previous file";
}

TEST_F(Recorder, CancellingLeavesNoFileAndEveryLineIsReportedLost) {
    uitest::ExpectFileSelect(VAL_NO_FILE_SELECTED);
    uitest::ExpectPopup("ATTENTION!", "No filename was choosen! \nRecording will not be done! ");
    uitest::Click(recpanel, RECP_SELECT_FILE);
    EXPECT_EQ(Shown(RECP_FILE), "");
    uitest::ExpectPopup("ATTENTION!",
                        "No record file is selected: 1 of 1 lines were not written.\nSelect a file "
                        "with the Select-file button.");
    Manual();
    EXPECT_EQ(Value(RECP_RECORDED), 1);
    EXPECT_FALSE(fs::exists(ProjectFile("RecordFile.dat")));
}

TEST_F(Recorder, APathTooLongForTheBufferIsRefusedNeverCut) {
    const std::string previous = Shown(RECP_FILE);
    const fs::path deep = projectDir / std::string(200, 'd');
    fs::create_directories(deep);
    const std::string tooLong = (deep / (std::string(60, 'f') + ".dat")).string();
    ASSERT_GT(tooLong.size(), 259u);
    uitest::ExpectFileSelect(VAL_NEW_FILE_SELECTED, tooLong);
    uitest::ExpectPopup("ATTENTION!", "The path\n" + tooLong +
                                          "\nis longer than 259 characters and cannot be used for a record "
                                          "file.\nThe record file stays as it was.");
    uitest::Click(recpanel, RECP_SELECT_FILE);
    EXPECT_EQ(Shown(RECP_FILE), previous);
    EXPECT_TRUE(fs::is_empty(deep)) << "no file under a cut name";
    Manual();
    EXPECT_TRUE(fs::exists(previous));

    // A program directory too deep for its default record file leaves none selected.
    InitRecordFileName(deep.string() + "/" + std::string(60, 'p'));
    EXPECT_EQ(Shown(RECP_FILE), "");
    EXPECT_EQ(recFileName[0], '\0');
}

TEST_F(Recorder, AReadOnlyFileIsReportedWithTheLostLinesAndKeepsWhatWasWritten) {
    const std::string path = ProjectFile("ro.dat");
    SelectNewFile(path);
    Manual();
    const std::string written = ReadTextFile(path);
    GiveUpFileOverride();
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    uitest::ExpectPopup("ATTENTION!", LostText(1, 1, path));
    uitest::Click(recpanel, RECP_MANUAL);
    EXPECT_EQ(ReadTextFile(path), written);
    EXPECT_EQ(Value(RECP_RECORDED), 2) << "the count goes on";
    fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);
    uitest::Click(recpanel, RECP_MANUAL);  // no message once the line is written
    EXPECT_EQ(Lines(ReadTextFile(path)).size(), 3u);
}

TEST_F(Recorder, ALineCutShortByAFullDiskIsTakenOutAgain) {
    const std::string path = ProjectFile("full.dat");
    {
        FileSizeLimit limit(20);  // not even the header fits
        uitest::ExpectFileSelect(VAL_NEW_FILE_SELECTED, path);
        uitest::ExpectPopup("ATTENTION!", "The record file\n" + path + "\ncannot be written.");
        uitest::Click(recpanel, RECP_SELECT_FILE);
    }
    EXPECT_EQ(fs::file_size(path), 0u) << "no fragment of the header";
    SelectNewFile(path);
    const auto size = fs::file_size(path);
    {
        FileSizeLimit limit(size + 20);  // room for part of a line only
        uitest::ExpectPopup("ATTENTION!", LostText(1, 1, path));
        Manual();
    }
    EXPECT_EQ(ReadTextFile(path), kHeader);
    Manual();
    const auto lines = Lines(ReadTextFile(path));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "12-06-2026\t17:45:02\t0\t0\t0\t0\t0\t0\t0\t0");
}

TEST_F(Recorder, HeaderThatCannotBeWrittenIsReported) {
    const std::string path = (projectDir / "no-such-dir" / "r.dat").string();
    uitest::ExpectFileSelect(VAL_NEW_FILE_SELECTED, path);
    uitest::ExpectPopup("ATTENTION!", "The record file\n" + path + "\ncannot be written.");
    uitest::Click(recpanel, RECP_SELECT_FILE);
    EXPECT_EQ(Shown(RECP_FILE), path);
}

TEST_F(Recorder, RecordedCounterIsSixteenBitsAndWrapsToZero) {
    uitest::SelectListItem(recpanel, RECP_MODE, 2);
    otcrec = 65534;  // as after 65,534 manual lines
    uitest::Click(recpanel, RECP_MANUAL);
    EXPECT_EQ(Value(RECP_RECORDED), 65535);
    uitest::Click(recpanel, RECP_MANUAL);
    EXPECT_EQ(Value(RECP_RECORDED), 0);
    EXPECT_EQ(Lines(ReadTextFile(ProjectFile("RecordFile.dat"))).size(), 2u);
}

// --- starting an interval record -------------------------------------------------------------------------

TEST_F(Recorder, DecliningTheConfirmationWritesNothingButClearsTheGraph) {
    SelectNewFile(ProjectFile("r.dat"));
    SetPanelGraphData();
    uitest::ExpectPopup("ATTENTION!", kConfirmName, 0);
    uitest::Click(recpanel, RECP_START);
    EXPECT_EQ(Plots(), 0u);
    EXPECT_EQ(ReadTextFile(ProjectFile("r.dat")), kHeader);
    EXPECT_EQ(poll, 0);
    EXPECT_EQ(Attr(recpanel, RECP_START, ATTR_DIMMED), 0);
    EXPECT_EQ(Attr(mainpanel, MAINP_GO, ATTR_DIMMED), 0);
    EXPECT_EQ(Attr(recpanel, RECP_START, ATTR_CTRL_MODE), VAL_HOT);
}

TEST_F(Recorder, ACountOfZeroRecordsNothingAndSaysSo) {
    SelectNewFile(ProjectFile("r.dat"));
    uitest::SetAndCommit(recpanel, RECP_COUNT, 0);
    EXPECT_EQ(Value(RECP_COUNT), 0);
    uitest::ExpectPopup("ATTENTION!", kConfirmName, 1);
    uitest::ExpectPopup("ATTENTION!", "The number of values to record is 0.\nNothing was recorded.");
    uitest::Click(recpanel, RECP_START);
    EXPECT_EQ(ReadTextFile(ProjectFile("r.dat")), kHeader);
    EXPECT_EQ(poll, 0);
}

// --- interval records against the emulator ---------------------------------------------------------------

TEST_F(Recorder, CountAtIntervalWritesExactlyTheCountAndEachLineIsTheFrameItGraphs) {
    Connect(true);
    const std::string path = ProjectFile("r.dat");
    SelectNewFile(path);
    uitest::SetAndCommit(recpanel, RECP_INTERVAL, static_cast<unsigned short>(0));
    uitest::SetAndCommit(recpanel, RECP_COUNT, static_cast<unsigned short>(5));
    int redDuringTheRecord = -1, modeDuringTheRecord = -1;
    std::vector<int> dimmedDuringTheRecord;
    WhenDuringTheRecord([] { return otcrec >= 1; },
                        [&] {
                            redDuringTheRecord = Attr(recpanel, RECP_START, ATTR_CMD_BUTTON_COLOR);
                            modeDuringTheRecord = Attr(recpanel, RECP_COUNT, ATTR_CTRL_MODE);
                            for (auto [panel, ctrl] : {std::pair<int, int>{mainpanel, MAINP_GO},
                                                       {recpanel, RECP_MODE},
                                                       {recpanel, RECP_SELECT_FILE},
                                                       {recpanel, RECP_STOP}})
                                dimmedDuringTheRecord.push_back(Attr(panel, ctrl, ATTR_DIMMED));
                        });
    ExpectStartConfirmations();
    uitest::ExpectPopup("INFO!", kSaved);
    uitest::Click(recpanel, RECP_START);

    const auto lines = Lines(ReadTextFile(path));
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0] + "\r\n", kHeader);
    EXPECT_EQ(Value(RECP_RECORDED), 5);
    EXPECT_EQ(Value(RECP_REMAINING), 0);
    EXPECT_EQ(otcrec, 5);
    EXPECT_EQ(poll, 0);
    EXPECT_EQ(Requests(), (std::vector<std::pair<int, int>>(5, {5, Requests().front().second})));
    EXPECT_EQ(dimmedDuringTheRecord, (std::vector<int>{1, 1, 1, 0})) << "Go, mode, Select file; not Stop";
    EXPECT_EQ(redDuringTheRecord, 0xFF0000);
    EXPECT_EQ(modeDuringTheRecord, VAL_INDICATOR);
    EXPECT_EQ(Attr(recpanel, RECP_START, ATTR_CMD_BUTTON_COLOR), 0xE0E0E0);
    EXPECT_EQ(Attr(recpanel, RECP_COUNT, ATTR_CTRL_MODE), VAL_HOT);
    EXPECT_EQ(Attr(recpanel, RECP_INTERVAL, ATTR_CTRL_MODE), VAL_HOT);
    EXPECT_EQ(Attr(recpanel, RECP_START, ATTR_CTRL_MODE), VAL_HOT);
    EXPECT_EQ(Attr(mainpanel, MAINP_GO, ATTR_DIMMED), 0);
    // Every line is a frame the graph got, in order, and the last is the frame on the data panel.
    for (int signal : {0, 3, 6}) {
        std::vector<GraphPlotInfo> plots;
        GetGraphPlots(graphpanel, GRAPHP_GRAPH + signal, plots);
        ASSERT_EQ(plots.size(), 5u);
        const int column = signal == 6 ? 9 : 2 + signal;  // temperature is the last column
        for (int i = 0; i < 5; ++i) {
            std::vector<std::string> cells;
            std::string cell;
            for (char ch : lines[1 + i] + "\t")
                if (ch == '\t')
                    cells.push_back(cell), cell.clear();
                else
                    cell += ch;
            EXPECT_EQ(cells.at(column), std::to_string(int(plots[i].y[1]))) << "line " << i + 1;
        }
    }
    EXPECT_EQ(Values(lines[5]), std::to_string(dataChL) + "\t" + std::to_string(dataChC) + "\t" +
                                    std::to_string(dataChR) + "\t" + std::to_string(dataDensity) + "\t" +
                                    std::to_string(dataSym1) + "\t" + std::to_string(dataSym2) + "\t" +
                                    std::to_string(dataVec) + "\t" + std::to_string(dataTemp));
}

TEST_F(Recorder, TheIntervalIsWaitedOutFromTheStartOfEachRequest) {
    Connect(true);
    uitest::SetAndCommit(recpanel, RECP_INTERVAL, static_cast<unsigned short>(1));
    uitest::SetAndCommit(recpanel, RECP_COUNT, static_cast<unsigned short>(2));
    ExpectStartConfirmations();
    uitest::ExpectPopup("INFO!", kSaved);
    const double start = Timer();
    uitest::Click(recpanel, RECP_START);
    EXPECT_GE(Timer() - start, 1.0) << "two frames one second apart";
    EXPECT_EQ(Requests().size(), 2u);
    EXPECT_EQ(Lines(ReadTextFile(ProjectFile("RecordFile.dat"))).size(), 2u) << "the default file: no header";
}

TEST_F(Recorder, AFrameTimeOutEndsTheRecordWithOneMoreLineOfThePreviousValues) {
    Connect(true);
    uitest::SelectListItem(recpanel, RECP_MODE, 1);
    uitest::SetAndCommit(recpanel, RECP_INTERVAL, static_cast<unsigned short>(0));
    WhenDuringTheRecord([] { return FrameCounter() >= 3; },
                        [this] { emulator->SetFaults({.silent = true}); });
    ExpectStartConfirmations();
    uitest::ExpectPopup("INFO!", kSaved);
    uitest::Click(recpanel, RECP_START);
    const auto lines = Lines(ReadTextFile(ProjectFile("RecordFile.dat")));
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(double(lines.size()), FrameCounter());
    EXPECT_EQ(Values(lines.back()), Values(lines[lines.size() - 2]));
    EXPECT_NE(lines.back(), lines[lines.size() - 2]) << "a line of its own, with its own time";
    std::string status;
    GetCtrlVal(datapanel, DATAP_STATUS, status);
    EXPECT_EQ(status, "TIMEOUT");
    EXPECT_TRUE(uitest::IsPanelShown(interfacepanel));
    EXPECT_EQ(poll, 0);
}

TEST_F(Recorder, StopOnTheMainPanelEndsARecordWithoutWaitingOutTheInterval) {
    Connect(true);
    uitest::SelectListItem(recpanel, RECP_MODE, 1);
    uitest::SetAndCommit(recpanel, RECP_INTERVAL, static_cast<unsigned short>(60));
    double stoppedAt = 0;
    WhenDuringTheRecord([] { return FrameCounter() >= 1; },
                        [&] {
                            stoppedAt = Timer();
                            uitest::Click(mainpanel, MAINP_STOP);
                        });
    ExpectStartConfirmations();
    uitest::ExpectPopup("INFO!", kSaved);
    uitest::Click(recpanel, RECP_START);
    EXPECT_LT(Timer() - stoppedAt, 30.0) << "the 60 s interval was not waited out";
    EXPECT_EQ(FrameCounter(), 1.0);
    EXPECT_EQ(Requests().size(), 1u);
    EXPECT_EQ(Lines(ReadTextFile(ProjectFile("RecordFile.dat"))).size(), 1u);
}

TEST_F(Recorder, LinesAReadOnlyFileRefusedAreCountedAtTheEndOfTheRecord) {
    Connect(true);
    const std::string path = ProjectFile("ro.dat");
    SelectNewFile(path);
    GiveUpFileOverride();
    fs::permissions(path, fs::perms::owner_read);
    uitest::SetAndCommit(recpanel, RECP_INTERVAL, static_cast<unsigned short>(0));
    uitest::SetAndCommit(recpanel, RECP_COUNT, static_cast<unsigned short>(3));
    ExpectStartConfirmations();
    uitest::ExpectPopup("ATTENTION!", LostText(3, 3, path));  // instead of "File has been saved!"
    uitest::Click(recpanel, RECP_START);
    EXPECT_EQ(ReadTextFile(path), kHeader);
    EXPECT_EQ(Value(RECP_RECORDED), 3) << "the record itself ran";
}

TEST_F(Recorder, ClosingTheRecorderPanelStopsAutomaticSendingButNotTheLoop) {
    Connect(false);
    poll = 1;
    uitest::ClosePanel(recpanel);
    ASSERT_TRUE(uitest::PumpUntil([this] { return !Requests().empty(); }, 2.0));
    EXPECT_EQ(Requests(), (std::vector<std::pair<int, int>>{{50, 0}}));
    EXPECT_EQ(poll, 1);
}

// --- triggered records against the emulator ----------------------------------------------------------------

// The bytes the sensor sent by itself, as the frame log saw them arrive, cut into 36-byte frames.
std::vector<std::vector<int>> FramesSentBySensor(const std::string& logPath) {
    std::vector<int> bytes;
    std::istringstream log(ReadTextFile(logPath));
    for (std::string line; std::getline(log, line);) {
        if (line.find(" RX ") == std::string::npos || !line.ends_with(" sent by the sensor")) continue;
        std::istringstream words(line);
        std::string word;
        words >> word >> word >> word;  // time, direction, link
        while (words >> word && word.size() == 2 && std::isxdigit(word[0]) && std::isxdigit(word[1]))
            bytes.push_back(std::stoi(word, nullptr, 16));
    }
    std::vector<std::vector<int>> frames;
    for (std::size_t at = 0; at + 36 <= bytes.size(); at += 36)
        frames.emplace_back(bytes.begin() + long(at), bytes.begin() + long(at) + 36);
    EXPECT_EQ(bytes.size() % 36, 0u) << "whole frames only";
    return frames;
}

// The values part of a data line for a measurement frame: words 2..9.
std::string ValuesOf(const std::vector<int>& frame) {
    std::string values;
    for (int w = 2; w <= 9; ++w)
        values += (w > 2 ? "\t" : "") + std::to_string(frame[2 * w] << 8 | frame[2 * w + 1]);
    return values;
}

class TriggeredRecord : public Recorder, public testing::WithParamInterface<bool> {};

TEST_P(TriggeredRecord, FramesBackToBackAreAllRecordedAndAFrameWithAWrongMarkerIsDropped) {
    Connect(GetParam(), 40.0);
    emulator->SetFaults({.autoWrongMarkerAt = 4, .autoDoubleAt = 2});
    const std::string path = ProjectFile("trig.dat"), logPath = ProjectFile("frames.log");
    SelectNewFile(path);
    uitest::SelectListItem(recpanel, RECP_MODE, 3);
    ASSERT_TRUE(OpenFrameLog(logPath));
    int dimmedDuringTheRecord = -1, colourDuringTheRecord = -1;
    WhenDuringTheRecord([] { return FrameCounter() >= 8; },
                        [&] {
                            dimmedDuringTheRecord = Attr(recpanel, RECP_START_TRIGGERED, ATTR_DIMMED);
                            colourDuringTheRecord =
                                Attr(recpanel, RECP_START_TRIGGERED, ATTR_CMD_BUTTON_COLOR);
                            uitest::Click(recpanel, RECP_STOP_TRIGGERED);
                        });
    uitest::ExpectPopup("ATTENTION!", kConfirmName, 1);
    uitest::ExpectPopup("ATTENTION!", MakeSure(42));
    uitest::ExpectPopup("INFO!", kSaved);
    uitest::Click(recpanel, RECP_START_TRIGGERED);
    CloseFrameLog();

    EXPECT_TRUE(uitest::PumpUntil([this] { return !emulator->AutoSending(); }, 2.0));
    EXPECT_EQ(Requests(), (std::vector<std::pair<int, int>>{{50, 1}, {50, 0}})) << "auto-send on, then off";
    const auto sent = FramesSentBySensor(logPath);
    std::vector<std::string> expected;
    int wrongMarkers = 0;
    for (const auto& f : sent)
        if (f[0] == 0x00 && f[1] == 0xAA)
            expected.push_back(ValuesOf(f));
        else
            ++wrongMarkers;
    EXPECT_EQ(wrongMarkers, 1);
    ASSERT_GE(expected.size(), 8u);
    const auto lines = Lines(ReadTextFile(path));
    ASSERT_EQ(lines.size(), expected.size() + 1) << "every good frame, and only those";
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(Values(lines[i + 1]), expected[i]) << "line " << i + 1;
    EXPECT_EQ(FrameCounter(), double(expected.size()));
    EXPECT_EQ(Plots(), expected.size()) << "each recorded frame is graphed";
    EXPECT_EQ(dimmedDuringTheRecord, 1);
    EXPECT_EQ(colourDuringTheRecord, 0xFF0000);
    EXPECT_EQ(Attr(recpanel, RECP_START_TRIGGERED, ATTR_CMD_BUTTON_COLOR), 0xE0E0E0);
    EXPECT_EQ(Attr(recpanel, RECP_START_TRIGGERED, ATTR_DIMMED), 0);
    EXPECT_EQ(poll, 0);
}

INSTANTIATE_TEST_SUITE_P(Links, TriggeredRecord, testing::Values(true, false),
                         [](const testing::TestParamInfo<bool>& i) { return i.param ? "Tcp" : "Serial"; });

TEST_F(Recorder, ATriggeredRecordEndsWhenTheServerClosesTheConnection) {
    Connect(true, 40.0);
    uitest::SelectListItem(recpanel, RECP_MODE, 3);
    WhenDuringTheRecord([] { return FrameCounter() >= 2; }, [this] { emulator->CloseTcpClient(); });
    uitest::ExpectPopup("ATTENTION!", kConfirmName, 1);
    uitest::ExpectPopup("ATTENTION!", MakeSure(42));
    uitest::ExpectPopup("TCP Client", "Server has closed connection!");
    uitest::ExpectPopup("INFO!", kSaved);
    uitest::Click(recpanel, RECP_START_TRIGGERED);  // returns without Stop
    EXPECT_EQ(poll, 0);
    std::string status;
    GetCtrlVal(datapanel, DATAP_STATUS, status);
    EXPECT_EQ(status, "TIMEOUT");
    EXPECT_EQ(double(Lines(ReadTextFile(ProjectFile("RecordFile.dat"))).size()), FrameCounter());
}

TEST_F(Recorder, ATriggeredRecordWithoutALinkEndsAtOnceWithTheFailureReport) {
    SetScopeProfiles();
    comprotocol = 1;  // TCP/IP, but no conversation is open
    uitest::SelectListItem(recpanel, RECP_MODE, 3);
    uitest::ExpectPopup("ATTENTION!", kConfirmName, 1);
    uitest::ExpectPopup("ATTENTION!", MakeSure(42));
    uitest::Click(recpanel, RECP_START_TRIGGERED);  // returns: no "File has been saved!" either
    EXPECT_EQ(poll, 0);
    std::string status;
    GetCtrlVal(datapanel, DATAP_STATUS, status);
    EXPECT_EQ(status, "TIMEOUT");
    EXPECT_TRUE(uitest::IsPanelShown(interfacepanel));
    EXPECT_EQ(Attr(recpanel, RECP_START_TRIGGERED, ATTR_CMD_BUTTON_COLOR), 0xE0E0E0);
    EXPECT_EQ(Attr(recpanel, RECP_START_TRIGGERED, ATTR_DIMMED), 0);
    EXPECT_FALSE(fs::exists(ProjectFile("RecordFile.dat")));
}

}  // namespace
