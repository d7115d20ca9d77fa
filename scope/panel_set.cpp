// The scope's eight panels: one binding table per panel file (control id, objectName, callback), the
// loading order and the places of the child panels.
#include <iterator>

#include "about.h"
#include "com232.h"
#include "combobox.h"
#include "graph_panel.h"
#include "interface_panel.h"
#include "live_data.h"
#include "operation_line.h"
#include "parameters.h"
#include "recorder.h"
#include "scope.h"
#include "serial_devices_panel.h"
#include "teach_table.h"

namespace {

constexpr CtrlBinding kMainControls[] = {
    {MAINP_CONNECT, "connect", CBF_ButtonConnect},
    {MAINP_PARAMETERS, "parameters", CBF_ButtonPara},
    {MAINP_TEACH_TABLE, "teachTable", CBF_ButtonTeachTable},
    {MAINP_RECORDER, "recorder", CBF_ButtonRecorder},
    {MAINP_SEND, "send", CBF_ButtonSend},
    {MAINP_GET, "get", CBF_ButtonGet},
    {MAINP_GO, "go", CBF_ButtonGo},
    {MAINP_STOP, "stop", CBF_ButtonStop},
    {MAINP_SELECT_RAM, "selectRam", CBF_SelectRAM},
    {MAINP_SELECT_EEPROM, "selectEeprom", CBF_SelectEEPROM},
    {MAINP_SELECT_FILE, "selectFile", CBF_SelectFILE},
    {MAINP_LOGO_BOX, "logoBox"},
    {MAINP_LOGO_PICTURE, "logoPicture"},
    {MAINP_ABOUT, "about", CBF_ButtonAbout},
};

constexpr CtrlBinding kParaControls[] = {
    {PARAP_POWER, "power", CBF_SlidePower},
    {PARAP_CHANNEL_MODE, "channelMode", CBF_EditChannelMode},
    {PARAP_AVERAGE, "average", CBF_EditAverage},
    {PARAP_EVAL_MODE, "evalMode", CBF_Evalmode},
    {PARAP_HOLD, "hold", CBF_EditHold},
    {PARAP_INTLIM, "intlim", CBF_EditIntlim},
    {PARAP_MAX_NO, "maxNo", CBF_EditMaxNo},
    {PARAP_OUT_MODE, "outMode", CBF_EditOutmode},
    {PARAP_TRIGGER, "trigger", CBF_EditTrigger},
    {PARAP_EXTERN_TEACH, "externTeach", CBF_ExternTeach},
    {PARAP_MAX_UP, "maxUp", CBF_EditMaxUp},
    {PARAP_MAX_DOWN, "maxDown", CBF_EditMaxDown},
    {PARAP_POWER_VALUE, "powerValue", CBF_EditPower},
};

constexpr CtrlBinding kTeachTableControls[] = {
    {TTP_TABLE, "table", CBF_GridCtt},
    {TTP_NO, "no", CBF_EditNo},
    {TTP_AUTO_INC, "autoInc", CBF_RadioInc},
    {TTP_TEACH_DATA_TO, "teachDataTo", CBF_ButtonTeachDataTo},
    {TTP_RESET_TABLE, "resetTable", CBF_ButtonResetTable},
};

constexpr CtrlBinding kDataControls[] = {
    {DATAP_CH_L, "chL", CBF_DispChL},
    {DATAP_CH_C, "chC", CBF_DispChC},
    {DATAP_CH_R, "chR", CBF_DispChR},
    {DATAP_BAR_L, "barL", CBF_BarChL},
    {DATAP_BAR_C, "barC", CBF_BarChC},
    {DATAP_BAR_R, "barR", CBF_BarChR},
    {DATAP_DENSITY, "density", CBF_DispDensity},
    {DATAP_SYM1, "sym1", CBF_DispSym1},
    {DATAP_SYM2, "sym2", CBF_DispSym2},
    {DATAP_VEC, "vec", CBF_DispVec},
    {DATAP_TEMP, "temp"},
    {DATAP_MAX_L, "maxL", CBF_DispAktMaxChL},
    {DATAP_MAX_C, "maxC", CBF_DispAktMaxChC},
    {DATAP_MAX_R, "maxR", CBF_DispAktMaxChR},
    {DATAP_TRIGGER, "trigger"},
    {DATAP_GRAPH_DENSITY, "graphDensity", CBF_GraphDensity},
    {DATAP_GRAPH_RAW, "graphRaw", CBF_GraphRaw1},
    {DATAP_GRAPH_SYM1, "graphSym1", CBF_GraphSym1},
    {DATAP_GRAPH_SYM2, "graphSym2", CBF_GraphSym2},
    {DATAP_SOURCE, "source", CBF_SelectSource},
    {DATAP_STATUS, "status", CBF_DispStatus},
    {DATAP_COMPORT, "comPort"},
    {DATAP_SERVER, "server"},
    {DATAP_SHOW_GRAPH, "showGraph", CBF_ButtonShowGraph},
    {DATAP_MAX_LABEL, "maxLabel"},
    {DATAP_TRIGGER_LABEL, "triggerLabel"},
    {DATAP_LAST_OPERATION, "lastOperation"},
};

constexpr CtrlBinding kRecorderControls[] = {
    {RECP_MODE, "mode", CBF_EditSelectDataRec},
    {RECP_INTERVAL, "interval", CBF_EditInterval},
    {RECP_COUNT, "count", CBF_EditRecVal},
    {RECP_DAYS, "days", CBF_DispRecordTime},
    {RECP_HOURS, "hours", CBF_DispRecordTime},
    {RECP_MINUTES, "minutes", CBF_DispRecordTime},
    {RECP_SECONDS, "seconds", CBF_DispRecordTime},
    {RECP_TIME_FRAME, "timeFrame"},
    {RECP_RECORDED, "recorded", CBF_DispRecordedValues},
    {RECP_REMAINING, "remaining", CBF_DispRemaining},
    {RECP_FRAME_COUNTER, "frameCounter"},
    {RECP_START, "start", CBF_ButtonStartRecord},
    {RECP_STOP, "stop", CBF_ButtonStopRecord},
    {RECP_START_TRIGGERED, "startTriggered", CBF_ButtonStartTrigRec},
    {RECP_STOP_TRIGGERED, "stopTriggered", CBF_ButtonStopTrigRec},
    {RECP_MANUAL, "manual", CBF_ButtonManualRecord},
    {RECP_SELECT_FILE, "selectFile", CBF_ButtonSelRecFile},
    {RECP_FILE, "file", CBF_DispRecFile},
    {RECP_SENSOR_ID, "sensorId"},
    {RECP_INTERVAL_LABEL, "intervalLabel"},
    {RECP_COUNT_LABEL, "countLabel"},
    {RECP_RECORDED_LABEL, "recordedLabel"},
    {RECP_REMAINING_LABEL, "remainingLabel"},
    {RECP_FRAME_COUNTER_LABEL, "frameCounterLabel"},
    {RECP_VIEW, "view", CBF_ButtonViewRecord},
};

constexpr CtrlBinding kGraphControls[] = {
    {GRAPHP_SIGNAL, "signal", CBF_EditSignal},
    {GRAPHP_VALUE + 0, "valueChL"},
    {GRAPHP_VALUE + 1, "valueChC"},
    {GRAPHP_VALUE + 2, "valueChR"},
    {GRAPHP_VALUE + 3, "valueDensity"},
    {GRAPHP_VALUE + 4, "valueSym1"},
    {GRAPHP_VALUE + 5, "valueSym2"},
    {GRAPHP_VALUE + 6, "valueTemp"},
    {GRAPHP_GRAPH + 0, "graphChL", CBF_PanelGraphGraph},
    {GRAPHP_GRAPH + 1, "graphChC", CBF_PanelGraphGraph},
    {GRAPHP_GRAPH + 2, "graphChR", CBF_PanelGraphGraph},
    {GRAPHP_GRAPH + 3, "graphDensity", CBF_PanelGraphGraph},
    {GRAPHP_GRAPH + 4, "graphSym1", CBF_PanelGraphGraph},
    {GRAPHP_GRAPH + 5, "graphSym2", CBF_PanelGraphGraph},
    {GRAPHP_GRAPH + 6, "graphTemp", CBF_PanelGraphGraph},
    {GRAPHP_CLOSE, "close", CBF_ButtonGpClose},
};

// A right click anywhere on the big display hides it, on its controls as on the panel itself.
constexpr CtrlBinding kBigVectorControls[] = {
    {COLBIGP_VECTOR, "vector", CBF_COLBIGP},
    {COLBIGP_SENSOR_ID, "sensorId", CBF_COLBIGP},
};

struct PanelSlot {
    int* handle;
    bool child;  // a child of the main panel
    PanelDef def;
    int top, left;  // place on the main panel (children only)
};

constexpr int kChildTop = 119, kChildLeft = 8;
constexpr int kDataTop = 63, kDataLeft = 288;

// In loading order.
const PanelSlot kPanels[] = {
    {&mainpanel, false, {"orvane_main.ui", CBF_MAINP, kMainControls}, 0, 0},
    {&parapanel, true, {"orvane_parameters.ui", CBF_PARAP, kParaControls}, kChildTop, kChildLeft},
    {&ttpanel, true, {"orvane_teach_table.ui", CBF_TTP, kTeachTableControls}, kChildTop, kChildLeft},
    {&datapanel, true, {"orvane_data.ui", CBF_DATAP, kDataControls}, kDataTop, kDataLeft},
    {&interfacepanel, true, ScopeInterfacePanelDef(), kChildTop, kChildLeft},
    {&recpanel, true, {"orvane_recorder.ui", CBF_RECP, kRecorderControls}, kChildTop, kChildLeft},
    {&graphpanel, true, {"orvane_graph.ui", CBF_GRAPHP, kGraphControls}, kDataTop, kDataLeft},
    {&colbigpanel, false, {"orvane_big_vector.ui", CBF_COLBIGP, kBigVectorControls}, 0, 0},
};

}  // namespace

