// The scope side of the sensor stand-in on its real links: the program's parameter sequence and a read
// fault over TCP, auto-sent frames and their faults as a TCP client receives them, and the change of the
// serial rate on the pseudo-terminal line.
#include "sensor_emulator.h"
#include "transport_util.h"
#include "ui_test.h"

using namespace sensor_emu;
using namespace transport_test;

namespace {

std::uint16_t Word(std::span<const std::uint8_t> bytes, std::size_t word) {
    return WordAt(bytes, 2 * word);
}

// What arrived, and where each data-ready event's read ended.
struct Arrivals {
    Bytes bytes;
    std::vector<std::size_t> ends;
};

int Collect(unsigned handle, int event, int, void* data) {
    auto& a = *static_cast<Arrivals*>(data);
    if (event != TCP_DATAREADY) return 0;
    unsigned char buf[1024];
    const int n = ClientTCPRead(handle, buf, sizeof buf, 1000);
    if (n > 0) {
        a.bytes.insert(a.bytes.end(), buf, buf + n);
        a.ends.push_back(a.bytes.size());
    }
    return 0;
}

class ScopeTcp : public UiTest {
  protected:
    void SetUp() override {
        UiTest::SetUp();
        EmulatorOptions o;
        o.versionText = std::string(ModelByCode(601)->versionText);
        o.simulation = {5, 20'000};
        o.autoSendHz = 10;
        emulator = std::make_unique<SensorEmulator>(o);
        std::string error;
        ASSERT_TRUE(emulator->Start(&error)) << error;
        ASSERT_EQ(ConnectToTCPServer(handle, emulator->TcpPort(), "127.0.0.1", Collect, &in, 5000), 0);
    }
    void TearDown() override {
        if (handle) DisconnectFromTCPServer(handle);
        emulator.reset();
        UiTest::TearDown();
    }

    bool ReceiveUntil(std::size_t n, double seconds = 3.0) {
        return uitest::PumpUntil([&] { return in.bytes.size() >= n; }, seconds);
    }
    // One request and its 36-byte reply.
    Bytes Exchange(const Frame& request) {
        in = {};
        const Bytes out = ToBytes(request);
        EXPECT_EQ(ClientTCPWrite(handle, out.data(), 36, 2000), 36);
        EXPECT_TRUE(ReceiveUntil(kFrameSize)) << "order " << WordAt(request, 2);
        return in.bytes;
    }
    // The whole parameter image as the program reads it, after order 8 when `eeprom`.
    ParameterImage ReadAll(bool eeprom) {
        ParameterImage image{};
        if (eeprom) {
            EXPECT_EQ(Exchange(Request(8)), ToBytes(EchoReply(Request(8))));
        }
        const Bytes scalars = Exchange(Request(3));
        for (std::size_t i = 0; i < kScalarWords; ++i) image[i] = Word(scalars, 2 + i);
        for (std::uint16_t r = 0; r < kTeachRows; ++r) {
            const Bytes row = Exchange(Request(4, {r}));
            EXPECT_EQ(Word(row, 2), r);
            for (std::size_t c = 0; c < kTeachColumns; ++c) image[TeachWord(r, c)] = Word(row, 3 + c);
        }
        return image;
    }

    std::unique_ptr<SensorEmulator> emulator;
    Arrivals in;
    unsigned handle = 0;
};

}  // namespace

TEST_F(ScopeTcp, ParameterSetsTravelToRamAndEepromAndReadBackFromEither) {
    ParameterImage stored = ReadAll(false);
    stored[kWordPower] = 650;
    stored[TeachWord(4, kColDensity)] = 2190;
    Frame scalars = Request(1);
    for (std::size_t i = 0; i < kScalarWords; ++i) PutWord(scalars, 4 + 2 * i, stored[i]);
    EXPECT_EQ(Exchange(scalars), ToBytes(EchoReply(scalars)));
    Frame row = Request(2, {4});
    for (std::size_t c = 0; c < kTeachColumns; ++c) PutWord(row, 6 + 2 * c, stored[TeachWord(4, c)]);
    EXPECT_EQ(Exchange(row), ToBytes(EchoReply(row)));
    EXPECT_EQ(Exchange(Request(6)), ToBytes(EchoReply(Request(6))));

    ParameterImage ram = stored;
    ram[kWordPower] = 700;
    PutWord(scalars, 4 + 2 * kWordPower, 700);
    Exchange(scalars);

    EXPECT_EQ(ReadAll(true), stored);
    EXPECT_EQ(ReadAll(false), ram);
    EXPECT_EQ(emulator->EepromWord(kWordPower), 650);
    EXPECT_EQ(emulator->RamWord(kWordPower), 700);

    // A row read whose reply names a row beyond the table.
    Faults f;
    f.badRowAtFrame = emulator->FrameCount() + 1;
    emulator->SetFaults(f);
    const Bytes bad = Exchange(Request(4, {4}));
    EXPECT_EQ(Word(bad, 2), 31);
    EXPECT_EQ(Word(bad, 3), 2190) << "only the row word is spoilt";

    // Over TCP a rate change is recorded and the conversation goes on.
    const Frame rate = Request(190, {2});
    EXPECT_EQ(Exchange(rate), ToBytes(EchoReply(rate)));
    EXPECT_EQ(emulator->SerialBaud(), 38400);
    EXPECT_EQ(Word(Exchange(Request(3)), 2), 700);
}

TEST_F(ScopeTcp, AutoSentFramesComeAtTheRateUntilStoppedAndCarryTheirFaults) {
    Faults f;
    f.autoDoubleAt = 3;
    f.autoWrongMarkerAt = 5;
    emulator->SetFaults(f);
    const double t0 = Timer();
    const Bytes start = ToBytes(Request(50, {1}));
    ASSERT_EQ(ClientTCPWrite(handle, start.data(), 36, 2000), 36);
    ASSERT_TRUE(ReceiveUntil(7 * kFrameSize));
    EXPECT_GE(Timer() - t0, 0.45) << "seven frames in six ticks at 10 per second";
    EXPECT_TRUE(emulator->AutoSending());

    const Bytes stop = ToBytes(Request(50, {0}));
    ASSERT_EQ(ClientTCPWrite(handle, stop.data(), 36, 2000), 36);
    ASSERT_TRUE(uitest::PumpUntil([&] { return !emulator->AutoSending(); }, 2.0));
    uitest::PumpUntil([] { return false; }, 0.2);
    const Arrivals got = in;
    uitest::PumpUntil([] { return false; }, 0.4);
    EXPECT_EQ(in.bytes.size(), got.bytes.size()) << "nothing after the stop";
    ASSERT_EQ(got.bytes.size() % kFrameSize, 0u) << "whole frames only: order 50 has no reply";

    const std::size_t frames = got.bytes.size() / kFrameSize;
    for (std::size_t k = 0; k < frames; ++k) {
        SCOPED_TRACE(k + 1);
        const auto frame = std::span<const std::uint8_t>(got.bytes).subspan(k * kFrameSize, kFrameSize);
        EXPECT_EQ(Word(frame, kMeasMarker), k + 1 == 5 ? f.wrongMarker : kSyncReply);
        EXPECT_EQ(Word(frame, kMeasOrder), kMeasureOrder);
    }
    // Frames 3 and 4 came in one piece: the read that brought the start of frame 3 brought all of frame 4.
    const auto firstWithFrame3 =
        std::find_if(got.ends.begin(), got.ends.end(), [](std::size_t end) { return end > 2 * kFrameSize; });
    ASSERT_NE(firstWithFrame3, got.ends.end());
    EXPECT_GE(*firstWithFrame3, 4 * kFrameSize);

    const Bytes read = Exchange(Request(3));
    EXPECT_EQ(Word(read, 1), 3) << "orders are answered as before";
}

// ---------------------------------------------------------------------------------------------------------

class ScopeSerial : public UiTest {
  protected:
    static constexpr int kPort = 5;
    void SetUp() override {
        UiTest::SetUp();
        EmulatorOptions o;
        o.versionText = std::string(ModelByCode(601)->versionText);
        o.tcp = false;
        o.pty = true;
        o.ptyLink = ProjectFile("COM5");
        emulator = std::make_unique<SensorEmulator>(o);
        std::string error;
        ASSERT_TRUE(emulator->Start(&error)) << error;
    }
    void TearDown() override {
        CloseCom(kPort);
        emulator.reset();
        UiTest::TearDown();
    }
    void Open(long baud) {
        ASSERT_EQ(OpenComConfig(kPort, "", baud, VAL_NO_PARITY, 8, 1, 1024, 1024), 0);
        ASSERT_EQ(SetComTime(kPort, 0.4), 0);
    }
    // The reply to one request as far as it came within the time-out.
    Bytes Exchange(const Frame& request) {
        const Bytes out = ToBytes(request);
        EXPECT_EQ(ComWrt(kPort, out.data(), 36), 36);
        Bytes reply(kFrameSize);
        const int got = ComRd(kPort, reply.data(), 36);
        reply.resize(static_cast<std::size_t>(std::max(got, 0)));
        return reply;
    }

