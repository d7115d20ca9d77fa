// The sensor stand-in without any I/O: the frame splitter, the models and their version texts, the sensor's
// answer to each order, its table memory, its parameter memory and the synthetic colour target behind its
// measurement frames, and the shaping of replies by injected link faults.
// Plain C++; nothing here touches a thread, socket or terminal.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sensor_emu {

inline constexpr std::size_t kFrameSize = 36;  // 18 big-endian words in either direction
using Frame = std::array<std::uint8_t, kFrameSize>;
using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint16_t kSyncRequest = 0x0055;
inline constexpr std::uint16_t kSyncReply = 0x00AA;

std::uint16_t WordAt(std::span<const std::uint8_t> bytes, std::size_t byteOffset);
void PutWord(std::span<std::uint8_t> bytes, std::size_t byteOffset, std::uint16_t value);

// Cuts a byte stream into 36-byte request frames, however the stream was chunked on the way.
class FrameSplitter {
  public:
    // Calls onFrame for every frame completed by `data`, in order.
    void Feed(std::span<const std::uint8_t> data, const std::function<void(const Frame&)>& onFrame);
    std::size_t Pending() const { return fill_; }  // bytes of an incomplete frame
    void Reset() { fill_ = 0; }

  private:
    Frame partial_{};
    std::size_t fill_ = 0;
};

// One sensor model: the fragment the programs look for in the version text, its sensor code and the full
// version text this stand-in answers with.
struct Model {
    int row;  // 1-based, in the order the programs test the fragments
    std::string_view fragment;
    int code;
    std::string_view versionText;
};
std::span<const Model> Models();
const Model* ModelByRow(int row);
const Model* ModelByCode(int code);  // the first row with that code

// The 36 bytes of a version reply: the text padded with blanks, or cut.
Frame VersionReply(std::string_view text);
// Echo reply: 0x00 0xAA, then bytes 2..35 of the request.
Frame EchoReply(const Frame& request);

// ---------------------------------------------------------------------------------------------------------
// The scope side of the sensor: its parameter memory and its measurement frames.
//
// Parameter image (202 words, held in RAM and in EEPROM): words 0..15 are the scalar parameters below,
// words 16..201 the teach table, 31 rows of six words; row r column c is word TeachWord(r, c).
//
// Start values (RAM and EEPROM alike, see StartParameters): power 800, channel mode 3, average 1, evaluation
// mode 1 (maximum-value tracing), hold 0, intensity limit 200, MaxNr 4, output mode BINARY, trigger CONT,
// external teach 0, MaxUp 0, MaxDown 30000 (300 ms), spares 0. Rows 0..3 are taught to the target's patches
// 0..3 (white, red, green, blue) as they read at power 800: their noise-free features, density tolerance
// 150, symmetry tolerances 40. Rows 4..30 are zero. Patches 4 and 5 (yellow, grey) are not taught, so the
// demo shows rows 0..3 and 255.
//
// The synthetic target: the patches of TargetPatches() pass the sensor one after the other, for ever, each
// kPatchDwellUs under the sensor followed by kGapUs of dark belt. A channel reads
//     intensity at full power * power / 1000 * (1 + 0.015 sin(2 pi t / 60 s)) + noise (sigma 8),
// rounded and kept in 0..4095. The trigger input is high while a patch is under the sensor.
// Features of the channel intensities L, C, R (see FeaturesOf):
//     density    = (L + C + R) / 3                      0..4095, the mean intensity
//     symmetry 1 = 1000 * L / (L + R)                   0..1000, 500 when L = R
//     symmetry 2 = 1000 * 2C / (2C + L + R)             0..1000, 500 when C is the mean of L and R
// (rounded; a symmetry whose divisor is 0 is 500).
// The detected vector (see DetectVector) is 255 when the density is below the intensity limit, else the
// first of the rows 0..MaxNr-1 (MaxNr above 31 counts as 31) whose density, symmetry 1 and symmetry 2 each
// lie within the row's tolerance (|value - taught| <= tolerance), else 255. Trigger mode CONT evaluates
// every frame; EXT1 evaluates only while the trigger input is high (255 while it is low); EXT2 evaluates at
// each rising edge of the trigger input and holds that result until the next rising edge (255 before the
// first). Any other trigger mode counts as CONT.
// Maximum-value tracing (evaluation mode 1), per channel: the present maximum rises to the channel's value
// once the value has stayed above it for MaxUp * 10 us, and falls to the value once the value has stayed
// below it for MaxDown * 10 us (consecutive frames; time is target time). In any other evaluation mode the
// maxima are the present channel values. Tracing does not change the detected vector.
// The temperature word is in tenths of a degree Celsius, 315 +- 15 over 10 minutes of target time.
// Parameters are stored as sent; a power above 1000 counts as 1000. Channel mode, average, hold, output
// mode, external teach and the spares are stored and read back but do not shape the frames.

