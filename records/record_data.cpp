#include "record_data.h"

#include <sys/mman.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <new>

namespace records {

namespace {
// Days since 1970-01-01 of a proleptic Gregorian date, and back (H. Hinnant's algorithms).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + std::int64_t(doe) - 719468;
}
void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = int(doy - (153 * mp + 2) / 5 + 1);
    month = int(mp < 10 ? mp + 3 : mp - 9);
    year = int(std::int64_t(yoe) + era * 400 + (month <= 2));
}
// The minima and maxima of some lines and ranges, in local arrays the compiler keeps in vector registers.
struct Widening {
    Values lo, hi;
    Widening() { lo.fill(0xFFFF), hi.fill(0); }
    void Add(const Values& v) {
        for (int s = 0; s < kSignals; ++s) lo[s] = std::min(lo[s], v[s]), hi[s] = std::max(hi[s], v[s]);
    }
    void Add(const Range& r) {
        for (int s = 0; s < kSignals; ++s)
            lo[s] = std::min(lo[s], r.min[s]), hi[s] = std::max(hi[s], r.max[s]);
    }
};
}  // namespace

bool IsDate(int year, int month, int day) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1) return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= (month == 2 && leap ? 29 : days[month - 1]);
}

std::int64_t SecondsFromCivil(int year, int month, int day, int hour, int minute, int second) {
    return DaysFromCivil(year, unsigned(month), unsigned(day)) * 86400 + hour * 3600 + minute * 60 + second;
}

std::string FormatTime(double seconds, bool withMillis) {
    const double whole = std::floor(seconds);
    int millis = int(std::floor((seconds - whole) * 1000.0));
    const std::int64_t s = std::int64_t(whole);
    const std::int64_t days = (s >= 0 ? s : s - 86399) / 86400;
    const std::int64_t inDay = s - days * 86400;
    int y, m, d;
    CivilFromDays(days, y, m, d);
    char text[40];
    std::snprintf(text, sizeof text, "%02d-%02d-%04d %02d:%02d:%02d", m, d, y, int(inDay / 3600),
                  int(inDay / 60 % 60), int(inDay % 60));
    std::string out = text;
    if (withMillis) {
        std::snprintf(text, sizeof text, ".%03d", std::clamp(millis, 0, 999));
        out += text;
    }
    return out;
}

Range EmptyRange() {
    Range r;
    r.min.fill(0xFFFF);
    r.max.fill(0);
    return r;
}

void* AllocateHuge(std::size_t bytes) {
    // Mapped with 2 MB to spare, then trimmed to the 2 MB boundary inside it, so that each 2 MB can be one
    // huge page: on a virtual machine a page fault costs tens of microseconds, 512 of them per 2 MB.
    bytes = (bytes + kChunkBytes - 1) & ~(kChunkBytes - 1);
    const std::size_t span = bytes + kChunkBytes;
    void* memory = ::mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(memory);
    const std::uintptr_t aligned = (start + kChunkBytes - 1) & ~std::uintptr_t(kChunkBytes - 1);
    if (aligned > start) ::munmap(memory, aligned - start);
    if (aligned + bytes < start + span)
        ::munmap(reinterpret_cast<void*>(aligned + bytes), start + span - aligned - bytes);
    void* chunk = reinterpret_cast<void*>(aligned);
    ::madvise(chunk, bytes, MADV_HUGEPAGE);
    return chunk;
}

void FreeHuge(void* memory, std::size_t bytes) {
    ::munmap(memory, (bytes + kChunkBytes - 1) & ~(kChunkBytes - 1));
}

RecordData::RecordData() = default;
RecordData::~RecordData() = default;
RecordData::RecordData(RecordData&&) noexcept = default;
RecordData& RecordData::operator=(RecordData&&) noexcept = default;

std::size_t RecordData::FileLine(std::size_t line) const {
    auto after = std::upper_bound(fileLineJumps_.begin(), fileLineJumps_.end(), line,
                                  [](std::size_t l, const auto& jump) { return l < jump.first; });
    if (after == fileLineJumps_.begin()) return line + 1;
    --after;
    return after->second + (line - after->first);
}

