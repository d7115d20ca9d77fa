// The wait hook, the callbacks' runner and the link activity count.
#include <QEventLoop>
#include <QThread>
#include <atomic>
#include <mutex>

#include "io_internal.h"

namespace {

std::mutex g_hookMutex;
io::WaitHook g_hook;
std::atomic<QThread*> g_hookThread{nullptr};
std::atomic<std::uint64_t> g_linkActivity{0};
thread_local std::uint64_t t_linkActivity = 0;

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

std::uint64_t io::LinkActivity() {
    return g_linkActivity.load();
}

std::uint64_t io::ThreadLinkActivity() {
    return t_linkActivity;
}

namespace io_detail {

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
