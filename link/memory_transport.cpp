#include "memory_transport.h"

#include <algorithm>

#include "io.h"

namespace {

constexpr double kSerialReadSeconds = 2.0;  // as the serial transport sets its port

// The platform's error codes for a line that is not open, closed or broken, as TCP or serial reports it.
int NotOpen(bool tcp) {
    return tcp ? int(kTCP_NoConnectionEstablished) : int(kRS232PortNotOpen);
}
int Closed(bool tcp) {
    return tcp ? int(kTCP_ConnectionClosed) : int(kRS232UnknownIOError);
}

}  // namespace

void MemoryTransport::Preload(std::span<const std::uint8_t> bytes) {
    waiting_.insert(waiting_.end(), bytes.begin(), bytes.end());
    all_.insert(all_.end(), bytes.begin(), bytes.end());
}

void MemoryTransport::ScheduleAfterWrite(double delay, std::span<const std::uint8_t> bytes, bool hangUp) {
    pending_.push_back({delay, {bytes.begin(), bytes.end()}, hangUp});
}

void MemoryTransport::Start() {
    if (scheduleStart_ < 0) scheduleStart_ = now_;
}

// Moves every arrival that is due by now onto the link's side.
void MemoryTransport::Deliver() {
    if (scheduleStart_ < 0) return;
    while (nextArrival_ < pending_.size() && scheduleStart_ + pending_[nextArrival_].delay <= now_) {
        const Arrival& a = pending_[nextArrival_++];
        if (hungUp_) continue;
        if (a.hangUp) {
            hungUp_ = true;
            continue;
        }
        waiting_.insert(waiting_.end(), a.bytes.begin(), a.bytes.end());
        all_.insert(all_.end(), a.bytes.begin(), a.bytes.end());
        if (written_) sinceWrite_.insert(sinceWrite_.end(), a.bytes.begin(), a.bytes.end());
    }
}

// Waits up to `seconds` for at least one byte; true when one is there.
bool MemoryTransport::WaitForBytes(double seconds) {
    Deliver();
    const double until = now_ + seconds;
    while (waiting_.empty() && !hungUp_) {
        if (scheduleStart_ < 0 || nextArrival_ >= pending_.size()) break;
        const double due = scheduleStart_ + pending_[nextArrival_].delay;
        if (due > until) break;
        now_ = std::max(now_, due);
        Deliver();
    }
    if (waiting_.empty() && !hungUp_) now_ = std::max(now_, until);
    return !waiting_.empty();
}

int MemoryTransport::Take(unsigned char* bytes, int count) {
    const int n = std::min<int>(count, int(waiting_.size()));
    std::copy_n(waiting_.begin(), n, bytes);
    waiting_.erase(waiting_.begin(), waiting_.begin() + n);
    return n;
}

int MemoryTransport::Open(const LinkAddress&, TransportEvents& events) {
    events_ = &events;
    open_ = true;
    return 0;
}

void MemoryTransport::Close() {
    open_ = false;
}

int MemoryTransport::Write(const unsigned char* bytes, int count, int) {
    if (!open_) return NotOpen(pushes_);
    if (hungUp_) return Closed(pushes_);
    frames_.emplace_back(bytes, bytes + count);
    if (!written_) {
        written_ = true;
        Deliver();
        sinceWrite_.assign(waiting_.begin(), waiting_.end());
        if (scheduleStart_ < 0) scheduleStart_ = now_;
    }
    return count;
}

int MemoryTransport::Read(unsigned char* bytes, int count, int timeoutMs) {
    if (!open_) return NotOpen(pushes_);
    if (count <= 0) return count == 0 ? 0 : pushes_ ? int(kTCP_InvalidParameter) : int(kRS232InternalError);
    if (pushes_) {
        if (!WaitForBytes(timeoutMs / 1000.0)) return hungUp_ ? kTCP_ConnectionClosed : kTCP_TimeOutErr;
        return Take(bytes, count);
    }
    int got = 0;
    const double until = now_ + kSerialReadSeconds;
    while (got < count) {
        got += Take(bytes + got, count - got);
        if (got == count || now_ >= until || !WaitForBytes(until - now_)) break;
    }
    if (got > 0) return got;
    return hungUp_ ? kRS232UnknownIOError : kRS232TimeOut;
}

int MemoryTransport::Waiting() {
    if (!open_) return pushes_ ? 0 : int(kRS232PortNotOpen);
    if (pushes_) return 0;
    Deliver();
    if (waiting_.empty() && hungUp_) return kRS232UnknownIOError;
    return int(waiting_.size());
}

void MemoryTransport::Flush() {
    if (!open_ || pushes_) return;
    Deliver();
    waiting_.clear();
}

void MemoryTransport::Pump() {
    now_ += kPumpStepSeconds;
    Deliver();
    if (!pushes_ || !open_ || !events_ || inEvent_) return;
    inEvent_ = true;
    if (!waiting_.empty()) {
        events_->BytesReady();
    } else if (hungUp_) {
        open_ = false;
        events_->PeerClosed();
    }
    inEvent_ = false;
}
