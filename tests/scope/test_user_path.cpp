// The scope as a person works it: clicks, double clicks and keys through the window system, and Qt's own
// dialogs answered with keys and clicks (no scripted answers): the record file and parameter file dialogs,
// the big vector display, typed numbers outside their range, the function keys, and that no exchange
// starts inside a running one.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "parameter_files.h"
#include "recorder.h"
#include "scope_session.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kHeader = "DATE\tTIME\tCH_L\tCH_C\tCH_R\tDENSITY\tSYM1\tSYM2\tVECTOR\tTEMP\t\r\n";

class UserPath : public ScopeSession {
  protected:
    static void ExpectAllAnswered() {
        EXPECT_EQ(uitest::PendingDialogSteps(), 0);
        for (const auto& d : uitest::DialogsSeen()) EXPECT_FALSE(d.unanswered) << d.title << ": " << d.text;
    }
    static std::string Text(int panel, int ctrl) {
        std::string text;
        GetCtrlVal(panel, ctrl, text);
        return text;
    }
};

TEST_F(UserPath, ARecordFileWithANewNameIsTakenAndAnExistingOneStartsAfreshOnYesKeepingItsOldContent) {
    StartConnected(Link::Tcp);
    uitest::UseRealDialogs();
    ASSERT_EQ(uitest::RealClick(mainpanel, MAINP_RECORDER), 0);
    uitest::TypeInDialog("fresh.dat");
    uitest::PressInDialog("OK");
    ASSERT_EQ(uitest::RealClick(recpanel, RECP_SELECT_FILE), 0);
    const std::string path = ProjectFile("fresh.dat");
    EXPECT_EQ(ReadTextFile(path), kHeader) << "a new file gets its header line";
    EXPECT_EQ(Text(recpanel, RECP_FILE), path);

    // The same name again: the program asks, and Yes starts the file anew, its old content kept beside it.
    WriteTextFile(path, std::string(kHeader) + "old line\r\n");
    uitest::TypeInDialog("fresh.dat");
    uitest::PressInDialog("OK");
    uitest::PressInDialog("Yes");
    uitest::PressInDialog("OK");  // make sure the file is not open elsewhere
    ASSERT_EQ(uitest::RealClick(recpanel, RECP_SELECT_FILE), 0);
    EXPECT_EQ(ReadTextFile(path), kHeader);
    EXPECT_EQ(ReadTextFile(ProjectFile("fresh-backup.dat")), std::string(kHeader) + "old line\r\n")
        << "the old content is kept beside it";
    ExpectAllAnswered();
    const auto& seen = uitest::DialogsSeen();
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0].title, "FILENAME!");
    EXPECT_EQ(seen[0].acceptLabel, "OK");
    EXPECT_FALSE(seen[0].existingFilesOnly);
    EXPECT_EQ(seen[2].title, "ATTENTION!");
    EXPECT_EQ(seen[2].text, "File already exist! \nDo you want to select existing file?");
}

TEST_F(UserPath, AParameterFileSavedUnderANewNameIsLoadedBackAndANameThatDoesNotExistIsRefused) {
    ASSERT_EQ(LoadOrvanePanels(), 0);
    DisplayOrvanePanels();
    std::snprintf(paraFileName, sizeof paraFileName, "%s", projectDir.c_str());
    uitest::UseRealDialogs();
    ASSERT_EQ(uitest::RealClick(mainpanel, MAINP_SELECT_FILE), 0);
    ASSERT_EQ(target, DATFILE);
    ASSERT_EQ(uitest::RealType(parapanel, PARAP_MAX_DOWN, "4321"), 0);
    // The file: 202 lines of 5 characters and CR LF, in the order power, channel mode, average, evaluation
    // mode, hold, intensity limit, vector count, output mode, trigger, external teach, MAX UP, MAX DOWN, the
    // four spare words, then the teach table row by row; the panel shows each scalar, the table is empty.
    std::string expected;
    const auto line = [&expected](int value) {
        char text[16];
        std::snprintf(text, sizeof text, "%5d\r\n", value);
        expected += text;
    };
    for (int ctrl :
         {PARAP_POWER, PARAP_CHANNEL_MODE, PARAP_AVERAGE, PARAP_EVAL_MODE, PARAP_HOLD, PARAP_INTLIM,
          PARAP_MAX_NO, PARAP_OUT_MODE, PARAP_TRIGGER, PARAP_EXTERN_TEACH, PARAP_MAX_UP})
        line(Int(parapanel, ctrl));
    line(4321);
    for (int word = 12; word < 202; ++word) line(0);
    ASSERT_EQ(expected.size(), 1414u);

    uitest::TypeInDialog("mine.ini");
    uitest::PressInDialog("Save");
    ASSERT_EQ(uitest::RealKey(mainpanel, VAL_F9_VKEY), 0);  // Send
    EXPECT_EQ(ReadTextFile(ProjectFile("mine.ini")), expected);

    ASSERT_EQ(uitest::RealType(parapanel, PARAP_MAX_DOWN, "1000"), 0);
    uitest::TypeInDialog("absent.ini");
    uitest::KeyInDialog(VAL_ENTER_VKEY);
    uitest::PressInDialog("OK");  // the dialog's own "not found"
    uitest::TypeInDialog("mine.ini");
    uitest::PressInDialog("Load");
    ASSERT_EQ(uitest::RealKey(mainpanel, VAL_F10_VKEY), 0);  // Get
    EXPECT_EQ(Int(parapanel, PARAP_MAX_DOWN), 4321);
    ExpectAllAnswered();
    const auto& seen = uitest::DialogsSeen();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].title, "Parameter");
    EXPECT_EQ(seen[0].acceptLabel, "Save");
    EXPECT_FALSE(seen[0].existingFilesOnly);
    EXPECT_EQ(seen[1].acceptLabel, "Load");
    EXPECT_TRUE(seen[1].existingFilesOnly);
    EXPECT_NE(seen[2].text.find("absent.ini"), std::string::npos) << seen[2].text;
}

