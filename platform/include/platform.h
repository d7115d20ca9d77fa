// The operations the programs call on their platform: panels and controls, the event pump, pop-ups, and
// (from io.h) files, time, locks, the serial port and the TCP client. Built on Qt; no Qt type crosses this
// header.
//
// Conventions kept from the programs' original platform:
//  - panels and controls are integer handles; panel handles are > 0, control ids are the constants each
//    program declares for its panel files; negative results are errors;
//  - every control and panel callback takes (panel, control, event, callbackData, eventData1, eventData2)
//    and returns 0 (a non-zero result to a key press swallows the key); panel callbacks get control 0;
//  - colours are 0xRRGGBB integers;
//  - everything runs on the user-interface thread, except PostDeferredCallToThread, the Cmt locks and the
//    serial ports and TCP conversations of other threads (io.h).
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "io.h"

// ---------------------------------------------------------------------------------------------------------
// Events
enum : int {
    EVENT_NONE = 0,
    EVENT_COMMIT = 1,
    EVENT_VAL_CHANGED = 2,
    EVENT_LEFT_CLICK = 3,
    EVENT_LEFT_DOUBLE_CLICK = 4,
    EVENT_RIGHT_CLICK = 5,
    EVENT_KEYPRESS = 7,
    EVENT_GOT_FOCUS = 8,
    EVENT_LOST_FOCUS = 9,
    EVENT_CLOSE = 11,
};

using CtrlCallbackPtr = int (*)(int panel, int control, int event, void* callbackData, int eventData1,
                                int eventData2);
using PanelCallbackPtr = CtrlCallbackPtr;

// Key codes delivered with EVENT_KEYPRESS in eventData1: an ASCII part, a virtual-key part and modifiers.
enum : int {
    VAL_ASCII_KEY_MASK = 0x000000FF,
    VAL_VKEY_MASK = 0x0000FF00,
    VAL_SHIFT_MODIFIER = 0x00010000,
    VAL_MENUKEY_MODIFIER = 0x00020000,  // Ctrl
    VAL_TAB_VKEY = 0x0100,
    VAL_BACKSPACE_VKEY = 0x0200,
    VAL_FWD_DELETE_VKEY = 0x0300,
    VAL_UP_ARROW_VKEY = 0x0400,
    VAL_DOWN_ARROW_VKEY = 0x0500,
    VAL_LEFT_ARROW_VKEY = 0x0600,
    VAL_RIGHT_ARROW_VKEY = 0x0700,
    VAL_ENTER_VKEY = 0x0800,
    VAL_ESC_VKEY = 0x0900,
    VAL_HOME_VKEY = 0x0A00,
    VAL_END_VKEY = 0x0B00,
    VAL_F1_VKEY = 0x1000,  // F1..F12 = VAL_F1_VKEY + 0x100 * (n - 1)
    VAL_F9_VKEY = 0x1800,
    VAL_F10_VKEY = 0x1900,
    VAL_F11_VKEY = 0x1A00,
    VAL_F12_VKEY = 0x1B00,
};

// ---------------------------------------------------------------------------------------------------------
// Errors of the user-interface operations
enum : int {
    UIENoError = 0,
    UIEPanelFileMissing = -1,    // panel file not found or not readable
    UIEPanelFileMalformed = -2,  // not a panel file, or it does not parse
    UIEControlMissing = -3,      // a declared control is not in the panel file
    UIEInvalidPanel = -4,
    UIEInvalidControl = -5,
    UIEInvalidAttribute = -6,  // attribute does not apply to this control kind
    UIEInvalidValue = -7,
    UIEIndexOutOfRange = -8,
    UIEItemNotFound = -9,
    UIEWrongType = -10,  // value type does not fit the control
    UIEOutOfMemory = -12,
};

