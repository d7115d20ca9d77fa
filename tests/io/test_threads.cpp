// Several threads on the serial ports and the TCP client at once, each with its own sensor: every thread
// gets its own sensor's answers and nobody else's, no thread runs the wait hook that another thread set, and
// a conversation's callback comes on the thread that connected it. Built on io alone (no windows, no
// platform), with the main thread standing in for a host that sets the wait hook.
#include <gtest/gtest.h>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QThread>
#include <atomic>
#include <barrier>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "io.h"
#include "io_host.h"
#include "local_servers.h"
#include "sensor_emulator.h"

namespace {

using Bytes = std::vector<unsigned char>;

// A request frame of 36 bytes: sync 00 55, the order, then the given bytes from byte 4 on, the rest zero.
Bytes Request(std::uint8_t order, std::initializer_list<unsigned char> rest = {}) {
    Bytes f(36, 0);
    f[1] = 0x55;
    f[3] = order;
    std::copy(rest.begin(), rest.end(), f.begin() + 4);
    return f;
}

// The version answer of a sensor whose version text is `text`: the text, then blanks up to 36 bytes.
Bytes VersionAnswer(const std::string& text) {
    Bytes f(36, ' ');
    std::copy(text.begin(), text.end(), f.begin());
    return f;
}

// Who ran the host's hooks, and how often.
std::mutex g_hookMutex;
std::set<std::thread::id> g_pumpThreads, g_runnerThreads;
std::atomic<int> g_pumpPasses{0};

bool RecordingPump(int maxWaitMs) {
    {
        std::lock_guard lock(g_hookMutex);
        g_pumpThreads.insert(std::this_thread::get_id());
    }
    ++g_pumpPasses;
    QAbstractEventDispatcher* d = QAbstractEventDispatcher::instance();
    if (d->processEvents(QEventLoop::AllEvents)) return true;
    QThread::msleep(static_cast<unsigned long>(std::min(maxWaitMs, 1)));
    return false;
}

void RecordingRunner(void (*callback)(void*), void* context) {
    {
        std::lock_guard lock(g_hookMutex);
        g_runnerThreads.insert(std::this_thread::get_id());
    }
    callback(context);
}

class IoThreadsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        io::SetWaitHook({RecordingPump, RecordingRunner});
        std::lock_guard lock(g_hookMutex);
        g_pumpThreads.clear();
        g_runnerThreads.clear();
        g_pumpPasses = 0;
    }
    void TearDown() override { io::SetWaitHook({}); }

    // A sensor on TCP whose version text is `text`.
    static std::unique_ptr<sensor_emu::SensorEmulator> Sensor(const std::string& text, bool pty = false) {
        sensor_emu::EmulatorOptions o;
        o.versionText = text;
        o.tcp = !pty;
        o.pty = pty;
        auto e = std::make_unique<sensor_emu::SensorEmulator>(o);
        std::string error;
        EXPECT_TRUE(e->Start(&error)) << error;
        return e;
    }
};

// Reads exactly `count` bytes of a conversation (a frame may come in pieces); fewer when it fails.
Bytes ReadTcp(unsigned handle, std::size_t count) {
    Bytes got;
    unsigned char buf[64];
    while (got.size() < count) {
        const int n = ClientTCPRead(handle, buf, static_cast<int>(count - got.size()), 3000);
        if (n <= 0) break;
        got.insert(got.end(), buf, buf + n);
    }
    return got;
}

// One sensor's conversation: 30 times its version, then a word into its table at address k, the word
// (tag << 8) | k. What went wrong goes to `faults`.
void TalkOverTcp(std::uint16_t port, const std::string& version, unsigned char tag,
                 std::vector<std::string>& faults) {
    unsigned handle = 0;
    if (const int r = ConnectToTCPServer(handle, port, "127.0.0.1", nullptr, nullptr, 3000); r != 0) {
        faults.push_back("connect " + std::to_string(r));
        return;
    }
    for (unsigned char k = 0; k < 30; ++k) {
        const Bytes ask = Request(7);
        if (ClientTCPWrite(handle, ask.data(), 36, 3000) != 36) faults.push_back("write version");
        if (ReadTcp(handle, 36) != VersionAnswer(version))
            faults.push_back("version answer " + std::to_string(k));
        // Table write (order 182): address 00 k, count 00 01, the word tag k. The answer is the request
        // with the reply's sync word 00 AA.
        const Bytes write = Request(182, {0x00, k, 0x00, 0x01, tag, k});
        Bytes echo = write;
        echo[1] = 0xAA;
        if (ClientTCPWrite(handle, write.data(), 36, 3000) != 36) faults.push_back("write table");
        if (ReadTcp(handle, 36) != echo) faults.push_back("table echo " + std::to_string(k));
    }
    if (DisconnectFromTCPServer(handle) != 0) faults.push_back("disconnect");
}

