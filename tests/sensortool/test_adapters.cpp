// Serial adapters by name: the device list of a device directory made of by-id links to emulated sensors'
// pseudo-terminals, the COM numbers given to them, bad device names, and the search for the sensor.
#include <fcntl.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>

#include "links.h"
#include "sensor_emulator.h"
#include "sensor_link.h"
#include "sensor_search.h"
#include "tool_process.h"
#include "ui_test.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

constexpr const char* kAdapterA = "usb-FTDI_FT232R_USB_UART_A10K1LQX-if00-port0";
constexpr const char* kAdapterB = "usb-Prolific_Technology_Inc._USB-Serial_Controller_D-if00-port0";

// Runs sensor-tool in `dir` with the environment of this test (the device directory included).
ToolRun RunTool(const std::vector<std::string>& args, const fs::path& dir) {
    return RunToolProcess({CommandLine(TOOL_PATH, args), dir});
}

class Adapters : public UiTest {
  protected:
    void SetUp() override {
        UiTest::SetUp();
        devDir = projectDir / "dev";
        fs::create_directories(devDir / "serial" / "by-id");
        ::setenv("COLOUR_SENSOR_DEVICE_DIR", devDir.c_str(), 1);
    }
    void TearDown() override {
        for (auto& e : sensors) e->Stop();
        ::unsetenv("COLOUR_SENSOR_DEVICE_DIR");
        UiTest::TearDown();
    }

    // An emulated sensor on a pseudo-terminal; `baud` 0 answers at any rate, else only at that rate (and
    // line noise at the others). Returns its pseudo-terminal.
    std::string AddSensor(const std::string& version, long baud) {
        sensor_emu::EmulatorOptions options;
        options.versionText = version;
        options.tcp = false;
        options.pty = true;
        options.serialBaud = baud;
        options.noiseAtWrongRate = baud != 0;
        auto e = std::make_unique<sensor_emu::SensorEmulator>(options);
        std::string error;
        EXPECT_TRUE(e->Start(&error)) << error;
        sensors.push_back(std::move(e));
        return sensors.back()->PtyPath();
    }

    // A USB adapter as udev shows it: dev/ttyUSBn (here a link to the pseudo-terminal) and its by-id name,
    // with what the system tells of it.
    void Plug(const std::string& byId, const std::string& tty, const std::string& pty,
              const std::string& description) {
        fs::create_symlink(pty, devDir / tty);
        fs::create_symlink("../../" + tty, devDir / "serial" / "by-id" / byId);
        WriteTextFile(devDir / "serial" / "by-id" / (byId + ".desc"), description);
    }
    void Unplug(const std::string& byId, const std::string& tty) {
        fs::remove(devDir / tty);
        fs::remove(devDir / "serial" / "by-id" / byId);
    }
    std::string Dev(const std::string& name) const { return (devDir / name).string(); }
    std::string ById(const std::string& name) const { return (devDir / "serial" / "by-id" / name).string(); }

    fs::path devDir;
    std::vector<std::unique_ptr<sensor_emu::SensorEmulator>> sensors;
};

