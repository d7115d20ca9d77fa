// Serial adapters from the window: a fake USB adapter (a by-id link to the emulator's pseudo-terminal in a
// device directory of the test) chosen from the serial devices window gets a COM number, works after a
// restart and after the adapters swap their tty names; plugging is followed; a typed path that names no
// device is refused; Search finds the sensor's baud rate; an adapter pulled out during Send CF is said so.
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "morvalen_session.h"
#include "pages.h"
#include "serial_devices_panel.h"
#include "unprivileged_user.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kAdapter = "usb-FTDI_FT232R_USB_UART_A10K1LQX-if00-port0";
constexpr const char* kVersion = "MV-TARN3 V6.12 2024-03-11";

class AdaptersWindow : public MorvalenSession {
  protected:
    void SetUp() override {
        MorvalenSession::SetUp();
        devDir = projectDir / "dev";
        fs::create_directories(devDir / "serial" / "by-id");
        ::setenv("COLOUR_SENSOR_DEVICE_DIR", devDir.c_str(), 1);
    }
    void TearDown() override {
        MorvalenSession::TearDown();
        ::unsetenv("COLOUR_SENSOR_DEVICE_DIR");
    }

    // The emulator on a pseudo-terminal only; `baud` 0 answers at any rate.
    void StartSerialEmulator(long baud = 0) {
        sensor_emu::EmulatorOptions options;
        options.versionText = kVersion;
        options.tcp = false;
        options.pty = true;
        options.serialBaud = baud;
        options.noiseAtWrongRate = baud != 0;
        emulator = std::make_unique<sensor_emu::SensorEmulator>(options);
        std::string error;
        ASSERT_TRUE(emulator->Start(&error)) << error;
    }
    void Plug(const std::string& tty) {
        fs::create_symlink(emulator->PtyPath(), devDir / tty);
        fs::create_symlink("../../" + tty, devDir / "serial" / "by-id" / kAdapter);
        WriteTextFile(devDir / "serial" / "by-id" / (std::string(kAdapter) + ".desc"),
                      "vendor=0403\nproduct=6001\nmanufacturer=FTDI\nserial=A10K1LQX\n");
    }
    void Unplug(const std::string& tty) {
        fs::remove(devDir / tty);
        fs::remove(devDir / "serial" / "by-id" / kAdapter);
    }
    std::string Dev(const std::string& name) const { return (devDir / name).string(); }
    std::string ById() const { return (devDir / "serial" / "by-id" / kAdapter).string(); }
    std::string Text(int panel, int ctrl) {
        std::string text;
        GetCtrlVal(panel, ctrl, text);
        return text;
    }
    // Runs the event loop until `done` holds or `seconds` have passed; returns done().
    template <class Done>
    bool Within(double seconds, Done done) {
        const double until = Timer() + seconds;
        while (!done() && Timer() < until) ProcessSystemEvents();
        return done();
    }
    int ListCount() {
        int n = 0;
        GetNumListItems(devicespanel, DEVICESP_LIST, n);
        return n;
    }

    fs::path devDir;
};

