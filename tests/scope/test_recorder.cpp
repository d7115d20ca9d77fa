// The recorder driven as a user would: record modes and their panel, the record time, the record file and
// its dialog, the bytes of its lines, lines that cannot be written, manual lines and their counter, and
// records against the emulator (a count at an interval, time-out, Stop, triggered frames on both links).
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/syscall.h>

#include <QTimer>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "com232.h"
#include "file_size_limit.h"
#include "frame_log.h"
#include "graph_panel.h"
#include "live_data.h"
#include "recorder.h"
#include "scope.h"
#include "scope_link.h"
#include "scope_session.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kHeader = "DATE\tTIME\tCH_L\tCH_C\tCH_R\tDENSITY\tSYM1\tSYM2\tVECTOR\tTEMP\t\r\n";
constexpr const char* kZeros = "\t0\t0\t0\t0\t0\t0\t0\t0\r\n";
constexpr const char* kConfirmName = "Are you sure, that you have selected the right file name?";
constexpr const char* kSaved = "File has been saved!";
constexpr const char* kExists = "File already exist! \nDo you want to select existing file?";

// A fixed date and a clock that ticks one second per line.
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

// The lines of a file without their CR LF; a last line without one is marked.
std::vector<std::string> Lines(const std::string& path) {
    const std::string text = ReadTextFile(path);
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; at < text.size(); at = end + 2) {
        end = text.find("\r\n", at);
        if (end == std::string::npos) return lines.push_back(text.substr(at) + "<no CR LF>"), lines;
        lines.push_back(text.substr(at, end - at));
    }
    return lines;
}

// The values of a data line: what follows date and time.
std::string Values(const std::string& line) {
    return line.substr(std::min(line.size(), line.find('\t', line.find('\t') + 1) + 1));
}

// Root writes into read-only files regardless; the test process gives that up.
void GiveUpFileOverride() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    ASSERT_EQ(syscall(SYS_capget, &header, data), 0);
    data[0].effective &= ~(1u << CAP_DAC_OVERRIDE);
    ASSERT_EQ(syscall(SYS_capset, &header, data), 0);
}

// The bytes received as the frame log saw them arrive on lines that end in `conclusion`, cut into 36-byte
// frames: by default, what the sensor sent by itself.
std::vector<std::vector<int>> FramesSentBySensor(const std::string& logPath,
                                                 const std::string& conclusion = " sent by the sensor") {
    std::vector<int> bytes;
    std::istringstream log(ReadTextFile(logPath));
    for (std::string line; std::getline(log, line);) {
        if (line.find(" RX ") == std::string::npos || !line.ends_with(conclusion)) continue;
        std::istringstream words(line.substr(0, line.size() - conclusion.size()));
        std::string word;
        words >> word >> word >> word;  // time, direction, link
        while (words >> word) bytes.push_back(std::stoi(word, nullptr, 16));
    }
    EXPECT_EQ(bytes.size() % 36, 0u) << "whole frames only";
    std::vector<std::vector<int>> frames;
    for (std::size_t at = 0; at + 36 <= bytes.size(); at += 36)
        frames.emplace_back(bytes.begin() + long(at), bytes.begin() + long(at) + 36);
    return frames;
}

// The values of a record line made of a measurement frame, worked out from its bytes: words 2 to 9, each
// high byte first.
std::string ValuesOfFrame(const std::vector<int>& f) {
    std::string text;
    for (int w = 2; w <= 9; ++w) text += (w > 2 ? "\t" : "") + std::to_string(f[2 * w] << 8 | f[2 * w + 1]);
    return text;
}

class Recorder : public ScopeSession {
  protected:
    void SetUp() override {
        ScopeSession::SetUp();
        ASSERT_EQ(LoadOrvanePanels(), 0);
        DisplayOrvanePanels();
        InitRecordFileName(projectDir.string());
        SetRecordClock(TestDate, TestTime);
        g_ticks = 0;
        uitest::Click(mainpanel, MAINP_RECORDER);
    }
    // The start-up sequence against the emulator on TCP or on its pseudo-terminal (COM5).
    void Connect(bool tcp, double autoSendHz = 20.0, bool wireSpeed = false) {
        const Link link = tcp ? Link::Tcp : Link::Serial;
        StartEmulator(link, autoSendHz, wireSpeed);
        WriteSettingsFor(link);
        InitAll();
        ASSERT_EQ(comecho, 1) << "the version query failed";
        uitest::Click(mainpanel, MAINP_RECORDER);
        emulator->ResetCounters();
    }
    // The request frames the emulator got since Connect: {order, first payload word}.
    std::vector<std::pair<int, int>> Requests() const {
        std::vector<std::pair<int, int>> r;
        for (const auto& f : emulator->Received()) r.emplace_back(f[2] << 8 | f[3], f[4] << 8 | f[5]);
        return r;
    }

    static std::string Text(int panel, int ctrl) {
        std::string text;
        GetCtrlVal(panel, ctrl, text);
        return text;
    }
    static int Value(int ctrl) {
        int v = -1;
        GetCtrlVal(recpanel, ctrl, v);
        return v;
    }
    static double FrameCounter() {
        double v = -1;
        GetCtrlVal(recpanel, RECP_FRAME_COUNTER, v);
        return v;
    }
    static int Attr(int panel, int ctrl, CtrlAttr attr) {
        int v = -1;
        GetCtrlAttribute(panel, ctrl, attr, v);
        return v;
    }
    static std::vector<GraphPlotInfo> Plots(int signal = 0) {
        std::vector<GraphPlotInfo> plots;
        GetGraphPlots(graphpanel, GRAPHP_GRAPH + signal, plots);
        return plots;
    }

