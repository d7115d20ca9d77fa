#include "scope_link.h"

#include <string_view>

#include "com232.h"
#include "interface_panel.h"
#include "live_data.h"
#include "operation_line.h"
#include "parameter_image.h"
#include "parameters.h"
#include "scope_state.h"
#include "sensor_exchange.h"

namespace {

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

void SetScopeProfiles() {
    LinkProfile link{};
    link.echoTimeout = 3.0;
    link.replyTimeout = 3.0;
    link.fillPayload = FillScopeWindowPayload;
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
    SetOperationLine(datapanel, DATAP_LAST_OPERATION);

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
