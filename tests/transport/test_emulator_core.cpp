// The sensor stand-in without a link: frame splitting, the answers to each order, the table memory, the
// parameter memory, measurement frames of the synthetic target, the models' version texts and the shaping
// of replies by injected faults.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "sensor_core.h"
#include "transport_util.h"

using namespace sensor_emu;
using namespace transport_test;

namespace {

std::vector<Frame> Split(FrameSplitter& splitter, const Bytes& data,
                         std::initializer_list<std::size_t> cuts) {
    std::vector<Frame> frames;
    std::size_t begin = 0;
    auto feed = [&](std::size_t end) {
        splitter.Feed(std::span<const std::uint8_t>(data).subspan(begin, end - begin),
                      [&](const Frame& f) { frames.push_back(f); });
        begin = end;
    };
    for (auto c : cuts) feed(c);
    feed(data.size());
    return frames;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------
// Frame splitter

TEST(FrameSplitter, AssemblesAFrameThatArrivesInPieces) {
    FrameSplitter s;
    const Frame f = Request(182, {0x1400, 10, 1, 2, 3});
    const auto frames = Split(s, ToBytes(f), {1, 2, 17, 35});
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], f);
    EXPECT_EQ(s.Pending(), 0u);
}

TEST(FrameSplitter, SeparatesMergedFramesAndKeepsTheRemainder) {
    FrameSplitter s;
    const Frame a = Request(7), b = Request(180, {0x1500}), c = Request(182, {0x1600, 2, 0xBEEF, 0x0102});
    const Bytes all = Concat({ToBytes(a), ToBytes(b), ToBytes(c)});
    // Two and a half frames in the first chunk, the rest of the third in the second.
    const auto frames = Split(s, all, {90});
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0], a);
    EXPECT_EQ(frames[1], b);
    EXPECT_EQ(frames[2], c);

    FrameSplitter t;
    Split(t, Bytes(all.begin(), all.begin() + 90), {});
    EXPECT_EQ(t.Pending(), 18u);
    t.Reset();
    EXPECT_EQ(t.Pending(), 0u);
    const auto afterReset = Split(t, ToBytes(b), {});
    ASSERT_EQ(afterReset.size(), 1u);
    EXPECT_EQ(afterReset[0], b);
}

TEST(FrameSplitter, ByteByByteInputGivesTheSameFrames) {
    FrameSplitter s;
    const Bytes all = Concat({ToBytes(Request(1, {1, 2, 3})), ToBytes(Request(2, {4}))});
    std::vector<Frame> frames;
    for (std::uint8_t byte : all)
        s.Feed(std::span<const std::uint8_t>(&byte, 1), [&](const Frame& f) { frames.push_back(f); });
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0], Request(1, {1, 2, 3}));
    EXPECT_EQ(frames[1], Request(2, {4}));
}

// ---------------------------------------------------------------------------------------------------------
// Models

TEST(Models, EveryRowsTextIsRecognisedAsThatRowWhenTheLastMatchWins) {
    ASSERT_EQ(Models().size(), 13u);
    for (const Model& m : Models()) {
        SCOPED_TRACE(std::string(m.versionText));
        EXPECT_LE(m.versionText.size(), kFrameSize);
        const Model* last = nullptr;
        for (const Model& candidate : Models())
            if (m.versionText.find(candidate.fragment) != std::string_view::npos) last = &candidate;
        ASSERT_NE(last, nullptr);
        EXPECT_EQ(last->row, m.row);
        EXPECT_EQ(ModelByRow(m.row), &m);
    }
}

TEST(Models, LookupByCodeTakesTheFirstRowAndRejectsUnknownValues) {
    EXPECT_EQ(ModelByCode(200)->row, 2);
    EXPECT_EQ(ModelByCode(700)->row, 9);
    EXPECT_EQ(ModelByCode(601)->fragment, "ORVANE V3.");
    EXPECT_EQ(ModelByCode(0), nullptr);
    EXPECT_EQ(ModelByCode(900), nullptr);
    EXPECT_EQ(ModelByRow(0), nullptr);
    EXPECT_EQ(ModelByRow(14), nullptr);
}

TEST(Models, VersionReplyIsPaddedWithBlanksOrCut) {
    const Frame shortText = VersionReply("ABC");
    EXPECT_EQ(std::string(shortText.begin(), shortText.end()), "ABC" + std::string(33, ' '));
    const std::string longText = "0123456789012345678901234567890123456789";
    const Frame cut = VersionReply(longText);
    EXPECT_EQ(std::string(cut.begin(), cut.end()), longText.substr(0, 36));
}

// ---------------------------------------------------------------------------------------------------------
// Frame handler

TEST(SensorCore, VersionOrderAnswersTheModelsText) {
    SensorCore core("MV-NEX8 V1.2 2024-05-21");
    const auto reply = core.Handle(Request(7));
    ASSERT_TRUE(reply);
    EXPECT_EQ(std::string(reply->begin(), reply->end()), "MV-NEX8 V1.2 2024-05-21" + std::string(13, ' '));
}

TEST(SensorCore, PrepareOrderIsEchoedByteForByteAfterTheReplySync) {
    SensorCore core("X");
    Frame req = Request(180, {0x1400});
    for (std::size_t i = 6; i < kFrameSize; ++i) req[i] = static_cast<std::uint8_t>(i * 7);  // leftovers
    const auto reply = core.Handle(req);
    ASSERT_TRUE(reply);
    ASSERT_EQ(reply->size(), kFrameSize);
    EXPECT_EQ((*reply)[0], 0x00);
    EXPECT_EQ((*reply)[1], 0xAA);
    EXPECT_TRUE(std::equal(req.begin() + 2, req.end(), reply->begin() + 2));
    EXPECT_TRUE(core.WrittenTable().empty()) << "a prepare order writes nothing";
}