inline constexpr std::size_t kScalarWords = 16;
inline constexpr std::size_t kTeachRows = 31;
inline constexpr std::size_t kTeachColumns = 6;
inline constexpr std::size_t kParameterWords = kScalarWords + kTeachRows * kTeachColumns;  // 202
using ParameterImage = std::array<std::uint16_t, kParameterWords>;

enum ScalarWord : std::size_t {
    kWordPower,  // 0..1000
    kWordChannelMode,
    kWordAverage,
    kWordEvalMode,  // 1: maximum-value tracing
    kWordHold,
    kWordIntensityLimit,
    kWordMaxNr,       // teach rows in use, from row 0
    kWordOutputMode,  // 0 DIRECT LO, 1 BINARY, 2 DIRECT HI
    kWordTriggerMode,
    kWordExternalTeach,
    kWordMaxUp,    // 10 us steps, 0..60000
    kWordMaxDown,  // 10 us steps, 0..60000
};
enum TeachColumn : std::size_t { kColDensity, kColDensityTol, kColSym1, kColSym1Tol, kColSym2, kColSym2Tol };
constexpr std::size_t TeachWord(std::size_t row, std::size_t column) {
    return kScalarWords + kTeachColumns * row + column;
}
inline constexpr std::uint16_t kTriggerCont = 0, kTriggerExt1 = 1, kTriggerExt2 = 2;
inline constexpr std::uint16_t kNoVector = 255;

// Words of a measurement frame (order 5 reply and auto-sent frames); words 14..17 are 0.
enum MeasureWord : std::size_t {
    kMeasMarker,  // 0x00AA
    kMeasOrder,   // 5
    kMeasChL,
    kMeasChC,
    kMeasChR,
    kMeasDensity,
    kMeasSym1,
    kMeasSym2,
    kMeasVector,
    kMeasTemperature,
    kMeasMaxL,
    kMeasMaxC,
    kMeasMaxR,
    kMeasTrigger,  // 0 or 1
};
inline constexpr std::uint16_t kMeasureOrder = 5;

// Index 0..4 of order 190 to the line's rate; 0 for an index the sensor does not know.
long BaudOfIndex(std::uint16_t index);

ParameterImage StartParameters();

// One colour patch of the target: its channel intensities at full power.
struct Patch {
    std::string_view name;
    std::uint16_t l, c, r;
};
std::span<const Patch> TargetPatches();
inline constexpr std::int64_t kPatchDwellUs = 300'000;  // a patch under the sensor ...
inline constexpr std::int64_t kGapUs = 100'000;         // ... then the belt
// The patch under the sensor at target time t (microseconds from the start), -1 for the belt.
int PatchUnderSensor(std::int64_t targetUs);

struct Features {
    std::uint16_t density, sym1, sym2;
};
Features FeaturesOf(std::uint16_t l, std::uint16_t c, std::uint16_t r);
// The teach-table match for these features under `image` (intensity limit, MaxNr, rows); kNoVector if none.
std::uint16_t DetectVector(const ParameterImage& image, const Features& f);

// Link faults that the stand-in can be told to show. Frames are counted from 1 since the last reset of
// the counters; auto-sent frames from 1 since auto-sending last started.
struct Faults {
    bool silent = false;                 // no replies at all
    int silentFromFrame = 0;             // no reply to this frame or any later one (0: off)
    int silentAtFrame = 0;               // no reply to this frame only (0: off)
    int wrongEchoAtFrame = 0;            // reply to this frame has byte wrongEchoByte inverted (0: off)
    int wrongEchoByte = 4;               // 0..35; the first payload byte by default
    int wrongMarkerAtFrame = 0;          // reply to this frame carries wrongMarker in word 0 (0: off)
    std::uint16_t wrongMarker = 0x00A5;  // ... also used by autoWrongMarkerAt
    int wrongOrderAtFrame = 0;           // reply to this frame has its word 1 one higher (0: off)
    int badRowAtFrame = 0;               // reply to this frame carries badRow in word 2, the row (0: off)
    std::uint16_t badRow = 31;
    int wrongEchoOfOrder = 0;  // the reply to every frame of this order has its word 1 one higher (0: off)
    // Echoes repeat the request only in the words the programs compare (the order word and what the
    // order's echo check covers) and carry every byte after them inverted, as a sensor may that echoes no
    // more than it must.
    bool echoComparedOnly = false;
    int autoWrongMarkerAt = 0;  // this auto-sent frame carries wrongMarker in word 0 (0: off)
    int autoDoubleAt = 0;       // this auto-sent frame and the next leave at once, in one write (0: off)
    // Auto-sent frame 1 and every autoBrokenEvery-th after it (1, N+1, 2N+1, ...) are preceded by a frame
    // broken off after autoBrokenBytes bytes (1..35), as a sensor sends that resets mid-frame (0: off).
    int autoBrokenEvery = 0;
    int autoBrokenBytes = 10;
    int splitParts = 1;       // a reply leaves in this many parts ...
    int splitPauseMs = 0;     // ... with this pause between them
    bool shortReply = false;  // replies lose their last byte (35 bytes)
    bool longReply = false;   // replies carry one extra byte (37 bytes)
    int replyDelayMs = 0;     // wait before each reply
    int closeAtFrame = 0;     // drop the link when this frame arrives; it is not answered (0: off)
    int closeAfterFrame = 0;  // answer this frame, drop the link 100 ms later (0: off)
    bool hangUpPty = false;   // with closeAtFrame: also hang up the serial line instead of going mute
    // Line noise on what the sensor sends, replies and auto-sent frames, TCP and serial alike: each byte is,
    // with the chance noiseRate (0..1), dropped, altered, preceded by a byte that does not belong there, or
    // followed by a pause of noisePauseMs; which of these is drawn from noiseModes (LineNoise bits).
    double noiseRate = 0.0;
    unsigned noiseModes = 0xF;
    int noisePauseMs = 30;

