// The TCP client of the platform against the sensor stand-in on loopback: connecting and its failures,
// the conversation callback (data ready until every byte is read, never re-entered, disconnect when the
// other side closes), reads and writes, the stand-in's frame splitting, table memory and link faults.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "local_servers.h"
#include "sensor_emulator.h"
#include "sensor_link.h"
#include "transport_util.h"
#include "ui_test.h"

using namespace sensor_emu;
using namespace transport_test;

namespace {

// What the conversation callback saw.
struct Recorder {
    std::vector<int> events;  // TCP_* in order
    Bytes received;
    std::vector<std::pair<double, std::size_t>> arrivals;  // Timer() and bytes read, per data-ready event
    int readChunk = 1024;                                  // bytes read per data-ready event (0: none)
    int depth = 0, maxDepth = 0;
    std::function<void(unsigned)> inside;  // runs inside the callback after the read

    int Count(int event) const { return static_cast<int>(std::count(events.begin(), events.end(), event)); }
};

int RecordingCallback(unsigned handle, int event, int /*error*/, void* data) {
    auto& r = *static_cast<Recorder*>(data);
    r.maxDepth = std::max(r.maxDepth, ++r.depth);
    r.events.push_back(event);
    if (event == TCP_DATAREADY && r.readChunk > 0) {
        unsigned char buf[1024];
        const int n = ClientTCPRead(handle, buf, r.readChunk, 1000);
        if (n > 0) {
            r.received.insert(r.received.end(), buf, buf + n);
            r.arrivals.emplace_back(Timer(), static_cast<std::size_t>(n));
        }
    }
    if (r.inside) r.inside(handle);
    --r.depth;
    return 0;
}

// A loopback port on which nothing listens.
std::uint16_t ClosedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

class TcpTest : public UiTest {
  protected:
    void SetUp() override {
        UiTest::SetUp();
        EmulatorOptions o;
        o.versionText = std::string(ModelByRow(4)->versionText);
        o.dumpFile = ProjectFile("table.txt");
        emulator = std::make_unique<SensorEmulator>(o);
        std::string error;
        ASSERT_TRUE(emulator->Start(&error)) << error;
        ASSERT_GT(emulator->TcpPort(), 0);
    }
    void TearDown() override {
        if (handle) DisconnectFromTCPServer(handle);
        emulator.reset();
        UiTest::TearDown();
    }

    int Connect(TCPCallbackPtr cb = RecordingCallback) {
        return ConnectToTCPServer(handle, emulator->TcpPort(), "127.0.0.1", cb, &rec, 5000);
    }
    int Send(const Bytes& bytes) {
        return ClientTCPWrite(handle, bytes.data(), static_cast<int>(bytes.size()), 2000);
    }
    int Send(const Frame& f) { return Send(ToBytes(f)); }
    // Pumps events until the callback has collected `n` bytes.
    bool ReceiveUntil(std::size_t n, double seconds = 3.0) {
        return uitest::PumpUntil([&] { return rec.received.size() >= n; }, seconds);
    }
    void PumpFor(double seconds) {
        uitest::PumpUntil([] { return false; }, seconds);
    }
    // One request and its complete reply through the callback; returns the reply's bytes.
    Bytes Exchange(const Frame& request, std::size_t replySize = kFrameSize) {
        rec.received.clear();
        EXPECT_EQ(Send(request), 36);
        EXPECT_TRUE(ReceiveUntil(replySize));
        return rec.received;
    }

    std::unique_ptr<SensorEmulator> emulator;
    Recorder rec;
    unsigned handle = 0;
};

}  // namespace

// ---------------------------------------------------------------------------------------------------------
// Connecting

TEST_F(TcpTest, ConnectGivesAHandleAndDisconnectRaisesNoCallback) {
    ASSERT_EQ(Connect(), 0);
    EXPECT_GT(handle, 0u);
    EXPECT_TRUE(uitest::PumpUntil([&] { return emulator->TcpClientConnected(); }, 2.0));
    EXPECT_EQ(DisconnectFromTCPServer(handle), 0);
    EXPECT_TRUE(uitest::PumpUntil([&] { return !emulator->TcpClientConnected(); }, 2.0))
        << "the sensor side sees the conversation end";
    PumpFor(0.2);
    EXPECT_TRUE(rec.events.empty());

    // The ended conversation is gone for every operation.
    unsigned char buf[4] = {};
    EXPECT_EQ(DisconnectFromTCPServer(handle), kTCP_NoConnectionEstablished);
    EXPECT_EQ(ClientTCPRead(handle, buf, 4, 10), kTCP_NoConnectionEstablished);
    EXPECT_EQ(ClientTCPWrite(handle, buf, 4, 10), kTCP_NoConnectionEstablished);
    handle = 0;
}