TEST(SensorCore, UnknownOrdersGetAnEcho) {
    SensorCore core("X");
    const Frame req = Request(99, {1, 2, 3});
    const auto reply = core.Handle(req);
    ASSERT_TRUE(reply);
    EXPECT_EQ(*reply, ToBytes(EchoReply(req)));
}

TEST(SensorCore, WriteOrdersFillTheTableMemory) {
    SensorCore core("X");
    // Page 1 style: 30 frames of 10 factors, R at 0x1400, G at 0x1500, B at 0x1600.
    const std::uint16_t base[] = {0x1400, 0x1500, 0x1600};
    for (int c = 0; c < 3; ++c)
        for (int k = 0; k < 10; ++k) {
            Frame req = Request(182, {static_cast<std::uint16_t>(base[c] + 10 * k), 10});
            for (int j = 0; j < 10; ++j)
                PutWord(req, 8 + 2 * j, static_cast<std::uint16_t>(1000 * c + 10 * k + j));
            const auto reply = core.Handle(req);
            ASSERT_TRUE(reply);
            EXPECT_EQ(*reply, ToBytes(EchoReply(req)));
        }
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < 100; ++i)
            EXPECT_EQ(core.TableWord(static_cast<std::uint16_t>(base[c] + i)), 1000 * c + i);
    EXPECT_EQ(core.WrittenTable().size(), 300u);
    EXPECT_EQ(core.TableWord(0x1464), 0) << "nothing beyond the written range";
    EXPECT_EQ(core.TableWord(0x13FF), 0);
}

TEST(SensorCore, WriteCountBeyondTheFrameStoresOnlyTheWordsInTheFrame) {
    SensorCore core("X");
    Frame req = Request(182, {0x1690, 20});
    for (int j = 0; j < 14; ++j) PutWord(req, 8 + 2 * j, static_cast<std::uint16_t>(0x100 + j));
    core.Handle(req);
    const auto written = core.WrittenTable();
    ASSERT_EQ(written.size(), 14u);
    EXPECT_EQ(written.front(), (std::pair<std::uint16_t, std::uint16_t>{0x1690, 0x100}));
    EXPECT_EQ(written.back(), (std::pair<std::uint16_t, std::uint16_t>{0x169D, 0x10D}));
}

TEST(SensorCore, WriteAtTheTopOfTheAddressSpaceWrapsInsteadOfOverrunning) {
    SensorCore core("X");
    core.Handle(Request(182, {0xFFFF, 2, 0x1111, 0x2222}));
    EXPECT_EQ(core.TableWord(0xFFFF), 0x1111);
    EXPECT_EQ(core.TableWord(0x0000), 0x2222);
}

TEST(SensorCore, DumpFileIsRewrittenAfterEveryWriteOrder) {
    const auto dir = std::filesystem::temp_directory_path() / ("emu-dump-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto file = (dir / "table.txt").string();
    SensorCore core("X");
    core.SetDumpFile(file);
    auto read = [&] {
        std::ifstream in(file);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    };
    core.Handle(Request(182, {0x1400, 2, 1024, 0xFFFF}));
    EXPECT_EQ(read(), "0x1400 1024\n0x1401 65535\n");
    core.Handle(Request(180, {0x1500}));  // not a write: the dump stays
    EXPECT_EQ(read(), "0x1400 1024\n0x1401 65535\n");
    core.Handle(Request(182, {0x13FF, 2, 7, 8}));
    EXPECT_EQ(read(), "0x13FF 7\n0x1400 8\n0x1401 65535\n");
    EXPECT_TRUE(core.DumpOk());
    std::filesystem::remove_all(dir);

    SensorCore broken("X");
    broken.SetDumpFile((dir / "missing-dir" / "t.txt").string());
    broken.Handle(Request(182, {0x1400, 1, 1}));
    EXPECT_FALSE(broken.DumpOk());
    EXPECT_EQ(broken.TableWord(0x1400), 1) << "a failed dump does not lose the write";
}

// ---------------------------------------------------------------------------------------------------------
// Fault shaping

namespace {
Bytes Joined(const std::vector<ReplyPart>& parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.bytes.begin(), p.bytes.end());
    return out;
}
const Bytes kEcho = ToBytes(EchoReply(Request(182, {0x1400, 10, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10})));
}  // namespace

TEST(ShapeReply, WithoutFaultsTheReplyLeavesWholeAndAtOnce) {
    const auto parts = ShapeReply(kEcho, 1, Faults{});
    ASSERT_EQ(parts.size(), 1u);
    EXPECT_EQ(parts[0].delayMs, 0);
    EXPECT_EQ(parts[0].bytes, kEcho);
}

TEST(ShapeReply, SilentSendsNothing) {
    Faults f;
    f.silent = true;
    EXPECT_TRUE(ShapeReply(kEcho, 1, f).empty());
}

