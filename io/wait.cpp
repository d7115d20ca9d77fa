// The wait hook, the callbacks' runner, the timed pass of a thread's events and the link activity count.
#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <mutex>

#include "io_internal.h"

namespace {

std::mutex g_hookMutex;
io::WaitHook g_hook;
std::atomic<QThread*> g_hookThread{nullptr};
std::atomic<std::uint64_t> g_linkActivity{0};
thread_local std::uint64_t t_linkActivity = 0;
thread_local int t_passDepth = 0;  // RunPendingEvents running their events on this thread

struct PassScope {
    PassScope() { ++t_passDepth; }
    ~PassScope() { --t_passDepth; }
    PassScope(const PassScope&) = delete;
    PassScope& operator=(const PassScope&) = delete;
};

io::WaitHook HookHere() {
    if (g_hookThread.load() != QThread::currentThread()) return {};
    std::lock_guard lock(g_hookMutex);
    return g_hook;
}

}  // namespace

void io::SetWaitHook(WaitHook hook) {
    std::lock_guard lock(g_hookMutex);
    g_hook = hook;
    g_hookThread = hook.pump || hook.runCallback ? QThread::currentThread() : nullptr;
}

bool io::RunPendingEvents(int maxWaitMs) {
    if (QCoreApplication::instance()) io_detail::PrepareThread();
    QAbstractEventDispatcher* d = QAbstractEventDispatcher::instance();
    if (!d) return false;
    bool ran = false;
    {
        const PassScope pass;
        ran = d->processEvents(QEventLoop::AllEvents);
        if (!ran && maxWaitMs > 0) {
            // Nothing was pending: wait for the next event, but no longer than maxWaitMs.
            QTimer limit;
            limit.setSingleShot(true);
            limit.setTimerType(Qt::PreciseTimer);
            limit.start(maxWaitMs);
            d->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
            ran = limit.isActive();  // woken by something else than the limit
        }
    }
    return io_detail::RunDueServices() || ran;
}

void io::PassEventsUntil(double end, const std::function<void(int)>& pass,
                         const std::function<bool()>& keepOn, int maxPassMs) {
    constexpr double kSleptAtTheEnd = 0.002;
    for (double left = end - Timer(); left > 0.0 && (!keepOn || keepOn()); left = end - Timer()) {
        if (left < kSleptAtTheEnd) {
            Delay(left);
            return;
        }
        // Whole milliseconds, rounded down: the pass ends at least 1 ms before the end.
        pass(std::min(maxPassMs, static_cast<int>((left - 0.001) * 1000.0)));
    }
}

std::uint64_t io::LinkActivity() {
    return g_linkActivity.load();
}

std::uint64_t io::ThreadLinkActivity() {
    return t_linkActivity;
}

namespace io_detail {

bool InEventPass() {
    return t_passDepth > 0;
}

bool OnHookThread() {
    return HookHere().pump != nullptr;
}

void PumpHookPass(int maxWaitMs) {
    if (const io::PumpPass pump = HookHere().pump) pump(maxWaitMs);
}

void RunCallback(void (*callback)(void*), void* context) {
    if (const io::CallbackRunner run = HookHere().runCallback)
        run(callback, context);
    else
        callback(context);
}

void NoteLinkActivity() {
    ++g_linkActivity;
    ++t_linkActivity;
}

void PrepareThread() {
    if (!QThread::currentThread()->eventDispatcher()) QEventLoop makesTheDispatcher;
}

}  // namespace io_detail
