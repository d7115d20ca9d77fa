// Renders the panels of the Orvane scope to PNG files, offscreen, filled with example data: a minute of
// measurement frames on the data panel, a few taught rows with their tolerance bands, the interface panel
// in both protocols, the recorder in each record mode and the graph panel with a recorded course.
//   render-panels-orvane [output directory]
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "graph_panel.h"
#include "harness.h"
#include "interface_panel.h"
#include "live_data.h"
#include "parameter_image.h"
#include "parameters.h"
#include "platform.h"
#include "recorder.h"
#include "scope.h"
#include "teach_table.h"

namespace fs = std::filesystem;

namespace {

fs::path g_out;

void Save(int panel, const std::string& name) {
    // Bars and charts repaint at the screen's pace: let a few frames pass.
    const double start = Timer();
    while (Timer() - start < 0.1) ProcessSystemEvents();
    const std::string path = (g_out / ("OrvaneV33-" + name + ".png")).string();
    if (SavePanelImage(panel, path) == 0)
        std::printf("%s\n", path.c_str());
    else
        std::fprintf(stderr, "could not write %s\n", path.c_str());
}

// A small deterministic noise source, so every run draws the same pictures.
double Noise(unsigned& state) {
    state = state * 1664525u + 1013904223u;
    return double(state >> 8) / double(1u << 24) - 0.5;  // -0.5 .. 0.5
}

// Frame k of an example run: a sample passing the sensor, its colour drifting slowly around teach row 3.
void ExampleFrame(int k, unsigned& noise) {
    const double wave = std::sin(k / 9.0);
    auto word = [](double v) {
        return static_cast<unsigned short>(std::lround(std::clamp(v, 0.0, 65535.0)));
    };
    dataChL = word(1820 + 140 * wave + 30 * Noise(noise));
    dataChC = word(2460 + 90 * wave + 30 * Noise(noise));
    dataChR = word(1570 + 170 * wave + 30 * Noise(noise));
    dataDensity = word(2100 + 60 * wave + 20 * Noise(noise));
    dataSym1 = word(545 + 25 * wave + 8 * Noise(noise));
    dataSym2 = word(512 - 20 * wave + 8 * Noise(noise));
    dataVec = 3;
    dataTemp =
        word(309.5 + 0.6 * wave);  // whole numbers one apart: the graph's axis must not fill its height
    dataAktMaxChL = std::max<unsigned short>(dataAktMaxChL, dataChL);
    dataAktMaxChC = std::max<unsigned short>(dataAktMaxChC, dataChC);
    dataAktMaxChR = std::max<unsigned short>(dataAktMaxChR, dataChR);
    dataTrigger = (k / 20) % 2;
}

// Five taught rows (density, tolerance, symmetry 1, tolerance, symmetry 2, tolerance); row 3 is selected.
void TeachExampleRows() {
    for (int r = 0; r < 5; ++r) {
        const int values[kTeachColumns] = {1200 + 300 * r, 100, 300 + 80 * r, 50, 700 - 60 * r, 50};
        for (int c = 0; c < kTeachColumns; ++c)
            SetTableCellVal(ttpanel, TTP_TABLE, {c + 1, r + 1}, static_cast<unsigned short>(values[c]));
    }
    for (int c = 0; c < kTeachColumns; ++c)  // the widest number a cell takes
        SetTableCellVal(ttpanel, TTP_TABLE, {c + 1, 6}, static_cast<unsigned short>(65535));
    uitest::SetAndCommit(parapanel, PARAP_MAX_NO, 4);
    uitest::SetAndCommit(ttpanel, TTP_NO, 3);
}

void ShowExampleFrames() {
    unsigned noise = 12345;
    for (int k = 0; k < kHistoryFrames; ++k) {
        ExampleFrame(k, noise);
        SetPanelData();
    }
    ShowGraph();
}

void RecordExampleCourse() {
    InitPanelGraph();
    unsigned noise = 777;
    for (int k = 0; k < 60; ++k) {
        ExampleFrame(k * 3, noise);
        SetPanelGraphData();
    }
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    g_out = argc > 1 ? argv[1] : "panel-pictures";
    fs::create_directories(g_out);
    if (InitCVIRTE(argc, argv) != 0) return 1;

    // A scratch program directory whose settings point at a port that does not exist, so the start-up
    // attempt fails at once.
    const fs::path scratch =
        fs::temp_directory_path() / ("render-panels-orvane-" + std::to_string(::getpid()));
    fs::create_directories(scratch);
    uitest::Install(scratch.string());
    fs::create_symlink("/nonexistent/serial-device", scratch / "COM1");

    if (LoadOrvanePanels() != 0) {
        std::fprintf(stderr, "panels did not load from %s\n", GetPanelDirectory().c_str());
        return 1;
    }
    DisplayOrvanePanels();
    InitAll();
    Save(mainpanel, "start");  // the link failed: the interface panel is up

    // The measurement as the live-data loop shows it, with maximum tracing and an external trigger, so every
    // display of the data panel is on.
    uitest::SetAndCommit(parapanel, PARAP_POWER, 620);
    uitest::SetAndCommit(parapanel, PARAP_CHANNEL_MODE, 3);
    uitest::SetAndCommit(parapanel, PARAP_AVERAGE, 16);
    uitest::SetAndCommit(parapanel, PARAP_EVAL_MODE, 1);
    uitest::SetAndCommit(parapanel, PARAP_TRIGGER, 1);
    TeachExampleRows();
    SetCtrlVal(datapanel, DATAP_STATUS, std::string_view("ORVANE V3.3 2020-05-18"));
    SetCtrlVal(interfacepanel, INTERFACEP_STATUS, std::string_view("ORVANE V3.3 2020-05-18"));
    SetCtrlVal(recpanel, RECP_SENSOR_ID, std::string_view("Line 2 / station 4"));
    SetCtrlVal(colbigpanel, COLBIGP_SENSOR_ID, std::string_view("Line 2 / station 4"));
    ShowExampleFrames();
    ShowChildPanel(kChildParameters);
    Save(mainpanel, "main");
    Save(parapanel, "parameters");
    Save(datapanel, "data");

    uitest::SelectListItem(datapanel, DATAP_SOURCE, 1);
    ShowGraph();
    Save(mainpanel, "main-raw");
    uitest::SelectListItem(datapanel, DATAP_SOURCE, 0);

    uitest::SetAndCommit(parapanel, PARAP_EVAL_MODE, 0);
    uitest::SetAndCommit(parapanel, PARAP_TRIGGER, 0);
    Save(datapanel, "data-normal");

    ShowChildPanel(kChildTeachTable);
    Save(mainpanel, "main-teach-table");
    Save(ttpanel, "teach-table");

    ShowChildPanel(kChildInterface);
    SetCtrlVal(interfacepanel, INTERFACEP_CAUSE, std::string_view());  // as after a good connection
    Save(mainpanel, "main-interface-rs232");
    Save(interfacepanel, "interface-rs232");

    ShowChildPanel(kChildRecorder);
    uitest::SetAndCommit(recpanel, RECP_INTERVAL, 30);
    uitest::SetAndCommit(recpanel, RECP_COUNT, 5000);
    for (int mode = 0; mode < 4; ++mode) {
        uitest::SelectListItem(recpanel, RECP_MODE, mode);
        Save(mode == 0 ? mainpanel : recpanel,
             (mode == 0 ? "main-recorder-mode" : "recorder-mode") + std::to_string(mode));
    }
    uitest::SelectListItem(recpanel, RECP_MODE, 0);

    RecordExampleCourse();
    uitest::Click(datapanel, DATAP_SHOW_GRAPH);
    uitest::SelectListItem(graphpanel, GRAPHP_SIGNAL, 3);
    Save(mainpanel, "main-graph");
    uitest::SelectListItem(graphpanel, GRAPHP_SIGNAL, 0);
    Save(graphpanel, "graph-ch-l");
    uitest::SelectListItem(graphpanel, GRAPHP_SIGNAL, 6);
    Save(graphpanel, "graph-temp");
    uitest::SelectListItem(graphpanel, GRAPHP_SIGNAL, 0);
    uitest::Click(graphpanel, GRAPHP_CLOSE);

    // A power beyond the slider's range, as a sensor or a parameter file may bring it.
    GetPanelValues();
    paraPower = 2500;
    SetPanelValues();
    Save(parapanel, "parameters-power-2500");

    SetCtrlVal(colbigpanel, COLBIGP_VECTOR, static_cast<unsigned short>(255));
    Save(colbigpanel, "big-vector-255");
    SetCtrlVal(colbigpanel, COLBIGP_VECTOR, dataVec);
    Save(colbigpanel, "big-vector");

    // A server that refuses the connection: the status and, beside it, the cause; Via names server and port.
    ShowChildPanel(kChildInterface);
    uitest::SetAndCommit(interfacepanel, INTERFACEP_PROTOCOL, 1);
    uitest::SetAndCommit(interfacepanel, INTERFACEP_SERVER, "127.0.0.1");
    uitest::SetAndCommit(interfacepanel, INTERFACEP_PORTNUMBER, "1");
    uitest::Click(interfacepanel, INTERFACEP_TRY);
    Save(mainpanel, "main-interface-tcp");
    Save(interfacepanel, "interface-tcp");

    EndOrvane();
    fs::remove_all(scratch);
    return 0;
}