    // Whether the sensor sends nothing any more once request frame `frameNumber` has arrived (auto-sent
    // frames included).
    bool SilentSince(int frameNumber) const {
        return silent || (silentFromFrame > 0 && frameNumber >= silentFromFrame);
    }
};

// How the synthetic target moves.
struct SimulationOptions {
    std::uint32_t seed = 1;        // of the channel noise
    std::int64_t frameStepUs = 0;  // > 0: each measurement frame moves the target on by this; 0: wall clock
};

// The sensor's memory and its answer to each order.
//
// Parameter orders: 1 writes the scalars (words 2..17) to RAM; 2 writes row word 2 (values in words 3..8)
// to RAM, a row of 31 or more is echoed and stores nothing; 6 copies RAM to EEPROM; all three are echoed.
// Order 3 answers 0x00AA, 3, the scalars; order 4 answers 0x00AA, 4, the row asked for (word 2) and its
// six values, all zero for a row of 31 or more.
// Which memory a read comes from: order 8 (echoed) selects EEPROM for the reads that follow it, namely the
// first order 3 after it and every order 4 up to the next order that is not 4. Any other order, a second
// order 3 included, selects RAM again. So "8, 3, 4 x 31" reads EEPROM and a later "3, 4 x 31" reads RAM.
// Order 5 answers a measurement frame. Order 50 with word 2 = 1 starts sending measurement frames unasked,
// any other value stops it; neither is answered. Order 190 with word 2 = 0..4 is echoed and sets the
// serial rate (BaudOfIndex); another index is not answered and changes nothing.
class SensorCore {
  public:
    static constexpr std::uint16_t kTableWriteMaxWords = (kFrameSize - 8) / 2;  // words that fit after byte 8
    enum class ReadSource { Ram, Eeprom };

    explicit SensorCore(std::string versionText, SimulationOptions simulation = {});

    // The reply to one request frame; nullopt for an order the sensor does not answer.
    std::optional<Bytes> Handle(const Frame& request);

    const std::string& VersionText() const { return versionText_; }
    std::uint16_t TableWord(std::uint16_t address) const { return table_[address]; }
    // Every table address written since start, in address order, with its value.
    std::vector<std::pair<std::uint16_t, std::uint16_t>> WrittenTable() const;
    // When set, the file is rewritten with the written table words after every write order.
    void SetDumpFile(std::string path) { dumpFile_ = std::move(path); }
    // When set, the file is written now and rewritten after every order 1, 2 and 6: one line per parameter
    // word, "WORD NAME RAM EEPROM".
    void SetParameterDumpFile(std::string path);
    // False when the last dump (table or parameters) could not be written.
    bool DumpOk() const { return dumpOk_; }

    // Parameter memory. Words outside 0..201 read as 0 and are not written.
    const ParameterImage& Ram() const { return ram_; }
    const ParameterImage& Eeprom() const { return eeprom_; }
    std::uint16_t RamWord(std::size_t word) const { return word < kParameterWords ? ram_[word] : 0; }
    std::uint16_t EepromWord(std::size_t word) const { return word < kParameterWords ? eeprom_[word] : 0; }
    void SetRamWord(std::size_t word, std::uint16_t value);
    void SetEepromWord(std::size_t word, std::uint16_t value);
    // The memory that read order `readOrder` (3 or 4) would read if it came next.
    ReadSource NextReadSource(std::uint16_t readOrder) const;

    // One measurement frame of the target as it is now; moves the target on.
    Frame Measure();
    std::int64_t LastMeasureTimeUs() const { return lastTimeUs_; }  // target time of the last frame

