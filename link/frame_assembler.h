// Cuts the bytes a sensor sends by itself into its 36-byte frames, however they were chunked on the way, and
// never makes one frame of the bytes of two (but for the one case below that bytes cannot tell).
//
// The sensor sends its frames whole and back to back, all of one order. A frame begins with the reply
// marker 00 AA followed by its order word: its header. A sensor that breaks a frame off (a reset, a fault on
// the line) still begins its next frame with a header. So 36 bytes that begin with a marker are taken as a
// frame only when
//  - their own header does not begin again inside them (at bytes 1 to 35, also where it runs on past their
//    end): that is a frame broken off and the next one begun; and
//  - what follows them begins the next frame (a marker), or is one whole frame with a wrong marker and then
//    a marker, or is nothing: the line then stays quiet for the quiet time, or the stream ends (End).
// A frame whose words hold its own header is taken all the same when the stream is in step (the bytes
// decided last were a frame taken, so a frame of the sensor begins at the front) and the frame after it
// confirms it: it follows without a pause, begins right after the 36 bytes with the same header, and holds
// that header nowhere in its bytes 1 to 35. Had the frame been broken off where its header begins again, the
// frame begun there would end, whole or broken off, inside the frame after it, and the header of the one
// after that would stand there.
// Bytes that make no frame are dropped: a broken frame up to the header begun inside it, a whole frame with
// a wrong marker that is followed by a marker as a unit (its words may hold 00 AA), and anything else up to
// the next marker. Nothing is decided before the bytes that decide it are there.
//
// What bytes cannot tell apart: right after a frame taken, frames broken off one after the other whose
// lengths add up to 36 exactly, then a frame that holds no header inside, are the bytes of a frame holding
// its header where the second broken one begins; they are taken as that frame. A frame holding its own
// header out of step, or not confirmed (the line falls quiet after it, or the frame after it holds the
// header too), is dropped. A frame broken off within its first 3 bytes, or stray bytes after a broken frame,
// can fill 36 bytes that look like a frame in every respect.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "frame.h"

class FrameAssembler {
  public:
    static constexpr std::size_t kFrameBytes = ::kFrameBytes;
    // Silence after which the bytes count as ended: long against the bytes of one frame on any line (or
    // the pieces a serial-to-Ethernet server makes of it), short against the lag a record may have.
    static constexpr double kQuietSeconds = 0.02;
    using Frame = ::Frame;

    explicit FrameAssembler(double quietSeconds = kQuietSeconds) : quiet_(quietSeconds) {}

    // Bytes that arrived at `now` (seconds, on the clock Next is given).
    void Feed(std::span<const std::uint8_t> bytes, double now);
    // The next frame; false when none is decided at `now`.
    bool Next(Frame& frame, double now);
    // No byte will come any more: the bytes end where they end.
    void End() { ended_ = true; }
    std::size_t Pending() const { return buffer_.size() - head_; }
    // How long a reader may sleep at `now`, unless bytes come, before Next can decide more: until the bytes
    // that wait count as ended (the quiet time after the last of them), and at most `longest`.
    double QuietLeft(double now, double longest) const {
        const double left = lastArrival_ + quiet_ - now;
        return Pending() > 0 && left > 0.0 && left < longest ? left : longest;
    }
    std::size_t Discarded() const { return discarded_; }  // bytes dropped as no frame

  private:
    enum class Verdict { Take, Drop, Wait };
    Verdict Judge(bool bytesEnded, std::size_t& drop) const;
    Verdict ConfirmedByNext(bool bytesEnded) const;
    std::size_t NextMarker(std::size_t from) const;
    void Drop(std::size_t n);
    std::span<const std::uint8_t> Bytes() const { return std::span(buffer_).subspan(head_); }

    double quiet_;
    std::vector<std::uint8_t> buffer_;  // from head_ on: the bytes not decided yet
    std::size_t head_ = 0;
    double lastArrival_ = 0.0;
    bool ended_ = false;
    bool inStep_ = false;  // the last bytes decided were a frame taken: the next frame begins at the front
    std::size_t discarded_ = 0;
};
