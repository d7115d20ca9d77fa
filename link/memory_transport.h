// A line in memory, for tests and the fuzz target: the sensor's side is a schedule of byte arrivals on a
// virtual clock. The clock moves only while the link waits: by a fixed step at every pass of a wait, or
// up to the next arrival inside a read that waits, as a real line's would. Like a TCP conversation, it
// raises BytesReady at a pass while unread bytes remain (never inside its own event) and PeerClosed only
// after the last byte was offered; like a serial port, it answers Waiting and reads what waits.
#pragma once

#include <cstdint>
#include <deque>
#include <span>
#include <vector>

#include "transport.h"

class MemoryTransport final : public LinkTransport {
  public:
    static constexpr double kPumpStepSeconds = 0.002;

    // pushes: bytes are pushed as on a TCP conversation, else polled as on a serial port.
    explicit MemoryTransport(bool pushes) : pushes_(pushes) {}

    // Bytes that are waiting on the link's side of the line already.
    void Preload(std::span<const std::uint8_t> bytes);
    // Bytes the sensor sends `delay` seconds after the link's next frame has left (hangUp: the line hangs
    // up then instead). Before any frame is written, Start begins the clock for them instead.
    void ScheduleAfterWrite(double delay, std::span<const std::uint8_t> bytes, bool hangUp = false);
    void Start();

    // What the link could have read since its frame left: the bytes waiting when the frame was written,
    // then everything that arrived after.
    const std::vector<std::uint8_t>& ReceivableSinceWrite() const { return sinceWrite_; }
    // Every byte that ever arrived on the link's side (preloaded ones included).
    const std::vector<std::uint8_t>& AllArrived() const { return all_; }
    // Frames the link wrote.
    const std::vector<std::vector<std::uint8_t>>& Written() const { return frames_; }

    int Open(const LinkAddress& address, TransportEvents& events) override;
    void Close() override;
    int Write(const unsigned char* bytes, int count, int timeoutMs) override;
    int Read(unsigned char* bytes, int count, int timeoutMs) override;
    int Waiting() override;
    void Flush() override;
    void Pump() override;
    double Now() override { return now_; }
    bool RealTime() const override { return false; }

  private:
    struct Arrival {
        double delay;
        std::vector<std::uint8_t> bytes;
        bool hangUp;
    };
    void Deliver();
    bool WaitForBytes(double seconds);
    int Take(unsigned char* bytes, int count);

    bool pushes_;
    double now_ = 0.0;
    std::deque<std::uint8_t> waiting_;  // arrived, not read yet
    std::vector<Arrival> pending_;
    double scheduleStart_ = -1.0;  // < 0: the schedule waits for a write
    std::size_t nextArrival_ = 0;
    bool hungUp_ = false;
    bool written_ = false;
    std::vector<std::uint8_t> sinceWrite_, all_;
    std::vector<std::vector<std::uint8_t>> frames_;
    TransportEvents* events_ = nullptr;
    bool open_ = false;
    bool inEvent_ = false;
};