    std::unique_ptr<SensorEmulator> emulator;
};

TEST_F(ScopeSerial, AfterOrder190OnlyAProgramAtTheNewRateIsAnswered) {
    const Bytes version = ToBytes(VersionReply(ModelByCode(601)->versionText));
    Open(19200);
    EXPECT_EQ(Exchange(Request(7)), version) << "no rate set yet: any rate is answered";
    const Frame change = Request(190, {4});
    EXPECT_EQ(Exchange(change), ToBytes(EchoReply(change))) << "echoed at the old rate";
    EXPECT_EQ(emulator->SerialBaud(), 115200);

    EXPECT_TRUE(Exchange(Request(7)).empty()) << "the program kept its port at 19200";
    Open(57600);
    EXPECT_TRUE(Exchange(Request(7)).empty());
    EXPECT_EQ(emulator->FrameCount(), 2) << "frames at another rate never reach the sensor";
    Open(115200);
    EXPECT_EQ(Exchange(Request(7)), version);
    EXPECT_EQ(emulator->FrameCount(), 3);
}

TEST_F(ScopeSerial, AutoSentFramesReachTheLineOnlyAtTheSensorsRate) {
    emulator->SetSerialBaud(38400);
    auto framesCome = [&] {
        FlushInQ(kPort);
        return WaitFor([&] { return GetInQLen(kPort) >= 36; }, 1.0);
    };
    Open(38400);
    const Bytes start = ToBytes(Request(50, {1}));
    ASSERT_EQ(ComWrt(kPort, start.data(), 36), 36);
    ASSERT_TRUE(framesCome());
    Bytes frame(kFrameSize);
    ASSERT_EQ(ComRd(kPort, frame.data(), 36), 36);
    EXPECT_EQ(Word(frame, kMeasMarker), kSyncReply);
    EXPECT_EQ(Word(frame, kMeasOrder), kMeasureOrder);

    Open(9600);
    EXPECT_FALSE(framesCome()) << "nothing goes out while the program listens at another rate";
    Open(38400);
    EXPECT_TRUE(framesCome());

    // A silent sensor sends nothing unasked either, nor does a line that lost its sensor.
    Faults f;
    f.silentFromFrame = emulator->FrameCount();
    emulator->SetFaults(f);
    EXPECT_FALSE(framesCome());
    f = {};
    f.closeAtFrame = emulator->FrameCount() + 1;
    emulator->SetFaults(f);
    const Bytes version = ToBytes(Request(7));
    ASSERT_EQ(ComWrt(kPort, version.data(), 36), 36);
    EXPECT_FALSE(framesCome());
    emulator->SetFaults({});
    emulator->ResetCounters();
    EXPECT_TRUE(framesCome());

    const Bytes stop = ToBytes(Request(50, {0}));
    ASSERT_EQ(ComWrt(kPort, stop.data(), 36), 36);
    EXPECT_TRUE(WaitFor([&] { return !emulator->AutoSending(); }, 2.0));
}

// At wire speed a request and its reply take their 72 bytes' time on the line, and frames sent unasked come
// no faster than the line carries them, each counted as sent once its last byte is out.
TEST_F(ScopeSerial, AtWireSpeedEveryByteTakesItsTenBitsBothWays) {
    emulator.reset();
    EmulatorOptions o;
    o.versionText = std::string(ModelByCode(601)->versionText);
    o.tcp = false;
    o.pty = true;
    o.ptyLink = ProjectFile("COM5");
    o.wireSpeed = true;
    o.autoSendHz = 100;  // more than the line carries at 9600 baud
    emulator = std::make_unique<SensorEmulator>(o);
    ASSERT_TRUE(emulator->Start());
    Open(9600);
    constexpr double kByte = 10.0 / 9600;
    const double t0 = Timer();
    EXPECT_EQ(Exchange(Request(7)), ToBytes(VersionReply(o.versionText)));
    const double exchange = Timer() - t0;
    EXPECT_GE(exchange, 72 * kByte);
    EXPECT_LT(exchange, 72 * kByte + 0.3);

    const Bytes start = ToBytes(Request(50, {1}));
    const double t1 = Timer();
    ASSERT_EQ(ComWrt(kPort, start.data(), 36), 36);
    Bytes in;
    while (Timer() - t1 < 1.0) {
        ProcessSystemEvents();
        const int n = GetInQLen(kPort);
        if (n <= 0) continue;
        const std::size_t at = in.size();
        in.resize(at + std::size_t(n));
        ASSERT_EQ(ComRd(kPort, in.data() + at, n), n);
    }
    const double lineBytes = (Timer() - t1) / kByte - 36;  // what the line carried after the request
    EXPECT_LE(double(in.size()), lineBytes + 1);
    EXPECT_GE(double(in.size()), lineBytes / 2);
    const std::vector<Frame> sent = emulator->AutoSentFrames();
    EXPECT_LE(sent.size() * kFrameSize, in.size() + 2 * kFrameSize) << "sent means on the line";
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(Bytes(in.begin(), in.begin() + 36), ToBytes(sent[0]));
}
