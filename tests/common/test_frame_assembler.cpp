// Cutting a stream of reply bytes into frames: chunking, frames back to back, stray bytes and bad frames.
#include <gtest/gtest.h>

#include <vector>

#include "frame_assembler.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// A reply frame with marker 00 AA, order 5 and `fill` in every payload byte.
Bytes Reply(std::uint8_t fill, std::uint8_t marker = 0xAA) {
    Bytes f(36, fill);
    f[0] = 0x00;
    f[1] = marker;
    f[2] = 0x00;
    f[3] = 0x05;
    return f;
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

std::vector<Bytes> Drain(FrameAssembler& a) {
    std::vector<Bytes> frames;
    FrameAssembler::Frame f;
    while (a.Next(f)) frames.emplace_back(f.begin(), f.end());
    return frames;
}

TEST(FrameAssembler, FramesBackToBackComeOutOneAtATime) {
    FrameAssembler a;
    a.Feed(Join({Reply(1), Reply(2)}));
    const auto frames = Drain(a);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0], Reply(1));
    EXPECT_EQ(frames[1], Reply(2));
    EXPECT_EQ(a.Pending(), 0u);
}

TEST(FrameAssembler, APartialFrameWaitsForItsRest) {
    FrameAssembler a;
    const Bytes f = Join({Reply(7), Reply(8)});
    a.Feed({f.data(), 1});  // a lone 00: maybe the start of a marker
    EXPECT_TRUE(Drain(a).empty());
    a.Feed({f.data() + 1, 30});
    EXPECT_TRUE(Drain(a).empty());
    EXPECT_EQ(a.Pending(), 31u);
    a.Feed({f.data() + 31, 10});
    const auto first = Drain(a);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0], Reply(7));
    EXPECT_EQ(a.Pending(), 5u);
    a.Feed({f.data() + 41, f.size() - 41});
    const auto second = Drain(a);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0], Reply(8));
    EXPECT_EQ(a.Discarded(), 0u);
}

TEST(FrameAssembler, StrayBytesAreSkippedToTheNextMarker) {
    FrameAssembler a;
    a.Feed(Join({Bytes{0x12, 0x00, 0x55, 0xAA, 0x00}, Reply(3)}));
    const auto frames = Drain(a);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], Reply(3));
    EXPECT_EQ(a.Discarded(), 5u);
}

TEST(FrameAssembler, AMarkerSplitAfterStrayBytesIsKept) {
    // More stray bytes than a frame, ending in 00: that 00 may start the next marker, whose AA comes in
    // the next read.
    const Bytes f = Reply(4);
    Bytes stray(37, 0x12);
    stray.push_back(f[0]);
    FrameAssembler a;
    a.Feed(stray);
    EXPECT_TRUE(Drain(a).empty());
    a.Feed({f.data() + 1, f.size() - 1});
    const auto frames = Drain(a);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], f);
    EXPECT_EQ(a.Discarded(), 37u);
}

TEST(FrameAssembler, ABadFrameIsDroppedWholeEvenWhenItHoldsAMarker) {
    Bytes bad = Reply(0x11, 0x55);
    bad[20] = 0x00;  // a word of 170 inside the bad frame looks like a marker
    bad[21] = 0xAA;
    FrameAssembler a;
    a.Feed(bad);
    EXPECT_TRUE(Drain(a).empty()) << "nothing is decided before the next frame starts";
    a.Feed(Reply(4));
    const auto frames = Drain(a);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], Reply(4));
    EXPECT_EQ(a.Discarded(), 36u);
}

}  // namespace
