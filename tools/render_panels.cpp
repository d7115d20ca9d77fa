// Renders every panel of a Morvalen build to PNG files, offscreen: the main panel with each compensation
// page (with example curves calculated), and the interface panel in both protocol modes.
//   render-panels-V15 [output directory]
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "build.h"
#include "demo_curves.h"
#include "harness.h"
#include "interface_panel.h"
#include "morvalen.h"
#include "platform.h"

namespace fs = std::filesystem;

namespace {

std::string Output(const fs::path& dir, const std::string& name) {
    return (dir / (std::string(kBuild.programName) + "-" + name + ".png")).string();
}

void Save(int panel, const std::string& path) {
    ProcessSystemEvents();
    if (SavePanelImage(panel, path) == 0)
        std::printf("%s\n", path.c_str());
    else
        std::fprintf(stderr, "could not write %s\n", path.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const fs::path out = argc > 1 ? argv[1] : "panel-pictures";
    fs::create_directories(out);
    if (InitCVIRTE(argc, argv) != 0) return 1;

    // A scratch program directory whose settings point at a port that does not exist, so the start-up
    // attempt fails at once and shows the interface panel as it looks without a sensor.
    const fs::path scratch = fs::temp_directory_path() / ("render-panels-" + std::to_string(::getpid()));
    fs::create_directories(scratch);
    uitest::Install(scratch.string());
    fs::create_symlink("/nonexistent/serial-device", scratch / "COM1");

    if (LoadMorvalenPanels() != 0) {
        std::fprintf(stderr, "panels did not load from %s\n", GetPanelDirectory().c_str());
        return 1;
    }
    DisplayPanel(mainpanel);
    InitAll();

    Save(mainpanel, Output(out, "main"));
    for (int page = 1; page <= kBuild.pageCount; ++page) {
        ShowDemoCurves(page);
        Save(mainpanel, Output(out, "page" + std::to_string(page)));
    }
    Save(interfacepanel, Output(out, "interface-rs232"));  // the start-up's failure and why
    // A server that refuses the connection: the status and, beside it, the cause.
    uitest::SetAndCommit(interfacepanel, INTERFACEP_PROTOCOL, 1);
    uitest::SetAndCommit(interfacepanel, INTERFACEP_SERVER, "127.0.0.1");
    uitest::SetAndCommit(interfacepanel, INTERFACEP_PORTNUMBER, "1");
    uitest::ExpectPopup("TCP Client", "UnableToEstablishConnection");
    uitest::Click(interfacepanel, INTERFACEP_TRY);
    Save(interfacepanel, Output(out, "interface-tcp"));

    DiscardMorvalenPanels();
    fs::remove_all(scratch);
    return 0;
}
