// The serial port of the platform against the sensor stand-in on a pseudo-terminal linked as COM5 in the
// program directory: port numbers and open errors, the line settings the sensor sees, blocking reads and
// writes with their time-out, the input queue with and without the event loop, and link faults.
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include "sensor_emulator.h"
#include "transport_util.h"
#include "ui_test.h"
#include "unprivileged_user.h"

using namespace sensor_emu;
using namespace transport_test;

namespace {

constexpr int kPort = 5;

class SerialTest : public UiTest {
  protected:
    void SetUp() override {
        UiTest::SetUp();
        EmulatorOptions o;
        o.versionText = std::string(ModelByRow(13)->versionText);
        o.tcp = false;
        o.pty = true;
        o.ptyLink = ProjectFile("COM5");
        emulator = std::make_unique<SensorEmulator>(o);
        std::string error;
        ASSERT_TRUE(emulator->Start(&error)) << error;
    }
    void TearDown() override {
        for (int port = 1; port <= 9; ++port) CloseCom(port);
        emulator.reset();
        UiTest::TearDown();
    }

    int Open(long baud = 19200) { return OpenComConfig(kPort, "", baud, VAL_NO_PARITY, 8, 1, 1024, 1024); }
    int Write(const Bytes& b) { return ComWrt(kPort, b.data(), static_cast<int>(b.size())); }
    int Write(const Frame& f) { return Write(ToBytes(f)); }
    // Polls the input queue, without the event loop, until `n` bytes wait.
    bool QueuedWithin(int n, double seconds) {
        return WaitFor([&] { return GetInQLen(kPort) >= n; }, seconds);
    }
    Bytes Read(int n) {
        Bytes b(static_cast<std::size_t>(n));
        const int got = ComRd(kPort, b.data(), n);
        b.resize(static_cast<std::size_t>(std::max(got, 0)));
        return b;
    }

    std::unique_ptr<SensorEmulator> emulator;
};

}  // namespace

// ---------------------------------------------------------------------------------------------------------
// Port numbers, devices and open errors

TEST_F(SerialTest, PortNumbersOutsideOneTo255AreInvalidEverywhere) {
    unsigned char buf[4] = {};
    for (int port : {0, -1, 256}) {
        SCOPED_TRACE(port);
        EXPECT_EQ(OpenComConfig(port, "", 19200, 0, 8, 1, 1024, 1024), kRS232InvalidPortNum);
        EXPECT_EQ(CloseCom(port), kRS232InvalidPortNum);
        EXPECT_EQ(ComWrt(port, buf, 4), kRS232InvalidPortNum);
        EXPECT_EQ(ComRd(port, buf, 4), kRS232InvalidPortNum);
        EXPECT_EQ(GetInQLen(port), kRS232InvalidPortNum);
        EXPECT_EQ(FlushInQ(port), kRS232InvalidPortNum);
        EXPECT_EQ(SetComTime(port, 1.0), kRS232InvalidPortNum);
        EXPECT_TRUE(ComPortDevicePath(port).empty());
    }
}

TEST_F(SerialTest, OperationsOnAPortThatIsNotOpen) {
    unsigned char buf[4] = {};
    EXPECT_EQ(CloseCom(7), 0) << "closing a port that is not open is harmless";
    EXPECT_EQ(CloseCom(7), 0);
    EXPECT_EQ(ComWrt(7, buf, 4), kRS232PortNotOpen);
    EXPECT_EQ(ComRd(7, buf, 4), kRS232PortNotOpen);
    EXPECT_EQ(GetInQLen(7), kRS232PortNotOpen);
    EXPECT_EQ(FlushInQ(7), kRS232PortNotOpen);
    EXPECT_EQ(FlushOutQ(7), kRS232PortNotOpen);
    EXPECT_EQ(SetComTime(7, 2.0), kRS232PortNotOpen);
    EXPECT_EQ(SetCTSMode(7, 0), kRS232PortNotOpen);
    // Closed after use, the port is not open any more.
    ASSERT_EQ(Open(), 0);
    EXPECT_EQ(CloseCom(kPort), 0);
    EXPECT_EQ(GetInQLen(kPort), kRS232PortNotOpen);
    EXPECT_EQ(CloseCom(kPort), 0);
}