TEST_F(TcpTest, HandlesAreDistinctAndASecondClientWaitsForTheFirst) {
    ASSERT_EQ(Connect(), 0);
    Recorder second;
    unsigned h2 = 0;
    ASSERT_EQ(ConnectToTCPServer(h2, emulator->TcpPort(), "localhost", RecordingCallback, &second, 5000), 0);
    EXPECT_GT(h2, 0u);
    EXPECT_NE(h2, handle);

    const Bytes query = ToBytes(Request(7));
    ASSERT_EQ(ClientTCPWrite(h2, query.data(), 36, 2000), 36);
    PumpFor(0.3);
    EXPECT_TRUE(second.received.empty()) << "the sensor serves one client at a time";

    EXPECT_EQ(DisconnectFromTCPServer(handle), 0);
    handle = 0;
    EXPECT_TRUE(uitest::PumpUntil([&] { return second.received.size() >= 36; }, 3.0));
    const Frame expected = VersionReply(ModelByRow(4)->versionText);
    EXPECT_EQ(second.received, ToBytes(expected));
    DisconnectFromTCPServer(h2);
}

TEST_F(TcpTest, ConnectFailures) {
    // Nothing listens: refused at once.
    const double t0 = Timer();
    EXPECT_EQ(ConnectToTCPServer(handle, ClosedPort(), "127.0.0.1", RecordingCallback, &rec, 5000),
              kTCP_UnableToEstablishConnection);
    EXPECT_LT(Timer() - t0, 2.0);
    EXPECT_EQ(handle, 0u);
    // A name that no resolver knows.
    EXPECT_EQ(ConnectToTCPServer(handle, 80, "no-such-host.invalid", RecordingCallback, &rec, 5000),
              kTCP_FailedToConnect);
    EXPECT_EQ(handle, 0u);
    // Arguments that cannot name a server or a wait.
    EXPECT_EQ(ConnectToTCPServer(handle, 0, "127.0.0.1", RecordingCallback, &rec, 5000),
              kTCP_InvalidParameter);
    EXPECT_EQ(ConnectToTCPServer(handle, 65536, "127.0.0.1", RecordingCallback, &rec, 5000),
              kTCP_InvalidParameter);
    EXPECT_EQ(ConnectToTCPServer(handle, emulator->TcpPort(), "", RecordingCallback, &rec, 5000),
              kTCP_InvalidParameter);
    EXPECT_EQ(ConnectToTCPServer(handle, emulator->TcpPort(), "127.0.0.1", RecordingCallback, &rec, 0),
              kTCP_InvalidParameter);
    EXPECT_EQ(handle, 0u);
}

// With every file the process may hold open in use, a connect fails for want of system resources, and the
// link's cause says so and what to do.
TEST_F(TcpTest, ConnectWithoutAFreeFileDescriptorSaysTheSystemHasNoRoomForIt) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers' own checks need free file descriptors; the plain build runs this";
#endif
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit low = saved;
    low.rlim_cur = std::min<rlim_t>(saved.rlim_cur, 1024);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    std::vector<int> held;
    for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) held.push_back(fd);
    const int direct =
        ConnectToTCPServer(handle, emulator->TcpPort(), "127.0.0.1", RecordingCallback, &rec, 5000);
    SensorLink link;
    link.comprotocol = 1;
    std::snprintf(link.ipBuf, sizeof link.ipBuf, "127.0.0.1");
    link.portNum = emulator->TcpPort();
    link.InitTCP_IP();
    for (int fd : held) ::close(fd);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);
    EXPECT_EQ(direct, kTCP_OutOfMemory);
    EXPECT_EQ(handle, 0u);
    EXPECT_EQ(link.tcpcon, 0);
    EXPECT_EQ(std::string(link.linkCause),
              "cannot connect to 127.0.0.1:" + std::to_string(emulator->TcpPort()) +
                  ": the system allows the program no more open files or "
                  "connections; close other programs or links and try again");
}

