// The end of the run closes what the program left open: a process that ended its run with CloseCVIRTE but
// still lives has released its serial port (the port's lock file is gone) and ended its TCP conversation
// (the sensor side sees it end).
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "sensor_emulator.h"
#include "transport_util.h"
#include "ui_test.h"

namespace fs = std::filesystem;
using namespace transport_test;

extern char** environ;

namespace {

// The probe with a pipe to its standard input and one from its standard output.
class Probe {
  public:
    Probe(const std::string& device, int tcpPort) {
        int in[2], out[2];
        if (::pipe(in) != 0 || ::pipe(out) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, in[1]);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        std::string exe = END_OF_RUN_PROBE, port = std::to_string(tcpPort), dev = device;
        char* argv[] = {exe.data(), dev.data(), port.data(), nullptr};
        if (posix_spawn(&pid_, exe.c_str(), &actions, nullptr, argv, environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        toProbe_ = in[1];
        fromProbe_ = out[0];
    }
    ~Probe() {
        if (toProbe_ >= 0) ::close(toProbe_);
        if (fromProbe_ >= 0) ::close(fromProbe_);
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }

    // Waits for a line from the probe; false when it does not come in time.
    bool Says(const std::string& line, double seconds) {
        const double end = Timer() + seconds;
        while (output_.find(line + "\n") == std::string::npos && Timer() < end) {
            pollfd p{fromProbe_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            char buf[64];
            const ssize_t n = ::read(fromProbe_, buf, sizeof buf);
            if (n <= 0) return false;
            output_.append(buf, static_cast<std::size_t>(n));
        }
        return output_.find(line + "\n") != std::string::npos;
    }
    // Tells the probe to go on to its next step.
    bool Proceed() { return toProbe_ >= 0 && ::write(toProbe_, "\n", 1) == 1; }
    bool Alive() const { return pid_ > 0 && ::kill(pid_, 0) == 0 && ::waitpid(pid_, nullptr, WNOHANG) == 0; }
    // Closes the probe's standard input and returns its exit code (-1 when it did not exit in time).
    int Finish() {
        ::close(toProbe_);
        toProbe_ = -1;
        int status = 0;
        for (int i = 0; i < 500; ++i) {
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            SleepMs(10);
        }
        return -1;
    }

  private:
    pid_t pid_ = -1;
    int toProbe_ = -1, fromProbe_ = -1;
    std::string output_;
};

// Where the serial port keeps its lock file for `device` while it is open, when the system has one.
fs::path LockFile(const std::string& device) {
    std::string name = device.substr(std::string("/dev/").size());
    std::replace(name.begin(), name.end(), '/', '_');
    for (const char* dir : {"/var/lock", "/run/lock", "/tmp"})
        if (fs::exists(fs::path(dir) / ("LCK.." + name))) return fs::path(dir) / ("LCK.." + name);
    return {};
}

class EndOfRun : public UiTest {};

TEST_F(EndOfRun, ClosesTheSerialPortAndTheTcpConversationTheProgramLeftOpen) {
    sensor_emu::EmulatorOptions options;
    options.tcp = true;
    options.pty = true;
    sensor_emu::SensorEmulator emulator(options);
    std::string error;
    ASSERT_TRUE(emulator.Start(&error)) << error;
    Probe probe(emulator.PtyPath(), emulator.TcpPort());
    ASSERT_TRUE(probe.Says("linked", 10.0));
    ASSERT_TRUE(WaitFor([&] { return emulator.TcpClientConnected(); }, 2.0));
    const fs::path lock = LockFile(emulator.PtyPath());
    ASSERT_FALSE(lock.empty()) << "the open port keeps a lock file";

    ASSERT_TRUE(probe.Proceed());
    ASSERT_TRUE(probe.Says("ended", 10.0));
    EXPECT_TRUE(probe.Alive());
    EXPECT_TRUE(WaitFor([&] { return !emulator.TcpClientConnected(); }, 2.0)) << "the conversation ended";
    EXPECT_FALSE(fs::exists(lock)) << "the port is closed, its lock file gone";
    EXPECT_TRUE(probe.Alive());
    EXPECT_EQ(probe.Finish(), 0);
    emulator.Stop();
}

}  // namespace
