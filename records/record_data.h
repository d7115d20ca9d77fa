// The lines of a record file in memory, compact: per line the eight 16-bit values (16 bytes), stored in
// chunks of 2 MB (a huge page each where the system offers them, so that filling them costs one page fault
// per 2 MB, not 512), so that growing never copies what was read. Their times take 8 bytes per segment of
// lines: lines that share a second, or lines a second apart (a record at one line a second is one segment).
// Beside them a pyramid of minima and maxima (one entry per 64 lines, per 4,096 lines, ...) answers the range
// of any span of lines in a few hundred steps, so a picture of ten million lines takes no longer than one of
// a thousand.
#pragma once

#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace records {

constexpr int kSignals = 8;
using Values = std::array<std::uint16_t, kSignals>;
// The column names of the record file, in the order of the values of a line.
constexpr std::array<std::string_view, kSignals> kSignalNames = {"CH_L", "CH_C", "CH_R",   "DENSITY",
                                                                 "SYM1", "SYM2", "VECTOR", "TEMP"};

// Whether the day is on the calendar (leap years as the Gregorian calendar has them).
bool IsDate(int year, int month, int day);
// Seconds since 1970-01-01 00:00:00 of a wall-clock date and time (no time zone: the record's own clock).
std::int64_t SecondsFromCivil(int year, int month, int day, int hour, int minute, int second);
// "MM-DD-YYYY HH:MM:SS", with ".mmm" after it when `withMillis`.
std::string FormatTime(double seconds, bool withMillis);

struct Range {
    Values min, max;
    bool Empty() const { return min[0] > max[0]; }
};
Range EmptyRange();

struct SignalStats {
    std::size_t count = 0;
    std::uint16_t min = 0, max = 0;
    double mean = 0, stddev = 0;  // the standard deviation of the lines themselves (divided by count)
};

// Whole 2 MB pages of memory aligned to 2 MB, huge pages where the system offers them (so that filling them
// costs one page fault per 2 MB, not 512); throws std::bad_alloc.
void* AllocateHuge(std::size_t bytes);
void FreeHuge(void* memory, std::size_t bytes);
constexpr std::size_t kChunkBytes = std::size_t(2) << 20;
inline void* AllocateChunk() {
    return AllocateHuge(kChunkBytes);
}
inline void FreeChunk(void* chunk) {
    FreeHuge(chunk, kChunkBytes);
}
struct ChunkFree {
    void operator()(void* chunk) const { FreeChunk(chunk); }
};
// For vectors that may grow large: from 2 MB on their memory is on huge pages, below it from the heap.
template <typename T>
struct HugePageAllocator {
    using value_type = T;
    HugePageAllocator() = default;
    template <typename U>
    HugePageAllocator(const HugePageAllocator<U>&) {}
    T* allocate(std::size_t n) {
        const std::size_t bytes = n * sizeof(T);
        return static_cast<T*>(bytes >= kChunkBytes ? AllocateHuge(bytes) : ::operator new(bytes));
    }
    void deallocate(T* memory, std::size_t n) {
        if (n * sizeof(T) >= kChunkBytes)
            FreeHuge(memory, n * sizeof(T));
        else
            ::operator delete(memory);
    }
    friend bool operator==(const HugePageAllocator&, const HugePageAllocator&) { return true; }
};

// An array of T that grows by chunks of 2 MB and never moves what it holds.
template <typename T>
class ChunkedArray {
  public:
    static constexpr std::size_t kPerChunk = kChunkBytes / sizeof(T);
    static_assert(std::has_single_bit(kPerChunk));
    static constexpr int kShift = std::countr_zero(kPerChunk);

    T& operator[](std::size_t i) { return chunks_[i >> kShift].get()[i & (kPerChunk - 1)]; }
    const T& operator[](std::size_t i) const { return chunks_[i >> kShift].get()[i & (kPerChunk - 1)]; }
    // Makes room for index i, the one after the last that has room. The chunk is owned before it is noted,
    // so that it is freed when there is no memory to note it.
    void MakeRoomFor(std::size_t i) {
        if ((i >> kShift) < chunks_.size()) return;
        std::unique_ptr<T, ChunkFree> chunk(static_cast<T*>(AllocateChunk()));
        chunks_.push_back(std::move(chunk));
    }
    std::size_t Chunks() const { return chunks_.size(); }

  private:
    std::vector<std::unique_ptr<T, ChunkFree>> chunks_;
};

class RecordData {
  public:
    // The most lines it holds: a segment of lines notes its first line in 31 bits.
    static constexpr std::size_t kMaxLines = (std::size_t(1) << 31) - 1;

    RecordData();
    ~RecordData();
    RecordData(RecordData&&) noexcept;
    RecordData& operator=(RecordData&&) noexcept;

