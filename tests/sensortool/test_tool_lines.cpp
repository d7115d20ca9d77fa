// sensor-tool as a production line runs it: the program on several emulated sensors at once (TCP and
// pseudo-terminals), the checks that refuse bad links and files before anything is sent, and the console
// program that says nothing about displays.
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sstream>
#include <thread>

#include "arguments.h"
#include "links.h"
#include "parameter_image.h"
#include "sensor_emulator.h"
#include "tool_process.h"
#include "ui_test.h"
#include "unprivileged_user.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

// Runs the tool with `args`, its error stream on a terminal (a pseudo-terminal read here); returns what the
// terminal showed.
std::string RunOnTerminal(const std::vector<std::string>& args) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) return {};
    const std::string slave = ::ptsname(master);
    const winsize size{.ws_row = 40, .ws_col = 200, .ws_xpixel = 0, .ws_ypixel = 0};
    ::ioctl(master, TIOCSWINSZ, &size);
    std::vector<std::string> argv = CommandLine(TOOL_PATH, args);
    std::vector<char*> a;
    for (auto& s : argv) a.push_back(s.data());
    a.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int tty = ::open(slave.c_str(), O_RDWR | O_NOCTTY);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(tty, STDERR_FILENO);
        ::execv(a[0], a.data());
        ::_exit(127);
    }
    std::string shown;
    char chunk[4096];
    for (;;) {
        pollfd p{master, POLLIN, 0};
        if (::poll(&p, 1, 200) > 0) {
            const ssize_t n = ::read(master, chunk, sizeof chunk);
            if (n > 0) {
                shown.append(chunk, std::size_t(n));
                continue;
            }
        }
        if (::waitpid(pid, nullptr, WNOHANG) == pid) break;  // everything it wrote has been read
    }
    ::close(master);
    return shown;
}

// Runs the tool with `args`, without DISPLAY, WAYLAND_DISPLAY, XDG_RUNTIME_DIR and QT_QPA_PLATFORM in its
// environment, as `user` when one is given (the test then runs as root).
ToolRun RunTool(const std::vector<std::string>& args, const fs::path& dir, const passwd* user = nullptr,
                long fileLimit = 0, const std::string& program = TOOL_PATH) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string_view v = *e;
        if (!v.starts_with("DISPLAY=") && !v.starts_with("WAYLAND_DISPLAY=") &&
            !v.starts_with("XDG_RUNTIME_DIR=") && !v.starts_with("QT_QPA_PLATFORM=") &&
            !(user && v.starts_with("HOME=")))
            env.emplace_back(v);
    }
    if (user) env.push_back(std::string("HOME=") + user->pw_dir);
    ToolLaunch launch(CommandLine(program, args), dir);
    launch.environment = env;
    launch.user = user;
    launch.fileLimit = fileLimit;
    return RunToolProcess(launch);
}

// The tool running in the background in a process group of its own, as a shell starts a job on a terminal;
// its output goes to tool.out and tool.err in `dir`.
class BackgroundTool : public ToolProcess {
  public:
    BackgroundTool(const std::vector<std::string>& args, const fs::path& dir)
        : ToolProcess(InOwnGroup(ToolLaunch(CommandLine(TOOL_PATH, args), dir))) {}

  private:
    static ToolLaunch InOwnGroup(ToolLaunch launch) {
        launch.ownGroup = true;
        return launch;
    }
};

// Waits up to 20 s until `condition` holds.
template <typename Condition>
bool WaitFor(Condition condition) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

std::size_t Lines(const std::string& text) {
    return std::size_t(std::count(text.begin(), text.end(), '\n'));
}

// The summary table's row of a link: its cells after the link.
std::string RowOf(const std::string& table, const std::string& link) {
    std::istringstream in(table);
    for (std::string line; std::getline(in, line);)
        if (line.starts_with(link + " ")) return line;
    return {};
}

