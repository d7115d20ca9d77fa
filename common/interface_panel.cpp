#include "interface_panel.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "com232.h"
#include "combobox.h"
#include "serial_devices_panel.h"
#include "settings_files.h"

char ipComboBoxFileName[600];
char conSettingsFileName[600];

const char* const InfoButtonConnect = " Open a panel to select an interface protocol.";
const char* const InfoEditCommunicationProtocol = " Select RS232 or TCP/IP Interface. ";
const char* const InfoEditConnect = " Select a serial COM-PORT.";
const char* const InfoEditSelectBaudrate =
    "Select the Baudrate for data transfer. \n\nAttention! Sensor and user surface \nmust work with the same "
    "Baudrate. ";
const char* const InfoStringIpAdress = " Select a Server by name or IP address.";
const char* const InfoStringPortNumber = " Select a port number.";
const char* const InfoButtonTryToConnect = " Try to connect sensor.";
const char* const InfoButtonAccept = " Accept settings and return to main panel.";
const char* const InfoButtonChangeBaudrate =
    "Save selected Baudrate to sensor. \n\nConfirm new baudrate with EEPROM and SEND.";
const char* const InfoEditID =
    " Insert sensor identification. \n This ID will be displayed in some panels of the software.";

namespace {

InterfaceProfile profile{};
// Accept and Change-baud-rate: usable after a version query succeeded (Accept until a setting changes),
// and held dimmed while an operation runs.
bool acceptUsable = false, changeBaudrateUsable = false, acceptHeld = false;

constexpr CtrlBinding kControls[] = {
    {INTERFACEP_PROTOCOL, "protocol", CBF_EditCommunicationProtocol},
    {INTERFACEP_COMPORT, "comPort", CBF_EditSelectComPort},
    {INTERFACEP_COMPORT_LABEL, "comPortLabel"},
    {INTERFACEP_BAUDRATE, "baudRate", CBF_EditSelectBaudrate},
    {INTERFACEP_BAUDRATE_LABEL, "baudRateLabel"},
    {INTERFACEP_SERVER, "server", CBF_StringIpAdress},
    {INTERFACEP_SERVER_LABEL, "serverLabel"},
    {INTERFACEP_PORTNUMBER, "portNumber", CBF_StringPortNumber},
    {INTERFACEP_PORTNUMBER_LABEL, "portNumberLabel"},
    {INTERFACEP_TRY, "tryToConnect", CBF_ButtonTryToConnect},
    {INTERFACEP_ACCEPT, "accept", CBF_ButtonAccept},
    {INTERFACEP_STATUS, "status"},
    {INTERFACEP_CAUSE, "linkCause"},
    {INTERFACEP_DEVICES, "devices", CBF_ButtonDevices},
    {INTERFACEP_COM_DEVICE, "comDevice"},
    // The scope's panel only:
    {INTERFACEP_CHANGE_BAUDRATE, "changeBaudrate", CBF_ButtonChangeBaudrate},
    {INTERFACEP_ID, "id", CBF_EditID},
};
constexpr std::size_t kSharedControls = 15;
constexpr PanelDef kPanel{"interface.ui", CBF_INTERFACEP, std::span(kControls).first(kSharedControls)};
constexpr PanelDef kScopePanel{"orvane_interface.ui", CBF_INTERFACEP, kControls};
constexpr int kIdMaxChars = 99;

constexpr const char* kBaudLabels[] = {"9600", "19200", "38400", "57600", "115200"};

bool ShowHelpOnRightClick(int event, const char* text) {
    if (event != EVENT_RIGHT_CLICK) return false;
    MessagePopup("INFO!", text);
    return true;
}

void ShowAcceptButtons() {
    SetCtrlAttribute(interfacepanel, INTERFACEP_ACCEPT, ATTR_DIMMED, acceptHeld || !acceptUsable);
    if (profile.hasBaudrateChange)
        SetCtrlAttribute(interfacepanel, INTERFACEP_CHANGE_BAUDRATE, ATTR_DIMMED,
                         acceptHeld || !changeBaudrateUsable);
}

void DimAcceptOnly() {
    acceptUsable = false;
    ShowAcceptButtons();
}

void SetShown(int ctrl, int shown) {
    SetCtrlAttribute(interfacepanel, ctrl, ATTR_VISIBLE, shown);
}

std::vector<std::string> HistoryEntries() {
    std::vector<std::string> entries;
    int count = 0;
    Combo_GetNumComboItems(interfacepanel, INTERFACEP_SERVER, count);
    for (int i = 0; i < count; ++i) {
        std::string text;
        if (Combo_GetComboItem(interfacepanel, INTERFACEP_SERVER, i, text) >= 0) entries.push_back(text);
    }
    return entries;
}

void CopyText(char* dest, std::size_t size, const std::string& text) {
    std::snprintf(dest, size, "%s", text.c_str());
}

void ReadPanelIntoVariables() {
    int value = 0;
    GetCtrlVal(interfacepanel, INTERFACEP_PROTOCOL, value);
    comprotocol = static_cast<unsigned short>(value);
    GetCtrlVal(interfacepanel, INTERFACEP_COMPORT, value);
    comport = static_cast<unsigned short>(value);
    GetCtrlVal(interfacepanel, INTERFACEP_BAUDRATE, value);
    baudrate = static_cast<unsigned short>(value);
    std::string text;
    GetCtrlVal(interfacepanel, INTERFACEP_SERVER, text);
    CopyText(ipBuf, sizeof ipBuf, CutToBytes(text, kServerTextMax));
    GetCtrlVal(interfacepanel, INTERFACEP_PORTNUMBER, text);
    CopyText(portNumStr, sizeof portNumStr, CutToBytes(text, kPortTextMax));
}

}  // namespace