TEST_F(TcpTest, ConnectToAServerThatDoesNotAnswerTimesOut) {
    UnansweringServer server;
    ASSERT_TRUE(server.Full()) << "could not fill the accept queue";
    const double t0 = Timer();
    EXPECT_EQ(ConnectToTCPServer(handle, server.Port(), "127.0.0.1", RecordingCallback, &rec, 600),
              kTCP_TimeOutErr);
    const double took = Timer() - t0;
    EXPECT_GE(took, 0.55);
    EXPECT_LT(took, 2.0);
    EXPECT_EQ(handle, 0u);
    PumpFor(0.1);
    EXPECT_TRUE(rec.events.empty());
}

// ---------------------------------------------------------------------------------------------------------
// The conversation callback

TEST_F(TcpTest, VersionQueryRoundTripAndTheFrameTheSensorGot) {
    ASSERT_EQ(Connect(), 0);
    const Frame query = Request(7);
    const Bytes reply = Exchange(query);
    EXPECT_EQ(reply, ToBytes(VersionReply(ModelByRow(4)->versionText)));
    ASSERT_EQ(emulator->Received().size(), 1u);
    EXPECT_EQ(emulator->Received()[0], query);
    for (int e : rec.events) EXPECT_EQ(e, TCP_DATAREADY);
}

TEST_F(TcpTest, DataReadyIsRaisedAgainUntilEveryByteIsRead) {
    ASSERT_EQ(Connect(), 0);
    rec.readChunk = 5;
    ASSERT_EQ(Send(Request(180, {0x1400})), 36);
    ASSERT_TRUE(ReceiveUntil(36));
    EXPECT_EQ(rec.received, ToBytes(EchoReply(Request(180, {0x1400}))));
    EXPECT_GE(rec.Count(TCP_DATAREADY), 8) << "36 bytes at 5 per callback";
    const int raised = rec.Count(TCP_DATAREADY);
    PumpFor(0.3);
    EXPECT_EQ(rec.Count(TCP_DATAREADY), raised) << "nothing left: no further data-ready";
    EXPECT_EQ(rec.maxDepth, 1);
}

TEST_F(TcpTest, CallbackIsNotReenteredWhenItPumpsEvents) {
    ASSERT_EQ(Connect(), 0);
    Faults f;
    f.splitParts = 6;
    f.splitPauseMs = 20;
    emulator->SetFaults(f);
    rec.readChunk = 3;
    // The callback waits inside itself while more parts arrive, as the programs' exchanges do.
    rec.inside = [](unsigned) {
        const double t0 = Timer();
        while (Timer() - t0 < 0.03) ProcessSystemEvents();
    };
    ASSERT_EQ(Send(Request(99, {1, 2, 3})), 36);
    ASSERT_TRUE(ReceiveUntil(36, 5.0));
    EXPECT_EQ(rec.maxDepth, 1);
    EXPECT_EQ(rec.received, ToBytes(EchoReply(Request(99, {1, 2, 3}))));
}