TEST_F(Adapters, TheListShowsTheAdaptersWithWhatTheSystemTellsOfThem) {
    Plug(kAdapterA, "ttyUSB0", AddSensor("MV-TARN3 V6.12 2024-03-11", 0),
         "vendor=0403\nproduct=6001\nmanufacturer=FTDI\nserial=A10K1LQX\ndescription=FT232R USB UART\n");
    Plug(kAdapterB, "ttyUSB1", AddSensor("ORVANE V3.3 2020-05-18", 0),
         "vendor=067b\nproduct=2303\nmanufacturer=Prolific Technology Inc.\n");
    // A garbled number is not known, and ffff is the largest one there is.
    WriteTextFile(projectDir / "plainC", "");
    Plug("usb-WCH_USB_Serial-if00-port0", "ttyUSB2", (projectDir / "plainC").string(),
         "vendor=ffff\nproduct=75x3\n");
    fs::create_symlink(AddSensor("KTM-PQ V4.11 2022-12-01", 0), devDir / "ttyS0");
    fs::create_symlink(sensors[0]->PtyPath(), devDir / "ttyUSB7");  // the first adapter's line again

    const std::vector<SerialDeviceInfo> list = ListSerialDevices();
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].path, Dev("ttyUSB0"));
    EXPECT_EQ(list[0].byId, ById(kAdapterA));
    EXPECT_EQ(list[0].vendorId, 0x0403);
    EXPECT_EQ(list[0].productId, 0x6001);
    EXPECT_EQ(list[0].manufacturer, "FTDI");
    EXPECT_EQ(list[0].serialNumber, "A10K1LQX");
    EXPECT_EQ(list[0].description, "FT232R USB UART");
    EXPECT_FALSE(list[0].fixedPort);
    EXPECT_EQ(list[1].path, Dev("ttyUSB1"));
    EXPECT_EQ(list[1].vendorId, 0x067b);
    EXPECT_EQ(list[1].productId, 0x2303);
    EXPECT_EQ(list[1].serialNumber, "");
    EXPECT_EQ(list[2].path, Dev("ttyUSB2"));
    EXPECT_EQ(list[2].vendorId, 0xffff);
    EXPECT_EQ(list[2].productId, -1);
    EXPECT_EQ(list[3].path, Dev("ttyS0"));
    EXPECT_TRUE(list[3].fixedPort);
    EXPECT_EQ(list[3].vendorId, -1);
}

TEST_F(Adapters, AChosenDeviceGetsTheLowestFreeComNumberByItsByIdNameAndKeepsItWhenTheTtysSwap) {
    const std::string ptyA = AddSensor("MV-TARN3 V6.12 2024-03-11", 0);
    const std::string ptyB = AddSensor("ORVANE V3.3 2020-05-18", 0);
    Plug(kAdapterA, "ttyUSB0", ptyA, "vendor=0403\nproduct=6001\n");
    Plug(kAdapterB, "ttyUSB1", ptyB, "vendor=067b\nproduct=2303\n");
    fs::create_symlink(AddSensor("KTM-PQ V4.11 2022-12-01", 0), devDir / "ttyS0");  // COM1: a fixed port
    fs::create_symlink("/nowhere/ttyUSB9", projectDir / "COM2");                    // taken, though unplugged
    int port = 0;
    std::string error;
    ASSERT_EQ(LinkComPort(projectDir.string(), Dev("ttyUSB1"), port, error), 0) << error;
    EXPECT_EQ(port, 3);
    EXPECT_EQ(fs::read_symlink(projectDir / "COM3").string(), ById(kAdapterB));
    // Chosen again, it keeps its number.
    ASSERT_EQ(LinkComPort(projectDir.string(), ById(kAdapterB), port, error), 0) << error;
    EXPECT_EQ(port, 3);

    // Plugged in the other order, the adapters swap their tty names; COM3 still opens adapter B.
    Unplug(kAdapterA, "ttyUSB0");
    Unplug(kAdapterB, "ttyUSB1");
    Plug(kAdapterB, "ttyUSB0", ptyB, "vendor=067b\nproduct=2303\n");
    Plug(kAdapterA, "ttyUSB1", ptyA, "vendor=0403\nproduct=6001\n");
    EXPECT_EQ(ComLinkDevice(projectDir.string(), 3), fs::canonical(ptyB).string());
    const ComLink com3 = ReadComLink(projectDir.string(), 3);
    EXPECT_EQ(com3.state, kComLinkPresent);
    EXPECT_EQ(com3.target, ById(kAdapterB));

    // Unplugged, the link stays and says where it leads.
    Unplug(kAdapterB, "ttyUSB0");
    EXPECT_EQ(ReadComLink(projectDir.string(), 3).state, kComLinkAbsent);
    EXPECT_EQ(ReadComLink(projectDir.string(), 2).state, kComLinkAbsent);
    EXPECT_EQ(ReadComLink(projectDir.string(), 4).state, kComLinkNone);
}