TEST(ShapeReply, WrongEchoInvertsOneByteOfThatFrameOnly) {
    Faults f;
    f.wrongEchoAtFrame = 3;
    EXPECT_EQ(Joined(ShapeReply(kEcho, 2, f)), kEcho);
    EXPECT_EQ(Joined(ShapeReply(kEcho, 4, f)), kEcho);
    const Bytes wrong = Joined(ShapeReply(kEcho, 3, f));
    ASSERT_EQ(wrong.size(), kFrameSize);
    for (std::size_t i = 0; i < kFrameSize; ++i)
        EXPECT_EQ(wrong[i], i == 4 ? kEcho[i] ^ 0xFF : kEcho[i]) << "byte " << i;
    f.wrongEchoByte = 1;  // the reply sync 0xAA becomes the request's 0x55
    EXPECT_EQ(Joined(ShapeReply(kEcho, 3, f))[1], 0x55);
    f.wrongEchoByte = 36;  // outside the reply: nothing to spoil
    EXPECT_EQ(Joined(ShapeReply(kEcho, 3, f)), kEcho);
}

TEST(ShapeReply, ShortAndLongReplies) {
    Faults f;
    f.shortReply = true;
    const Bytes shortReply = Joined(ShapeReply(kEcho, 1, f));
    EXPECT_EQ(shortReply, Bytes(kEcho.begin(), kEcho.end() - 1));
    f = {};
    f.longReply = true;
    const Bytes longReply = Joined(ShapeReply(kEcho, 1, f));
    ASSERT_EQ(longReply.size(), 37u);
    EXPECT_TRUE(std::equal(kEcho.begin(), kEcho.end(), longReply.begin()));
}

TEST(ShapeReply, SplitPartsCarryDelayAndPausesAndJoinToTheReply) {
    Faults f;
    f.splitParts = 4;
    f.splitPauseMs = 30;
    f.replyDelayMs = 100;
    const auto parts = ShapeReply(kEcho, 1, f);
    ASSERT_EQ(parts.size(), 4u);
    EXPECT_EQ(parts[0].delayMs, 100);
    for (std::size_t k = 1; k < parts.size(); ++k) EXPECT_EQ(parts[k].delayMs, 30);
    for (const auto& p : parts) EXPECT_EQ(p.bytes.size(), 9u);
    EXPECT_EQ(Joined(parts), kEcho);

    f.splitParts = 100;  // never more parts than bytes, and no empty part
    const auto many = ShapeReply(kEcho, 1, f);
    EXPECT_EQ(many.size(), kFrameSize);
    EXPECT_EQ(Joined(many), kEcho);
    f.splitParts = 0;
    EXPECT_EQ(ShapeReply(kEcho, 1, f).size(), 1u);
}

// Echoes as a sensor may send them that repeats no more than is compared, and a wrong order word in the
// replies to one order only.
TEST(ShapeReplyToOrder, EchoComparedOnlyKeepsTheComparedWordsAndInvertsTheRest) {
    Faults f;
    f.echoComparedOnly = true;
    Bytes store = ToBytes(EchoReply(Request(6, {0x1234, 0x5678})));
    ShapeReplyToOrder(store, 6, f);
    Bytes expected(36, 0xFF);
    const Bytes storeHead = {0x00, 0xAA, 0x00, 0x06, 0xED, 0xCB, 0xA9, 0x87};
    std::copy(storeHead.begin(), storeHead.end(), expected.begin());
    EXPECT_EQ(store, expected);

    Bytes table = ToBytes(EchoReply(Request(182, {0x1400, 2, 0x1111, 0x2222, 0x3333})));
    ShapeReplyToOrder(table, 182, f);
    const Bytes tableHead = {0x00, 0xAA, 0x00, 0xB6, 0x14, 0x00, 0x00,
                             0x02, 0x11, 0x11, 0x22, 0x22, 0xCC, 0xCC};
    std::fill(expected.begin(), expected.end(), 0xFF);
    std::copy(tableHead.begin(), tableHead.end(), expected.begin());
    EXPECT_EQ(table, expected);

    const Bytes scalars = ToBytes(EchoReply(Request(1, {1, 2, 3})));
    Bytes reply = scalars;
    ShapeReplyToOrder(reply, 1, f);
    EXPECT_EQ(reply, scalars) << "order 1 is compared whole";
    ShapeReplyToOrder(reply, 3, f);
    EXPECT_EQ(reply, scalars) << "no echo";

    f = {};
    f.wrongEchoOfOrder = 6;
    ShapeReplyToOrder(reply, 1, f);
    EXPECT_EQ(reply, scalars);
    Bytes wrong = ToBytes(EchoReply(Request(6)));
    ShapeReplyToOrder(wrong, 6, f);
    EXPECT_EQ(Bytes(wrong.begin(), wrong.begin() + 4), (Bytes{0x00, 0xAA, 0x00, 0x07}));
}

// ---------------------------------------------------------------------------------------------------------
// Parameter memory

namespace {

std::uint16_t Word(std::span<const std::uint8_t> bytes, std::size_t word) {
    return WordAt(bytes, 2 * word);
}

Bytes Answer(SensorCore& core, const Frame& request) {
    auto reply = core.Handle(request);
    EXPECT_TRUE(reply) << "order " << WordAt(request, 2) << " is answered";
    return reply ? *reply : Bytes{};
}

// The whole image as the program reads it: order 3, then order 4 for rows 0..30.
ParameterImage ReadAll(SensorCore& core) {
    ParameterImage image{};
    const Bytes scalars = Answer(core, Request(3));
    EXPECT_EQ(Word(scalars, 0), kSyncReply);
    EXPECT_EQ(Word(scalars, 1), 3);
    for (std::size_t i = 0; i < kScalarWords; ++i) image[i] = Word(scalars, 2 + i);
    for (std::uint16_t r = 0; r < kTeachRows; ++r) {
        const Bytes row = Answer(core, Request(4, {r}));
        EXPECT_EQ(Word(row, 0), kSyncReply);
        EXPECT_EQ(Word(row, 1), 4);
        EXPECT_EQ(Word(row, 2), r);
        for (std::size_t c = 0; c < kTeachColumns; ++c) image[TeachWord(r, c)] = Word(row, 3 + c);
        for (std::size_t w = 9; w < 18; ++w) EXPECT_EQ(Word(row, w), 0) << "row " << r << " word " << w;
    }
    return image;
}

// RAM and EEPROM differing in every word.
void MakeRamDiffer(SensorCore& core) {
    for (std::size_t w = 0; w < kParameterWords; ++w)
        core.SetRamWord(w, static_cast<std::uint16_t>(core.EepromWord(w) + 1000 + w));
}

}  // namespace

