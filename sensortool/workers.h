// A run on several links at once, one worker process per link.
//
// The link code keeps its link in module-level state, one link per program, as the window programs do.
// So each link gets a process of its own: a fork of the tool made before the platform starts (no thread
// and no Qt object exists yet), which runs the command on its link exactly as a run on one link does. The
// workers share nothing, so a link that fails, hangs up or brings its worker down cannot touch the others,
// and the links' waits overlap. The parent starts no platform: it reads each worker's progress from a pipe,
// shows a line per link on a terminal, and at the end prints the workers' output and errors and a summary
// table (link, sensor version, result, time).
#pragma once

#include <vector>

#include "arguments.h"

// Runs each of `runs` (one link each) in a worker of its own, up to --parallel of them at once, the others
// as running ones end; a signal reaches every worker running, and no further one starts. Returns 0 when every
// link succeeded, else the most serious exit code among them (MostSerious). argv0 names the program.
int RunOnLinks(const std::vector<Options>& runs, char* argv0);

// How many sensors a run works at once unless --parallel says: 32, fewer when the limit of open files
// leaves room for fewer (each sensor worked at once holds a few descriptors in the tool).
constexpr int kDefaultParallel = 32;
int DefaultParallel();

// The summary's result column for an exit code: "done", "4 sensor failed", ...
const char* ResultText(int code);