std::size_t RecordData::SegmentOf(std::size_t line) const {
    std::size_t lo = 0, hi = segmentCount_;  // the last segment that starts at or before the line
    while (hi - lo > 1) {
        const std::size_t mid = lo + (hi - lo) / 2;
        (segments_[mid].first <= line ? lo : hi) = mid;
    }
    return lo;
}

double RecordData::Time(std::size_t line) const {
    const std::size_t s = SegmentOf(line);
    const Segment& segment = segments_[s];
    const std::uint64_t k = line - segment.first;
    const double second = double(base_ + segment.offset);
    if (segment.stepping) return second + double(k);
    // Line k of n at ceil(k * 65536 / n) 65,536ths of the second, rounded up so that a line is never placed
    // before its true place: a line at exactly 0.9 s stays in the pixel column that starts at 0.9 s.
    const std::uint64_t n = SegmentEnd(s) - segment.first;
    return second + double(std::min<std::uint64_t>((k * 65536 + n - 1) / n, 65535)) / 65536.0;
}

std::int64_t RecordData::Second(std::size_t line) const {
    const Segment& segment = segments_[SegmentOf(line)];
    return base_ + segment.offset + (segment.stepping ? std::int64_t(line - segment.first) : 0);
}

void RecordData::StartSegment(std::size_t first, std::int32_t offset) {
    segments_.MakeRoomFor(segmentCount_);
    segments_[segmentCount_++] = {std::uint32_t(first), 0, offset};
    sharing_ = true;
}

void RecordData::Reserve(std::size_t lines) {
    if (pyramid_.empty()) pyramid_.emplace_back();
    pyramid_[0].reserve(lines / kFan + 1);
}

void RecordData::MakeRoom() {
    values_.MakeRoomFor(size_);
}

bool RecordData::Append(std::int64_t second, const Values& values, std::size_t fileLine) {
    NextValues() = values;
    return AppendNext(second, fileLine);
}

bool RecordData::AppendOther(std::int64_t second, std::size_t fileLine) {
    if (size_ >= kMaxLines) return false;
    if (size_ == 0) base_ = second;
    const std::int64_t offset = second - base_;
    if (offset < std::numeric_limits<std::int32_t>::min() ||
        offset > std::numeric_limits<std::int32_t>::max())
        return false;
    if (size_ == 0) {
        StartSegment(0, std::int32_t(offset));
    } else if (offset == lastOffset_) {
        // A stepping segment (two lines at least) ends before its last line, which gets a companion.
        if (!sharing_) StartSegment(size_ - 1, lastOffset_);
    } else {
        if (offset < lastOffset_) timesAscend_ = false;
        Segment& last = segments_[segmentCount_ - 1];
        if (offset == std::int64_t(lastOffset_) + 1 && (!sharing_ || std::size_t(last.first) + 1 == size_))
            last.stepping = 1, sharing_ = false;  // one line a second: the segment steps on
        else
            StartSegment(size_, std::int32_t(offset));
    }
    lastOffset_ = std::int32_t(offset);
    if (fileLine != nextFileLine_) fileLineJumps_.emplace_back(size_, fileLine);
    nextFileLine_ = fileLine + 1;
    ++size_;
    if (size_ % kFan == 0) Summarise();
    return true;
}

void RecordData::Summarise() {
    // Lines size_-64 .. size_ are complete (and in one chunk): their range goes to level 0, and up as
    // groups fill. Kept in local arrays, so that the compiler takes the eight signals in one vector step.
    const Values* lines = &values_[size_ - kFan];
    Values lo = lines[0], hi = lines[0];
    for (std::size_t i = 1; i < kFan; ++i)
        for (int s = 0; s < kSignals; ++s) {
            lo[s] = std::min(lo[s], lines[i][s]);
            hi[s] = std::max(hi[s], lines[i][s]);
        }
    Range r{lo, hi};
    std::size_t level = 0;
    for (;;) {
        if (pyramid_.size() <= level) pyramid_.emplace_back();
        pyramid_[level].push_back(r);
        if (pyramid_[level].size() % kFan != 0) break;
        Widening w;
        for (std::size_t i = pyramid_[level].size() - kFan; i < pyramid_[level].size(); ++i)
            w.Add(pyramid_[level][i]);
        r = {w.lo, w.hi};
        ++level;
    }
}

