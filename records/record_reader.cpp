#include "record_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>

namespace records {

namespace {
constexpr std::size_t kLongestLine = 4096;  // a data line has at most 79 bytes, the header 60
constexpr std::size_t kProblemsKept = 20;
constexpr std::size_t kBadLinesBeforeGivingUp = 16;  // with no good line before them
constexpr std::string_view kHeader = "DATE\tTIME\tCH_L\tCH_C\tCH_R\tDENSITY\tSYM1\tSYM2\tVECTOR\tTEMP";

bool Digits(const char* p, int n, int& value) {
    value = 0;
    for (int i = 0; i < n; ++i) {
        if (p[i] < '0' || p[i] > '9') return false;
        value = value * 10 + (p[i] - '0');
    }
    return true;
}
// A field as it may be quoted in a message: at most 20 characters, anything unprintable as '?'.
std::string Quoted(std::string_view field) {
    std::string out = "\"";
    for (std::size_t i = 0; i < field.size() && i < 20; ++i)
        out += (field[i] >= 0x20 && field[i] < 0x7F) ? field[i] : '?';
    return out + (field.size() > 20 ? "...\"" : "\"");
}
std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> fields;
    for (;;) {
        const std::size_t tab = line.find('\t');
        fields.push_back(line.substr(0, tab));
        if (tab == std::string_view::npos) return fields;
        line.remove_prefix(tab + 1);
    }
}
}  // namespace

const char* RecordParser::SameStampLine(const char* p, const char* end) {
    if (!haveStamp_ || end - p < 20 + 2 * kSignals || std::memcmp(p, lastStamp_, 19) != 0 || p[19] != '\t')
        return nullptr;
    // Parsed straight into the place of the next line: no copy, which would wait for the eight stores.
    Values& values = data_.NextValues();
    p += 20;
    for (int s = 0; s < kSignals; ++s) {
        // No digit, or more than 65535: not ok, as a field cut by the end of the text.
        const auto [next, ec] = std::from_chars(p, end, values[std::size_t(s)]);
        if (ec != std::errc{} || next == end) return nullptr;
        p = next;
        if (s < kSignals - 1 && *p++ != '\t') return nullptr;
    }
    if (*p == '\r' && ++p == end) return nullptr;
    if (*p != '\n' || data_.Size() >= maxLines_ || !data_.AppendNext(lastSecond_, lineNumber_ + 1))
        return nullptr;
    ++lineNumber_;
    return p + 1;
}

void RecordParser::Feed(std::string_view text) {
    while (!text.empty() && fatal_.empty()) {
        if (pending_.empty() && !skippingLong_) {
            // Most lines share the date and time of the line before: taken straight from the text.
            const char* p = text.data();
            const char* const end = p + text.size();
            while (const char* next = SameStampLine(p, end)) p = next;
            text.remove_prefix(std::size_t(p - text.data()));
            if (text.empty()) return;
        }
        const void* found = std::memchr(text.data(), '\n', text.size());
        if (found == nullptr) {
            if (skippingLong_) return;
            pending_.append(text);
            if (pending_.size() > kLongestLine) {
                ++lineNumber_;
                Bad("it is longer than 4096 bytes, so it is no record line");
                pending_.clear();
                skippingLong_ = true;
            }
            return;
        }
        const std::size_t length = std::size_t(static_cast<const char*>(found) - text.data());
        if (skippingLong_) {
            skippingLong_ = false;  // the long line, counted already, ends here
        } else if (!pending_.empty()) {
            pending_.append(text.data(), length);
            ++lineNumber_;
            Line(pending_);
            pending_.clear();
        } else {
            ++lineNumber_;
            Line(text.substr(0, length));
        }
        text.remove_prefix(length + 1);
    }
}

void RecordParser::End() {
    if (!pending_.empty() && fatal_.empty()) {
        cut_ = true;
        problems_.push_back("line " + std::to_string(lineNumber_ + 1) +
                            " is cut off (it has no line end: the recording was interrupted); "
                            "the lines before it are shown");
    }
    pending_.clear();
    skippingLong_ = false;
    if (fatal_.empty() && data_.Size() == 0 && !header_ && badLines_ > 0)
        fatal_ =
            "this is not a record file: no line is a record line (date, time and eight values "
            "separated by TABs) and there is no header line \"DATE TIME CH_L ... TEMP\"";
}