class ToolLines : public UiTest {
  protected:
    void TearDown() override {
        for (auto& e : sensors) e->Stop();
        UiTest::TearDown();
    }

    // A scope sensor on TCP, or on a pseudo-terminal linked as `ptyLink`; returns its link for the tool.
    std::string AddSensor(bool tcp, const sensor_emu::Faults& faults = {}, double autoSendHz = 20.0,
                          const char* versionText = "ORVANE V3.3 2020-05-18") {
        sensor_emu::EmulatorOptions options;
        options.versionText = versionText;
        options.autoSendHz = autoSendHz;
        options.tcp = tcp;
        options.pty = !tcp;
        if (!tcp) options.ptyLink = ProjectFile("tty" + std::to_string(sensors.size()));
        auto e = std::make_unique<sensor_emu::SensorEmulator>(options);
        std::string error;
        EXPECT_TRUE(e->Start(&error)) << error;
        e->SetFaults(faults);
        sensors.push_back(std::move(e));
        return tcp ? "tcp:127.0.0.1:" + std::to_string(sensors.back()->TcpPort())
                   : "serial:" + options.ptyLink + ":115200";
    }
    bool NothingSent() const {
        return std::all_of(sensors.begin(), sensors.end(),
                           [](const auto& e) { return e->Received().empty(); });
    }

    std::vector<std::unique_ptr<sensor_emu::SensorEmulator>> sensors;
};

TEST_F(ToolLines, EveryLinkAtOnceAndAFailureStopsNoOther) {
    const std::vector<std::string> good = {AddSensor(true), AddSensor(false), AddSensor(true)};
    const std::string silent = AddSensor(false, {.silentFromFrame = 1});
    WriteTextFile(ProjectFile("links.txt"), "# the line's sensors\n" + good[0] + "\n\n" + good[1] +
                                                "   # left\n" + silent + "\n" + good[2] + "\n");
    ParameterImage image{};
    for (int w = 0; w < kImageWords; ++w) image[w] = static_cast<std::uint16_t>(11 * w + 1);
    image[kWordMaxNr] = 12;
    WriteTextFile(ProjectFile("set.ini"), FormatParameterFile(image));

    const ToolRun run =
        RunTool({"--links", "links.txt", "send-params", "--to", "eeprom", "--verify", "set.ini"}, projectDir);
    EXPECT_EQ(run.code, kExitSensorFailed) << run.err;
    for (std::size_t i = 0; i < good.size(); ++i) {
        EXPECT_NE(RowOf(run.out, good[i]).find("ORVANE V3.3 2020-05-18  done"), std::string::npos) << run.out;
        for (int w = 0; w < kImageWords; ++w) ASSERT_EQ(sensors[i]->EepromWord(w), image[w]) << good[i] << w;
    }
    EXPECT_NE(RowOf(run.out, silent).find("-  "), std::string::npos) << run.out;
    EXPECT_NE(RowOf(run.out, silent).find("4 sensor failed"), std::string::npos) << run.out;
    EXPECT_EQ(run.err,
              "sensor-tool: " + silent + ": the sensor on " + ProjectFile("tty3") +
                  " did not answer the version query: no answer within 3 s; check that the sensor is "
                  "powered and connected, and that it runs at 115200 baud (serial:DEVICE:BAUD sets "
                  "the rate)\n");
    EXPECT_LT(run.seconds, 3.0 + 2.0) << "the links ran side by side, not one after the other";

    // A file per sensor, named by its link's number in the command line's order, each holding what that
    // sensor holds.
    sensors[1]->SetEepromWord(kWordPower, 4);
    WriteTextFile(ProjectFile("second.txt"), good[1] + "\n");
    const ToolRun get = RunTool({"--link", good[0], "--links", "second.txt", "--link", good[2], "get-params",
                                 "--from", "eeprom", "saved-{n}.ini"},
                                projectDir);
    ASSERT_EQ(get.code, kExitOk) << get.err;
    EXPECT_EQ(Lines(get.out), 4u) << "the summary table only:\n" << get.out;
    EXPECT_EQ(ReadTextFile(ProjectFile("saved-1.ini")), FormatParameterFile(image));
    EXPECT_NE(ReadTextFile(ProjectFile("saved-2.ini")), FormatParameterFile(image));
    EXPECT_EQ(ReadTextFile(ProjectFile("saved-3.ini")), FormatParameterFile(image));
}

