// Connecting at start and from the interface panel, against the sensor emulator over TCP and over a
// pseudo-terminal: identification, time-outs, settings and server history.
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <vector>

#include "child_process.h"
#include "combobox.h"
#include "frame_log.h"
#include "morvalen_session.h"
#include "settings_files.h"

namespace fs = std::filesystem;

namespace {

class Connect : public MorvalenSession, public testing::WithParamInterface<Link> {};

int VisiblePage() {
    for (int p = 1; p <= kBuild.pageCount; ++p)
        if (uitest::IsPanelShown(DataPanel(p))) return p;
    return 0;
}

TEST_P(Connect, StartIdentifiesTheModelAndShowsItsPage) {
    std::fill(std::begin(szWriteBuf), std::end(szWriteBuf), 0);  // as in a fresh run
    StartConnected(GetParam(), "LUMAVEX3 V3.04 ref 17");
    EXPECT_EQ(selSensor, 300);
    EXPECT_EQ(VisiblePage(), 2);
    EXPECT_EQ(InterfaceStatus(), "LUMAVEX3 V3.04 ref 17");
    EXPECT_EQ(Dimmed(interfacepanel, INTERFACEP_ACCEPT), 0) << "a good version query undims Accept";
    EXPECT_FALSE(uitest::IsPanelShown(interfacepanel));
    EXPECT_EQ(comecho, 0) << "no echo exchange ran yet";
    uitest::ExpectPopup("INFO!", " Accept settings and return to main panel.");
    uitest::RightClick(interfacepanel, INTERFACEP_ACCEPT);
    // The request was the bare version query: sync word 0x0055, order 7 and, in a fresh run, 32 zero bytes.
    auto frames = emulator->Received();
    ASSERT_EQ(frames.size(), 1u);
    const std::vector<int> query = {0x00, 0x55, 0x00, 0x07, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                    0,    0,    0,    0,    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::vector<int>(frames[0].begin(), frames[0].end()), query);
}

TEST_P(Connect, SilentSensorEndsInTimeoutAndTheInterfacePanel) {
    StartEmulator(GetParam());
    emulator->SetFaults({.silent = true});
    WriteSettingsFor(GetParam());
    StartProgram();
    EXPECT_EQ(Status(), "TIMEOUT");
    EXPECT_EQ(InterfaceStatus(), "TIMEOUT");
    EXPECT_EQ(Status(interfacepanel, INTERFACEP_CAUSE),
              GetParam() == Link::Tcp ? "no answer within 5 s" : "no answer within 3 s");
    EXPECT_TRUE(uitest::IsPanelShown(interfacepanel));
    EXPECT_EQ(VisiblePage(), 0);
    EXPECT_EQ(selSensor, 0);
    EXPECT_EQ(Dimmed(interfacepanel, INTERFACEP_ACCEPT), 1);
}

TEST_P(Connect, ShortAndOverlongVersionRepliesFail) {
    StartEmulator(GetParam());
    emulator->SetFaults({.shortReply = true});
    WriteSettingsFor(GetParam());
    StartProgram();
    EXPECT_EQ(Status(), "TIMEOUT") << "35 bytes";
    if (GetParam() == Link::Serial) {
        emulator->SetFaults({.longReply = true});
        uitest::Click(interfacepanel, INTERFACEP_TRY);
        EXPECT_EQ(Status(), "TIMEOUT") << "37 serial bytes";
    }
    emulator->SetFaults({});
    uitest::Click(interfacepanel, INTERFACEP_TRY);
    EXPECT_EQ(selSensor, 100);
}

TEST_P(Connect, VersionReplyArrivingOneByteAtATimeIsAssembled) {
    StartEmulator(GetParam(), "KTM-PQ V4.2");
    emulator->SetFaults({.splitParts = 36, .splitPauseMs = 5});
    WriteSettingsFor(GetParam());
    StartProgram();
    EXPECT_EQ(Status(), "KTM-PQ V4.2");
    EXPECT_EQ(VisiblePage(), 4);
}

TEST_P(Connect, TryFromTheInterfacePanelReconnects) {
    StartConnected(GetParam(), "MV-TARN3 V6.1");
    emulator->SetFaults({.silent = true});
    uitest::Click(mainpanel, MAINP_CONNECT);
    EXPECT_TRUE(uitest::IsPanelShown(interfacepanel));
    EXPECT_EQ(Dimmed(interfacepanel, INTERFACEP_ACCEPT), 1) << "opening the panel dims Accept";
    uitest::Click(interfacepanel, INTERFACEP_TRY);
    EXPECT_EQ(Status(), "TIMEOUT");
    EXPECT_EQ(Dimmed(interfacepanel, INTERFACEP_ACCEPT), 1);
    EXPECT_EQ(Dimmed(interfacepanel, INTERFACEP_TRY), 0) << "Try is usable again after the attempt";
    emulator->SetFaults({});
    uitest::Click(interfacepanel, INTERFACEP_TRY);
    EXPECT_EQ(Status(), "MV-TARN3 V6.1");
    EXPECT_EQ(Dimmed(interfacepanel, INTERFACEP_ACCEPT), 0);
}

TEST_P(Connect, StrayBytesBeforeAnExchangeDoNotSpoilTheReply) {
    StartConnected(GetParam(), "MV-TARN3 V6.1");
    if (GetParam() == Link::Tcp) {
        // Each reply carries one byte too many: it arrives when the reply is complete and nobody waits, and
        // the data-ready handler drops it.
        ASSERT_TRUE(OpenFrameLog(ProjectFile("frames.log")));
        emulator->SetFaults({.longReply = true});
        uitest::Click(interfacepanel, INTERFACEP_TRY);
        EXPECT_EQ(Status(), "MV-TARN3 V6.1");
        EXPECT_TRUE(uitest::PumpUntil(
            [this] {
                return ReadTextFile(ProjectFile("frames.log")).find("stray, dropped") != std::string::npos;
            },
            5.0))
            << "the byte too many came and was dropped";
        CloseFrameLog();
    } else {
        // The reply comes after the 3 s the version query waits on the serial line; it stays in the input
        // queue.
        emulator->SetFaults({.replyDelayMs = 3300});
        uitest::Click(interfacepanel, INTERFACEP_TRY);
        EXPECT_EQ(Status(), "TIMEOUT");
        EXPECT_TRUE(uitest::PumpUntil([] { return GetInQLen(comport) == 36; }, 2.0)) << "the late reply came";
    }
    // The next exchange on the same link gets exactly its own replies.
    emulator->SetFaults({});
    uitest::Click(DataPanel(1), DATAP_SEND_CF);
    std::string result;
    GetCtrlVal(DataPanel(1), DATAP_STATUS, result);
    EXPECT_EQ(result, "SUCCESS");
}

INSTANTIATE_TEST_SUITE_P(Links, Connect, testing::Values(Link::Tcp, Link::Serial), LinkName);

TEST_F(MorvalenSession, ClosingTheMainPanelDisconnectsAnOpenConversation) {
    StartConnected(Link::Tcp);
    ASSERT_TRUE(emulator->TcpClientConnected());
    PostDeferredCallToThread([](void*) { uitest::ClosePanel(mainpanel); }, nullptr);
    EXPECT_EQ(RunUserInterface(), 0);
    EndMorvalen();
    EXPECT_EQ(tcpcon, 0);
    const double start = Timer();
    while (emulator->TcpClientConnected() && Timer() - start < 2.0) Sleep(5);
    EXPECT_FALSE(emulator->TcpClientConnected()) << "the sensor side saw the conversation end";
    EXPECT_TRUE(uitest::Popups().empty()) << "our own disconnect raises no pop-up";
}

// The program itself, connected to the emulator, ended by a signal as a desktop session or Ctrl-C ends it.
TEST_F(MorvalenSession, SigtermAndSigintEndTheRunThroughItsEndPath) {
    StartEmulator(Link::Tcp);
    WriteSettingsFor(Link::Tcp);
    fs::copy_file(PROGRAM_PATH, projectDir / "program");
    fs::create_directory_symlink(GetPanelDirectory(), projectDir / "panels");
    for (int signal : {SIGTERM, SIGINT}) {
        emulator->ResetCounters();
        const std::string log = ProjectFile("frames-" + std::to_string(signal) + ".log");
        ChildProcess program({(projectDir / "program").string()},
                             {"QT_QPA_PLATFORM=offscreen", "COLOUR_SENSOR_FRAME_LOG=" + log});
        ASSERT_TRUE(uitest::PumpUntil(
            [&] { return ReadTextFile(log).find(" version\n") != std::string::npos; }, 10.0))
            << "the program took the version reply in";
        ASSERT_TRUE(emulator->TcpClientConnected());
        const ChildProcess::End end = program.StopWith(signal, 10.0);
        ASSERT_TRUE(end.ended) << "signal " << signal;
        EXPECT_TRUE(end.exited) << "killed by signal " << end.signal;
        EXPECT_EQ(end.code, 0);
        EXPECT_TRUE(uitest::PumpUntil([&] { return !emulator->TcpClientConnected(); }, 2.0));
    }
}

// What a person saw and did while the start-up attempt looked the server's name up.
struct DuringStartUp {
    bool ran = false;
    bool connected = false;
    int tryDimmed = -1;
    int tryPressed = 0;
};
DuringStartUp g_duringStartUp;

TEST_F(MorvalenSession, StartUpAttemptKeepsTheWindowAliveAndAnotherAttemptOut) {
    StartEmulator(Link::Tcp);
    WriteTextFile(ProjectFile("ComSettings.cfg"),
                  "1\n1\n1\nlocalhost\n" + std::to_string(emulator->TcpPort()) + "\n");
    uitest::SetNameLookupDelay(400);  // a slow name server
    g_duringStartUp = {};
    PostDeferredCallToThread(
        [](void*) {
            g_duringStartUp.ran = true;
            g_duringStartUp.connected = tcpcon != 0;
            GetCtrlAttribute(interfacepanel, INTERFACEP_TRY, ATTR_DIMMED, g_duringStartUp.tryDimmed);
            // The person opens the interface panel (a live control answers) and presses Try.
            uitest::Click(mainpanel, MAINP_CONNECT);
            g_duringStartUp.tryPressed = uitest::Click(interfacepanel, INTERFACEP_TRY);
        },
        nullptr);
    StartProgram();
    EXPECT_TRUE(g_duringStartUp.ran);
    EXPECT_FALSE(g_duringStartUp.connected) << "the call ran while the name was looked up";
    EXPECT_EQ(g_duringStartUp.tryDimmed, 1);
    EXPECT_EQ(g_duringStartUp.tryPressed, UIEInvalidControl) << "a dimmed Try takes no press";
    EXPECT_TRUE(uitest::IsPanelShown(interfacepanel));
    EXPECT_EQ(Status(), "MV-TARN3 V6.12 2024-03-11");
    EXPECT_EQ(emulator->Received().size(), 1u) << "one attempt, one version query";
    EXPECT_EQ(Dimmed(interfacepanel, INTERFACEP_TRY), 0) << "Try is usable after the attempt";
}

// --- interface panel --------------------------------------------------------------------------------------

class InterfacePanel : public MorvalenSession {};

TEST_F(InterfacePanel, StoredTcpSettingsAreRestoredAndUsed) {
    StartEmulator(Link::Tcp, "ORVANE V3.3");
    WriteTextFile(ProjectFile("ComSettings.cfg"),
                  "1\n3\n4\n127.0.0.1\n" + std::to_string(emulator->TcpPort()) + "\n");
    StartProgram();
    int protocol = -1, port = -1, baud = -1;
    std::string server, portText;
    GetCtrlVal(interfacepanel, INTERFACEP_PROTOCOL, protocol);
    GetCtrlVal(interfacepanel, INTERFACEP_COMPORT, port);
    GetCtrlVal(interfacepanel, INTERFACEP_BAUDRATE, baud);
    GetCtrlVal(interfacepanel, INTERFACEP_SERVER, server);
    GetCtrlVal(interfacepanel, INTERFACEP_PORTNUMBER, portText);
    EXPECT_EQ(protocol, 1);
    EXPECT_EQ(port, 3);
    EXPECT_EQ(baud, 4);
    EXPECT_EQ(server, "127.0.0.1");
    EXPECT_EQ(portText, std::to_string(emulator->TcpPort()));
    EXPECT_EQ(tcpcon, 1) << "the first attempt used TCP/IP";
    EXPECT_EQ(selSensor, 601);
    // The main panel shows the server, not the COM port.
    EXPECT_TRUE(uitest::IsShown(mainpanel, MAINP_SERVER));
    EXPECT_FALSE(uitest::IsShown(mainpanel, MAINP_COMPORT));
}

TEST_F(InterfacePanel, MissingSettingsMeanRs232Com1At19200) {
    fs::create_symlink(ProjectFile("no-device"), ProjectFile("COM1"));
    StartProgram();
    EXPECT_EQ(comprotocol, 0);
    EXPECT_EQ(comport, 1);
    EXPECT_EQ(baudrate, 1);
    EXPECT_EQ(Status(), "TIMEOUT");
}

TEST_F(InterfacePanel, ProtocolSwitchShowsItsFieldsAndDimsAccept) {
    StartConnected(Link::Tcp);
    uitest::Click(mainpanel, MAINP_CONNECT);
    uitest::SetAndCommit(interfacepanel, INTERFACEP_PROTOCOL, 0);
    EXPECT_TRUE(uitest::IsShown(interfacepanel, INTERFACEP_COMPORT));
    EXPECT_TRUE(uitest::IsShown(interfacepanel, INTERFACEP_BAUDRATE));
    EXPECT_FALSE(uitest::IsShown(interfacepanel, INTERFACEP_SERVER));
    EXPECT_FALSE(uitest::IsShown(interfacepanel, INTERFACEP_PORTNUMBER));
    int comboVisible = -1;
    Combo_GetComboAttribute(interfacepanel, INTERFACEP_SERVER, COMBO_ATTR_VISIBLE, comboVisible);
    EXPECT_EQ(comboVisible, 0);
    uitest::SetAndCommit(interfacepanel, INTERFACEP_PROTOCOL, 1);
    EXPECT_FALSE(uitest::IsShown(interfacepanel, INTERFACEP_COMPORT));
    EXPECT_TRUE(uitest::IsShown(interfacepanel, INTERFACEP_SERVER));
    EXPECT_TRUE(uitest::IsShown(interfacepanel, INTERFACEP_PORTNUMBER));
    EXPECT_EQ(Dimmed(interfacepanel, INTERFACEP_ACCEPT), 1);
    // Every setting dims Accept until the next good attempt.
    uitest::Click(interfacepanel, INTERFACEP_TRY);
    EXPECT_EQ(Dimmed(interfacepanel, INTERFACEP_ACCEPT), 0);
    uitest::SetAndCommit(interfacepanel, INTERFACEP_PORTNUMBER, std::to_string(emulator->TcpPort()));
    EXPECT_EQ(Dimmed(interfacepanel, INTERFACEP_ACCEPT), 1);
}

TEST_F(InterfacePanel, SwitchToSerialTryAcceptAndRestoreAtNextStart) {
    // The emulator serves both sides; start on TCP, switch to RS-232 COM5 and accept.
    sensor_emu::EmulatorOptions options;
    options.versionText = "QWD/HZD V3.1";
    options.pty = true;
    options.ptyLink = ProjectFile("COM5");
    emulator = std::make_unique<sensor_emu::SensorEmulator>(options);
    ASSERT_TRUE(emulator->Start());
    WriteSettingsFor(Link::Tcp);
    StartProgram();
    EXPECT_EQ(selSensor, 700);

    uitest::Click(mainpanel, MAINP_CONNECT);
    uitest::SetAndCommit(interfacepanel, INTERFACEP_PROTOCOL, 0);
    uitest::SetAndCommit(interfacepanel, INTERFACEP_COMPORT, 5);
    uitest::SetAndCommit(interfacepanel, INTERFACEP_BAUDRATE, 2);
    uitest::Click(interfacepanel, INTERFACEP_TRY);
    EXPECT_EQ(Status(), "QWD/HZD V3.1");
    sensor_emu::SensorEmulator::LineSettings line{};
    ASSERT_TRUE(emulator->PtyLineSettings(line));
    EXPECT_EQ(line.baudRate, 38400);
    uitest::Click(interfacepanel, INTERFACEP_ACCEPT);
    EXPECT_FALSE(uitest::IsPanelShown(interfacepanel));
    EXPECT_TRUE(uitest::IsShown(mainpanel, MAINP_COMPORT));
    EXPECT_EQ(ReadTextFile(ProjectFile("ComSettings.cfg")),
              "0\n5\n2\n127.0.0.1\n" + std::to_string(emulator->TcpPort()) + "\n");

    // Next start: the stored settings come back and are used.
    CloseCom(comport);
    if (tcpcon) DisconnectFromTCPServer(g_hconversation);
    tcpcon = 0;
    DiscardMorvalenPanels();
    StartProgram();
    int protocol = -1, port = -1;
    GetCtrlVal(interfacepanel, INTERFACEP_PROTOCOL, protocol);
    GetCtrlVal(interfacepanel, INTERFACEP_COMPORT, port);
    EXPECT_EQ(protocol, 0);
    EXPECT_EQ(port, 5);
    EXPECT_EQ(comprotocol, 0);
    EXPECT_EQ(Status(), "QWD/HZD V3.1");
}

std::vector<std::string> History() {
    std::vector<std::string> entries;
    int count = 0;
    Combo_GetNumComboItems(interfacepanel, INTERFACEP_SERVER, count);
    for (int i = 0; i < count; ++i) {
        std::string text;
        Combo_GetComboItem(interfacepanel, INTERFACEP_SERVER, i, text);
        entries.push_back(text);
    }
    return entries;
}

TEST_F(InterfacePanel, HistoryMovesKnownNameToTopAndKeepsTen) {
    WriteServerHistory(ProjectFile("IPComboBox.cfg"), {"a", "b", "c"});
    fs::create_symlink(ProjectFile("no-device"), ProjectFile("COM1"));
    StartProgram();
    EXPECT_EQ(History(), (std::vector<std::string>{"a", "b", "c"}));
    uitest::SetAndCommit(interfacepanel, INTERFACEP_PROTOCOL, 1);  // the server field is a TCP/IP setting

    uitest::SetAndCommit(interfacepanel, INTERFACEP_SERVER, "c");
    EXPECT_EQ(History(), (std::vector<std::string>{"c", "a", "b"})) << "moved, not duplicated";
    for (int i = 0; i < 8; ++i)
        uitest::SetAndCommit(interfacepanel, INTERFACEP_SERVER, "host" + std::to_string(i));
    auto entries = History();
    ASSERT_EQ(entries.size(), 10u) << "the eleventh distinct name drops the oldest";
    EXPECT_EQ(entries.front(), "host7");
    EXPECT_EQ(entries.back(), "a");
    EXPECT_EQ(ReadServerHistory(ProjectFile("IPComboBox.cfg")), entries);
    EXPECT_EQ(fs::file_size(ProjectFile("IPComboBox.cfg")), 10u * 101u);
    EXPECT_EQ(Dimmed(interfacepanel, INTERFACEP_ACCEPT), 1);
}

TEST_F(InterfacePanel, OpeningTheListFromTheKeyboardStoresNothing) {
    WriteServerHistory(ProjectFile("IPComboBox.cfg"),
                       {"Foxtrot", "b", "c", "d", "e", "f", "g", "h", "i", "j"});
    const std::string before = ReadTextFile(ProjectFile("IPComboBox.cfg"));
    fs::create_symlink(ProjectFile("no-device"), ProjectFile("COM1"));
    StartProgram();
    uitest::SetAndCommit(interfacepanel, INTERFACEP_PROTOCOL, 1);
    ASSERT_EQ(DisplayPanel(interfacepanel), 0);
    uitest::TypeText(interfacepanel, INTERFACEP_SERVER, "F");
    uitest::PressKey(interfacepanel, INTERFACEP_SERVER, VAL_DOWN_ARROW_VKEY);
    EXPECT_EQ(ReadTextFile(ProjectFile("IPComboBox.cfg")), before) << "only a person's commit stores a name";
    EXPECT_EQ(History().back(), "j");
}

TEST_F(InterfacePanel, HistoryBytesThatAreNotUtf8AreKeptAndShownAsEscapes) {
    const std::string odd = "gw\xFF-\xC3";
    WriteServerHistory(ProjectFile("IPComboBox.cfg"), {odd, "b"});
    fs::create_symlink(ProjectFile("no-device"), ProjectFile("COM1"));
    StartProgram();
    EXPECT_EQ(History(), (std::vector<std::string>{odd, "b"}));
    uitest::SetAndCommit(interfacepanel, INTERFACEP_PROTOCOL, 1);
    uitest::SetAndCommit(interfacepanel, INTERFACEP_SERVER, "new");
    EXPECT_EQ(ReadServerHistory(ProjectFile("IPComboBox.cfg")), (std::vector<std::string>{"new", odd, "b"}))
        << "the rewritten file keeps the bytes";
    void* data = nullptr;
    GetCtrlAttribute(interfacepanel, INTERFACEP_SERVER, ATTR_CALLBACK_DATA, data);
    ASSERT_EQ(uitest::SelectListItem(interfacepanel, static_cast<ComboState*>(data)->list, 1), 0);
    std::string field;
    GetCtrlVal(interfacepanel, INTERFACEP_SERVER, field);
    EXPECT_EQ(field, odd) << "the field shows an escape and answers the bytes";
    EXPECT_EQ(ReadServerHistory(ProjectFile("IPComboBox.cfg")), (std::vector<std::string>{odd, "new", "b"}));
}

TEST_F(InterfacePanel, OverlongServerNameIsCutToItsHistoryRecord) {
    fs::create_symlink(ProjectFile("no-device"), ProjectFile("COM1"));
    StartProgram();
    uitest::SetAndCommit(interfacepanel, INTERFACEP_PROTOCOL, 1);
    const std::string name(180, 'h');
    uitest::SetAndCommit(interfacepanel, INTERFACEP_SERVER, name);
    EXPECT_EQ(fs::file_size(ProjectFile("IPComboBox.cfg")), 101u);
    EXPECT_EQ(ReadServerHistory(ProjectFile("IPComboBox.cfg")),
              std::vector<std::string>{name.substr(0, 100)});
}

TEST_F(InterfacePanel, HelpTextsOnRightClick) {
    fs::create_symlink(ProjectFile("no-device"), ProjectFile("COM1"));
    StartProgram();
    const struct {
        int panel, ctrl;
        const char* text;
    } cases[] = {
        {mainpanel, MAINP_CONNECT, " Open a panel to select an interface protocol."},
        {interfacepanel, INTERFACEP_PROTOCOL, " Select RS232 or TCP/IP Interface. "},
        {interfacepanel, INTERFACEP_COMPORT, " Select a serial COM-PORT."},
        {interfacepanel, INTERFACEP_BAUDRATE,
         "Select the Baudrate for data transfer. \n\nAttention! Sensor and user surface \nmust work with the "
         "same Baudrate. "},
        {interfacepanel, INTERFACEP_TRY, " Try to connect sensor."},
    };
    for (const auto& c : cases) {
        uitest::ExpectPopup("INFO!", c.text);
        uitest::RightClick(c.panel, c.ctrl);
    }
    // The TCP/IP fields, once they are shown; the server field answers through its combo box.
    uitest::SetAndCommit(interfacepanel, INTERFACEP_PROTOCOL, 1);
    uitest::ExpectPopup("INFO!", " Select a Server by name or IP address.");
    uitest::RightClick(interfacepanel, INTERFACEP_SERVER);
    uitest::ExpectPopup("INFO!", " Select a port number.");
    uitest::RightClick(interfacepanel, INTERFACEP_PORTNUMBER);
}

TEST_F(InterfacePanel, ClosingTheInterfacePanelHidesIt) {
    fs::create_symlink(ProjectFile("no-device"), ProjectFile("COM1"));
    StartProgram();
    ASSERT_TRUE(uitest::IsPanelShown(interfacepanel));
    uitest::ClosePanel(interfacepanel);
    EXPECT_FALSE(uitest::IsPanelShown(interfacepanel));
}

TEST_F(InterfacePanel, TcpConnectFailureIsShownInAPopup) {
    // A port on loopback where nobody listens.
    sensor_emu::EmulatorOptions options;
    auto probe = std::make_unique<sensor_emu::SensorEmulator>(options);
    ASSERT_TRUE(probe->Start());
    const int port = probe->TcpPort();
    probe->Stop();
    WriteTextFile(ProjectFile("ComSettings.cfg"), "1\n1\n1\n127.0.0.1\n" + std::to_string(port) + "\n");
    uitest::ExpectPopup("TCP Client", "UnableToEstablishConnection");  // refused
    StartProgram();
    EXPECT_EQ(tcpcon, 0);
    EXPECT_EQ(Status(), "TIMEOUT");
}

// Every failed attempt shows "TIMEOUT" as before, and beside it, on the interface panel and in the frame log,
// why; the Via display names the server with its port.
TEST_F(InterfacePanel, EachLinkFailureSaysWhyBesideTheTimeout) {
    const std::string log = ProjectFile("frames.log");
    ASSERT_TRUE(OpenFrameLog(log));
    fs::create_symlink(ProjectFile("unplugged"), ProjectFile("COM1"));
    StartProgram();
    auto cause = [] {
        std::string text;
        GetCtrlVal(interfacepanel, INTERFACEP_CAUSE, text);
        return text;
    };
    EXPECT_EQ(Status(), "TIMEOUT");
    EXPECT_EQ(cause(), "there is no device " + ProjectFile("unplugged"));

    sensor_emu::SensorEmulator probe(sensor_emu::EmulatorOptions{});
    ASSERT_TRUE(probe.Start());
    const std::string closed = std::to_string(probe.TcpPort());
    probe.Stop();
    struct Case {
        std::string server, port, popup, cause;
    };
    // Port numbers just outside and at the end of the range.
    const Case cases[] = {
        {"", "502", "InvalidParameter", "no server name or IP address is given"},
        {"127.0.0.1", "abc", "InvalidParameter", "the port number \"abc\" is not a number from 1 to 65535"},
        // Digits first do not make a port: 5o401 is no port 5.
        {"127.0.0.1", "5o401", "InvalidParameter",
         "the port number \"5o401\" is not a number from 1 to 65535"},
        {"127.0.0.1", "65536", "InvalidParameter",
         "the port number \"65536\" is not a number from 1 to 65535"},
        {"127.0.0.1", closed, "UnableToEstablishConnection", "connection refused by 127.0.0.1:" + closed},
        {"127.0.0.1", "65535", "UnableToEstablishConnection", "connection refused by 127.0.0.1:65535"},
        {"no-such-host.invalid", "502", "FailedToConnect",
         "the server name \"no-such-host.invalid\" is not known"},
    };
    uitest::SetAndCommit(interfacepanel, INTERFACEP_PROTOCOL, 1);
    for (const Case& c : cases) {
        uitest::SetAndCommit(interfacepanel, INTERFACEP_SERVER, c.server);
        uitest::SetAndCommit(interfacepanel, INTERFACEP_PORTNUMBER, c.port);
        uitest::ExpectPopup("TCP Client", c.popup);
        uitest::Click(interfacepanel, INTERFACEP_TRY);
        EXPECT_EQ(Status(), "TIMEOUT") << c.cause;
        EXPECT_EQ(InterfaceStatus(), "TIMEOUT") << c.cause;
        EXPECT_EQ(cause(), c.cause);
        EXPECT_EQ(Status(mainpanel, MAINP_SERVER),
                  c.server + ":" + (c.port == "abc" || c.port == "5o401" ? "0" : c.port));
    }
    const std::string frames = ReadTextFile(log);
    EXPECT_NE(frames.find(" FAIL COM1 there is no device " + ProjectFile("unplugged") + "\n"),
              std::string::npos)
        << frames;
    EXPECT_NE(frames.find(" FAIL 127.0.0.1:" + closed + " connection refused by 127.0.0.1:" + closed + "\n"),
              std::string::npos)
        << frames;
    CloseFrameLog();
}

TEST_F(InterfacePanel, ServerClosingTheConnectionIsReported) {
    StartConnected(Link::Tcp);
    uitest::ExpectPopup("TCP Client", "Server has closed connection!");
    emulator->CloseTcpClient();
    EXPECT_TRUE(uitest::PumpUntil([] { return tcpcon == 0; }, 3.0));
    EXPECT_EQ(g_hconversation, 0u);
}

TEST_F(InterfacePanel, SerialOpenErrorShowsTheTimeout) {
    WriteTextFile(ProjectFile("ComSettings.cfg"), "0\n7\n1\n\n\n");
    fs::create_symlink(ProjectFile("unplugged-adapter"), ProjectFile("COM7"));
    StartProgram();
    EXPECT_EQ(Status(), "TIMEOUT") << "the error text is replaced at once";
    EXPECT_STREQ(szStatus, "Cannot open port");
    EXPECT_EQ(ret, -7);
}

// The name of the user this test runs as, who owns the files it makes.
std::string UserName() {
    const passwd* user = ::getpwuid(::geteuid());
    return user ? user->pw_name : std::to_string(::geteuid());
}

TEST_F(InterfacePanel, SerialPortThisUserMayNotOpenGetsAHintOncePerDevice) {
    // Two adapters whose device files this user may not open (refused by the harness: root may open
    // anything): the first may be opened by the members of its group, the second only by its owner.
    const std::string usb0 = ProjectFile("ttyUSB0"), usb1 = ProjectFile("ttyUSB1");
    WriteTextFile(usb0, "");
    WriteTextFile(usb1, "");
    using fs::perms;
    fs::permissions(usb0, perms::owner_read | perms::owner_write | perms::group_read | perms::group_write);
    fs::permissions(usb1, perms::owner_read | perms::owner_write);
    const group* own = ::getgrgid(::getegid());
    std::string group = own ? own->gr_name : std::to_string(::getegid());
    if (const struct group* dialout = ::getgrnam("dialout");
        dialout && ::chown(usb0.c_str(), -1, dialout->gr_gid) == 0)
        group = "dialout";
    fs::create_symlink(usb0, ProjectFile("COM3"));
    fs::create_symlink(usb1, ProjectFile("COM4"));
    WriteTextFile(ProjectFile("ComSettings.cfg"), "0\n3\n1\n\n\n");

    uitest::RefuseComDevice(usb0);
    uitest::ExpectPopup("Serial port", "COM3 opens " + usb0 +
                                           ", which this user may not open.\nMembers of the group \"" +
                                           group + "\" may. To join it once, run\n    sudo adduser $USER " +
                                           group + "\nthen log out and log in again.");
    StartProgram();
    EXPECT_STREQ(szStatus, "Cannot open port") << "the status text stays the RS-232 error";
    EXPECT_EQ(Status(), "TIMEOUT");
    EXPECT_EQ(Status(interfacepanel, INTERFACEP_CAUSE), "permission denied on " + usb0 + ": join the group " +
                                                            group + " (sudo adduser $USER " + group +
                                                            "), then log in again");
    ASSERT_EQ(uitest::PendingExpectations(), 0);

    // Trying the same device again shows no second hint (an unexpected pop-up fails the test).
    uitest::Click(interfacepanel, INTERFACEP_TRY);
    EXPECT_STREQ(szStatus, "Cannot open port");
    EXPECT_EQ(uitest::Popups().size(), 1u);

    // Another device gets its own hint.
    uitest::RefuseComDevice(usb1);
    uitest::SetAndCommit(interfacepanel, INTERFACEP_COMPORT, 4);
    uitest::ExpectPopup("Serial port", "COM4 opens " + usb1 +
                                           ", which this user may not open.\nOnly the device's owner, " +
                                           UserName() + ", may open it.");
    uitest::Click(interfacepanel, INTERFACEP_TRY);
    EXPECT_EQ(comport, 4);
    EXPECT_STREQ(szStatus, "Cannot open port");
    EXPECT_EQ(Status(interfacepanel, INTERFACEP_CAUSE),
              "permission denied on " + usb1 + ": only its owner, " + UserName() + ", may open it");

    // A missing device is no matter of permission: no hint.
    fs::create_symlink(ProjectFile("ttyUSB2"), ProjectFile("COM5"));
    uitest::SetAndCommit(interfacepanel, INTERFACEP_COMPORT, 5);
    uitest::Click(interfacepanel, INTERFACEP_TRY);
    EXPECT_EQ(comport, 5);
    EXPECT_STREQ(szStatus, "Cannot open port");
    EXPECT_EQ(uitest::Popups().size(), 2u);
}

}  // namespace