TEST(ScopeParameters, WritesGoToRamUntilStoredAndRowsBeyond30StoreNothing) {
    SensorCore core("X");
    ASSERT_EQ(core.Ram(), core.Eeprom()) << "the sensor starts with its stored set";
    const ParameterImage start = core.Ram();

    Frame scalars = Request(1);
    for (std::size_t i = 0; i < kScalarWords; ++i)
        PutWord(scalars, 4 + 2 * i, static_cast<std::uint16_t>(100 + i));
    EXPECT_EQ(Answer(core, scalars), ToBytes(EchoReply(scalars)));
    ParameterImage expected = start;
    for (std::size_t i = 0; i < kScalarWords; ++i) expected[i] = static_cast<std::uint16_t>(100 + i);

    const Frame lastRow = Request(2, {30, 1, 2, 3, 4, 5, 6, 0xBEEF});
    EXPECT_EQ(Answer(core, lastRow), ToBytes(EchoReply(lastRow)));
    for (std::size_t c = 0; c < kTeachColumns; ++c)
        expected[TeachWord(30, c)] = static_cast<std::uint16_t>(1 + c);
    EXPECT_EQ(core.Ram(), expected)
        << "row 30 is the image's last six words; word 9 of the order is not stored";
    EXPECT_EQ(core.Eeprom(), start);

    for (std::uint16_t row : {std::uint16_t{31}, std::uint16_t{0xFFFF}}) {
        const Frame beyond = Request(2, {row, 7, 7, 7, 7, 7, 7});
        EXPECT_EQ(Answer(core, beyond), ToBytes(EchoReply(beyond)));
        EXPECT_EQ(core.Ram(), expected) << "row " << row;
        EXPECT_EQ(core.Eeprom(), start) << "row " << row;
    }
    // Nor do the accessors write past the image.
    core.SetRamWord(kParameterWords, 7);
    core.SetEepromWord(kParameterWords, 7);
    EXPECT_EQ(core.RamWord(kParameterWords), 0);
    EXPECT_EQ(core.Ram(), expected);
    EXPECT_EQ(core.Eeprom(), start);

    EXPECT_EQ(Answer(core, Request(6)), ToBytes(EchoReply(Request(6))));
    EXPECT_EQ(core.Eeprom(), expected);
}

TEST(ScopeParameters, ReadRepliesCarryTheScalarsOrTheRowAskedFor) {
    SensorCore core("X");
    MakeRamDiffer(core);
    EXPECT_EQ(ReadAll(core), core.Ram());
    const Bytes beyond = Answer(core, Request(4, {31}));
    EXPECT_EQ(beyond, ToBytes(Frame{0x00, 0xAA, 0x00, 0x04, 0x00, 31})) << "row 31 and no values";
}

TEST(ScopeParameters, Order8SelectsEepromForTheReadSequenceThatFollows) {
    SensorCore core("X");
    MakeRamDiffer(core);
    using Source = SensorCore::ReadSource;

    EXPECT_EQ(ReadAll(core), core.Ram());
    EXPECT_EQ(Answer(core, Request(8)), ToBytes(EchoReply(Request(8))));
    EXPECT_EQ(core.NextReadSource(3), Source::Eeprom);
    EXPECT_EQ(ReadAll(core), core.Eeprom());
    EXPECT_EQ(core.NextReadSource(4), Source::Eeprom) << "more row reads still belong to the sequence";
    EXPECT_EQ(core.NextReadSource(3), Source::Ram);
    EXPECT_EQ(ReadAll(core), core.Ram()) << "an order 3 without order 8 reads RAM again";

    // A second order 3 ends the sequence at once.
    core.Handle(Request(8));
    EXPECT_EQ(Word(Answer(core, Request(3)), 2), core.EepromWord(0));
    EXPECT_EQ(Word(Answer(core, Request(3)), 2), core.RamWord(0));

    // So does any other order between the rows.
    core.Handle(Request(8));
    EXPECT_EQ(Word(Answer(core, Request(4, {5})), 3), core.EepromWord(TeachWord(5, 0)))
        << "rows right after 8";
    core.Handle(Request(kMeasureOrder));
    EXPECT_EQ(core.NextReadSource(4), Source::Ram);
    EXPECT_EQ(Word(Answer(core, Request(4, {5})), 3), core.RamWord(TeachWord(5, 0)));
}

// ---------------------------------------------------------------------------------------------------------
// Measurement frames