    struct Answer {
        std::string title, text;
        int answer = 1;
    };
    // The Select-file button with the dialog's answer and the pop-ups that follow it.
    static void SelectFile(int result, const std::string& path, std::initializer_list<Answer> then = {}) {
        uitest::ExpectFileSelect(result, path);
        for (const Answer& a : then) uitest::ExpectPopup(a.title, a.text, a.answer);
        uitest::Click(recpanel, RECP_SELECT_FILE);
    }
    static void Manual() {
        if (Value(RECP_MODE) != 2) uitest::SelectListItem(recpanel, RECP_MODE, 2);
        uitest::Click(recpanel, RECP_MANUAL);
    }
    // Starts a record of mode 0 or 1 and answers its confirmations; `end` is the message that ends it.
    static void StartRecord(int mode, unsigned short interval, unsigned short count, const std::string& end) {
        uitest::SelectListItem(recpanel, RECP_MODE, mode);
        uitest::SetAndCommit(recpanel, RECP_INTERVAL, interval);
        uitest::SetAndCommit(recpanel, RECP_COUNT, count);
        uitest::ExpectPopup("ATTENTION!", kConfirmName, 1);
        if (mode != 0 || count != 0) uitest::ExpectPopup("ATTENTION!", MakeSure(36));
        uitest::ExpectPopup(end == kSaved ? "INFO!" : "ATTENTION!", end);
        uitest::Click(recpanel, RECP_START);
    }
    // Runs `action` inside the record's waits once `ready()` holds.
    static void WhenDuringTheRecord(std::function<bool()> ready, std::function<void()> action) {
        // The queued action owns the step; the step knows itself only weakly, so nothing is left behind.
        auto step = std::make_shared<std::function<void()>>();
        std::weak_ptr<std::function<void()>> self = step;
        *step = [=] {
            if (ready())
                action();
            else if (auto again = self.lock())
                uitest::RunDuringBusyWait([again] { (*again)(); });
        };
        uitest::RunDuringBusyWait([step] { (*step)(); });
    }
    // A triggered record into trig.dat, stopped once `frames` frames are counted.
    void RecordTriggeredUntil(double frames) const {
        RecordTriggered([frames] {
            WhenDuringTheRecord([frames] { return FrameCounter() >= frames; },
                                [] { uitest::Click(recpanel, RECP_STOP_TRIGGERED); });
        });
    }
    // A triggered record into trig.dat, until what `beforeStart` sets up (or the test's transport) clicks
    // Stop.
    void RecordTriggered(const std::function<void()>& beforeStart = {}) const {
        SelectFile(VAL_NEW_FILE_SELECTED, ProjectFile("trig.dat"));
        uitest::SelectListItem(recpanel, RECP_MODE, 3);
        if (beforeStart) beforeStart();
        uitest::ExpectPopup("ATTENTION!", kConfirmName, 1);
        uitest::ExpectPopup("ATTENTION!", MakeSure(42));
        uitest::ExpectPopup("INFO!", kSaved);
        uitest::Click(recpanel, RECP_START_TRIGGERED);
    }
    // trig.dat holds at least `atLeast` lines, each the frame the sensor sent in its place, and the counter
    // counts them.
    void ExpectEveryLineIsTheFrameSentInItsPlace(std::size_t atLeast) const {
        const std::vector<sensor_emu::Frame> sent = emulator->AutoSentFrames();
        const auto lines = Lines(ProjectFile("trig.dat"));
        ASSERT_GE(lines.size(), atLeast + 1);
        ASSERT_LE(lines.size() - 1, sent.size());
        for (std::size_t i = 1; i < lines.size(); ++i)
            ASSERT_EQ(Values(lines[i]), LineValues(sent[i - 1]))
                << "line " << i << ": frames sent and lines differ";
        EXPECT_EQ(FrameCounter(), double(lines.size() - 1));
    }
};

// --- the panel ------------------------------------------------------------------------------------------

TEST_F(Recorder, EachModeShowsItsControlsOnly) {
    const std::vector<int> shown[4] = {
        {RECP_INTERVAL, RECP_COUNT, RECP_TIME_FRAME, RECP_DAYS, RECP_SECONDS, RECP_RECORDED, RECP_REMAINING,
         RECP_START, RECP_STOP},
        {RECP_INTERVAL, RECP_FRAME_COUNTER, RECP_START, RECP_STOP},
        {RECP_RECORDED, RECP_MANUAL},
        {RECP_FRAME_COUNTER, RECP_START_TRIGGERED, RECP_STOP_TRIGGERED},
    };
    for (int mode : {3, 1, 2, 0}) {
        ASSERT_EQ(uitest::SelectListItem(recpanel, RECP_MODE, mode), 0);
        for (int ctrl : {RECP_INTERVAL, RECP_COUNT, RECP_TIME_FRAME, RECP_DAYS, RECP_SECONDS, RECP_RECORDED,
                         RECP_REMAINING, RECP_FRAME_COUNTER, RECP_START, RECP_STOP, RECP_START_TRIGGERED,
                         RECP_STOP_TRIGGERED, RECP_MANUAL, RECP_SELECT_FILE, RECP_FILE}) {
            const bool always = ctrl == RECP_SELECT_FILE || ctrl == RECP_FILE;
            EXPECT_EQ(uitest::IsShown(recpanel, ctrl), always || std::ranges::count(shown[mode], ctrl) == 1)
                << "mode " << mode << ", control " << ctrl;
        }
    }
}