TEST_F(SerialTest, DevicePathFollowsTheComLinkInTheProgramDirectory) {
    namespace fs = std::filesystem;
    EXPECT_EQ(ComPortDevicePath(kPort), fs::canonical(emulator->PtyPath()).string());
    EXPECT_EQ(ComPortDevicePath(9), "/dev/ttyS8") << "no link: the system's serial device";
    EXPECT_EQ(ComPortDevicePath(1), "/dev/ttyS0");
    // Only a symbolic link counts, not a file of that name.
    WriteTextFile(projectDir / "COM4", "not a device");
    EXPECT_EQ(ComPortDevicePath(4), "/dev/ttyS3");
    // A relative link is taken relative to the program directory.
    fs::create_symlink("COM5", projectDir / "COM6");
    EXPECT_EQ(ComPortDevicePath(6), fs::canonical(emulator->PtyPath()).string());
}

TEST_F(SerialTest, MissingDeviceCannotBeOpened) {
    namespace fs = std::filesystem;
    fs::create_symlink(projectDir / "no-such-device", projectDir / "COM3");
    EXPECT_EQ(ComPortDevicePath(3), (projectDir / "no-such-device").string());
    EXPECT_EQ(OpenComConfig(3, "", 19200, 0, 8, 1, 1024, 1024), kRS232CannotOpenPort);
    EXPECT_EQ(GetInQLen(3), kRS232PortNotOpen);
    if (!fs::exists("/dev/ttyS254")) {
        EXPECT_EQ(OpenComConfig(255, "", 19200, 0, 8, 1, 1024, 1024), kRS232CannotOpenPort);
    }
    // A device named by the caller replaces the port's own.
    EXPECT_EQ(OpenComConfig(3, emulator->PtyPath(), 19200, 0, 8, 1, 1024, 1024), 0);
    EXPECT_EQ(CloseCom(3), 0);
}

namespace {

// A device file the test owns, with its group set to dialout where the test may (root, or a member).
// Returns the name of the file's group.
std::string MakeDeviceFile(const std::filesystem::path& path, std::filesystem::perms perms) {
    WriteTextFile(path, "");
    std::filesystem::permissions(path, perms);
    const group* own = ::getgrgid(::getegid());
    std::string name = own ? own->gr_name : std::to_string(::getegid());
    if (const group* dialout = ::getgrnam("dialout");
        dialout && ::chown(path.c_str(), -1, dialout->gr_gid) == 0)
        name = "dialout";
    return name;
}

}  // namespace

