// A program run as a child process, to end with a signal as a desktop session or a shell ends it.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

class ChildProcess {
  public:
    // How the process ended.
    struct End {
        bool ended = false;   // false: still running when the wait ran out
        bool exited = false;  // ended through exit() (or returning from main); false: killed by `signal`
        int code = -1;        // exit code
        int signal = 0;       // the signal that killed it
    };

    // Runs `args` (the program first) with `environment` ("NAME=value") added to this process's, its
    // standard error going to `errorFile` (the null device when empty).
    ChildProcess(std::vector<std::string> args, std::vector<std::string> environment = {},
                 const std::string& errorFile = {}) {
        std::vector<std::string> env(environment);
        for (char** e = environ; *e; ++e) env.emplace_back(*e);
        std::vector<char*> argv, envp;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO,
                                         errorFile.empty() ? "/dev/null" : errorFile.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~ChildProcess() {
        if (pid_ > 0 && !end_.ended) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Running() { return pid_ > 0 && !Reaped(WNOHANG); }

    // Sends the signal (0: none) and waits up to `seconds` for the process to end.
    End StopWith(int signal, double seconds) {
        if (pid_ > 0 && !end_.ended && signal != 0) ::kill(pid_, signal);
        const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (pid_ > 0 && !Reaped(WNOHANG) && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return end_;
    }

  private:
    bool Reaped(int options) {
        if (end_.ended) return true;
        int status = 0;
        if (::waitpid(pid_, &status, options) != pid_) return false;
        end_.ended = true;
        end_.exited = WIFEXITED(status);
        end_.code = end_.exited ? WEXITSTATUS(status) : -1;
        end_.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        return true;
    }

    pid_t pid_ = -1;
    End end_;
};
