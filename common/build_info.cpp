#include "build_info.h"

#include <cstdio>

#include "build_stamp.h"

const BuildInfo& GetBuildInfo() {
    static const BuildInfo info{BUILD_STAMP_VERSION, BUILD_STAMP_COMMIT, BUILD_STAMP_DATE};
    return info;
}

std::string VersionLine(std::string_view program) {
    const BuildInfo& b = GetBuildInfo();
    return std::string(program) + " " + b.version + " (commit " + b.commit + ", built " + b.date + ")";
}

bool PrintVersionIfAsked(int argc, char** argv, std::string_view program) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--") break;  // what follows are names, not options
        if (arg != "--version") continue;
        std::printf("%s\n", VersionLine(program).c_str());
        std::fflush(stdout);
        return true;
    }
    return false;
}
