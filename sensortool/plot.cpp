// The picture is drawn by RecordViewer --plot, the viewer's own drawing on Qt's offscreen platform, so that
// sensor-tool itself needs no graphics library and no display. RecordViewer is installed beside sensor-tool.
#include "plot.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

extern char** environ;

namespace {
constexpr const char* kHelp =
    "sensor-tool plot FILE [--signals A,B,...] [--from TIME --to TIME] (--png|--svg) OUT [--size WxH]\n"
    "  Draws the record file FILE as the record viewer shows it, one lane per signal over the time\n"
    "  axis, into the PNG or SVG file OUT (1600x900 pixels unless --size says otherwise), without a\n"
    "  display. --signals chooses the lanes (CH_L, CH_C, CH_R, DENSITY, SYM1, SYM2, VECTOR, TEMP;\n"
    "  all by default). --from and --to limit the time: MM-DD-YYYY HH:MM:SS, MM-DD-YYYY, or HH:MM:SS\n"
    "  on the date of the file's first line. Every pixel column shows the lowest and the highest\n"
    "  value of its lines, so a single-line spike is never lost. Lines that are not record lines are\n"
    "  left out and named on the error stream; a cut last line is reported.\n";

std::string OwnDirectory() {
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    const std::string self(path, std::size_t(n));
    return self.substr(0, self.find_last_of('/'));
}
}  // namespace

int PlotMain(int argc, char** argv) {
    for (int i = 0; i < argc; ++i)
        if (std::string_view(argv[i]) == "--help") {
            std::fputs(kHelp, stdout);
            return 0;
        }
    const std::string viewer = OwnDirectory() + "/RecordViewer";
    if (::access(viewer.c_str(), X_OK) != 0) {
        std::fprintf(stderr,
                     "sensor-tool: plot draws with %s, which is missing: install RecordViewer beside "
                     "sensor-tool (it comes with the same package)\n",
                     viewer.c_str());
        return 5;
    }
    std::vector<std::string> args = {viewer, "--plot", "--as", "sensor-tool"};
    args.insert(args.end(), argv, argv + argc);
    std::vector<char*> argvChild;
    for (std::string& a : args) argvChild.push_back(a.data());
    argvChild.push_back(nullptr);
    // The offscreen platform: no display, no X server, nothing from the window system.
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e)
        if (std::strncmp(*e, "QT_QPA_PLATFORM=", 16) != 0) env.emplace_back(*e);
    env.emplace_back("QT_QPA_PLATFORM=offscreen");
    std::vector<char*> envChild;
    for (std::string& e : env) envChild.push_back(e.data());
    envChild.push_back(nullptr);
    pid_t child;
    if (const int error =
            ::posix_spawn(&child, viewer.c_str(), nullptr, nullptr, argvChild.data(), envChild.data())) {
        std::fprintf(stderr, "sensor-tool: cannot start %s: %s\n", viewer.c_str(), std::strerror(error));
        return 5;
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    std::fprintf(stderr, "sensor-tool: the drawing ended abnormally (signal %d)\n", WTERMSIG(status));
    return 5;
}