TEST_F(AdaptersWindow, AnAdapterChosenFromTheListGetsAComNumberAndKeepsItAfterRestartAndSwap) {
    StartSerialEmulator();
    Plug("ttyUSB0");
    StartProgram();  // no settings: COM1, which leads nowhere yet
    uitest::Click(mainpanel, MAINP_CONNECT);
    EXPECT_EQ(Text(interfacepanel, INTERFACEP_COM_DEVICE),
              "COM1 opens /dev/ttyS0, not present on this computer");
    ASSERT_EQ(uitest::Click(interfacepanel, INTERFACEP_DEVICES), 0);
    ASSERT_GT(devicespanel, 0);
    EXPECT_TRUE(uitest::IsPanelShown(devicespanel));
    ASSERT_EQ(ListCount(), 1);
    EXPECT_EQ(Text(devicespanel, DEVICESP_INFO),
              (devDir / "ttyUSB0").string() + "\n" + ById() +
                  "\nUSB 0403:6001, FTDI, serial number A10K1LQX\nUse this "
                  "device gives it the lowest free COM number.");
    ASSERT_EQ(uitest::SelectListItem(devicespanel, DEVICESP_LIST, 0), 0);
    ASSERT_EQ(uitest::Click(devicespanel, DEVICESP_USE_DEVICE), 0);

    // COM1 is now the link to the adapter's by-id name; the settings file is not touched until Accept.
    EXPECT_EQ(fs::read_symlink(ProjectFile("COM1")).string(), ById());
    EXPECT_FALSE(fs::exists(ProjectFile("ComSettings.cfg")));
    EXPECT_EQ(Text(interfacepanel, INTERFACEP_COM_DEVICE),
              "COM1 opens " + ById() + " (" + (devDir / "ttyUSB0").string() +
                  "), USB 0403:6001, FTDI, serial number A10K1LQX");
    uitest::Click(interfacepanel, INTERFACEP_TRY);
    EXPECT_EQ(InterfaceStatus(), kVersion);
    uitest::Click(interfacepanel, INTERFACEP_ACCEPT);
    EXPECT_EQ(ReadTextFile(ProjectFile("ComSettings.cfg")), "0\n1\n1\n\n\n");

    // After a restart, plugged in the other order: the adapter is ttyUSB1 now and still COM1.
    CloseCom(comport);
    DiscardMorvalenPanels();
    Unplug("ttyUSB0");
    Plug("ttyUSB1");
    StartProgram();
    EXPECT_EQ(Status(), kVersion);
    int port = 0;
    GetCtrlVal(interfacepanel, INTERFACEP_COMPORT, port);
    EXPECT_EQ(port, 1);
}

// Plugged in or pulled out while the window is open, the adapter appears or goes within a second; the
// stored COM number stays and is shown as not plugged in.
// A COM link to a device outside the list of serial devices names the device once, and the place it leads
// to beside a name that leads on.
TEST_F(AdaptersWindow, AComLinkOutsideTheListNamesItsDeviceOnce) {
    fs::create_symlink("/dev/null", ProjectFile("COM9"));
    EXPECT_EQ(DescribeComPort(projectDir.string(), 9), "COM9 opens /dev/null");
    fs::create_symlink("/dev/null", ProjectFile("alias"));
    fs::create_symlink(ProjectFile("alias"), ProjectFile("COM8"));
    EXPECT_EQ(DescribeComPort(projectDir.string(), 8), "COM8 opens " + ProjectFile("alias") + " (/dev/null)");
}

TEST_F(AdaptersWindow, PluggingIsFollowedWithinASecond) {
    StartSerialEmulator();
    fs::create_symlink(ById(), ProjectFile("COM3"));
    WriteTextFile(ProjectFile("ComSettings.cfg"), "0\n3\n1\n\n\n");
    StartProgram();
    uitest::Click(mainpanel, MAINP_CONNECT);
    EXPECT_EQ(Text(interfacepanel, INTERFACEP_COM_DEVICE), "COM3: " + ById() + ", not plugged in");
    uitest::Click(interfacepanel, INTERFACEP_DEVICES);
    EXPECT_EQ(ListCount(), 1) << "COM3, not plugged in";

    Plug("ttyUSB0");
    EXPECT_TRUE(Within(1.0, [&] {
        return Text(interfacepanel, INTERFACEP_COM_DEVICE).starts_with("COM3 opens " + ById());
    })) << Text(interfacepanel, INTERFACEP_COM_DEVICE);
    uitest::Click(interfacepanel, INTERFACEP_TRY);
    EXPECT_EQ(InterfaceStatus(), kVersion);

    Unplug("ttyUSB0");
    EXPECT_TRUE(Within(1.0, [&] {
        return Text(interfacepanel, INTERFACEP_COM_DEVICE) == "COM3: " + ById() + ", not plugged in";
    })) << Text(interfacepanel, INTERFACEP_COM_DEVICE);
}

