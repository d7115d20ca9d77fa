// sensor-tool's commands on the programs' own link, transfer and file modules, without panels.
#pragma once

#include <cstdio>
#include <string>

#include "arguments.h"

struct ToolEnvironment {
    std::FILE* out = stdout;          // results
    std::FILE* err = stderr;          // errors, and progress when it is a terminal
    std::string (*date)() = nullptr;  // record lines' date and time (DateStr and TimeStr when null)
    std::string (*time)() = nullptr;
    // Told what the command is doing ("writing", 3 of 32 frames; count 0 when it has no count) and the
    // sensor's version text once it answered: a worker of a run on several links reports them. May be null.
    void (*progress)(const char* stage, int done, int count) = nullptr;
    void (*identified)(const char* version) = nullptr;
};

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
