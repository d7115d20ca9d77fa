// The interface panel: how the PC reaches the sensor (RS-232 port and baud rate, or a TCP server and port),
// the settings and server history files, and the connection attempt.
#pragma once

#include "platform.h"

// Defined by each program: the handle of its interface panel.
extern int interfacepanel;

enum InterfacePanelCtrl : int {
    INTERFACEP_PROTOCOL = 1,
    INTERFACEP_COMPORT,
    INTERFACEP_COMPORT_LABEL,
    INTERFACEP_BAUDRATE,
    INTERFACEP_BAUDRATE_LABEL,
    INTERFACEP_SERVER,
    INTERFACEP_SERVER_LABEL,
    INTERFACEP_PORTNUMBER,
    INTERFACEP_PORTNUMBER_LABEL,
    INTERFACEP_TRY,
    INTERFACEP_ACCEPT,
    INTERFACEP_STATUS,
    INTERFACEP_CHANGE_BAUDRATE,  // only where the program's panel has it
    INTERFACEP_ID,               // only where the program's panel has it
    INTERFACEP_CAUSE,            // why the link failed last, next to the status box
    INTERFACEP_DEVICES,          // opens the serial devices window
    INTERFACEP_COM_DEVICE,       // what the COM number opens
};

// What differs between the programs on this panel; each program sets it once at start.
struct InterfaceProfile {
    void (*openPanel)();                   // the Connect button
    void (*afterAccept)();                 // settings stored: leave the panel
    void (*dimDuringAttempt)(int);         // what is dimmed while a connection attempt runs
    void (*onPanelClose)();                // the panel's close box; may be null
    bool hasBaudrateChange;                // the panel has the Change-baud-rate button and the ID field
    void (*showSensorId)(const char* id);  // the ID field was committed; may be null
    int indicatorPanel;                    // panel with the COM-port and server indicators
    int comPortIndicator;
    int serverIndicator;
};
void SetInterfaceProfile(const InterfaceProfile& profile);
// Whether the program is the scope (its panel has the Change-baud-rate button).
bool InterfaceIsScope();
// Dims what the program dims during a connection attempt (1) and brings it back (0): for the search.
void HoldInterfaceForOperation(int held);

// The panel file and control bindings shared by the programs whose panel has no scope-only controls.
const PanelDef& InterfacePanelDef();
// The scope's interface panel: the shared controls, the Change-baud-rate button and the ID field.
const PanelDef& ScopeInterfacePanelDef();

extern char ipComboBoxFileName[600];
extern char conSettingsFileName[600];

// Help texts (right click).
extern const char* const InfoButtonConnect;
extern const char* const InfoEditCommunicationProtocol;
extern const char* const InfoEditConnect;
extern const char* const InfoEditSelectBaudrate;
extern const char* const InfoStringIpAdress;
extern const char* const InfoStringPortNumber;
extern const char* const InfoButtonTryToConnect;
extern const char* const InfoButtonAccept;
extern const char* const InfoButtonChangeBaudrate;
extern const char* const InfoEditID;

// Builds the file names from the program directory into ipComboBoxFileName / conSettingsFileName.
void BuildSettingsFileNames(const char* programDir);
// Fills the protocol and baud-rate rings and sets the panel's status box for the link.
void PrepareInterfacePanel();
// Turns the server field into a combo box (light grey frame) and loads the history into it.
void InitServerHistory();
void LoadServerHistory();
void GetConnectionSettingsFromFile();
void InitConnectPanel();
void TryToConnect();
void SaveCommunicationSettings();
// Tells the sensor to use the baud rate of the baud-rate selector, then reconnects at that rate.
void ChangeBaudrate();
// Dims or enables the Accept button (and the Change-baud-rate button where the panel has it). Enabled they
// stay dimmed while an operation holds them.
void DimAcceptButtons(int dimmed);
// Holds both dimmed while an operation runs (1), whatever the link's state, and shows that state again when
// it ends (0): Change-baud-rate would start an exchange inside the running one.
void HoldAcceptButtons(int held);

int CBF_ButtonConnect(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_EditCommunicationProtocol(int panel, int control, int event, void* callbackData, int eventData1,
                                  int eventData2);
int CBF_EditSelectComPort(int panel, int control, int event, void* callbackData, int eventData1,
                          int eventData2);
int CBF_EditSelectBaudrate(int panel, int control, int event, void* callbackData, int eventData1,
                           int eventData2);
int CBF_StringIpAdress(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_StringPortNumber(int panel, int control, int event, void* callbackData, int eventData1,
                         int eventData2);
int CBF_ButtonTryToConnect(int panel, int control, int event, void* callbackData, int eventData1,
                           int eventData2);
int CBF_ButtonAccept(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_ButtonChangeBaudrate(int panel, int control, int event, void* callbackData, int eventData1,
                             int eventData2);
int CBF_EditID(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CBF_INTERFACEP(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
