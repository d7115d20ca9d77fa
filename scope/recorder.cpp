#include "recorder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "com232.h"
#include "frame_source.h"
#include "graph_panel.h"
#include "live_data.h"
#include "operation_line.h"
#include "platform.h"
#include "record_file.h"
#include "scope_state.h"

unsigned short zeitint = 0;
unsigned short anzwerte = 0;
unsigned short otcrec = 0;
double recstart = 0.0;

const char* const InfoButtonOpenRecorder = " Switch to data recorder.";
const char* const InfoButtonSelRecFile = " Select a record file for data save. ";
const char* const InfoDisRecFile = " Shows the path of the record file. ";
const char* const InfoButtonStartRecord = " Start data record.";
const char* const InfoButtonStopRecord = " Stop data record.";
const char* const InfoButtonManualRecord = " Record one frame manually \n and append to existing file. ";
const char* const InfoEditSelDataRec = " Select how to record data frame. ";
const char* const InfoEditInterval =
    " Choose a even interval for recording. \n Minimum interval is 1 second. ";
const char* const InfoEditRecVal = " Choose how many Data should be recorded. ";
const char* const InfoDispRecordTime =
    " Displays the time for recording \n when all VALUES will be recorded.";
const char* const InfoDispRecordedValues = " Displays how many values are already recorded.";
const char* const InfoDispRemaining = " Displays how many values remain to be recorded.";
const char* const InfoButtonViewRecord = " Show the record file in the record viewer. ";