void SetInterfaceProfile(const InterfaceProfile& p) {
    profile = p;
}

bool InterfaceIsScope() {
    return profile.hasBaudrateChange;
}

void HoldInterfaceForOperation(int held) {
    if (profile.dimDuringAttempt) profile.dimDuringAttempt(held);
}

const PanelDef& InterfacePanelDef() {
    return kPanel;
}

const PanelDef& ScopeInterfacePanelDef() {
    return kScopePanel;
}

void BuildSettingsFileNames(const char* programDir) {
    CopyText(ipComboBoxFileName, sizeof ipComboBoxFileName, MakePathname(programDir, "IPComboBox.cfg"));
    CopyText(conSettingsFileName, sizeof conSettingsFileName, MakePathname(programDir, "ComSettings.cfg"));
}

void PrepareInterfacePanel() {
    ClearListCtrl(interfacepanel, INTERFACEP_PROTOCOL);
    InsertListItem(interfacepanel, INTERFACEP_PROTOCOL, -1, "RS-232", 0);
    InsertListItem(interfacepanel, INTERFACEP_PROTOCOL, -1, "TCP/IP", 1);
    ClearListCtrl(interfacepanel, INTERFACEP_BAUDRATE);
    for (int i = 0; i < 5; ++i) InsertListItem(interfacepanel, INTERFACEP_BAUDRATE, -1, kBaudLabels[i], i);
    SetCtrlVal(interfacepanel, INTERFACEP_BAUDRATE, 1);
    SetInterfaceStatusBox(interfacepanel, INTERFACEP_STATUS);
    SetInterfaceCauseBox(interfacepanel, INTERFACEP_CAUSE);
    acceptHeld = false;
    DimAcceptButtons(1);  // until a version query succeeds
    StartFollowingDevices();
}

void InitServerHistory() {
    Combo_NewComboBox(interfacepanel, INTERFACEP_SERVER);
    Combo_SetComboAttribute(interfacepanel, INTERFACEP_SERVER, COMBO_ATTR_FRAME_COLOR, 0xE0E0E0);
    LoadServerHistory();
}

void LoadServerHistory() {
    for (const auto& entry : ReadServerHistory(ipComboBoxFileName))
        Combo_InsertComboItem(interfacepanel, INTERFACEP_SERVER, -1, entry);
}

void GetConnectionSettingsFromFile() {
    ComSettings s;
    if (!ReadComSettings(conSettingsFileName, s)) {
        comprotocol = 0;
        comport = 1;
        baudrate = 1;
        ShowComPortDevice();
        return;
    }
    comprotocol = static_cast<unsigned short>(s.protocol);
    comport = static_cast<unsigned short>(s.comPort);
    baudrate = static_cast<unsigned short>(s.baudIndex);
    CopyText(ipBuf, sizeof ipBuf, s.server);
    CopyText(portNumStr, sizeof portNumStr, s.portNumber);
    SetCtrlVal(interfacepanel, INTERFACEP_PROTOCOL, int(comprotocol));
    SetCtrlVal(interfacepanel, INTERFACEP_COMPORT, int(comport));
    SetCtrlVal(interfacepanel, INTERFACEP_BAUDRATE, int(baudrate));
    SetCtrlVal(interfacepanel, INTERFACEP_SERVER, std::string_view(ipBuf));
    SetCtrlVal(interfacepanel, INTERFACEP_PORTNUMBER, std::string_view(portNumStr));
    ShowComPortDevice();
}