TEST_F(SerialTest, FailedOpenTellsWhyAndWhichDevice) {
    namespace fs = std::filesystem;
    ComOpenFailure f;
    EXPECT_EQ(GetComOpenFailure(0, f), kRS232InvalidPortNum);
    EXPECT_EQ(GetComOpenFailure(256, f), kRS232InvalidPortNum);
    ASSERT_EQ(GetComOpenFailure(3, f), 0);
    EXPECT_EQ(f.problem, kComOpenOk) << "never tried";

    fs::create_symlink(projectDir / "unplugged", projectDir / "COM3");
    EXPECT_EQ(OpenComConfig(3, "", 19200, 0, 8, 1, 1024, 1024), kRS232CannotOpenPort);
    ASSERT_EQ(GetComOpenFailure(3, f), 0);
    EXPECT_EQ(f.problem, kComOpenNoDevice);
    EXPECT_EQ(f.device, (projectDir / "unplugged").string());
    EXPECT_EQ(f.group, "") << "no device file, no group";
    // A probe before a run finds the same, and finds a device that is there.
    EXPECT_EQ(ProbeComDevice((projectDir / "unplugged").string(), f), kRS232CannotOpenPort);
    EXPECT_EQ(f.problem, kComOpenNoDevice);
    EXPECT_EQ(ProbeComDevice(emulator->PtyPath(), f), 0);
    EXPECT_EQ(f.problem, kComOpenOk);

    // Devices this user may not open (refused by the harness: root may open anything), one that its group
    // may read and write and one that only its owner may.
    using fs::perms;
    const fs::path shared = projectDir / "ttyUSB0", own = projectDir / "ttyUSB1";
    const std::string group = MakeDeviceFile(
        shared, perms::owner_read | perms::owner_write | perms::group_read | perms::group_write);
    MakeDeviceFile(own, perms::owner_read | perms::owner_write | perms::group_read | perms::others_write);
    fs::create_symlink(shared, projectDir / "COM4");
    uitest::RefuseComDevice(shared.string());
    EXPECT_EQ(OpenComConfig(4, "", 19200, 0, 8, 1, 1024, 1024), kRS232CannotOpenPort);
    EXPECT_EQ(GetInQLen(4), kRS232PortNotOpen);
    ASSERT_EQ(GetComOpenFailure(4, f), 0);
    EXPECT_EQ(f.problem, kComOpenNoPermission);
    EXPECT_EQ(f.device, shared.string());
    EXPECT_EQ(f.group, group);
    EXPECT_TRUE(f.groupMayOpen);
    uitest::RefuseComDevice(own.string());
    EXPECT_EQ(OpenComConfig(4, own.string(), 19200, 0, 8, 1, 1024, 1024), kRS232CannotOpenPort);
    ASSERT_EQ(GetComOpenFailure(4, f), 0);
    EXPECT_EQ(f.problem, kComOpenNoPermission);
    EXPECT_EQ(f.device, own.string());
    EXPECT_FALSE(f.groupMayOpen) << "the group may read but not write";
    ASSERT_EQ(GetComOpenFailure(3, f), 0);
    EXPECT_EQ(f.problem, kComOpenNoDevice) << "each port keeps its own failure";

    // A line another user holds is in use, not forbidden; a successful open forgets the failure.
    uitest::RefuseComDevice("");
    ASSERT_EQ(Open(), 0);
    ASSERT_EQ(GetComOpenFailure(kPort, f), 0);
    EXPECT_EQ(f.problem, kComOpenOk);
    fs::create_symlink(emulator->PtyPath(), projectDir / "COM6");
    EXPECT_EQ(OpenComConfig(6, "", 19200, 0, 8, 1, 1024, 1024), kRS232CannotOpenPort);
    ASSERT_EQ(GetComOpenFailure(6, f), 0);
    EXPECT_EQ(f.problem, kComOpenInUse);
    EXPECT_EQ(f.device, fs::canonical(emulator->PtyPath()).string());
    CloseCom(kPort);
    EXPECT_EQ(OpenComConfig(6, "", 19200, 0, 8, 1, 1024, 1024), 0);
    ASSERT_EQ(GetComOpenFailure(6, f), 0);
    EXPECT_EQ(f.problem, kComOpenOk);
    EXPECT_EQ(f.device, "");
}

TEST_F(SerialTest, DeviceTheSystemRefusesIsAPermissionProblem) {
    namespace fs = std::filesystem;
    const fs::path device = projectDir / "ttyUSB0";
    WriteTextFile(device, "");
    fs::permissions(device, fs::perms::owner_read);  // no write permission for anybody
    ComOpenFailure f;
    // Root may open anything: as root the opening runs as an unprivileged user, whom the system refuses.
    const passwd* user = unprivileged::User();
    if (user)
        fs::permissions(projectDir, fs::perms::others_exec | fs::perms::group_exec, fs::perm_options::add);
    int opened = 0;
    {
        std::optional<unprivileged::AsUser> as;
        if (user) as.emplace(*user);
        ASSERT_TRUE(!as || as->Ok());
        opened = OpenComConfig(3, device.string(), 19200, 0, 8, 1, 1024, 1024);
    }
    EXPECT_EQ(opened, kRS232CannotOpenPort);
    ASSERT_EQ(GetComOpenFailure(3, f), 0);
    EXPECT_EQ(f.problem, kComOpenNoPermission);
    EXPECT_EQ(f.device, device.string());
    EXPECT_FALSE(f.groupMayOpen);
}