Range RecordData::RangeOf(std::size_t first, std::size_t last) const {
    last = std::min(last, size_);
    if (first >= last) return EmptyRange();
    Widening w;
    // Raw lines up to the next boundary of 64 at both ends (each run within one chunk), then the same a
    // level up, and so on.
    const std::size_t head = std::min(last, (first + kFan - 1) / kFan * kFan);
    for (const Values *v = &At(first), *end = v + (head - first); v != end; ++v) w.Add(*v);
    first = head;
    const std::size_t tail = std::max(first, last / kFan * kFan);
    if (tail < last)
        for (const Values *v = &At(tail), *end = v + (last - tail); v != end; ++v) w.Add(*v);
    last = tail;
    std::size_t a = first / kFan, b = last / kFan;
    for (std::size_t level = 0; a < b; ++level) {
        const Range* ranges = pyramid_[level].data();
        const bool top = level + 1 >= pyramid_.size();
        while (a < b && (top || a % kFan != 0)) w.Add(ranges[a++]);
        while (b > a && b % kFan != 0) w.Add(ranges[--b]);
        a /= kFan, b /= kFan;
    }
    return {w.lo, w.hi};
}

std::array<SignalStats, kSignals> RecordData::StatsOf(std::size_t first, std::size_t last) const {
    last = std::min(last, size_);
    std::array<SignalStats, kSignals> stats{};
    if (first >= last) return stats;
    std::array<std::uint64_t, kSignals> sum{}, squares{};
    for (std::size_t i = first; i < last; ++i) {
        const Values& v = At(i);
        for (int s = 0; s < kSignals; ++s) {
            sum[s] += v[s];
            squares[s] += std::uint64_t(v[s]) * v[s];
        }
    }
    const Range r = RangeOf(first, last);
    const std::uint64_t n = last - first;
    for (int s = 0; s < kSignals; ++s) {
        // n·Σx² − (Σx)² in 128 bits is exact, so a flat signal has a deviation of exactly 0.
        const unsigned __int128 spread =
            (unsigned __int128)squares[s] * n - (unsigned __int128)sum[s] * sum[s];
        stats[s] = {n, r.min[s], r.max[s], double(sum[s]) / double(n), std::sqrt(double(spread)) / double(n)};
    }
    return stats;
}

std::size_t RecordData::FirstAtOrAfter(double t) const {
    std::size_t lo = 0, hi = size_;
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (Time(mid) < t)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

std::size_t RecordData::BytesUsed() const {
    std::size_t bytes = size_ * sizeof(Values) + segmentCount_ * sizeof(Segment);
    for (const auto& level : pyramid_) bytes += level.capacity() * sizeof(Range);
    return bytes + fileLineJumps_.capacity() * sizeof(fileLineJumps_[0]);
}

std::vector<Column> ReduceToColumns(const RecordData& data, Axis axis, double x0, double x1, int width) {
    std::vector<Column> columns(std::size_t(std::max(width, 0)));
    if (width <= 0 || !(x1 > x0)) return columns;
    // The first line at or after `lo` whose column is at least c: columns follow the lines in order.
    // Galloping from `lo` by the lines of the column before, then halving: a few steps where columns
    // hold similar numbers of lines.
    const std::size_t size = data.Size();
    auto before = [&](std::size_t line, std::int64_t c) {
        return ColumnOf(XOf(data, axis, line), x0, x1, width) < c;
    };
    auto firstFrom = [&](std::int64_t c, std::size_t lo, std::size_t stride) {
        std::size_t hi = lo;
        for (std::size_t step = std::max<std::size_t>(stride, 1);; step *= 2) {
            if (hi >= size || !before(hi, c)) break;
            lo = hi + 1;
            hi = size - lo > step ? lo + step : size;
        }
        hi = std::min(hi, size);
        while (lo < hi) {
            const std::size_t mid = lo + (hi - lo) / 2;
            if (before(mid, c))
                lo = mid + 1;
            else
                hi = mid;
        }
        return lo;
    };
    std::size_t line = firstFrom(0, 0, size), stride = 1;
    for (int c = 0; c < width; ++c) {
        const std::size_t end = firstFrom(c + 1, line, stride);
        stride = std::max<std::size_t>(end - line, 1);
        columns[std::size_t(c)] = {line, end, data.RangeOf(line, end)};
        line = end;
    }
    return columns;
}

}  // namespace records