void InitConnectPanel() {
    int protocol = 0;
    GetCtrlVal(interfacepanel, INTERFACEP_PROTOCOL, protocol);
    comprotocol = static_cast<unsigned short>(protocol);
    if (protocol != 0 && protocol != 1) return;
    const int serial = protocol == 0;
    for (int ctrl : {INTERFACEP_COMPORT, INTERFACEP_COMPORT_LABEL, INTERFACEP_BAUDRATE,
                     INTERFACEP_BAUDRATE_LABEL, INTERFACEP_DEVICES, INTERFACEP_COM_DEVICE})
        SetShown(ctrl, serial);
    if (profile.hasBaudrateChange) SetShown(INTERFACEP_CHANGE_BAUDRATE, serial);
    for (int ctrl : {INTERFACEP_SERVER_LABEL, INTERFACEP_PORTNUMBER, INTERFACEP_PORTNUMBER_LABEL})
        SetShown(ctrl, !serial);
    SetShown(INTERFACEP_SERVER, !serial);
    Combo_SetComboAttribute(interfacepanel, INTERFACEP_SERVER, COMBO_ATTR_VISIBLE, !serial);
}

void TryToConnect() {
    CloseCom(comport);
    ShowLinkStatus("TRY");
    ClearLinkCause();
    ReadPanelIntoVariables();
    ProcessSystemEvents();

    const int panel = profile.indicatorPanel;
    // Only digits make a port number: "5o401" is refused like "abc", not taken as port 5.
    std::string_view typed = portNumStr;
    while (!typed.empty() && typed.front() == ' ') typed.remove_prefix(1);
    while (!typed.empty() && typed.back() == ' ') typed.remove_suffix(1);
    const bool digits = !typed.empty() && typed.find_first_not_of("0123456789") == std::string_view::npos;
    portNum = digits ? DecimalValue(portNumStr) : 0;
    SetCtrlVal(panel, profile.comPortIndicator, int(comport));
    SetCtrlVal(panel, profile.serverIndicator, std::string_view(ServerWithPort()));
    const int serial = comprotocol == 0;
    SetCtrlAttribute(panel, profile.comPortIndicator, ATTR_VISIBLE, serial);
    SetCtrlAttribute(panel, profile.serverIndicator, ATTR_VISIBLE, !serial);
    if (serial)
        InitRS232();
    else
        InitTCP_IP();

    if (ret < 0)
        SetPopupTimeout();
    else
        CheckComLine();
}

void SaveCommunicationSettings() {
    ReadPanelIntoVariables();
    ComSettings s{comprotocol, comport, baudrate, ipBuf, portNumStr};
    if (!WriteComSettings(conSettingsFileName, s))
        MessagePopup("Interface settings",
                     std::string("The settings could not be stored in\n") + conSettingsFileName);
}

void ChangeBaudrate() {
    int value = 0;
    GetCtrlVal(interfacepanel, INTERFACEP_BAUDRATE, value);
    baudrate = static_cast<unsigned short>(value);
    SetCtrlVal(interfacepanel, INTERFACEP_STATUS, std::string_view("Try to change Baudrate!"));
    FlushQueues();
    order = 190;
    FillTxBuf(order, baudrate, 0, 0);  // the scope's frames take their argument first
    nBytesW = static_cast<unsigned short>(ComWrt(comport, szWriteBuf, 2 * anzframe));
    CheckEcho(3);
    if (comecho == 0) return;
    SetCtrlVal(interfacepanel, INTERFACEP_STATUS, std::string_view("Success!"));
    InitRS232();
    TryToConnect();
    if (comecho == 1) MessagePopup("INFO!", "Success! \n\nConfirme new Baudrate \nwith EEPROM and SEND.");
}

void DimAcceptButtons(int dimmed) {
    acceptUsable = changeBaudrateUsable = !dimmed;
    ShowAcceptButtons();
}

void HoldAcceptButtons(int held) {
    acceptHeld = held;
    ShowAcceptButtons();
}

// --- callbacks ------------------------------------------------------------------------------------------

int CBF_ButtonConnect(int, int, int event, void*, int, int) {
    if (ShowHelpOnRightClick(event, InfoButtonConnect)) return 0;
    if (event == EVENT_COMMIT && profile.openPanel) profile.openPanel();
    return 0;
}

