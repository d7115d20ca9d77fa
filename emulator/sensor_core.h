// The sensor stand-in without any I/O: the frame splitter, the models and their version texts, the sensor's
// answer to each order, its table memory, and the shaping of replies by injected link faults.
// Plain C++; nothing here touches a thread, socket or terminal.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
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

// The sensor's memory and its answer to each order.
class SensorCore {
  public:
    static constexpr std::uint16_t kTableWriteMaxWords = (kFrameSize - 8) / 2;  // words that fit after byte 8

    explicit SensorCore(std::string versionText);

    // The reply to one request frame; nullopt for an order the sensor does not answer.
    std::optional<Bytes> Handle(const Frame& request);

    const std::string& VersionText() const { return versionText_; }
    std::uint16_t TableWord(std::uint16_t address) const { return table_[address]; }
    // Every table address written since start, in address order, with its value.
    std::vector<std::pair<std::uint16_t, std::uint16_t>> WrittenTable() const;
    // When set, the file is rewritten with the written table words after every write order.
    void SetDumpFile(std::string path) { dumpFile_ = std::move(path); }
    // False when the last dump could not be written.
    bool DumpOk() const { return dumpOk_; }

  private:
    using OrderHandler = std::optional<Bytes> (SensorCore::*)(const Frame&);
    struct OrderEntry {
        std::uint16_t order;
        OrderHandler handler;
    };
    static const OrderEntry kOrders[];

    std::optional<Bytes> AnswerVersion(const Frame& request);
    std::optional<Bytes> PrepareTableBlock(const Frame& request);
    std::optional<Bytes> WriteTable(const Frame& request);
    std::optional<Bytes> Echo(const Frame& request);
    void WriteDump();

    std::string versionText_;
    std::vector<std::uint16_t> table_ = std::vector<std::uint16_t>(0x10000, 0);
    std::vector<bool> written_ = std::vector<bool>(0x10000, false);
    std::string dumpFile_;
    bool dumpOk_ = true;
};

// Link faults that the stand-in can be told to show. Frames are counted from 1 since the last reset of
// the counters.
struct Faults {
    bool silent = false;       // no replies at all
    int wrongEchoAtFrame = 0;  // reply to this frame has byte wrongEchoByte inverted (0: off)
    int wrongEchoByte = 4;     // 0..35; the first payload byte by default
    int splitParts = 1;        // a reply leaves in this many parts ...
    int splitPauseMs = 0;      // ... with this pause between them
    bool shortReply = false;   // replies lose their last byte (35 bytes)
    bool longReply = false;    // replies carry one extra byte (37 bytes)
    int replyDelayMs = 0;      // wait before each reply
    int closeAtFrame = 0;      // drop the link when this frame arrives; it is not answered (0: off)
    int closeAfterFrame = 0;   // answer this frame, drop the link 100 ms later (0: off)
    bool hangUpPty = false;    // with closeAtFrame: also hang up the serial line instead of going mute
};

// One part of a reply on the wire: the bytes and the pause before them.
struct ReplyPart {
    int delayMs;
    Bytes bytes;
};
// How a reply to request frame number `frameNumber` goes out under `faults` (empty: nothing is sent).
std::vector<ReplyPart> ShapeReply(Bytes reply, int frameNumber, const Faults& faults);

}  // namespace sensor_emu
