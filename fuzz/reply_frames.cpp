// Reply and measurement frames as the scope takes them from the byte stream the sensor sends by itself
// (the frame assembler), and the read replies of the parameter set (ParseReadReply).
//
// Three kinds of stream, each cut into reads of any size:
//  - any bytes: every frame taken is 36 bytes of the stream at its place that the rule allows;
//  - whole frames with a wrong marker between some: the good frames come out, all of them, and nothing else;
//  - whole frames and frames broken off (their first 4 to 35 bytes): no frame taken is ever made of the
//    bytes of two, and every whole frame comes out.
// A frame holding its own header inside may be dropped (it looks like a broken one). The one run of pieces
// taken as a frame: right after a frame taken, frames broken off whose lengths add up to 36 exactly, bytes
// no different from a whole frame holding its header where the second begins. The line falls quiet only
// between frames, as a sensor sends a frame's bytes back to back (any time in the first kind).
#include <algorithm>
#include <cstring>
#include <vector>

#include "frame_assembler.h"
#include "fuzz_support.h"
#include "parameter_image.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::size_t kFrame = FrameAssembler::kFrameBytes;
constexpr double kQuiet = FrameAssembler::kQuietSeconds;

void CheckReadReply(const FrameAssembler::Frame& frame) {
    std::array<std::uint16_t, kReplyWords> words;
    for (int i = 0; i < kReplyWords; ++i) words[i] = std::uint16_t(frame[2 * i] << 8 | frame[2 * i + 1]);
    const ReadReply reply = ParseReadReply(words);
    const std::span<const std::uint16_t> all(words);
    switch (reply.kind) {
        case ReadReply::Scalars:
            FUZZ_CHECK(words[0] == kReplyMarker && words[1] == 3);
            FUZZ_CHECK(reply.values.data() == &words[2] && reply.values.size() == std::size_t(kScalarParams));
            break;
        case ReadReply::TeachRow:
            FUZZ_CHECK(words[0] == kReplyMarker && words[1] == 4 && words[2] < kTeachRows);
            FUZZ_CHECK(reply.row == words[2]);
            FUZZ_CHECK(reply.values.data() == &words[3] && reply.values.size() == std::size_t(kTeachColumns));
            break;
        case ReadReply::Ignored:
            FUZZ_CHECK(
                !(words[0] == kReplyMarker && (words[1] == 3 || (words[1] == 4 && words[2] < kTeachRows))));
            FUZZ_CHECK(reply.values.empty());
            break;
    }
    FUZZ_CHECK(reply.values.empty() ||
               (reply.values.data() >= all.data() &&
                reply.values.data() + reply.values.size() <= all.data() + all.size()));
}

bool MarkerAt(const Bytes& s, std::size_t at, std::size_t end) {
    return at + 1 < end && s[at] == 0x00 && s[at + 1] == 0xAA;
}

// Whether the frame at `at` holds its own header (marker and order word) at its bytes 1..35, within the
// first `end` bytes of the stream.
bool HoldsOwnHeader(const Bytes& s, std::size_t at, std::size_t end) {
    for (std::size_t k = 1; k < kFrame; ++k)
        if (at + k + 4 <= end && std::memcmp(&s[at + k], &s[at], 4) == 0) return true;
    return false;
}

// The rule, checked on a frame taken at `at` when the first `fed` bytes had arrived: it begins with a
// marker, and the next frame's marker follows it (directly or after one frame with a wrong marker), or the
// bytes had ended there. Its header does not begin again inside it, unless the frame before it was taken
// and ended at `at` (in step) and the frame after it, whole, begins with the same header and holds it
// nowhere inside, as far as the bytes went (to its byte 35's header, unless they had ended).
void CheckTaken(const Bytes& s, std::size_t at, std::size_t fed, bool bytesEnded, bool inStep) {
    FUZZ_CHECK(at + kFrame <= fed);
    FUZZ_CHECK(MarkerAt(s, at, fed));
    if (HoldsOwnHeader(s, at, fed)) {
        FUZZ_CHECK(inStep);
        FUZZ_CHECK(at + 2 * kFrame <= fed);
        FUZZ_CHECK(std::memcmp(&s[at + kFrame], &s[at], 4) == 0);
        FUZZ_CHECK(!HoldsOwnHeader(s, at + kFrame, fed));
        FUZZ_CHECK(bytesEnded || fed >= at + 2 * kFrame - 1 + 4);
    }
    bool follows = false;
    for (std::size_t next : {at + kFrame, at + 2 * kFrame})
        follows = follows || MarkerAt(s, next, fed) ||
                  (bytesEnded && (fed == next || (fed == next + 1 && s[next] == 0x00)));
    FUZZ_CHECK(follows);
}

struct Taken {
    std::size_t at;  // where in the stream
    Bytes bytes;
};