TEST_F(Recorder, TheControlsAModeShowsStandTogetherBelowTheRecordFile) {
    const int modeControls[] = {RECP_INTERVAL,
                                RECP_COUNT,
                                RECP_TIME_FRAME,
                                RECP_DAYS,
                                RECP_RECORDED,
                                RECP_REMAINING,
                                RECP_FRAME_COUNTER,
                                RECP_START,
                                RECP_STOP,
                                RECP_START_TRIGGERED,
                                RECP_STOP_TRIGGERED,
                                RECP_MANUAL,
                                RECP_INTERVAL_LABEL,
                                RECP_COUNT_LABEL,
                                RECP_RECORDED_LABEL,
                                RECP_REMAINING_LABEL,
                                RECP_FRAME_COUNTER_LABEL};
    const int fileBottom =
        Attr(recpanel, RECP_SENSOR_ID, ATTR_TOP) + Attr(recpanel, RECP_SENSOR_ID, ATTR_HEIGHT);
    for (int mode : {0, 1, 2, 3, 0}) {
        ASSERT_EQ(uitest::SelectListItem(recpanel, RECP_MODE, mode), 0);
        std::vector<std::pair<int, int>> spans;  // top, bottom of each shown control
        for (int ctrl : modeControls)
            if (uitest::IsShown(recpanel, ctrl))
                spans.emplace_back(Attr(recpanel, ctrl, ATTR_TOP),
                                   Attr(recpanel, ctrl, ATTR_TOP) + Attr(recpanel, ctrl, ATTR_HEIGHT));
        ASSERT_FALSE(spans.empty());
        std::ranges::sort(spans);
        EXPECT_LE(spans.front().first - fileBottom, 24) << "mode " << mode << " starts far below the file";
        int bottom = spans.front().second;
        for (const auto& [top, end] : spans) {
            EXPECT_LE(top - bottom, 12) << "mode " << mode << ": a hole above the control at " << top;
            bottom = std::max(bottom, end);
        }
        int height = 0;
        GetPanelAttribute(recpanel, ATTR_PANEL_HEIGHT, height);
        EXPECT_LE(bottom, height) << "mode " << mode;
    }
}

TEST_F(Recorder, RecordTimeIsIntervalTimesCountSplitIntoDaysHoursMinutesSeconds) {
    // Opening the recorder in mode 0 shows the time of what the inputs hold.
    SetCtrlVal(recpanel, RECP_INTERVAL, static_cast<unsigned short>(2));
    SetCtrlVal(recpanel, RECP_COUNT, static_cast<unsigned short>(5));
    uitest::Click(mainpanel, MAINP_RECORDER);
    EXPECT_EQ(Value(RECP_SECONDS), 10);
    const int cases[][6] = {{5, 36769, 2, 3, 4, 5}, {65535, 65535, 49708, 18, 3, 45}, {2, 5, 0, 0, 0, 10}};
    for (const auto& c : cases) {
        SetCtrlVal(recpanel, RECP_RECORDED, static_cast<unsigned short>(9));
        uitest::SetAndCommit(recpanel, RECP_INTERVAL, static_cast<unsigned short>(c[0]));
        uitest::SetAndCommit(recpanel, RECP_COUNT, static_cast<unsigned short>(c[1]));
        EXPECT_EQ(
            (std::vector{Value(RECP_DAYS), Value(RECP_HOURS), Value(RECP_MINUTES), Value(RECP_SECONDS)}),
            (std::vector{c[2], c[3], c[4], c[5]}))
            << c[0] << " s x " << c[1];
        EXPECT_EQ(Value(RECP_RECORDED), 0);
        EXPECT_EQ(Value(RECP_REMAINING), c[1]);
    }
    // Coming back to mode 0 from another mode shows a fresh count again.
    uitest::SelectListItem(recpanel, RECP_MODE, 3);
    SetCtrlVal(recpanel, RECP_RECORDED, static_cast<unsigned short>(9));
    uitest::SelectListItem(recpanel, RECP_MODE, 0);
    EXPECT_EQ(Value(RECP_RECORDED), 0);
    EXPECT_EQ(Value(RECP_REMAINING), 5);
}

TEST_F(Recorder, ModeChangeStopsTheLoopClearsTheGraphAndRestartsTheManualCount) {
    SetPanelGraphData();
    otcrec = 12;
    SetCtrlVal(recpanel, RECP_RECORDED, otcrec);
    poll = 1;  // as while the live-data loop runs
    uitest::SelectListItem(recpanel, RECP_MODE, 2);
    EXPECT_EQ(poll, 0);
    EXPECT_TRUE(Plots(0).empty());
    EXPECT_TRUE(Plots(6).empty());
    EXPECT_EQ(Value(RECP_RECORDED), 0);
    Manual();
    EXPECT_EQ(Value(RECP_RECORDED), 1);
    EXPECT_EQ(Plots().size(), 1u) << "a manual line is graphed";
    uitest::SelectListItem(recpanel, RECP_MODE, 1);
    EXPECT_EQ(otcrec, 1) << "only manual mode restarts the count";
}

TEST_F(Recorder, EveryControlAnswersARightClickWithItsHelp) {
    uitest::ExpectPopup("INFO!", " Switch to data recorder.");
    uitest::RightClick(mainpanel, MAINP_RECORDER);
    const std::pair<int, const char*> help[] = {
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
        {-3, nullptr},  // mode 3 from here on
        {RECP_START_TRIGGERED, " Start data record."},
        {RECP_STOP_TRIGGERED, " Stop data record."},
        {-2, nullptr},
        {RECP_MANUAL, " Record one frame manually \n and append to existing file. "},
    };
    for (auto [ctrl, text] : help) {
        if (!text) {
            uitest::SelectListItem(recpanel, RECP_MODE, -ctrl);
            continue;
        }
        uitest::ExpectPopup("INFO!", text);
        EXPECT_EQ(uitest::RightClick(recpanel, ctrl), 0) << ctrl;
    }
    EXPECT_EQ(otcrec, 0) << "help records nothing";
    EXPECT_FALSE(fs::exists(projectDir / "RecordFile.dat"));
}

// --- the record file ------------------------------------------------------------------------------------

