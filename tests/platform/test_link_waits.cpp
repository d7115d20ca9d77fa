// The waits of the TCP client and the serial ports keep the window alive: a call made from a button's
// callback, as the programs make them, lets deferred calls, a person's input and repaints through while it
// waits, and a callback that ends the link meanwhile ends the wait instead of pulling the link away from
// under it.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "local_servers.h"
#include "test_panel.h"

namespace {

// What happened while a link call waited inside the button's callback.
struct DuringWait {
    bool deferredRan = false;
    bool personActed = false;
    int paints = 0;
    int result = 0;
    double took = 0.0;
};
DuringWait g_wait;
int g_panel = 0;
// The link call the button makes; its result goes to g_wait.result.
std::function<int()> g_call;

int ButtonMakesTheCall(int panel, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    uitest::CountPaints(panel);
    const double start = Timer();
    g_wait.result = g_call();
    g_wait.took = Timer() - start;
    g_wait.paints = uitest::Paints();
    return 0;
}

class LinkWaitTest : public PanelTest {
  protected:
    void SetUp() override {
        PanelTest::SetUp();
        g_wait = {};
        g_panel = panel;
        DisplayPanel(panel);
        uitest::PumpUntil([] { return false; }, 0.1);  // shown and painted once
        InstallCtrlCallback(panel, BUTTON, ButtonMakesTheCall, nullptr);
    }
    void TearDown() override {
        g_call = nullptr;
        PanelTest::TearDown();
    }

    // Presses the button; while its call waits, a deferred call changes the text message (a repaint) and
    // a person commits a number into a live control; `then` runs a few passes of the pump later.
    void PressWhileTheWindowIsUsed(std::function<void()> then = nullptr) {
        PostDeferredCallToThread(
            [](void*) {
                g_wait.deferredRan = true;
                SetCtrlVal(g_panel, TEXT_MSG, std::string_view("changed while waiting"));
            },
            nullptr);
        uitest::RunDuringBusyWait([] { g_wait.personActed = uitest::SetAndCommit(g_panel, NUM_INT, 7) == 0; },
                                  3);
        if (then) uitest::RunDuringBusyWait(std::move(then), 3);
        ASSERT_EQ(uitest::Click(panel, BUTTON), 0);
    }

    void ExpectTheWindowWasAlive() {
        EXPECT_TRUE(g_wait.deferredRan);
        EXPECT_TRUE(g_wait.personActed);
        EXPECT_EQ(EventsOf(NUM_INT), std::vector<int>({EVENT_VAL_CHANGED, EVENT_COMMIT}));
        EXPECT_GT(g_wait.paints, 0) << "the window repainted during the wait";
    }
};

TEST_F(LinkWaitTest, ConnectThatGetsNoAnswerKeepsTheWindowAlive) {
    UnansweringServer server;
    ASSERT_TRUE(server.Full()) << "could not fill the accept queue";
    g_call = [port = server.Port()] {
        unsigned handle = 0;
        return ConnectToTCPServer(handle, port, "127.0.0.1", nullptr, nullptr, 600);
    };
    PressWhileTheWindowIsUsed();
    EXPECT_EQ(g_wait.result, kTCP_TimeOutErr);
    EXPECT_GE(g_wait.took, 0.55);
    ExpectTheWindowWasAlive();
}

TEST_F(LinkWaitTest, SlowNameLookupKeepsTheWindowAliveAndCountsIntoTheTimeOut) {
    SilentServer server;
    uitest::SetNameLookupDelay(400);
    static unsigned handle = 0;
    g_call = [port = server.Port()] {
        return ConnectToTCPServer(handle, port, "localhost", nullptr, nullptr, 5000);
    };
    PressWhileTheWindowIsUsed();
    EXPECT_EQ(g_wait.result, 0);
    EXPECT_GE(g_wait.took, 0.38);
    ExpectTheWindowWasAlive();
    EXPECT_EQ(DisconnectFromTCPServer(handle), 0);

    // The lookup alone outlasts a shorter time-out.
    unsigned other = 0;
    const double start = Timer();
    EXPECT_EQ(ConnectToTCPServer(other, server.Port(), "localhost", nullptr, nullptr, 150), kTCP_TimeOutErr);
    EXPECT_LT(Timer() - start, 0.35);
    EXPECT_EQ(other, 0u);
}

// The conversation's callback counts the events it gets.
int g_conversationEvents = 0;
int CountEvents(unsigned, int, int, void*) {
    ++g_conversationEvents;
    return 0;
}

TEST_F(LinkWaitTest, ReadKeepsTheWindowAliveAndRaisesNoEventOfItsConversation) {
    SilentServer server;
    static unsigned handle = 0;
    ASSERT_EQ(ConnectToTCPServer(handle, server.Port(), "127.0.0.1", CountEvents, nullptr, 2000), 0);
    static int serverSide = -1;
    serverSide = server.Accept();
    ASSERT_GE(serverSide, 0);
    g_conversationEvents = 0;
    static unsigned char buf[36];
    g_call = [] { return ClientTCPRead(handle, buf, 36, 3000); };
    // Bytes that come while the read waits are the read's, not an event's.
    PressWhileTheWindowIsUsed([] { ::send(serverSide, "abc", 3, 0); });
    EXPECT_EQ(g_wait.result, 3);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 3), "abc");
    ExpectTheWindowWasAlive();
    uitest::PumpUntil([] { return false; }, 0.1);
    EXPECT_EQ(g_conversationEvents, 0) << "every byte went to the read";
    DisconnectFromTCPServer(handle);
}