// Feeds `stream` in reads of the sizes `in` gives, on a clock that moves on a little between reads and, where
// `mayPause` allows, by the quiet time or more; takes every frame decided after each read, and at the end.
std::vector<Taken> Assemble(const Bytes& stream, const std::vector<bool>& mayPause, FuzzInput& in) {
    FrameAssembler a;
    std::vector<Taken> taken;
    std::size_t fed = 0;
    double now = 1.0;
    auto take = [&](bool bytesEnded) {
        FrameAssembler::Frame f;
        while (a.Next(f, now)) {
            // Bytes leave the assembler in stream order: dropped ones and frames.
            const std::size_t at = taken.size() * kFrame + a.Discarded();
            FUZZ_CHECK(std::memcmp(f.data(), stream.data() + at, kFrame) == 0);
            CheckTaken(stream, at, fed, bytesEnded, !taken.empty() && taken.back().at + kFrame == at);
            CheckReadReply(f);
            taken.push_back({at, Bytes(f.begin(), f.end())});
        }
        FUZZ_CHECK(taken.size() * kFrame + a.Discarded() + a.Pending() == fed);
    };
    while (fed < stream.size()) {
        const std::uint8_t step = in.Byte();
        const std::size_t n = std::min<std::size_t>(1 + step % 64, stream.size() - fed);
        a.Feed({stream.data() + fed, n}, now);
        fed += n;
        const bool pause = (step & 0x80) && mayPause[fed];
        now += pause ? kQuiet * (1 + (step & 0x40 ? 1 : 0)) : kQuiet / 8;
        take(pause);
    }
    a.End();
    take(true);
    FUZZ_CHECK(a.Pending() == 0);
    return taken;
}

// A frame of `order` with its payload from the input.
Bytes MakeFrame(FuzzInput& in, std::uint16_t order) {
    Bytes f(kFrame, 0);
    f[1] = 0xAA;
    f[2] = std::uint8_t(order >> 8);
    f[3] = std::uint8_t(order);
    const auto payload = in.Bytes(kFrame - 4);
    std::copy(payload.begin(), payload.end(), f.begin() + 4);
    return f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    const std::uint8_t mode = in.Byte() % 3;
    if (mode == 0) {
        const std::size_t length = std::min<std::size_t>(in.Byte() * 16u + in.Byte(), size);
        const auto bytes = in.Bytes(length);
        Assemble(Bytes(bytes.begin(), bytes.end()), std::vector<bool>(length + 1, true), in);
        return 0;
    }
    // A stream of pieces; the line may fall quiet at the end of each.
    const std::uint16_t order = std::uint16_t(in.Byte() << 8 | in.Byte());
    const std::size_t count = 1 + in.Byte() % 12;
    Bytes stream;
    std::vector<std::size_t> wholeAt;  // where the whole good frames begin
    std::vector<std::size_t> pieceAt;  // where every frame begins, and where the stream ends
    std::vector<bool> brokenPiece;     // whether the frame at pieceAt[i] was broken off
    std::vector<bool> mayPause(1, true);
    bool lastSpoiled = false;
    for (std::size_t i = 0; i < count; ++i) {
        Bytes f = MakeFrame(in, order);
        const std::uint8_t kind = in.Byte();
        if (mode == 1 && (kind & 1) && !lastSpoiled && i + 1 < count) {
            f[1] = 0xA5;  // a wrong marker, never two in a row, never last
            lastSpoiled = true;
        } else if (mode == 2 && (kind & 1)) {
            f.resize(4 + kind / 2 % 32);  // broken off after 4 to 35 bytes
            lastSpoiled = false;
        } else {
            wholeAt.push_back(stream.size());
            lastSpoiled = false;
        }
        pieceAt.push_back(stream.size());
        brokenPiece.push_back(f.size() < kFrame);
        stream.insert(stream.end(), f.begin(), f.end());
        mayPause.resize(stream.size(), false);
        mayPause.push_back(true);
    }
    if (mode == 1) {
        // Next to frames with a wrong marker, a frame holding its own header would count as broken, and
        // bytes of a broken frame may make a frame with such neighbours: these frames hold none.
        for (std::size_t at = 1; at + 4 <= stream.size(); ++at)
            if (std::memcmp(&stream[at], stream.data() + wholeAt[0], 4) == 0 &&
                !std::binary_search(wholeAt.begin(), wholeAt.end(), at))
                stream[at + 1] = 0xAB;
    }
    pieceAt.push_back(stream.size());
    const std::vector<Taken> taken = Assemble(stream, mayPause, in);
    // Frames broken off, one after the other from `at` to `at` + 36 exactly, and a frame begun there.
    auto brokenRunOfOneFrame = [&](std::size_t at) {
        const auto first = std::lower_bound(pieceAt.begin(), pieceAt.end(), at);
        const auto last = std::lower_bound(pieceAt.begin(), pieceAt.end(), at + kFrame);
        if (first == pieceAt.end() || *first != at || last >= pieceAt.end() - 1 || *last != at + kFrame)
            return false;
        for (auto i = first; i != last; ++i)
            if (!brokenPiece[std::size_t(i - pieceAt.begin())]) return false;
        return true;
    };
    // Every frame taken is a whole good frame, at its place: never one made of two, but for the run of
    // broken frames that looks like a frame holding its own header, right after a frame taken.
    std::size_t next = 0;
    for (std::size_t i = 0; i < taken.size(); ++i) {
        const Taken& t = taken[i];
        while (next < wholeAt.size() && wholeAt[next] < t.at) ++next;
        if (next < wholeAt.size() && wholeAt[next] == t.at) continue;
        FUZZ_CHECK(i > 0 && taken[i - 1].at + kFrame == t.at && brokenRunOfOneFrame(t.at));
    }
    // And every good frame comes out, unless its own header begins again inside it.
    for (std::size_t at : wholeAt) {
        const bool taken1 =
            std::any_of(taken.begin(), taken.end(), [at](const Taken& t) { return t.at == at; });
        FUZZ_CHECK(taken1 || HoldsOwnHeader(stream, at, std::min(at + kFrame + 3, stream.size())));
    }
    return 0;
}
