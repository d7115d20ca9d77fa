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

#include "platform.h"

namespace platform_detail {

inline QString QStr(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// The directory of the running executable (files.cpp): the program directory and the default panel
// directory both start from here.
// The running program's file (empty when the system does not tell) and its directory (the working
// directory then).
std::filesystem::path ExecutablePath();
std::string ExecutableDir();

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
// hook, the termination handler, then the events. ProcessSystemEvents is a pass of 1 ms.
bool PumpEvents(int maxWaitMs);  // true when it ran anything
// Bytes written to or read from a serial port or a TCP conversation: the next ProcessSystemEvents does not
// wait (a pass between exchanges with the sensor), as a pass that follows only another pass does.
void NoteLinkActivity();
// Runs the event pump until done() is true or timeoutMs have passed; returns done(). Every wait of the
// platform goes through here, so the window stays alive while it waits.
template <class Done>
bool WaitWithEvents(Done&& done, qint64 timeoutMs);

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

// The end of the run (CloseCVIRTE): every TCP conversation and serial port closed without running the
// event pump (no callback of the program runs any more), every panel discarded.
void CloseAllConversations();
void CloseAllPorts();
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
void SetPumpHook(PumpHook hook);  // called at the start of every ProcessSystemEvents
void SetProjectDirOverride(const std::string& dir);
// Opening this serial device fails as for a user without the permission; empty: none (serial.cpp).
void SetRefusedComDevice(const std::string& device);
// Whether the harness refuses the device as to a user without the permission (serial.cpp).
bool ComDeviceRefused(const std::string& device);
// Told of every number the program writes into a control with SetCtrlVal (the harness records them).
using ValueWatch = void (*)(int panel, int control, double value);
void SetValueWatch(ValueWatch watch);

// The name lookup of the TCP connect waits this long before it asks the resolver (a slow name server, for
// tests); 0: no wait.
void SetNameLookupDelay(int milliseconds);

// The screen's frame clock (screen_pace.cpp). What a program changes faster than a screen can show it (plots,
// numeric indicators, bars) goes on the screen at the clock's next tick, all of it together, so a window
// paints at most once per frame however many frames of data arrived meanwhile. `show` runs at that tick
// unless `owner` is gone. ShowScreenFrameNow runs what waits at once (before a picture is taken).
inline constexpr int kScreenFrameMs = 33;
void AtNextScreenFrame(QObject* owner, std::function<void()> show);
void ShowScreenFrameNow();

QColor ToQColor(int rgb);
int FromQColor(const QColor& c);

template <class Done>
bool WaitWithEvents(Done&& done, qint64 timeoutMs) {
    // Each pass waits at most this long, so the harness hook and the clock are looked at often enough.
    constexpr qint64 kPassMs = 10;
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0) return done();
        PumpEvents(static_cast<int>(std::min(left, kPassMs)));
    }
    return true;
}

}  // namespace platform_detail
