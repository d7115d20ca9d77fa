#include "frame_source.h"

#include <algorithm>
#include <cmath>

#include "com232.h"
#include "platform.h"
#include "scope_state.h"
#include "sensor_exchange.h"

namespace {
constexpr double kLongestSleep = 0.1;  // a pass of a triggered record while no bytes wait
}  // namespace

void RunFrameSource(FrameFeed& feed, const FrameSink& sink) {
    while (poll == 1 && feed.Pass(sink)) {
    }
    feed.Finish(sink);
}

void RequestedFrames::Request() {
    requestedAt_ = Timer();
    SendDataRequest(WindowLink());
    requested_ = true;
}

bool RequestedFrames::Receive(Frame& frame) {
    requested_ = false;
    if (ReceiveDataFrame(WindowLink(), frame)) return true;
    ++unanswered_;
    SetPopupTimeout();
    return false;
}

bool RequestedFrames::Pass(const FrameSink& sink) {
    if (!requested_) Request();
    const double requestedAt = requestedAt_;
    Frame frame;
    if (!Receive(frame)) return false;
    if (askAhead_ && poll == 1 && askAhead_()) Request();
    sink(frame);
    pace_(requestedAt);
    return true;
}

void RequestedFrames::Finish(const FrameSink& sink) {
    Frame frame;
    if (requested_ && Receive(frame)) sink(frame);
}

bool SentFrames::Pass(const FrameSink& sink) {
    // Sleeps until bytes or a click come, or until bytes that wait count as ended.
    ProcessSystemEventsWaiting(int(std::ceil(frames_.QuietLeft(Timer(), kLongestSleep) * 1000.0)));
    bytes_.clear();
    const int got = TakeReceivedBytes(bytes_);
    const double now = Timer();
    if (got > 0) frames_.Feed(bytes_, now);
    HandOn(sink, now);
    // The server closed the conversation or the serial port failed: no frame can come any more.
    if (got < 0 || (comprotocol != 0 && tcpcon == 0)) {
        SetPopupTimeout();
        return false;
    }
    return true;
}

void SentFrames::Finish(const FrameSink& sink) {
    // A whole frame that arrived last is handed on too.
    frames_.End();
    HandOn(sink, Timer());
}

// Frames that arrived together are all handed on, one at a time.
void SentFrames::HandOn(const FrameSink& sink, double now) {
    Frame frame;
    while (frames_.Next(frame, now)) sink(frame);
}