// On a terminal each link has its progress line, drawn again in place, and the last drawing says how each
// link ended.
TEST_F(ToolLines, ProgressShowsALinePerLinkOnATerminal) {
    const std::string first = AddSensor(true), second = AddSensor(false);
    const std::string shown = RunOnTerminal({"--link", first, "--link", second, "identify"});
    const std::size_t last = shown.rfind("\x1b[2A");
    ASSERT_NE(last, std::string::npos) << shown;
    const std::string block = shown.substr(last);
    for (const std::string& link : {first, second}) {
        const std::size_t at = block.find("\r\x1b[K" + link + "  ");
        ASSERT_NE(at, std::string::npos) << block;
        const std::string line = block.substr(at, block.find('\n', at) - at);
        EXPECT_NE(line.find("  done after "), std::string::npos) << line;
        EXPECT_NE(line.find("  (ORVANE V3.3 2020-05-18)"), std::string::npos) << line;
    }
}

TEST_F(ToolLines, BadArgumentsAreRefusedBeforeAnythingIsSent) {
    const std::string link = AddSensor(true);
    WriteTextFile(ProjectFile("empty.txt"), "# nothing yet\n");
    WriteTextFile(ProjectFile("bad.txt"), link + "\n192.168.0.7:502\n");
    WriteTextFile(ProjectFile("twice.txt"), link + "\n" + link + "\n");
    ParameterImage image{};
    WriteTextFile(ProjectFile("long.ini"), FormatParameterFile(image) + "    0\r\n");
    WriteTextFile(ProjectFile("bom.ini"), "\xEF\xBB\xBF" + FormatParameterFile(image));
    std::string sixChannels;  // page 3's 30 coefficients: page 1 takes 15
    for (int k = 0; k < 30; ++k) sixChannels += std::to_string(k) + "\n";
    WriteTextFile(ProjectFile("six.equ"), sixChannels);
    // R's constant 70000 makes a set point that 16 bits cannot hold.
    WriteTextFile(ProjectFile("wrap.equ"), "0\n0\n0\n0\n70000\n0\n0\n0\n0\n500\n0\n0\n0\n0\n2000\n");
    struct Case {
        std::vector<std::string> args;
        int code;
        std::string error;
    };
    const Case cases[] = {
        {{"--links", "missing.txt", "identify"}, kExitBadArguments, "links file missing.txt does not exist"},
        {{"--links", "empty.txt", "identify"}, kExitBadArguments, "empty.txt holds no link"},
        {{"--links", "bad.txt", "identify"}, kExitBadArguments, "line 2 of the links file bad.txt"},
        {{"--links", "twice.txt", "identify"}, kExitBadArguments, "is given twice; give each sensor once"},
        {{"--link", link, "--link", "serial:/dev/ttyUSB-missing", "identify"},
         kExitNoLink,
         "serial:/dev/ttyUSB-missing: there is no device /dev/ttyUSB-missing; plug in the adapter"},
        {{"--link", link, "--link", "tcp:localhost:1", "get-params", "same.ini"},
         kExitBadArguments,
         "would both write same.ini; put {n} or {link} into the file name"},
        {{"--link", link, "send-table", "--page", "1", "six.equ"},
         kExitBadFile,
         "the equation file six.equ holds more than the 15 values page 1 needs, so it belongs to another "
         "page; "
         "nothing was sent"},
        {{"--link", link, "send-table", "--page", "1", "wrap.equ"},
         kExitBadFile,
         "the equation file wrap.equ gives page 1 at --index 0 no table the sensor can hold (channel R: the "
         "set "
         "point would be 70000 (the drift curve at temperature index 0), outside 0 to 65535); nothing was "
         "sent"},
        {{"--link", link, "record", "--count", "1", "--interval", "0", "--append", "long.ini"},
         kExitBadFile,
         "long.ini is not a record file (its first line is neither the record header nor a record line); "
         "nothing was recorded"},
        {{"--link", link, "send-params", "long.ini"},
         kExitBadFile,
         "the parameter file long.ini holds 203 numbers instead of 202; nothing was sent"},
        {{"--link", link, "compare-params", "bom.ini"},
         kExitBadFile,
         "the parameter file bom.ini begins with a byte order mark (the bytes EF BB BF that some editors "
         "write "
         "first), which the scope does not read either; save it as plain text without one; nothing was sent"},
    };
    for (const Case& c : cases) {
        const ToolRun run = RunTool(c.args, projectDir);
        EXPECT_EQ(run.code, c.code) << run.err;
        EXPECT_EQ(Lines(run.err), 1u) << run.err;
        EXPECT_NE(run.err.find(c.error), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
    }
    EXPECT_TRUE(NothingSent());
}

// Every file a run writes has one writer, the frame log included, and a name it can have; all of it is
// checked before anything is sent.
TEST_F(ToolLines, EveryFileOfARunHasOneWriterAndANameItCanHave) {
    const std::string a = AddSensor(true), b = AddSensor(true);
    ParameterImage image{};
    WriteTextFile(ProjectFile("set.ini"), FormatParameterFile(image));
    fs::create_directory(ProjectFile("folder"));
    ASSERT_EQ(::mkfifo(ProjectFile("pipe").c_str(), 0600), 0);
    const std::string longName(251, 'n');
    struct Case {
        std::vector<std::string> args;
        std::string error;
    };
    const Case cases[] = {
        {{"--link", a, "--link", b, "--frame-log", "fx-1.ini", "get-params", "fx-{n}.ini"},
         "the frame log and the file that " + a +
             " writes are the same file, fx-1.ini; give each its own name"},
        {{"--link", a, "--frame-log", "./set.ini", "send-params", "set.ini"},
         "the frame log and the file that is read are the same file, set.ini; give each its own name"},
        {{"--link", a, "--link", b, "get-params", "{n}/../folder"},
         "the folder 1/.. of the file that " + a + " writes does not exist; make it first"},
        {{"--link", a, "get-params", "folder"},
         "the file that " + a + " writes, folder, is a folder; give the name of a file"},
        {{"--link", a, "get-params", "set.ini/p.ini"},
         "the folder set.ini of the file that " + a + " writes is a file, not a folder"},
        {{"--link", a, "get-params", "pipe"},
         "the file that " + a +
             " writes, pipe, is no plain file (a device or a pipe); give the name of a file"},
        {{"--link", a, "--frame-log", "folder", "identify"},
         "the frame log, folder, is a folder; give the name of a file"},
        {{"--link", a, "record", "--count", "1", "--interval", "0", "missing/r.dat"},
         "the folder missing of the file that " + a + " writes does not exist; make it first"},
        {{"--link", a, "--link", b, "get-params", longName + "{n}"},
         "the name of the file that " + a + " writes is 252 characters long (" + std::string(60, 'n') +
             "... (252 characters)); a file name may have 239 at most"},
    };
    for (const Case& c : cases) {
        const ToolRun run = RunTool(c.args, projectDir);
        EXPECT_EQ(run.code, kExitBadArguments) << run.err;
        EXPECT_EQ(Lines(run.err), 1u) << run.err;
        EXPECT_NE(run.err.find(c.error), std::string::npos) << run.err << "\nexpected: " << c.error;
    }
    EXPECT_TRUE(NothingSent());
    EXPECT_FALSE(fs::exists(ProjectFile("fx-1.ini")));
    EXPECT_EQ(ReadTextFile(ProjectFile("set.ini")), FormatParameterFile(image));
}

// A signal while links still wait for their turn reaches every worker running, and no further link starts:
// nothing is sent to those sensors.
// Output that cannot be written (here to a full device) ends the tool with exit code 5 and the reason,
// though the sensor answered.
TEST_F(ToolLines, OutputThatCannotBeWrittenIsAFailure) {
    const std::string a = AddSensor(true);
    const std::string err = ProjectFile("full.err");
    const int status =
        std::system((std::string(TOOL_PATH) + " --link " + a + " identify > /dev/full 2> " + err).c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), kExitBadFile);
    EXPECT_EQ(ReadTextFile(err), "sensor-tool: cannot write the output (No space left on device)\n");
}