void RecordParser::Bad(const std::string& why) {
    ++badLines_;
    if (problems_.size() < kProblemsKept)
        problems_.push_back("line " + std::to_string(lineNumber_) + ": " + why);
    if (data_.Size() == 0 && !header_ && badLines_ >= kBadLinesBeforeGivingUp)
        fatal_ = "this is not a record file: its first " + std::to_string(badLines_) +
                 " lines are neither record lines (date, time and eight values separated by TABs) nor the "
                 "header line \"DATE TIME CH_L ... TEMP\"";
}

void RecordParser::Line(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) return;
    std::int64_t second;
    Values values;
    std::string why;
    if (ParseData(line, second, values, why)) {
        if (data_.Size() >= maxLines_) {
            fatal_ = "only the first " + std::to_string(data_.Size()) +
                     " lines are shown: the file holds more than fit into this computer's memory";
            return;
        }
        if (!data_.Append(second, values, lineNumber_))
            Bad("its time lies more than 68 years away from the first line's");
        return;
    }
    if (line.starts_with("DATE\t")) {
        if (line == kHeader ||
            (line.size() == kHeader.size() + 1 && line.starts_with(kHeader) && line.back() == '\t'))
            header_ = true;
        else
            Bad("a header line with other columns than DATE TIME CH_L CH_C CH_R DENSITY SYM1 SYM2 VECTOR "
                "TEMP");
        return;
    }
    Bad(why);
}

bool RecordParser::ParseData(std::string_view line, std::int64_t& second, Values& values, std::string& why) {
    const char* p = line.data();
    const char* const end = p + line.size();
    if (line.size() < 20 || p[10] != '\t' || p[19] != '\t') {
        const std::vector<std::string_view> fields = Fields(line);
        if (fields.size() != 10) {
            why = std::to_string(fields.size()) + (fields.size() == 1 ? " field" : " fields") +
                  " instead of 10 (date, time and eight values, separated by TABs)";
        } else if (fields[0].size() != 10) {
            why = "the date " + Quoted(fields[0]) + " is not a date MM-DD-YYYY";
        } else {
            why = "the time " + Quoted(fields[1]) + " is not a time HH:MM:SS";
        }
        return false;
    }
    if (haveStamp_ && std::memcmp(p, lastStamp_, 19) == 0) {
        second = lastSecond_;
    } else {
        int month, day, year, hour, minute, sec;
        if (!Digits(p, 2, month) || p[2] != '-' || !Digits(p + 3, 2, day) || p[5] != '-' ||
            !Digits(p + 6, 4, year) || !IsDate(year, month, day)) {
            why = "the date " + Quoted({p, 10}) + " is not a date MM-DD-YYYY";
            return false;
        }
        if (!Digits(p + 11, 2, hour) || p[13] != ':' || !Digits(p + 14, 2, minute) || p[16] != ':' ||
            !Digits(p + 17, 2, sec) || hour > 23 || minute > 59 || sec > 59) {
            why = "the time " + Quoted({p + 11, 8}) + " is not a time HH:MM:SS";
            return false;
        }
        second = SecondsFromCivil(year, month, day, hour, minute, sec);
        std::memcpy(lastStamp_, p, 19);
        lastSecond_ = second;
        haveStamp_ = true;
    }
    p += 20;
    for (int s = 0; s < kSignals; ++s) {
        unsigned value = 0;
        const auto [next, ec] = std::from_chars(p, end, value);
        const bool ends = next == end ? s == kSignals - 1 : (*next == '\t' && s < kSignals - 1);
        if (ec != std::errc{} || next == p || !ends || value > 0xFFFF) {
            const std::vector<std::string_view> fields = Fields(line);
            if (fields.size() != 10) {
                why = std::to_string(fields.size()) +
                      " fields instead of 10 (date, time and eight values, "
                      "separated by TABs)";
            } else {
                why = std::string(kSignalNames[std::size_t(s)]) + " " + Quoted(fields[std::size_t(s) + 2]) +
                      " is not a number from 0 to 65535";
            }
            return false;
        }
        values[std::size_t(s)] = std::uint16_t(value);
        p = next + 1;
    }
    return true;
}

std::string RecordParser::Summary() const {
    std::string text;
    if (!fatal_.empty()) text += fatal_ + ".\n";
    if (lineNumber_ == 0 && !cut_ && fatal_.empty())
        text += "The file is empty: it holds no line yet.\n";
    else if (data_.Size() == 0 && header_ && fatal_.empty())
        text += "The file holds the header line only.\n";
    for (const std::string& problem : problems_) text += problem + "\n";
    const std::size_t told = problems_.size() - (cut_ ? 1 : 0);
    if (badLines_ > told)
        text += "... and " + std::to_string(badLines_ - told) + " more lines that are left out\n";
    if (badLines_ > 0)
        text += std::to_string(badLines_) + (badLines_ == 1 ? " line is" : " lines are") + " left out; " +
                (data_.Size() > 0 ? "the others are shown.\n" : "no line is left to show.\n");
    return text;
}