// That the double click leaves the number unselected shows on a real X server only (the end-to-end journeys
// check it): here the big display's window takes the activation, which clears any selection anyway.
TEST_F(UserPath, TheBigVectorDisplayOpensOnADoubleClickAndARightClickAnywhereOnItHidesIt) {
    ASSERT_EQ(LoadOrvanePanels(), 0);
    DisplayOrvanePanels();
    SetCtrlVal(datapanel, DATAP_VEC, static_cast<unsigned short>(17));
    struct Place {
        int control, top, left;
    };
    // The number, the sensor ID, the caption beside it (no control) and the panel's margin.
    for (Place p :
         {Place{COLBIGP_VECTOR, 0, 0}, Place{COLBIGP_SENSOR_ID, 0, 0}, Place{0, 200, 20}, Place{0, 2, 2}}) {
        ASSERT_EQ(uitest::RealDoubleClick(datapanel, DATAP_VEC), 0);
        ASSERT_TRUE(uitest::IsPanelShown(colbigpanel));
        uitest::RealClick(colbigpanel, p.control, uitest::kLeftButton, p.top, p.left);
        EXPECT_TRUE(uitest::IsPanelShown(colbigpanel)) << "a left click leaves it";
        uitest::RealClick(colbigpanel, p.control, uitest::kRightButton, p.top, p.left);
        EXPECT_FALSE(uitest::IsPanelShown(colbigpanel)) << p.control << " " << p.top << "," << p.left;
    }
}

TEST_F(UserPath, TypedNumbersOutsideTheirRangeAreClampedAndNoDigitIsDropped) {
    ASSERT_EQ(LoadOrvanePanels(), 0);
    DisplayOrvanePanels();
    ASSERT_EQ(uitest::RealType(parapanel, PARAP_MAX_UP, "70000"), 0);
    EXPECT_EQ(Int(parapanel, PARAP_MAX_UP), 60000);
    ASSERT_EQ(uitest::RealType(parapanel, PARAP_MAX_UP, "12345"), 0);
    EXPECT_EQ(Int(parapanel, PARAP_MAX_UP), 12345) << "every digit in range arrives";
    uitest::ExpectPopup("INFO!", InfoMaxVecTooHigh);  // 31 vectors outside the BINARY output mode
    ASSERT_EQ(uitest::RealType(parapanel, PARAP_MAX_NO, "99"), 0);
    EXPECT_EQ(Int(parapanel, PARAP_MAX_NO), 31);

    ASSERT_EQ(uitest::RealClick(mainpanel, MAINP_TEACH_TABLE), 0);
    ASSERT_EQ(uitest::RealEditCell(ttpanel, TTP_TABLE, {1, 2}, "70000"), 0);
    EXPECT_EQ(Cell(1, 2), 65535);
    ASSERT_EQ(uitest::RealEditCell(ttpanel, TTP_TABLE, {2, 2}, "-1"), 0);
    EXPECT_EQ(Cell(2, 2), 0);
    ASSERT_EQ(uitest::RealEditCell(ttpanel, TTP_TABLE, {3, 2}, "4095"), 0);
    EXPECT_EQ(Cell(3, 2), 4095);
}