TEST_F(SerialTest, LineSettingsReachTheLine) {
    ASSERT_EQ(Open(19200), 0);
    SensorEmulator::LineSettings line{};
    ASSERT_TRUE(emulator->PtyLineSettings(line));
    EXPECT_EQ(line.baudRate, 19200);
    EXPECT_EQ(line.dataBits, 8);
    EXPECT_EQ(line.parity, 'N');
    EXPECT_EQ(line.stopBits, 1);
    EXPECT_FALSE(line.rtsCts);

    EXPECT_EQ(SetCTSMode(kPort, 1), 0);
    ASSERT_TRUE(emulator->PtyLineSettings(line));
    EXPECT_TRUE(line.rtsCts);
    EXPECT_EQ(SetCTSMode(kPort, 0), 0);
    ASSERT_TRUE(emulator->PtyLineSettings(line));
    EXPECT_FALSE(line.rtsCts);

    // Opening an open port again reopens it with the new settings. (A pseudo-terminal always keeps 8 data
    // bits without parity, so only the rate and the stop bits can be seen on it.)
    ASSERT_EQ(OpenComConfig(kPort, "", 115200, VAL_EVEN_PARITY, 7, 2, 1024, 1024), 0);
    ASSERT_TRUE(emulator->PtyLineSettings(line));
    EXPECT_EQ(line.baudRate, 115200);
    EXPECT_EQ(line.stopBits, 2);
    ASSERT_EQ(OpenComConfig(kPort, "", 9600, VAL_ODD_PARITY, 8, 1, 1024, 1024), 0);
    ASSERT_TRUE(emulator->PtyLineSettings(line));
    EXPECT_EQ(line.baudRate, 9600);
    EXPECT_EQ(line.stopBits, 1);
}

TEST_F(SerialTest, SettingsThatNoLineHasAreRefusedAndLeaveThePortClosed) {
    EXPECT_EQ(OpenComConfig(kPort, "", 0, VAL_NO_PARITY, 8, 1, 1024, 1024), kRS232InternalError);
    EXPECT_EQ(OpenComConfig(kPort, "", 19200, 5, 8, 1, 1024, 1024), kRS232InternalError);
    EXPECT_EQ(OpenComConfig(kPort, "", 19200, VAL_NO_PARITY, 9, 1, 1024, 1024), kRS232InternalError);
    EXPECT_EQ(OpenComConfig(kPort, "", 19200, VAL_NO_PARITY, 4, 1, 1024, 1024), kRS232InternalError);
    EXPECT_EQ(OpenComConfig(kPort, "", 19200, VAL_NO_PARITY, 8, 3, 1024, 1024), kRS232InternalError);
    EXPECT_EQ(GetInQLen(kPort), kRS232PortNotOpen);
    EXPECT_EQ(OpenComConfig(kPort, "", 19200, VAL_NO_PARITY, 5, 1, 1024, 1024), 0) << "the narrowest line";
    ASSERT_EQ(Open(), 0);
    EXPECT_EQ(SetComTime(kPort, -1.0), kRS232InternalError);
    EXPECT_EQ(SetCTSMode(kPort, -1), kRS232InternalError);
}

// ---------------------------------------------------------------------------------------------------------
// Reads, writes and the input queue

TEST_F(SerialTest, VersionQueryOverTheLine) {
    ASSERT_EQ(Open(), 0);
    ASSERT_EQ(SetComTime(kPort, 2.0), 0);
    ASSERT_EQ(FlushInQ(kPort), 0);
    ASSERT_EQ(FlushOutQ(kPort), 0);
    const Frame query = Request(7);
    EXPECT_EQ(Write(query), 36);
    ASSERT_TRUE(QueuedWithin(36, 3.0));
    EXPECT_EQ(Read(36), ToBytes(VersionReply(ModelByRow(13)->versionText)));
    EXPECT_EQ(GetInQLen(kPort), 0);
    ASSERT_EQ(emulator->Received().size(), 1u);
    EXPECT_EQ(emulator->Received()[0], query);
}

