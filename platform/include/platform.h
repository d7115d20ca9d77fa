// The operations the programs call on their platform: panels and controls, the event pump, pop-ups,
// files, time, locks, the serial port and the TCP client. Built on Qt; no Qt type crosses this header.
//
// Conventions kept from the programs' original platform:
//  - panels and controls are integer handles; panel handles are > 0, control ids are the constants each
//    program declares for its panel files; negative results are errors;
//  - every control and panel callback takes (panel, control, event, callbackData, eventData1, eventData2)
//    and returns 0 (a non-zero result to a key press swallows the key); panel callbacks get control 0;
//  - colours are 0xRRGGBB integers;
//  - everything runs on the user-interface thread, except PostDeferredCallToThread and the Cmt locks.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

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
using DeferredCallbackPtr = void (*)(void* callbackData);

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
// Queues fn(data) to run later on the user-interface thread. Safe from any thread.
int PostDeferredCallToThread(DeferredCallbackPtr fn, void* data);

// ---------------------------------------------------------------------------------------------------------
// Files
// The directory of the program's own files, without a trailing separator: the executable's, or for an
// installed program (or one whose directory the user may not write) the user's
// $XDG_CONFIG_HOME/colour-sensor-tools/<program> (default ~/.config/...), made on first use. Returns 0, or
// -1 when that directory cannot be made.
int GetProjectDir(std::string& dir);
// The program directory that the program named `program` (e.g. "OrvaneV33") of this installation uses: this
// program's own directory when it runs from a directory of its own (the build tree, where the programs sit
// together), else that program's directory in the user's configuration directory. Nothing is made. 0, or -1
// when there is no such directory to name.
int GetProgramDirOf(std::string_view program, std::string& dir);
// Starts the program `program` of this suite (the one beside this executable, else the one on the PATH)
// with `arguments`, on its own: it runs on when this program ends. 0, or -1 when it cannot be started.
int StartProgram(std::string_view program, const std::vector<std::string>& arguments);
// Joins a directory and a file name with the platform's separator.
std::string MakePathname(std::string_view dir, std::string_view fileName);
// 1 and the size in bytes when the file exists, 0 when it does not, negative on error.
int GetFileInfo(std::string_view path, long& size);

enum : int { VAL_READ_WRITE = 0, VAL_READ_ONLY = 1, VAL_WRITE_ONLY = 2 };
enum : int { VAL_TRUNCATE = 0, VAL_APPEND = 1, VAL_OPEN_AS_IS = 2 };
enum : int { VAL_BINARY = 0, VAL_ASCII = 1 };
// Returns a file handle (>= 0) or -1.
int CVI_OpenFile(std::string_view path, int readWrite, int action, int fileType);
// Reads one line without its line end ("\n" or "\r\n"), keeping at most maxChars characters; the rest of a
// longer line is skipped, so the next call starts at the next line. Returns the number of characters kept,
// -2 at the end of the file, -1 on error.
int ReadLine(int file, std::string& line, int maxChars);
int WriteLine(int file, std::string_view line);  // appends a line end; returns bytes written or -1
int CVI_WriteFile(int file, const void* data, int count);
int CVI_ReadFile(int file, void* data, int count);
int CVI_CloseFile(int file);
int CVI_DeleteFile(std::string_view path);
// Puts the file `existing` in the place of `target` in one step, replacing it, after its bytes have reached
// the disk: a reader sees the old file or the new one, never a part. 0, or -1 when it fails.
int RenameFile(std::string_view existing, std::string_view target);

// Arrays as text, one value per line, each right-aligned in a field fieldWidth characters wide. Doubles are
// written in the shortest form that reads back to the same value (wider than the field when they need it).
int ArrayToFile(std::string_view path, std::span<const double> data, int fieldWidth);
int ArrayToFile(std::string_view path, std::span<const unsigned short> data, int fieldWidth);
// Reads up to data.size() values, one per line (blank lines skipped). Returns the number of values read
// (>= 0), or a negative error: -1 the file cannot be opened, -2 a line holds text that is not a number or,
// for unsigned 16-bit values, a number outside 0..65535.
int FileToArray(std::string_view path, std::span<double> data);
int FileToArray(std::string_view path, std::span<unsigned short> data);
// The same on text in memory: what ArrayToFile writes, and what FileToArray reads (never -1).
std::string ArrayToText(std::span<const double> data, int fieldWidth);
std::string ArrayToText(std::span<const unsigned short> data, int fieldWidth);
int TextToArray(std::string_view text, std::span<double> data);
int TextToArray(std::string_view text, std::span<unsigned short> data);