TEST_F(UserPath, FunctionKeysAndRightClickHelpComeThroughTheWindowSystem) {
    StartConnected(Link::Tcp);
    emulator->ResetCounters();
    ASSERT_EQ(uitest::RealKey(mainpanel, VAL_F10_VKEY), 0);  // Get
    EXPECT_EQ(Orders().size(), 32u);
    EXPECT_EQ(Orders().front(), 3);
    emulator->ResetCounters();
    ASSERT_EQ(uitest::RealKey(mainpanel, VAL_F9_VKEY), 0);  // Send
    EXPECT_EQ(Orders().size(), 32u);
    EXPECT_EQ(Orders().front(), 1);
    emulator->ResetCounters();
    // F11 starts the live loop, F12 pressed while it runs ends it.
    uitest::RunDuringBusyWait([] { uitest::RealKey(mainpanel, VAL_F12_VKEY); }, 30);
    ASSERT_EQ(uitest::RealKey(mainpanel, VAL_F11_VKEY), 0);
    EXPECT_EQ(poll, 0);
    EXPECT_EQ(uitest::PendingBusyWaitActions(), 0);
    ASSERT_FALSE(Orders().empty());
    EXPECT_EQ(Orders().front(), 5);
    EXPECT_EQ(Status(), kScopeVersion) << "ended by F12, not by a failure";

    uitest::UseRealDialogs();
    uitest::PressInDialog("OK");
    ASSERT_EQ(uitest::RealClick(mainpanel, MAINP_STOP, uitest::kRightButton), 0);
    ExpectAllAnswered();
    ASSERT_EQ(uitest::DialogsSeen().size(), 1u);
    EXPECT_EQ(uitest::DialogsSeen()[0].title, "INFO!");
    EXPECT_EQ(uitest::DialogsSeen()[0].text, " Stops data transfer from sensor to PC.\n Shortcut Key: F12. ");
}

// --- no exchange inside a running one ---------------------------------------------------------------------

// Each way an exchange starts; while it runs, every control that starts one is dimmed and a click on
// Change-baud-rate, Try, Send, Get or Go does nothing.
struct WayIn {
    const char* name;
    std::function<void()> start;
};

class NoNesting : public UserPath, public testing::WithParamInterface<int> {
  protected:
    // While on, every pass of the event pump clears poll.
    static void EndLoopsUntilTheOperationEnds(bool on) {
        endLoops = on;
        if (on) PostDeferredCallToThread(EndLoops, nullptr);
    }
    static void EndLoops(void*) {
        if (!endLoops) return;
        poll = 0;
        PostDeferredCallToThread(EndLoops, nullptr);
    }
    static inline bool endLoops = false;
};

