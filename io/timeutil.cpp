// Time and locks.
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "io.h"

namespace {

const auto g_start = std::chrono::steady_clock::now();

std::tm LocalNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

std::string Formatted(const char* format) {
    const std::tm local = LocalNow();
    char buf[32];
    const size_t n = std::strftime(buf, sizeof buf, format, &local);
    return std::string(buf, n);
}

// Lock handles: recursive mutexes in a table guarded by its own mutex. The owner is tracked so that a
// release by a thread that does not hold the lock fails instead of corrupting the mutex.
struct Lock {
    std::recursive_mutex mutex;
    std::atomic<std::thread::id> owner{};
    std::atomic<int> depth{0};  // changed only by the owner
};
std::mutex g_locksMutex;
std::map<int, std::shared_ptr<Lock>> g_locks;
int g_nextLock = 1;

std::shared_ptr<Lock> LockOf(int handle) {
    std::lock_guard guard(g_locksMutex);
    auto it = g_locks.find(handle);
    return it == g_locks.end() ? nullptr : it->second;
}

constexpr int kInvalidLock = -1;
constexpr int kNotOwner = -2;

}  // namespace

double Timer() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - g_start).count();
}

std::string DateStr() {
    return Formatted("%m-%d-%Y");
}
std::string TimeStr() {
    return Formatted("%H:%M:%S");
}

void Delay(double seconds) {
    if (seconds > 0) std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

void Sleep(int milliseconds) {
    if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

int CmtNewLock(std::string_view name, int options, int& lockHandle) {
    (void)name;
    (void)options;
    std::lock_guard guard(g_locksMutex);
    lockHandle = g_nextLock++;
    g_locks[lockHandle] = std::make_shared<Lock>();
    return 0;
}

int CmtGetLock(int lockHandle) {
    auto lock = LockOf(lockHandle);
    if (!lock) return kInvalidLock;
    lock->mutex.lock();
    lock->owner = std::this_thread::get_id();
    ++lock->depth;
    return 0;
}

int CmtReleaseLock(int lockHandle) {
    auto lock = LockOf(lockHandle);
    if (!lock) return kInvalidLock;
    if (lock->owner != std::this_thread::get_id()) return kNotOwner;
    if (--lock->depth == 0) lock->owner = std::thread::id();
    lock->mutex.unlock();
    return 0;
}

int CmtDiscardLock(int lockHandle) {
    std::lock_guard guard(g_locksMutex);
    auto it = g_locks.find(lockHandle);
    if (it == g_locks.end()) return kInvalidLock;
    Lock& lock = *it->second;
    if (lock.depth > 0) {
        if (lock.owner != std::this_thread::get_id()) return kNotOwner;  // another thread still holds it
        for (; lock.depth > 0; --lock.depth) lock.mutex.unlock();        // a holder may discard its own lock
        lock.owner = std::thread::id();
    }
    g_locks.erase(it);
    return 0;
}

int CmtGetCurrentThreadID() {
    return static_cast<int>(::syscall(SYS_gettid));
}