namespace {

constexpr int kRecordingColor = 0xFF0000;
constexpr int kIdleColor = 0xE0E0E0;
constexpr std::size_t kPathMax = sizeof recFileName - 1;

RecordClock clockDate = DateStr;
RecordClock clockTime = TimeStr;

// Lines of the present record: tried and not written; requests the sensor did not answer (no line).
unsigned long linesTried = 0, linesLost = 0, requestsUnanswered = 0;
double frameCounter = 0.0;
// The triggered record could not be started (the start order did not go out).
bool triggerStartFailed = false;

// The mode-dependent part of the panel, in rows below the record file: the rows a mode shows stand one
// below the other from the first row's place on, so no mode leaves a hole where another mode's rows are.
enum ModeRow { kRowInterval, kRowCount, kRowTime, kRowCounter, kRowRemaining, kRowButtons, kModeRows };
constexpr int kFirstRowTop = 188;
constexpr int kRowHeight[kModeRows] = {28, 28, 68, 28, 28, 36};

// Which controls each record mode shows (bit m set: shown in mode m), their row and their place in it.
struct ModeView {
    int control;
    unsigned modes;
    ModeRow row;
    int top = 0;  // below the row's top
};
constexpr unsigned M0 = 1, M1 = 2, M2 = 4, M3 = 8;
constexpr ModeView kModeViews[] = {
    {RECP_INTERVAL, M0 | M1, kRowInterval},
    {RECP_INTERVAL_LABEL, M0 | M1, kRowInterval},
    {RECP_COUNT, M0, kRowCount},
    {RECP_COUNT_LABEL, M0, kRowCount},
    {RECP_TIME_FRAME, M0, kRowTime},
    {RECP_DAYS, M0, kRowTime, 26},
    {RECP_HOURS, M0, kRowTime, 26},
    {RECP_MINUTES, M0, kRowTime, 26},
    {RECP_SECONDS, M0, kRowTime, 26},
    {RECP_RECORDED, M0 | M2, kRowCounter},
    {RECP_RECORDED_LABEL, M0 | M2, kRowCounter},
    {RECP_FRAME_COUNTER, M1 | M3, kRowCounter},
    {RECP_FRAME_COUNTER_LABEL, M1 | M3, kRowCounter},
    {RECP_REMAINING, M0, kRowRemaining},
    {RECP_REMAINING_LABEL, M0, kRowRemaining},
    {RECP_START, M0 | M1, kRowButtons, 8},
    {RECP_STOP, M0 | M1, kRowButtons, 8},
    {RECP_START_TRIGGERED, M3, kRowButtons, 8},
    {RECP_STOP_TRIGGERED, M3, kRowButtons, 8},
    {RECP_MANUAL, M2, kRowButtons, 8},
};

bool ShownIn(const ModeView& v, int mode) {
    return (v.modes >> mode) & 1u;
}

std::string MakeSureText(int blanks) {
    return " Make sure, that the file is not opened by any other program." + std::string(blanks, ' ') +
           "\n Otherwise it can not be saved.";
}

int RecordMode() {
    int mode = 0;
    GetCtrlVal(recpanel, RECP_MODE, mode);
    return mode;
}

// Appends text to the record file; false when it was not written whole (nothing of it stays then).
bool AppendToRecordFile(const std::string& text) {
    if (recFileName[0] == '\0') return false;
    std::string reason;
    return AppendRecordText(recFileName, text, reason);
}

void StartCountingLines() {
    linesTried = linesLost = requestsUnanswered = 0;
}

std::string LostLinesText() {
    const std::string counts = std::to_string(linesLost) + " of " + std::to_string(linesTried) + " lines";
    if (recFileName[0] == '\0')
        return "No record file is selected: " + counts +
               " were not written.\nSelect a file with the Select-file button.";
    return counts + " could not be written to\n" + recFileName +
           "\nThe file may be open in another program or read-only, or the disk may be full.";
}

// A request without a reply is a measurement that never happened: it ends the record and makes no line.
std::string UnansweredText() {
    return "The record ended: the sensor did not answer " +
           (requestsUnanswered == 1 ? std::string("1 request")
                                    : std::to_string(requestsUnanswered) + " requests") +
           ", which made no line.\nEvery line in the file holds a frame the sensor sent.";
}

// The end of a record: saved, or what went wrong.
void ReportRecordEnd() {
    const std::string file = recFileName[0] ? recFileName : "no file";
    if (linesLost == 0 && requestsUnanswered == 0) {
        ReportDone("record ended: " + GroupedNumber(linesTried) + " lines in " + file);
        MessagePopup("INFO!", "File has been saved!");
        return;
    }
    std::string line =
        "record ended: " + (linesLost ? GroupedNumber(linesTried - linesLost) + " of " : std::string()) +
        GroupedNumber(linesTried) + " lines in " + file;
    // The link's own words say why the last request went unanswered (an adapter pulled out, a server gone).
    if (requestsUnanswered > 0)
        line += ", " + GroupedNumber(requestsUnanswered) +
                (requestsUnanswered == 1 ? " request" : " requests") + " unanswered" +
                (linkCause[0] ? std::string(": ") + linkCause : std::string());
    ReportTrouble(line);
    if (requestsUnanswered == 0)
        MessagePopup("ATTENTION!", LostLinesText());
    else
        MessagePopup("ATTENTION!", UnansweredText() + (linesLost ? "\n" + LostLinesText() : std::string()));
}

void ShowFrameCounter() {
    SetCtrlVal(recpanel, RECP_FRAME_COUNTER, frameCounter);
}

// A frame of the interval record, then the counts of modes 0 and 1; mode 0 stops when all are recorded.
void RecordIntervalFrame(const Frame& frame) {
    RecordOneFrame(frame);
    const int mode = RecordMode();
    if (mode == 0) {
        ++otcrec;
        SetCtrlVal(recpanel, RECP_RECORDED, otcrec);
        SetCtrlVal(recpanel, RECP_REMAINING, static_cast<unsigned short>(anzwerte - otcrec));
        if (otcrec == anzwerte) poll = 0;
    } else if (mode == 1) {
        frameCounter += 1.0;
        ShowFrameCounter();
    }
}

void RecordTriggeredFrame(const Frame& frame) {
    RecordOneFrame(frame);
    frameCounter += 1.0;
    ShowFrameCounter();
}

void SetRecordControlsOperable(int operable) {
    for (int ctrl : {RECP_INTERVAL, RECP_COUNT, RECP_START})
        SetCtrlAttribute(recpanel, ctrl, ATTR_CTRL_MODE, operable ? VAL_HOT : VAL_INDICATOR);
    SetCtrlAttribute(recpanel, RECP_START, ATTR_CMD_BUTTON_COLOR, operable ? kIdleColor : kRecordingColor);
}

void UseRecordFile(const std::string& path) {
    std::snprintf(recFileName, sizeof recFileName, "%s", path.c_str());
    ResetTextBox(recpanel, RECP_FILE, recFileName);
}

// The name beside `path` that its old content moves to: "name-backup.dat", or "name-backup-2.dat" and on
// when that is taken, so no earlier backup is ever replaced.
std::string BackupName(const std::string& path) {
    const std::filesystem::path p(path);
    const std::string stem = (p.parent_path() / p.stem()).string(), ext = p.extension().string();
    std::error_code ec;
    std::string name = stem + "-backup" + ext;
    for (int n = 2; std::filesystem::exists(std::filesystem::symlink_status(name, ec)); ++n)
        name = stem + "-backup-" + std::to_string(n) + ext;
    return name;
}

bool MoveAsideAsBackup(const std::string& path, std::string& backup) {
    backup = BackupName(path);
    std::error_code ec;
    std::filesystem::rename(path, backup, ec);
    return !ec;
}

bool ConfirmFileName() {
    return ConfirmPopup("ATTENTION!", "Are you sure, that you have selected the right file name?") == 1;
}

}  // namespace