TEST_F(SerialTest, InputQueueCountsBytesThatArrivedWhileNoEventLoopRan) {
    ASSERT_EQ(Open(), 0);
    ASSERT_EQ(Write(Request(180, {0x1400})), 36);
    SleepMs(300);  // no event processing at all
    EXPECT_EQ(GetInQLen(kPort), 36);
    EXPECT_EQ(Read(36), ToBytes(EchoReply(Request(180, {0x1400}))));
}

TEST_F(SerialTest, ReadWaitsForASplitReplyWithinTheTimeOut) {
    ASSERT_EQ(Open(), 0);
    ASSERT_EQ(SetComTime(kPort, 2.0), 0);
    Faults f;
    f.splitParts = 3;
    f.splitPauseMs = 100;
    emulator->SetFaults(f);
    const Frame req = Request(182, {0x1400, 10, 1, 2, 3});
    ASSERT_EQ(Write(req), 36);
    const double t0 = Timer();
    EXPECT_EQ(Read(36), ToBytes(EchoReply(req)));
    const double took = Timer() - t0;
    EXPECT_GE(took, 0.18) << "the read waited for the later parts";
    EXPECT_LT(took, 1.5);
}

TEST_F(SerialTest, ReadTimesOutWithWhatCameOrNothing) {
    ASSERT_EQ(Open(), 0);
    ASSERT_EQ(SetComTime(kPort, 0.3), 0);
    Faults f;
    f.silent = true;
    emulator->SetFaults(f);
    ASSERT_EQ(Write(Request(7)), 36);
    unsigned char buf[36];
    double t0 = Timer();
    EXPECT_EQ(ComRd(kPort, buf, 36), kRS232TimeOut);
    double took = Timer() - t0;
    EXPECT_GE(took, 0.28);
    EXPECT_LT(took, 1.5);

    f = {};
    f.shortReply = true;
    emulator->SetFaults(f);
    ASSERT_EQ(Write(Request(7)), 36);
    t0 = Timer();
    EXPECT_EQ(ComRd(kPort, buf, 36), 35);
    took = Timer() - t0;
    EXPECT_GE(took, 0.28);
    EXPECT_LT(took, 1.5);
    EXPECT_EQ(ComRd(kPort, buf, 0), 0);
    EXPECT_EQ(ComRd(kPort, buf, -1), kRS232InternalError);
}

TEST_F(SerialTest, FlushInQDropsWhatTheSystemAndTheBufferHold) {
    ASSERT_EQ(Open(), 0);
    ASSERT_EQ(SetComTime(kPort, 0.2), 0);
    // Bytes that only the system holds.
    ASSERT_EQ(Write(Request(7)), 36);
    SleepMs(200);
    EXPECT_EQ(FlushInQ(kPort), 0);
    EXPECT_EQ(GetInQLen(kPort), 0);
    // Bytes already pulled into our buffer.
    ASSERT_EQ(Write(Request(7)), 36);
    ASSERT_TRUE(QueuedWithin(36, 2.0));
    EXPECT_EQ(FlushInQ(kPort), 0);
    EXPECT_EQ(GetInQLen(kPort), 0);
    SleepMs(100);
    EXPECT_EQ(GetInQLen(kPort), 0) << "nothing comes back later";
    // The next exchange reads its own reply only.
    const Frame req = Request(180, {0x1500});
    ASSERT_EQ(Write(req), 36);
    EXPECT_EQ(Read(36), ToBytes(EchoReply(req)));
}