TEST_F(IoThreadsTest, ThreadsTalkToTheirOwnSensorsOverTcpAtOnce) {
    auto a = Sensor("SENSOR-A V1.00");
    auto b = Sensor("SENSOR-B V2.00");
    auto c = Sensor("SENSOR-C V3.00");
    auto mine = Sensor("SENSOR-M V9.99");
    std::vector<std::string> faultsA, faultsB, faultsC, faultsMine;
    std::barrier start(4);
    std::set<std::thread::id> workers;
    auto worker = [&](sensor_emu::SensorEmulator& s, const char* version, unsigned char tag,
                      std::vector<std::string>& faults) {
        return std::thread([&, version, tag] {
            start.arrive_and_wait();
            TalkOverTcp(s.TcpPort(), version, tag, faults);
        });
    };
    std::thread ta = worker(*a, "SENSOR-A V1.00", 0xA1, faultsA);
    std::thread tb = worker(*b, "SENSOR-B V2.00", 0xB2, faultsB);
    std::thread tc = worker(*c, "SENSOR-C V3.00", 0xC3, faultsC);
    workers = {ta.get_id(), tb.get_id(), tc.get_id()};
    start.arrive_and_wait();
    TalkOverTcp(mine->TcpPort(), "SENSOR-M V9.99", 0x99, faultsMine);  // the hook's thread, meanwhile
    ta.join();
    tb.join();
    tc.join();

    EXPECT_TRUE(faultsA.empty()) << faultsA.front();
    EXPECT_TRUE(faultsB.empty()) << faultsB.front();
    EXPECT_TRUE(faultsC.empty()) << faultsC.front();
    EXPECT_TRUE(faultsMine.empty()) << faultsMine.front();
    // Each sensor holds its own thread's words and no other's.
    EXPECT_EQ(a->TableWord(0), 0xA100);
    EXPECT_EQ(a->TableWord(29), 0xA11D);
    EXPECT_EQ(b->TableWord(7), 0xB207);
    EXPECT_EQ(c->TableWord(29), 0xC31D);
    EXPECT_EQ(mine->TableWord(12), 0x990C);
    EXPECT_EQ(a->FrameCount(), 60);
    EXPECT_EQ(b->FrameCount(), 60);
    EXPECT_EQ(c->FrameCount(), 60);
    // The hook ran on the thread that set it, and only there.
    std::lock_guard lock(g_hookMutex);
    EXPECT_GT(g_pumpPasses.load(), 0);
    EXPECT_EQ(g_pumpThreads, std::set<std::thread::id>{std::this_thread::get_id()});
    for (const auto& id : workers) EXPECT_EQ(g_pumpThreads.count(id), 0u);
}

// Reads exactly `count` bytes of a serial port; fewer when it fails.
Bytes ReadCom(int port, std::size_t count) {
    Bytes got(count);
    const int n = ComRd(port, got.data(), static_cast<int>(count));
    got.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return got;
}

