#include "scope.h"

#include <cstdio>
#include <string>

#include "about.h"
#include "build_info.h"
#include "com232.h"
#include "frame_log.h"
#include "interface_panel.h"
#include "live_data.h"
#include "logo.h"
#include "parameter_files.h"
#include "parameters.h"
#include "recorder.h"
#include "scope_link.h"

const char* const InfoButtonPara = " Switch to sensor parameters.";
const char* const InfoButtonTeachTable = " Switch to color teach table.";
const char* const InfoButtonSend =
    " All the parameters of the PC-User-Interface are transferred to the sensor or to a selectable file. \n"
    " The target of the parameter transfer is determined by the select button (RAM, EEPROM, FILE). \n"
    " Shortcut Key: F9. ";
const char* const InfoButtonGet =
    " Sensor or file parameters are transferred to the PC-User-Interface. \n"
    " The source of the parameter transfer is determined by the select button (RAM, EEPROM, FILE). \n"
    " Shortcut Key: F10. ";
const char* const InfoButtonGo =
    " Starts data transfer (CH_REF, CH_DIR, CH_DIF, NORM, INT, V-No:) from sensor to PC. \n"
    " The data are shown in the displays, bars and in the graph.\n"
    " Shortcut Key: F11. ";
const char* const InfoButtonStop = " Stops data transfer from sensor to PC.\n Shortcut Key: F12. ";

namespace {

constexpr int kLogoBrand = 5;
constexpr const char* kTitle = "ORVANE-Scope V3.3";
constexpr double kSendHoldSeconds = 0.5;

void CopyText(char* dest, std::size_t size, const std::string& text) {
    std::snprintf(dest, size, "%s", text.c_str());
}

}  // namespace

void DisplayOrvanePanels() {
    ShowChildPanel(kChildParameters);
    DisplayPanel(datapanel);
    DisplayPanel(mainpanel);
}

void EndRunOnSignal(int) {
    poll = 0;
    QuitUserInterface(0);
}

int OrvaneMain(int argc, char** argv) {
    if (PrintVersionIfAsked(argc, argv, "OrvaneV33")) return 0;
    if (InitCVIRTE(argc, argv) != 0) return -1;
    InstallTerminationHandler(EndRunOnSignal);
    OpenFrameLogFromStartup(argc, argv);
    int code = -1;
    if (LoadOrvanePanels() == 0) {
        DisplayOrvanePanels();
        InitAll();
        RunUserInterface();
        EndOrvane();
        code = 0;
    }
    CloseCVIRTE();
    return code;
}

void InitAll() {
    SetScopeProfiles();
    SetAboutProgram("OrvaneV33");
    SetLogoProfile({mainpanel, MAINP_LOGO_BOX, MAINP_LOGO_PICTURE, kTitle, 12, 280});
    SetPanelAttribute(mainpanel, ATTR_PANEL_TITLE, kTitle);
    PrepareInterfacePanel();

    anzpara = 202;
    anzframe = 18;
    anzVec = 31;
    anzOut = 5;
    tcpcon = 0;
    syncWord = 0x55;
    order = 1;
    target = RAM;
    poll = 0;

    std::string dir;
    GetProjectDir(dir);
    CopyText(proj_dir, sizeof proj_dir, dir);
    BuildSettingsFileNames(proj_dir);
    InitRecordFileName(proj_dir);
    CopyText(paraFileName, sizeof paraFileName, proj_dir);

    SetCtrlVal(datapanel, DATAP_STATUS, std::string_view("InitVars"));
    DispVis();
    ShowLogo(kLogoBrand);
    GetPanelValues();

    InitServerHistory();
    GetConnectionSettingsFromFile();
    InitConnectPanel();

    SetButtonsDimmed(1);
    TryToConnect();
    SetButtonsDimmed(0);
}

void EndOrvane() {
    if (tcpcon) DisconnectFromTCPServer(g_hconversation);
    tcpcon = 0;
    g_hconversation = 0;
    DiscardOrvanePanels();
}

// --- callbacks ------------------------------------------------------------------------------------------

int CBF_MAINP(int, int, int event, void*, int, int) {
    if (event == EVENT_CLOSE) {
        poll = 0;
        QuitUserInterface(0);
    }
    return 0;
}

int CBF_PARAP(int, int, int, void*, int, int) {
    return 0;
}
int CBF_TTP(int, int, int, void*, int, int) {
    return 0;
}
int CBF_DATAP(int, int, int, void*, int, int) {
    return 0;
}

int CBF_COLBIGP(int, int, int event, void*, int, int) {
    if (event == EVENT_RIGHT_CLICK || event == EVENT_CLOSE) HidePanel(colbigpanel);
    return 0;
}

int CBF_ButtonPara(int, int, int event, void*, int, int) {
    if (ShowHelp(event, InfoButtonPara)) return 0;
    if (event == EVENT_COMMIT) ShowChildPanel(kChildParameters);
    return 0;
}

int CBF_ButtonTeachTable(int, int, int event, void*, int, int) {
    if (ShowHelp(event, InfoButtonTeachTable)) return 0;
    if (event == EVENT_COMMIT) ShowChildPanel(kChildTeachTable);
    return 0;
}

int CBF_ButtonSend(int, int, int event, void*, int, int) {
    if (ShowHelp(event, InfoButtonSend)) return 0;
    if (event != EVENT_COMMIT) return 0;
    SetButtonsDimmed(1);
    if (target == DATFILE)
        SendParaToFile();
    else
        SendPara();
    // The sensor stores what it got before it takes the next order.
    ProcessSystemEventsUntil(Timer() + kSendHoldSeconds);
    SetButtonsDimmed(0);
    return 0;
}

int CBF_ButtonGet(int, int, int event, void*, int, int) {
    if (ShowHelp(event, InfoButtonGet)) return 0;
    if (event != EVENT_COMMIT) return 0;
    SetButtonsDimmed(1);
    if (target == DATFILE)
        ReadParaFromFile();
    else
        GetPara();
    SetButtonsDimmed(0);
    return 0;
}

int CBF_ButtonGo(int, int, int event, void*, int, int) {
    if (ShowHelp(event, InfoButtonGo)) return 0;
    if (event != EVENT_COMMIT) return 0;
    SetButtonsDimmed(1);
    GetData();
    SetButtonsDimmed(0);
    return 0;
}

int CBF_ButtonStop(int, int, int event, void*, int, int) {
    if (ShowHelp(event, InfoButtonStop)) return 0;
    if (event == EVENT_COMMIT) poll = 0;
    return 0;
}
