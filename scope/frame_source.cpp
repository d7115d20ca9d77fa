#include "frame_source.h"

#include <algorithm>

#include "com232.h"
#include "platform.h"
#include "scope_state.h"
#include "sensor_exchange.h"

void RunFrameSource(FrameFeed& feed, const FrameSink& sink) {
    while (poll == 1 && feed.Pass(sink)) {
    }
    feed.Finish(sink);
}

bool RequestDataFrame(Frame& frame) {
    return ExchangeDataFrame(WindowLink(), frame);
}

bool RequestedFrames::Pass(const FrameSink& sink) {
    const double requestedAt = Timer();
    Frame frame;
    if (!RequestDataFrame(frame)) {
        ++unanswered_;
        SetPopupTimeout();
        return false;
    }
    sink(frame);
    pace_(requestedAt);
    return true;
}

bool SentFrames::Pass(const FrameSink& sink) {
    ProcessSystemEvents();
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
