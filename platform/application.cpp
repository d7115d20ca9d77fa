// The application object's life: start-up (with windows, or as a console program without a display),
// SIGTERM and SIGINT as requests to end the run, and the end of the run, which closes the links, discards the
// panels and destroys the application object while every Qt object it needs is still there.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "internal.h"

namespace platform_detail {
namespace {

int g_argc = 0;
QCoreApplication* g_app = nullptr;

// The signal handler's only work: one byte with the signal number into this pipe, whose reading end a
// notifier watches on the user-interface thread.
int g_signalPipe[2] = {-1, -1};
volatile sig_atomic_t g_signalCaught = 0;
QSocketNotifier* g_signalNotifier = nullptr;
TerminationCallbackPtr g_terminationHandler = nullptr;
int g_terminationSignal = 0;

std::vector<QPointer<QWidget>> g_openPopups;  // innermost last

extern "C" void OnTerminationSignal(int signalNumber) {
    if (g_signalCaught) {
        // The second request: the run did not end in time, so the process ends now, the default way.
        ::signal(signalNumber, SIG_DFL);
        ::raise(signalNumber);
        return;
    }
    g_signalCaught = 1;
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
    errno = savedErrno;
}

void SetTerminationDisposition(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

void TakeSignalBytes() {
    unsigned char byte = 0;
    while (::read(g_signalPipe[0], &byte, 1) == 1)
        if (g_terminationSignal == 0) g_terminationSignal = byte;
    CloseOpenPopups();
    ServeTermination();
}

void StopTerminationSignals() {
    if (!g_signalNotifier) return;
    SetTerminationDisposition(SIG_DFL);
    delete g_signalNotifier;
    g_signalNotifier = nullptr;
    for (int& fd : g_signalPipe) {
        ::close(fd);
        fd = -1;
    }
}

// The program's callbacks that io raises (TCP events, serial device changes) count as callbacks here.
void RunProgramCallback(void (*callback)(void*), void* context) {
    CallbackScope scope;
    callback(context);
}

// The waits of the serial ports and the TCP client on this thread run the event pump, so windows stay
// alive, the harness acts inside busy waits and a termination request is served while a link waits.
void HookLinkWaits() {
    io::SetWaitHook({PumpEvents, RunProgramCallback});
}

}  // namespace

bool HasWindows() {
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

void ResetTermination() {
    StopTerminationSignals();
    g_terminationHandler = nullptr;
    g_terminationSignal = 0;
    g_signalCaught = 0;
}

bool TerminationRequested() {
    return g_terminationSignal != 0;
}

void ServeTermination() {
    static bool serving = false;
    if (g_terminationSignal == 0 || !g_terminationHandler || serving) return;
    serving = true;
    {
        CallbackScope scope;
        g_terminationHandler(g_terminationSignal);
    }
    serving = false;
}

void RegisterOpenPopup(QWidget* dialog, bool open) {
    if (open)
        g_openPopups.emplace_back(dialog);
    else
        g_openPopups.erase(std::remove(g_openPopups.begin(), g_openPopups.end(), dialog), g_openPopups.end());
}

void CloseOpenPopups() {
    // Innermost first: each closed dialog's own loop returns once the pump is back in it.
    for (auto it = g_openPopups.rbegin(); it != g_openPopups.rend(); ++it)
        if (auto* dialog = qobject_cast<QDialog*>(it->data())) dialog->reject();
}

}  // namespace platform_detail

using namespace platform_detail;

int InitCVIRTE(int argc, char** argv) {
    if (g_app) return HasWindows() ? 0 : -1;
    if (QCoreApplication::instance()) return -1;  // someone else's application object
    g_argc = argc;
    const std::string program = argc > 0 ? std::filesystem::path(argv[0]).filename().string() : "";
    if (!DisplayToOpenWindowsOn(program)) return -1;
    EnsureRuntimeDir();
    g_app = new QApplication(g_argc, argv);
    // Hiding the last shown panel must not end the program; the program decides when to quit.
    QApplication::setQuitOnLastWindowClosed(false);
    HookLinkWaits();
    return 0;
}

// A console program loads no platform plugin, so it needs no display and says nothing about one.
int InitConsoleRTE(int argc, char** argv) {
    if (g_app) return HasWindows() ? -1 : 0;
    if (QCoreApplication::instance()) return -1;
    g_argc = argc;
    g_app = new QCoreApplication(g_argc, argv);
    HookLinkWaits();
    return 0;
}

std::string GetToolkitVersion() {
    return std::string("Qt ") + qVersion();
}

void CloseCVIRTE() {
    if (!g_app) return;
    StopTerminationSignals();
    StopWatchingSerialDevices();
    io::SetWaitHook({});
    io::CloseAllConversations();
    io::CloseAllPorts();
    DiscardAllPanels();
    // Widgets whose deletion waited for a callback to return.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    delete g_app;
    g_app = nullptr;
}

int InstallTerminationHandler(TerminationCallbackPtr handler) {
    if (!g_app) return -1;
    g_terminationHandler = handler;
    if (g_signalNotifier) return 0;
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return -1;
    g_signalNotifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(g_signalNotifier, &QSocketNotifier::activated, [] { TakeSignalBytes(); });
    SetTerminationDisposition(OnTerminationSignal);
    return 0;
}

int TerminationSignal() {
    return g_terminationSignal;
}