// ---------------------------------------------------------------------------------------------------------
// Panels
//
// A panel is one Qt Designer file under panels/. The program declares the controls it uses, one row per
// control: the id it addresses the control by, the widget's objectName in the file and the callback.
// LoadPanel fails when the file is missing or malformed or lacks a declared control.
//
// Control kinds follow from the widget class, refined by the dynamic property "ctrlKind" where one Qt class
// serves several kinds:
//   QSpinBox            numeric, int                 ("dataType" = "uint16" for unsigned 16-bit)
//   QDoubleSpinBox      numeric, double
//   QComboBox           ring (items with integer or text values)
//   QLineEdit           text field                   ("ctrlKind" = "string2": second style, wider border)
//   QLabel              text message                 ("ctrlKind" = "picture": picture control)
//   QPlainTextEdit      text box
//   QPushButton         command button
//   QCheckBox           toggle switch
//   QSlider             slider
//   QProgressBar        numeric bar (double value, "maximum" property is the full scale)
//   QTableWidget        table
//   QFrame              decoration
//   StripChart, Graph   our own plot widgets (declared as custom widgets in the file)
// Numeric controls with readOnly = true, and text messages, are indicators.
// Further dynamic properties the loader reads:
//   QComboBox     "itemValues" = "9600;19200;..."  the items' values (else an integer ring numbers its items
//                                                 0, 1, ... and a text ring's values are the labels);
//                 "dataType" = "string"           a ring of text values; "ctrlKind" = "popupRing"
//   QTableWidget  "dataType" = "uint16", "double" or "string": the type of every cell (else int)
//   any control   "cviTextColor", "cviFrameColor", "cviButtonColor" = 0xRRGGBB as a number: start colours
struct CtrlBinding {
    int id;
    const char* objectName;
    CtrlCallbackPtr callback = nullptr;
};

struct PanelDef {
    const char* file;  // file name under the panels directory, e.g. "morvalen_main.ui"
    PanelCallbackPtr callback;
    std::span<const CtrlBinding> controls;
};

// parentPanel 0 loads a top-level panel; otherwise the panel becomes a child inside parentPanel.
// Returns the panel handle (> 0) or a UIE error. A loaded panel is hidden until DisplayPanel.
int LoadPanel(int parentPanel, const PanelDef& def);
int DisplayPanel(int panel);
int HidePanel(int panel);
int DiscardPanel(int panel);  // discards its child panels too
int SetPanelPos(int panel, int top, int left);

// Where LoadPanel looks for panel files; by default next to the executable ("panels/") or in the installed
// share directory.
void SetPanelDirectory(std::string_view dir);
std::string GetPanelDirectory();

enum PanelAttr : int {
    ATTR_PANEL_VISIBLE = 1000,
    ATTR_PANEL_TOP,
    ATTR_PANEL_LEFT,
    ATTR_PANEL_WIDTH,
    ATTR_PANEL_HEIGHT,
    ATTR_PANEL_TITLE,   // text
    ATTR_PANEL_PARENT,  // 0 for a top-level panel
    ATTR_PANEL_BACKCOLOR,
    ATTR_PANEL_FIRST_CTRL,  // read only: the control at tab position 0, 0 when the panel has none
    // 1: Escape pressed in the panel (and taken by none of its controls) raises CLOSE to the panel callback,
    // as its close box does. 0 (the default): Escape does nothing.
    ATTR_PANEL_CLOSE_ON_ESCAPE,
};
int GetPanelAttribute(int panel, PanelAttr attr, int& value);
int GetPanelAttribute(int panel, PanelAttr attr, std::string& value);
int SetPanelAttribute(int panel, PanelAttr attr, int value);
int SetPanelAttribute(int panel, PanelAttr attr, std::string_view value);

// ---------------------------------------------------------------------------------------------------------
// Controls

// ATTR_CTRL_STYLE values
enum CtrlStyle : int {
    CTRL_NONE = 0,
    CTRL_NUMERIC,
    CTRL_RING,
    CTRL_POPUP_RING,  // drop-down list button made at run time
    CTRL_STRING,      // text field
    CTRL_STRING_LS,   // text field, second style
    CTRL_TEXT_MSG,
    CTRL_TEXT_BOX,
    CTRL_COMMAND_BUTTON,
    CTRL_TOGGLE,
    CTRL_SLIDER,
    CTRL_NUMERIC_BAR,
    CTRL_TABLE,
    CTRL_STRIP_CHART,
    CTRL_GRAPH,
    CTRL_PICTURE,
    CTRL_DECORATION,
};

// ATTR_DATA_TYPE values
enum DataType : int { VAL_INTEGER = 1, VAL_UNSIGNED_SHORT_INTEGER, VAL_DOUBLE, VAL_STRING };

// ATTR_CTRL_MODE values
enum : int { VAL_HOT = 1, VAL_INDICATOR = 2 };