namespace {

constexpr SimulationOptions kStepped{7, 20'000};  // 20 ms of target per frame: 15 frames a patch, 5 of belt
constexpr int kCycleFrames = 120;                 // six patches

std::vector<Frame> MeasureFrames(SensorCore& core, int n) {
    std::vector<Frame> frames;
    for (int i = 0; i < n; ++i) frames.push_back(core.Measure());
    return frames;
}

// The first row of the table in use whose three tolerances hold the frame's features.
int ExpectedVector(const ParameterImage& p, const Frame& f) {
    if (Word(f, kMeasDensity) < p[kWordIntensityLimit]) return kNoVector;
    for (std::size_t r = 0; r < std::min<std::size_t>(p[kWordMaxNr], kTeachRows); ++r) {
        bool all = true;
        for (std::size_t k = 0; k < 3; ++k) {
            const int value = Word(f, kMeasDensity + k), taught = p[TeachWord(r, 2 * k)];
            all = all && std::abs(value - taught) <= p[TeachWord(r, 2 * k + 1)];
        }
        if (all) return static_cast<int>(r);
    }
    return kNoVector;
}

}  // namespace

TEST(ScopeMeasurement, FeaturesOfEdgeValues) {
    auto eq = [](Features a, Features b) {
        return a.density == b.density && a.sym1 == b.sym1 && a.sym2 == b.sym2;
    };
    EXPECT_TRUE(eq(FeaturesOf(0, 0, 0), {0, 500, 500})) << "no light: balanced, not a division by zero";
    EXPECT_TRUE(eq(FeaturesOf(1000, 1000, 1000), {1000, 500, 500}));
    EXPECT_TRUE(eq(FeaturesOf(4095, 4095, 4095), {4095, 500, 500})) << "no overflow at full scale";
    EXPECT_TRUE(eq(FeaturesOf(4095, 0, 0), {1365, 1000, 0}));
    EXPECT_TRUE(eq(FeaturesOf(0, 4095, 0), {1365, 500, 1000}));
    EXPECT_TRUE(eq(FeaturesOf(0, 0, 4095), {1365, 0, 0}));
    EXPECT_TRUE(eq(FeaturesOf(1, 0, 0), {0, 1000, 0})) << "the least light is not \"no light\"";
    EXPECT_TRUE(eq(FeaturesOf(100, 200, 300), {200, 250, 500}));
    EXPECT_TRUE(eq(FeaturesOf(2, 0, 1), {1, 667, 0})) << "rounded, not cut";
}

TEST(ScopeMeasurement, DetectionTakesTheFirstRowWithinAllTolerances) {
    ParameterImage p{};
    p[kWordIntensityLimit] = 300;
    p[kWordMaxNr] = 6;
    auto teach = [&](std::size_t row, std::array<std::uint16_t, 6> v) {
        std::copy(v.begin(), v.end(), p.begin() + static_cast<std::ptrdiff_t>(TeachWord(row, 0)));
    };
    teach(1, {1000, 10, 500, 20, 400, 30});
    teach(5, {1000, 100, 500, 100, 400, 100});
    EXPECT_EQ(DetectVector(p, {1010, 520, 430}), 1) << "on every tolerance's edge";
    EXPECT_EQ(DetectVector(p, {990, 480, 370}), 1);
    EXPECT_EQ(DetectVector(p, {1011, 500, 400}), 5) << "density one past row 1's tolerance";
    EXPECT_EQ(DetectVector(p, {1000, 521, 400}), 5);
    EXPECT_EQ(DetectVector(p, {1000, 500, 369}), 5);
    EXPECT_EQ(DetectVector(p, {1000, 500, 501}), kNoVector);
    p[kWordMaxNr] = 5;
    EXPECT_EQ(DetectVector(p, {1011, 500, 400}), kNoVector) << "row 5 is not in use";
    p[kWordMaxNr] = 0;
    EXPECT_EQ(DetectVector(p, {1000, 500, 400}), kNoVector);

    // The intensity limit: a density below it detects nothing.
    p[kWordMaxNr] = 6;
    teach(0, {300, 0, 500, 0, 500, 0});
    EXPECT_EQ(DetectVector(p, {300, 500, 500}), 0);
    p[kWordIntensityLimit] = 301;
    EXPECT_EQ(DetectVector(p, {300, 500, 500}), kNoVector);

    // A vector count beyond the table reaches row 30 and no further.
    p = {};
    p[kWordMaxNr] = 0xFFFF;
    teach(30, {50, 0, 60, 0, 70, 0});
    EXPECT_EQ(DetectVector(p, {50, 60, 70}), 30);
}

TEST(ScopeMeasurement, StartTableDetectsItsPatchesOverATargetCycle) {
    SensorCore core("X", kStepped);
    const ParameterImage p = core.Ram();
    std::set<int> seen, seenWhileTriggered;
    const auto frames = MeasureFrames(core, 2 * kCycleFrames);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const Frame& f = frames[i];
        SCOPED_TRACE(i);
        ASSERT_EQ(Word(f, kMeasMarker), kSyncReply);
        ASSERT_EQ(Word(f, kMeasOrder), kMeasureOrder);
        for (std::size_t w = kMeasTrigger + 1; w < 18; ++w) EXPECT_EQ(Word(f, w), 0);
        const Features x = FeaturesOf(Word(f, kMeasChL), Word(f, kMeasChC), Word(f, kMeasChR));
        EXPECT_EQ(Word(f, kMeasDensity), x.density);
        EXPECT_EQ(Word(f, kMeasSym1), x.sym1);
        EXPECT_EQ(Word(f, kMeasSym2), x.sym2);
        EXPECT_EQ(Word(f, kMeasVector), ExpectedVector(p, f));
        const bool patch = Word(f, kMeasDensity) > 1000;  // the belt reads about 120
        EXPECT_EQ(Word(f, kMeasTrigger), patch ? 1 : 0) << "the trigger input is high while a patch passes";
        EXPECT_NEAR(Word(f, kMeasTemperature), 315, 15);
        seen.insert(Word(f, kMeasVector));
        if (patch) seenWhileTriggered.insert(Word(f, kMeasVector));
    }
    const std::set<int> taughtAndNone{0, 1, 2, 3, kNoVector};
    EXPECT_EQ(seen, taughtAndNone);
    EXPECT_EQ(seenWhileTriggered, taughtAndNone) << "untaught patches are seen and not detected";
}