TEST_F(AdaptersWindow, ATypedPathThatNamesNoDeviceIsRefusedAndNothingIsWritten) {
    StartProgram();
    uitest::Click(mainpanel, MAINP_CONNECT);
    uitest::Click(interfacepanel, INTERFACEP_DEVICES);
    fs::create_symlink(Dev("loop2"), devDir / "loop1");
    fs::create_symlink(Dev("loop1"), devDir / "loop2");
    const std::pair<std::string, std::string> cases[] = {
        {"/dev/ttyUSB 7",
         "\"/dev/ttyUSB 7\" holds a blank, which no serial device's name does: choose the "
         "device from the list"},
        {"7", "\"7\" is no full device path: give it as /dev/ttyUSB0 or /dev/serial/by-id/..."},
        {Dev("loop1"), Dev("loop1") + " is a loop of links that lead to each other, not a device"},
    };
    for (const auto& [typed, said] : cases) {
        uitest::SetAndCommit(devicespanel, DEVICESP_PATH, typed);
        uitest::Click(devicespanel, DEVICESP_USE_PATH);
        EXPECT_EQ(Text(devicespanel, DEVICESP_MESSAGE), said);
    }
    int port = 0;
    GetCtrlVal(interfacepanel, INTERFACEP_COMPORT, port);
    EXPECT_EQ(port, 1) << "a typed path is never taken as a number";
    for (const auto& entry : fs::directory_iterator(projectDir))
        EXPECT_FALSE(entry.path().filename().string().starts_with("COM")) << entry.path();
    EXPECT_FALSE(fs::exists(ProjectFile("ComSettings.cfg")));
}

