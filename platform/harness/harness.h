// Test harness: does what a person at the screen does, through the same paths that real widget input
// takes, so the programs' callbacks see exactly the events a user would cause. Pop-ups are answered by
// script and recorded. No Qt type crosses this header.
#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "platform.h"

namespace uitest {

// Switches the platform into test mode: pop-ups no longer open dialogs but go through the script below,
// GetProjectDir answers `projectDir` when it is not empty. Call after InitCVIRTE.
void Install(std::string_view projectDir = {});
// Drops scripted answers, recorded pop-ups, platform errors and queued actions, and ends the handling of
// SIGTERM and SIGINT that a test installed (between tests in one process).
void Reset();
void SetProjectDir(std::string_view dir);
// Opening this serial device (a path as ComPortDevicePath gives it) fails as it does for a user who lacks
// the permission; tests run as root, who may open anything. Reset ends it.
void RefuseComDevice(std::string_view device);

// --- a person's actions (each returns 0, or a UIE error when the control cannot take the action) ---------
// Puts the value into the control as typing or choosing would, then raises value changed and commit.
int SetAndCommit(int panel, int control, int value);
int SetAndCommit(int panel, int control, unsigned short value);
int SetAndCommit(int panel, int control, double value);
int SetAndCommit(int panel, int control, std::string_view value);
// Commits the control's current value (Enter in a field, a button press).
int Commit(int panel, int control);
int Click(int panel, int control);  // left click: a button press commits; other controls get EVENT_LEFT_CLICK
int RightClick(int panel, int control);
int DoubleClick(int panel, int control);
// A key press on the control (gets the focus first). Returns 1 when a callback swallowed the key.
int PressKey(int panel, int control, int key);
// Types text into a text field character by character: a key press and a value change per character.
int TypeText(int panel, int control, std::string_view text);
// Picks item `index` of a ring's list, as a person choosing it from the opened list.
int SelectListItem(int panel, int control, int index);
// Edits a table cell as a person does: the cell's editor opened, the text typed in, Enter. UIEInvalidValue
// when the editor does not take the text (a cell of 0..65535 takes no "abc" or "1.5"; it takes "65536" as
// 65535 and "-1" as 0).
int SetTableCellAndCommit(int panel, int control, Point cell, std::string_view text);
// The close box of a panel's window.
int ClosePanel(int panel);
// Is the control visible to a person (itself and every parent panel shown)?
bool IsShown(int panel, int control);
bool IsPanelShown(int panel);
// The colour (0xRRGGBB) drawn at (top, left) of the panel, child panels included, also while it is hidden;
// a UIE error for a bad panel or a point outside it.
int PanelPixel(int panel, int top, int left);

// --- a person's input through the window system ----------------------------------------------------------
// Mouse and keys as the display server hands them to Qt: Qt itself finds the widget under the pointer or
// with the focus, makes double clicks, context menus and shortcut keys. Each returns 0, or a UIE error when
// the control or panel cannot take the input (dimmed, hidden, not there).
enum MouseButton : int { kLeftButton = 1, kRightButton = 2 };
// A click on the control (dimmed or not, as a person may click it; it must be shown); control 0 clicks the
// panel's own surface at (top, left).
int RealClick(int panel, int control, int button = kLeftButton, int top = 0, int left = 0);
int RealDoubleClick(int panel, int control);
// A key (a code of platform.h: VAL_F9_VKEY, 'a', VAL_ENTER_VKEY ...) to the panel's window, made active.
int RealKey(int panel, int key);
// Clicks into the field, selects all it shows, types the text key by key and presses Enter.
int RealType(int panel, int control, std::string_view text);
// Double-clicks a table cell (1-based column, row) to open its editor, types the text over what it shows
// and presses Enter.
int RealEditCell(int panel, int control, Point cell, std::string_view text);

// --- Qt's own dialogs -------------------------------------------------------------------------------------
// From now on pop-ups open as Qt's own dialogs (no scripted answers) until Reset. A person answers them
// with the steps queued below: each step runs, in order, on the modal dialog open at that moment (the
// innermost), as soon as one shows.
void UseRealDialogs();
// Types text key by key into the dialog's file name field (else its focused field), over what it shows.
void TypeInDialog(std::string text);
// Clicks the dialog's button that carries this label ("Save", "OK", "Cancel", "&Yes" without the &).
void PressInDialog(std::string label);
// A key to the dialog's focused widget (VAL_ENTER_VKEY, VAL_ESC_VKEY ...).
void KeyInDialog(int key);
int PendingDialogSteps();
// Every Qt dialog that opened since UseRealDialogs, in order.
struct DialogSeen {
    std::string title;
    std::string text;         // a message's text; a file dialog's file name field when it opened
    std::string acceptLabel;  // a file dialog's accept button ("Save", "Load", "OK"); empty for messages
    bool fileDialog = false;
    bool existingFilesOnly = false;  // a file dialog that refuses names of files that do not exist
    bool canMakeDirectory = false;   // a file dialog that offers to make a new folder
    std::string filters;             // a file dialog's name filters, one per line
    bool unanswered = false;         // no step came for it within 10 s: it was closed as cancelled
    std::string ownerTitle;          // the title of the window it belongs to; empty when it has none
    int offsetX = 0, offsetY = 0;    // its centre less that window's centre, in pixels, as it showed
};
const std::vector<DialogSeen>& DialogsSeen();

// --- pop-ups ------------------------------------------------------------------------------------------
struct Popup {
    enum Kind { Message, Confirm, FileSelect } kind;
    std::string title;
    std::string text;  // message text; for FileSelect the default file name
    // FileSelect arguments
    std::string directory, filter;
    int buttonLabel = 0, restrictDirectory = 0, restrictExtension = 0, allowCancel = 0,
        allowMakeDirectory = 0;
};
// The next message or confirm pop-up must have this title and text; it is answered with `answer`.
void ExpectPopup(std::string title, std::string text, int answer = 1);
// The next file pop-up is answered with `result` and `path` (VAL_NO_FILE_SELECTED for cancel).
void ExpectFileSelect(int result, std::string path = {});
// From now on, a pop-up that no expectation matches is answered by `answer` (its result, and for a file
// pop-up the path) instead of counting as unexpected: for runs whose pop-ups depend on chance, such as
// operations on a noisy line. Reset ends it.
struct PopupReply {
    int result = 0;
    std::string path;
};
void AnswerOtherPopups(std::function<PopupReply(const Popup&)> answer);
// Every pop-up shown so far, expected or not, in order.
const std::vector<Popup>& Popups();
// Pop-ups that came when none was expected, or that did not match the expectation (answered with 0 /
// cancel). A test fails when this is not empty.
const std::vector<Popup>& UnexpectedPopups();
// Expectations that no pop-up consumed.
int PendingExpectations();

// --- what the program writes ----------------------------------------------------------------------------
// From now on, records every number the program writes into this control with SetCtrlVal (one control at a
// time), including values that no repaint or busy wait would catch.
void WatchValues(int panel, int control);
const std::vector<double>& WatchedValues();

// --- platform errors ------------------------------------------------------------------------------------
// Every negative result of a user-interface operation (panels, controls, lists, tables, charts) called from
// outside the platform that no AllowPlatformErrors in force allows, in order. UiTest fails a test that
// leaves any: a wrong control id, a value of the wrong type or a control the panel lacks is a fault. A
// search that finds nothing (GetIndexFromValue: UIEItemNotFound) has its answer and is not recorded.
struct PlatformError {
    std::string operation;
    int result;
};
const std::vector<PlatformError>& PlatformErrors();
// Returns the recorded errors and forgets them (a test of the record itself).
std::vector<PlatformError> TakePlatformErrors();
// While it lives, the listed operations may return the listed results without being recorded: for calls
// that are meant to fail. Count() tells how many results it took, so a test can show it was needed.
class AllowPlatformErrors {
  public:
    AllowPlatformErrors(std::string operation, int result);
    AllowPlatformErrors(std::initializer_list<PlatformError> errors);
    ~AllowPlatformErrors();
    AllowPlatformErrors(const AllowPlatformErrors&) = delete;
    AllowPlatformErrors& operator=(const AllowPlatformErrors&) = delete;
    bool Takes(const std::string& operation, int result);
    int Count() const { return count_; }

  private:
    std::vector<PlatformError> errors_;
    int count_ = 0;
};

// --- repaints -------------------------------------------------------------------------------------------
// From now on, counts the paint events of a panel's window (its child panels and controls included).
void CountPaints(int panel);
int Paints();

// --- links ------------------------------------------------------------------------------------------------
// The name lookup of every TCP connect takes this long before it asks the resolver, as with a slow name
// server. Reset ends it.
void SetNameLookupDelay(int milliseconds);

// --- inside busy loops --------------------------------------------------------------------------------
// Runs `action` from within ProcessSystemEvents while a callback is running (a busy wait inside a
// callback), after `skipPasses` such passes have gone by. Actions run one per pass, in order.
void RunDuringBusyWait(std::function<void()> action, int skipPasses = 0);
int PendingBusyWaitActions();
// Pumps events until `done()` or `seconds` have passed; returns done().
bool PumpUntil(const std::function<bool()>& done, double seconds);

}  // namespace uitest
