// Reading a record file: the header line "DATE TIME CH_L ... TEMP" (TAB after each), then one line per
// frame: MM-DD-YYYY, TAB, HH:MM:SS, TAB, eight values 0..65535 separated by TABs, CR LF (LF alone is taken
// too). RecordParser takes the text in pieces of any size; RecordReader reads a file in steps, so a window
// can show what is read while the rest loads, and follows a file that is still being written.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "record_data.h"

namespace records {

class RecordParser {
  public:
    // At most `maxLines` lines are kept; the rest of a larger file is left out, with a message.
    explicit RecordParser(std::size_t maxLines = std::size_t(-1))
        : maxLines_(std::min(maxLines, RecordData::kMaxLines)) {}

    // Parses every complete line of the text so far; a line without its line end waits for the next piece.
    void Feed(std::string_view text);
    // The text is complete: a line still waiting for its line end was cut off, and is reported as such.
    void End();

    const RecordData& Data() const { return data_; }
    RecordData& Data() { return data_; }
    bool HasHeader() const { return header_; }
    std::size_t BadLines() const { return badLines_; }
    bool LastLineCut() const { return cut_; }
    // Why reading stopped for good: not a record file, or more lines than memory allows. Empty otherwise.
    const std::string& Fatal() const { return fatal_; }
    // What was found wrong, line by line (the first 20; BadLines() counts all), and the cut last line.
    const std::vector<std::string>& Problems() const { return problems_; }
    // The number of lines in the text so far (complete ones).
    std::size_t LinesSeen() const { return lineNumber_; }
    // All problems and the fatal reason in a few lines, for a message box or the error stream.
    std::string Summary() const;

  private:
    // A data line at [p, end) with the date and time of the line before, kept; returns where the next line
    // starts. Null (and nothing done) for any other line, or one whose end is not in the text yet.
    const char* SameStampLine(const char* p, const char* end);
    void Line(std::string_view line);
    bool ParseData(std::string_view line, std::int64_t& second, Values& values, std::string& why);
    void Bad(const std::string& why);

    RecordData data_;
    std::size_t maxLines_;
    std::string pending_;        // the start of a line whose end has not come yet
    bool skippingLong_ = false;  // inside a line too long to be a record line, up to its end
    std::size_t lineNumber_ = 0;
    bool header_ = false, cut_ = false;
    std::size_t badLines_ = 0;
    std::string fatal_;
    std::vector<std::string> problems_;
    // The date and time of the line before, to skip parsing them again when they repeat.
    char lastStamp_[19] = {};
    std::int64_t lastSecond_ = 0;
    bool haveStamp_ = false;
};

class RecordReader {
  public:
    explicit RecordReader(std::string path, std::size_t maxLines = std::size_t(-1));
    ~RecordReader();
    RecordReader(const RecordReader&) = delete;
    RecordReader& operator=(const RecordReader&) = delete;

    // Opens the file; false with a message ("cannot open ...: reason") when it cannot.
    bool Open(std::string& error);
    // Reads and parses up to `maxBytes` more of the file. Returns true while more may come (the file was
    // longer than what was read), false at its end for now. A file replaced by another of its name, or cut
    // and written afresh (its first bytes changed), is read again from its start: the lines read before are
    // dropped, ReadAgainCount() counts up and Note() says why. A file that became shorter with its start
    // unchanged (its end cut off), or was deleted, stops the reading with Fatal(); what was read stays.
    bool Step(std::size_t maxBytes);
    // Reads the whole file and ends it (a last line without its line end is reported as cut).
    void ReadAll();
    // No more reading: reports a last line without its line end as cut.
    void Finish() { parser_.End(); }

    const RecordParser& Parser() const { return parser_; }
    const RecordData& Data() const { return parser_.Data(); }
    std::uint64_t BytesRead() const { return offset_; }
    std::uint64_t FileSize() const { return size_; }
    const std::string& Path() const { return path_; }
    // The parser's fatal reason, or why the file itself failed.
    std::string Fatal() const { return fileFatal_.empty() ? parser_.Fatal() : fileFatal_; }
    // How often the file was read again from its start, and why the last time (empty when never).
    std::size_t ReadAgainCount() const { return readAgain_; }
    const std::string& Note() const { return note_; }

  private:
    static constexpr std::size_t kHeadBytes = 4096;
    // False when the reading stops (Fatal() says why); a file replaced or written afresh is opened again.
    bool StillTheFile();
    bool ReadAgain(const std::string& how);
    // Whether the file's first bytes, as far as it holds `size`, are still those read first.
    bool HeadUnchanged(std::uint64_t size) const;

    std::string path_;
    std::size_t maxLines_;
    RecordParser parser_;
    int fd_ = -1;
    std::uint64_t offset_ = 0, size_ = 0;
    std::string fileFatal_, note_;
    std::string head_;  // the file's first bytes as read, up to kHeadBytes
    std::size_t readAgain_ = 0;
    std::unique_ptr<char, ChunkFree> buffer_;  // 2 MB, on a huge page where the system offers them
};

// The largest number of lines that fits into half of this machine's memory at 24 bytes a line.
std::size_t LinesThatFitInMemory();

}  // namespace records