TEST_F(Recorder, ANewFileGetsTheHeaderThenManualLinesOfTheLatestFrameOrZerosBeforeAny) {
    const std::string path = ProjectFile("new.dat"), startPath = Text(recpanel, RECP_FILE);
    SelectFile(VAL_NEW_FILE_SELECTED, path);
    const uitest::Popup& dialog = uitest::Popups().back();
    EXPECT_EQ(dialog.title, "FILENAME!");
    EXPECT_EQ(dialog.text, "RecordFile.dat");
    EXPECT_EQ(dialog.filter, "*.dat");
    EXPECT_EQ(dialog.directory, startPath) << "the dialog starts at the file in force";
    EXPECT_EQ((std::vector{dialog.buttonLabel, dialog.restrictDirectory, dialog.restrictExtension,
                           dialog.allowCancel, dialog.allowMakeDirectory}),
              (std::vector{int(VAL_OK_BUTTON), 0, 0, 1, 1}));
    EXPECT_EQ(Text(recpanel, RECP_FILE), path);
    EXPECT_EQ(ReadTextFile(path), kHeader);

    Manual();
    dataChL = 1210, dataChC = 1984, dataChR = 1177, dataDensity = 2051, dataSym1 = 50, dataSym2 = 48;
    dataVec = 3, dataTemp = 27, dataAktMaxChL = 9999, dataTrigger = 1;
    Manual();
    dataChL = 65535, dataVec = 255, dataTemp = 0;
    Manual();
    EXPECT_EQ(ReadTextFile(path), std::string(kHeader) + "12-06-2026\t17:45:01" + kZeros +
                                      "12-06-2026\t17:45:02\t1210\t1984\t1177\t2051\t50\t48\t3\t27\r\n" +
                                      "12-06-2026\t17:45:03\t65535\t1984\t1177\t2051\t50\t48\t255\t0\r\n");
    EXPECT_EQ(Plots().back().y, (std::vector<double>{1210, 65535}));
}

// The new record starts a file of its own with its header; nothing of the old file is lost: its content is
// kept beside it, under a name the message gives, and an earlier backup is never replaced.
TEST_F(Recorder, AnExistingFileAcceptedStartsAfreshAndItsOldContentIsKeptBesideItDeclinedKeepsThePrevious) {
    const std::string old = ProjectFile("old.dat"), declined = ProjectFile("declined.dat");
    const std::string content = "DATE\tTIME\r\n12-06-2026\t17:00:00\t1\t2\t3\t4\t5\t6\t7\t8\r\n";
    WriteTextFile(old, content);
    SelectFile(VAL_EXISTING_FILE_SELECTED, old,
               {{"ATTENTION!", kExists},
                {"ATTENTION!",
                 MakeSure(36) + "\n\n Its previous content is kept in\n " + ProjectFile("old-backup.dat")}});
    EXPECT_EQ(ReadTextFile(old), kHeader);
    EXPECT_EQ(ReadTextFile(ProjectFile("old-backup.dat")), content);
    EXPECT_EQ(Text(recpanel, RECP_FILE), old);

    Manual();
    const std::string firstRecord = ReadTextFile(old);
    SelectFile(VAL_EXISTING_FILE_SELECTED, old,
               {{"ATTENTION!", kExists},
                {"ATTENTION!", MakeSure(36) + "\n\n Its previous content is kept in\n " +
                                   ProjectFile("old-backup-2.dat")}});
    EXPECT_EQ(ReadTextFile(ProjectFile("old-backup.dat")), content) << "the first backup stays";
    EXPECT_EQ(ReadTextFile(ProjectFile("old-backup-2.dat")), firstRecord);
    EXPECT_EQ(ReadTextFile(old), kHeader);

    WriteTextFile(declined, "keep me\r\n");
    SelectFile(VAL_EXISTING_FILE_SELECTED, declined, {{"ATTENTION!", kExists, 0}});
    EXPECT_EQ(ReadTextFile(declined), "keep me\r\n");
    EXPECT_FALSE(fs::exists(ProjectFile("declined-backup.dat")));
    EXPECT_EQ(Text(recpanel, RECP_FILE), old);
    Manual();
    EXPECT_EQ(Lines(old).size(), 2u) << "lines still go to the file in force";
}

TEST_F(Recorder, AnExistingFileThatCannotBeKeptIsNotSelected) {
    const fs::path dir = projectDir / "locked";
    fs::create_directories(dir);
    const std::string old = (dir / "old.dat").string(), previous = Text(recpanel, RECP_FILE);
    WriteTextFile(old, "old lines\r\n");
    GiveUpFileOverride();
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);  // no new name can be made there
    SelectFile(VAL_EXISTING_FILE_SELECTED, old,
               {{"ATTENTION!", kExists},
                {"ATTENTION!", "The file\n" + old +
                                   "\ncannot be renamed to keep its content as a backup, so it was not "
                                   "selected.\nThe record file stays as it was."}});
    fs::permissions(dir, fs::perms::owner_all);
    EXPECT_EQ(ReadTextFile(old), "old lines\r\n");
    EXPECT_EQ(Text(recpanel, RECP_FILE), previous);
}

TEST_F(Recorder, CancellingLeavesThePathDisplayAsItWasAndEveryLineIsReportedLost) {
    const std::string shown = Text(recpanel, RECP_FILE);
    ASSERT_EQ(shown, ProjectFile("RecordFile.dat"));
    SelectFile(VAL_NO_FILE_SELECTED, "",
               {{"ATTENTION!", "No filename was choosen! \nRecording will not be done! "}});
    EXPECT_EQ(Text(recpanel, RECP_FILE), shown);
    uitest::ExpectPopup("ATTENTION!",
                        "No record file is selected: 1 of 1 lines were not written.\nSelect a file with the "
                        "Select-file button.");
    Manual();
    EXPECT_EQ(Value(RECP_RECORDED), 1);
    EXPECT_FALSE(fs::exists(ProjectFile("RecordFile.dat")));
}

TEST_F(Recorder, APathTooLongForTheBufferIsRefusedNeverCut) {
    const std::string previous = Text(recpanel, RECP_FILE);
    const fs::path deep = projectDir / std::string(200, 'd');
    fs::create_directories(deep);
    const std::string tooLong = (deep / (std::string(60, 'f') + ".dat")).string();
    SelectFile(
        VAL_NEW_FILE_SELECTED, tooLong,
        {{"ATTENTION!", "The path\n" + tooLong +
                            "\nis longer than 259 characters and cannot be used for a record file.\nThe "
                            "record file stays as it was."}});
    EXPECT_EQ(Text(recpanel, RECP_FILE), previous);
    EXPECT_TRUE(fs::is_empty(deep)) << "no file under a cut name";

    // A program directory too deep for its default record file leaves none selected.
    InitRecordFileName(deep.string() + "/" + std::string(60, 'p'));
    EXPECT_EQ(Text(recpanel, RECP_FILE), "");
    EXPECT_EQ(recFileName[0], '\0');
}