// ---------------------------------------------------------------------------------------------------------
// Time
double Timer();              // monotonic seconds since the program started
std::string DateStr();       // "MM-DD-YYYY"
std::string TimeStr();       // "HH:MM:SS", 24-hour
void Delay(double seconds);  // sleeps without processing events
void Sleep(int milliseconds);

// ---------------------------------------------------------------------------------------------------------
// Locks (recursive; may be taken by the thread that holds them)
int CmtNewLock(std::string_view name, int options, int& lockHandle);
int CmtGetLock(int lockHandle);
int CmtReleaseLock(int lockHandle);
int CmtDiscardLock(int lockHandle);
int CmtGetCurrentThreadID();

// ---------------------------------------------------------------------------------------------------------
// Serial ports. Port n opens the device that a symbolic link named "COM<n>" in the program directory points
// to when there is one, else /dev/ttyS<n-1>.
enum : int {
    kRS232UnknownSysError = -1,
    kRS232InvalidPortNum = -2,
    kRS232PortNotOpen = -3,
    kRS232UnknownIOError = -4,
    kRS232InternalError = -5,
    kRS232NoPortFound = -6,
    kRS232CannotOpenPort = -7,
    kRS232TimeOut = -99,
};
enum : int { VAL_NO_PARITY = 0, VAL_ODD_PARITY = 1, VAL_EVEN_PARITY = 2 };
int OpenComConfig(int port, std::string_view deviceName, long baudRate, int parity, int dataBits,
                  int stopBits, int inputQueueSize, int outputQueueSize);
int CloseCom(int port);
int SetComTime(int port, double timeoutSeconds);
int SetCTSMode(int port, int mode);
int FlushInQ(int port);
int FlushOutQ(int port);
int ComWrt(int port, const unsigned char* buffer, int count);  // bytes written or an error
int ComRd(int port, unsigned char* buffer, int count);         // bytes read or an error
int GetInQLen(int port);                                       // bytes waiting or an error
// Where port n would be opened from (for messages and the README).
std::string ComPortDevicePath(int port);
// Why the last OpenComConfig of a port could not open its device (kRS232CannotOpenPort), to tell the user
// what to do: the device, the group that owns its file and whether that group may read and write it.
enum ComOpenProblem : int {
    kComOpenOk = 0,        // opened, or not tried
    kComOpenNoDevice,      // no such device (adapter unplugged, link to nowhere)
    kComOpenNoPermission,  // this user may not open it (EACCES, EPERM)
    kComOpenInUse,         // another program holds it
    kComOpenFailed,        // any other reason
};
struct ComOpenFailure {
    ComOpenProblem problem = kComOpenOk;
    std::string device;  // e.g. /dev/ttyUSB0, the target of a COMn link
    std::string group;   // name (else number) of the device file's group; empty when there is no file
    bool groupMayOpen = false;
};
int GetComOpenFailure(int port, ComOpenFailure& failure);  // 0, or kRS232InvalidPortNum
// Whether this user could open the device (e.g. before a batch run), without opening it: 0 when it exists
// and may be read and written, else kRS232CannotOpenPort with the reason (no device, no permission).
int ProbeComDevice(std::string_view device, ComOpenFailure& failure);
// The serial ports present on this machine, as the system lists them (pseudo-terminals are not listed).
struct SerialPortEntry {
    std::string device;        // e.g. /dev/ttyUSB0
    std::string description;   // e.g. "FT232R USB UART"; empty when the system does not tell
    std::string manufacturer;  // e.g. "FTDI"
    std::string serialNumber;
    int vendorId = -1;  // USB vendor and product, -1 when not known
    int productId = -1;
};
std::vector<SerialPortEntry> ListSerialPorts();

// Serial devices by name. The device directory is /dev, or the directory COLOUR_SENSOR_DEVICE_DIR names
// (laid out as /dev: serial/by-id/ links, ttyUSB*, ttyACM*, ttyS*). Under COLOUR_SENSOR_DEVICE_DIR a
// by-id link NAME may have a file NAME.desc beside it with lines "vendor=0403", "product=6001",
// "manufacturer=...", "serial=...", "description=..." that stand for what the system tells of a real adapter.
std::string SerialDeviceDir();
struct SerialDeviceInfo {
    std::string path;  // the tty: /dev/ttyUSB0
    std::string byId;  // /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0; empty when none
    std::string description, manufacturer, serialNumber;
    int vendorId = -1, productId = -1;
    bool fixedPort = false;  // a built-in /dev/ttyS port
    bool mayOpen = true;     // this user may read and write it
};
// Every serial device present: USB and by-id adapters first (by their by-id name), then the fixed ports.
std::vector<SerialDeviceInfo> ListSerialDevices();
// What the system tells of the device that `path` (a tty, a by-id name or a link to either) leads to; false
// when it leads to no device present.
bool FindSerialDevice(const std::string& path, SerialDeviceInfo& device);

