// A command-line program (sensor-tool) run as a child process in a folder of its own, as a person runs it
// from a shell there: its output and error streams go to tool.out and tool.err in that folder.
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "ui_test.h"

extern char** environ;

// How a run ended.
struct ToolRun {
    bool ended = false;  // false: still running when the wait ran out (it was then killed)
    int code = -1;       // exit code, or 128 + the signal that killed it, as a shell reports it
    std::string out, err;
    double seconds = 0;  // from the start to the end
};

struct ToolLaunch {
    ToolLaunch(std::vector<std::string> commandLine, std::filesystem::path folder)
        : args(std::move(commandLine)), dir(std::move(folder)) {}

    std::vector<std::string> args;         // the program first
    std::filesystem::path dir;             // where it runs, and where tool.out and tool.err are written
    std::vector<std::string> environment;  // its whole environment; empty: this process's
    const passwd* user = nullptr;          // run as this user (the test then runs as root)
    long fileLimit = 0;                    // its limit of open files, when above 0
    bool ownGroup = false;                 // a process group of its own, as a shell starts a job
};

// A started run; the destructor kills it (its whole group, when it has one) if it has not ended.
class ToolProcess {
  public:
    explicit ToolProcess(ToolLaunch launch) : launch_(std::move(launch)) {
        std::vector<char*> a, e;
        for (auto& s : launch_.args) a.push_back(s.data());
        a.push_back(nullptr);
        for (auto& s : launch_.environment) e.push_back(s.data());
        e.push_back(nullptr);
        const std::string outFile = File("tool.out"), errFile = File("tool.err");
        start_ = std::chrono::steady_clock::now();
        pid_ = ::fork();
        if (pid_ == 0) Exec(a, e, outFile, errFile);
        if (launch_.ownGroup) ::setpgid(pid_, pid_);  // also here, so the group exists before a signal to it
    }
    ~ToolProcess() {
        if (pid_ > 0 && !run_.ended) {
            ::kill(launch_.ownGroup ? -pid_ : pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    ToolProcess(const ToolProcess&) = delete;
    ToolProcess& operator=(const ToolProcess&) = delete;

    pid_t Pid() const { return pid_; }

    // Whether it ended within `seconds` (below 0: however long it takes); then Run() holds how.
    bool Ended(double seconds) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (!run_.ended) {
            int status = 0;
            if (::waitpid(pid_, &status, seconds < 0 ? 0 : WNOHANG) == pid_) {
                run_.ended = true;
                run_.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                run_.seconds =
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
                run_.out = ReadTextFile(File("tool.out"));
                run_.err = ReadTextFile(File("tool.err"));
                break;
            }
            if (std::chrono::steady_clock::now() >= until) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return run_.ended;
    }
    const ToolRun& Run() const { return run_; }

  private:
    std::string File(const char* name) const { return (launch_.dir / name).string(); }

    // In the child: never returns. Exit 125 to 127 say which step failed.
    [[noreturn]] void Exec(const std::vector<char*>& a, const std::vector<char*>& e,
                           const std::string& outFile, const std::string& errFile) const {
        if (launch_.ownGroup) ::setpgid(0, 0);
        const int out = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
        if (::chdir(launch_.dir.c_str()) != 0) ::_exit(125);  // the run's folder is part of what is tested
        const rlimit limit{rlim_t(launch_.fileLimit), rlim_t(launch_.fileLimit)};
        if (launch_.fileLimit > 0 && ::setrlimit(RLIMIT_NOFILE, &limit) != 0) ::_exit(125);
        const passwd* user = launch_.user;
        if (user &&
            (::setgroups(0, nullptr) != 0 || ::setgid(user->pw_gid) != 0 || ::setuid(user->pw_uid) != 0))
            ::_exit(126);
        ::execve(a[0], a.data(), launch_.environment.empty() ? environ : e.data());
        ::_exit(127);
    }

    ToolLaunch launch_;
    pid_t pid_ = -1;
    std::chrono::steady_clock::time_point start_;
    ToolRun run_;
};

// `program` followed by `args`.
inline std::vector<std::string> CommandLine(const std::string& program,
                                            const std::vector<std::string>& args) {
    std::vector<std::string> line = {program};
    line.insert(line.end(), args.begin(), args.end());
    return line;
}

// Runs it to its end; after `limit` seconds (below 0: none) a run that has not ended is a hang and is killed.
inline ToolRun RunToolProcess(ToolLaunch launch, double limit = -1) {
    ToolProcess process(std::move(launch));
    process.Ended(limit);
    return process.Run();
}
