// What a build is: the suite's version (the CMake project's, which the Debian package takes too), the commit
// it was built from and the day it was built. Every program answers --version from here, and the windows'
// About boxes show it. No Qt, so the emulator and the command-line tools use it as they are.
#pragma once

#include <string>
#include <string_view>

struct BuildInfo {
    const char* version;  // "1.0"
    const char* commit;   // abbreviated commit, "unknown" for a tree outside git
    const char* date;     // "2026-12-09"
};
const BuildInfo& GetBuildInfo();

// The one line of `PROGRAM --version`: "OrvaneV33 1.0 (commit 9954143abc, built 2026-12-09)".
std::string VersionLine(std::string_view program);

// When the arguments ask for --version, prints VersionLine(program) on standard output and returns true;
// the program then ends with exit code 0. A program's whole handling of the option is
//     if (PrintVersionIfAsked(argc, argv, "OrvaneV33")) return 0;
bool PrintVersionIfAsked(int argc, char** argv, std::string_view program);