TEST_F(Recorder, WhatAFullDiskCutShortIsTakenOutAgain) {
    const std::string path = ProjectFile("full.dat");
    {
        FileSizeLimit limit(20);  // not even the header fits
        SelectFile(VAL_NEW_FILE_SELECTED, path,
                   {{"ATTENTION!", "The record file\n" + path + "\ncannot be written."}});
        EXPECT_EQ(fs::file_size(path), 0u) << "no part of the header";
    }
    SelectFile(VAL_NEW_FILE_SELECTED, path);
    {
        FileSizeLimit limit(fs::file_size(path) + 20);  // room for part of a line
        uitest::ExpectPopup("ATTENTION!", LostText(1, 1, path));
        Manual();
        EXPECT_EQ(ReadTextFile(path), kHeader);
    }
    Manual();  // no message
    EXPECT_EQ(ReadTextFile(path), std::string(kHeader) + "12-06-2026\t17:45:02" + kZeros);
}

TEST_F(Recorder, RecordedCounterIsSixteenBitsAndWrapsToZero) {
    uitest::SelectListItem(recpanel, RECP_MODE, 2);
    otcrec = 65534;  // as after 65,534 manual lines
    Manual();
    EXPECT_EQ(Value(RECP_RECORDED), 65535);
    Manual();
    EXPECT_EQ(Value(RECP_RECORDED), 0);
    EXPECT_EQ(Lines(ProjectFile("RecordFile.dat")).size(), 2u) << "the default file gets no header";
}

// --- interval records -------------------------------------------------------------------------------------

TEST_F(Recorder, DecliningTheConfirmationWritesNothingButClearsTheGraph) {
    SelectFile(VAL_NEW_FILE_SELECTED, ProjectFile("r.dat"));
    SetPanelGraphData();
    uitest::ExpectPopup("ATTENTION!", kConfirmName, 0);
    uitest::Click(recpanel, RECP_START);
    EXPECT_TRUE(Plots().empty());
    EXPECT_EQ(ReadTextFile(ProjectFile("r.dat")), kHeader);
    EXPECT_EQ(Attr(mainpanel, MAINP_GO, ATTR_DIMMED), 0);
}

TEST_F(Recorder, ACountOfZeroRecordsNothingAndSaysSo) {
    SelectFile(VAL_NEW_FILE_SELECTED, ProjectFile("r.dat"));
    StartRecord(0, 1, 0, "The number of values to record is 0.\nNothing was recorded.");
    EXPECT_EQ(ReadTextFile(ProjectFile("r.dat")), kHeader);
    EXPECT_EQ(poll, 0);
}

TEST_F(Recorder, CountAtIntervalWritesExactlyTheCountAndEachLineIsTheFrameItGraphs) {
    Connect(true);
    const std::string path = ProjectFile("r.dat"), logPath = ProjectFile("frames.log");
    ASSERT_TRUE(OpenFrameLog(logPath));
    SelectFile(VAL_NEW_FILE_SELECTED, path);
    std::vector<int> during;
    WhenDuringTheRecord(
        [] { return otcrec >= 1; },
        [&] {
            during = {Attr(recpanel, RECP_START, ATTR_CMD_BUTTON_COLOR),
                      Attr(recpanel, RECP_COUNT, ATTR_CTRL_MODE), Attr(mainpanel, MAINP_GO, ATTR_DIMMED),
                      Attr(recpanel, RECP_MODE, ATTR_DIMMED), Attr(recpanel, RECP_STOP, ATTR_DIMMED)};
        });
    StartRecord(0, 0, 5, kSaved);
    CloseFrameLog();
    EXPECT_EQ(during, (std::vector{0xFF0000, int(VAL_INDICATOR), 1, 1, 0}));
    EXPECT_EQ(
        (std::vector{Attr(recpanel, RECP_START, ATTR_CMD_BUTTON_COLOR),
                     Attr(recpanel, RECP_INTERVAL, ATTR_CTRL_MODE), Attr(mainpanel, MAINP_GO, ATTR_DIMMED)}),
        (std::vector{0xE0E0E0, int(VAL_HOT), 0}));
    EXPECT_EQ(Value(RECP_RECORDED), 5);
    EXPECT_EQ(Value(RECP_REMAINING), 0);
    // A data request carries the words of the parameter image from byte 4 on; the last read reply of the
    // start-up left its marker 0x00AA (170) in word 0.
    EXPECT_EQ(Requests(), (std::vector<std::pair<int, int>>(5, {5, 170})));
    const auto lines = Lines(path);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0] + "\r\n", kHeader);
    // Each line holds the frame that came over the wire at that step, and the graph got the same values.
    const auto frames = FramesSentBySensor(logPath, " complete");
    ASSERT_EQ(frames.size(), 5u);
    const auto chL = Plots(0), density = Plots(3), temp = Plots(6);
    ASSERT_EQ(temp.size(), 5u);
    for (int i = 0; i < 5; ++i) {
        const std::vector<int>& f = frames[i];
        EXPECT_EQ(lines[1 + i], "12-06-2026\t17:45:0" + std::to_string(1 + i) + "\t" + ValuesOfFrame(f))
            << "line " << 1 + i;
        EXPECT_EQ((std::vector{int(chL[i].y[1]), int(density[i].y[1]), int(temp[i].y[1])}),
                  (std::vector{f[4] << 8 | f[5], f[10] << 8 | f[11], f[18] << 8 | f[19]}))
            << "line " << 1 + i;
    }
}

// The program's own transport of kind T, passed through: a test's transport overrides what it watches.
template <typename T>
class PassedThrough : public LinkTransport {
  public:
    int Open(const LinkAddress& address, TransportEvents& events) override {
        return inner_.Open(address, events);
    }
    void Close() override { inner_.Close(); }
    int Write(const unsigned char* bytes, int count, int timeoutMs) override {
        return inner_.Write(bytes, count, timeoutMs);
    }
    int Read(unsigned char* bytes, int count, int timeoutMs) override {
        return inner_.Read(bytes, count, timeoutMs);
    }
    int Waiting() override { return inner_.Waiting(); }
    void Flush() override { inner_.Flush(); }