// get-params writes a file that a symbolic link names where the link points, and the link stays.
TEST_F(ToolLines, GetParamsWritesThroughASymbolicLinkAndKeepsIt) {
    const std::string a = AddSensor(true);
    fs::create_directory(ProjectFile("shared"));
    WriteTextFile(ProjectFile("shared/set.ini"), "old\r\n");
    fs::create_symlink("shared/set.ini", ProjectFile("linked.ini"));
    const ToolRun run = RunTool({"--link", a, "get-params", "linked.ini"}, projectDir);
    ASSERT_EQ(run.code, kExitOk) << run.err;
    EXPECT_TRUE(fs::is_symlink(ProjectFile("linked.ini")));
    const std::string text = ReadTextFile(ProjectFile("shared/set.ini"));
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 202) << "one line per word of the set";
}

TEST_F(ToolLines, ASignalStopsEveryLinkAndStartsNoOther) {
    std::vector<std::string> links;
    for (int i = 0; i < 5; ++i) links.push_back(AddSensor(true));
    std::vector<std::string> args = {"--parallel", "2"};
    for (const std::string& link : links) args.insert(args.end(), {"--link", link});
    args.insert(args.end(), {"record", "--count", "1000", "--interval", "1", "r-{n}.dat"});
    BackgroundTool tool(args, projectDir);
    ASSERT_TRUE(WaitFor([&] {
        return Lines(ReadTextFile(ProjectFile("r-1.dat"))) >= 2 &&
               Lines(ReadTextFile(ProjectFile("r-2.dat"))) >= 2;
    })) << ReadTextFile(ProjectFile("tool.err"));
    ::kill(tool.Pid(), SIGINT);
    ASSERT_TRUE(tool.Ended(10.0));
    const ToolRun& run = tool.Run();
    EXPECT_EQ(run.code, 130) << run.err;
    for (int i = 0; i < 2; ++i) {
        EXPECT_NE(RowOf(run.out, links[i]).find("130 stopped by SIGINT"), std::string::npos) << run.out;
        EXPECT_NE(run.err.find("sensor-tool: " + links[i] + ": stopped by SIGINT after "), std::string::npos)
            << run.err;
    }
    for (int i = 2; i < 5; ++i) {
        EXPECT_NE(RowOf(run.out, links[i]).find("130 not started"), std::string::npos) << run.out;
        EXPECT_TRUE(sensors[i]->Received().empty()) << links[i];
        EXPECT_FALSE(fs::exists(ProjectFile("r-" + std::to_string(i + 1) + ".dat")));
    }
}

