#include "sensor_core.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
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
// The scope side: parameters, target, features and detection

namespace {

constexpr long kBaudRates[] = {9600, 19200, 38400, 57600, 115200};

constexpr Patch kPatches[] = {
    {"white", 4000, 3900, 3800}, {"red", 3600, 1100, 700},    {"green", 1200, 3300, 1400},
    {"blue", 800, 1300, 3500},   {"yellow", 3800, 3500, 900}, {"grey", 1900, 1900, 1900},
};
constexpr Patch kBelt = {"belt", 150, 140, 160};
constexpr int kTaughtPatches = 4;  // rows 0..3 of the start table
constexpr std::uint16_t kStartPower = 800;
constexpr std::uint16_t kStartDensityTolerance = 150, kStartSymmetryTolerance = 40;
constexpr std::int64_t kSlotUs = kPatchDwellUs + kGapUs;
constexpr std::uint16_t kChannelMax = 4095;
constexpr double kPi = 3.14159265358979323846;

std::uint16_t Round(double v) {
    return static_cast<std::uint16_t>(std::lround(v));
}

// Channel intensity of `fullPower` at `power` (0..1000) and a relative gain, without noise.
double Intensity(std::uint16_t fullPower, std::uint16_t power, double gain) {
    return fullPower * (power / 1000.0) * gain;
}

double DriftGain(std::int64_t targetUs) {
    return 1.0 + 0.015 * std::sin(2.0 * kPi * static_cast<double>(targetUs) / 60e6);
}

bool Within(std::uint16_t value, std::uint16_t taught, std::uint16_t tolerance) {
    return std::abs(int{value} - int{taught}) <= int{tolerance};
}

std::string ParameterName(std::size_t word) {
    static constexpr const char* kScalars[kScalarWords] = {
        "power",    "channel-mode", "average",      "evaluation-mode", "hold",   "intensity-limit",
        "max-nr",   "output-mode",  "trigger-mode", "external-teach",  "max-up", "max-down",
        "spare-12", "spare-13",     "spare-14",     "spare-15"};
    static constexpr const char* kColumns[kTeachColumns] = {"density",  "density-tol", "sym1",
                                                            "sym1-tol", "sym2",        "sym2-tol"};
    if (word < kScalarWords) return kScalars[word];
    const std::size_t t = word - kScalarWords;
    return "row-" + std::to_string(t / kTeachColumns) + "-" + kColumns[t % kTeachColumns];
}

}  // namespace

long BaudOfIndex(std::uint16_t index) {
    return index < std::size(kBaudRates) ? kBaudRates[index] : 0;
}

std::span<const Patch> TargetPatches() {
    return kPatches;
}

int PatchUnderSensor(std::int64_t targetUs) {
    if (targetUs < 0) return -1;
    const std::int64_t slot = targetUs / kSlotUs;
    if (targetUs % kSlotUs >= kPatchDwellUs) return -1;
    return static_cast<int>(slot % static_cast<std::int64_t>(std::size(kPatches)));
}

Features FeaturesOf(std::uint16_t l, std::uint16_t c, std::uint16_t r) {
    const double L = l, C = c, R = r;
    Features f{};
    f.density = Round((L + C + R) / 3.0);
    f.sym1 = L + R > 0 ? Round(1000.0 * L / (L + R)) : 500;
    f.sym2 = 2 * C + L + R > 0 ? Round(1000.0 * 2 * C / (2 * C + L + R)) : 500;
    return f;
}

std::uint16_t DetectVector(const ParameterImage& image, const Features& f) {
    if (f.density < image[kWordIntensityLimit]) return kNoVector;
    const std::size_t rows = std::min<std::size_t>(image[kWordMaxNr], kTeachRows);
    for (std::size_t r = 0; r < rows; ++r) {
        if (Within(f.density, image[TeachWord(r, kColDensity)], image[TeachWord(r, kColDensityTol)]) &&
            Within(f.sym1, image[TeachWord(r, kColSym1)], image[TeachWord(r, kColSym1Tol)]) &&
            Within(f.sym2, image[TeachWord(r, kColSym2)], image[TeachWord(r, kColSym2Tol)]))
            return static_cast<std::uint16_t>(r);
    }
    return kNoVector;
}