    bool AutoSending() const { return autoSending_; }
    // The bytes auto-sending puts on the line at one tick: one measurement frame, or two with
    // faults.autoDoubleAt; faults.autoWrongMarkerAt spoils the marker of that frame; faults.autoBrokenEvery
    // puts a broken frame first. Whole frames are the last multiple of 36 bytes.
    Bytes AutoSendTick(const Faults& faults);

    long SerialBaud() const { return baud_; }  // 0 until a rate is set (by order 190 or here)
    void SetSerialBaud(long baud) { baud_ = baud; }

  private:
    using OrderHandler = std::optional<Bytes> (SensorCore::*)(const Frame&);
    struct OrderEntry {
        std::uint16_t order;
        OrderHandler handler;
    };
    static const OrderEntry kOrders[];
    enum class ReadMode { Ram, EepromArmed, EepromReading };

    std::optional<Bytes> AnswerVersion(const Frame& request);
    std::optional<Bytes> PrepareTableBlock(const Frame& request);
    std::optional<Bytes> WriteTable(const Frame& request);
    std::optional<Bytes> WriteScalars(const Frame& request);
    std::optional<Bytes> WriteRow(const Frame& request);
    std::optional<Bytes> ReadScalars(const Frame& request);
    std::optional<Bytes> ReadRow(const Frame& request);
    std::optional<Bytes> AnswerMeasurement(const Frame& request);
    std::optional<Bytes> StoreToEeprom(const Frame& request);
    std::optional<Bytes> SelectEeprom(const Frame& request);
    std::optional<Bytes> SwitchAutoSend(const Frame& request);
    std::optional<Bytes> ChangeBaud(const Frame& request);
    std::optional<Bytes> Echo(const Frame& request);
    std::uint16_t VectorFor(const Features& f, bool trigger);
    void TraceMaxima(const std::array<std::uint16_t, 3>& channels, std::int64_t t);
    std::int64_t NextTargetTimeUs();
    void WriteDump();
    void WriteParameterDump();

    std::string versionText_;
    std::vector<std::uint16_t> table_ = std::vector<std::uint16_t>(0x10000, 0);
    std::vector<bool> written_ = std::vector<bool>(0x10000, false);
    std::string dumpFile_;
    std::string parameterDumpFile_;
    bool dumpOk_ = true;

    ParameterImage ram_;
    ParameterImage eeprom_;
    ReadMode readMode_ = ReadMode::Ram;

    SimulationOptions simulation_;
    std::mt19937 rng_;
    std::normal_distribution<double> noise_{0.0, 8.0};
    std::chrono::steady_clock::time_point wallStart_;
    std::int64_t framesMeasured_ = 0;
    std::int64_t lastTimeUs_ = 0;
    bool lastTrigger_ = false;
    std::uint16_t lastTriggerMode_ = kTriggerCont;
    std::uint16_t heldVector_ = kNoVector;  // EXT2
    std::array<std::uint16_t, 3> maxima_{};
    std::array<std::int64_t, 3> aboveSince_{-1, -1, -1};
    std::array<std::int64_t, 3> belowSince_{-1, -1, -1};

    bool autoSending_ = false;
    int autoCount_ = 0;
    long baud_ = 0;
};

// One part of a reply on the wire: the bytes and the pause before them.
struct ReplyPart {
    int delayMs;
    Bytes bytes;
};
// The kinds of line noise, as bits of Faults::noiseModes.
enum LineNoise : unsigned { kNoiseDrop = 1, kNoiseAlter = 2, kNoiseInsert = 4, kNoisePause = 8 };
// How many bytes line noise touched, by kind, since the emulator started.
struct NoiseCounts {
    long dropped = 0, altered = 0, inserted = 0, pauses = 0;
};
// `parts` as they leave through a noisy line under `faults` (unchanged when noiseRate is 0): bytes dropped,
// altered or inserted, and a part split where a pause falls. Counts what it did.
std::vector<ReplyPart> AddLineNoise(std::vector<ReplyPart> parts, const Faults& faults, std::mt19937& random,
                                    NoiseCounts& counts);

// How many words, from the frame's start, the programs compare of the echo of order `order`; 0 for an order
// whose reply is no echo or unknown. `echo` is the echo (order 182 compares its count of words and 4).
int ComparedEchoWords(std::uint16_t order, std::span<const std::uint8_t> echo);
// The faults that depend on the order asked for (wrongEchoOfOrder, echoComparedOnly) on its `reply`.
void ShapeReplyToOrder(Bytes& reply, std::uint16_t order, const Faults& faults);

// How a reply to request frame number `frameNumber` goes out under `faults` (empty: nothing is sent). The
// faults that change words (marker, order, row) apply to whatever reply that frame has.
std::vector<ReplyPart> ShapeReply(Bytes reply, int frameNumber, const Faults& faults);

}  // namespace sensor_emu
