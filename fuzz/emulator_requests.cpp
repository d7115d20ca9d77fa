// The sensor emulator's side of the link: request frames cut from a byte stream however it was chunked
// (FrameSplitter) and the sensor's answer to each (SensorCore::Handle).
#include <cstring>
#include <vector>

#include "fuzz_support.h"
#include "sensor_core.h"

using namespace sensor_emu;

namespace {

std::uint16_t Word(const Frame& f, std::size_t byteOffset) {
    return WordAt(f, byteOffset);
}

void CheckAnswer(SensorCore& core, const Frame& request) {
    const std::uint16_t order = Word(request, 2);
    const ParameterImage ramBefore = core.Ram(), eepromBefore = core.Eeprom();
    const bool readsEeprom = core.NextReadSource(order) == SensorCore::ReadSource::Eeprom;
    const std::optional<Bytes> reply = core.Handle(request);

    if (order == 50 || (order == 190 && BaudOfIndex(Word(request, 4)) == 0)) {
        FUZZ_CHECK(!reply);
        return;
    }
    FUZZ_CHECK(reply && reply->size() == kFrameSize);
    Frame r;
    std::copy(reply->begin(), reply->end(), r.begin());
    ParameterImage ram = ramBefore, eeprom = eepromBefore;
    switch (order) {
        case 7:
            FUZZ_CHECK(r == VersionReply(core.VersionText()));
            break;
        case 3:
        case 4: {
            const ParameterImage& image = readsEeprom ? eepromBefore : ramBefore;
            FUZZ_CHECK(Word(r, 0) == kSyncReply && Word(r, 2) == order);
            if (order == 3) {
                for (std::size_t i = 0; i < kScalarWords; ++i) FUZZ_CHECK(Word(r, 4 + 2 * i) == image[i]);
            } else {
                const std::uint16_t row = Word(request, 4);
                FUZZ_CHECK(Word(r, 4) == row);
                for (std::size_t c = 0; c < kTeachColumns; ++c)
                    FUZZ_CHECK(Word(r, 6 + 2 * c) == (row < kTeachRows ? image[TeachWord(row, c)] : 0));
            }
            break;
        }
        case kMeasureOrder:
            FUZZ_CHECK(Word(r, 0) == kSyncReply && Word(r, 2) == kMeasureOrder);
            for (std::size_t w = 14; w < 18; ++w) FUZZ_CHECK(Word(r, 2 * w) == 0);
            break;
        default:
            // Every other order is echoed: the reply marker, then the request's bytes 2..35.
            FUZZ_CHECK(r == EchoReply(request));
            if (order == 1)
                for (std::size_t i = 0; i < kScalarWords; ++i) ram[i] = Word(request, 4 + 2 * i);
            if (order == 2 && Word(request, 4) < kTeachRows)
                for (std::size_t c = 0; c < kTeachColumns; ++c)
                    ram[TeachWord(Word(request, 4), c)] = Word(request, 6 + 2 * c);
            if (order == 6) eeprom = ramBefore;
            if (order == 182) {
                const std::uint16_t first = Word(request, 4);
                const std::size_t count =
                    std::min<std::size_t>(Word(request, 6), SensorCore::kTableWriteMaxWords);
                for (std::size_t j = 0; j < count; ++j)
                    FUZZ_CHECK(core.TableWord(std::uint16_t(first + j)) == Word(request, 8 + 2 * j));
            }
            if (order == 190) FUZZ_CHECK(core.SerialBaud() == BaudOfIndex(Word(request, 4)));
            break;
    }
    // Only the write orders change the parameter memory, and only as they say.
    FUZZ_CHECK(core.Ram() == ram);
    FUZZ_CHECK(core.Eeprom() == eeprom);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    const auto models = Models();
    const Model& model = models[in.Byte() % models.size()];
    SensorCore core(std::string(model.versionText), SimulationOptions{1, 1000});
    FrameSplitter splitter;
    std::vector<std::uint8_t> stream;
    std::size_t frames = 0;
    while (!in.Empty()) {
        const auto chunk = in.Bytes(1 + in.Byte() % 80);
        stream.insert(stream.end(), chunk.begin(), chunk.end());
        splitter.Feed(chunk, [&](const Frame& f) {
            // Frames come out as the stream's consecutive 36-byte pieces.
            FUZZ_CHECK(std::memcmp(f.data(), stream.data() + frames * kFrameSize, kFrameSize) == 0);
            ++frames;
            CheckAnswer(core, f);
        });
        FUZZ_CHECK(frames == stream.size() / kFrameSize);
        FUZZ_CHECK(splitter.Pending() == stream.size() % kFrameSize);
    }
    return 0;
}
