// A run on several links at once, one thread per link.
//
// Each link's run has everything of its own: its SensorLink, its output and error files, its page tables
// and its warning of a half-written set; its thread lets only its own socket events run. So a link that
// fails or hangs up touches no other, and the links' waits overlap. The main thread shows a line per link
// on a terminal, takes SIGINT and SIGTERM for every run (a record ends after its line, no further link
// starts), and at the end prints each run's output and errors and a summary table (link, sensor version,
// result, time).
#pragma once

#include <vector>

#include "arguments.h"

// Runs each of `runs` (one link each) on a thread of its own, up to --parallel of them at once, the others
// as running ones end; a signal stops every run running, and no further one starts. Returns 0 when every
// link succeeded, else the most serious exit code among them (MostSerious). argv0 names the program.
int RunOnLinks(const std::vector<Options>& runs, char* argv0);

// How many sensors a run works at once unless --parallel says: 32, fewer when the limit of open files
// leaves room for fewer (each sensor worked at once holds a few descriptors: its output files and its line).
constexpr int kDefaultParallel = 32;
int DefaultParallel();

// The summary's result column for an exit code: "done", "4 sensor failed", ...
const char* ResultText(int code);