// Ctrl+C on a terminal reaches the tool's whole process group: each record still ends after its line, once,
// with its file whole, as one SIGINT to the tool alone ends it.
TEST_F(ToolLines, CtrlCOnATerminalEndsEachRecordAfterItsLine) {
    const std::string first = AddSensor(true), second = AddSensor(false);
    // A signal twice at one moment may count once, so a Ctrl+C that reached the workers as well would end a
    // run at once only now and then: several runs.
    for (int round = 1; round <= 5; ++round) {
        const std::string files = "r" + std::to_string(round) + "-{n}.dat";
        auto file = [&](int n) {
            return ProjectFile("r" + std::to_string(round) + "-" + std::to_string(n) + ".dat");
        };
        BackgroundTool tool(
            {"--link", first, "--link", second, "record", "--count", "1000", "--interval", "1", files},
            projectDir);
        ASSERT_TRUE(WaitFor([&] {
            return Lines(ReadTextFile(file(1))) >= 2 && Lines(ReadTextFile(file(2))) >= 2;
        })) << ReadTextFile(ProjectFile("tool.err"));
        ::kill(-tool.Pid(), SIGINT);  // what the terminal does
        ASSERT_TRUE(tool.Ended(10.0));
        const ToolRun& run = tool.Run();
        EXPECT_EQ(run.code, 130) << run.err;
        EXPECT_EQ(Lines(run.err), 2u) << "round " << round << "\n" << run.err;
        for (int n : {1, 2}) {
            const std::string& link = n == 1 ? first : second;
            const std::string said = "sensor-tool: " + link + ": stopped by SIGINT after ";
            const std::size_t at = run.err.find(said);
            ASSERT_NE(at, std::string::npos) << "round " << round << "\n" << run.err;
            const int lines = std::atoi(run.err.c_str() + at + said.size());
            EXPECT_NE(run.err.find(std::string(lines == 1 ? " line" : " lines") +
                                       "; the record file holds every line recorded until then",
                                   at),
                      std::string::npos)
                << run.err;
            EXPECT_EQ(Lines(ReadTextFile(file(n))), std::size_t(1 + lines));
        }
    }
}