    std::size_t Size() const { return size_; }
    const Values& At(std::size_t line) const { return values_[line]; }
    // The time of a line in seconds: its second, and where several lines share that second, its place
    // among them, spread evenly over the second (the latest second's lines as far as they are known).
    double Time(std::size_t line) const;
    std::int64_t Second(std::size_t line) const;
    // False once a line's second lies before the line above it (a clock set back): the lines are then
    // shown by their number.
    bool TimesAscend() const { return timesAscend_; }
    // The number of the line in the file, from 1 (the header and lines left out count).
    std::size_t FileLine(std::size_t line) const;

    // Adds a line; false (and nothing added) when its second lies more than 68 years from the first line's,
    // or kMaxLines are held.
    bool Append(std::int64_t second, const Values& values, std::size_t fileLine);
    // The same in two steps, for a reader that parses the values straight into their place: the place of
    // the next line's values, then the line added with whatever they hold.
    Values& NextValues() {
        if ((size_ & (ChunkedArray<Values>::kPerChunk - 1)) == 0) MakeRoom();
        return values_[size_];
    }
    bool AppendNext(std::int64_t second, std::size_t fileLine) {
        // Most lines: the second of the line before, in a segment of lines that share it, the next line of
        // the file, not the last of 64.
        if (second - base_ == lastOffset_ && sharing_ && fileLine == nextFileLine_ &&
            (size_ + 1) % kFan != 0) {
            ++size_;
            ++nextFileLine_;
            return true;
        }
        return AppendOther(second, fileLine);
    }
    // Room in the pyramid for about this many lines, so that it grows without copies.
    void Reserve(std::size_t lines);

    // Minimum and maximum of every signal over lines [first, last).
    Range RangeOf(std::size_t first, std::size_t last) const;
    std::array<SignalStats, kSignals> StatsOf(std::size_t first, std::size_t last) const;
    // The first line whose time is at or after t (Size() when none); needs TimesAscend().
    std::size_t FirstAtOrAfter(double t) const;

    // Memory held for the lines, the pyramid and the line numbers, in bytes.
    std::size_t BytesUsed() const;

  private:
    static constexpr std::size_t kFan = 64;
    // Lines [first, the next segment's first): all in the second `offset` (from base_), spread evenly over
    // it; or, when `stepping`, each alone in its second, one after the other from `offset` on.
    struct Segment {
        std::uint32_t first : 31;
        std::uint32_t stepping : 1;
        std::int32_t offset;
    };
    static_assert(sizeof(Segment) == 8);

    std::size_t SegmentOf(std::size_t line) const;
    std::size_t SegmentEnd(std::size_t segment) const {
        return segment + 1 < segmentCount_ ? segments_[segment + 1].first : size_;
    }
    void StartSegment(std::size_t first, std::int32_t offset);
    void MakeRoom();
    bool AppendOther(std::int64_t second, std::size_t fileLine);
    void Summarise();

    ChunkedArray<Values> values_;
    ChunkedArray<Segment> segments_;
    std::size_t segmentCount_ = 0, size_ = 0;
    std::int64_t base_ = 0;        // the first line's second; lines keep theirs as a 32-bit offset from it
    std::int32_t lastOffset_ = 0;  // the last line's
    bool sharing_ = false;         // the last segment holds lines that share a second (not stepping)
    bool timesAscend_ = true;
    std::size_t nextFileLine_ = 1;  // the file line that follows on from the last line's
    // Line numbers in the file where they stop following on from the line before: (line, file line).
    std::vector<std::pair<std::size_t, std::size_t>> fileLineJumps_;
    // Level k: one range per 64^(k+1) lines. Level 0 of ten million lines is 5 MB: on 4 KB pages that would
    // be over a thousand page faults.
    std::vector<std::vector<Range, HugePageAllocator<Range>>> pyramid_;
};

// The x position of a line: its time, or its line number in the file (the line number axis), so that the
// axis, the cursor and the list of problems name a line alike.
enum class Axis { Time, Line };
inline double XOf(const RecordData& data, Axis axis, std::size_t line) {
    return axis == Axis::Time ? data.Time(line) : double(data.FileLine(line));
}

// One pixel column of a picture: the lines whose x falls into it and their range.
struct Column {
    std::size_t first = 0, last = 0;  // lines [first, last); empty when equal
    Range range;
};
// The column of position x when [x0, x1) is drawn over `width` columns (may lie outside 0..width-1).
inline std::int64_t ColumnOf(double x, double x0, double x1, int width) {
    return std::int64_t(std::floor((x - x0) * width / (x1 - x0)));
}
// Every line whose x lies in [x0, x1), reduced to `width` columns (the axis must ascend).
std::vector<Column> ReduceToColumns(const RecordData& data, Axis axis, double x0, double x1, int width);

}  // namespace records
