// Internals shared by io's own sources, and the hooks of the test harness. Never included outside io, the
// platform and their tests.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>
#include <algorithm>
#include <filesystem>
#include <string>
#include <string_view>

#include "io.h"
#include "io_host.h"

namespace io_detail {

inline QString QStr(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// The running program's file (empty when the system does not tell) and its directory (the working
// directory then).
std::filesystem::path ExecutablePath();
std::string ExecutableDir();

// Harness hooks (the harness installs them; empty means normal behaviour).
void SetProjectDirOverride(const std::string& dir);
// Opening this serial device fails as for a user without the permission; empty: none (serial.cpp).
void SetRefusedComDevice(const std::string& device);
// Whether the harness refuses the device as to a user without the permission (serial.cpp).
bool ComDeviceRefused(const std::string& device);
// The device the harness refuses so; empty: none.
std::string RefusedComDevice();
// The name lookup of the TCP connect waits this long before it asks the resolver (a slow name server, for
// tests); 0: no wait.
void SetNameLookupDelay(int milliseconds);

// Whether the calling thread set the wait hook (wait.cpp), and one pass of its pump.
bool OnHookThread();
void PumpHookPass(int maxWaitMs);
// Whether the calling thread runs its events inside io::RunPendingEvents, which runs the services of its TCP
// conversations that came due meanwhile (RunDueServices) before it returns.
bool InEventPass();
// Runs the services of the calling thread's conversations that came due during its last pass (tcp.cpp);
// true when there were any.
bool RunDueServices();
// Runs callback(context) through the hook's runner on the hook's thread, else directly.
void RunCallback(void (*callback)(void*), void* context);
// Template form of RunCallback for a lambda or other callable.
template <class Fn>
void RunCallback(Fn& fn) {
    RunCallback([](void* f) { (*static_cast<Fn*>(f))(); }, &fn);
}
void NoteLinkActivity();
// Makes sure the calling thread can hold sockets and ports (a thread not started by Qt has no event
// dispatcher until something asks for one).
void PrepareThread();

// Waits until done() is true or timeoutMs have passed, and returns done(). Every wait of io goes through
// here. On the hook's thread each pass runs the hook's pump for at most 10 ms. On any other thread each pass
// calls block(msLeft), which waits on the object itself (waitForReadyRead and the like) and returns when it
// may have changed, and then runs what is pending for this thread's own objects (its TCP callbacks).
template <class Done, class Block>
bool WaitFor(Done&& done, qint64 timeoutMs, Block&& block) {
    constexpr qint64 kPassMs = 10;
    const bool pump = OnHookThread();
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0) return done();
        if (pump) {
            PumpHookPass(static_cast<int>(std::min(left, kPassMs)));
        } else {
            block(left);
            // This thread's own sockets and queued calls only: its conversations' callbacks.
            QCoreApplication::processEvents();
            QCoreApplication::sendPostedEvents();
        }
    }
    return true;
}

}  // namespace io_detail
