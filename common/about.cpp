#include "about.h"

#include "build_info.h"
#include "platform.h"

namespace {
std::string g_program;
}  // namespace

const char* const InfoButtonAbout =
    " Shows the version of the program, where it keeps its settings and COM links, and its licence. \n"
    " Shortcut Key: F1. ";

void SetAboutProgram(std::string_view program) {
    g_program = program;
}

std::string AboutTitle() {
    return "About " + g_program;
}

std::string AboutText() {
    const BuildInfo& b = GetBuildInfo();
    std::string dir;
    if (GetProjectDir(dir) != 0) dir = "(none: it cannot be made)";
    return g_program + " " + b.version + "\n" +  //
           "Built " + b.date + " from commit " + b.commit + ", on " + GetToolkitVersion() + "\n\n" +
           "Program directory (ComSettings.cfg, IPComboBox.cfg, the COMn links):\n" + dir + "\n\n" +
           "Licence: MIT (Expat). The copyright file of the package holds its text\n" +
           "(/usr/share/doc/colour-sensor-tools/copyright where the package is installed).";
}

int CBF_ButtonAbout(int, int, int event, void*, int, int) {
    if (event == EVENT_RIGHT_CLICK) MessagePopup("INFO!", InfoButtonAbout);
    if (event == EVENT_COMMIT) MessagePopup(AboutTitle(), AboutText());
    return 0;
}
