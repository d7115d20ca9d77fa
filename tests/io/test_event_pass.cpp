// The timed pass of a thread's own events (io::RunPendingEvents), on a thread without the wait hook as each
// run of sensor-tool uses it for its link's waits: the wait ends when an event comes, not at its limit, and
// a wait with nothing to do sleeps instead of spinning.
#include <gtest/gtest.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#include <QObject>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <latch>
#include <string>
#include <thread>
#include <vector>

#include "io.h"
#include "io_host.h"
#include "sensor_emulator.h"

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
    std::atomic<bool> returned{false};
    std::latch waiting(1), posted(1);
    std::atomic<bool> ran{false};
    bool woken = false;
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
        returned = true;
        posted.wait();  // `here` stays until the call to it is queued
    });
    waiting.wait();
    while (!returned && ThreadState(waiter) != 'S') std::this_thread::yield();  // asleep in its wait
    QMetaObject::invokeMethod(
        receiver.load(), [&] { ran = true; }, Qt::QueuedConnection);
    posted.count_down();
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

TEST(IoEventPass, AWaitUntilATimeSleepsToItInLongPassesAndEndsWhenToldTo) {
    int passes = 0, cappedPasses = 0;
    double over = -1.0, stoppedAfter = -1.0;
    bool stopped = false;
    std::vector<int> asked;
    std::vector<double> left;
    std::thread t([&] {
        QObject here;
        RunStartUpEvents();
        auto pass = [](int counted, int& count) {
            return [counted, &count](int maxWaitMs) {
                count += counted;
                io::RunPendingEvents(maxWaitMs);
            };
        };
        // Nothing happens for 0.3 s: passes of up to 0.1 s, not one a millisecond, and no return before the
        // end.
        const double end = Timer() + 0.3;
        io::PassEventsUntil(end, pass(1, passes));
        over = Timer() - end;
        // Passes of at most 20 ms when told so (a thread a signal cannot wake asks again that often).
        io::PassEventsUntil(Timer() + 0.2, pass(1, cappedPasses), {}, 20);
        // A stop that comes with an event 30 ms in ends a wait of 20 s.
        QTimer::singleShot(30, &here, [&] { stopped = true; });
        const double start = Timer();
        io::PassEventsUntil(start + 20.0, pass(0, passes), [&] { return !stopped; });
        stoppedAfter = Timer() - start;
        // A short wait never asks a pass to sleep past its end: each pass at most the milliseconds left.
        const double shortEnd = Timer() + 0.05;
        io::PassEventsUntil(shortEnd, [&](int maxWaitMs) {
            asked.push_back(maxWaitMs);
            left.push_back((shortEnd - Timer()) * 1000.0);
            io::RunPendingEvents(maxWaitMs);
        });
    });
    t.join();
    EXPECT_GE(over, 0.0);
    EXPECT_LE(passes, 5);        // 0.1 + 0.1 + 0.098 s, and maybe one more for the timer's rounding
    EXPECT_GE(cappedPasses, 5);  // ten of 20 ms, fewer when the machine is slow to wake them
    EXPECT_TRUE(stopped);
    EXPECT_LT(stoppedAfter, 5.0);  // far from the 20 s, however busy the machine
    ASSERT_FALSE(asked.empty());
    for (std::size_t i = 0; i < asked.size(); ++i) EXPECT_LE(asked[i], left[i]) << "pass " << i;
}

// What a conversation's callback saw: the bytes, and the thread it ran on.
struct Seen {
    std::vector<unsigned char> bytes;
    std::thread::id thread;
};

int TakeBytes(unsigned handle, int event, int, void* data) {
    auto* seen = static_cast<Seen*>(data);
    if (event != TCP_DATAREADY) return 0;
    unsigned char buf[64];
    const int n = ClientTCPRead(handle, buf, sizeof buf, 0);
    if (n > 0) seen->bytes.insert(seen->bytes.end(), buf, buf + n);
    seen->thread = std::this_thread::get_id();
    return 0;
}

TEST(IoEventPass, AConversationsCallbackComesInTheWaitItsReplyEnds) {
    sensor_emu::EmulatorOptions o;
    o.versionText = "SENSOR-A V1.00";
    sensor_emu::SensorEmulator sensor(o);
    std::string error;
    ASSERT_TRUE(sensor.Start(&error)) << error;
    constexpr int kLimitMs = 20000;
    Seen seen;
    std::thread::id worker;
    int connected = -1;
    double seconds = 0.0;
    std::thread t([&] {
        worker = std::this_thread::get_id();
        unsigned handle = 0;
        connected = ConnectToTCPServer(handle, sensor.TcpPort(), "127.0.0.1", TakeBytes, &seen, 3000);
        if (connected != 0) return;
        std::vector<unsigned char> ask(36, 0);  // the version query: sync 00 55, order 7
        ask[1] = 0x55;
        ask[3] = 7;
        ClientTCPWrite(handle, ask.data(), 36, 3000);
        const Clock::time_point start = Clock::now();
        while (seen.bytes.size() < 36 && Clock::now() - start < std::chrono::seconds(10))
            io::RunPendingEvents(kLimitMs);
        seconds = Seconds(Clock::now() - start);
        DisconnectFromTCPServer(handle);
    });
    t.join();
    ASSERT_EQ(connected, 0);
    std::vector<unsigned char> answer(36, ' ');  // the version text, then blanks
    const std::string text = "SENSOR-A V1.00";
    std::copy(text.begin(), text.end(), answer.begin());
    EXPECT_EQ(seen.bytes, answer);
    EXPECT_EQ(seen.thread, worker);
    EXPECT_LT(seconds, kLimitMs / 1000.0 / 4);  // the reply ended the wait, not its limit
}

}  // namespace