enum CtrlAttr : int {
    ATTR_VISIBLE = 1,
    ATTR_DIMMED,
    ATTR_CTRL_MODE,   // VAL_HOT or VAL_INDICATOR
    ATTR_CTRL_STYLE,  // read only: CtrlStyle
    ATTR_DATA_TYPE,   // read only: DataType
    ATTR_TOP,
    ATTR_LEFT,
    ATTR_WIDTH,
    ATTR_HEIGHT,
    ATTR_TEXT_COLOR,
    ATTR_TEXT_BGCOLOR,  // VAL_TRANSPARENT allowed
    ATTR_CMD_BUTTON_COLOR,
    ATTR_FRAME_COLOR,            // also a decoration's box colour
    ATTR_TEXT_FONT,              // text; VAL_APP_FONT names the application font
    ATTR_TEXT_FONT_NAME_LENGTH,  // read only
    ATTR_TEXT_POINT_SIZE,
    ATTR_TEXT_BOLD,
    ATTR_TEXT_ITALIC,
    ATTR_CTRL_TAB_POSITION,  // 0-based position in the panel's tab order
    ATTR_ZPLANE_POSITION,    // 0 = front
    ATTR_LABEL_TEXT,         // text
    ATTR_MAX_ENTRY_LENGTH,   // text fields; -1 = no limit. Lengths and positions in a text field count
                             // characters (UTF-16 units: two for a character beyond the basic plane)
    ATTR_TEXT_SELECTION_START,
    ATTR_TEXT_SELECTION_LENGTH,
    ATTR_MIN_VALUE,  // numeric controls, int or double
    ATTR_MAX_VALUE,
    ATTR_POINTS_PER_SCREEN,          // strip chart
    ATTR_NUM_TRACES,                 // strip chart
    ATTR_CALLBACK_DATA,              // void*
    ATTR_CALLBACK_FUNCTION_POINTER,  // CtrlCallbackPtr; set it with InstallCtrlCallback
    ATTR_NEXT_CTRL,                  // read only: the control at the next tab position, 0 after the last
};

inline constexpr int VAL_TRANSPARENT = 0x1000000;
inline constexpr const char* VAL_APP_FONT = "AppFont";
inline constexpr int VAL_WHITE = 0xFFFFFF, VAL_BLACK = 0x000000, VAL_RED = 0xFF0000, VAL_GREEN = 0x00FF00,
                     VAL_BLUE = 0x0000FF, VAL_LT_GRAY = 0xC0C0C0, VAL_GRAY = 0x808080;

int GetCtrlVal(int panel, int control, int& value);
int GetCtrlVal(int panel, int control, unsigned short& value);
int GetCtrlVal(int panel, int control, double& value);
int GetCtrlVal(int panel, int control, std::string& value);
int SetCtrlVal(int panel, int control, int value);
int SetCtrlVal(int panel, int control, unsigned short value);
int SetCtrlVal(int panel, int control, double value);
int SetCtrlVal(int panel, int control, std::string_view value);

int GetCtrlAttribute(int panel, int control, CtrlAttr attr, int& value);
int GetCtrlAttribute(int panel, int control, CtrlAttr attr, double& value);
int GetCtrlAttribute(int panel, int control, CtrlAttr attr, std::string& value);
int GetCtrlAttribute(int panel, int control, CtrlAttr attr, void*& value);
int GetCtrlAttribute(int panel, int control, CtrlAttr attr, CtrlCallbackPtr& value);
int SetCtrlAttribute(int panel, int control, CtrlAttr attr, int value);
int SetCtrlAttribute(int panel, int control, CtrlAttr attr, double value);
int SetCtrlAttribute(int panel, int control, CtrlAttr attr, std::string_view value);
int SetCtrlAttribute(int panel, int control, CtrlAttr attr, void* value);

int InstallCtrlCallback(int panel, int control, CtrlCallbackPtr callback, void* callbackData);

// Controls made at run time. Returns the new control id (> 0) or a UIE error.
int NewCtrl(int panel, CtrlStyle style, std::string_view label, int top, int left);
int DiscardCtrl(int panel, int control);

int SetActiveCtrl(int panel, int control);
int GetActiveCtrl(int panel);  // control id with the focus, or 0
// Sends a key to the control that has the focus, as if the user pressed it (a space opens a ring's list).
int FakeKeystroke(int key);
int ResetTextBox(int panel, int control, std::string_view text);
// Loads a bitmap into a picture control; an unreadable file empties the control and returns an error.
int DisplayImageFile(int panel, int control, std::string_view path);
int SetWaitCursor(int on);

