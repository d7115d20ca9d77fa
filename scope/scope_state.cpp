#include "scope_state.h"

#include "interface_panel.h"

int mainpanel = 0, parapanel = 0, ttpanel = 0, datapanel = 0, interfacepanel = 0, recpanel = 0,
    graphpanel = 0, colbigpanel = 0;

unsigned short anzpara = 202;
unsigned short anzVec = 31;
unsigned short anzOut = 5;
unsigned short target = RAM;
namespace orvane {
unsigned short poll = 0;
}

char proj_dir[512];
char recFileName[260];
char paraFileName[600];

namespace {

// The child-panel buttons, by child-panel number.
struct ChildSlot {
    int number;
    int* panel;
    int button;
};
const ChildSlot kChildren[] = {
    {kChildInterface, &interfacepanel, MAINP_CONNECT},
    {kChildParameters, &parapanel, MAINP_PARAMETERS},
    {kChildTeachTable, &ttpanel, MAINP_TEACH_TABLE},
    {kChildRecorder, &recpanel, MAINP_RECORDER},
};

// The controls that start operations, dimmed while one runs.
struct PanelCtrl {
    int* panel;
    int ctrl;
};
const PanelCtrl kOperationCtrls[] = {
    {&mainpanel, MAINP_SEND},
    {&mainpanel, MAINP_GET},
    {&mainpanel, MAINP_GO},
    {&mainpanel, MAINP_SELECT_RAM},
    {&mainpanel, MAINP_SELECT_EEPROM},
    {&mainpanel, MAINP_SELECT_FILE},
    {&interfacepanel, INTERFACEP_TRY},
    {&interfacepanel, INTERFACEP_BAUDRATE},
    {&recpanel, RECP_SELECT_FILE},
    {&recpanel, RECP_MODE},
    {&recpanel, RECP_START},
    {&recpanel, RECP_START_TRIGGERED},
};

}  // namespace

bool ShowHelp(int event, const char* text, const char* title) {
    if (event != EVENT_RIGHT_CLICK) return false;
    MessagePopup(title, text);
    return true;
}

void ShowChildPanel(int number) {
    for (const ChildSlot& c : kChildren) {
        SetCtrlAttribute(mainpanel, c.button, ATTR_CMD_BUTTON_COLOR, kButtonNormalColor);
        HidePanel(*c.panel);
    }
    for (const ChildSlot& c : kChildren) {
        if (c.number != number) continue;
        SetCtrlAttribute(mainpanel, c.button, ATTR_CMD_BUTTON_COLOR, kButtonMarkedColor);
        if (number == kChildInterface) DimAcceptButtons(1);
        DisplayPanel(*c.panel);
    }
}

void SetButtonsDimmed(int dimmed) {
    for (const PanelCtrl& pc : kOperationCtrls) SetCtrlAttribute(*pc.panel, pc.ctrl, ATTR_DIMMED, dimmed);
    HoldAcceptButtons(dimmed);
    ProcessSystemEvents();
}
