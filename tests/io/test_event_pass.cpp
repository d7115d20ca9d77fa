// The timed pass of a thread's own events (io::RunPendingEvents), on a thread without the wait hook as each
// run of sensor-tool uses it for its link's waits: the wait ends when an event comes, not at its limit, and
// a wait with nothing to do sleeps instead of spinning.
#include <gtest/gtest.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#include <QObject>
#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <latch>
#include <string>
#include <thread>

#include "io_host.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

double ThreadCpuSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// The state of a thread of this process as the system sees it: 'S' while it sleeps in a wait.
char ThreadState(pid_t tid) {
    std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
    const std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const std::size_t nameEnd = text.rfind(')');
    return nameEnd == std::string::npos || nameEnd + 2 >= text.size() ? '?' : text[nameEnd + 2];
}

// Runs what a new thread finds pending, so the pass under test starts with nothing to do.
void RunStartUpEvents() {
    while (io::RunPendingEvents(0)) {
    }
}

TEST(IoEventPass, AWaitEndsWhenAnEventComesNotAtItsLimit) {
    constexpr int kLimitMs = 20000;
    std::atomic<pid_t> waiter{0};
    std::atomic<QObject*> receiver{nullptr};
    std::latch waiting(1);
    bool ran = false, woken = false;
    double seconds = 0.0;
    std::thread t([&] {
        QObject here;  // a call queued to it runs on this thread
        RunStartUpEvents();
        receiver = &here;
        waiter = ::gettid();
        waiting.count_down();
        const Clock::time_point start = Clock::now();
        woken = io::RunPendingEvents(kLimitMs);
        seconds = Seconds(Clock::now() - start);
    });
    waiting.wait();
    while (ThreadState(waiter) != 'S') std::this_thread::yield();  // asleep in its wait
    QMetaObject::invokeMethod(
        receiver.load(), [&] { ran = true; }, Qt::QueuedConnection);
    t.join();
    EXPECT_TRUE(ran);
    EXPECT_TRUE(woken);
    EXPECT_LT(seconds, kLimitMs / 1000.0 / 4);  // far from the limit, however busy the machine
}

TEST(IoEventPass, AWaitWithNothingToDoSleepsUntilItsLimit) {
    constexpr int kLimitMs = 300;
    bool woken = true;
    double wall = 0.0, cpu = 0.0;
    std::thread t([&] {
        RunStartUpEvents();
        const Clock::time_point start = Clock::now();
        const double cpuStart = ThreadCpuSeconds();
        woken = io::RunPendingEvents(kLimitMs);
        cpu = ThreadCpuSeconds() - cpuStart;
        wall = Seconds(Clock::now() - start);
    });
    t.join();
    EXPECT_FALSE(woken);
    EXPECT_GE(wall, kLimitMs / 1000.0 - 0.005);  // the limit's timer may round down by a millisecond
    EXPECT_LT(cpu, wall / 10);                   // asleep, not spinning
}

TEST(IoEventPass, APassWithoutAWaitRunsWhatIsPendingAndReturns) {
    bool ran = false, first = false, second = true;
    std::thread t([&] {
        QObject here;
        RunStartUpEvents();
        QMetaObject::invokeMethod(
            &here, [&] { ran = true; }, Qt::QueuedConnection);
        first = io::RunPendingEvents(0);
        second = io::RunPendingEvents(0);
    });
    t.join();
    EXPECT_TRUE(ran);
    EXPECT_TRUE(first);
    EXPECT_FALSE(second);  // nothing was left, and it did not wait for more
}

}  // namespace
