// A sensor link over a line in memory: the bytes it writes, how it takes the bytes that come back, and
// what it concludes and tells its observer.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "memory_transport.h"
#include "sensor_link.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// A link on COM5 (or sensor:10001) whose transport is a line in memory; `line` is that line.
struct LinkOnMemory {
    explicit LinkOnMemory(bool tcp) {
        link.transportFactory = [this, tcp](const SensorLink&) {
            auto t = std::make_unique<MemoryTransport>(tcp);
            line = t.get();
            return t;
        };
        link.observer.showStatus = [this](std::string_view text) { statuses.emplace_back(text); };
        link.observer.reportFailed = [this](std::string_view cause) { failures.emplace_back(cause); };
        link.observer.reportDone = [this](std::string_view what) { done.emplace_back(what); };
        if (tcp) {
            link.comprotocol = 1;
            std::snprintf(link.ipBuf, sizeof link.ipBuf, "sensor");
            link.portNum = 10001;
            link.InitTCP_IP();
        } else {
            link.comport = 5;
            link.InitRS232();
        }
    }
    SensorLink link;
    MemoryTransport* line = nullptr;
    std::vector<std::string> statuses, failures, done;
};

Frame RequestOne() {
    Frame f{};
    f[1] = 0x55;
    f[3] = 0x01;
    for (int i = 4; i < 36; ++i) f[i] = std::uint8_t(i);
    return f;
}

TEST(SensorLink, EchoOfTheWholeFrameIsGood) {
    LinkOnMemory m(false);
    const Frame request = RequestOne();
    Bytes echo(request.begin(), request.end());
    echo[1] = 0xAA;
    m.line->ScheduleAfterWrite(0.05, echo);
    EXPECT_TRUE(m.link.SendEchoed(RequestOne(), 18));
    ASSERT_EQ(m.line->Written().size(), 1u);
    const Bytes sent = {0x00, 0x55, 0x00, 0x01, 4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17,
                        18,   19,   20,   21,   22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35};
    EXPECT_EQ(m.line->Written()[0], sent);
    EXPECT_EQ(m.link.comecho, 1);
    EXPECT_EQ(m.link.order, 1);
    EXPECT_EQ(m.link.linkFailure, kLinkOk);
    EXPECT_TRUE(m.failures.empty());
}

TEST(SensorLink, EchoThatDiffersInTheLastComparedWordFails) {
    LinkOnMemory m(false);
    const Frame request = RequestOne();
    Bytes echo(request.begin(), request.end());
    echo[1] = 0xAA;
    echo[11] = 0xFF;  // word 5: compared over 6 words, not over 5
    m.line->ScheduleAfterWrite(0.05, echo);
    EXPECT_FALSE(m.link.SendEchoed(RequestOne(), 6));
    EXPECT_EQ(m.link.comecho, 0);
    EXPECT_EQ(m.link.linkFailure, kLinkWrongEcho);
    EXPECT_STREQ(m.link.linkCause, "the echo of order 1 differs from the frame sent");
    EXPECT_EQ(m.statuses, std::vector<std::string>{"TIMEOUT"});
    EXPECT_EQ(m.failures, std::vector<std::string>{"the echo of order 1 differs from the frame sent"});

    LinkOnMemory other(false);  // another link knows nothing of it
    EXPECT_EQ(other.link.linkFailure, kLinkOk);
    EXPECT_EQ(other.link.comecho, 0);
    EXPECT_TRUE(other.failures.empty());
}

// A line in memory whose clock is taken for the platform's: the link's waits then tell their idle hook how
// long it may sleep, as they do on a real line.
class ClockedLine final : public LinkTransport {
  public:
    explicit ClockedLine(MemoryTransport* line) : line_(line) {}
    int Open(const LinkAddress& a, TransportEvents& e) override { return line_->Open(a, e); }
    void Close() override { line_->Close(); }
    int Write(const unsigned char* b, int n, int ms) override { return line_->Write(b, n, ms); }
    int Read(unsigned char* b, int n, int ms) override { return line_->Read(b, n, ms); }
    int Waiting() override { return line_->Waiting(); }
    void Flush() override { line_->Flush(); }
    void Pump() override { line_->Pump(); }
    double Now() override { return line_->Now(); }
    bool RealTime() const override { return true; }

  private:
    std::unique_ptr<MemoryTransport> line_;
};

