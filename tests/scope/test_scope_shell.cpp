// The scope's frame: start-up with and without a sensor, the child-panel switch, the dimming of operations,
// the shortcut keys, the hold after Send, the interface panel's scope controls and the end of a run.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "child_process.h"
#include "live_data.h"
#include "recorder.h"
#include "scope_link.h"
#include "scope_session.h"

namespace fs = std::filesystem;

namespace {

class Shell : public ScopeSession {};

int ButtonColor(int ctrl) {
    return ScopeSession::Attribute(mainpanel, ctrl, ATTR_CMD_BUTTON_COLOR);
}

// Which of the four child panels is shown, by child-panel number (0: none).
int ShownChild() {
    const std::pair<int, int*> children[] = {
        {1, &interfacepanel}, {2, &parapanel}, {3, &ttpanel}, {5, &recpanel}};
    int shown = 0;
    for (auto [number, panel] : children)
        if (uitest::IsPanelShown(*panel)) shown = shown ? -1 : number;
    return shown;
}

TEST_F(Shell, StartWithoutSensorEndsOnTheInterfacePanelWithPanelDefaults) {
    // Nothing listens on the port of the settings file.
    WriteTextFile(ProjectFile("ComSettings.cfg"), "1\n1\n1\n127.0.0.1\n1\n");
    ASSERT_EQ(LoadOrvanePanels(), 0);
    int power = -1;
    GetCtrlVal(parapanel, PARAP_POWER, power);
    const unsigned short cell = Cell(3, 7);
    DisplayOrvanePanels();
    InitAll();

    EXPECT_EQ(Status(), "TIMEOUT");
    EXPECT_EQ(InterfaceStatus(), "TIMEOUT");
    EXPECT_EQ(ShownChild(), 1);
    EXPECT_EQ(ButtonColor(MAINP_CONNECT), kButtonMarkedColor);
    EXPECT_EQ(ButtonColor(MAINP_PARAMETERS), kButtonNormalColor);
    EXPECT_EQ(Dimmed(interfacepanel, INTERFACEP_ACCEPT), 1);
    EXPECT_EQ(Dimmed(interfacepanel, INTERFACEP_CHANGE_BAUDRATE), 1);
    EXPECT_EQ(Dimmed(mainpanel, MAINP_SEND), 0) << "operations are usable again after the attempt";
    EXPECT_EQ(paraPower, power) << "the variables hold the panel's defaults";
    EXPECT_EQ(paraTeachVec[6][2], cell);
    EXPECT_EQ(target, RAM);
    EXPECT_EQ(Int(mainpanel, MAINP_SELECT_RAM), 1);
    std::string shown;
    GetCtrlVal(recpanel, RECP_FILE, shown);
    EXPECT_EQ(shown, (projectDir / "RecordFile.dat").string());
}

// Once the server closed the connection, Go and Get fail at once with the reason beside "TIMEOUT", instead
// of waiting out a reply that cannot come; the Via display names the server with its port.
TEST_F(Shell, AfterTheServerClosedGoAndGetSayAtOnceThatTheLinkMustBeTriedAgain) {
    StartConnected(Link::Tcp);
    EXPECT_EQ(Status(datapanel, DATAP_SERVER), "127.0.0.1:" + std::to_string(emulator->TcpPort()));
    uitest::ExpectPopup("TCP Client", "Server has closed connection!");
    emulator->CloseTcpClient();
    ASSERT_TRUE(uitest::PumpUntil([] { return tcpcon == 0; }, 3.0));
    for (int button : {MAINP_GO, MAINP_GET}) {
        ShowChildPanel(kChildParameters);
        const double start = Timer();
        uitest::Click(mainpanel, button);
        EXPECT_LT(Timer() - start, 1.0) << "no reply time-out was waited for";
        EXPECT_EQ(Status(), "TIMEOUT");
        EXPECT_EQ(Status(interfacepanel, INTERFACEP_CAUSE),
                  "the server closed the connection: press Try to reconnect");
        EXPECT_EQ(ShownChild(), 1);
        EXPECT_EQ(poll, 0);
    }
}

// A serial line whose other end went away (an unplugged adapter) fails the next exchange at once, and the
// interface panel says so.
TEST_F(Shell, ASerialDeviceThatWentAwayIsSaidAtOnce) {
    StartConnected(Link::Serial);
    const std::string device = emulator->PtyPath();
    emulator->Stop();
    ShowChildPanel(kChildParameters);
    const double start = Timer();
    uitest::Click(mainpanel, MAINP_GET);
    EXPECT_LT(Timer() - start, 1.0) << "no reply time-out was waited for";
    EXPECT_EQ(Status(), "TIMEOUT");
    EXPECT_EQ(Status(interfacepanel, INTERFACEP_CAUSE), "the serial device " + device + " was unplugged");
    EXPECT_EQ(ShownChild(), 1);
}

// An adapter pulled out while Go runs: the loop ends within a second with the cause; plugged back (the
// sensor's line again behind the same COM link), Try reaches it without a restart.
TEST_F(Shell, AnAdapterPulledOutDuringGoEndsItAndTryReachesItWhenItIsBack) {
    StartConnected(Link::Serial);
    const std::string device = emulator->PtyPath();
    double pulledAt = 0;
    uitest::RunDuringBusyWait(
        [&] {
            emulator->Stop();  // its link COM5 goes with it
            pulledAt = Timer();
        },
        20);
    uitest::Click(mainpanel, MAINP_GO);
    ASSERT_GT(pulledAt, 0);
    EXPECT_LT(Timer() - pulledAt, 1.0);
    EXPECT_EQ(poll, 0);
    EXPECT_EQ(Status(), "TIMEOUT");
    EXPECT_EQ(Status(interfacepanel, INTERFACEP_CAUSE), "the serial device " + device + " was unplugged");

    StartEmulator(Link::Serial);
    uitest::Click(interfacepanel, INTERFACEP_TRY);
    // The failure gives way to what the reconnection did: the parameter set read after the version.
    const std::string cause = Status(interfacepanel, INTERFACEP_CAUSE);
    EXPECT_TRUE(cause.ends_with("  parameter set read from RAM")) << cause;
    EXPECT_EQ(Status(), std::string(kScopeVersion).substr(0, 36));
}

TEST_F(Shell, StartUpDrawsTheLogoOfBrandFive) {
    WriteTextFile(ProjectFile("ComSettings.cfg"), "1\n1\n1\n127.0.0.1\n1\n");  // no sensor
    ASSERT_EQ(LoadOrvanePanels(), 0);
    DisplayOrvanePanels();
    InitAll();
    // The title and the three contact lines are the controls made after the panel's own ones, white on the
    // box's orange, with the bitmap beside them.
    std::vector<std::string> texts;
    {
        uitest::AllowPlatformErrors end("GetCtrlVal", UIEInvalidControl);  // past the last text
        std::string text;
        for (int id = MAINP_LOGO_PICTURE + 1; GetCtrlVal(mainpanel, id, text) == 0; ++id) {
            texts.push_back(text);
            EXPECT_EQ(Attribute(mainpanel, id, ATTR_TEXT_COLOR), 0xFFFFFF) << text;
            EXPECT_EQ(Attribute(mainpanel, id, ATTR_TEXT_BGCOLOR), VAL_TRANSPARENT) << text;
        }
    }
    ASSERT_EQ(texts.size(), 4u);
    EXPECT_EQ(texts[0], "ORVANE-Scope V3.3");
    EXPECT_EQ(texts[1], "Colour Sensor Service");
    EXPECT_EQ(Attribute(mainpanel, MAINP_LOGO_BOX, ATTR_FRAME_COLOR), 0x0080FF);
    EXPECT_EQ(Attribute(mainpanel, MAINP_LOGO_PICTURE, ATTR_TOP), 6);
    EXPECT_EQ(Attribute(mainpanel, MAINP_LOGO_PICTURE, ATTR_LEFT), 325);
}

// What a person saw and did while the start-up attempt looked the server's name up.
struct DuringStartUp {
    bool ran = false;
    bool connected = false;
    int sendDimmed = -1, tryDimmed = -1;
    int sendPressed = 0;
};
DuringStartUp g_duringStartUp;

TEST_F(Shell, StartUpAttemptKeepsTheWindowAliveWithTheOperationsDimmed) {
    StartEmulator(Link::Tcp);
    WriteTextFile(ProjectFile("ComSettings.cfg"),
                  "1\n1\n1\nlocalhost\n" + std::to_string(emulator->TcpPort()) + "\n");
    uitest::SetNameLookupDelay(400);  // a slow name server
    g_duringStartUp = {};
    uitest::ExpectPopup("INFO!", InfoButtonStop);
    PostDeferredCallToThread(
        [](void*) {
            g_duringStartUp.ran = true;
            g_duringStartUp.connected = tcpcon != 0;
            g_duringStartUp.sendDimmed = Dimmed(mainpanel, MAINP_SEND);
            g_duringStartUp.tryDimmed = Dimmed(interfacepanel, INTERFACEP_TRY);
            g_duringStartUp.sendPressed = uitest::Click(mainpanel, MAINP_SEND);
            uitest::RightClick(mainpanel, MAINP_STOP);  // a live control answers with its help text
        },
        nullptr);
    StartProgram();
    EXPECT_TRUE(g_duringStartUp.ran);
    EXPECT_FALSE(g_duringStartUp.connected) << "the call ran while the name was looked up";
    EXPECT_EQ(g_duringStartUp.sendDimmed, 1);
    EXPECT_EQ(g_duringStartUp.tryDimmed, 1);
    EXPECT_EQ(g_duringStartUp.sendPressed, UIEInvalidControl);
    EXPECT_EQ(Status(), kScopeVersion);
    EXPECT_EQ(Dimmed(mainpanel, MAINP_SEND), 0);
}

TEST_F(Shell, StartReadsTheSensorAndShowsTheParameterPanel) {
    StartEmulator(Link::Tcp);
    SetRamWord(kWordPower, 432);
    WriteSettingsFor(Link::Tcp);
    StartProgram();
    EXPECT_EQ(Status(), kScopeVersion);
    EXPECT_EQ(InterfaceStatus(), kScopeVersion);
    EXPECT_EQ(ShownChild(), 2);
    EXPECT_EQ(ButtonColor(MAINP_PARAMETERS), kButtonMarkedColor);
    EXPECT_EQ(Int(parapanel, PARAP_POWER), 432);
    EXPECT_EQ(Dimmed(interfacepanel, INTERFACEP_ACCEPT), 0);
    EXPECT_EQ(Dimmed(interfacepanel, INTERFACEP_CHANGE_BAUDRATE), 0);
    // Automatic sending is stopped before the version query, then the whole set is read from RAM.
    const std::vector<int> orders = Orders();
    ASSERT_EQ(orders.size(), 34u);
    EXPECT_EQ(orders[0], 50);
    EXPECT_EQ(orders[1], 7);
    EXPECT_EQ(orders[2], 3);
    EXPECT_EQ(orders[33], 4);
}

TEST_F(Shell, ChildPanelSwitchShowsOneAndMarksItsButton) {
    ASSERT_EQ(LoadOrvanePanels(), 0);
    SetScopeProfiles();
    DisplayOrvanePanels();
    uitest::Click(mainpanel, MAINP_TEACH_TABLE);
    EXPECT_EQ(ShownChild(), 3);
    EXPECT_EQ(ButtonColor(MAINP_TEACH_TABLE), kButtonMarkedColor);
    EXPECT_EQ(ButtonColor(MAINP_PARAMETERS), kButtonNormalColor);
    uitest::Click(mainpanel, MAINP_RECORDER);
    EXPECT_EQ(ShownChild(), 5);
    uitest::Click(mainpanel, MAINP_CONNECT);
    EXPECT_EQ(ShownChild(), 1);
    EXPECT_EQ(Dimmed(interfacepanel, INTERFACEP_ACCEPT), 1) << "opening the panel asks for a new attempt";
    ShowChildPanel(4);
    EXPECT_EQ(ShownChild(), 0);
    for (int ctrl : {MAINP_CONNECT, MAINP_PARAMETERS, MAINP_TEACH_TABLE, MAINP_RECORDER})
        EXPECT_EQ(ButtonColor(ctrl), kButtonNormalColor);
    EXPECT_TRUE(uitest::IsPanelShown(datapanel)) << "the data panel is not a child of the switch";
}

TEST_F(Shell, DimmingCoversTheOperationsButNeverStopOrTheChildButtons) {
    ASSERT_EQ(LoadOrvanePanels(), 0);
    SetButtonsDimmed(1);
    const std::pair<int, int> dimmed[] = {{mainpanel, MAINP_SEND},
                                          {mainpanel, MAINP_GET},
                                          {mainpanel, MAINP_GO},
                                          {mainpanel, MAINP_SELECT_RAM},
                                          {mainpanel, MAINP_SELECT_EEPROM},
                                          {mainpanel, MAINP_SELECT_FILE},
                                          {interfacepanel, INTERFACEP_TRY},
                                          {interfacepanel, INTERFACEP_BAUDRATE},
                                          {recpanel, RECP_SELECT_FILE},
                                          {recpanel, RECP_MODE},
                                          {recpanel, RECP_START},
                                          {recpanel, RECP_START_TRIGGERED}};
    for (auto [panel, ctrl] : dimmed) EXPECT_EQ(Dimmed(panel, ctrl), 1) << panel << "/" << ctrl;
    for (int ctrl : {MAINP_STOP, MAINP_CONNECT, MAINP_PARAMETERS, MAINP_TEACH_TABLE, MAINP_RECORDER})
        EXPECT_EQ(Dimmed(mainpanel, ctrl), 0) << ctrl;
    EXPECT_EQ(Dimmed(recpanel, RECP_MANUAL), 0);
    EXPECT_EQ(Dimmed(recpanel, RECP_STOP), 0);
    SetButtonsDimmed(0);
    for (auto [panel, ctrl] : dimmed) EXPECT_EQ(Dimmed(panel, ctrl), 0) << panel << "/" << ctrl;
}

TEST_F(Shell, SendHoldsTheButtonsDimmedForHalfASecondEvenWhenNothingIsSent) {
    ASSERT_EQ(LoadOrvanePanels(), 0);
    DisplayOrvanePanels();
    target = DATFILE;
    uitest::ExpectFileSelect(VAL_NO_FILE_SELECTED);
    const double start = Timer();
    int dimmedLate = -1;
    // Looks at the Send button late in the hold, from inside its wait.
    std::function<void()> look = [&] {
        if (Timer() - start < 0.45)
            uitest::RunDuringBusyWait(look);
        else
            dimmedLate = Dimmed(mainpanel, MAINP_SEND);
    };
    uitest::RunDuringBusyWait(look);
    uitest::Click(mainpanel, MAINP_SEND);
    EXPECT_GE(Timer() - start, 0.5);
    EXPECT_EQ(dimmedLate, 1);
    EXPECT_EQ(Dimmed(mainpanel, MAINP_SEND), 0);
}

TEST_F(Shell, FunctionKeysWorkAnywhereInTheWindowUnlessTheirButtonIsDimmed) {
    StartConnected(Link::Tcp);
    emulator->ResetCounters();
    uitest::PressKey(parapanel, PARAP_MAX_NO, VAL_F10_VKEY);  // Get
    EXPECT_EQ(Orders().size(), 32u);
    emulator->ResetCounters();
    SetCtrlAttribute(mainpanel, MAINP_SEND, ATTR_DIMMED, 1);
    uitest::PressKey(mainpanel, MAINP_STOP, VAL_F9_VKEY);  // Send, dimmed
    EXPECT_TRUE(Orders().empty());
    SetCtrlAttribute(mainpanel, MAINP_SEND, ATTR_DIMMED, 0);
    uitest::PressKey(mainpanel, MAINP_STOP, VAL_F9_VKEY);
    EXPECT_EQ(Orders().size(), 32u);
    // F11 starts the live loop, F12 (pressed while it waits) ends it.
    uitest::RunDuringBusyWait([] { uitest::PressKey(parapanel, PARAP_MAX_NO, VAL_F12_VKEY); }, 20);
    uitest::PressKey(mainpanel, MAINP_STOP, VAL_F11_VKEY);
    EXPECT_EQ(poll, 0);
    EXPECT_EQ(uitest::PendingBusyWaitActions(), 0);
    EXPECT_EQ(Dimmed(mainpanel, MAINP_GO), 0);
}

TEST_F(Shell, HelpTextsAndTheirTitles) {
    ASSERT_EQ(LoadOrvanePanels(), 0);
    uitest::ExpectPopup("INFO!", " Stops data transfer from sensor to PC.\n Shortcut Key: F12. ");
    uitest::RightClick(mainpanel, MAINP_STOP);
    uitest::ExpectPopup("INFO!", " Select the source respectively the target for the parameter transfer.");
    uitest::RightClick(mainpanel, MAINP_SELECT_FILE);
    uitest::ExpectPopup("Info",
                        " Displays the calculated symmetry 2. \n Formula for calculation: See Manual.");
    uitest::RightClick(datapanel, DATAP_SYM2);
    uitest::ExpectPopup("INFO!",
                        "Save selected Baudrate to sensor. \n\nConfirm new baudrate with EEPROM and SEND.");
    uitest::RightClick(interfacepanel, INTERFACEP_CHANGE_BAUDRATE);
    uitest::ExpectPopup("INFO!", "See Manual!");
    uitest::RightClick(parapanel, PARAP_EXTERN_TEACH);
    EXPECT_EQ(uitest::Popups().size(), 5u);
}

TEST_F(Shell, SensorIdGoesToTheBigVectorPanelAndTheRecorder) {
    ASSERT_EQ(LoadOrvanePanels(), 0);
    SetScopeProfiles();
    const std::string id(120, 'x');
    uitest::SetAndCommit(interfacepanel, INTERFACEP_ID, std::string_view(id));
    std::string big, rec;
    GetCtrlVal(colbigpanel, COLBIGP_SENSOR_ID, big);
    GetCtrlVal(recpanel, RECP_SENSOR_ID, rec);
    EXPECT_EQ(big, std::string(99, 'x'));
    EXPECT_EQ(rec, big);
}

TEST_F(Shell, BigVectorPanelOpensOnDoubleClickAndHidesOnRightClick) {
    ASSERT_EQ(LoadOrvanePanels(), 0);
    DisplayOrvanePanels();
    uitest::DoubleClick(datapanel, DATAP_VEC);
    EXPECT_TRUE(uitest::IsPanelShown(colbigpanel));
    uitest::ClosePanel(colbigpanel);
    EXPECT_FALSE(uitest::IsPanelShown(colbigpanel));
}

TEST_F(Shell, ClosingTheMainPanelEndsTheRunAndItsTcpConversation) {
    StartConnected(Link::Tcp);
    ASSERT_EQ(tcpcon, 1);
    PostDeferredCallToThread([](void*) { uitest::ClosePanel(mainpanel); }, nullptr);
    EXPECT_EQ(RunUserInterface(), 0);
    EndOrvane();
    EXPECT_EQ(tcpcon, 0);
    EXPECT_EQ(mainpanel, 0);
    EXPECT_TRUE(uitest::PumpUntil([&] { return !emulator->TcpClientConnected(); }, 2.0));
}

TEST_F(Shell, SigtermDuringARecordEndsItAfterItsLineAndThenTheRun) {
    StartConnected(Link::Tcp);
    ASSERT_EQ(InstallTerminationHandler(EndRunOnSignal), 0);
    uitest::Click(mainpanel, MAINP_RECORDER);
    uitest::SetAndCommit(recpanel, RECP_MODE, 0);
    uitest::SetAndCommit(recpanel, RECP_INTERVAL, 1);
    uitest::SetAndCommit(recpanel, RECP_COUNT, 100);
    uitest::ExpectPopup("ATTENTION!", "Are you sure, that you have selected the right file name?", 1);
    uitest::ExpectPopup("ATTENTION!", " Make sure, that the file is not opened by any other program." +
                                          std::string(36, ' ') + "\n Otherwise it can not be saved.");
    // The signal comes while the first measurement frame is on its way.
    emulator->ResetCounters();
    std::function<void()> signalOnFirstFrame = [&] {
        if (emulator->Received().empty())
            uitest::RunDuringBusyWait(signalOnFirstFrame);
        else
            ::raise(SIGTERM);
    };
    uitest::RunDuringBusyWait(signalOnFirstFrame);
    testing::internal::CaptureStderr();
    uitest::Click(recpanel, RECP_START);
    const std::string errors = testing::internal::GetCapturedStderr();

    EXPECT_EQ(TerminationSignal(), SIGTERM);
    EXPECT_EQ(poll, 0);
    const std::string record = ReadTextFile(ProjectFile("RecordFile.dat"));
    EXPECT_EQ(std::count(record.begin(), record.end(), '\n'), 1) << "the frame on its way, one whole line";
    EXPECT_EQ(record.back(), '\n');
    EXPECT_EQ(Orders(), std::vector<int>{5}) << "no frame after it";
    // Nobody is there to answer the pop-up at the record's end: its text goes to the error stream.
    EXPECT_EQ(uitest::Popups().size(), 2u);
    EXPECT_NE(errors.find("INFO!: File has been saved!"), std::string::npos) << errors;
    // The run ends as when the main panel is closed.
    EXPECT_EQ(RunUserInterface(), 0);
}

// The lock file that the serial port keeps for `device` while it is open, where the system has one.
fs::path SerialLockFile(const fs::path& device) {
    std::string name = device.string().substr(std::string("/dev/").size());
    std::replace(name.begin(), name.end(), '/', '_');
    for (const char* dir : {"/var/lock", "/run/lock", "/tmp"})
        if (fs::exists(fs::path(dir) / ("LCK.." + name))) return fs::path(dir) / ("LCK.." + name);
    return {};
}

TEST_F(Shell, SigtermEndsTheProgramWhoseEndClosesTheSerialPort) {
    StartEmulator(Link::Serial);
    WriteSettingsFor(Link::Serial);
    fs::copy_file(PROGRAM_PATH, projectDir / "program");
    fs::create_directory_symlink(GetPanelDirectory(), projectDir / "panels");
    const fs::path device = fs::canonical(ProjectFile("COM5"));
    ChildProcess program({(projectDir / "program").string()}, {"QT_QPA_PLATFORM=offscreen"});
    ASSERT_TRUE(uitest::PumpUntil([&] { return Orders().size() >= 34; }, 15.0)) << "start-up read the sensor";
    const fs::path lock = SerialLockFile(device);
    if (lock.empty()) GTEST_SKIP() << "no lock file for " << device << " on this system";
    const ChildProcess::End end = program.StopWith(SIGTERM, 10.0);
    ASSERT_TRUE(end.ended);
    EXPECT_TRUE(end.exited) << "killed by signal " << end.signal;
    EXPECT_EQ(end.code, 0);
    EXPECT_FALSE(fs::exists(lock)) << "the port was closed, its lock file removed";
}

TEST_F(Shell, ProgramEndsWithMinusOneWhenAPanelFileIsMissing) {
    uitest::AllowPlatformErrors refused("LoadPanel", UIEPanelFileMissing);
    fs::path dir = projectDir / "panels";
    fs::copy(GetPanelDirectory(), dir, fs::copy_options::recursive);
    fs::remove(dir / "orvane_big_vector.ui");
    const std::string saved = GetPanelDirectory();
    SetPanelDirectory(dir.string());
    EXPECT_EQ(LoadOrvanePanels(), -1);
    EXPECT_EQ(mainpanel, 0) << "nothing stays loaded";
    SetPanelDirectory(saved);
    // The program itself, next to that panel directory.
    fs::copy_file(PROGRAM_PATH, projectDir / "program");
    const std::string cmd = "QT_QPA_PLATFORM=offscreen " + (projectDir / "program").string() + " 2>/dev/null";
    const int status = std::system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 255);
}

}  // namespace