TEST_F(SerialTest, SensorSplitsFramesHoweverTheyArriveOnTheLine) {
    ASSERT_EQ(Open(), 0);
    ASSERT_EQ(SetComTime(kPort, 2.0), 0);
    const Frame a = Request(180, {0x1400}), b = Request(182, {0x1400, 1, 0x0400});
    const Bytes ab = ToBytes(a);
    ASSERT_EQ(ComWrt(kPort, ab.data(), 20), 20);
    SleepMs(100);
    EXPECT_EQ(GetInQLen(kPort), 0) << "no reply to part of a frame";
    ASSERT_EQ(ComWrt(kPort, ab.data() + 20, 16), 16);
    EXPECT_EQ(Read(36), ToBytes(EchoReply(a)));
    // Two frames in one write: two replies.
    ASSERT_EQ(Write(Concat({ToBytes(b), ToBytes(a)})), 72);
    EXPECT_EQ(Read(72), Concat({ToBytes(EchoReply(b)), ToBytes(EchoReply(a))}));
    EXPECT_EQ(emulator->Received(), (std::vector<Frame>{a, b, a}));
    EXPECT_EQ(emulator->TableWord(0x1400), 0x0400);
}

// ---------------------------------------------------------------------------------------------------------
// Writes the line cannot take at once

namespace {

// A pseudo-terminal of the test's own: the port opens its device, and the far end takes in only what the
// test reads from it, as a sensor that stopped reading or holds the line back.
class HeldLine {
  public:
    HeldLine() : master_(::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK)) {
        if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0) device_ = ::ptsname(master_);
        // A way in at the port's end of its own, taken before the port opens the device for itself alone.
        if (!device_.empty()) near_ = ::open(device_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    }
    ~HeldLine() {
        if (near_ >= 0) ::close(near_);
        if (master_ >= 0) ::close(master_);
    }
    HeldLine(const HeldLine&) = delete;
    HeldLine& operator=(const HeldLine&) = delete;

    const std::string& Device() const { return device_; }
    // Writes `fill` bytes at the port's end until the system takes no more (the system passes them on to
    // the far end's queue behind our back, so until the port's end stays unwritable for a while): what the
    // port then writes has to wait for room. False when the system did not fill up.
    bool FillFromThePortsEnd(unsigned char fill) {
        const Bytes chunk(4096, fill);
        for (int round = 0; near_ >= 0 && round < 1000; ++round) {
            while (::write(near_, chunk.data(), chunk.size()) > 0) {
            }
            if (errno != EAGAIN) return false;
            pollfd pfd{near_, POLLOUT, 0};
            if (::poll(&pfd, 1, 100) == 0) return true;
        }
        return false;
    }
    // Takes in bytes until `n` came or `seconds` passed; what came.
    Bytes Take(std::size_t n, double seconds) {
        return TakeUntil([n](const Bytes& got) { return got.size() >= n; }, seconds);
    }
    // Takes in bytes until they end with `last` or `seconds` passed; what came.
    Bytes TakeThrough(const Bytes& last, double seconds) {
        return TakeUntil(
            [&](const Bytes& got) {
                return got.size() >= last.size() && std::equal(last.rbegin(), last.rend(), got.rbegin());
            },
            seconds);
    }

  private:
    template <typename Done>
    Bytes TakeUntil(Done done, double seconds) {
        Bytes got;
        const double end = Timer() + seconds;
        unsigned char buf[4096];
        while (!done(got)) {
            const double left = end - Timer();
            if (left <= 0) break;
            pollfd pfd{master_, POLLIN, 0};
            if (::poll(&pfd, 1, static_cast<int>(left * 1000) + 1) <= 0) continue;
            const ssize_t r = ::read(master_, buf, sizeof buf);
            if (r > 0) got.insert(got.end(), buf, buf + r);
        }
        return got;
    }

    int master_;
    int near_ = -1;
    std::string device_;
};

// Bytes that show where each one belongs: no byte lost, doubled or moved goes unseen.
Bytes Numbered(std::size_t n) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<unsigned char>(i % 251);
    return b;
}