int CBF_EditCommunicationProtocol(int, int, int event, void*, int, int) {
    if (ShowHelpOnRightClick(event, InfoEditCommunicationProtocol)) return 0;
    if (event == EVENT_COMMIT) {
        InitConnectPanel();
        DimAcceptButtons(1);
    }
    return 0;
}

int CBF_EditSelectComPort(int, int, int event, void*, int, int) {
    if (ShowHelpOnRightClick(event, InfoEditConnect)) return 0;
    if (event == EVENT_COMMIT || event == EVENT_VAL_CHANGED) ShowComPortDevice();
    if (event == EVENT_COMMIT) DimAcceptButtons(1);
    return 0;
}

int CBF_EditSelectBaudrate(int, int, int event, void*, int, int) {
    if (ShowHelpOnRightClick(event, InfoEditSelectBaudrate)) return 0;
    // The new rate may still have to be sent to the sensor, so Change-baud-rate stays usable.
    if (event == EVENT_COMMIT) DimAcceptOnly();
    return 0;
}

int CBF_StringIpAdress(int, int, int event, void*, int, int) {
    if (ShowHelpOnRightClick(event, InfoStringIpAdress)) return 0;
    if (event != EVENT_COMMIT) return 0;
    DimAcceptOnly();
    std::string text;
    GetCtrlVal(interfacepanel, INTERFACEP_SERVER, text);
    CopyText(ipBuf, sizeof ipBuf, CutToBytes(text, kServerTextMax));
    // The history holds what a record can keep, so the entry is compared and stored in that form.
    const std::string entry = CutToBytes(ipBuf, kHistoryRecordBytes);
    int index = -1;
    if (Combo_GetIndexFromValue(interfacepanel, INTERFACEP_SERVER, index, entry) >= 0 && index >= 0)
        Combo_DeleteComboItem(interfacepanel, INTERFACEP_SERVER, index, 1);
    Combo_InsertComboItem(interfacepanel, INTERFACEP_SERVER, 0, entry);
    int count = 0;
    Combo_GetNumComboItems(interfacepanel, INTERFACEP_SERVER, count);
    if (count > kHistoryMaxEntries)
        Combo_DeleteComboItem(interfacepanel, INTERFACEP_SERVER, kHistoryMaxEntries, -1);
    if (!WriteServerHistory(ipComboBoxFileName, HistoryEntries()))
        MessagePopup("Interface settings",
                     std::string("The server history could not be stored in\n") + ipComboBoxFileName);
    return 0;
}

int CBF_StringPortNumber(int, int, int event, void*, int, int) {
    if (ShowHelpOnRightClick(event, InfoStringPortNumber)) return 0;
    if (event == EVENT_COMMIT) DimAcceptOnly();
    return 0;
}

int CBF_ButtonTryToConnect(int, int, int event, void*, int, int) {
    if (ShowHelpOnRightClick(event, InfoButtonTryToConnect)) return 0;
    if (event != EVENT_COMMIT) return 0;
    if (profile.dimDuringAttempt) profile.dimDuringAttempt(1);
    TryToConnect();
    if (profile.dimDuringAttempt) profile.dimDuringAttempt(0);
    return 0;
}

int CBF_ButtonAccept(int, int, int event, void*, int, int) {
    if (ShowHelpOnRightClick(event, InfoButtonAccept)) return 0;
    if (event != EVENT_COMMIT) return 0;
    SaveCommunicationSettings();
    if (profile.afterAccept) profile.afterAccept();
    return 0;
}

int CBF_ButtonChangeBaudrate(int, int, int event, void*, int, int) {
    if (ShowHelpOnRightClick(event, InfoButtonChangeBaudrate)) return 0;
    if (event != EVENT_COMMIT) return 0;
    if (profile.dimDuringAttempt) profile.dimDuringAttempt(1);
    DimAcceptButtons(1);
    ChangeBaudrate();
    if (profile.dimDuringAttempt) profile.dimDuringAttempt(0);
    return 0;
}

int CBF_EditID(int, int, int event, void*, int, int) {
    if (ShowHelpOnRightClick(event, InfoEditID)) return 0;
    if (event != EVENT_COMMIT || !profile.showSensorId) return 0;
    std::string text;
    GetCtrlVal(interfacepanel, INTERFACEP_ID, text);
    profile.showSensorId(CutToBytes(text, kIdMaxChars).c_str());
    return 0;
}

int CBF_INTERFACEP(int, int, int event, void*, int, int) {
    if (event == EVENT_CLOSE && profile.onPanelClose) profile.onPanelClose();
    return 0;
}