TEST(ScopeMeasurement, APatchTaughtThroughTheOrdersIsDetectedAsItsRow) {
    SensorCore core("X", kStepped);
    // Wait for an untaught patch, as a user would before pressing teach.
    Frame taught{};
    for (int i = 0; i < kCycleFrames && Word(taught, kMeasTrigger) == 0; ++i) {
        const Frame f = core.Measure();
        if (Word(f, kMeasTrigger) == 1 && Word(f, kMeasVector) == kNoVector) taught = f;
    }
    ASSERT_EQ(Word(taught, kMeasTrigger), 1) << "no untaught patch passed";
    // Teach it to row 9 with the program's tolerances, then set the vector count to ten rows.
    ASSERT_TRUE(core.Handle(Request(
        2, {9, Word(taught, kMeasDensity), 100, Word(taught, kMeasSym1), 50, Word(taught, kMeasSym2), 50})));
    const Bytes scalars = Answer(core, Request(3));
    Frame write = Request(1);
    std::copy(scalars.begin() + 4, scalars.end(), write.begin() + 4);
    PutWord(write, 4 + 2 * kWordMaxNr, 10);
    ASSERT_TRUE(core.Handle(write));

    int detected = 0;
    for (const Frame& f : MeasureFrames(core, kCycleFrames)) {
        if (Word(f, kMeasVector) != 9) continue;
        ++detected;
        EXPECT_NEAR(Word(f, kMeasDensity), Word(taught, kMeasDensity), 100);
    }
    EXPECT_GE(detected, 10) << "most of a patch's 15 frames";
}

TEST(ScopeMeasurement, PowerScalesTheChannelsAndLeavesTheSymmetries) {
    SensorCore full("X", kStepped), half("X", kStepped);
    half.SetRamWord(kWordPower, 400);
    for (int i = 0; i < kCycleFrames; ++i) {
        const Frame a = full.Measure(), b = half.Measure();
        if (Word(a, kMeasTrigger) == 0) continue;
        SCOPED_TRACE(i);
        for (std::size_t w = kMeasChL; w <= kMeasChR; ++w) EXPECT_NEAR(2 * Word(b, w), Word(a, w), 60);
        EXPECT_NEAR(Word(b, kMeasSym1), Word(a, kMeasSym1), 15);
        EXPECT_NEAR(Word(b, kMeasSym2), Word(a, kMeasSym2), 15);
    }
    SensorCore dark("X", kStepped);
    dark.SetRamWord(kWordPower, 0);
    for (const Frame& f : MeasureFrames(dark, kCycleFrames)) {
        EXPECT_LT(Word(f, kMeasDensity), 40);
        EXPECT_EQ(Word(f, kMeasVector), kNoVector);
    }
}

TEST(ScopeMeasurement, TriggerModesGateOrHoldTheDetection) {
    SensorCore cont("X", kStepped), ext1("X", kStepped), ext2("X", kStepped);
    ext1.SetRamWord(kWordTriggerMode, kTriggerExt1);
    ext2.SetRamWord(kWordTriggerMode, kTriggerExt2);
    int atEdge = kNoVector, previousTrigger = 0, holds = 0;
    for (int i = 0; i < 2 * kCycleFrames; ++i) {
        SCOPED_TRACE(i);
        const Frame c = cont.Measure(), e1 = ext1.Measure(), e2 = ext2.Measure();
        const int trigger = Word(c, kMeasTrigger);
        ASSERT_EQ(Word(e1, kMeasTrigger), trigger);
        if (trigger == 1 && previousTrigger == 0) atEdge = Word(c, kMeasVector);
        previousTrigger = trigger;
        EXPECT_EQ(Word(e1, kMeasVector), trigger ? Word(c, kMeasVector) : kNoVector);
        EXPECT_EQ(Word(e2, kMeasVector), atEdge);
        if (trigger == 0 && atEdge != kNoVector) ++holds;
    }
    EXPECT_GT(holds, 0) << "EXT2 held a detection across the belt";
}

