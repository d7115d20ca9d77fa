// sensor-tool's commands on the programs' own link, transfer and file modules, without panels.
#pragma once

#include <signal.h>

#include <QCoreApplication>
#include <cstdio>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "arguments.h"

// What a second signal says about a run that is writing a parameter set or a table to its sensor: the text,
// written to `fd` while `writing` is set.
struct HalfWrittenWarning {
    volatile sig_atomic_t writing = 0;
    int fd = 2;
    char text[512] = "";
};

struct ToolEnvironment {
    std::FILE* out = stdout;          // results
    std::FILE* err = stderr;          // errors, and progress when it is a terminal
    std::string (*date)() = nullptr;  // record lines' date and time (DateStr and TimeStr when null)
    std::string (*time)() = nullptr;
    // Told what the command is doing ("writing", 3 of 32 frames; count 0 when it has no count) and the
    // sensor's version text once it answered: a run on several links shows them. May be empty.
    std::function<void(const char* stage, int done, int count)> progress = nullptr;
    std::function<void(const char* version)> identified = nullptr;
    HalfWrittenWarning* warning = nullptr;  // the run's warning of a half-written set; null: none
    // The port number a link given by its device opens under: runs at once each need their own.
    int devicePort = 1;
};

// The warning of a run of `options` that sends a parameter set or a table, its text begun by `prefix`
// ("sensor-tool: " or "sensor-tool: LINK: "); other commands write nothing that a signal could break off.
void PrepareHalfWrittenWarning(HalfWrittenWarning& warning, const Options& options, const std::string& prefix,
                               int fd);
// SIGINT and SIGTERM set the stop flag that every run looks at (a record ends after its current line); a
// second signal writes the warning of each run that is writing and ends the tool at once.
void HandleStopSignals(std::span<HalfWrittenWarning> warnings);
void StopHandlingSignals();
// The signal that asked the runs to stop, or 0.
int StopSignal();

// Runs a parsed command on options.link; returns its exit code. Files are checked before anything is sent.
int RunCommand(const Options& options, const ToolEnvironment& env = {});
// RunCommand in a console program: makes Qt Core's application object when there is none (no window, no
// display), lets SIGINT and SIGTERM end a record after its current line (a second one ends the tool at
// once), and closes every link still open at the end. argv0 names the program.
int RunInConsole(const Options& options, const ToolEnvironment& env, char* argv0);
// The checks of the input file made before anything is sent: 0, or kExitBadFile with the reason.
int CheckInputFile(const Options& options, std::string& error);
// The whole program: parses the arguments, checks links, devices and files, and runs the command on one
// link in this process (a console program: no window, no display), or on several at once (workers.h).
int SensorToolMain(int argc, char** argv);

// The application object the links' sockets and ports need (Qt Core only: no window, no display), made
// when the program has none yet; at the end every conversation and port still open is closed.
class ConsoleApplication {
  public:
    explicit ConsoleApplication(char* argv0);
    ~ConsoleApplication();
    ConsoleApplication(const ConsoleApplication&) = delete;
    ConsoleApplication& operator=(const ConsoleApplication&) = delete;

  private:
    int argc_ = 1;
    char* args_[2];
    std::optional<QCoreApplication> app_;
};