void SetRecordClock(RecordClock date, RecordClock time) {
    clockDate = date ? date : DateStr;
    clockTime = time ? time : TimeStr;
}

void InitRecordFileName(std::string_view dir) {
    const std::string path = MakePathname(dir, "RecordFile.dat");
    UseRecordFile(path.size() <= kPathMax ? path : std::string());
}

void InitRecordPanel() {
    const int mode = RecordMode();
    if (mode < 0 || mode > 3) return;
    bool rowShown[kModeRows] = {};
    for (const ModeView& v : kModeViews) rowShown[v.row] |= ShownIn(v, mode);
    int rowTop[kModeRows] = {};
    for (int row = 0, top = kFirstRowTop; row < kModeRows; ++row) {
        rowTop[row] = top;
        if (rowShown[row]) top += kRowHeight[row];
    }
    for (const ModeView& v : kModeViews) {
        SetCtrlAttribute(recpanel, v.control, ATTR_VISIBLE, ShownIn(v, mode) ? 1 : 0);
        SetCtrlAttribute(recpanel, v.control, ATTR_TOP, rowTop[v.row] + v.top);
    }
}

void CalcRecTime() {
    GetCtrlVal(recpanel, RECP_INTERVAL, zeitint);
    GetCtrlVal(recpanel, RECP_COUNT, anzwerte);
    SetCtrlVal(recpanel, RECP_RECORDED, static_cast<unsigned short>(0));
    SetCtrlVal(recpanel, RECP_REMAINING, anzwerte);
    const RecordDuration d = SplitRecordTime(RecordSeconds(zeitint, anzwerte));
    SetCtrlVal(recpanel, RECP_DAYS, int(d.days));
    SetCtrlVal(recpanel, RECP_HOURS, int(d.hours));
    SetCtrlVal(recpanel, RECP_MINUTES, int(d.minutes));
    SetCtrlVal(recpanel, RECP_SECONDS, int(d.seconds));
}

void SelRecFile() {
    std::string path;
    const int result =
        FileSelectPopup(recFileName, "RecordFile.dat", "*.dat", "FILENAME!", VAL_OK_BUTTON, 0, 0, 1, 1, path);
    if (result <= 0) {
        MessagePopup("ATTENTION!", "No filename was choosen! \nRecording will not be done! ");
        recFileName[0] = '\0';  // no lines until a file is chosen; the path display stays as it was
        return;
    }
    if (path.size() > kPathMax) {
        MessagePopup("ATTENTION!", "The path\n" + path + "\nis longer than " + std::to_string(kPathMax) +
                                       " characters and cannot be used for a record file.\nThe record file "
                                       "stays as it was.");
        return;
    }
    if (result == VAL_EXISTING_FILE_SELECTED) {
        // Declining keeps the file in force so far.
        if (ConfirmPopup("ATTENTION!", "File already exist! \nDo you want to select existing file?") != 1)
            return;
        // The new record starts a file of its own; what the file held is kept beside it.
        std::string backup;
        if (!MoveAsideAsBackup(path, backup)) {
            MessagePopup("ATTENTION!", "The file\n" + path +
                                           "\ncannot be renamed to keep its content as a backup, so it "
                                           "was not selected.\nThe record file stays as it was.");
            return;
        }
        MessagePopup("ATTENTION!", MakeSureText(36) + "\n\n Its previous content is kept in\n " + backup);
        UseRecordFile(path);
    } else {
        UseRecordFile(path);
    }
    WriteFileHeader();
}

void WriteFileHeader() {
    if (!AppendToRecordFile(RecordHeaderLine()))
        MessagePopup("ATTENTION!", std::string("The record file\n") + recFileName + "\ncannot be written.");
}