TEST(ScopeMeasurement, MaximumTracingHoldsPeaksAndWaitsToRise) {
    // Frames 0..14: white patch, 15..19: belt, 20..34: red patch (darker in every channel).
    auto run = [](std::uint16_t evalMode, std::uint16_t up, std::uint16_t down) {
        SensorCore core("X", kStepped);
        core.SetRamWord(kWordEvalMode, evalMode);
        core.SetRamWord(kWordMaxUp, up);
        core.SetRamWord(kWordMaxDown, down);
        return MeasureFrames(core, 35);
    };
    auto maxima = [](const Frame& f) {
        return std::array<int, 3>{Word(f, kMeasMaxL), Word(f, kMeasMaxC), Word(f, kMeasMaxR)};
    };
    auto channels = [](const Frame& f) {
        return std::array<int, 3>{Word(f, kMeasChL), Word(f, kMeasChC), Word(f, kMeasChR)};
    };

    for (const Frame& f : run(0, 0, 60000))
        EXPECT_EQ(maxima(f), channels(f)) << "no tracing: the maxima follow";

    // MaxDown 600 ms: the white patch's peak holds over the belt.
    const auto hold = run(1, 0, 60000);
    std::array<int, 3> peak{};
    for (int i = 0; i < 15; ++i)
        for (std::size_t k = 0; k < 3; ++k) peak[k] = std::max(peak[k], channels(hold[i])[k]);
    for (int i = 15; i < 20; ++i) EXPECT_EQ(maxima(hold[i]), peak) << i;
    for (const Frame& f : hold)
        for (std::size_t k = 0; k < 3; ++k)
            EXPECT_GE(maxima(f)[k], channels(f)[k]) << "MaxUp 0 rises at once";

    // MaxDown 100 ms: by the next patch the maxima have let go of the white peak.
    const auto brief = run(1, 0, 10000);
    EXPECT_EQ(maxima(brief[20]), channels(brief[20]));

    // MaxUp 100 ms: the maxima rise only once the values have stayed above them that long.
    const auto slow = run(1, 10000, 60000);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(maxima(slow[i]), (std::array<int, 3>{0, 0, 0})) << i;
    EXPECT_EQ(maxima(slow[5]), channels(slow[5]));
}