// A device this user may not open is marked in the list, and Try on it says what to do. The system refuses
// it: the test runs its part as "nobody", outside the group the device belongs to (as any other user, the
// harness refuses the device as the system would).
TEST_F(AdaptersWindow, ADeviceThisUserMayNotOpenIsMarkedAndTrySaysWhatToDo) {
    StartSerialEmulator();
    Plug("ttyUSB0");
    const std::string pty = fs::canonical(emulator->PtyPath()).string();
    const passwd* nobody = unprivileged::User();
    const group* dialout = ::getgrnam("dialout");
    if (nobody && dialout) {
        // The adapter as udev leaves it: the group dialout may read and write it, others may not.
        ASSERT_EQ(::chown(pty.c_str(), 0, dialout->gr_gid), 0);
        ASSERT_EQ(::chmod(pty.c_str(), 0660), 0);
        fs::permissions(projectDir, fs::perms::all);  // the program directory: nobody makes COM1 there
        for (const fs::path& dir : {devDir, devDir / "serial", devDir / "serial" / "by-id"})
            fs::permissions(dir, fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
    } else {
        uitest::RefuseComDevice(pty);
    }
    // The program starts on a COM number that leads to no device, so that no port it opened as root is
    // left to close as nobody.
    WriteTextFile(ProjectFile("ComSettings.cfg"), "0\n99\n1\n\n\n");
    StartProgram();
    std::optional<unprivileged::AsUser> asNobody;
    if (nobody && dialout) {
        asNobody.emplace(*nobody);
        ASSERT_TRUE(asNobody->Ok());
        ASSERT_NE(::access(pty.c_str(), R_OK | W_OK), 0) << "the system lets nobody open the device";
    }
    uitest::Click(mainpanel, MAINP_CONNECT);
    uitest::Click(interfacepanel, INTERFACEP_DEVICES);
    ASSERT_EQ(ListCount(), 1);
    EXPECT_EQ(Text(devicespanel, DEVICESP_INFO),
              Dev("ttyUSB0") + "\n" + ById() +
                  "\nUSB 0403:6001, FTDI, serial number A10K1LQX\nthis user may not open it: join the group "
                  "dialout (sudo adduser $USER dialout), then log out and log in again");
    uitest::Click(devicespanel, DEVICESP_USE_DEVICE);
    EXPECT_NE(Text(interfacepanel, INTERFACEP_COM_DEVICE).find("; this user may not open it"),
              std::string::npos)
        << Text(interfacepanel, INTERFACEP_COM_DEVICE);
    uitest::ExpectPopup("Serial port",
                        "COM1 opens " + pty +
                            ", which this user may not open.\nMembers of the group \"dialout\" "
                            "may. To join it once, run\n    sudo adduser $USER dialout\nthen log "
                            "out and log in again.");
    uitest::Click(interfacepanel, INTERFACEP_TRY);
    EXPECT_EQ(InterfaceStatus(), "TIMEOUT");
    EXPECT_EQ(Text(interfacepanel, INTERFACEP_CAUSE),
              "permission denied on " + pty +
                  ": join the group dialout (sudo adduser $USER dialout), then log in again");

    // The device opened to everyone, with no replug: the list says so within a second, and Try works.
    if (asNobody) {
        asNobody.reset();
        ASSERT_EQ(::chmod(pty.c_str(), 0666), 0);
        asNobody.emplace(*nobody);
        ASSERT_TRUE(asNobody->Ok());
    } else {
        uitest::RefuseComDevice("");
    }
    EXPECT_TRUE(Within(1.0, [&] {
        return Text(devicespanel, DEVICESP_INFO).find("may not") == std::string::npos;
    })) << Text(devicespanel, DEVICESP_INFO);
    EXPECT_TRUE(Within(1.0, [&] {
        const std::string shown = Text(interfacepanel, INTERFACEP_COM_DEVICE);
        return shown.starts_with("COM1 opens ") && shown.find("may not") == std::string::npos;
    })) << Text(interfacepanel, INTERFACEP_COM_DEVICE);
    uitest::Click(interfacepanel, INTERFACEP_TRY);
    EXPECT_EQ(InterfaceStatus(), kVersion);
}

TEST_F(AdaptersWindow, SearchFindsTheSensorAt57600AndTheResultSetsComNumberAndBaudRate) {
    StartSerialEmulator(57600);
    Plug("ttyUSB0");
    StartProgram();
    uitest::Click(mainpanel, MAINP_CONNECT);
    uitest::Click(interfacepanel, INTERFACEP_DEVICES);
    uitest::Click(devicespanel, DEVICESP_SEARCH);
    EXPECT_EQ(Text(devicespanel, DEVICESP_PROGRESS),
              "Search done: 1 found on 1 device. Choose one and press Use this result.");
    uitest::Click(devicespanel, DEVICESP_USE_RESULT);
    int port = 0, baud = -1;
    GetCtrlVal(interfacepanel, INTERFACEP_COMPORT, port);
    GetCtrlVal(interfacepanel, INTERFACEP_BAUDRATE, baud);
    EXPECT_EQ(port, 1);
    EXPECT_EQ(baud, 3);
    EXPECT_EQ(fs::read_symlink(ProjectFile("COM1")).string(), ById());
    uitest::Click(interfacepanel, INTERFACEP_TRY);
    EXPECT_EQ(InterfaceStatus(), kVersion);
}

// Pulled out during Send CF, the transfer ends within a second with the cause; plugged back, Try reaches
// the sensor again.
TEST_F(AdaptersWindow, UnpluggedDuringSendCfTheCauseIsSaidAndTryWorksWhenItIsBack) {
    StartSerialEmulator();
    Plug("ttyUSB0");
    fs::create_symlink(ById(), ProjectFile("COM2"));
    WriteTextFile(ProjectFile("ComSettings.cfg"), "0\n2\n1\n\n\n");
    StartProgram();
    ASSERT_EQ(Status(), kVersion);
    sensor_emu::Faults slow;
    slow.replyDelayMs = 300;  // the transfer is still running when the adapter goes
    emulator->SetFaults(slow);
    const std::string pty = fs::canonical(emulator->PtyPath()).string();
    double pulledAt = 0;
    uitest::RunDuringBusyWait([&] {
        Unplug("ttyUSB0");
        emulator->Stop();  // the device goes with its adapter: the line hangs up
        pulledAt = Timer();
    });
    uitest::Click(DataPanel(1), DATAP_SEND_CF);
    ASSERT_GT(pulledAt, 0);
    EXPECT_LT(Timer() - pulledAt, 1.0);
    EXPECT_EQ(std::string(linkCause), "the serial device " + pty + " was unplugged");
    EXPECT_EQ(Status(), "TIMEOUT");

    // The same adapter back (on a new pseudo-terminal): Try reaches it without a restart.
    StartSerialEmulator();
    Plug("ttyUSB0");
    uitest::Click(interfacepanel, INTERFACEP_TRY);
    EXPECT_EQ(InterfaceStatus(), kVersion);
}

}  // namespace