  private:
    T inner_;
};

// The program's TCP conversation, noting at every data request it writes how many lines the record had
// made by then.
class NotingRequests final : public PassedThrough<TcpTransport> {
  public:
    explicit NotingRequests(std::vector<double>& linesAtRequest) : linesAtRequest_(linesAtRequest) {}
    int Write(const unsigned char* bytes, int count, int timeoutMs) override {
        if (count >= 4 && (bytes[2] << 8 | bytes[3]) == 5) {
            int mode = -1;
            double counted = -1;
            GetCtrlVal(recpanel, RECP_MODE, mode);
            GetCtrlVal(recpanel, RECP_FRAME_COUNTER, counted);
            linesAtRequest_.push_back(mode == 0 ? double(otcrec) : counted);
        }
        return PassedThrough::Write(bytes, count, timeoutMs);
    }

  private:
    std::vector<double>& linesAtRequest_;
};

// At interval 0 the request for the next frame leaves before a frame is shown and written, so that work
// does not hold up the line; the count's last frame asks for none, and after Stop no request is left
// unanswered and every frame answered is recorded.
TEST_F(Recorder, AtIntervalZeroTheNextRequestLeavesBeforeAFrameIsRecordedButNeverBeyondTheEnd) {
    std::vector<double> linesAtRequest;
    WindowLink().transportFactory = [&](const SensorLink&) {
        return std::make_unique<NotingRequests>(linesAtRequest);
    };
    // The conversation ends with the test: the window knows its handle only through a TcpTransport of its
    // own.
    struct Restore {
        ~Restore() {
            WindowLink().Close();
            WindowLink().transportFactory = nullptr;
        }
    } restore;
    Connect(true);
    linesAtRequest.clear();
    StartRecord(0, 0, 5, kSaved);
    EXPECT_EQ(linesAtRequest, (std::vector<double>{0, 0, 1, 2, 3}));
    EXPECT_EQ(Requests().size(), 5u);
    ASSERT_EQ(Lines(ProjectFile("RecordFile.dat")).size(), 5u);

    emulator->ResetCounters();
    WhenDuringTheRecord([] { return FrameCounter() >= 3; }, [] { uitest::Click(recpanel, RECP_STOP); });
    StartRecord(1, 0, 1, kSaved);
    const std::size_t lines = Lines(ProjectFile("RecordFile.dat")).size() - 5;
    ASSERT_GE(lines, 3u);
    EXPECT_EQ(Requests().size(), lines) << "a line for every request";
    EXPECT_EQ(FrameCounter(), double(lines));
    // From the second request on, each left before the frame before it was counted.
    ASSERT_EQ(linesAtRequest.size(), 5 + lines);
    for (std::size_t i = 1; i < lines; ++i)
        EXPECT_EQ(linesAtRequest[5 + i], double(i - 1)) << "request " << i;
}

// Waiting out an interval, the window sleeps between its events, and the record file it writes beside the
// COM links makes it look for serial devices no more. From the first frame to the end of a 2 s record, passes
// of a millisecond took 0.06 s of the processor (twice that on a busy machine) and the new record file's list
// of devices 0.035 s; sleeping, 0.012 to 0.015 s.
constexpr double kIntervalWaitCpu = kSanitizedBuild ? 0.075 : 0.03;

TEST_F(Recorder, TheIntervalIsWaitedOutFromTheStartOfEachRequestAsleep) {
    Connect(true);
    const double start = Timer();
    double cpuAtFirstFrame = -1;
    WhenDuringTheRecord([] { return otcrec >= 1; }, [&] { cpuAtFirstFrame = ThreadCpuSeconds(); });
    StartRecord(0, 2, 2, kSaved);
    const double waited = Timer() - start, cpu = ThreadCpuSeconds() - cpuAtFirstFrame;
    EXPECT_GE(waited, 2.0) << "two frames two seconds apart";
    EXPECT_LT(waited, 2.5) << "and not much more";
    ASSERT_GE(cpuAtFirstFrame, 0);
    EXPECT_LT(cpu, kIntervalWaitCpu);
    EXPECT_EQ(Lines(ProjectFile("RecordFile.dat")).size(), 2u);
}

// A request without a reply is a measurement that never happened: it makes no line (no copy of the last
// frame's values with a later time), and the end of the record says so.
TEST_F(Recorder, AFrameTimeOutEndsTheRecordWithoutALineAndTheEndSaysTheRequestWentUnanswered) {
    Connect(true);
    WhenDuringTheRecord([] { return FrameCounter() >= 3; },
                        [this] { emulator->SetFaults({.silent = true}); });
    StartRecord(
        1, 0, 1,
        "The record ended: the sensor did not answer 1 request, which made no line.\nEvery line in the "
        "file holds a frame the sensor sent.");
    const auto lines = Lines(ProjectFile("RecordFile.dat"));
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines.size() + 1, Requests().size()) << "a line for every request answered, none for the last";
    EXPECT_EQ(double(lines.size()), FrameCounter());
    EXPECT_EQ(Plots(0).size(), lines.size()) << "nor a sample on the graph";
    EXPECT_EQ(Text(datapanel, DATAP_STATUS), "TIMEOUT");
    EXPECT_TRUE(uitest::IsPanelShown(interfacepanel));
}

// An adapter pulled out during a record: the record ends within a second with the cause, and the file holds
// whole lines only, one for each frame counted.
TEST_F(Recorder, AnAdapterPulledOutEndsTheRecordWithinASecondAndTheFileHoldsWholeLines) {
    Connect(false);
    const std::string device = emulator->PtyPath();
    double pulledAt = 0;
    WhenDuringTheRecord([] { return FrameCounter() >= 3; },
                        [&] {
                            emulator->Stop();  // its link COM5 goes with it
                            pulledAt = Timer();
                        });
    StartRecord(
        1, 0, 1,
        "The record ended: the sensor did not answer 1 request, which made no line.\nEvery line in the "
        "file holds a frame the sensor sent.");
    ASSERT_GT(pulledAt, 0);
    EXPECT_LT(Timer() - pulledAt, 1.0);
    const auto lines = Lines(ProjectFile("RecordFile.dat"));
    ASSERT_GE(lines.size(), 3u);
    EXPECT_TRUE(Text(interfacepanel, INTERFACEP_CAUSE)
                    .ends_with(" lines in " + ProjectFile("RecordFile.dat") +
                               ", 1 request unanswered: the serial device " + device + " was unplugged"))
        << Text(interfacepanel, INTERFACEP_CAUSE);
    EXPECT_EQ(double(lines.size()), FrameCounter());
    for (std::size_t i = 0; i < lines.size(); ++i)
        EXPECT_EQ(std::count(lines[i].begin(), lines[i].end(), '\t'), 9) << "line " << i << ": " << lines[i];
}

