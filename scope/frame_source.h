// The scope's one way of taking measurement frames from the link: a loop that runs while `poll` is 1 and
// hands every frame, as a value, to a sink (the live display, or the recorder, which shows and records
// it). The frames come from requests (order 5: the live data and the interval records) or from the sensor
// by itself (the triggered record).
#pragma once

#include <functional>
#include <vector>

#include "frame.h"
#include "frame_assembler.h"

// Takes one frame; called once per frame, in the order the frames came.
using FrameSink = std::function<void(const Frame&)>;

// Where the frames come from.
class FrameFeed {
  public:
    virtual ~FrameFeed() = default;
    // Hands the frames that are there (none or more) to the sink. False when no frame can come any more
    // (the failure report has run).
    virtual bool Pass(const FrameSink& sink) = 0;
    // After the loop: hands on what is still held.
    virtual void Finish(const FrameSink&) {}
};

// Runs the feed while `poll` is 1 and it can give frames, then finishes it.
void RunFrameSource(FrameFeed& feed, const FrameSink& sink);

// Frames asked for, one per pass (order 5). After each frame is handed on, `pace` gets the time its request
// left (on Timer's clock) and waits for the next one. When `askAhead` says the next frame follows at once,
// its request leaves as soon as this frame has arrived and before this one is handed on, so the sink's work
// runs while the line carries the next exchange instead of between exchanges; the requests and replies on
// the line stay the same. A request the sensor does not answer whole ends the source with the failure
// report (SetPopupTimeout).
class RequestedFrames : public FrameFeed {
  public:
    explicit RequestedFrames(std::function<void(double requestedAt)> pace,
                             std::function<bool()> askAhead = {})
        : pace_(std::move(pace)), askAhead_(std::move(askAhead)) {}
    bool Pass(const FrameSink& sink) override;
    // A request that went ahead is answered before the source ends, and its frame handed on.
    void Finish(const FrameSink& sink) override;
    unsigned long Unanswered() const { return unanswered_; }

  private:
    void Request();
    bool Receive(Frame& frame);

    std::function<void(double)> pace_;
    std::function<bool()> askAhead_;
    unsigned long unanswered_ = 0;
    bool requested_ = false;  // a request is on its way and its reply not yet taken
    double requestedAt_ = 0.0;
};

// Frames the sensor sends by itself (stream reception must be on), cut by a FrameAssembler out of the bytes
// as they arrive; events run on every pass. A serial port that fails or a server that closes the
// conversation ends the source with the failure report; the frames still held are handed on at the end.
class SentFrames : public FrameFeed {
  public:
    bool Pass(const FrameSink& sink) override;
    void Finish(const FrameSink& sink) override;

  private:
    void HandOn(const FrameSink& sink, double now);

    FrameAssembler frames_;
    std::vector<unsigned char> bytes_;
};
