#include "scope_link.h"

#include <string_view>

#include "com232.h"
#include "interface_panel.h"
#include "live_data.h"
#include "parameter_image.h"
#include "parameters.h"
#include "scope.h"

namespace {

constexpr int kPayloadStartWord = 2;  // word 2 is byte 4
constexpr int kPayloadWords = 16;     // words 2..17 of the 36-byte frame

void ShowStatusText() {
    ShowLinkStatus(szStatus);
}

void StopPolling() {
    poll = 0;
}

void AfterVersionQuery() {
    GetPara();
    DimAcceptButtons(0);
}

void ShowInterfacePanel() {
    ShowChildPanel(kChildInterface);
}

void OpenInterfacePanel() {
    poll = 0;
    ShowChildPanel(kChildInterface);
}

void ShowParameterPanel() {
    ShowChildPanel(kChildParameters);
}

void ShowSensorId(const char* id) {
    SetCtrlVal(colbigpanel, COLBIGP_SENSOR_ID, std::string_view(id));
    SetCtrlVal(recpanel, RECP_SENSOR_ID, std::string_view(id));
}

}  // namespace

void FillScopePayload(unsigned short code, unsigned short arg, unsigned short, unsigned short) {
    switch (code) {
        case 2:
            PutWord(szWriteBuf, kPayloadStartWord, arg);
            for (int c = 0; c < kTeachColumns; ++c)
                PutWord(szWriteBuf, kPayloadStartWord + 1 + c, pp[TeachWord(arg, c)]);
            break;
        case 4:
        case 50:
        case 190:
            PutWord(szWriteBuf, kPayloadStartWord, arg);
            break;
        default:
            for (int i = 0; i < kPayloadWords; ++i) PutWord(szWriteBuf, kPayloadStartWord + i, pp[i]);
            break;
    }
}

void SetScopeProfiles() {
    LinkProfile link{};
    link.echoTimeout = 3.0;
    link.replyTimeout = 3.0;
    link.fillPayload = FillScopePayload;
    link.beforeOpenSerial = StopPolling;
    link.beforeVersionQuery = StopAutoSend;
    link.afterVersionQuery = AfterVersionQuery;
    link.showInterfacePanel = ShowInterfacePanel;
    link.showTcpError = ShowStatusText;
    link.showSerialError = ShowStatusText;
    link.stopPolling = StopPolling;
    link.tcpReadPumpsEvents = true;
    link.statusPanel = datapanel;
    link.statusCtrl = DATAP_STATUS;
    SetLinkProfile(link);

    InterfaceProfile iface{};
    iface.openPanel = OpenInterfacePanel;
    iface.afterAccept = ShowParameterPanel;
    iface.dimDuringAttempt = SetButtonsDimmed;
    iface.onPanelClose = nullptr;
    iface.hasBaudrateChange = true;
    iface.showSensorId = ShowSensorId;
    iface.indicatorPanel = datapanel;
    iface.comPortIndicator = DATAP_COMPORT;
    iface.serverIndicator = DATAP_SERVER;
    SetInterfaceProfile(iface);
}
