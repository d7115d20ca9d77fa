#include "morvalen.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "about.h"
#include "build_info.h"
#include "com232.h"
#include "combobox.h"
#include "frame_log.h"
#include "gui.h"
#include "interface_panel.h"
#include "logo.h"
#include "operation_line.h"
#include "platform.h"
#include "serial_devices_panel.h"
#include "transfer.h"

int mainpanel = 0;
int interfacepanel = 0;
int datapanel1 = 0, datapanel2 = 0, datapanel3 = 0, datapanel4 = 0, datapanel5 = 0, datapanel6 = 0,
    datapanel7 = 0;

std::uint16_t selSensor = 0;
char proj_dir[512];

const char* const InfoEditSelectSensor = "Select the sensor for temperature compensation.";

namespace {

constexpr int kPageTop = 105;
constexpr int kPageLeft = 8;
constexpr int kLogoBrand = 0;

int* const kDataPanels[] = {&datapanel1, &datapanel2, &datapanel3, &datapanel4,
                            &datapanel5, &datapanel6, &datapanel7};

constexpr CtrlBinding kMainControls[] = {
    {MAINP_SELECT_SENSOR, "selectSensor", CBF_EditSelectSensor},
    {MAINP_STATUS, "status", CBF_DispStatus},
    {MAINP_COMPORT, "comPort"},
    {MAINP_SERVER, "server"},
    {MAINP_CONNECT, "connect", CBF_ButtonConnect},
    {MAINP_LOGO_BOX, "logoBox"},
    {MAINP_LOGO_PICTURE, "logoPicture"},
    {MAINP_ABOUT, "about", CBF_ButtonAbout},
};
constexpr PanelDef kMainPanel{"morvalen_main.ui", CBF_MAINP, kMainControls};

// The selector's item label: the code and the model families the build's table gives it.
std::string SelectorLabel(std::uint16_t code) {
    std::string label = std::to_string(code) + "  ";
    bool first = true;
    for (int row = 0; row < kBuild.sensorRows; ++row) {
        if (kSensorTable[row].code != code) continue;
        const std::string family = FamilyOf(kSensorTable[row]);
        if (label.find(family) != std::string::npos) continue;
        label += (first ? "" : ", ") + family;
        first = false;
    }
    return label;
}

void FillSensorSelector() {
    ClearListCtrl(mainpanel, MAINP_SELECT_SENSOR);
    for (const auto& cp : kCodePages)
        if (cp.page <= kBuild.pageCount)
            InsertListItem(mainpanel, MAINP_SELECT_SENSOR, -1, SelectorLabel(cp.code), int(cp.code));
}

// --- what the shared link and interface panel do differently in this program ---------------------------

void DisplayInterfacePanel() {
    DisplayPanel(interfacepanel);
}
void HideInterfacePanel() {
    HidePanel(interfacepanel);
}
void ShowTcpErrorPopup() {
    MessagePopup("TCP Client", szStatus);
}
void ShowSerialErrorOnMainPanel() {
    SetCtrlVal(mainpanel, MAINP_STATUS, std::string_view(szStatus));
}

void AfterVersionQuery() {
    DimAcceptButtons(0);
    SetChildPanel();
}

void OpenInterfacePanel() {
    DimAcceptButtons(1);
    DisplayPanel(interfacepanel);
}

void SetProgramProfiles() {
    LinkProfile link{};
    link.echoTimeout = 2.0;
    link.replyTimeout = 2.0;  // this program sends no read orders
    link.fillPayload = FillWindowPayload;
    link.afterVersionQuery = AfterVersionQuery;
    link.showInterfacePanel = DisplayInterfacePanel;
    link.showTcpError = ShowTcpErrorPopup;
    link.showSerialError = ShowSerialErrorOnMainPanel;
    link.tcpReadPumpsEvents = false;
    link.statusPanel = mainpanel;
    link.statusCtrl = MAINP_STATUS;
    SetLinkProfile(link);

    InterfaceProfile iface{};
    iface.openPanel = OpenInterfacePanel;
    iface.afterAccept = HideInterfacePanel;
    iface.dimDuringAttempt = HoldExchangeControls;
    iface.onPanelClose = HideInterfacePanel;
    iface.hasBaudrateChange = false;
    iface.indicatorPanel = mainpanel;
    iface.comPortIndicator = MAINP_COMPORT;
    iface.serverIndicator = MAINP_SERVER;
    SetInterfaceProfile(iface);

    SetLogoProfile({mainpanel, MAINP_LOGO_BOX, MAINP_LOGO_PICTURE, kBuild.title, 10, 240});
    SetAboutProgram(kBuild.programName);
}

}  // namespace

int DataPanel(int page) {
    if (page < 1 || page > kBuild.pageCount || page > 7) return 0;
    return *kDataPanels[page - 1];
}

