#include "frame_assembler.h"

#include <algorithm>

namespace {

constexpr std::size_t kFrame = FrameAssembler::kFrameBytes;
constexpr std::size_t kHeader = 4;  // the marker and the order word

bool MarkerAt(std::span<const std::uint8_t> b, std::size_t at) {
    return at + 1 < b.size() && b[at] == 0x00 && b[at + 1] == 0xAA;
}

// Whether the header of the frame at `frame` (its first 4 bytes) begins again at `at`.
bool HeaderAgainAt(std::span<const std::uint8_t> b, std::size_t frame, std::size_t at) {
    return at + kHeader <= b.size() &&
           std::equal(b.begin() + std::ptrdiff_t(at), b.begin() + std::ptrdiff_t(at + kHeader),
                      b.begin() + std::ptrdiff_t(frame));
}

// The first place in bytes 1 to 35 of the frame at `frame` where its header begins again, as far as the
// bytes go; kFrame when there is none.
std::size_t InnerHeader(std::span<const std::uint8_t> b, std::size_t frame) {
    for (std::size_t k = 1; k < kFrame; ++k)
        if (HeaderAgainAt(b, frame, frame + k)) return k;
    return kFrame;
}

}  // namespace

void FrameAssembler::Feed(std::span<const std::uint8_t> bytes, double now) {
    if (bytes.empty()) return;
    if (head_ > 0) {  // what was taken goes now, not at every frame taken
        buffer_.erase(buffer_.begin(), buffer_.begin() + std::ptrdiff_t(head_));
        head_ = 0;
    }
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
    lastArrival_ = now;
}

bool FrameAssembler::Next(Frame& frame, double now) {
    const bool bytesEnded = ended_ || now >= lastArrival_ + quiet_;
    for (;;) {
        std::size_t drop = 0;
        switch (Judge(bytesEnded, drop)) {
            case Verdict::Take:
                std::copy_n(Bytes().begin(), kFrame, frame.begin());
                head_ += kFrame;
                inStep_ = true;
                return true;
            case Verdict::Drop:
                Drop(drop);
                inStep_ = false;
                break;
            case Verdict::Wait:
                return false;
        }
    }
}

// The first marker at or after `from`; a 00 at the end that the bytes may still make a marker of counts as
// one. The size of the buffer when there is none.
std::size_t FrameAssembler::NextMarker(std::size_t from) const {
    const std::span<const std::uint8_t> b = Bytes();
    for (std::size_t at = from; at + 1 < b.size(); ++at)
        if (MarkerAt(b, at)) return at;
    return !ended_ && b.size() > from && b.back() == 0x00 ? b.size() - 1 : b.size();
}

void FrameAssembler::Drop(std::size_t n) {
    discarded_ += n;
    head_ += n;
}

// What the bytes at the front of the buffer are (see the header for the rule). `drop`: how many bytes
// make no frame.
FrameAssembler::Verdict FrameAssembler::Judge(bool bytesEnded, std::size_t& drop) const {
    const std::span<const std::uint8_t> b = Bytes();
    const std::size_t n = b.size();
    if (n == 0) return Verdict::Wait;
    if (!MarkerAt(b, 0)) {
        // A whole frame with a wrong marker is known only once the marker after it is there; when the line
        // falls quiet first, nothing in these bytes begins a frame.
        if (n >= kFrame + 2)
            drop = MarkerAt(b, kFrame) ? kFrame : NextMarker(1);
        else if (bytesEnded)
            drop = n;
        else
            return Verdict::Wait;
        return Verdict::Drop;
    }
    if (n < kFrame) {
        if (!ended_) return Verdict::Wait;
        drop = n;  // broken off at the end
        return Verdict::Drop;
    }
    // Its own header begun again inside it: broken off there, unless the stream is in step and the frame
    // after it confirms it. (A header that runs on past the bytes there are is left to what follows, which
    // waits for those bytes.)
    if (const std::size_t k = InnerHeader(b, 0); k < kFrame) {
        const Verdict verdict = inStep_ ? ConfirmedByNext(bytesEnded) : Verdict::Drop;
        if (verdict == Verdict::Drop) drop = k;
        return verdict;
    }
    // What follows: the next frame's marker, or one frame with a wrong marker and then a marker. Where the
    // bytes have ended, nothing (or a lone 00, all of a marker there is) counts as a marker.
    for (const std::size_t at : {kFrame, 2 * kFrame}) {
        if (MarkerAt(b, at)) return Verdict::Take;
        if (n == at || (n == at + 1 && b[at] == 0x00)) return bytesEnded ? Verdict::Take : Verdict::Wait;
        if (n < at && !bytesEnded) return Verdict::Wait;
    }
    drop = NextMarker(1);
    return Verdict::Drop;
}

// A frame at the front whose words hold its own header, in step: taken when the frame after it begins
// right after its 36 bytes with the same header and holds that header nowhere in bytes 1 to 35. Were the
// frame broken off where its header begins again, the frame begun there would end, whole or broken off,
// inside the frame after it, and its successor's header would stand there. What follows must come without
// a pause: when the bytes end first, nothing confirms the frame.
FrameAssembler::Verdict FrameAssembler::ConfirmedByNext(bool bytesEnded) const {
    const std::span<const std::uint8_t> b = Bytes();
    const std::size_t n = b.size();
    constexpr std::size_t kLastHeaderEnd = kFrame + kFrame - 1 + kHeader;  // a header at byte 35 of the next
    if (n < kFrame + kHeader) return bytesEnded ? Verdict::Drop : Verdict::Wait;
    if (!HeaderAgainAt(b, 0, kFrame) || InnerHeader(b, kFrame) < kFrame) return Verdict::Drop;
    if (n >= kLastHeaderEnd) return Verdict::Take;
    if (!bytesEnded) return Verdict::Wait;
    return n >= 2 * kFrame ? Verdict::Take : Verdict::Drop;
}
