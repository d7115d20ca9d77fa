// The link's reply assembly, over TCP (parts stored at their offsets by the data-ready handler) and over
// RS-232 (everything waiting is read), with the completeness rules of the reply wait, on a line in memory
// (memory_transport.h): the version query, an echo check, a read reply, a measurement frame and the bytes a
// sensor sends by itself. What the sensor sends, when, in how many parts, and whether the line hangs up
// comes from the input.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "frame_assembler.h"
#include "fuzz_support.h"
#include "memory_transport.h"
#include "sensor_link.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr int kFrame = 36;

std::array<unsigned char, 32> payload;
int versionsShown = 0, interfacePanelShown = 0;
std::string lastStatus;

// The link under test and its line; a fresh pair for every input.
SensorLink* theLink = nullptr;
MemoryTransport* line = nullptr;

void FillPayload(Frame& request, unsigned short, unsigned short, unsigned short, unsigned short) {
    std::copy(payload.begin(), payload.end(), request.begin() + 4);
}

std::uint16_t WordOf(const Bytes& b, int i) {
    return std::uint16_t(b[2 * i] << 8 | b[2 * i + 1]);
}

enum Operation { kVersion, kEcho, kReadReply, kMeasurement, kStream, kOperations };

// After a reply wait: szReadBuf holds what could be read since the request left, and bytesToRead says
// how much of the frame is missing (negative: more was waiting than a frame, on RS-232 only).
bool CheckReplyWait(bool tcp) {
    const Bytes& r = line->ReceivableSinceWrite();
    const int have = int(r.size());
    if (tcp) {
        // Parts land one after the other; nothing beyond the frame is taken.
        const int received = std::min(have, kFrame);
        FUZZ_CHECK(theLink->bytesToRead == kFrame - received);
        FUZZ_CHECK(std::equal(r.begin(), r.begin() + received, theLink->szReadBuf));
    } else {
        // Everything waiting when the wait ended was read (as far as the buffer holds it).
        FUZZ_CHECK(theLink->dataSize == have || (have == 0 && theLink->dataSize < 0));
        const int n = std::min(have, int(sizeof theLink->szReadBuf));
        FUZZ_CHECK(std::equal(r.begin(), r.begin() + n, theLink->szReadBuf));
        FUZZ_CHECK(theLink->bytesToRead == kFrame - have);
    }
    return theLink->bytesToRead == 0;
}

// Version text as the sensors send it: printable characters, then only zero bytes, and at least one
// letter or digit. 36 other bytes are line noise (a line at another baud rate), not an answer.
bool LooksLikeVersionText(const Bytes& r) {
    bool zeros = false, letterOrDigit = false;
    for (int i = 0; i < kFrame; ++i) {
        const std::uint8_t c = r[i];
        if (c == 0) {
            zeros = true;
        } else {
            if (zeros || c < 0x20 || c > 0x7E) return false;
            letterOrDigit =
                letterOrDigit || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        }
    }
    return letterOrDigit;
}

void CheckFailureReport(bool complete, int reportsBefore) {
    FUZZ_CHECK(interfacePanelShown == reportsBefore + (complete ? 0 : 1));
    if (!complete) FUZZ_CHECK(lastStatus == "TIMEOUT" && theLink->comecho == 0);
}

// The request the link wrote: sync word, order, then the payload.
void CheckRequest(unsigned short code) {
    const auto& written = line->Written();
    FUZZ_CHECK(written.size() == 1 && written[0].size() == std::size_t(kFrame));
    FUZZ_CHECK(WordOf(written[0], 0) == 0x55 && WordOf(written[0], 1) == code);
    FUZZ_CHECK(std::equal(payload.begin(), payload.end(), written[0].begin() + 4));
}