void Record() {
    if (!ConfirmFileName()) return;
    CalcRecTime();
    if (RecordMode() == 0 && anzwerte == 0) {
        MessagePopup("ATTENTION!", "The number of values to record is 0.\nNothing was recorded.");
        return;
    }
    MessagePopup("ATTENTION!", MakeSureText(36));
    SetRecordControlsOperable(0);
    StartCountingLines();
    RecordFrame();
    ReportRecordEnd();
    SetRecordControlsOperable(1);
}

void RecordFrame() {
    poll = 1;
    otcrec = 0;
    CalcRecTime();
    frameCounter = 0.0;
    ShowFrameCounter();
    // The interval runs from the moment a request leaves. At interval 0 the next request leaves before a
    // frame is shown and written, unless that frame is the count's last.
    RequestedFrames requested(
        [](double requestedAt) {
            recstart = requestedAt;
            SlowDown();
        },
        [] { return zeitint == 0 && (RecordMode() != 0 || otcrec + 1 < anzwerte); });
    RunFrameSource(requested, RecordIntervalFrame);
    requestsUnanswered += requested.Unanswered();
}

void SlowDown() {
    // An interval of a minute costs next to no processor time, and Stop still answers at once.
    ProcessSystemEventsUntil(recstart + double(zeitint), [] { return poll != 0; });
    tdiff = Timer() - recstart;
}

void TriggeredRecord() {
    triggerStartFailed = false;
    FlushQueues();  // bytes left from before must not pass for a triggered frame
    // On before the start order leaves, as the first frame may follow at once; off again however this ends.
    SetStreamReceive(true);
    struct StreamOff {
        ~StreamOff() { SetStreamReceive(false); }
    } streamOff;
    order = 50;
    FillTxBuf(order, 1, 0, 0);  // the sensor sends a frame on every trigger event from now on
    WriteFrame();
    frameCounter = 0.0;
    ShowFrameCounter();
    if (nBytesW != 2 * anzframe) {
        // The sensor never got the order: no frame will come, so there is nothing to wait for.
        triggerStartFailed = true;
        SetPopupTimeout();
        return;
    }
    poll = 1;
    SentFrames sent;
    RunFrameSource(sent, RecordTriggeredFrame);
}

void RecordOneFrame(const Frame& frame) {
    const Measurement m = MeasurementOf(frame);
    SetFrameVariables(m);
    SetPanelGraphData(m);
    SetPanelData(m);
    ShowGraph();
    ToFile(m);
}

void RecordManually() {
    StartCountingLines();
    // No frame is asked for: the line holds the frame the live data showed last.
    const Measurement latest = FrameVariables();
    SetPanelGraphData(latest);
    ToFile(latest);
    ++otcrec;
    SetCtrlVal(recpanel, RECP_RECORDED, otcrec);
    if (linesLost > 0) MessagePopup("ATTENTION!", LostLinesText());
}

void ToFile() {
    ToFile(FrameVariables());
}

void ToFile(const Measurement& m) {
    ++linesTried;
    if (!AppendToRecordFile(RecordDataLine(clockDate(), clockTime(), RecordValuesOf(m)))) ++linesLost;
}

// --- callbacks ------------------------------------------------------------------------------------------

int CBF_RECP(int, int, int event, void*, int, int) {
    if (event == EVENT_CLOSE) StopAutoSend();
    return 0;
}

int CBF_ButtonRecorder(int, int, int event, void*, int, int) {
    if (ShowHelp(event, InfoButtonOpenRecorder)) return 0;
    if (event != EVENT_COMMIT) return 0;
    InitRecordPanel();
    if (RecordMode() == 0) CalcRecTime();
    ShowChildPanel(kChildRecorder);
    return 0;
}

int CBF_ButtonSelRecFile(int, int, int event, void*, int, int) {
    if (ShowHelp(event, InfoButtonSelRecFile)) return 0;
    if (event == EVENT_COMMIT) SelRecFile();
    return 0;
}

int CBF_ButtonStartRecord(int, int, int event, void*, int, int) {
    if (ShowHelp(event, InfoButtonStartRecord)) return 0;
    if (event != EVENT_COMMIT) return 0;
    SetButtonsDimmed(1);
    InitPanelGraph();
    Record();
    SetButtonsDimmed(0);
    return 0;
}

