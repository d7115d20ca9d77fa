// Pictures of the scope while Go runs against the sensor emulator: the program starts against the emulator
// over TCP, teaches a few live frames into the teach table, and saves the main window from inside the
// live-data loop after a number of frames, in the density view (fixed and auto zoom) and the raw view.
//   render-live-orvane [output directory] [frames before the first picture]
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "com232.h"
#include "harness.h"
#include "live_data.h"
#include "platform.h"
#include "scope.h"
#include "sensor_emulator.h"
#include "teach_table.h"

namespace fs = std::filesystem;

namespace {

fs::path g_out;
int g_frames = 0;  // frames shown since Go

void Save(int panel, const std::string& name) {
    const std::string path = (g_out / ("OrvaneV33-go-" + name + ".png")).string();
    if (SavePanelImage(panel, path) == 0)
        std::printf("%s (after %d frames)\n", path.c_str(), g_frames);
    else
        std::fprintf(stderr, "could not write %s\n", path.c_str());
}

// Runs `action` inside the loop's waits once `frames` frames have been shown.
void AtFrame(int frames, std::function<void()> action) {
    uitest::RunDuringBusyWait([frames, action] {
        g_frames = static_cast<int>(uitest::WatchedValues().size());
        if (g_frames >= frames)
            action();
        else
            AtFrame(frames, action);
    });
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    g_out = argc > 1 ? argv[1] : "live-pictures";
    const int first = argc > 2 ? std::max(1, std::atoi(argv[2])) : 40;
    fs::create_directories(g_out);
    if (InitCVIRTE(argc, argv) != 0) return 1;
    const fs::path scratch = fs::temp_directory_path() / ("render-live-orvane-" + std::to_string(::getpid()));
    fs::create_directories(scratch);
    uitest::Install(scratch.string());

    sensor_emu::EmulatorOptions options;
    options.versionText = "ORVANE V3.3 2020-05-18";
    sensor_emu::SensorEmulator emulator(options);
    std::string error;
    if (!emulator.Start(&error)) {
        std::fprintf(stderr, "emulator: %s\n", error.c_str());
        return 1;
    }
    std::ofstream(scratch / "ComSettings.cfg") << "1\n1\n1\n127.0.0.1\n" << emulator.TcpPort() << "\n";
    if (LoadOrvanePanels() != 0) {
        std::fprintf(stderr, "panels did not load from %s\n", GetPanelDirectory().c_str());
        return 1;
    }
    DisplayOrvanePanels();
    InitAll();
    if (comecho != 1) {
        std::fprintf(stderr, "the scope did not connect to the emulator\n");
        return 1;
    }

    uitest::WatchValues(datapanel, DATAP_CH_L);
    ShowChildPanel(kChildTeachTable);
    uitest::Click(ttpanel, TTP_AUTO_INC);
    // Teach two live frames into rows 0 and 1; row 1 stays selected, its band is drawn.
    AtFrame(3, [] { uitest::Click(ttpanel, TTP_TEACH_DATA_TO); });
    AtFrame(6, [] {
        uitest::Click(ttpanel, TTP_TEACH_DATA_TO);
        uitest::SetAndCommit(ttpanel, TTP_NO, 1);
        Save(mainpanel, "start");
    });
    AtFrame(first, [] { Save(mainpanel, "density"); });
    AtFrame(first + 1, [] { uitest::DoubleClick(datapanel, DATAP_GRAPH_DENSITY); });
    AtFrame(first + 3, [] { Save(datapanel, "density-zoom"); });
    AtFrame(first + 4, [] { uitest::SelectListItem(datapanel, DATAP_SOURCE, 1); });
    AtFrame(first + 20, [] { Save(datapanel, "raw"); });
    AtFrame(first + 21, [] {
        uitest::SelectListItem(datapanel, DATAP_SOURCE, 0);
        ShowChildPanel(kChildParameters);
    });
    AtFrame(first + 24, [] {
        Save(mainpanel, "parameters");
        uitest::Click(mainpanel, MAINP_STOP);
    });
    uitest::Click(mainpanel, MAINP_GO);
    std::printf("Go ended after %d frames; status \"%s\"\n", static_cast<int>(uitest::WatchedValues().size()),
                version);

    if (tcpcon) DisconnectFromTCPServer(g_hconversation);
    tcpcon = 0;
    DiscardOrvanePanels();
    emulator.Stop();
    fs::remove_all(scratch);
    return 0;
}