// The COMn links of a directory: the one place that resolves a COM number to a device.
enum ComLinkState : int {
    kComLinkNone = 0,    // no link COMn: the fixed port /dev/ttyS(n-1)
    kComLinkPresent,     // the link leads to a device present
    kComLinkAbsent,      // the link leads nowhere (the adapter is unplugged)
    kComLinkLoop,        // links that lead to each other
    kComLinkUnreadable,  // the link or a directory on its way cannot be read
    kComLinkNotALink,    // COMn is a file or folder of its own
};
struct ComLink {
    int port = 0;
    ComLinkState state = kComLinkNone;
    std::string target;  // what the link says, made absolute: /dev/serial/by-id/usb-...
    std::string device;  // the device it leads to now, fully resolved; empty when none
};
ComLink ReadComLink(const std::string& dir, int port);
// The COMn links (n = 1..255) of a directory, by number.
std::vector<ComLink> ListComLinks(const std::string& dir);
// Where COM `port` of the program directory leads: the target of its link, else /dev/ttyS(n-1).
std::string ComLinkDevice(const std::string& dir, int port);
// Checks a device name a person gave (a typed path, a list entry): 0 when it names a serial device that
// exists, else -1 with a sentence that says what is wrong (blanks, a link to nowhere, a loop, a directory
// that cannot be read, not a device).
int CheckDeviceName(const std::string& name, std::string& error);
// Gives `device` the lowest COM number free in `dir` by making the link COMn to it (to its by-id name where
// it has one); a device that already has a COM number keeps it. 0 with the number, else -1 and why.
int LinkComPort(const std::string& dir, const std::string& device, int& port, std::string& error);
// Calls fn(data) on the user-interface thread within about half a second of a change of the serial devices
// or of the COMn links of `dir`, until StopWatchingSerialDevices. One watch at a time.
void WatchSerialDevices(const std::string& dir, DeferredCallbackPtr fn, void* data);
void StopWatchingSerialDevices();

// ---------------------------------------------------------------------------------------------------------
// TCP client
enum : int { TCP_CONNECT = 1, TCP_DISCONNECT = 2, TCP_DATAREADY = 3 };
enum : int {
    kTCP_UnableToRegisterService = -1,
    kTCP_UnableToEstablishConnection = -2,
    kTCP_ExistingServer = -3,
    kTCP_FailedToConnect = -4,
    kTCP_ServerNotRegistered = -5,
    kTCP_TooManyConversations = -6,
    kTCP_ReadFailed = -7,
    kTCP_WriteFailed = -8,
    kTCP_InvalidParameter = -9,
    kTCP_OutOfMemory = -10,
    kTCP_TimeOutErr = -11,
    kTCP_NoConnectionEstablished = -12,
    kTCP_GeneralIOErr = -13,
    kTCP_ConnectionClosed = -14,
};
using TCPCallbackPtr = int (*)(unsigned handle, int xType, int errCode, void* callbackData);
// Connects and returns 0 with the conversation handle, or a negative TCP error (kTCP_TimeOutErr when the
// name lookup and the connect together take longer than timeoutMs). The callback runs on the user-interface
// thread inside the event pump; TCP_DATAREADY is raised again while unread bytes remain after it returns.
//
// Every wait of the TCP client and of the serial ports (the name lookup, the connect, reads and writes that
// wait for bytes, the disconnect) runs the event pump, so the window repaints and live controls answer
// meanwhile. A read or write that waits on a conversation raises none of its events; they follow once it
// returns. A port closed or a conversation ended by a callback during such a wait ends the wait with
// kRS232PortNotOpen or kTCP_ConnectionClosed.
int ConnectToTCPServer(unsigned& handle, int port, std::string_view serverName, TCPCallbackPtr callback,
                       void* callbackData, int timeoutMs);
int DisconnectFromTCPServer(unsigned handle);
int ClientTCPWrite(unsigned handle, const unsigned char* data, int count, int timeoutMs);
// Reads up to count bytes; waits up to timeoutMs for the first byte when none are buffered.
int ClientTCPRead(unsigned handle, unsigned char* data, int count, int timeoutMs);

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