int LoadMorvalenPanels() {
    mainpanel = LoadPanel(0, kMainPanel);
    bool ok = mainpanel > 0;
    for (int page = 1; ok && page <= kBuild.pageCount; ++page) {
        int& handle = *kDataPanels[page - 1];
        handle = LoadPanel(mainpanel, PagePanelDef(page));
        ok = handle > 0;
    }
    if (ok) {
        interfacepanel = LoadPanel(0, InterfacePanelDef());
        ok = interfacepanel > 0;
    }
    if (!ok) {
        DiscardMorvalenPanels();
        return -1;
    }
    for (int page = 1; page <= kBuild.pageCount; ++page) SetPanelPos(DataPanel(page), kPageTop, kPageLeft);
    SetPanelAttribute(mainpanel, ATTR_PANEL_TITLE, kBuild.title);
    SetPanelAttribute(interfacepanel, ATTR_PANEL_CLOSE_ON_ESCAPE, 1);  // Escape closes it as its close box
    FillSensorSelector();
    return 0;
}

void DiscardMorvalenPanels() {
    // Nothing may address the panels once they are gone: not the link's status box, not the combo box.
    SetInterfaceStatusBox(0, 0);
    CloseSerialDevicesPanel();
    SetInterfaceCauseBox(0, 0);
    SetOperationLine(0, 0);
    if (interfacepanel > 0) {
        Combo_DiscardComboBox(interfacepanel, INTERFACEP_SERVER);
        DiscardPanel(interfacepanel);
    }
    if (mainpanel > 0) DiscardPanel(mainpanel);  // its pages go with it
    mainpanel = interfacepanel = 0;
    for (int* handle : kDataPanels) *handle = 0;
}

void InitAll() {
    SetProgramProfiles();
    PrepareInterfacePanel();
    DimAcceptButtons(1);

    anzframe = 18;
    comport = 1;
    tcpcon = 0;
    syncWord = 0x55;
    order = 1;
    selSensor = 0;

    std::string dir;
    GetProjectDir(dir);
    std::snprintf(proj_dir, sizeof proj_dir, "%s", dir.c_str());
    BuildSettingsFileNames(proj_dir);

    ShowLogo(kLogoBrand);

    InitServerHistory();
    GetConnectionSettingsFromFile();
    InitConnectPanel();
    // Events run while the attempt waits; no exchange may start inside it.
    HoldExchangeControls(1);
    TryToConnect();
    HoldExchangeControls(0);
}

void SetChildPanel() {
    selSensor = IdentifySensor(version, selSensor);
    // Code 0 (no model recognised yet) has no item: the selector then keeps its item, which decides the page.
    int index = 0;
    if (GetIndexFromValue(mainpanel, MAINP_SELECT_SENSOR, index, int(selSensor)) == 0)
        SetCtrlVal(mainpanel, MAINP_SELECT_SENSOR, int(selSensor));
    ShowChildPanel();
}

void ShowChildPanel() {
    int value = 0;
    GetCtrlVal(mainpanel, MAINP_SELECT_SENSOR, value);
    selSensor = static_cast<std::uint16_t>(value);
    for (int page = 1; page <= kBuild.pageCount; ++page) HidePanel(DataPanel(page));
    const int page = PageForSensorCode(selSensor);
    if (page) DisplayPanel(DataPanel(page));
    // The page shown carries the line that says what the last operation did.
    SetOperationLine(DataPanel(page), DATAP_LAST_OPERATION);
}

int CBF_MAINP(int, int, int event, void*, int, int) {
    if (event == EVENT_CLOSE) QuitUserInterface(0);
    return 0;
}

int CBF_EditSelectSensor(int, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT) ShowChildPanel();
    if (event == EVENT_RIGHT_CLICK) MessagePopup("INFO!", InfoEditSelectSensor);
    return 0;
}

int CBF_DispStatus(int, int, int, void*, int, int) {
    return 0;
}

void EndRunOnSignal(int) {
    QuitUserInterface(0);
}

int MorvalenMain(int argc, char** argv) {
    if (PrintVersionIfAsked(argc, argv, kBuild.programName)) return 0;
    if (InitCVIRTE(argc, argv) != 0) return -1;
    InstallTerminationHandler(EndRunOnSignal);
    OpenFrameLogFromStartup(argc, argv);
    int code = -1;
    if (LoadMorvalenPanels() == 0) {
        DisplayPanel(mainpanel);
        InitAll();
        RunUserInterface();
        EndMorvalen();
        code = 0;
    }
    CloseCVIRTE();
    return code;
}

void EndMorvalen() {
    if (tcpcon) DisconnectFromTCPServer(g_hconversation);
    tcpcon = 0;
    g_hconversation = 0;
    DiscardMorvalenPanels();
}