RecordReader::RecordReader(std::string path, std::size_t maxLines)
    : path_(std::move(path)),
      maxLines_(maxLines),
      parser_(maxLines),
      buffer_(static_cast<char*>(AllocateChunk())) {}

RecordReader::~RecordReader() {
    if (fd_ >= 0) ::close(fd_);
}

bool RecordReader::Open(std::string& error) {
    fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) {
        error = "cannot open " + path_ + ": " + std::strerror(errno);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        error = "cannot open " + path_ + ": it is a folder, not a file";
        return false;
    }
    size_ = std::uint64_t(st.st_size);
    return true;
}

bool RecordReader::HeadUnchanged(std::uint64_t size) const {
    const std::size_t n = std::size_t(std::min<std::uint64_t>(head_.size(), size));
    char now[kHeadBytes];
    return ::pread(fd_, now, n, 0) == ssize_t(n) && std::memcmp(now, head_.data(), n) == 0;
}

bool RecordReader::StillTheFile() {
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) return true;  // a pipe or a device: read on
    struct stat byName {};
    if (::stat(path_.c_str(), &byName) != 0) {
        fileFatal_ = "the file was deleted while it was read; the lines read before are shown";
        return false;
    }
    if (byName.st_ino != st.st_ino || byName.st_dev != st.st_dev)
        return ReadAgain("replaced by another file of the same name");
    const std::uint64_t size = std::uint64_t(st.st_size);
    // Shorter, its start as it was: cut off at its end. Its start changed, or empty: written afresh.
    const bool sameStart = size > 0 && HeadUnchanged(size);
    if (size < offset_ && sameStart) {
        fileFatal_ = "the file became shorter while it was read (" + std::to_string(size) + " bytes, " +
                     std::to_string(offset_) +
                     " had been read): its end was cut off; the lines read before are shown; open it "
                     "again to see what it holds now";
        return false;
    }
    if (offset_ > 0 && !sameStart) return ReadAgain("cut and written afresh");
    size_ = std::max(size_, size);
    return true;
}

bool RecordReader::ReadAgain(const std::string& how) {
    const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        fileFatal_ = "the file was " + how +
                     " while it was read, and cannot be opened again: " + std::strerror(errno) +
                     "; the lines read before are shown";
        return false;
    }
    ::close(fd_);
    fd_ = fd;
    struct stat st {};
    size_ = ::fstat(fd_, &st) == 0 ? std::uint64_t(st.st_size) : 0;
    parser_ = RecordParser(maxLines_);
    offset_ = 0;
    head_.clear();
    ++readAgain_;
    note_ = "the file was " + how + " while it was read: it is read again from its start";
    return true;
}

bool RecordReader::Step(std::size_t maxBytes) {
    if (fd_ < 0 || !Fatal().empty() || !StillTheFile()) return false;
    std::size_t done = 0;
    while (done < maxBytes && parser_.Fatal().empty()) {
        const ssize_t n = ::read(fd_, buffer_.get(), std::min(kChunkBytes, maxBytes - done));
        if (n < 0) {
            if (errno == EINTR) continue;
            fileFatal_ = "cannot read " + path_ + ": " + std::strerror(errno);
            return false;
        }
        if (n == 0) break;
        if (head_.size() < kHeadBytes)
            head_.append(buffer_.get(), std::min(std::size_t(n), kHeadBytes - head_.size()));
        parser_.Feed({buffer_.get(), std::size_t(n)});
        if (offset_ == 0 && std::uint64_t(n) < size_ && parser_.Data().Size() > 0)
            parser_.Data().Reserve(std::size_t(size_ / std::uint64_t(n) * parser_.Data().Size() * 21 / 20));
        offset_ += std::uint64_t(n);
        done += std::size_t(n);
    }
    size_ = std::max(size_, offset_);
    return offset_ < size_ && parser_.Fatal().empty();
}

void RecordReader::ReadAll() {
    while (Step(std::size_t(64) << 20)) {
    }
    Finish();
}

std::size_t LinesThatFitInMemory() {
    const long pages = ::sysconf(_SC_PHYS_PAGES), pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) return std::size_t(-1);
    return std::size_t(pages) / 2 * std::size_t(pageSize) / 24;
}

}  // namespace records
