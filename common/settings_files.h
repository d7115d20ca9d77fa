// The two small files that remember the interface panel between runs.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// "ComSettings.cfg": five lines: protocol, COM port and baud index as decimal numbers, the server name and
// the TCP port number as typed.
struct ComSettings {
    int protocol = 0;
    int comPort = 1;
    int baudIndex = 1;
    std::string server;
    std::string portNumber;
};
inline constexpr int kServerTextMax = 255;
inline constexpr int kPortTextMax = 31;

// false when the file does not exist (the caller keeps its defaults). A line that is not a number reads as
// 0; missing lines read as 0 or empty text.
bool ReadComSettings(std::string_view path, ComSettings& settings);
// false when the file cannot be written.
bool WriteComSettings(std::string_view path, const ComSettings& settings);
// The file's text as WriteComSettings writes it, and the reading of a file's text for ReadComSettings. A
// line ends at LF, and CRs at its end belong to the line end. Lines are cut to 100 bytes (numbers),
// kServerTextMax and kPortTextMax.
std::string FormatComSettings(const ComSettings& settings);
void ParseComSettings(std::string_view text, ComSettings& settings);

// "IPComboBox.cfg": the server history, most recent first, each entry a record of exactly 100 bytes (text,
// then zero bytes) and a line end.
inline constexpr int kHistoryRecordBytes = 100;
inline constexpr int kHistoryMaxEntries = 10;
// The record count is the file size / 101; each line is one record, cut to 100 bytes; empty records are
// skipped and at most 10 entries are read. A missing file gives no entries.
std::vector<std::string> ReadServerHistory(std::string_view path);
// Entries longer than a record holds are cut to fit it (on a character boundary). false on a write error.
bool WriteServerHistory(std::string_view path, const std::vector<std::string>& entries);
// The decoding of a history file's bytes, for ReadServerHistory and its tests, and the bytes
// WriteServerHistory writes.
std::vector<std::string> ParseServerHistory(std::string_view bytes);
std::string FormatServerHistory(const std::vector<std::string>& entries);
// `text` cut to at most `maxBytes` bytes without splitting a UTF-8 character.
std::string CutToBytes(std::string_view text, std::size_t maxBytes);
// Decimal conversion as the settings file needs it: leading blanks and sign allowed, junk after the digits
// ignored, no digits at all gives 0.
int DecimalValue(std::string_view text);