TEST_P(NoNesting, EveryControlThatStartsAnExchangeStaysDimmedUntilTheRunningOneEnds) {
    StartConnected(Link::Serial);
    ASSERT_EQ(Dimmed(interfacepanel, INTERFACEP_CHANGE_BAUDRATE), 0) << "usable after the start";
    const std::string recordFile = ProjectFile("nest.dat");
    auto record = [recordFile](int mode, int startButton) {
        uitest::ExpectFileSelect(VAL_NEW_FILE_SELECTED, recordFile);
        uitest::Click(recpanel, RECP_SELECT_FILE);
        uitest::SelectListItem(recpanel, RECP_MODE, mode);
        uitest::ExpectPopup("ATTENTION!", "Are you sure, that you have selected the right file name?", 1);
        uitest::ExpectPopup("ATTENTION!", std::string(" Make sure, that the file is not opened by any other "
                                                      "program.") +
                                              std::string(mode == 3 ? 42 : 36, ' ') +
                                              "\n Otherwise it can not be saved.");
        uitest::ExpectPopup("INFO!", "File has been saved!");
        uitest::Click(recpanel, startButton);
    };
    const WayIn ways[] = {
        {"Send", [] { uitest::Click(mainpanel, MAINP_SEND); }},
        {"Get", [] { uitest::Click(mainpanel, MAINP_GET); }},
        {"Go", [] { uitest::Click(mainpanel, MAINP_GO); }},
        {"Record", [&] { record(1, RECP_START); }},
        {"Triggered record", [&] { record(3, RECP_START_TRIGGERED); }},
        {"Try", [] { uitest::Click(interfacepanel, INTERFACEP_TRY); }},
        {"Change baud rate",
         [] {
             uitest::ExpectPopup("INFO!", "Success! \n\nConfirme new Baudrate \nwith EEPROM and SEND.");
             uitest::Click(interfacepanel, INTERFACEP_CHANGE_BAUDRATE);
         }},
    };
    const WayIn& way = ways[GetParam()];
    const bool connects = GetParam() >= 5;
    // The interface panel shown and Accept and Change-baud-rate usable, as after Connect and Try.
    uitest::Click(mainpanel, MAINP_CONNECT);
    uitest::Click(interfacepanel, INTERFACEP_TRY);
    ASSERT_EQ(Dimmed(interfacepanel, INTERFACEP_CHANGE_BAUDRATE), 0);

    const std::pair<int, int> starters[] = {
        {mainpanel, MAINP_SEND},
        {mainpanel, MAINP_GET},
        {mainpanel, MAINP_GO},
        {interfacepanel, INTERFACEP_TRY},
        {interfacepanel, INTERFACEP_ACCEPT},
        {interfacepanel, INTERFACEP_CHANGE_BAUDRATE},
        {recpanel, RECP_START},
        {recpanel, RECP_START_TRIGGERED},
    };
    // Well inside the operation the panels are looked at and the starters clicked: for the ways that connect
    // once the parameters are being read again, else after 20 frames (a transfer has 32) or, for the
    // triggered record whose frames the sensor sends unasked, 400 passes of the event pump.
    std::vector<int> undimmed;
    int looks = 0;
    std::function<void()> look = [&] {
        const bool early =
            connects ? emulator->FrameCount() < 30 : emulator->FrameCount() < 20 && ++looks < 400;
        if (early) {
            uitest::RunDuringBusyWait(look);
            return;
        }
        for (auto [panel, ctrl] : starters)
            if (!Dimmed(panel, ctrl)) undimmed.push_back(ctrl);
        emulator->ResetCounters();
        // A running loop ends (a transfer or an attempt runs to its end), and so does one that a click on
        // Go would start inside the running operation.
        EndLoopsUntilTheOperationEnds(true);
        for (int ctrl : {INTERFACEP_CHANGE_BAUDRATE, INTERFACEP_TRY}) uitest::RealClick(interfacepanel, ctrl);
        for (int ctrl : {MAINP_SEND, MAINP_GET, MAINP_GO}) uitest::RealClick(mainpanel, ctrl);
    };
    emulator->ResetCounters();
    uitest::RunDuringBusyWait(look);
    way.start();
    EndLoopsUntilTheOperationEnds(false);
    EXPECT_EQ(uitest::PendingBusyWaitActions(), 0) << way.name;
    EXPECT_TRUE(undimmed.empty()) << way.name << ": " << undimmed.size() << " starters usable, the first "
                                  << (undimmed.empty() ? 0 : undimmed[0]);
    for (int order : Orders())
        EXPECT_TRUE(order == 2 || order == 4 || order == 5 || order == 6 || order == 50)
            << way.name << ": order " << order;
    EXPECT_EQ(Dimmed(mainpanel, MAINP_SEND), 0) << way.name << ": usable again after the operation";
}

std::string WayName(const testing::TestParamInfo<int>& info) {
    static const char* const kNames[] = {"Send", "Get",           "Go", "Record", "TriggeredRecord",
                                         "Try",  "ChangeBaudrate"};
    return kNames[info.param];
}

INSTANTIATE_TEST_SUITE_P(Ways, NoNesting, testing::Range(0, 7), WayName);

TEST_F(UserPath, AParameterFilePathTooLongForTheProgramIsRefusedNotCut) {
    ASSERT_EQ(LoadOrvanePanels(), 0);
    DisplayOrvanePanels();
    std::snprintf(paraFileName, sizeof paraFileName, "%s", projectDir.c_str());
    uitest::Click(mainpanel, MAINP_SELECT_FILE);
    std::string path = projectDir.string();
    while (path.size() < sizeof paraFileName + 20) path += "/deeper_directory_name";
    path += "/Parameter.ini";
    const std::string cut = path.substr(0, sizeof paraFileName - 1);
    const std::string text = "The path\n" + path + "\nis longer than " +
                             std::to_string(sizeof paraFileName - 1) +
                             " characters and cannot be used for a parameter file.\nNothing was ";
    uitest::ExpectFileSelect(VAL_NEW_FILE_SELECTED, path);
    uitest::ExpectPopup("Parameter", text + "saved.");
    uitest::Click(mainpanel, MAINP_SEND);
    uitest::ExpectFileSelect(VAL_EXISTING_FILE_SELECTED, path);
    uitest::ExpectPopup("Parameter", text + "loaded.");
    uitest::Click(mainpanel, MAINP_GET);
    EXPECT_EQ(std::string(paraFileName), projectDir.string()) << "the dialog starts where it did";
    EXPECT_FALSE(fs::exists(cut)) << "nothing was written under the cut name";
}

}  // namespace
