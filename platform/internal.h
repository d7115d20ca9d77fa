// Qt-facing internals shared by the platform's own sources; never included outside the platform library,
// its harness and its white-box tests.
#pragma once

#include <filesystem>

#include <QColor>
#include <QString>
#include <QWidget>
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
// nesting depth for as long as it lives.
struct CallbackScope {
    CallbackScope();
    ~CallbackScope();
    CallbackScope(const CallbackScope&) = delete;
    CallbackScope& operator=(const CallbackScope&) = delete;
};

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
// Told of every number the program writes into a control with SetCtrlVal (the harness records them).
using ValueWatch = void (*)(int panel, int control, double value);
void SetValueWatch(ValueWatch watch);

QColor ToQColor(int rgb);
int FromQColor(const QColor& c);

}  // namespace platform_detail
