// Qt-facing internals shared by the platform's own sources; never included outside the platform library,
// its harness and its white-box tests.
#pragma once

#include <QColor>
#include <QElapsedTimer>
#include <QString>
#include <QWidget>
#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "io_internal.h"
#include "platform.h"

namespace platform_detail {

// From io: the executable's directory (the program directory and the default panel directory both start
// from here) and the harness's hooks of files, serial ports and the TCP client.
using io_detail::ComDeviceRefused;
using io_detail::ExecutableDir;
using io_detail::ExecutablePath;
using io_detail::QStr;
using io_detail::SetNameLookupDelay;
using io_detail::SetProjectDirOverride;
using io_detail::SetRefusedComDevice;

// The registry of loaded panels and their controls (registry.cpp).
QWidget* FindPanel(int panel);
QWidget* FindCtrl(int panel, int control);

// Delivers an event to a control's callback (or a panel's, with control 0) and returns its result.
// Tracks the callback nesting depth that the harness uses to recognise busy waits.
int DispatchCtrlEvent(int panel, int control, int event, int eventData1, int eventData2);
int DispatchPanelEvent(int panel, int event, int eventData1, int eventData2);
int CallbackDepth();
// Counts a callback that does not go through the dispatch above (a deferred call, a TCP callback) into the
// nesting depth for as long as it lives. Operations the program calls inside the callback are its own
// again (see Checked), even when the callback runs inside an operation.
struct CallbackScope {
    CallbackScope();
    ~CallbackScope();
    CallbackScope(const CallbackScope&) = delete;
    CallbackScope& operator=(const CallbackScope&) = delete;

  private:
    int savedOperationDepth_;
};

// One pass of the event pump that waits at most maxWaitMs for an event when none is pending: the harness
// hook, the termination handler, then the events. ProcessSystemEvents is a pass of 1 ms. It is io's wait
// hook on the user-interface thread (application.cpp), so the window stays alive while a link waits.
bool PumpEvents(int maxWaitMs);  // true when it ran anything

// Negative results of the user-interface operations, for the harness: an operation that the program called
// runs its body through Checked, which tells the error watch of a negative result other than `answer` (a
// result that answers a question, as "not found" answers a search). Operations that the platform calls
// for itself inside one are not told.
using ErrorWatch = void (*)(const char* operation, int result);
void SetErrorWatch(ErrorWatch watch);
class OperationScope {
  public:
    OperationScope();
    ~OperationScope();
    OperationScope(const OperationScope&) = delete;
    OperationScope& operator=(const OperationScope&) = delete;
    void Report(const char* operation, int result) const;
};
template <class Body>
int Checked(const char* operation, Body&& body, int answer = 0) {
    OperationScope scope;
    const int result = body();
    if (result < 0 && result != answer) scope.Report(operation, result);
    return result;
}

// The end of the run (CloseCVIRTE): every panel discarded.
void DiscardAllPanels();

// Whether the run has windows (InitCVIRTE) rather than being a console program (InitConsoleRTE).
bool HasWindows();

// Termination requests (application.cpp): whether one came, and closing the pop-ups open at that moment.
bool TerminationRequested();
// Back to the default dispositions of the signals, with no request and no handler (the harness, between
// tests).
void ResetTermination();
void ServeTermination();
void RegisterOpenPopup(QWidget* dialog, bool open);
void CloseOpenPopups();

// Harness hooks (the harness installs them; empty means normal behaviour).
struct PopupRequest {
    int kind;  // uitest::Popup::Kind
    std::string title, text, directory, filter;
    int buttonLabel, restrictDirectory, restrictExtension, allowCancel, allowMakeDirectory;
};
struct PopupAnswer {
    int result;
    std::string path;
};
using PopupResponder = PopupAnswer (*)(const PopupRequest&);
void SetPopupResponder(PopupResponder responder);
using PumpHook = void (*)();
// Whether the hook has work for the next pass (a pass that has must not sleep).
using PumpHookPending = bool (*)();
// The hook is called at the start of every ProcessSystemEvents.
void SetPumpHook(PumpHook hook, PumpHookPending pending = nullptr);
// Told of every number the program writes into a control with SetCtrlVal (the harness records them).
using ValueWatch = void (*)(int panel, int control, double value);
void SetValueWatch(ValueWatch watch);

// The screen's frame clock (screen_pace.cpp). What a program changes faster than a screen can show it (plots,
// numeric indicators, bars) goes on the screen at the clock's next tick, all of it together, so a window
// paints at most once per frame however many frames of data arrived meanwhile. `show` runs at that tick
// unless `owner` is gone. ShowScreenFrameNow runs what waits at once (before a picture is taken).
inline constexpr int kScreenFrameMs = 33;
void AtNextScreenFrame(QObject* owner, std::function<void()> show);
void ShowScreenFrameNow();

QColor ToQColor(int rgb);
int FromQColor(const QColor& c);

}  // namespace platform_detail