// A signal reaches one thread of the tool, and the worker threads sleep on in their waits: a triggered record
// of a sensor that sends a frame every 10 s still ends soon after SIGINT, not when its minute is over.
TEST_F(ToolLines, ASignalEndsTriggeredRecordsOfQuietSensorsSoon) {
    const std::string first = AddSensor(true, {}, 0.1), second = AddSensor(false, {}, 0.1);
    BackgroundTool tool(
        {"--link", first, "--link", second, "record", "--triggered", "--duration", "60", "t-{n}.dat"},
        projectDir);
    ASSERT_TRUE(WaitFor([&] { return sensors[0]->AutoSending() && sensors[1]->AutoSending(); }))
        << ReadTextFile(ProjectFile("tool.err"));
    ::kill(tool.Pid(), SIGINT);
    ASSERT_TRUE(tool.Ended(5.0)) << "the next frames come 10 s after the first";
    const ToolRun& run = tool.Run();
    EXPECT_EQ(run.code, 130) << run.err;
    for (const std::string& link : {first, second})
        EXPECT_NE(run.err.find("sensor-tool: " + link + ": stopped by SIGINT after "), std::string::npos)
            << run.err;
}

// Eight sensors given a compensation table at once, each run computing and sending its own: every sensor
// holds the whole table. Page 7, R = 1000 + 10 i, set point at index 0 (1000): factor i = 102400 / (100 + i).
TEST_F(ToolLines, EightSensorsTakeTheirTablesAtOnce) {
    std::vector<std::string> args;
    for (int i = 0; i < 8; ++i)
        args.insert(args.end(), {"--link", AddSensor(true, {}, 20.0, "MV-NEX8 V1.2 2024-05-21")});  // page 7
    WriteTextFile(ProjectFile("ramp.equ"), "0\n0\n0\n10\n1000\n");
    args.insert(args.end(), {"send-table", "--page", "7", "--index", "0", "ramp.equ"});
    const ToolRun run = RunTool(args, projectDir);
    EXPECT_EQ(run.code, kExitOk) << run.err;
    for (int i = 0; i < 8; ++i) {
        EXPECT_NE(RowOf(run.out, args[2 * i + 1]).find("  done"), std::string::npos) << run.out;
        EXPECT_EQ(sensors[i]->TableWord(0x1400), 1024) << i;
        EXPECT_EQ(sensors[i]->TableWord(0x1401), 1013) << i;
        EXPECT_EQ(sensors[i]->TableWord(0x1400 + 50), 682) << i;
        EXPECT_EQ(sensors[i]->TableWord(0x1400 + 99), 514) << i;
    }
}