// Port 3 on the held line, its reads and writes timed out after `seconds`.
::testing::AssertionResult OpenPortOn(const HeldLine& line, double seconds) {
    if (line.Device().empty()) return ::testing::AssertionFailure() << "no pseudo-terminal of the test's own";
    if (OpenComConfig(3, line.Device(), 19200, VAL_NO_PARITY, 8, 1, 1024, 1024) != 0)
        return ::testing::AssertionFailure() << "port 3 does not open " << line.Device();
    if (SetComTime(3, seconds) != 0) return ::testing::AssertionFailure() << "the time-out is refused";
    return ::testing::AssertionSuccess();
}

}  // namespace

TEST_F(SerialTest, WriteLargerThanTheSystemTakesAtOnceWaitsUntilTheLineTookItAll) {
    HeldLine line;
    ASSERT_TRUE(OpenPortOn(line, 5.0));
    const Bytes data = Numbered(1 << 20);
    EXPECT_EQ(ComWrt(3, data.data(), 0), 0) << "nothing to write, nothing written";
    Bytes arrived;
    std::thread far([&] { arrived = line.Take(data.size(), 10.0); });
    EXPECT_EQ(ComWrt(3, data.data(), static_cast<int>(data.size())), 1 << 20);
    far.join();
    EXPECT_TRUE(arrived == data) << arrived.size() << " bytes arrived";
}

TEST_F(SerialTest, WriteTheLineDoesNotTakeEndsAtTheTimeOutAndDropsTheRest) {
    HeldLine line;
    ASSERT_TRUE(OpenPortOn(line, 0.3));
    const Bytes data = Numbered(1 << 20);
    const double t0 = Timer();
    const int sent = ComWrt(3, data.data(), static_cast<int>(data.size()));
    const double took = Timer() - t0;
    ASSERT_GT(sent, 0) << "the system took the first bytes";
    ASSERT_LT(sent, 1 << 20) << "nobody took the rest";
    EXPECT_GE(took, 0.28);
    EXPECT_LT(took, 1.5);
    // What leaves is the data from its start, never more than counted: the bytes the system still held are
    // dropped with the rest (so they cannot leave in the middle of the next exchange), and the next write
    // follows at once.
    const Bytes next = {0xC3, 0x3C, 0xFF, 0x00};
    ASSERT_EQ(ComWrt(3, next.data(), 4), 4);
    const Bytes arrived = line.TakeThrough(next, 5.0);
    ASSERT_GE(arrived.size(), 4u);
    const std::size_t dataArrived = arrived.size() - 4;
    EXPECT_LE(dataArrived, static_cast<std::size_t>(sent));
    EXPECT_TRUE(std::equal(arrived.begin(), arrived.end() - 4, data.begin())) << "the data from its start";
    EXPECT_TRUE(Bytes(arrived.end() - 4, arrived.end()) == next);
}

TEST_F(SerialTest, WriteToALineWhoseSystemIsFullWaitsForRoomAndEndsInATimeOutNotAnError) {
    HeldLine line;
    ASSERT_TRUE(OpenPortOn(line, 0.3));
    ASSERT_TRUE(line.FillFromThePortsEnd(0xEE));
    const Bytes query = ToBytes(Request(7));
    const double t0 = Timer();
    EXPECT_EQ(ComWrt(3, query.data(), 36), kRS232TimeOut);
    const double took = Timer() - t0;
    EXPECT_GE(took, 0.28);
    EXPECT_LT(took, 1.5);
    // The query that timed out never leaves; the next one follows what the line already carried.
    const Bytes next = ToBytes(Request(180, {0x1400}));
    ASSERT_EQ(ComWrt(3, next.data(), 36), 36);
    const Bytes arrived = line.TakeThrough(next, 5.0);
    ASSERT_GE(arrived.size(), 36u);
    EXPECT_TRUE(std::all_of(arrived.begin(), arrived.end() - 36, [](unsigned char b) { return b == 0xEE; }))
        << "only the fill before the second query";
}

// ---------------------------------------------------------------------------------------------------------
// Link faults on the line

