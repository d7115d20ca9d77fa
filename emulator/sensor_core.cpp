#include "sensor_core.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace sensor_emu {

std::uint16_t WordAt(std::span<const std::uint8_t> bytes, std::size_t byteOffset) {
    return static_cast<std::uint16_t>(bytes[byteOffset] << 8 | bytes[byteOffset + 1]);
}

void PutWord(std::span<std::uint8_t> bytes, std::size_t byteOffset, std::uint16_t value) {
    bytes[byteOffset] = static_cast<std::uint8_t>(value >> 8);
    bytes[byteOffset + 1] = static_cast<std::uint8_t>(value & 0xFF);
}

// ---------------------------------------------------------------------------------------------------------
// Frame splitter

void FrameSplitter::Feed(std::span<const std::uint8_t> data,
                         const std::function<void(const Frame&)>& onFrame) {
    while (!data.empty()) {
        const std::size_t take = std::min(kFrameSize - fill_, data.size());
        std::copy_n(data.begin(), take, partial_.begin() + static_cast<std::ptrdiff_t>(fill_));
        fill_ += take;
        data = data.subspan(take);
        if (fill_ == kFrameSize) {
            fill_ = 0;
            onFrame(partial_);
        }
    }
}

// ---------------------------------------------------------------------------------------------------------
// Models. Each version text holds its own row's fragment and no later row's, so that a search that lets
// the last matching row win still finds this row.

namespace {
constexpr Model kModels[] = {
    {1, "MV-TARN3 V6.", 100, "MV-TARN3 V6.12 2024-03-11"},
    {2, "MV-TARN4 V6.", 200, "MV-TARN4 V6.03 2023-11-20"},
    {3, "PLRX2704 V6.", 200, "PLRX2704 V6.01 2022-06-14"},
    {4, "LUMAVEX3 V3.", 300, "LUMAVEX3 V3.20 2023-02-07"},
    {5, "MV-TARN-PQ V1.", 400, "MV-TARN-PQ V1.4 2021-09-30"},
    {6, "KTM-PQ V4.", 500, "KTM-PQ V4.11 2022-12-01"},
    {7, "ORVANE2 V3.1", 600, "ORVANE2 V3.12 2024-01-15"},
    {8, "ORVANE V3.", 601, "ORVANE V3.3 2020-05-18"},
    {9, "QWD/HZD V2.", 700, "QWD/HZD V2.7 2019-08-02"},
    {10, "QWD/HZD V3.", 700, "QWD/HZD V3.2 2021-04-12"},
    {11, "QWD-HZD-NEX8 AC V3.", 700, "QWD-HZD-NEX8 AC V3.1 2022-10-03"},
    {12, "QWD-HZD-NEX8 DC V3.", 700, "QWD-HZD-NEX8 DC V3.1 2022-10-03"},
    {13, "MV-NEX8 V1.", 800, "MV-NEX8 V1.2 2024-05-21"},
};
}  // namespace

std::span<const Model> Models() {
    return kModels;
}

const Model* ModelByRow(int row) {
    for (const auto& m : kModels)
        if (m.row == row) return &m;
    return nullptr;
}

const Model* ModelByCode(int code) {
    for (const auto& m : kModels)
        if (m.code == code) return &m;
    return nullptr;
}

Frame VersionReply(std::string_view text) {
    Frame f;
    f.fill(' ');
    std::copy_n(text.begin(), std::min(text.size(), kFrameSize), f.begin());
    return f;
}

Frame EchoReply(const Frame& request) {
    Frame f = request;
    PutWord(f, 0, kSyncReply);
    return f;
}

// ---------------------------------------------------------------------------------------------------------
// The sensor

// The orders this sensor knows beyond the plain echo. Add a row to teach it a new one.
const SensorCore::OrderEntry SensorCore::kOrders[] = {
    {7, &SensorCore::AnswerVersion},
    {180, &SensorCore::PrepareTableBlock},
    {182, &SensorCore::WriteTable},
};

