#include "frame_assembler.h"

#include <algorithm>

namespace {

bool MarkerAt(const std::vector<std::uint8_t>& b, std::size_t at) {
    return at + 1 < b.size() && b[at] == 0x00 && b[at + 1] == 0xAA;
}

}  // namespace

void FrameAssembler::Feed(std::span<const std::uint8_t> bytes) {
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
}

bool FrameAssembler::Next(Frame& frame) {
    Resynchronise();
    if (buffer_.size() < kFrameBytes || !MarkerAt(buffer_, 0)) return false;
    std::copy_n(buffer_.begin(), kFrameBytes, frame.begin());
    buffer_.erase(buffer_.begin(), buffer_.begin() + kFrameBytes);
    return true;
}

void FrameAssembler::Clear() {
    buffer_.clear();
}

// Frames arrive aligned, so a whole frame without the marker that is followed by a marker is dropped as a
// unit (the sensor sent a bad frame: its words may hold 00 AA, which must not be taken for a marker);
// other stray bytes are skipped up to the next marker. Nothing is decided before the bytes after a whole
// frame are there; a 00 at the end is kept, as it may be the first half of a marker.
void FrameAssembler::Resynchronise() {
    if (buffer_.empty() || MarkerAt(buffer_, 0) || buffer_.size() < kFrameBytes + 2) return;
    std::size_t skip = 0;
    if (MarkerAt(buffer_, kFrameBytes)) {
        skip = kFrameBytes;
    } else {
        skip = 1;
        while (skip < buffer_.size() && !MarkerAt(buffer_, skip)) ++skip;
        if (skip == buffer_.size() && buffer_.back() == 0x00) --skip;
    }
    discarded_ += skip;
    buffer_.erase(buffer_.begin(), buffer_.begin() + std::ptrdiff_t(skip));
}