TEST_F(LinkWaitTest, CallbackThatEndsTheConversationDuringAReadOrWriteEndsTheWait) {
    SilentServer server;
    static unsigned handle = 0;
    ASSERT_EQ(ConnectToTCPServer(handle, server.Port(), "127.0.0.1", nullptr, nullptr, 2000), 0);
    g_call = [] {
        unsigned char buf[36];
        PostDeferredCallToThread([](void*) { DisconnectFromTCPServer(handle); }, nullptr);
        return ClientTCPRead(handle, buf, 36, 3000);
    };
    PressWhileTheWindowIsUsed();
    EXPECT_EQ(g_wait.result, kTCP_ConnectionClosed);
    EXPECT_LT(g_wait.took, 1.0);
    unsigned char byte = 0;
    EXPECT_EQ(ClientTCPWrite(handle, &byte, 1, 100), kTCP_NoConnectionEstablished);

    // A write that cannot hand its bytes over (nobody reads the other side) ends the same way.
    ASSERT_EQ(ConnectToTCPServer(handle, server.Port(), "127.0.0.1", nullptr, nullptr, 2000), 0);
    // Made and touched before the clock starts: on a busy machine filling 64 MB takes a good part of the
    // time limit, which belongs to the wait alone.
    static std::vector<unsigned char> lots(64 << 20, 0x5A);
    g_call = [] {
        PostDeferredCallToThread([](void*) { DisconnectFromTCPServer(handle); }, nullptr);
        return ClientTCPWrite(handle, lots.data(), static_cast<int>(lots.size()), 10000);
    };
    g_wait = {};
    PressWhileTheWindowIsUsed();
    EXPECT_EQ(g_wait.result, kTCP_ConnectionClosed);
    // Well short of the write's own time limit; handing 64 MB to the socket takes seconds on a busy machine.
    EXPECT_LT(g_wait.took, 5.0);
}

TEST_F(LinkWaitTest, SerialReadKeepsTheWindowAliveAndEndsWhenACallbackClosesItsPort) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    std::filesystem::create_symlink(::ptsname(master), projectDir / "COM9");
    ASSERT_EQ(OpenComConfig(9, "", 19200, VAL_NO_PARITY, 8, 1, 512, 512), 0);
    ASSERT_EQ(SetComTime(9, 2.0), 0);

    // Bytes written on the other side during the wait are read.
    static int other = -1;
    other = master;
    static unsigned char buf[36];
    g_call = [] { return ComRd(9, buf, 3); };
    PressWhileTheWindowIsUsed([] { [[maybe_unused]] ssize_t n = ::write(other, "xyz", 3); });
    EXPECT_EQ(g_wait.result, 3);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 3), "xyz");
    ExpectTheWindowWasAlive();

    // A callback closes the port the read waits on.
    g_call = [] {
        PostDeferredCallToThread([](void*) { CloseCom(9); }, nullptr);
        return ComRd(9, buf, 36);
    };
    g_wait = {};
    PressWhileTheWindowIsUsed();
    EXPECT_EQ(g_wait.result, kRS232PortNotOpen);
    EXPECT_LT(g_wait.took, 1.5);
    EXPECT_EQ(GetInQLen(9), kRS232PortNotOpen);
    ::close(master);
}

}  // namespace
