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
#include "serial_devices_panel.h"

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
    // Two USB adapters for the serial devices window (/dev/null and /dev/zero stand in for their lines), one
    // as COM2.
    const fs::path byId = scratch / "dev" / "serial" / "by-id";
    fs::create_directories(byId);
    const char* adapters[][4] = {
        {"usb-FTDI_FT232R_USB_UART_A10K1LQX-if00-port0", "ttyUSB0",
         "vendor=0403\nproduct=6001\nmanufacturer=FTDI\nserial=A10K1LQX\ndescription=FT232R USB UART\n",
         "/dev/null"},
        {"usb-Prolific_Technology_Inc._USB-Serial_Controller-if00-port0", "ttyUSB1",
         "vendor=067b\nproduct=2303\nmanufacturer=Prolific Technology Inc.\n", "/dev/zero"}};
    for (const auto& [name, tty, description, line] : adapters) {
        fs::create_symlink(line, scratch / "dev" / tty);
        fs::create_symlink(std::string("../../") + tty, byId / name);
        std::FILE* f = std::fopen((byId / (std::string(name) + ".desc")).c_str(), "w");
        if (f) std::fputs(description, f), std::fclose(f);
    }
    fs::create_symlink(byId / adapters[0][0], scratch / "COM2");
    setenv("COLOUR_SENSOR_DEVICE_DIR", (scratch / "dev").c_str(), 1);

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
    uitest::Click(interfacepanel, INTERFACEP_DEVICES);
    uitest::SelectListItem(devicespanel, DEVICESP_LIST, 2);
    Save(devicespanel, Output(out, "serial-devices"));
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