// COM255 is the last number given; once it is taken too, the next device is refused with the reason.
TEST_F(Adapters, TheLastFreeComNumberIs255AndAfterItNoneIsLeft) {
    Plug(kAdapterA, "ttyUSB0", AddSensor("MV-TARN3 V6.12 2024-03-11", 0), "");
    Plug(kAdapterB, "ttyUSB1", AddSensor("ORVANE V3.3 2020-05-18", 0), "");
    for (int n = 1; n <= 254; ++n)
        fs::create_symlink("/nowhere/ttyUSB" + std::to_string(n), projectDir / ("COM" + std::to_string(n)));
    int port = 0;
    std::string error;
    ASSERT_EQ(LinkComPort(projectDir.string(), Dev("ttyUSB0"), port, error), 0) << error;
    EXPECT_EQ(port, 255);
    EXPECT_EQ(fs::read_symlink(projectDir / "COM255").string(), ById(kAdapterA));
    EXPECT_EQ(ComLinkDevice(projectDir.string(), 255), fs::canonical(sensors[0]->PtyPath()).string());
    EXPECT_EQ(ComLinkDevice(projectDir.string(), 256), "");

    port = 0;
    EXPECT_EQ(LinkComPort(projectDir.string(), Dev("ttyUSB0"), port, error), 0) << error;
    EXPECT_EQ(port, 255) << "chosen again, it keeps its number";
    EXPECT_EQ(LinkComPort(projectDir.string(), ById(kAdapterB), port, error), -1);
    EXPECT_EQ(error, "every COM number from 1 to 255 is taken in " + projectDir.string());
    EXPECT_FALSE(fs::exists(fs::symlink_status(projectDir / "COM256")));
}

TEST_F(Adapters, BadDeviceNamesAreRefusedWithAClearReasonAndNoLinkIsMade) {
    fs::create_symlink("/nowhere/ttyUSB9", devDir / "dangling");
    fs::create_symlink(Dev("loopB"), devDir / "loopA");
    fs::create_symlink(Dev("loopA"), devDir / "loopB");
    WriteTextFile(devDir / "plain", "");
    struct Case {
        std::string name, error;
    } cases[] = {
        {"/dev/tty USB0",
         "\"/dev/tty USB0\" holds a blank, which no serial device's name does: choose the "
         "device from the list"},
        {"7", "\"7\" is no full device path: give it as /dev/ttyUSB0 or /dev/serial/by-id/..."},
        {Dev("dangling"), Dev("dangling") +
                              " is a link to /nowhere/ttyUSB9, which does not exist: plug in the "
                              "adapter, or choose a device from the list"},
        {Dev("loopA"), Dev("loopA") + " is a loop of links that lead to each other, not a device"},
        {Dev("plain"), Dev("plain") + " is not a serial device"},
        {Dev("ttyUSB5"),
         "there is no device " + Dev("ttyUSB5") + ": plug in the adapter, or choose a device from the list"},
    };
    for (const Case& c : cases) {
        std::string error;
        int port = 0;
        EXPECT_EQ(CheckDeviceName(c.name, error), -1) << c.name;
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(LinkComPort(projectDir.string(), c.name, port, error), -1) << c.name;
    }
    for (const auto& entry : fs::directory_iterator(projectDir))
        EXPECT_FALSE(entry.path().filename().string().starts_with("COM")) << entry.path();
}

// A folder this user may not read (root reads every folder, so the check runs as nobody).
TEST_F(Adapters, ADeviceInAFolderThisUserMayNotReadIsRefusedWithTheReason) {
    const passwd* nobody = ::getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    fs::create_directories(devDir / "locked");
    fs::create_symlink(AddSensor("MV-TARN3 V6.12 2024-03-11", 0), devDir / "locked" / "ttyUSB0");
    fs::permissions(devDir / "locked", fs::perms::owner_all);
    for (fs::path p = devDir; p != p.root_path(); p = p.parent_path())
        if (p != devDir / "locked") fs::permissions(p, fs::perms::others_exec, fs::perm_options::add);
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::geteuid() == 0 && (::setgid(nobody->pw_gid) != 0 || ::setuid(nobody->pw_uid) != 0))
            ::_exit(126);
        std::string error;
        const int result = CheckDeviceName(Dev("locked/ttyUSB0"), error);
        const std::string message = std::to_string(result) + " " + error;
        if (::write(pipeFds[1], message.data(), message.size()) < 0) ::_exit(125);
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    std::string said;
    char buf[512];
    for (ssize_t n; (n = ::read(pipeFds[0], buf, sizeof buf)) > 0;) said.append(buf, std::size_t(n));
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(said, "-1 the folder of " + Dev("locked/ttyUSB0") + " cannot be read (Permission denied)");
}

