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
};

// Runs a parsed command; returns its exit code.
int RunCommand(const Options& options, const ToolEnvironment& env = {});
// The whole program: parses the arguments, starts the platform without a window, runs the command.
int SensorToolMain(int argc, char** argv);
