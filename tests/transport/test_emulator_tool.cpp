// The sensor-emulator tool as a user runs it: it says where it serves, answers on TCP and on the linked
// serial line, keeps the dump file current, and ends cleanly on SIGTERM, taking its link with it.
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <regex>

#include "transport_util.h"
#include "ui_test.h"

using namespace sensor_emu;
using namespace transport_test;

extern char** environ;

namespace {

// The tool in a child process, its standard output read line by line.
class ToolProcess {
  public:
    explicit ToolProcess(std::vector<std::string> args) {
        int out[2];
        if (::pipe(out) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        args.insert(args.begin(), SENSOR_EMULATOR_EXE);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, SENSOR_EMULATOR_EXE, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        outFd_ = out[0];
    }
    ~ToolProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (outFd_ >= 0) ::close(outFd_);
    }
    bool Running() const { return pid_ > 0; }

    // Everything printed until `lines` lines have come or the time is up.
    std::string ReadLines(int lines, double seconds) {
        const double end = Timer() + seconds;
        while (std::count(output_.begin(), output_.end(), '\n') < lines && Timer() < end) {
            pollfd p{outFd_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            char buf[256];
            const ssize_t n = ::read(outFd_, buf, sizeof buf);
            if (n <= 0) break;
            output_.append(buf, static_cast<std::size_t>(n));
        }
        return output_;
    }

    // Sends the signal and returns the exit status (-1 when it did not end in time).
    int StopWith(int signal, double seconds) {
        ::kill(pid_, signal);
        const double end = Timer() + seconds;
        int status = 0;
        while (Timer() < end) {
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            SleepMs(10);
        }
        return -1;
    }

  private:
    pid_t pid_ = -1;
    int outFd_ = -1;
    std::string output_;
};

int DropBytes(unsigned, int, int, void*) {
    return 0;
}

// One request over the conversation and its 36-byte reply (fewer bytes when the reply stops short).
Bytes TcpExchange(unsigned h, const Frame& request) {
    const Bytes out = ToBytes(request);
    EXPECT_EQ(ClientTCPWrite(h, out.data(), 36, 2000), 36);
    Bytes reply(kFrameSize);
    std::size_t got = 0;
    while (got < kFrameSize) {
        const int n = ClientTCPRead(h, reply.data() + got, static_cast<int>(kFrameSize - got), 2000);
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    reply.resize(got);
    return reply;
}

int TcpPortIn(const std::string& out) {
    std::smatch m;
    return std::regex_search(out, m, std::regex("tcp 127\\.0\\.0\\.1:([0-9]+)\n")) ? std::stoi(m[1]) : 0;
}

}  // namespace

class EmulatorTool : public UiTest {};

TEST_F(EmulatorTool, ServesTcpAndTheLinkedLineKeepsTheDumpAndEndsOnSigterm) {
    const std::string link = ProjectFile("COM7");
    const std::string dump = ProjectFile("dump.txt");
    ToolProcess tool({"--model-row", "7", "--link-com", link, "--dump", dump});
    ASSERT_TRUE(tool.Running());
    const std::string out = tool.ReadLines(4, 5.0);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(out, m, std::regex("tcp 127\\.0\\.0\\.1:([0-9]+)\n"))) << out;
    const int port = std::stoi(m[1]);
    ASSERT_TRUE(std::regex_search(out, m, std::regex("pty (/dev/[^\n]+)\n"))) << out;
    const std::string pty = m[1];
    EXPECT_NE(out.find("link " + link + " -> " + pty + "\n"), std::string::npos) << out;
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), pty);

    // Version over TCP.
    unsigned h = 0;
    ASSERT_EQ(ConnectToTCPServer(h, port, "127.0.0.1", DropBytes, nullptr, 5000), 0);
    const Bytes query = ToBytes(Request(7));
    ASSERT_EQ(ClientTCPWrite(h, query.data(), 36, 2000), 36);
    unsigned char reply[36];
    int got = 0;
    while (got < 36) {
        const int n = ClientTCPRead(h, reply + got, 36 - got, 2000);
        ASSERT_GT(n, 0);
        got += n;
    }
    EXPECT_EQ(std::string(reply, reply + 36), "ORVANE2 V3.12 2024-01-15" + std::string(12, ' '));
    DisconnectFromTCPServer(h);

    // A write order over the serial line through the COM link in the program directory.
    ASSERT_EQ(OpenComConfig(7, "", 19200, VAL_NO_PARITY, 8, 1, 1024, 1024), 0);
    ASSERT_EQ(SetComTime(7, 2.0), 0);
    const Bytes write = ToBytes(Request(182, {0x1400, 2, 1024, 980}));
    ASSERT_EQ(ComWrt(7, write.data(), 36), 36);
    ASSERT_EQ(ComRd(7, reply, 36), 36);
    EXPECT_EQ(reply[1], 0xAA);
    EXPECT_EQ(ReadTextFile(dump), "0x1400 1024\n0x1401 980\n");
    CloseCom(7);

    EXPECT_EQ(tool.StopWith(SIGTERM, 5.0), 0);
    EXPECT_FALSE(std::filesystem::is_symlink(std::filesystem::symlink_status(link)))
        << "the link went with it";
}