TEST(VersionText, TextIsAnAnswerAndNoiseIsNot) {
    auto bytes = [](const std::string& s) {
        std::string frame = s;
        frame.resize(36, ' ');
        return frame;
    };
    const std::string good = bytes("MV-TARN3 V6.12 2024-03-11");
    EXPECT_TRUE(IsVersionText(reinterpret_cast<const unsigned char*>(good.data()), 36));
    std::string zeros = "ORVANE V3.3";
    zeros.resize(36, '\0');
    EXPECT_TRUE(IsVersionText(reinterpret_cast<const unsigned char*>(zeros.data()), 36));
    EXPECT_FALSE(IsVersionText(reinterpret_cast<const unsigned char*>(good.data()), 35)) << "short";
    std::string noisy = good;
    noisy[20] = char(0xF8);
    EXPECT_FALSE(IsVersionText(reinterpret_cast<const unsigned char*>(noisy.data()), 36));
    std::string control = good;
    control[3] = '\x1b';
    EXPECT_FALSE(IsVersionText(reinterpret_cast<const unsigned char*>(control.data()), 36));
    std::string zeroInside = good;
    zeroInside[5] = '\0';
    EXPECT_FALSE(IsVersionText(reinterpret_cast<const unsigned char*>(zeroInside.data()), 36));
    const std::string blank = bytes("");
    EXPECT_FALSE(IsVersionText(reinterpret_cast<const unsigned char*>(blank.data()), 36)) << "no text at all";
}

// The scan finds one sensor at 9,600 and one at 57,600 baud, each once, and sends no byte to a fixed port
// it does not include.
TEST_F(Adapters, ScanFindsTheSensorsAtTheirRatesAndLeavesFixedPortsAlone) {
    Plug(kAdapterA, "ttyUSB0", AddSensor("MV-TARN3 V6.12 2024-03-11", 9600), "vendor=0403\nproduct=6001\n");
    Plug(kAdapterB, "ttyUSB1", AddSensor("ORVANE V3.3 2020-05-18", 57600), "vendor=067b\nproduct=2303\n");
    fs::create_symlink(AddSensor("KTM-PQ V4.11 2022-12-01", 0), devDir / "ttyS3");
    fs::create_symlink(ById(kAdapterB), projectDir / "COM7");

    const ToolRun run = RunTool({"scan"}, projectDir);
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, Dev("ttyUSB0") + "  -  9600 baud  MV-TARN3 V6.12 2024-03-11  (a Morvalen sensor)\n" +
                           Dev("ttyUSB1") +
                           "  COM7  57600 baud  ORVANE V3.3 2020-05-18  (the scope's sensor: "
                           "OrvaneV33)\n");
    EXPECT_TRUE(sensors[2]->Received().empty()) << "a byte went to the fixed port";

    // Included, the fixed port is found at the first rate tried (it answers at any rate), as COM4.
    const ToolRun all = RunTool({"scan", "--include-fixed"}, projectDir);
    EXPECT_EQ(all.code, 0) << all.err;
    EXPECT_NE(all.out.find(Dev("ttyS3") + "  COM4  9600 baud  KTM-PQ V4.11 2022-12-01"), std::string::npos)
        << all.out;
}

TEST_F(Adapters, IdentifyAtAWrongRateGetsLineNoiseAndSaysSoInsteadOfPrintingIt) {
    Plug(kAdapterA, "ttyUSB0", AddSensor("MV-TARN3 V6.12 2024-03-11", 57600), "");
    const ToolRun wrong = RunTool({"--link", "serial:" + ById(kAdapterA) + ":38400", "identify"}, projectDir);
    EXPECT_EQ(wrong.code, 4);
    EXPECT_EQ(wrong.out, "");
    EXPECT_EQ(wrong.err.find("version:"), std::string::npos) << wrong.err;
    const ToolRun right = RunTool({"--link", "serial:" + ById(kAdapterA) + ":57600", "identify"}, projectDir);
    EXPECT_EQ(right.code, 0) << right.err;
    EXPECT_EQ(right.out.substr(0, right.out.find('\n')), "version: MV-TARN3 V6.12 2024-03-11");
}