TEST_F(SerialTest, FaultLongReplyLeavesOneByteTooMany) {
    ASSERT_EQ(Open(), 0);
    Faults f;
    f.longReply = true;
    emulator->SetFaults(f);
    ASSERT_EQ(Write(Request(7)), 36);
    ASSERT_TRUE(QueuedWithin(37, 2.0));
    SleepMs(100);
    EXPECT_EQ(GetInQLen(kPort), 37);
    ASSERT_EQ(FlushInQ(kPort), 0);
    // A read of a reply that comes in parts takes what it asked for and leaves the byte too many.
    ASSERT_EQ(SetComTime(kPort, 2.0), 0);
    f.splitParts = 3;
    f.splitPauseMs = 100;
    emulator->SetFaults(f);
    const Frame req = Request(180, {0x1400});
    ASSERT_EQ(Write(req), 36);
    EXPECT_EQ(Read(36), ToBytes(EchoReply(req)));
    ASSERT_TRUE(QueuedWithin(1, 2.0));
    EXPECT_EQ(Read(1), Bytes{0x00});
}

TEST_F(SerialTest, FaultWrongEchoAndDelay) {
    ASSERT_EQ(Open(), 0);
    ASSERT_EQ(SetComTime(kPort, 2.0), 0);
    Faults f;
    f.wrongEchoAtFrame = 1;
    f.wrongEchoByte = 3;  // the order word
    f.replyDelayMs = 250;
    emulator->SetFaults(f);
    const Frame req = Request(180, {0x1400});
    ASSERT_EQ(Write(req), 36);
    SleepMs(120);
    EXPECT_EQ(GetInQLen(kPort), 0) << "held back by the delay";
    Bytes expected = ToBytes(EchoReply(req));
    expected[3] ^= 0xFF;
    EXPECT_EQ(Read(36), expected);
}

TEST_F(SerialTest, FaultCloseMakesTheLineMuteUntilTheCountersAreReset) {
    ASSERT_EQ(Open(), 0);
    ASSERT_EQ(SetComTime(kPort, 0.3), 0);
    Faults f;
    f.closeAtFrame = 2;
    emulator->SetFaults(f);
    unsigned char buf[36];
    ASSERT_EQ(Write(Request(7)), 36);
    EXPECT_EQ(ComRd(kPort, buf, 36), 36);
    ASSERT_EQ(Write(Request(7)), 36);
    EXPECT_EQ(ComRd(kPort, buf, 36), kRS232TimeOut);
    ASSERT_EQ(Write(Request(7)), 36);
    EXPECT_EQ(ComRd(kPort, buf, 36), kRS232TimeOut) << "mute after the close";
    EXPECT_EQ(emulator->FrameCount(), 2) << "a mute line takes nothing in";

    emulator->ResetCounters();
    ASSERT_TRUE(WaitFor([&] { return emulator->FrameCount() == 0; }, 1.0));
    SleepMs(50);
    ASSERT_EQ(Write(Request(7)), 36);
    EXPECT_EQ(ComRd(kPort, buf, 36), 36);
}

TEST_F(SerialTest, FaultHangUpBreaksTheLine) {
    ASSERT_EQ(Open(), 0);
    ASSERT_EQ(SetComTime(kPort, 2.0), 0);
    Faults f;
    f.closeAtFrame = 1;
    f.hangUpPty = true;
    emulator->SetFaults(f);
    ASSERT_EQ(Write(Request(7)), 36);
    SensorEmulator::LineSettings line{};
    ASSERT_TRUE(WaitFor([&] { return !emulator->PtyLineSettings(line); }, 2.0)) << "the sensor hung up";
    unsigned char buf[36];
    const double t0 = Timer();
    EXPECT_EQ(ComRd(kPort, buf, 36), kRS232UnknownIOError);
    EXPECT_LT(Timer() - t0, 1.0) << "a dead line is no reason to wait out the time-out";
    EXPECT_EQ(GetInQLen(kPort), kRS232UnknownIOError);
    EXPECT_EQ(ComWrt(kPort, buf, 36), kRS232UnknownIOError);
    EXPECT_EQ(CloseCom(kPort), 0);
}