TEST_F(EmulatorTool, ScopeSensorWithRepeatableFramesParameterDumpAndFaultOptions) {
    const std::string dump = ProjectFile("parameters.txt");
    ToolProcess tool({"--model-code", "601", "--frame-step", "20", "--seed", "3", "--param-dump", dump,
                      "--wrong-marker", "3"});
    ASSERT_TRUE(tool.Running());
    const int port = TcpPortIn(tool.ReadLines(2, 5.0));
    ASSERT_GT(port, 0);
    unsigned h = 0;
    ASSERT_EQ(ConnectToTCPServer(h, port, "127.0.0.1", DropBytes, nullptr, 5000), 0);

    EXPECT_EQ(TcpExchange(h, Request(7)), ToBytes(VersionReply("ORVANE V3.3 2020-05-18")));
    EXPECT_EQ(WordAt(TcpExchange(h, Request(3)), 4), 800) << "the start power";
    // The same seed and time step give the same frames as in this process; frame 3 has the wrong marker.
    SensorCore same("X", {3, 20'000});
    Bytes first = ToBytes(same.Measure());
    PutWord(first, 0, 0x00A5);
    EXPECT_EQ(TcpExchange(h, Request(kMeasureOrder)), first);
    EXPECT_EQ(TcpExchange(h, Request(kMeasureOrder)), ToBytes(same.Measure()));

    std::string text = ReadTextFile(dump);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 202);
    EXPECT_EQ(text.substr(0, 16), "0 power 800 800\n");
    Frame scalars = Request(1, {500});
    TcpExchange(h, scalars);
    EXPECT_EQ(ReadTextFile(dump).substr(0, 16), "0 power 500 800\n") << "RAM changed, EEPROM not";
    TcpExchange(h, Request(6));
    EXPECT_EQ(ReadTextFile(dump).substr(0, 16), "0 power 500 500\n");
    DisconnectFromTCPServer(h);
    EXPECT_EQ(tool.StopWith(SIGTERM, 5.0), 0);
}

TEST_F(EmulatorTool, RefusesOptionsItCannotServe) {
    for (std::vector<std::string> args : {std::vector<std::string>{"--model-code", "123"},
                                          {"--model-row", "14"},
                                          {"--tcp-port", "70000"},
                                          {"--no-tcp"},
                                          {"--bogus"},
                                          {"--baud", "14400"},
                                          {"--auto-rate", "0"},
                                          {"--frame-step", "0"},
                                          {"--seed", "-1"},
                                          {"--silent-from", "0"},
                                          {"--auto-double"}}) {
        ToolProcess tool(args);
        ASSERT_TRUE(tool.Running());
        EXPECT_EQ(tool.StopWith(0, 5.0), 2) << args[0];  // signal 0: only waits for the exit
    }
}