// ports ends with the COM links of the working directory, which serial:COMn uses first.
TEST_F(Adapters, PortsListsTheComLinksOfTheWorkingDirectory) {
    const std::string pty = AddSensor("MV-TARN3 V6.12 2024-03-11", 0);
    Plug(kAdapterA, "ttyUSB0", pty, "");
    fs::create_symlink(ById(kAdapterA), projectDir / "COM2");
    fs::create_symlink(ById(kAdapterB), projectDir / "COM3");
    const ToolRun run = RunTool({"ports"}, projectDir);
    EXPECT_EQ(run.code, 0) << run.err;
    const std::string section = "\nCOM links of the working directory " + projectDir.string() +
                                " (serial:COMn uses them first):\nCOM2  " + ById(kAdapterA) + " (" +
                                fs::canonical(pty).string() + ")\nCOM3  " + ById(kAdapterB) +
                                ", not plugged in\n";
    ASSERT_GE(run.out.size(), section.size()) << run.out;
    EXPECT_EQ(run.out.substr(run.out.size() - section.size()), section) << run.out;
    // serial:COM2 reaches the adapter through its by-id name.
    const ToolRun identify = RunTool({"--link", "serial:COM2", "identify"}, projectDir);
    EXPECT_EQ(identify.code, 0) << identify.err;
}

// ports lists a USB adapter with what the system tells of it and its by-id name; no window program's folder
// links it to a COM port.
TEST_F(Adapters, PortsListsAnAdapterWithWhatTheSystemTellsOfIt) {
    Plug(kAdapterA, "ttyUSB0", AddSensor("MV-TARN3 V6.12 2024-03-11", 0),
         "vendor=0403\nproduct=6001\nmanufacturer=FTDI\nserial=A10K1LQX\ndescription=FT232R USB UART\n");
    const ToolRun run = RunTool({"ports"}, projectDir);
    EXPECT_EQ(run.code, 0) << run.err;
    const std::size_t row = run.out.find("\n" + Dev("ttyUSB0") + " ");
    ASSERT_NE(row, std::string::npos) << run.out;
    std::istringstream rest(run.out.substr(row + 1));
    std::string line, byId;
    std::getline(rest, line);
    std::getline(rest, byId);
    std::istringstream cells(line);
    std::string device, description, usb, com;
    cells >> device;
    std::getline(cells >> std::ws, description, '(');
    EXPECT_EQ(description, "FT232R USB UART, FTDI ") << line;
    std::getline(cells, description, ')');
    EXPECT_EQ(description, "serial number A10K1LQX") << line;
    cells >> usb >> com;
    EXPECT_EQ(usb, "0403:6001") << line;
    EXPECT_EQ(com, "-") << line;
    EXPECT_EQ(byId, "  " + ById(kAdapterA) + "  (its name in any USB socket)");
}

// An adapter that a window program's COMn link leads to is listed once, on its own row with that COM port.
TEST_F(Adapters, PortsListsALinkedAdapterOnce) {
    const std::string pty = AddSensor("MV-TARN3 V6.12 2024-03-11", 0);
    Plug(kAdapterA, "ttyUSB0", pty, "");
    fs::create_symlink(ById(kAdapterA), projectDir / "COM4");
    const std::string table = PortsTable();
    const std::size_t row = table.find("\n" + Dev("ttyUSB0") + " ");
    ASSERT_NE(row, std::string::npos) << table;
    const std::string line = table.substr(row + 1, table.find('\n', row + 1) - row - 1);
    EXPECT_TRUE(line.ends_with("  COM4")) << line;
    EXPECT_EQ(table.find("linked as COM4"), std::string::npos) << table;
}

TEST_F(Adapters, NothingToScanSaysWhatToDo) {
    const ToolRun run = RunTool({"scan"}, projectDir);
    EXPECT_EQ(run.code, 4);
    EXPECT_EQ(run.err,
              "sensor-tool: no serial adapter to try: plug one in (sensor-tool ports lists the "
              "devices; --include-fixed adds /dev/ttyS*)\n");
}

}  // namespace