int LoadOrvanePanels() {
    for (const PanelSlot& slot : kPanels) {
        *slot.handle = LoadPanel(slot.child ? mainpanel : 0, slot.def);
        if (*slot.handle <= 0) {
            *slot.handle = 0;
            DiscardOrvanePanels();
            return -1;
        }
    }
    for (const PanelSlot& slot : kPanels)
        if (slot.child) SetPanelPos(*slot.handle, slot.top, slot.left);
    // Escape closes the big vector display as its right click does, and the graph panel as its Close
    // button does.
    SetPanelAttribute(colbigpanel, ATTR_PANEL_CLOSE_ON_ESCAPE, 1);
    SetPanelAttribute(graphpanel, ATTR_PANEL_CLOSE_ON_ESCAPE, 1);
    return 0;
}

void DiscardOrvanePanels() {
    // Nothing may address the panels once they are gone: not the link's status box, not the combo box.
    SetInterfaceStatusBox(0, 0);
    CloseSerialDevicesPanel();
    SetInterfaceCauseBox(0, 0);
    SetOperationLine(0, 0);
    if (interfacepanel > 0) Combo_DiscardComboBox(interfacepanel, INTERFACEP_SERVER);
    if (colbigpanel > 0) DiscardPanel(colbigpanel);
    if (mainpanel > 0) DiscardPanel(mainpanel);  // its children go with it
    for (const PanelSlot& slot : kPanels) *slot.handle = 0;
}