TEST_F(TcpTest, SplitReplyArrivesInSeveralEventsAndIsAssembledInOrder) {
    ASSERT_EQ(Connect(), 0);
    Faults f;
    f.splitParts = 3;
    f.splitPauseMs = 150;
    emulator->SetFaults(f);
    const Frame req = Request(182, {0x1400, 10, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    ASSERT_EQ(Send(req), 36);
    ASSERT_TRUE(ReceiveUntil(36));
    EXPECT_EQ(rec.received, ToBytes(EchoReply(req)));
    ASSERT_GE(rec.arrivals.size(), 3u) << "one data-ready per part";
    EXPECT_EQ(rec.arrivals[0].second, 12u);
    EXPECT_GE(rec.arrivals.back().first - rec.arrivals.front().first, 0.25) << "two pauses of 150 ms";
}

TEST_F(TcpTest, DisconnectCallbackWhenTheSensorSideCloses) {
    ASSERT_EQ(Connect(), 0);
    ASSERT_TRUE(uitest::PumpUntil([&] { return emulator->TcpClientConnected(); }, 2.0));
    emulator->CloseTcpClient();
    ASSERT_TRUE(uitest::PumpUntil([&] { return rec.Count(TCP_DISCONNECT) > 0; }, 3.0));
    PumpFor(0.2);
    EXPECT_EQ(rec.events, std::vector<int>{TCP_DISCONNECT}) << "one disconnect and nothing else";
    // The conversation ended with the event.
    unsigned char buf[36];
    EXPECT_EQ(ClientTCPRead(handle, buf, 36, 10), kTCP_NoConnectionEstablished);
    EXPECT_EQ(DisconnectFromTCPServer(handle), kTCP_NoConnectionEstablished);
    handle = 0;
}

TEST_F(TcpTest, BytesSentBeforeTheCloseAreOfferedBeforeTheDisconnect) {
    ASSERT_EQ(Connect(), 0);
    Faults f;
    f.closeAtFrame = 2;
    emulator->SetFaults(f);
    rec.readChunk = 7;  // slow reader: bytes are still unread when the close comes in
    const Frame first = Request(180, {0x1500});
    Bytes both = Concat({ToBytes(first), ToBytes(Request(180, {0x1600}))});
    ASSERT_EQ(Send(both), 72);
    ASSERT_TRUE(uitest::PumpUntil([&] { return rec.Count(TCP_DISCONNECT) > 0; }, 3.0));
    EXPECT_EQ(rec.received, ToBytes(EchoReply(first))) << "frame 1 answered, frame 2 not";
    EXPECT_EQ(rec.events.back(), TCP_DISCONNECT);
    EXPECT_EQ(rec.Count(TCP_DISCONNECT), 1);
    EXPECT_EQ(emulator->FrameCount(), 2);
    handle = 0;
}

TEST_F(TcpTest, CallbackMayEndItsOwnConversation) {
    ASSERT_EQ(Connect(), 0);
    rec.readChunk = 1;
    rec.inside = [this](unsigned h) {
        DisconnectFromTCPServer(h);
        handle = 0;
    };
    ASSERT_EQ(Send(Request(7)), 36);
    ASSERT_TRUE(ReceiveUntil(1));
    PumpFor(0.3);
    EXPECT_EQ(rec.events, std::vector<int>{TCP_DATAREADY}) << "no event after the conversation ended";
}

// ---------------------------------------------------------------------------------------------------------
// Reads and writes without the callback

TEST_F(TcpTest, ReadReturnsWhatIsBufferedAndWaitsOnlyWhenNothingIs) {
    ASSERT_EQ(Connect(nullptr), 0);
    unsigned char buf[128];
    // Nothing comes: the read waits its time and says so.
    double t0 = Timer();
    EXPECT_EQ(ClientTCPRead(handle, buf, 36, 300), kTCP_TimeOutErr);
    EXPECT_GE(Timer() - t0, 0.28);
    EXPECT_EQ(ClientTCPRead(handle, buf, 36, 0), kTCP_TimeOutErr) << "zero: no wait at all";

    Faults f;
    f.replyDelayMs = 150;
    emulator->SetFaults(f);
    ASSERT_EQ(Send(Request(7)), 36);
    t0 = Timer();
    EXPECT_EQ(ClientTCPRead(handle, buf, 10, 3000), 10);
    const double waited = Timer() - t0;
    EXPECT_GE(waited, 0.1);
    EXPECT_LT(waited, 1.5) << "the first byte ends the wait";
    t0 = Timer();
    EXPECT_EQ(ClientTCPRead(handle, buf + 10, 100, 5000), 26) << "what is there, not the count asked for";
    EXPECT_LT(Timer() - t0, 0.5);
    const Frame v = VersionReply(ModelByRow(4)->versionText);
    EXPECT_TRUE(std::equal(v.begin(), v.end(), buf));

    EXPECT_EQ(ClientTCPRead(handle, buf, -1, 10), kTCP_InvalidParameter);
    EXPECT_EQ(ClientTCPRead(handle, nullptr, 4, 10), kTCP_InvalidParameter);
    EXPECT_EQ(ClientTCPRead(handle, buf, 0, 10), 0);
}

TEST_F(TcpTest, BytesLeftAfterTheServerClosedCanStillBeRead) {
    ASSERT_EQ(Connect(nullptr), 0);
    Faults f;
    f.closeAtFrame = 2;
    emulator->SetFaults(f);
    ASSERT_EQ(Send(Concat({ToBytes(Request(7)), ToBytes(Request(7))})), 72);
    ASSERT_TRUE(WaitFor(
        [&] { return emulator->TcpConnectionsAccepted() == 1 && !emulator->TcpClientConnected(); }, 2.0));
    unsigned char buf[64];
    int got = 0;
    for (int i = 0; i < 10 && got < 36; ++i) {
        const int n = ClientTCPRead(handle, buf + got, 36 - got, 500);
        ASSERT_GT(n, 0);
        got += n;
    }
    EXPECT_EQ(got, 36);
    EXPECT_EQ(ClientTCPRead(handle, buf, 36, 500), kTCP_ConnectionClosed);
    EXPECT_EQ(ClientTCPWrite(handle, buf, 36, 500), kTCP_ConnectionClosed);
}

TEST_F(TcpTest, WriteHandsOverEveryByteOrSaysWhy) {
    ASSERT_EQ(Connect(), 0);
    const Frame req = Request(182, {0x1400, 10, 0x0400, 0x0400});
    EXPECT_EQ(Send(req), 36);
    ASSERT_TRUE(ReceiveUntil(36));
    ASSERT_EQ(emulator->Received().size(), 1u);
    EXPECT_EQ(emulator->Received()[0], req);
    const unsigned char b[1] = {0};
    EXPECT_EQ(ClientTCPWrite(handle, b, 0, 100), 0);
    EXPECT_EQ(ClientTCPWrite(handle, b, -1, 100), kTCP_InvalidParameter);
    EXPECT_EQ(ClientTCPWrite(handle, nullptr, 1, 100), kTCP_InvalidParameter);
}

// ---------------------------------------------------------------------------------------------------------
// The stand-in over TCP: frame splitting and the table memory

TEST_F(TcpTest, SensorSplitsFramesHoweverTheyArriveOnTheWire) {
    ASSERT_EQ(Connect(), 0);
    const Frame a = Request(180, {0x1400}), b = Request(99, {7}), c = Request(7);
    const Bytes ab = ToBytes(a);
    // One frame in two writes with a pause between them.
    ASSERT_EQ(ClientTCPWrite(handle, ab.data(), 10, 2000), 10);
    PumpFor(0.1);
    EXPECT_TRUE(rec.received.empty()) << "no reply to part of a frame";
    ASSERT_EQ(ClientTCPWrite(handle, ab.data() + 10, 26, 2000), 26);
    ASSERT_TRUE(ReceiveUntil(36));
    // Two frames and a half in one write, then the rest.
    const Bytes merged = Concat({ToBytes(b), ToBytes(c)});
    const Bytes lead = Concat({ToBytes(b), Bytes(merged.begin() + 36, merged.begin() + 50)});
    ASSERT_EQ(Send(lead), 50);
    ASSERT_TRUE(ReceiveUntil(72));
    ASSERT_EQ(ClientTCPWrite(handle, merged.data() + 50, 22, 2000), 22);
    ASSERT_TRUE(ReceiveUntil(108));
    EXPECT_EQ(rec.received, Concat({ToBytes(EchoReply(a)), ToBytes(EchoReply(b)),
                                    ToBytes(VersionReply(ModelByRow(4)->versionText))}));
    const auto got = emulator->Received();
    EXPECT_EQ(got, (std::vector<Frame>{a, b, c}));
}

TEST_F(TcpTest, WriteOrdersLandInTheTableMemoryAndTheDump) {
    ASSERT_EQ(Connect(), 0);
    EXPECT_EQ(Exchange(Request(180, {0x1600})), ToBytes(EchoReply(Request(180, {0x1600}))));
    for (int k = 0; k < 3; ++k) {
        Frame req = Request(182, {static_cast<std::uint16_t>(0x1600 + 10 * k), 10});
        for (int j = 0; j < 10; ++j) PutWord(req, 8 + 2 * j, static_cast<std::uint16_t>(1024 + 10 * k + j));
        EXPECT_EQ(Exchange(req), ToBytes(EchoReply(req)));
    }
    for (int i = 0; i < 30; ++i)
        EXPECT_EQ(emulator->TableWord(static_cast<std::uint16_t>(0x1600 + i)), 1024 + i);
    EXPECT_EQ(emulator->WrittenTable().size(), 30u);
    const std::string dump = ReadTextFile(projectDir / "table.txt");
    EXPECT_EQ(std::count(dump.begin(), dump.end(), '\n'), 30);
    EXPECT_EQ(dump.substr(0, 24), "0x1600 1024\n0x1601 1025\n");
    EXPECT_NE(dump.find("0x161D 1053\n"), std::string::npos);
}

// ---------------------------------------------------------------------------------------------------------
// Link faults, as the bytes on the wire show them

TEST_F(TcpTest, FaultSilentSensorSendsNothing) {
    ASSERT_EQ(Connect(), 0);
    Faults f;
    f.silent = true;
    emulator->SetFaults(f);
    ASSERT_EQ(Send(Request(7)), 36);
    PumpFor(0.5);
    EXPECT_TRUE(rec.received.empty());
    EXPECT_EQ(emulator->FrameCount(), 1) << "the frame did arrive";
}

TEST_F(TcpTest, FaultWrongEchoSpoilsOnlyTheCountedFrame) {
    ASSERT_EQ(Connect(), 0);
    Faults f;
    f.wrongEchoAtFrame = 2;
    emulator->SetFaults(f);
    const Frame req = Request(182, {0x1400, 10, 5});
    const Bytes good = ToBytes(EchoReply(req));
    EXPECT_EQ(Exchange(req), good);
    const Bytes bad = Exchange(req);
    ASSERT_EQ(bad.size(), 36u);
    for (std::size_t i = 0; i < 36; ++i) EXPECT_EQ(bad[i], i == 4 ? good[i] ^ 0xFF : good[i]) << "byte " << i;
    EXPECT_EQ(Exchange(req), good);
    // The count restarts with the reset: the next frame is frame 1 again, then frame 2 is spoilt again.
    emulator->ResetCounters();
    EXPECT_EQ(Exchange(req), good);
    EXPECT_NE(Exchange(req), good);
}

TEST_F(TcpTest, FaultShortAndLongReplies) {
    ASSERT_EQ(Connect(), 0);
    Faults f;
    f.shortReply = true;
    emulator->SetFaults(f);
    ASSERT_EQ(Send(Request(7)), 36);
    ASSERT_TRUE(ReceiveUntil(35));
    PumpFor(0.3);
    EXPECT_EQ(rec.received.size(), 35u);

    f.shortReply = false;
    f.longReply = true;
    emulator->SetFaults(f);
    rec.received.clear();
    const Frame req = Request(180, {0x1400});
    ASSERT_EQ(Send(req), 36);
    ASSERT_TRUE(ReceiveUntil(37));
    PumpFor(0.3);
    ASSERT_EQ(rec.received.size(), 37u);
    EXPECT_TRUE(std::equal(rec.received.begin(), rec.received.begin() + 36, ToBytes(EchoReply(req)).begin()));
}

TEST_F(TcpTest, FaultDelayHoldsEachReply) {
    ASSERT_EQ(Connect(), 0);
    Faults f;
    f.replyDelayMs = 400;
    emulator->SetFaults(f);
    const double t0 = Timer();
    ASSERT_EQ(Send(Request(7)), 36);
    ASSERT_TRUE(ReceiveUntil(36));
    EXPECT_GE(rec.arrivals.front().first - t0, 0.38);
    // Faults change while the sensor runs: the next reply comes at once.
    emulator->SetFaults(Faults{});
    rec.received.clear();
    rec.arrivals.clear();
    const double t1 = Timer();
    ASSERT_EQ(Send(Request(7)), 36);
    ASSERT_TRUE(ReceiveUntil(36));
    EXPECT_LT(rec.arrivals.front().first - t1, 0.25);
}

TEST_F(TcpTest, FaultCloseAtFrameDropsTheConnectionAndTheNextClientIsServed) {
    ASSERT_EQ(Connect(), 0);
    Faults f;
    f.closeAtFrame = 1;
    emulator->SetFaults(f);
    ASSERT_EQ(Send(Request(7)), 36);
    ASSERT_TRUE(uitest::PumpUntil([&] { return rec.Count(TCP_DISCONNECT) > 0; }, 3.0));
    EXPECT_TRUE(rec.received.empty());
    handle = 0;

    emulator->SetFaults(Faults{});
    rec = Recorder{};
    ASSERT_EQ(Connect(), 0);
    EXPECT_EQ(Exchange(Request(7)), ToBytes(VersionReply(ModelByRow(4)->versionText)));
    EXPECT_EQ(emulator->TcpConnectionsAccepted(), 2);
}