TEST(ScopeMeasurement, FramesRepeatWithTheSeedAndTheWallClockMovesTheTarget) {
    SensorCore a("X", kStepped), b("X", kStepped), other("X", {8, 20'000});
    const auto first = MeasureFrames(a, 40);
    SleepMs(30);
    EXPECT_EQ(MeasureFrames(b, 40), first) << "per-frame time ignores the clock";
    EXPECT_NE(MeasureFrames(other, 40), first);

    SensorCore wall("X");
    wall.Measure();
    SleepMs(50);
    wall.Measure();
    EXPECT_GE(wall.LastMeasureTimeUs(), 50'000);
    EXPECT_LT(wall.LastMeasureTimeUs(), 5'000'000);
}

// ---------------------------------------------------------------------------------------------------------
// Auto-send and the serial rate

TEST(ScopeAutoSend, Order50SwitchesWithoutAReplyAndTicksCarryTheirFaults) {
    SensorCore core("X", kStepped);
    EXPECT_FALSE(core.Handle(Request(50, {1})));
    EXPECT_TRUE(core.AutoSending());
    Faults f;
    f.autoDoubleAt = 2;
    f.autoWrongMarkerAt = 3;
    const Bytes one = core.AutoSendTick(f);
    ASSERT_EQ(one.size(), kFrameSize);
    EXPECT_EQ(Word(one, kMeasMarker), kSyncReply);
    EXPECT_EQ(Word(one, kMeasOrder), kMeasureOrder);
    const Bytes two = core.AutoSendTick(f);
    ASSERT_EQ(two.size(), 2 * kFrameSize) << "frames 2 and 3 back to back";
    EXPECT_EQ(Word(two, kMeasMarker), kSyncReply);
    EXPECT_EQ(Word(two, 18 + kMeasMarker), f.wrongMarker);
    EXPECT_EQ(Word(two, 18 + kMeasOrder), kMeasureOrder);
    EXPECT_NE(std::vector(two.begin(), two.begin() + 36), std::vector(two.begin() + 36, two.end()))
        << "two measurements, not one twice";
    EXPECT_EQ(Word(core.AutoSendTick(f), kMeasMarker), kSyncReply);

    EXPECT_FALSE(core.Handle(Request(50, {0})));
    EXPECT_FALSE(core.AutoSending());
    // A new start counts from 1 again; any argument but 1 stops.
    core.Handle(Request(50, {1}));
    f = {};
    f.autoWrongMarkerAt = 1;
    EXPECT_EQ(Word(core.AutoSendTick(f), kMeasMarker), f.wrongMarker);
    EXPECT_FALSE(core.Handle(Request(50, {2})));
    EXPECT_FALSE(core.AutoSending());

    // Broken frames before frames 1, 3, 5: the first bytes of a measurement of their own.
    core.Handle(Request(50, {1}));
    f = {};
    f.autoBrokenEvery = 2;
    f.autoBrokenBytes = 10;
    for (std::size_t tick = 1; tick <= 3; ++tick) {
        const Bytes bytes = core.AutoSendTick(f);
        const std::size_t broken = tick == 2 ? 0 : 10;
        ASSERT_EQ(bytes.size(), broken + kFrameSize) << "tick " << tick;
        EXPECT_EQ(Word(bytes, kMeasMarker), kSyncReply);
        EXPECT_EQ(Word(bytes, kMeasOrder), kMeasureOrder);
        EXPECT_EQ(WordAt(bytes, broken), kSyncReply);
    }
}

TEST(ScopeAutoSend, Order190EchoesAKnownRateAndIgnoresAnUnknownOne) {
    SensorCore core("X");
    EXPECT_EQ(core.SerialBaud(), 0);
    const Frame change = Request(190, {4});
    EXPECT_EQ(Answer(core, change), ToBytes(EchoReply(change)));
    EXPECT_EQ(core.SerialBaud(), 115200);
    EXPECT_FALSE(core.Handle(Request(190, {5})));
    EXPECT_EQ(core.SerialBaud(), 115200);
    core.Handle(Request(190, {0}));
    EXPECT_EQ(core.SerialBaud(), 9600);
}

// ---------------------------------------------------------------------------------------------------------
// Faults on the scope orders

TEST(ShapeReply, SilenceFromAFrameOnOrAtOneFrame) {
    Faults f;
    f.silentFromFrame = 3;
    EXPECT_FALSE(ShapeReply(kEcho, 2, f).empty());
    EXPECT_TRUE(ShapeReply(kEcho, 3, f).empty());
    EXPECT_TRUE(ShapeReply(kEcho, 50, f).empty());
    EXPECT_TRUE(f.SilentSince(3));
    EXPECT_FALSE(f.SilentSince(2));
    f = {};
    f.silentAtFrame = 3;
    EXPECT_FALSE(ShapeReply(kEcho, 2, f).empty());
    EXPECT_TRUE(ShapeReply(kEcho, 3, f).empty());
    EXPECT_FALSE(ShapeReply(kEcho, 4, f).empty());
    EXPECT_FALSE(f.SilentSince(3)) << "auto-sending goes on";
}

TEST(ShapeReply, MarkerOrderAndRowFaultsSpoilOneWordOfThatFrameOnly) {
    SensorCore core("X");
    const Bytes row = *core.Handle(Request(4, {2}));
    struct Case {
        int Faults::*field;
        std::size_t word;
        std::uint16_t spoilt;
    } cases[] = {
        {&Faults::wrongMarkerAtFrame, 0, 0x00A5},
        {&Faults::wrongOrderAtFrame, 1, 5},
        {&Faults::badRowAtFrame, 2, 31},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.word);
        Faults f;
        f.*c.field = 4;
        EXPECT_EQ(Joined(ShapeReply(row, 3, f)), row);
        EXPECT_EQ(Joined(ShapeReply(row, 5, f)), row);
        Bytes expected = row;
        PutWord(expected, 2 * c.word, c.spoilt);
        EXPECT_EQ(Joined(ShapeReply(row, 4, f)), expected);
    }
}

namespace {

// Line noise, one kind at a time at a rate of 1: what each kind does to the bytes of a reply, and its count.
TEST(LineNoise, EachKindDoesToEveryByteWhatItSays) {
    const Bytes reply = {0x00, 0xAA, 0x00, 0x05, 0x12, 0x34};
    std::mt19937 random(7);
    Faults f;
    f.noiseRate = 1.0;
    f.noisePauseMs = 40;

    NoiseCounts dropped;
    f.noiseModes = kNoiseDrop;
    EXPECT_TRUE(AddLineNoise({{5, reply}}, f, random, dropped).empty());
    EXPECT_EQ(dropped.dropped, 6);

    NoiseCounts altered;
    f.noiseModes = kNoiseAlter;
    const std::vector<ReplyPart> alteredParts = AddLineNoise({{5, reply}}, f, random, altered);
    ASSERT_EQ(alteredParts.size(), 1u);
    EXPECT_EQ(alteredParts[0].delayMs, 5);
    ASSERT_EQ(alteredParts[0].bytes.size(), 6u);
    for (std::size_t i = 0; i < 6; ++i) EXPECT_NE(alteredParts[0].bytes[i], reply[i]) << i;
    EXPECT_EQ(altered.altered, 6);

    NoiseCounts inserted;
    f.noiseModes = kNoiseInsert;
    const std::vector<ReplyPart> insertedParts = AddLineNoise({{5, reply}}, f, random, inserted);
    ASSERT_EQ(insertedParts.size(), 1u);
    ASSERT_EQ(insertedParts[0].bytes.size(), 12u);
    for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(insertedParts[0].bytes[2 * i + 1], reply[i]) << i;
    EXPECT_EQ(inserted.inserted, 6);

    NoiseCounts paused;
    f.noiseModes = kNoisePause;
    const std::vector<ReplyPart> pausedParts = AddLineNoise({{5, reply}}, f, random, paused);
    ASSERT_EQ(pausedParts.size(), 6u)
        << "a pause after every byte; none after the last, which nothing follows";
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(pausedParts[i].delayMs, i == 0 ? 5 : 40);
        EXPECT_EQ(pausedParts[i].bytes, Bytes{reply[i]});
    }
    EXPECT_EQ(paused.pauses, 6);

    // No noise: the parts pass as they are, and nothing is counted.
    NoiseCounts none;
    f.noiseRate = 0.0;
    f.noiseModes = 0xF;
    const std::vector<ReplyPart> clean = AddLineNoise({{5, reply}, {3, reply}}, f, random, none);
    ASSERT_EQ(clean.size(), 2u);
    EXPECT_EQ(clean[1].delayMs, 3);
    EXPECT_EQ(clean[1].bytes, reply);
    EXPECT_EQ(none.dropped + none.altered + none.inserted + none.pauses, 0);
}

// At 1 % the share of faulty bytes is about 1 %: 100,000 bytes carry between 800 and 1,200 faults.
TEST(LineNoise, TheRateIsTheShareOfFaultyBytes) {
    std::mt19937 random(11);
    Faults f;
    f.noiseRate = 0.01;
    NoiseCounts c;
    AddLineNoise({{0, Bytes(100000, 0x55)}}, f, random, c);
    const long faults = c.dropped + c.altered + c.inserted + c.pauses;
    EXPECT_GT(faults, 800);
    EXPECT_LT(faults, 1200);
    EXPECT_GT(c.dropped, 0);
    EXPECT_GT(c.altered, 0);
    EXPECT_GT(c.inserted, 0);
    EXPECT_GT(c.pauses, 0);
}

}  // namespace