// List controls (rings)
int InsertListItem(int panel, int control, int index, std::string_view label, int value);  // index -1 appends
int InsertListItem(int panel, int control, int index, std::string_view label, std::string_view value);
int DeleteListItem(int panel, int control, int index, int count);  // count -1: to the end
int ReplaceListItem(int panel, int control, int index, std::string_view label, std::string_view value);
int ClearListCtrl(int panel, int control);
int GetNumListItems(int panel, int control, int& count);
int GetIndexFromValue(int panel, int control, int& index, int value);
int GetIndexFromValue(int panel, int control, int& index, std::string_view value);
int GetValueFromIndex(int panel, int control, int index, int& value);
int GetValueFromIndex(int panel, int control, int index, std::string& value);
int GetValueLengthFromIndex(int panel, int control, int index, int& length);
int GetCtrlIndex(int panel, int control, int& index);
int SetCtrlIndex(int panel, int control, int index);

// Tables: cells are addressed 1-based (column, row), as the programs count them. Every cell has the table's
// type: SetTableCellVal refuses a value of another type (UIEWrongType; an integer into a double table is
// fine) or, in an unsigned 16-bit table, outside 0..65535 (UIEInvalidValue), and leaves the cell as it was.
// Program writes raise no events; a person's edit raises VAL_CHANGED and COMMIT with eventData1 = row,
// eventData2 = column.
struct Point {
    int x;  // column
    int y;  // row
};
int GetTableCellVal(int panel, int control, Point cell, unsigned short& value);
int GetTableCellVal(int panel, int control, Point cell, int& value);
int GetTableCellVal(int panel, int control, Point cell, double& value);
int GetTableCellVal(int panel, int control, Point cell, std::string& value);
int SetTableCellVal(int panel, int control, Point cell, unsigned short value);
int SetTableCellVal(int panel, int control, Point cell, int value);
int SetTableCellVal(int panel, int control, Point cell, double value);
int SetTableCellVal(int panel, int control, Point cell, std::string_view value);
int GetActiveTableCell(int panel, int control, Point& cell);
enum TableRowAttr : int { ATTR_LABEL_COLOR = 2000, ATTR_LABEL_BGCOLOR };
int SetTableRowAttribute(int panel, int control, int row, TableRowAttr attr, int value);
int GetTableRowAttribute(int panel, int control, int row, TableRowAttr attr, int& value);

// ---------------------------------------------------------------------------------------------------------
// Strip charts and graphs. They draw themselves; what they hold is readable for tests.
enum Axis : int { VAL_LEFT_YAXIS = 0, VAL_BOTTOM_XAXIS = 1 };
enum AxisScaling : int { VAL_MANUAL = 0, VAL_AUTOSCALE = 1 };

// Appends points to a strip chart. The data are interleaved by trace: point k of trace t is data[k * traces
// + t]; the number of traces is the chart's ATTR_NUM_TRACES. Older points scroll out to the left.
int PlotStripChart(int panel, int control, std::span<const double> data);
int PlotStripChart(int panel, int control, std::span<const unsigned short> data);
int ClearStripChart(int panel, int control);
int SetTraceColor(int panel, int control, int trace, int color);  // strip chart traces, 0-based

int SetAxisScalingMode(int panel, int control, Axis axis, AxisScaling mode, double min, double max);
int GetAxisScalingMode(int panel, int control, Axis axis, AxisScaling& mode, double& min, double& max);

// Graph plots; each returns a plot handle (> 0) or a UIE error.
int PlotXY(int panel, int control, std::span<const double> x, std::span<const double> y, int color);
int PlotXY(int panel, int control, std::span<const unsigned short> x, std::span<const unsigned short> y,
           int color);
int PlotRectangle(int panel, int control, double x1, double y1, double x2, double y2, int color,
                  int fillColor);
inline constexpr int VAL_ALL_PLOTS = -1;
int DeleteGraphPlot(int panel, int control, int plotHandle);  // VAL_ALL_PLOTS deletes every plot
int SetGraphCursor(int panel, int control, int cursor, double x, double y);  // cursor numbers from 1
int GetGraphCursor(int panel, int control, int cursor, double& x, double& y);

// Read-back of what a chart holds (for tests and tools).
// The last `count` points of one strip-chart trace, oldest first (count -1: all that are kept).
int GetStripChartTrace(int panel, int control, int trace, std::vector<double>& points, int count = -1);
struct GraphPlotInfo {
    int handle;
    enum Kind { XY, Rectangle } kind;
    std::vector<double> x, y;  // rectangle: x = {x1, x2}, y = {y1, y2}
    int color;
    int fillColor;
};
// The graph's plots in drawing order; `last` >= 0 gives only the last `last` of them (and copies no
// others), -1 all.
int GetGraphPlots(int panel, int control, std::vector<GraphPlotInfo>& plots, int last = -1);
// How many plots the graph holds.
int GetGraphPlotCount(int panel, int control, int& count);

