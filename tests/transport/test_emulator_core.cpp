// The sensor stand-in without a link: frame splitting, the answers to each order, the table memory, the
// models' version texts and the shaping of replies by injected faults.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
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