void Stream(bool tcp, double lastArrival) {
    theLink->SetStreamReceive(true);
    line->Start();
    std::vector<unsigned char> out;
    while (line->Now() <= lastArrival + 0.1) {
        for (int i = 0; i < 7; ++i) theLink->Pass();
        const std::size_t before = out.size();
        const int n = theLink->TakeReceivedBytes(out);
        FUZZ_CHECK(n < 0 ? out.size() == before : out.size() == before + std::size_t(n));
    }
    const Bytes& all = line->AllArrived();
    // No byte is lost or doubled while the stream stays within its bound.
    if (!tcp || all.size() <= 64 * 1024) FUZZ_CHECK(Bytes(out.begin(), out.end()) == all);
    FrameAssembler frames;
    frames.Feed(out, 0.0);
    frames.End();
    FrameAssembler::Frame f;
    std::size_t taken = 0;
    while (frames.Next(f, 0.0)) {
        FUZZ_CHECK(f[0] == 0x00 && f[1] == 0xAA);
        ++taken;
    }
    FUZZ_CHECK(taken * kFrame + frames.Discarded() + frames.Pending() == out.size());
    theLink->SetStreamReceive(false);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    const std::uint8_t flags = in.Byte();
    const bool tcp = flags & 1;
    const auto op = Operation((flags >> 1) % kOperations);
    const int echoWords = 1 + in.Byte() % 18;
    const unsigned short code = in.Byte();
    const auto p = in.Bytes(payload.size());
    payload.fill(0);
    std::copy(p.begin(), p.end(), payload.begin());

    SensorLink fresh;
    theLink = &fresh;
    line = nullptr;
    fresh.echoTimeout = 0.5;
    fresh.replyTimeout = 1.0;
    fresh.tcpReadPumpsEvents = flags & 0x10;
    fresh.transportFactory = [tcp](const SensorLink&) {
        auto t = std::make_unique<MemoryTransport>(tcp);
        line = t.get();
        return t;
    };
    LinkObserver& o = fresh.observer;
    o.fillPayload = FillPayload;
    o.afterVersionQuery = [] { ++versionsShown; };
    o.showInterfacePanel = [] { ++interfacePanelShown; };
    o.showStatus = [](std::string_view text) { lastStatus = std::string(text); };
    if (flags & 0x20) fresh.Log().Open("/dev/null");
    versionsShown = interfacePanelShown = 0;
    lastStatus.clear();

    fresh.comprotocol = tcp ? 1 : 0;
    if (tcp) {
        std::strcpy(fresh.ipBuf, "sensor");
        fresh.portNum = 10001;
        fresh.InitTCP_IP();
        FUZZ_CHECK(fresh.tcpcon == 1);
    } else {
        fresh.comport = 5;
        fresh.baudrate = 1;
        fresh.InitRS232();
        FUZZ_CHECK(fresh.ret >= 0);
    }

    // Bytes already waiting (a stray reply), then what the sensor sends after the request.
    line->Preload(in.Bytes(in.Byte() % 80));
    double at = 0.0;
    while (!in.Empty()) {
        const std::uint8_t delay = in.Byte();
        if (delay == 0xFF) {
            line->ScheduleAfterWrite(at, {}, true);
            continue;
        }
        at += delay * 0.005;
        line->ScheduleAfterWrite(at, in.Bytes(in.Byte()));
    }

    switch (op) {
        case kVersion: {
            theLink->CheckComLine();
            CheckRequest(7);
            const Bytes& r = line->ReceivableSinceWrite();
            const bool whole = tcp ? int(r.size()) >= kFrame : int(r.size()) == kFrame;
            if (whole && !LooksLikeVersionText(r)) {
                FUZZ_CHECK(theLink->bytesToRead == kFrame && versionsShown == 0);
                CheckFailureReport(false, 0);
                break;
            }
            const bool complete = CheckReplyWait(tcp);
            FUZZ_CHECK(versionsShown == (complete ? 1 : 0));
            if (complete) {
                FUZZ_CHECK(std::memcmp(theLink->version, line->ReceivableSinceWrite().data(), kFrame) == 0);
                FUZZ_CHECK(theLink->version[kFrame] == '\0');
                FUZZ_CHECK(lastStatus == std::string(theLink->version));
            }
            CheckFailureReport(complete, 0);
            break;
        }
        case kEcho: {
            theLink->order = code;
            theLink->FillTxBuf(code, 0, 0, 0);
            theLink->WriteFrame();
            theLink->CheckEcho(echoWords);
            CheckRequest(code);
            const bool complete = CheckReplyWait(tcp);
            const Bytes& r = line->ReceivableSinceWrite();
            const Bytes& q = line->Written()[0];
            const bool good = complete && r[0] == 0x00 && r[1] == 0xAA &&
                              std::equal(q.begin() + 2, q.begin() + 2 * echoWords, r.begin() + 2);
            FUZZ_CHECK(theLink->comecho == (good ? 1 : 0));
            CheckFailureReport(good, 0);
            break;
        }
        case kReadReply: {
            theLink->order = code;
            theLink->FillTxBuf(code, 0, 0, 0);
            theLink->FlushQueues();
            theLink->WriteFrame();
            const bool arrived = theLink->ReceiveReply();
            CheckRequest(code);
            FUZZ_CHECK(arrived == CheckReplyWait(tcp));
            CheckFailureReport(arrived, 0);
            if (arrived) {
                theLink->GetRxBufPara();
                for (int i = 0; i < kFrame / 2; ++i)
                    FUZZ_CHECK(theLink->pp[i] == WordOf(line->ReceivableSinceWrite(), i));
            }
            break;
        }
        case kMeasurement: {
            theLink->order = 5;
            theLink->FillTxBuf(5, 0, 0, 0);
            theLink->FlushQueues();
            if (tcp) theLink->bytesToRead = theLink->dataSize = kFrame;
            theLink->WriteFrame();
            theLink->WaitForReply(3.0);
            CheckRequest(5);
            if (CheckReplyWait(tcp)) {
                theLink->GetRxBufData();
                for (int i = 0; i < kFrame / 2; ++i)
                    FUZZ_CHECK(theLink->databuf[i] == WordOf(line->ReceivableSinceWrite(), i));
            }
            break;
        }
        default:
            Stream(tcp, at);
            break;
    }
    return 0;
}