TEST_F(IoThreadsTest, ThreadsTalkToTheirOwnSensorsOverSerialLinesAtOnce) {
    auto a = Sensor("SERIAL-A V1.00", true);
    auto b = Sensor("SERIAL-B V2.00", true);
    std::vector<std::string> faultsA, faultsB;
    std::barrier start(2);
    auto talk = [&](int port, const std::string& device, const std::string& version, unsigned char tag,
                    std::vector<std::string>& faults) {
        if (const int r = OpenComConfig(port, device, 115200, VAL_NO_PARITY, 8, 1, 512, 512); r != 0) {
            faults.push_back("open " + std::to_string(r));
            start.arrive_and_wait();
            return;
        }
        SetComTime(port, 3.0);
        start.arrive_and_wait();
        for (unsigned char k = 0; k < 20; ++k) {
            const Bytes ask = Request(7);
            if (ComWrt(port, ask.data(), 36) != 36) faults.push_back("write version");
            if (ReadCom(port, 36) != VersionAnswer(version)) faults.push_back("version " + std::to_string(k));
            const Bytes write = Request(182, {0x00, k, 0x00, 0x01, tag, k});
            Bytes echo = write;
            echo[1] = 0xAA;
            if (ComWrt(port, write.data(), 36) != 36) faults.push_back("write table");
            if (ReadCom(port, 36) != echo) faults.push_back("table echo " + std::to_string(k));
        }
        if (GetInQLen(port) != 0) faults.push_back("bytes left over");
        CloseCom(port);
    };
    std::thread ta([&] { talk(3, a->PtyPath(), "SERIAL-A V1.00", 0x3A, faultsA); });
    std::thread tb([&] { talk(4, b->PtyPath(), "SERIAL-B V2.00", 0x4B, faultsB); });
    ta.join();
    tb.join();
    EXPECT_TRUE(faultsA.empty()) << faultsA.front();
    EXPECT_TRUE(faultsB.empty()) << faultsB.front();
    EXPECT_EQ(a->TableWord(19), 0x3A13);
    EXPECT_EQ(b->TableWord(0), 0x4B00);
    EXPECT_EQ(b->TableWord(19), 0x4B13);
    std::lock_guard lock(g_hookMutex);
    EXPECT_TRUE(g_pumpThreads.empty());  // the hook's thread never waited here
}

// What a worker's conversation callback saw.
struct CallbackSeen {
    std::thread::id thread;
    Bytes bytes;
    std::vector<int> events;
};

int RecordCallback(unsigned handle, int event, int, void* data) {
    auto& seen = *static_cast<CallbackSeen*>(data);
    seen.thread = std::this_thread::get_id();
    seen.events.push_back(event);
    if (event == TCP_DATAREADY) {
        unsigned char buf[64];
        const int n = ClientTCPRead(handle, buf, sizeof buf, 1000);
        if (n > 0) seen.bytes.insert(seen.bytes.end(), buf, buf + n);
    }
    return 0;
}

TEST_F(IoThreadsTest, ACallbackComesOnTheThreadThatConnectedDuringItsOwnWaits) {
    auto a = Sensor("SENSOR-A V1.00");
    SilentServer quiet;
    CallbackSeen seen;
    std::thread::id worker;
    int lastRead = 0;
    std::thread t([&] {
        worker = std::this_thread::get_id();
        unsigned talking = 0, waiting = 0;
        ASSERT_EQ(ConnectToTCPServer(talking, a->TcpPort(), "127.0.0.1", RecordCallback, &seen, 3000), 0);
        ASSERT_EQ(ConnectToTCPServer(waiting, quiet.Port(), "localhost", nullptr, nullptr, 3000), 0);
        const Bytes ask = Request(7);
        ASSERT_EQ(ClientTCPWrite(talking, ask.data(), 36, 3000), 36);
        // Waits on the quiet conversation until the callback of the other one has had the whole answer.
        unsigned char buf[8];
        for (int pass = 0; pass < 100 && seen.bytes.size() < 36; ++pass)
            lastRead = ClientTCPRead(waiting, buf, 8, 50);
        DisconnectFromTCPServer(waiting);
        DisconnectFromTCPServer(talking);
    });
    t.join();
    EXPECT_EQ(lastRead, kTCP_TimeOutErr);  // nothing came on the quiet one
    EXPECT_EQ(seen.bytes, VersionAnswer("SENSOR-A V1.00"));
    EXPECT_EQ(seen.thread, worker);
    ASSERT_FALSE(seen.events.empty());
    EXPECT_EQ(seen.events.front(), TCP_DATAREADY);
    std::lock_guard lock(g_hookMutex);
    EXPECT_TRUE(g_runnerThreads.empty());  // not the host's runner: the host is another thread
    EXPECT_TRUE(g_pumpThreads.empty());
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