// ---------------------------------------------------------------------------------------------------------
// Pop-ups (modal; title and text shown exactly as given, line breaks kept)
int MessagePopup(std::string_view title, std::string_view message);
int ConfirmPopup(std::string_view title, std::string_view message);  // 1 yes, 0 no

enum : int { VAL_SELECT_BUTTON = 0, VAL_OK_BUTTON, VAL_SAVE_BUTTON, VAL_LOAD_BUTTON };
enum : int { VAL_NO_FILE_SELECTED = 0, VAL_EXISTING_FILE_SELECTED = 1, VAL_NEW_FILE_SELECTED = 2 };
// The button label sets what the dialog takes: VAL_LOAD_BUTTON an existing file only (the dialog refuses a
// name that does not exist); VAL_SAVE_BUTTON any name, asking before it replaces an existing file;
// VAL_OK_BUTTON and VAL_SELECT_BUTTON any name, an existing one without a question (the caller asks its
// own). Returns VAL_NO_FILE_SELECTED (cancelled), VAL_EXISTING_FILE_SELECTED or VAL_NEW_FILE_SELECTED, or
// a negative error; the chosen path goes to pathName.
int FileSelectPopup(std::string_view defaultDirectory, std::string_view defaultFileName,
                    std::string_view fileTypeList, std::string_view title, int buttonLabel,
                    int restrictDirectory, int restrictExtension, int allowCancel, int allowMakeDirectory,
                    std::string& pathName);

// ---------------------------------------------------------------------------------------------------------
// Event pump
int RunUserInterface();  // returns the code given to QuitUserInterface
int QuitUserInterface(int code);
// Runs pending events (input, repaints, socket and serial notifications, deferred calls). When nothing is
// pending it may block for about a millisecond, so a wait loop that calls it on every pass stays responsive
// without burning a core.
int ProcessSystemEvents();
// The same, for a wait that knows how long it may last: when nothing is pending it sleeps until the next
// event (input, a timer, the bytes of a serial port or TCP conversation) or for maxWaitMs, whichever comes
// first, so a wait for a reply neither spins nor answers late.
int ProcessSystemEventsWaiting(int maxWaitMs);
// Runs events until Timer() reaches `end`, or until `keepOn` turns false (asked before each pass): sleeps
// until each event, so a wait of seconds costs next to no processor time and a click still ends it at once.
void ProcessSystemEventsUntil(double end, const std::function<bool()>& keepOn = {});
// Queues fn(data) to run later on the user-interface thread. Safe from any thread.
int PostDeferredCallToThread(DeferredCallbackPtr fn, void* data);

// ---------------------------------------------------------------------------------------------------------
// Start and end of the platform itself.
// Call once at the top of main. Returns 0, or -1 when it cannot start.
int InitCVIRTE(int argc, char** argv);
// The start of a console program: no windows, no display and no platform plugin. The link, files, time,
// the event pump and the termination handler work as after InitCVIRTE; pop-ups write their text to the
// error stream and are answered at once (No, cancelled); there are no panels. End it with CloseCVIRTE.
int InitConsoleRTE(int argc, char** argv);
// The end of the run: call once at the end of main, after the program's own end path. Closes every serial
// port and TCP conversation still open, discards the panels still loaded and ends the platform; no other
// platform call works after it.
void CloseCVIRTE();

// SIGTERM and SIGINT. Once a handler is installed they no longer end the process at once: the handler runs
// on the user-interface thread from within the event pump (inside a busy wait too), with the signal's
// number, and then again at every pass of the pump, so a loop that starts after the request ends as well.
// The handler asks the run to end (QuitUserInterface, clearing its loops' run flags). From the request on,
// an open pop-up is closed as cancelled and new pop-ups are not shown: a message goes to the error stream, a
// question is answered No, a file selection is cancelled. A second signal ends the process at once.
// Returns 0, or -1 when the platform has not started.
using TerminationCallbackPtr = void (*)(int signalNumber);
int InstallTerminationHandler(TerminationCallbackPtr handler);
// The signal that asked the run to end; 0 while none has.
int TerminationSignal();
// The toolkit the windows run on, for the About boxes: "Qt 6.4.2".
std::string GetToolkitVersion();
// Saves a panel (with its child panels) as a PNG picture.
int SavePanelImage(int panel, std::string_view path);