// A second SIGINT while the parameter set is being written ends the tool at once, and the tool says that the
// sensors may now hold a half-written set.
TEST_F(ToolLines, ASecondSignalDuringSendParamsSaysTheSetMayBeHalfWritten) {
    const std::string first = AddSensor(true), second = AddSensor(true);
    for (auto& e : sensors) e->SetFaults({.replyDelayMs = 200});
    ParameterImage image{};
    WriteTextFile(ProjectFile("set.ini"), FormatParameterFile(image));
    BackgroundTool tool({"--link", first, "--link", second, "send-params", "set.ini"}, projectDir);
    ASSERT_TRUE(
        WaitFor([&] { return sensors[0]->Received().size() >= 3 && sensors[1]->Received().size() >= 3; }));
    // Signals until it ends: a signal that comes before the last was taken counts once.
    for (int k = 0; k < 10 && !tool.Ended(1.0); ++k) ::kill(tool.Pid(), SIGINT);
    ASSERT_TRUE(tool.Ended(5.0));
    const ToolRun& run = tool.Run();
    EXPECT_EQ(run.code, 130) << run.err;
    for (const std::string& link : {first, second})
        EXPECT_NE(
            run.err.find("sensor-tool: " + link +
                         ": a second signal ended the tool while it wrote the parameter set: the sensor may "
                         "now hold a half-written parameter set; send it again\n"),
            std::string::npos)
            << run.err;
    EXPECT_LT(sensors[0]->Received().size(), 1u + 32u) << "the series was broken off";
}

// The sensors worked at once are bounded by the limit of open files: 30 links within a limit of 64 all run.
// A tool that cannot start a worker at all says that the files ran out.
TEST_F(ToolLines, TheLimitOfOpenFilesBoundsTheSensorsWorkedAtOnce) {
    std::vector<std::string> args;
    for (int i = 0; i < 30; ++i) args.insert(args.end(), {"--link", AddSensor(true)});
    args.push_back("identify");
    const ToolRun run = RunTool(args, projectDir, nullptr, 64);
    EXPECT_EQ(run.code, kExitOk) << run.err;
    EXPECT_EQ(run.err, "");
    for (int i = 0; i < 30; ++i)
        EXPECT_NE(RowOf(run.out, args[2 * i + 1]).find("ORVANE V3.3 2020-05-18  done"), std::string::npos)
            << run.out;

    const ToolRun none = RunTool({"--link", args[1], "--link", args[3], "identify"}, projectDir, nullptr, 6);
    EXPECT_EQ(none.code, kExitNoLink);
    for (const std::string& link : {args[1], args[3]}) {
        EXPECT_NE(
            none.err.find("sensor-tool: " + link +
                          ": no worker could be started: too many open files (the limit of this process is "
                          "6): give a smaller --parallel, or raise the limit (ulimit -n)\n"),
            std::string::npos)
            << none.err;
        EXPECT_NE(RowOf(none.out, link).find("3 not started"), std::string::npos) << none.out;
    }
    EXPECT_EQ(Lines(none.err), 2u) << none.err;
}