SensorCore::SensorCore(std::string versionText) : versionText_(std::move(versionText)) {}

std::optional<Bytes> SensorCore::Handle(const Frame& request) {
    const std::uint16_t order = WordAt(request, 2);
    for (const auto& entry : kOrders)
        if (entry.order == order) return (this->*entry.handler)(request);
    return Echo(request);
}

std::optional<Bytes> SensorCore::AnswerVersion(const Frame&) {
    const Frame f = VersionReply(versionText_);
    return Bytes(f.begin(), f.end());
}

// Bytes 4-5 name the block about to be written; the sensor needs nothing more than the echo for it.
std::optional<Bytes> SensorCore::PrepareTableBlock(const Frame& request) {
    return Echo(request);
}

// Bytes 4-5: first address, 6-7: count, from byte 8: the words. A count larger than what the frame holds
// stores only the words that are in it.
std::optional<Bytes> SensorCore::WriteTable(const Frame& request) {
    const std::uint16_t address = WordAt(request, 4);
    const std::uint16_t count = std::min(WordAt(request, 6), kTableWriteMaxWords);
    for (std::uint16_t j = 0; j < count; ++j) {
        const auto a = static_cast<std::uint16_t>(address + j);
        table_[a] = WordAt(request, 8 + 2 * std::size_t{j});
        written_[a] = true;
    }
    WriteDump();
    return Echo(request);
}

std::optional<Bytes> SensorCore::Echo(const Frame& request) {
    const Frame f = EchoReply(request);
    return Bytes(f.begin(), f.end());
}

std::vector<std::pair<std::uint16_t, std::uint16_t>> SensorCore::WrittenTable() const {
    std::vector<std::pair<std::uint16_t, std::uint16_t>> out;
    for (std::size_t a = 0; a < table_.size(); ++a)
        if (written_[a]) out.emplace_back(static_cast<std::uint16_t>(a), table_[a]);
    return out;
}

// Written next to the target and renamed over it, so a reader never sees half a dump.
void SensorCore::WriteDump() {
    if (dumpFile_.empty()) return;
    const std::string tmp = dumpFile_ + ".tmp";
    {
        std::ofstream out(tmp, std::ios::trunc);
        char line[32];
        for (const auto& [address, value] : WrittenTable()) {
            std::snprintf(line, sizeof line, "0x%04X %u\n", unsigned{address}, unsigned{value});
            out << line;
        }
        dumpOk_ = static_cast<bool>(out.flush());
    }
    std::error_code ec;
    std::filesystem::rename(tmp, dumpFile_, ec);
    if (ec) dumpOk_ = false;
}

// ---------------------------------------------------------------------------------------------------------
// Fault shaping

std::vector<ReplyPart> ShapeReply(Bytes reply, int frameNumber, const Faults& faults) {
    if (faults.silent || reply.empty()) return {};
    if (frameNumber == faults.wrongEchoAtFrame && faults.wrongEchoByte >= 0 &&
        static_cast<std::size_t>(faults.wrongEchoByte) < reply.size())
        reply[static_cast<std::size_t>(faults.wrongEchoByte)] ^= 0xFF;
    if (faults.shortReply) reply.pop_back();
    if (faults.longReply) reply.push_back(0x00);

    const std::size_t parts =
        std::clamp<std::size_t>(static_cast<std::size_t>(std::max(faults.splitParts, 1)), 1, reply.size());
    std::vector<ReplyPart> out;
    std::size_t begin = 0;
    for (std::size_t k = 0; k < parts; ++k) {
        const std::size_t end = reply.size() * (k + 1) / parts;
        const int delay = k == 0 ? std::max(faults.replyDelayMs, 0) : std::max(faults.splitPauseMs, 0);
        out.push_back({delay, Bytes(reply.begin() + static_cast<std::ptrdiff_t>(begin),
                                    reply.begin() + static_cast<std::ptrdiff_t>(end))});
        begin = end;
    }
    return out;
}

}  // namespace sensor_emu