ParameterImage StartParameters() {
    ParameterImage p{};
    p[kWordPower] = kStartPower;
    p[kWordChannelMode] = 3;  // all three channels in use
    p[kWordAverage] = 1;
    p[kWordEvalMode] = 1;
    p[kWordIntensityLimit] = 200;
    p[kWordMaxNr] = kTaughtPatches;
    p[kWordOutputMode] = 1;  // BINARY
    p[kWordTriggerMode] = kTriggerCont;
    p[kWordMaxUp] = 0;
    p[kWordMaxDown] = 30000;
    for (int r = 0; r < kTaughtPatches; ++r) {
        const Patch& patch = kPatches[r];
        const auto level = [&](std::uint16_t full) { return Round(Intensity(full, kStartPower, 1.0)); };
        const Features f = FeaturesOf(level(patch.l), level(patch.c), level(patch.r));
        const std::uint16_t row[kTeachColumns] = {f.density, kStartDensityTolerance,
                                                  f.sym1,    kStartSymmetryTolerance,
                                                  f.sym2,    kStartSymmetryTolerance};
        std::copy(std::begin(row), std::end(row), p.begin() + static_cast<std::ptrdiff_t>(TeachWord(r, 0)));
    }
    return p;
}

// ---------------------------------------------------------------------------------------------------------
// The sensor

// The orders this sensor knows beyond the plain echo. Add a row to teach it a new one.
const SensorCore::OrderEntry SensorCore::kOrders[] = {
    {1, &SensorCore::WriteScalars},
    {2, &SensorCore::WriteRow},
    {3, &SensorCore::ReadScalars},
    {4, &SensorCore::ReadRow},
    {kMeasureOrder, &SensorCore::AnswerMeasurement},
    {6, &SensorCore::StoreToEeprom},
    {7, &SensorCore::AnswerVersion},
    {8, &SensorCore::SelectEeprom},
    {50, &SensorCore::SwitchAutoSend},
    {180, &SensorCore::PrepareTableBlock},
    {182, &SensorCore::WriteTable},
    {190, &SensorCore::ChangeBaud},
};

SensorCore::SensorCore(std::string versionText, SimulationOptions simulation)
    : versionText_(std::move(versionText)),
      ram_(StartParameters()),
      eeprom_(ram_),
      simulation_(simulation),
      rng_(simulation.seed),
      wallStart_(std::chrono::steady_clock::now()) {}