// The ports command names, for each device, the COM ports under which the window programs reach it: their
// COMn links to it, or COMn for /dev/ttyS(n-1) where no link of that name leads elsewhere.
TEST_F(ToolLines, PortsNameTheComPortsOfTheWindowPrograms) {
    AddSensor(false);  // a pseudo-terminal, linked as tty0 in the program directory
    const std::string pty = fs::canonical(sensors[0]->PtyPath()).string();
    for (const char* name : {"COM5", "COM12", "COM4"}) fs::create_symlink(pty, ProjectFile(name));
    fs::create_symlink("tty0", ProjectFile("COM7"));  // a relative link to the link: the same device
    fs::create_symlink("/dev/ttyS0", ProjectFile("COM2"));
    WriteTextFile(ProjectFile("spare"), "");
    fs::create_symlink(ProjectFile("spare"), ProjectFile("COM0"));  // no COM port has the number 0
    EXPECT_EQ(WindowComPorts(pty), "COM4, COM5, COM7, COM12");
    EXPECT_EQ(WindowComPorts("/dev/ttyS0"), "COM1, COM2");
    EXPECT_EQ(WindowComPorts("/dev/ttyS3"), "-") << "COM4 leads elsewhere";
    EXPECT_EQ(WindowComPorts("/dev/ttyS9"), "COM10");
    EXPECT_EQ(WindowComPorts("/dev/ttyUSB0"), "-");

    // The pseudo-terminal, which the system does not list, comes from its links; the columns line up.
    const std::string table = PortsTable();
    std::istringstream in(table);
    std::string header, row;
    std::getline(in, header);
    for (std::string line; std::getline(in, line);)
        if (line.starts_with(pty + " ")) row = line;
    ASSERT_FALSE(row.empty()) << table;
    EXPECT_EQ(table.find("spare"), std::string::npos) << table;
    EXPECT_NE(row.find("linked as COM4 in " + projectDir.string()), std::string::npos) << row;
    EXPECT_EQ(row.find("COM4, COM5, COM7, COM12"), header.find("WINDOW PROGRAMS")) << table;
}

// A device this user may not open is refused with what to do, before anything is sent (the harness refuses
// it as it would be refused to a user without the permission).
TEST_F(ToolLines, ADeviceThisUserMayNotOpenIsRefusedWithWhatToDo) {
    const std::string device = ProjectFile("ttyS9");
    WriteTextFile(device, "");
    fs::permissions(device, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                fs::perms::group_write);
    struct stat st {};
    ASSERT_EQ(::stat(device.c_str(), &st), 0);
    const group* g = ::getgrgid(st.st_gid);
    const std::string groupName = g ? g->gr_name : std::to_string(st.st_gid);
    uitest::RefuseComDevice(device);
    std::vector<LinkSpec> links(1);
    std::string error;
    ASSERT_TRUE(ParseLink("serial:" + device, links[0], error));
    ASSERT_TRUE(ResolveLinks(links, error)) << error;
    EXPECT_EQ(CheckDevices(links, error), kExitNoLink);
    EXPECT_EQ(error, "serial:" + device + ": permission denied on " + device + ": join the group " +
                         groupName + " (sudo adduser $USER " + groupName + "), then log in again");
}

// The tool is a console program: no display, no runtime directory, as root or as another user, and Qt says
// nothing on the error stream.
TEST_F(ToolLines, NoWordOnTheErrorStreamWithoutADisplay) {
    const std::string first = AddSensor(true), second = AddSensor(true);
    std::vector<const passwd*> users = {nullptr};
    if (const passwd* nobody = unprivileged::User()) users.push_back(nobody);
    fs::permissions(projectDir, fs::perms::all);  // the other user's output goes here
    // The tool where the other user can run it, wherever the checkout lies (a clone under /root is closed
    // to that user).
    const std::string tool = unprivileged::ReachableCopy(TOOL_PATH, projectDir / "bin");
    const std::vector<std::vector<std::string>> runs = {{"--link", first, "identify"},
                                                        {"--link", first, "--link", second, "identify"},
                                                        {"ports"},
                                                        {"--help"}};
    for (const passwd* user : users)
        for (const std::vector<std::string>& args : runs) {
            const ToolRun run = RunTool(args, projectDir, user, 0, user ? tool : TOOL_PATH);
            const std::string who = std::string(user ? user->pw_name : "this user") + ", " + args.back();
            EXPECT_EQ(run.code, kExitOk) << who << "\n" << run.err;
            EXPECT_EQ(run.err, "") << who;
            EXPECT_FALSE(run.out.empty()) << who;
        }
}

}  // namespace