TEST_F(Recorder, StopOnEitherPanelEndsARecordWithoutWaitingOutTheInterval) {
    Connect(true);
    for (auto [panel, stop] : {std::pair{mainpanel, int(MAINP_STOP)}, std::pair{recpanel, int(RECP_STOP)}}) {
        emulator->ResetCounters();
        double stoppedAt = 0;
        WhenDuringTheRecord([this] { return !Requests().empty() && FrameCounter() >= 1; },
                            [&, panel = panel, stop = stop] {
                                stoppedAt = Timer();
                                uitest::Click(panel, stop);
                            });
        StartRecord(1, 60, 1, kSaved);
        EXPECT_LT(Timer() - stoppedAt, 30.0) << "the 60 s interval was not waited out";
        EXPECT_EQ(Requests().size(), 1u);
    }
    EXPECT_EQ(Lines(ProjectFile("RecordFile.dat")).size(), 2u);
}

TEST_F(Recorder, LinesARefusedFileLostAreCountedAtTheEndOfTheRecordInsteadOfSaved) {
    Connect(true);
    const std::string path = ProjectFile("ro.dat");
    SelectFile(VAL_NEW_FILE_SELECTED, path);
    GiveUpFileOverride();
    fs::permissions(path, fs::perms::owner_read);
    StartRecord(0, 0, 3, LostText(3, 3, path));
    EXPECT_EQ(ReadTextFile(path), kHeader) << "what was written stays";
    EXPECT_EQ(Value(RECP_RECORDED), 3) << "the record itself ran";
    fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);
    StartRecord(0, 0, 2, kSaved);  // the next record counts its own lines
    EXPECT_EQ(Lines(path).size(), 3u);
}

TEST_F(Recorder, ClosingTheRecorderPanelStopsAutomaticSendingButNotTheLoop) {
    Connect(false);
    poll = 1;
    uitest::ClosePanel(recpanel);
    ASSERT_TRUE(uitest::PumpUntil([this] { return !Requests().empty(); }, 2.0));
    EXPECT_EQ(Requests(), (std::vector<std::pair<int, int>>{{50, 0}}));
    EXPECT_EQ(poll, 1);
}

// --- triggered records ------------------------------------------------------------------------------------

class TriggeredRecord : public Recorder, public testing::WithParamInterface<bool> {};

TEST_P(TriggeredRecord, FramesBackToBackAreAllRecordedAndAFrameWithAWrongMarkerIsDropped) {
    const bool tcp = GetParam();
    Connect(tcp, 40.0);
    if (!tcp) {
        // A reply cut short waits in the serial queue: it must not be taken for the start of a frame.
        emulator->SetFaults({.shortReply = true});
        FillTxBuf(5, 0, 0, 0);
        WriteFrame();
        ASSERT_TRUE(uitest::PumpUntil([] { return GetInQLen(comport) == 35; }, 2.0));
    }
    emulator->SetFaults({.autoWrongMarkerAt = 4, .autoDoubleAt = 2});
    const std::string path = ProjectFile("trig.dat"), logPath = ProjectFile("frames.log");
    SelectFile(VAL_NEW_FILE_SELECTED, path);
    uitest::SelectListItem(recpanel, RECP_MODE, 3);
    ASSERT_TRUE(OpenFrameLog(logPath));
    std::vector<int> during;
    WhenDuringTheRecord([] { return FrameCounter() >= 8; },
                        [&] {
                            during = {Attr(recpanel, RECP_START_TRIGGERED, ATTR_DIMMED),
                                      Attr(recpanel, RECP_START_TRIGGERED, ATTR_CMD_BUTTON_COLOR)};
                            uitest::Click(recpanel, RECP_STOP_TRIGGERED);
                        });
    uitest::ExpectPopup("ATTENTION!", kConfirmName, 1);
    uitest::ExpectPopup("ATTENTION!", MakeSure(42));
    uitest::ExpectPopup("INFO!", kSaved);
    uitest::Click(recpanel, RECP_START_TRIGGERED);
    CloseFrameLog();

    EXPECT_TRUE(uitest::PumpUntil([this] { return !emulator->AutoSending(); }, 2.0));
    EXPECT_EQ(Requests().back(), (std::pair{50, 0}));
    std::vector<std::string> good;
    int wrongMarkers = 0;
    for (const auto& f : FramesSentBySensor(logPath)) {
        if (f[0] != 0x00 || f[1] != 0xAA) {
            ++wrongMarkers;
            continue;
        }
        std::string values;
        for (int w = 2; w <= 9; ++w)
            values += (w > 2 ? "\t" : "") + std::to_string(f[2 * w] << 8 | f[2 * w + 1]);
        good.push_back(values);
    }
    EXPECT_EQ(wrongMarkers, 1);
    ASSERT_GE(good.size(), 8u);
    const auto lines = Lines(path);
    ASSERT_EQ(lines.size(), good.size() + 1) << "every good frame, and only those";
    for (std::size_t i = 0; i < good.size(); ++i)
        EXPECT_EQ(Values(lines[i + 1]), good[i]) << "line " << i + 1;
    EXPECT_EQ(FrameCounter(), double(good.size()));
    EXPECT_EQ(Plots().size(), good.size()) << "each recorded frame is graphed";
    EXPECT_EQ(during, (std::vector{1, 0xFF0000}));
    EXPECT_EQ(Attr(recpanel, RECP_START_TRIGGERED, ATTR_CMD_BUTTON_COLOR), 0xE0E0E0);
    EXPECT_EQ(Attr(recpanel, RECP_START_TRIGGERED, ATTR_DIMMED), 0);

    // The link answers requests as before.
    StartRecord(0, 0, 1, kSaved);
    EXPECT_EQ(Text(datapanel, DATAP_STATUS).substr(0, 6), "ORVANE");
}