// The milliseconds a silent echo wait of `seconds` offers its idle hook at each pass (the clock steps 2 ms
// a pass).
std::vector<int> SleepsOfASilentWait(double seconds) {
    SensorLink link;
    link.transportFactory = [](const SensorLink&) {
        return std::make_unique<ClockedLine>(new MemoryTransport(false));
    };
    std::vector<int> sleeps;
    link.idle = [&](int maxWaitMs) { sleeps.push_back(maxWaitMs); };
    link.comport = 5;
    link.InitRS232();
    link.echoTimeout = seconds;
    EXPECT_FALSE(link.SendEchoed(RequestOne(), 18));
    return sleeps;
}

TEST(SensorLink, AWaitMaySleepForTheRestOfItsTimeButNoLongerThanATenthOfASecond) {
    const std::vector<int> short_ = SleepsOfASilentWait(0.05);
    ASSERT_GE(short_.size(), 20u);
    EXPECT_GE(short_.front(), 49);
    EXPECT_LE(*std::max_element(short_.begin(), short_.end()), 50) << "never past the end of the wait";
    EXPECT_LE(short_.back(), 2) << "the last pass comes at the end of the wait";
    const std::vector<int> long_ = SleepsOfASilentWait(3.0);
    ASSERT_FALSE(long_.empty());
    EXPECT_EQ(long_.front(), 100) << "each sleep is bounded";
}

TEST(SensorLink, ShortReplyOverTcpIsNamedWithItsCount) {
    LinkOnMemory m(true);
    ASSERT_EQ(m.link.tcpcon, 1);
    const Bytes part = {0x00, 0xAA, 0x00, 0x03, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    m.line->ScheduleAfterWrite(0.01, part);
    Frame reply{};
    EXPECT_FALSE(m.link.Exchange(m.link.Request(3), reply));
    EXPECT_EQ(m.link.bytesToRead, 16);
    EXPECT_EQ(m.link.linkFailure, kLinkShortReply);
    EXPECT_STREQ(m.link.linkCause, "only 20 of 36 bytes came within 3 s");
    EXPECT_EQ(Bytes(m.link.szReadBuf, m.link.szReadBuf + 20), part);
    EXPECT_EQ(m.failures, std::vector<std::string>{"only 20 of 36 bytes came within 3 s"});
}

TEST(SensorLink, VersionQueryIsThirtySixBytesAndItsAnswerIsLogged) {
    char logPath[] = "/tmp/link_test_log_XXXXXX";
    const int fd = mkstemp(logPath);
    ASSERT_GE(fd, 0);
    close(fd);
    LinkOnMemory m(false);
    ASSERT_TRUE(m.link.Log().Open(logPath));
    m.link.Log().SetLink(m.link.Name());
    Bytes answer(36, 0);
    const std::string text = "ORVANE V3.3 2020-05-18";
    std::copy(text.begin(), text.end(), answer.begin());
    m.line->ScheduleAfterWrite(0.1, answer);

    EXPECT_TRUE(m.link.CheckComLine());
    Bytes query(36, 0);
    query[1] = 0x55;
    query[3] = 0x07;
    ASSERT_EQ(m.line->Written().size(), 1u);
    EXPECT_EQ(m.line->Written()[0], query);
    EXPECT_STREQ(m.link.version, "ORVANE V3.3 2020-05-18");
    EXPECT_EQ(m.statuses, std::vector<std::string>{"ORVANE V3.3 2020-05-18"});
    EXPECT_EQ(m.done, std::vector<std::string>{"the sensor answered on COM5"});
    m.link.Log().Close();

    std::ifstream in(logPath);
    std::string tx, rx, more;
    std::getline(in, tx);
    std::getline(in, rx);
    EXPECT_FALSE(std::getline(in, more));
    std::remove(logPath);
    const std::regex stamp("^[0-9]+\\.[0-9]{3} ");
    EXPECT_TRUE(std::regex_search(tx, stamp)) << tx;
    EXPECT_EQ(
        std::regex_replace(tx, stamp, ""),
        "TX COM5 00 55 00 07 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "
        "00 00 00 00 00 00 00");
    EXPECT_EQ(
        std::regex_replace(rx, stamp, ""),
        "RX COM5 4F 52 56 41 4E 45 20 56 33 2E 33 20 32 30 32 30 2D 30 35 2D 31 38 00 00 00 00 00 00 00 "
        "00 00 00 00 00 00 00 version");
}

}  // namespace