int CBF_ButtonStopRecord(int, int, int event, void*, int, int) {
    if (ShowHelp(event, InfoButtonStopRecord)) return 0;
    if (event == EVENT_COMMIT) poll = 0;
    return 0;
}

int CBF_ButtonStartTrigRec(int, int, int event, void*, int, int) {
    if (ShowHelp(event, InfoButtonStartRecord)) return 0;
    if (event != EVENT_COMMIT || !ConfirmFileName()) return 0;
    SetButtonsDimmed(1);
    MessagePopup("ATTENTION!", MakeSureText(42));
    SetCtrlAttribute(recpanel, RECP_START_TRIGGERED, ATTR_CMD_BUTTON_COLOR, kRecordingColor);
    StartCountingLines();
    TriggeredRecord();
    StopAutoSend();
    if (!triggerStartFailed) ReportRecordEnd();
    SetCtrlAttribute(recpanel, RECP_START_TRIGGERED, ATTR_CMD_BUTTON_COLOR, kIdleColor);
    SetButtonsDimmed(0);
    return 0;
}

int CBF_ButtonStopTrigRec(int, int, int event, void*, int, int) {
    if (ShowHelp(event, InfoButtonStopRecord)) return 0;
    if (event == EVENT_COMMIT) poll = 0;
    return 0;
}

int CBF_ButtonManualRecord(int, int, int event, void*, int, int) {
    if (ShowHelp(event, InfoButtonManualRecord)) return 0;
    if (event != EVENT_COMMIT) return 0;
    SetCtrlAttribute(recpanel, RECP_MANUAL, ATTR_DIMMED, 1);
    RecordManually();
    SetCtrlAttribute(recpanel, RECP_MANUAL, ATTR_DIMMED, 0);
    return 0;
}

int CBF_EditSelectDataRec(int, int, int event, void*, int, int) {
    if (ShowHelp(event, InfoEditSelDataRec)) return 0;
    if (event != EVENT_COMMIT) return 0;
    poll = 0;
    const int mode = RecordMode();
    if (mode == 2) {
        otcrec = 0;
        SetCtrlVal(recpanel, RECP_RECORDED, otcrec);
    }
    if (mode == 0) CalcRecTime();
    InitPanelGraph();
    InitRecordPanel();
    return 0;
}

int CBF_EditInterval(int, int, int event, void*, int, int) {
    if (ShowHelp(event, InfoEditInterval)) return 0;
    if (event == EVENT_COMMIT) CalcRecTime();
    return 0;
}

int CBF_EditRecVal(int, int, int event, void*, int, int) {
    if (ShowHelp(event, InfoEditRecVal)) return 0;
    if (event == EVENT_COMMIT) CalcRecTime();
    return 0;
}

int CBF_DispRecFile(int, int, int event, void*, int, int) {
    ShowHelp(event, InfoDisRecFile);
    return 0;
}
int CBF_DispRecordTime(int, int, int event, void*, int, int) {
    ShowHelp(event, InfoDispRecordTime);
    return 0;
}
int CBF_DispRecordedValues(int, int, int event, void*, int, int) {
    ShowHelp(event, InfoDispRecordedValues);
    return 0;
}
int CBF_DispRemaining(int, int, int event, void*, int, int) {
    ShowHelp(event, InfoDispRemaining);
    return 0;
}

int CBF_ButtonViewRecord(int, int, int event, void*, int, int) {
    if (ShowHelp(event, InfoButtonViewRecord)) return 0;
    if (event != EVENT_COMMIT) return 0;
    long size = 0;
    if (recFileName[0] == '\0' || GetFileInfo(recFileName, size) != 1) {
        MessagePopup("ATTENTION!",
                     recFileName[0] == '\0'
                         ? std::string("No record file is selected: choose one with Select file...")
                         : std::string("The record file\n") + recFileName +
                               "\nholds nothing yet: record a line first.");
        return 0;
    }
    std::string sensorId;
    GetCtrlVal(recpanel, RECP_SENSOR_ID, sensorId);
    std::vector<std::string> arguments = {"--follow"};
    if (!sensorId.empty()) arguments.insert(arguments.end(), {"--sensor-id", sensorId});
    arguments.push_back(recFileName);
    if (StartProgram("RecordViewer", arguments) != 0)
        MessagePopup("ATTENTION!",
                     "The record viewer (RecordViewer) cannot be started: it is not installed "
                     "beside this program nor on the PATH.");
    return 0;
}