// Waiting for the sensor's frames, the window sleeps until bytes come or the bytes that came count as ended:
// a few sleeps a frame, not one a millisecond.
TEST_P(TriggeredRecord, WaitingForFramesTheWindowSleeps) {
    Connect(GetParam(), 20.0);
    SelectFile(VAL_NEW_FILE_SELECTED, ProjectFile("trig.dat"));
    uitest::SelectListItem(recpanel, RECP_MODE, 3);
    uitest::ExpectPopup("ATTENTION!", kConfirmName, 1);
    uitest::ExpectPopup("ATTENTION!", MakeSure(42));
    uitest::ExpectPopup("INFO!", kSaved);
    QTimer::singleShot(1000, [] { uitest::Click(recpanel, RECP_STOP_TRIGGERED); });
    const long sleeps = ThreadSleeps();
    uitest::Click(recpanel, RECP_START_TRIGGERED);
    const long slept = ThreadSleeps() - sleeps;
    ASSERT_GE(FrameCounter(), 10.0);
    EXPECT_LT(slept, 10 * FrameCounter());
}

// A sensor that breaks frames off: before its first frame and after every third it sends the first 10 bytes
// of a frame. Every whole frame becomes a line, in order, and no line is made of a broken frame and the next.
// The serial line runs at wire speed, so frames come in pieces of a few bytes.
TEST_P(TriggeredRecord, AFrameBrokenOffMakesNoLineAndTheFrameAfterItIsRecorded) {
    const bool tcp = GetParam();
    Connect(tcp, 100.0, true);
    emulator->SetFaults({.autoBrokenEvery = 3});
    RecordTriggeredUntil(30);
    ExpectEveryLineIsTheFrameSentInItsPlace(30);
}

// At 9,600 baud a frame comes a byte at a time, and the window mostly takes each byte alone: every frame is
// still recorded whole and in order.
TEST_F(Recorder, ATriggeredRecordAt9600BaudTakesFramesThatComeAByteAtATime) {
    StartEmulator(Link::Serial, 10.0, true);
    WriteSettingsFor(Link::Serial, 0);  // 9,600 baud
    InitAll();
    ASSERT_EQ(comecho, 1) << "the version query failed";
    uitest::Click(mainpanel, MAINP_RECORDER);
    RecordTriggeredUntil(5);
    ExpectEveryLineIsTheFrameSentInItsPlace(5);
}

// The program's serial port, which has Stop clicked at the next pass of events once a whole frame's bytes
// were read: well within the quiet time after which a frame counts as ended.
class StopAfterAFrame final : public PassedThrough<SerialTransport> {
  public:
    int Read(unsigned char* bytes, int count, int timeoutMs) override {
        const int n = PassedThrough::Read(bytes, count, timeoutMs);
        if (streamed_ < kFrameBytes && (streamed_ += std::max(n, 0)) >= kFrameBytes)
            QTimer::singleShot(0, [] { uitest::Click(recpanel, RECP_STOP_TRIGGERED); });
        return n;
    }
    void StreamFromNowOn() { streamed_ = 0; }

  private:
    static constexpr int kFrameBytes = 36;
    int streamed_ = kFrameBytes;  // nothing is counted before the record starts
};

// A frame whose last byte came just before Stop is recorded too, though no quiet time after it has passed.
TEST_F(Recorder, AFrameThatCameJustBeforeStopIsRecorded) {
    StopAfterAFrame* port = nullptr;
    WindowLink().transportFactory = [&](const SensorLink&) {
        auto made = std::make_unique<StopAfterAFrame>();
        port = made.get();
        return made;
    };
    struct Restore {
        ~Restore() {
            WindowLink().Close();
            WindowLink().transportFactory = nullptr;
        }
    } restore;
    Connect(false, 0.1);  // one frame at the start, the next 10 s later
    ASSERT_NE(port, nullptr);
    port->StreamFromNowOn();
    RecordTriggered();
    ExpectEveryLineIsTheFrameSentInItsPlace(1);
    EXPECT_EQ(Lines(ProjectFile("trig.dat")).size(), 2u);
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
    EXPECT_EQ(Text(datapanel, DATAP_STATUS), "TIMEOUT");
    EXPECT_EQ(double(Lines(ProjectFile("RecordFile.dat")).size()), FrameCounter());
}

TEST_F(Recorder, ATriggeredRecordWithoutALinkEndsAtOnceWithTheFailureReport) {
    SetScopeProfiles();
    comprotocol = 1;  // TCP/IP, but no conversation is open
    uitest::SelectListItem(recpanel, RECP_MODE, 3);
    SetCtrlVal(recpanel, RECP_FRAME_COUNTER, 12.0);  // what an earlier record counted
    uitest::ExpectPopup("ATTENTION!", kConfirmName, 1);
    uitest::ExpectPopup("ATTENTION!", MakeSure(42));
    uitest::Click(recpanel, RECP_START_TRIGGERED);  // and no "File has been saved!"
    EXPECT_EQ(poll, 0);
    EXPECT_EQ(FrameCounter(), 0.0) << "a new record counts from 0";
    EXPECT_EQ(Text(datapanel, DATAP_STATUS), "TIMEOUT");
    EXPECT_TRUE(uitest::IsPanelShown(interfacepanel));
    EXPECT_EQ(Attr(recpanel, RECP_START_TRIGGERED, ATTR_CMD_BUTTON_COLOR), 0xE0E0E0);
    EXPECT_EQ(Attr(recpanel, RECP_START_TRIGGERED, ATTR_DIMMED), 0);
    EXPECT_FALSE(fs::exists(ProjectFile("RecordFile.dat")));
}

}  // namespace