std::optional<Bytes> SensorCore::Handle(const Frame& request) {
    const std::uint16_t order = WordAt(request, 2);
    // Every order but the reads and order 8 itself ends a read from EEPROM.
    if (order != 3 && order != 4 && order != 8) readMode_ = ReadMode::Ram;
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

std::optional<Bytes> SensorCore::WriteScalars(const Frame& request) {
    for (std::size_t i = 0; i < kScalarWords; ++i) ram_[i] = WordAt(request, 4 + 2 * i);
    WriteParameterDump();
    return Echo(request);
}

std::optional<Bytes> SensorCore::WriteRow(const Frame& request) {
    const std::uint16_t row = WordAt(request, 4);
    if (row < kTeachRows) {
        for (std::size_t c = 0; c < kTeachColumns; ++c) ram_[TeachWord(row, c)] = WordAt(request, 6 + 2 * c);
        WriteParameterDump();
    }
    return Echo(request);
}

SensorCore::ReadSource SensorCore::NextReadSource(std::uint16_t readOrder) const {
    const bool eeprom = readOrder == 3 ? readMode_ == ReadMode::EepromArmed : readMode_ != ReadMode::Ram;
    return eeprom ? ReadSource::Eeprom : ReadSource::Ram;
}

std::optional<Bytes> SensorCore::ReadScalars(const Frame&) {
    const ParameterImage& image = NextReadSource(3) == ReadSource::Eeprom ? eeprom_ : ram_;
    readMode_ = readMode_ == ReadMode::EepromArmed ? ReadMode::EepromReading : ReadMode::Ram;
    Frame f{};
    PutWord(f, 0, kSyncReply);
    PutWord(f, 2, 3);
    for (std::size_t i = 0; i < kScalarWords; ++i) PutWord(f, 4 + 2 * i, image[i]);
    return Bytes(f.begin(), f.end());
}

std::optional<Bytes> SensorCore::ReadRow(const Frame& request) {
    const ParameterImage& image = NextReadSource(4) == ReadSource::Eeprom ? eeprom_ : ram_;
    const std::uint16_t row = WordAt(request, 4);
    Frame f{};
    PutWord(f, 0, kSyncReply);
    PutWord(f, 2, 4);
    PutWord(f, 4, row);
    if (row < kTeachRows)
        for (std::size_t c = 0; c < kTeachColumns; ++c) PutWord(f, 6 + 2 * c, image[TeachWord(row, c)]);
    return Bytes(f.begin(), f.end());
}

std::optional<Bytes> SensorCore::StoreToEeprom(const Frame& request) {
    eeprom_ = ram_;
    WriteParameterDump();
    return Echo(request);
}

std::optional<Bytes> SensorCore::SelectEeprom(const Frame& request) {
    readMode_ = ReadMode::EepromArmed;
    return Echo(request);
}

void SensorCore::SetRamWord(std::size_t word, std::uint16_t value) {
    if (word < kParameterWords) ram_[word] = value;
}

void SensorCore::SetEepromWord(std::size_t word, std::uint16_t value) {
    if (word < kParameterWords) eeprom_[word] = value;
}

std::optional<Bytes> SensorCore::AnswerMeasurement(const Frame&) {
    const Frame f = Measure();
    return Bytes(f.begin(), f.end());
}

std::optional<Bytes> SensorCore::SwitchAutoSend(const Frame& request) {
    autoSending_ = WordAt(request, 4) == 1;
    autoCount_ = 0;
    return std::nullopt;
}

std::optional<Bytes> SensorCore::ChangeBaud(const Frame& request) {
    const long baud = BaudOfIndex(WordAt(request, 4));
    if (baud == 0) return std::nullopt;
    baud_ = baud;
    return Echo(request);
}

std::optional<Bytes> SensorCore::Echo(const Frame& request) {
    const Frame f = EchoReply(request);
    return Bytes(f.begin(), f.end());
}

// ---------------------------------------------------------------------------------------------------------
// Measurement frames

std::int64_t SensorCore::NextTargetTimeUs() {
    if (simulation_.frameStepUs > 0) return framesMeasured_++ * simulation_.frameStepUs;
    ++framesMeasured_;
    const auto since = std::chrono::steady_clock::now() - wallStart_;
    return std::chrono::duration_cast<std::chrono::microseconds>(since).count();
}

Frame SensorCore::Measure() {
    const std::int64_t t = NextTargetTimeUs();
    lastTimeUs_ = t;
    const int patchIndex = PatchUnderSensor(t);
    const Patch& patch = patchIndex >= 0 ? kPatches[patchIndex] : kBelt;
    const std::uint16_t power = std::min<std::uint16_t>(ram_[kWordPower], 1000);
    const double gain = DriftGain(t);
    const std::uint16_t full[3] = {patch.l, patch.c, patch.r};
    std::array<std::uint16_t, 3> ch{};
    for (std::size_t i = 0; i < ch.size(); ++i)
        ch[i] = Round(std::clamp(Intensity(full[i], power, gain) + noise_(rng_), 0.0, double{kChannelMax}));
    const Features f = FeaturesOf(ch[0], ch[1], ch[2]);
    const bool trigger = patchIndex >= 0;
    const std::uint16_t vector = VectorFor(f, trigger);
    TraceMaxima(ch, t);
    const std::uint16_t temperature =
        Round(315.0 + 15.0 * std::sin(2.0 * kPi * static_cast<double>(t) / 600e6));

    const std::uint16_t words[] = {
        kSyncReply, kMeasureOrder, ch[0],       ch[1],      ch[2],      f.density,  f.sym1,
        f.sym2,     vector,        temperature, maxima_[0], maxima_[1], maxima_[2], std::uint16_t{trigger}};
    Frame out{};
    for (std::size_t w = 0; w < std::size(words); ++w) PutWord(out, 2 * w, words[w]);
    return out;
}

std::uint16_t SensorCore::VectorFor(const Features& f, bool trigger) {
    const std::uint16_t mode = ram_[kWordTriggerMode];
    const bool rising = trigger && !lastTrigger_;
    lastTrigger_ = trigger;
    if (mode != lastTriggerMode_) heldVector_ = kNoVector;
    lastTriggerMode_ = mode;
    switch (mode) {
        case kTriggerExt1:
            return trigger ? DetectVector(ram_, f) : kNoVector;
        case kTriggerExt2:
            if (rising) heldVector_ = DetectVector(ram_, f);
            return heldVector_;
        default:
            return DetectVector(ram_, f);
    }
}

void SensorCore::TraceMaxima(const std::array<std::uint16_t, 3>& channels, std::int64_t t) {
    if (ram_[kWordEvalMode] != 1) {
        maxima_ = channels;
        aboveSince_.fill(-1);
        belowSince_.fill(-1);
        return;
    }
    const std::int64_t up = std::int64_t{ram_[kWordMaxUp]} * 10, down = std::int64_t{ram_[kWordMaxDown]} * 10;
    for (std::size_t i = 0; i < channels.size(); ++i) {
        const std::uint16_t v = channels[i];
        if (v > maxima_[i]) {
            belowSince_[i] = -1;
            if (aboveSince_[i] < 0) aboveSince_[i] = t;
            if (t - aboveSince_[i] >= up) maxima_[i] = v;
        } else if (v < maxima_[i]) {
            aboveSince_[i] = -1;
            if (belowSince_[i] < 0) belowSince_[i] = t;
            if (t - belowSince_[i] >= down) maxima_[i] = v;
        } else {
            aboveSince_[i] = belowSince_[i] = -1;
        }
    }
}

Bytes SensorCore::AutoSendTick(const Faults& faults) {
    Bytes out;
    const int every = faults.autoBrokenEvery;
    if (every > 0 && autoCount_ % every == 0) {
        const Frame broken = Measure();
        const auto n =
            static_cast<std::ptrdiff_t>(std::clamp(faults.autoBrokenBytes, 1, int(kFrameSize) - 1));
        out.insert(out.end(), broken.begin(), broken.begin() + n);
    }
    const int frames = autoCount_ + 1 == faults.autoDoubleAt ? 2 : 1;
    for (int k = 0; k < frames; ++k) {
        Frame f = Measure();
        if (++autoCount_ == faults.autoWrongMarkerAt) PutWord(f, 0, faults.wrongMarker);
        out.insert(out.end(), f.begin(), f.end());
    }
    return out;
}

// ---------------------------------------------------------------------------------------------------------
// Dumps

namespace {
// Written next to the target and renamed over it, so a reader never sees half a file.
bool WriteFileWhole(const std::string& path, const std::string& text) {
    const std::string tmp = path + ".tmp";
    bool ok;
    {
        std::ofstream out(tmp, std::ios::trunc);
        out << text;
        ok = static_cast<bool>(out.flush());
    }
    std::error_code ec;
    std::filesystem::rename(tmp, path, ec);
    return ok && !ec;
}
}  // namespace

std::vector<std::pair<std::uint16_t, std::uint16_t>> SensorCore::WrittenTable() const {
    std::vector<std::pair<std::uint16_t, std::uint16_t>> out;
    for (std::size_t a = 0; a < table_.size(); ++a)
        if (written_[a]) out.emplace_back(static_cast<std::uint16_t>(a), table_[a]);
    return out;
}

void SensorCore::WriteDump() {
    if (dumpFile_.empty()) return;
    std::string text;
    char line[32];
    for (const auto& [address, value] : WrittenTable()) {
        std::snprintf(line, sizeof line, "0x%04X %u\n", unsigned{address}, unsigned{value});
        text += line;
    }
    dumpOk_ = WriteFileWhole(dumpFile_, text);
}

void SensorCore::SetParameterDumpFile(std::string path) {
    parameterDumpFile_ = std::move(path);
    WriteParameterDump();
}

void SensorCore::WriteParameterDump() {
    if (parameterDumpFile_.empty()) return;
    std::string text;
    for (std::size_t w = 0; w < kParameterWords; ++w)
        text += std::to_string(w) + " " + ParameterName(w) + " " + std::to_string(ram_[w]) + " " +
                std::to_string(eeprom_[w]) + "\n";
    dumpOk_ = WriteFileWhole(parameterDumpFile_, text);
}

// ---------------------------------------------------------------------------------------------------------
// Fault shaping

int ComparedEchoWords(std::uint16_t order, std::span<const std::uint8_t> echo) {
    switch (order) {
        case 1:
            return static_cast<int>(kFrameSize / 2);
        case 2:
            return 6;
        case 6:
        case 8:
        case 180:
            return 2;
        case 182:
            return echo.size() >= 8 ? std::min<int>(WordAt(echo, 6) + 4, kFrameSize / 2) : 0;
        case 190:
            return 3;
        default:
            return 0;
    }
}

void ShapeReplyToOrder(Bytes& reply, std::uint16_t order, const Faults& faults) {
    if (faults.echoComparedOnly)
        if (const int words = ComparedEchoWords(order, reply); words > 0)
            for (std::size_t i = 2 * static_cast<std::size_t>(words); i < reply.size(); ++i) reply[i] ^= 0xFF;
    if (faults.wrongEchoOfOrder > 0 && order == faults.wrongEchoOfOrder && reply.size() >= 4)
        PutWord(reply, 2, static_cast<std::uint16_t>(WordAt(reply, 2) + 1));
}

std::vector<ReplyPart> ShapeReply(Bytes reply, int frameNumber, const Faults& faults) {
    const auto at = [frameNumber](int k) { return k > 0 && k == frameNumber; };
    if (faults.SilentSince(frameNumber) || at(faults.silentAtFrame) || reply.empty()) return {};
    if (reply.size() >= 6) {
        if (at(faults.wrongMarkerAtFrame)) PutWord(reply, 0, faults.wrongMarker);
        if (at(faults.wrongOrderAtFrame)) PutWord(reply, 2, static_cast<std::uint16_t>(WordAt(reply, 2) + 1));
        if (at(faults.badRowAtFrame)) PutWord(reply, 4, faults.badRow);
    }
    if (at(faults.wrongEchoAtFrame) && faults.wrongEchoByte >= 0 &&
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

std::vector<ReplyPart> AddLineNoise(std::vector<ReplyPart> parts, const Faults& faults, std::mt19937& random,
                                    NoiseCounts& counts) {
    const unsigned modes = faults.noiseModes & 0xFu;
    if (!(faults.noiseRate > 0.0) || modes == 0) return parts;
    std::vector<unsigned> kinds;
    for (unsigned bit : {kNoiseDrop, kNoiseAlter, kNoiseInsert, kNoisePause})
        if (modes & bit) kinds.push_back(bit);
    std::bernoulli_distribution faulty(std::min(faults.noiseRate, 1.0));
    std::uniform_int_distribution<std::size_t> kind(0, kinds.size() - 1);
    std::uniform_int_distribution<int> byte(1, 255);
    std::vector<ReplyPart> out;
    for (ReplyPart& part : parts) {
        out.push_back({part.delayMs, {}});
        for (const std::uint8_t b : part.bytes) {
            if (!faulty(random)) {
                out.back().bytes.push_back(b);
                continue;
            }
            switch (kinds[kind(random)]) {
                case kNoiseDrop:
                    ++counts.dropped;
                    break;
                case kNoiseAlter:
                    ++counts.altered;
                    out.back().bytes.push_back(static_cast<std::uint8_t>(b ^ byte(random)));
                    break;
                case kNoiseInsert:
                    ++counts.inserted;
                    out.back().bytes.push_back(static_cast<std::uint8_t>(byte(random)));
                    out.back().bytes.push_back(b);
                    break;
                default:
                    ++counts.pauses;
                    out.back().bytes.push_back(b);
                    out.push_back({std::max(faults.noisePauseMs, 0), {}});
                    break;
            }
        }
    }
    // A part left without bytes passes its pause on to the next one.
    std::vector<ReplyPart> sent;
    int pause = 0;
    for (ReplyPart& part : out) {
        pause += part.delayMs;
        if (part.bytes.empty()) continue;
        sent.push_back({pause, std::move(part.bytes)});
        pause = 0;
    }
    return sent;
}

}  // namespace sensor_emu
