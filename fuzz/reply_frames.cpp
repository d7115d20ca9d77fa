// Reply and measurement frames as the scope takes them from the byte stream the sensor sends by itself
// (the frame assembler), and the read replies of the parameter set (ParseReadReply).
#include <cstring>
#include <vector>

#include "frame_assembler.h"
#include "fuzz_support.h"
#include "parameter_image.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::size_t kFrame = FrameAssembler::kFrameBytes;

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

// Feeds `stream` in the chunk sizes `in` gives, takes every complete frame after each chunk as the
// recorder does, and checks each frame against the place in the stream it must have come from.
std::vector<Bytes> Assemble(const Bytes& stream, FuzzInput& in, FrameAssembler& a) {
    std::vector<Bytes> frames;
    std::size_t fed = 0;
    while (fed < stream.size()) {
        const std::size_t n = std::min<std::size_t>(1 + in.Byte(), stream.size() - fed);
        a.Feed({stream.data() + fed, n});
        fed += n;
        FrameAssembler::Frame f;
        while (a.Next(f)) {
            // Bytes leave the assembler in stream order: skipped ones, then whole frames.
            const std::size_t at = frames.size() * kFrame + a.Discarded();
            FUZZ_CHECK(at + kFrame <= fed);
            FUZZ_CHECK(std::memcmp(f.data(), stream.data() + at, kFrame) == 0);
            FUZZ_CHECK(f[0] == 0x00 && f[1] == 0xAA);
            CheckReadReply(f);
            frames.emplace_back(f.begin(), f.end());
        }
        FUZZ_CHECK(frames.size() * kFrame + a.Discarded() + a.Pending() == fed);
        FUZZ_CHECK(a.Pending() < kFrame + 2);  // what waits is at most a frame and a marker
    }
    return frames;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    const std::uint8_t mode = in.Byte();
    FrameAssembler a;
    if (mode % 2 == 0) {
        // Any bytes at all.
        const std::size_t length = std::min<std::size_t>(in.Byte() * 16u + in.Byte(), size);
        const auto bytes = in.Bytes(length);
        Assemble(Bytes(bytes.begin(), bytes.end()), in, a);
        return 0;
    }
    // Frames as a sensor sends them, some with a spoiled marker (never two in a row, never the last): the
    // good ones come out whole and in order, however the stream was cut, and nothing else does.
    const std::size_t count = 1 + in.Byte() % 12;
    Bytes stream;
    std::vector<Bytes> good;
    bool lastSpoiled = false;
    for (std::size_t i = 0; i < count; ++i) {
        Bytes f(kFrame, 0);
        f[1] = 0xAA;
        const auto payload = in.Bytes(kFrame - 2);
        std::copy(payload.begin(), payload.end(), f.begin() + 2);
        const bool spoil = (in.Byte() & 1) && !lastSpoiled && i + 1 < count;
        if (spoil)
            f[1] = 0xA5;
        else
            good.push_back(f);
        lastSpoiled = spoil;
        stream.insert(stream.end(), f.begin(), f.end());
    }
    const std::vector<Bytes> frames = Assemble(stream, in, a);
    FUZZ_CHECK(frames == good);
    FUZZ_CHECK(a.Pending() == 0);
    return 0;
}
