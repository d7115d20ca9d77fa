// Cuts the bytes a sensor sends by itself into 36-byte reply frames, however they were chunked on the way:
// complete frames come out one at a time, a partial frame waits for the rest, and after bytes that do not
// belong to a frame the stream is taken up again at the next reply marker (00 AA).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

class FrameAssembler {
  public:
    static constexpr std::size_t kFrameBytes = 36;
    using Frame = std::array<std::uint8_t, kFrameBytes>;

    void Feed(std::span<const std::uint8_t> bytes);
    // The next complete frame; false when none is complete yet.
    bool Next(Frame& frame);
    std::size_t Pending() const { return buffer_.size(); }
    std::size_t Discarded() const { return discarded_; }  // bytes skipped to find a marker
    void Clear();

  private:
    void Resynchronise();
    std::vector<std::uint8_t> buffer_;
    std::size_t discarded_ = 0;
};
