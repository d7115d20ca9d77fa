// Cutting a stream of frames into frames: chunking, frames back to back, the last frame of a burst, stray
// bytes, frames with a wrong marker, frames broken off, which must never make a frame with the next, and
// frames whose words hold their own header.
#include <gtest/gtest.h>

#include <vector>

#include "frame_assembler.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Frames = std::vector<Bytes>;
constexpr double kQuiet = FrameAssembler::kQuietSeconds;

// A measurement frame with marker 00 AA, order 5 and `fill` in every payload byte.
Bytes Frame(std::uint8_t fill, std::uint8_t marker = 0xAA) {
    Bytes f(36, fill);
    f[0] = 0x00;
    f[1] = marker;
    f[2] = 0x00;
    f[3] = 0x05;
    return f;
}

// The first `n` bytes of a frame: what a sensor sends of a frame it breaks off.
Bytes Broken(std::uint8_t fill, std::size_t n) {
    Bytes f = Frame(fill);
    f.resize(n);
    return f;
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// The frames decided at `now`.
std::vector<Bytes> Drain(FrameAssembler& a, double now) {
    std::vector<Bytes> frames;
    FrameAssembler::Frame f;
    while (a.Next(f, now)) frames.emplace_back(f.begin(), f.end());
    return frames;
}

// Everything, fed in one read at t = 0, once the line has been quiet.
std::vector<Bytes> Cut(const Bytes& stream) {
    FrameAssembler a;
    a.Feed(stream, 0.0);
    return Drain(a, kQuiet);
}

TEST(FrameAssembler, FramesBackToBackComeOutAtOnceAndTheLastOnceTheLineIsQuiet) {
    FrameAssembler a;
    a.Feed(Join({Frame(1), Frame(2), Frame(3)}), 10.0);
    EXPECT_EQ(Drain(a, 10.0), (Frames{Frame(1), Frame(2)})) << "each followed by the next frame's marker";
    EXPECT_TRUE(Drain(a, 10.0 + kQuiet / 2).empty()) << "the last one may yet go on into a broken frame";
    EXPECT_EQ(Drain(a, 10.0 + kQuiet), (Frames{Frame(3)}));
    EXPECT_EQ(a.Pending(), 0u);

    a.Feed(Frame(4), 11.0);
    a.End();
    EXPECT_EQ(Drain(a, 11.0), (Frames{Frame(4)})) << "at the end of the stream at once";
    EXPECT_EQ(a.Discarded(), 0u);
}

// A reader sleeps until the line has been quiet for 20 ms after the last bytes, no longer than it wants to.
TEST(FrameAssembler, AReaderMaySleepUntilTheWaitingBytesCountAsEnded) {
    FrameAssembler a;
    EXPECT_DOUBLE_EQ(a.QuietLeft(5.0, 0.1), 0.1) << "no bytes wait";
    a.Feed(Frame(1), 10.0);
    EXPECT_NEAR(a.QuietLeft(10.005, 0.1), 0.015, 1e-9);
    EXPECT_DOUBLE_EQ(a.QuietLeft(10.005, 0.01), 0.01);
    EXPECT_DOUBLE_EQ(a.QuietLeft(10.03, 0.1), 0.1) << "the quiet time is over";
    EXPECT_EQ(Drain(a, 10.03), (Frames{Frame(1)}));
    EXPECT_DOUBLE_EQ(a.QuietLeft(10.01, 0.1), 0.1) << "decided: nothing waits";
}

TEST(FrameAssembler, AFrameSplitOverManyReadsWaitsForItsRest) {
    FrameAssembler a;
    const Bytes f = Join({Frame(7), Frame(8)});
    double t = 0.0;
    std::vector<Bytes> frames;
    for (std::size_t at = 0; at < f.size(); at += 5, t += 0.001) {
        a.Feed({f.data() + at, std::min<std::size_t>(5, f.size() - at)}, t);
        for (auto& frame : Drain(a, t)) frames.push_back(frame);
    }
    EXPECT_EQ(frames, (Frames{Frame(7)}));
    EXPECT_EQ(Drain(a, t + kQuiet), (Frames{Frame(8)}));
    EXPECT_EQ(a.Discarded(), 0u);
}

TEST(FrameAssembler, StrayBytesAreSkippedToTheNextMarkerAndAMarkerSplitAcrossReadsIsKept) {
    EXPECT_EQ(Cut(Join({Bytes{0x12, 0x00, 0x55, 0xAA, 0x00}, Frame(3)})), (Frames{Frame(3)}));

    // More stray bytes than a frame, ending in 00: the marker's AA comes in the next read.
    const Bytes f = Frame(4);
    Bytes stray(37, 0x12);
    stray.push_back(0x00);
    FrameAssembler a;
    a.Feed(stray, 0.0);
    EXPECT_TRUE(Drain(a, 0.0).empty());
    a.Feed({f.data() + 1, f.size() - 1}, 0.001);
    EXPECT_EQ(Drain(a, 0.001 + kQuiet), (Frames{f}));
    EXPECT_EQ(a.Discarded(), 37u);
}

TEST(FrameAssembler, AFrameWithAWrongMarkerIsDroppedWholeAndItsNeighboursAreKept) {
    Bytes bad = Frame(0x11, 0x55);
    bad[20] = 0x00;  // a word of 170 inside the bad frame looks like a marker
    bad[21] = 0xAA;
    EXPECT_EQ(Cut(Join({Frame(1), bad, Frame(2)})), (Frames{Frame(1), Frame(2)}));
    EXPECT_EQ(Cut(Join({bad, Frame(2)})), (Frames{Frame(2)}));

    // The bad frame comes in pieces: the frame before it waits for the marker after it.
    const Bytes stream = Join({Frame(1), bad, Frame(2)});
    FrameAssembler a;
    a.Feed({stream.data(), 46}, 0.0);
    EXPECT_TRUE(Drain(a, 0.0).empty());
    a.Feed({stream.data() + 46, stream.size() - 46}, 0.001);
    EXPECT_EQ(Drain(a, 0.001 + kQuiet), (Frames{Frame(1), Frame(2)}));
}

TEST(FrameAssembler, WhatFollowsAFrameDecidesItAtOnceOrOnceTheLineIsQuiet) {
    FrameAssembler a;
    a.Feed(Join({Frame(1), Frame(0x11, 0x55), Frame(2), Frame(3)}), 0.0);
    EXPECT_EQ(Drain(a, 0.0), (Frames{Frame(1), Frame(2)}))
        << "followed by a marker, or a bad frame and a marker";
    // At the end of the bytes a lone 00 after a frame may begin the next frame; another byte makes it stray.
    for (const auto& [after, taken] :
         {std::pair{Bytes{0x00}, Frames{Frame(4)}}, std::pair{Bytes{0x12}, Frames{}}}) {
        FrameAssembler b;
        b.Feed(Join({Frame(4), after}), 0.0);
        EXPECT_TRUE(Drain(b, 0.0).empty()) << "undecided while the line may go on";
        EXPECT_EQ(Drain(b, kQuiet), taken);
        b.End();
        EXPECT_TRUE(Drain(b, kQuiet).empty());
        EXPECT_EQ(b.Pending(), 0u) << "nothing waits once the stream has ended";
    }
}

// A frame with a wrong marker that came alone waits for the marker after it, and then goes whole: were it cut
// at the marker inside it, its tail and the next frame's head would make a frame when the next frame holds
// a marker at the same place.
TEST(FrameAssembler, AFrameWithAWrongMarkerGoesWholeThoughItCameBeforeTheNext) {
    Bytes bad = Frame(0x11, 0x55);
    bad[20] = 0x00;
    bad[21] = 0xAA;
    Bytes good = Frame(0x22);
    good[20] = 0x00;
    good[21] = 0xAA;
    FrameAssembler a;
    a.Feed(bad, 0.0);
    EXPECT_TRUE(Drain(a, 0.0).empty());
    a.Feed(Join({good, Frame(3)}), 0.001);
    EXPECT_EQ(Drain(a, 0.001 + kQuiet), (Frames{good, Frame(3)}));
    EXPECT_EQ(a.Discarded(), 36u);
}

TEST(FrameAssembler, AFrameWhoseWordsHoldTheMarkerIsKeptWhole) {
    Bytes f = Frame(0x07);
    f[10] = 0x00;  // a channel reading 170
    f[11] = 0xAA;
    f[34] = 0x00;  // and the last word
    f[35] = 0xAA;
    EXPECT_EQ(Cut(Join({Frame(1), f, Frame(2), f})), (Frames{Frame(1), f, Frame(2), f}));
}

// A frame broken off after 10 bytes between two whole frames made a false line of its first bytes and the
// next frame's first 26, and that frame was lost.
TEST(FrameAssembler, AFrameBrokenOffIsDroppedAndTheNextFrameIsKept) {
    EXPECT_EQ(Cut(Join({Frame(1), Broken(2, 10), Frame(3)})), (Frames{Frame(1), Frame(3)}));
    EXPECT_EQ(Cut(Join({Broken(2, 10), Frame(3), Frame(4)})), (Frames{Frame(3), Frame(4)}));
    EXPECT_EQ(Cut(Join({Frame(1), Frame(3), Broken(2, 10)})), (Frames{Frame(1), Frame(3)}));
    FrameAssembler a;
    a.Feed(Join({Frame(1), Broken(2, 30)}), 0.0);
    a.End();
    EXPECT_EQ(Drain(a, 0.0), (Frames{Frame(1)})) << "broken off at the very end of the stream";
    EXPECT_EQ(a.Pending(), 0u);
}

// However long the broken part, and even when the next frame holds a marker exactly where a frame begun
// with the broken part would end (so that a marker seems to follow it).
TEST(FrameAssembler, NoFrameIsEverMadeOfABrokenFrameAndTheNext) {
    for (std::size_t n = 4; n < 36; ++n) {
        Bytes next = Frame(3);
        if (36 - n >= 4 && 36 - n <= 34) {
            next[36 - n] = 0x00;
            next[37 - n] = 0xAA;
        }
        for (std::size_t chunk : {std::size_t(1), std::size_t(7), std::size_t(200)}) {
            const Bytes stream = Join({Frame(1), Broken(2, n), next, Frame(4)});
            FrameAssembler a;
            std::vector<Bytes> frames;
            for (std::size_t at = 0; at < stream.size(); at += chunk) {
                a.Feed({stream.data() + at, std::min(chunk, stream.size() - at)}, 0.0);
                for (auto& f : Drain(a, 0.0)) frames.push_back(f);
            }
            for (auto& f : Drain(a, kQuiet)) frames.push_back(f);
            EXPECT_EQ(frames, (Frames{Frame(1), next, Frame(4)})) << n << " bytes, reads of " << chunk;
        }
    }
}

// A frame whose words hold its own header (00 AA 00 05 at byte k) looks like a frame broken off at k.
Bytes HoldingHeaderAt(std::uint8_t fill, std::size_t k) {
    Bytes f = Frame(fill);
    f[k] = 0x00;
    f[k + 1] = 0xAA;
    f[k + 2] = 0x00;
    f[k + 3] = 0x05;
    return f;
}

// Everything, fed in reads of `chunk` bytes without a pause, then the line quiet.
std::vector<Bytes> CutInReads(const Bytes& stream, std::size_t chunk, std::size_t* discarded = nullptr) {
    FrameAssembler a;
    std::vector<Bytes> frames;
    for (std::size_t at = 0; at < stream.size(); at += chunk) {
        a.Feed({stream.data() + at, std::min(chunk, stream.size() - at)}, 0.0);
        for (auto& f : Drain(a, 0.0)) frames.push_back(f);
    }
    for (auto& f : Drain(a, kQuiet)) frames.push_back(f);
    if (discarded) *discarded = a.Discarded();
    return frames;
}

// Right after a frame taken, the frame after it confirms it: it begins right after the 36 bytes, and its
// own header stands nowhere inside it, as it would 36 bytes after the inner header had the frame been
// broken off there.
TEST(FrameAssembler, AFrameHoldingItsOwnHeaderIsTakenWhenTheFrameAfterItConfirmsIt) {
    const Bytes f = HoldingHeaderAt(0x07, 12);
    for (std::size_t chunk : {std::size_t(1), std::size_t(36), std::size_t(200)}) {
        std::size_t discarded = 1;
        EXPECT_EQ(CutInReads(Join({Frame(1), f, Frame(2)}), chunk, &discarded),
                  (Frames{Frame(1), f, Frame(2)}))
            << "reads of " << chunk;
        EXPECT_EQ(discarded, 0u);
    }
    const Bytes last = HoldingHeaderAt(0x08, 32);
    EXPECT_EQ(Cut(Join({Frame(1), f, last, Frame(2), Frame(3)})), (Frames{Frame(1), Frame(2), Frame(3)}))
        << "a frame that itself holds its header confirms none";

    // The price: two frames broken off in a row, 36 bytes together, are these bytes exactly.
    const Bytes twoBroken = Join({Broken(2, 12), Broken(3, 24)});
    EXPECT_EQ(Cut(Join({Frame(1), twoBroken, Frame(4)})), (Frames{Frame(1), twoBroken, Frame(4)}));
}

// The other alignment: the inner header is the real next frame, which holds the header 24 bytes in, right
// where a frame of the first 36 bytes would end; 36 bytes after the inner header the frame after that
// begins, so the bytes are cut there and nothing is made of two frames.
TEST(FrameAssembler, ABrokenFrameWhoseNextFrameHoldsTheHeaderWhereItWouldEndIsCut) {
    std::size_t discarded = 0;
    EXPECT_EQ(CutInReads(Join({Frame(1), Broken(2, 12), HoldingHeaderAt(3, 24), Frame(4), Frame(5)}), 5,
                         &discarded),
              (Frames{Frame(1), Frame(4), Frame(5)}));
    EXPECT_EQ(discarded, 48u) << "the broken 12 bytes and the frame holding its header";
}

// Both alignments fit when the frame after it holds the header too, 12 bytes in: nothing is taken of them.
TEST(FrameAssembler, AFrameHoldingItsHeaderWhereBothAlignmentsFitIsDropped) {
    std::size_t discarded = 0;
    EXPECT_EQ(CutInReads(Join({Frame(1), HoldingHeaderAt(7, 12), HoldingHeaderAt(8, 12), Frame(3)}), 200,
                         &discarded),
              (Frames{Frame(1), Frame(3)}));
    EXPECT_EQ(discarded, 72u);
}

// Confirmation counts only in step: after bytes dropped (a broken frame) or at the start of the bytes the
// frame before it may have been broken off too, and two broken frames can put a header where the frame
// after them begins. Likewise when the line falls quiet before the frame after it is whole.
TEST(FrameAssembler, AFrameHoldingItsOwnHeaderOutOfStepOrUnconfirmedIsDropped) {
    const Bytes f = HoldingHeaderAt(0x07, 12);
    EXPECT_EQ(Cut(Join({Frame(1), Broken(9, 10), f, Frame(2), Frame(3)})),
              (Frames{Frame(1), Frame(2), Frame(3)}));
    EXPECT_EQ(Cut(Join({f, Frame(2), Frame(3)})), (Frames{Frame(2), Frame(3)}));
    EXPECT_EQ(Cut(Join({Frame(1), Broken(2, 10), Broken(3, 20), HoldingHeaderAt(4, 16)})),
              (Frames{Frame(1)}));

    FrameAssembler a;
    a.Feed(Join({Frame(1), f, Broken(2, 35)}), 0.0);
    EXPECT_EQ(Drain(a, kQuiet), (Frames{Frame(1)}));
    a.Feed(Frame(3), 1.0);
    a.End();
    EXPECT_EQ(Drain(a, 1.0), (Frames{Frame(3)}));
    EXPECT_EQ(a.Discarded(), 71u);
}

}  // namespace
