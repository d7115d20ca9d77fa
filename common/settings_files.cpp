#include "settings_files.h"

#include <algorithm>
#include <cctype>
#include <climits>

#include "platform.h"
#include "whole_file.h"

namespace {

// A settings file is a few hundred bytes; of a damaged, huge one only the start is read.
constexpr long kLargestSettingsFile = 1 << 20;

// The file's bytes, at most maxBytes of them; false when it does not exist or cannot be opened.
bool ReadFileBytes(std::string_view path, long maxBytes, std::string& bytes) {
    long size = 0;
    if (GetFileInfo(path, size) != 1) return false;
    const int file = CVI_OpenFile(path, VAL_READ_ONLY, VAL_OPEN_AS_IS, VAL_BINARY);
    if (file < 0) return false;
    bytes.assign(static_cast<std::size_t>(std::clamp(size, 0L, maxBytes)), '\0');
    const int n = bytes.empty() ? 0 : CVI_ReadFile(file, bytes.data(), static_cast<int>(bytes.size()));
    CVI_CloseFile(file);
    bytes.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return true;
}

// The line of `text` that starts at `pos`, cut to maxBytes, without its line end: the LF and the CRs before
// it (also at the end of the text, so that what is written back reads back the same); `pos` moves on.
std::string NextLine(std::string_view text, std::size_t& pos, std::size_t maxBytes) {
    if (pos >= text.size()) return {};
    const std::size_t end = text.find('\n', pos);
    std::string_view line = text.substr(pos, end - pos).substr(0, maxBytes);
    pos = end == std::string_view::npos ? text.size() : end + 1;
    while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return std::string(line);
}

}  // namespace

int DecimalValue(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > INT_MAX) return negative ? INT_MIN : INT_MAX;
    }
    return static_cast<int>(negative ? -value : value);
}

void ParseComSettings(std::string_view text, ComSettings& s) {
    std::size_t pos = 0;
    s.protocol = DecimalValue(NextLine(text, pos, 100));
    s.comPort = DecimalValue(NextLine(text, pos, 100));
    s.baudIndex = DecimalValue(NextLine(text, pos, 100));
    s.server = NextLine(text, pos, kServerTextMax);
    s.portNumber = NextLine(text, pos, kPortTextMax);
}

bool ReadComSettings(std::string_view path, ComSettings& s) {
    std::string text;
    if (!ReadFileBytes(path, kLargestSettingsFile, text)) return false;
    ParseComSettings(text, s);
    return true;
}

std::string FormatComSettings(const ComSettings& s) {
    std::string text;
    for (int number : {s.protocol, s.comPort, s.baudIndex}) (text += std::to_string(number)) += '\n';
    (text += CutToBytes(s.server, kServerTextMax)) += '\n';
    (text += CutToBytes(s.portNumber, kPortTextMax)) += '\n';
    return text;
}

bool WriteComSettings(std::string_view path, const ComSettings& s) {
    return WriteFileWhole(path, FormatComSettings(s));
}

std::string CutToBytes(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return std::string(text);
    std::size_t n = maxBytes;
    // Step back over continuation bytes so the cut lands before the start of a character.
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    return std::string(text.substr(0, n));
}

std::vector<std::string> ParseServerHistory(std::string_view bytes) {
    std::vector<std::string> entries;
    const std::size_t records = bytes.size() / (kHistoryRecordBytes + 1);
    std::size_t pos = 0;
    for (std::size_t i = 0;
         i < records && pos < bytes.size() && entries.size() < std::size_t{kHistoryMaxEntries}; ++i) {
        // One line is one record: its first 100 bytes count, the rest of a longer (damaged) line and the
        // line end ("\n" or "\r\n") are passed over.
        const std::size_t lineEnd = std::min(bytes.find('\n', pos), bytes.size());
        std::string_view record =
            bytes.substr(pos, std::min<std::size_t>(lineEnd - pos, kHistoryRecordBytes));
        pos = lineEnd < bytes.size() ? lineEnd + 1 : lineEnd;
        std::string_view text = record.substr(0, record.find('\0'));
        while (!text.empty() && text.back() == '\r') text.remove_suffix(1);  // all of a line end
        if (!text.empty()) entries.emplace_back(text);
    }
    return entries;
}

std::vector<std::string> ReadServerHistory(std::string_view path) {
    long size = 0;
    if (GetFileInfo(path, size) != 1 || size <= 0) return {};
    int file = CVI_OpenFile(path, VAL_READ_ONLY, VAL_OPEN_AS_IS, VAL_BINARY);
    if (file < 0) return {};
    std::string bytes(static_cast<std::size_t>(size), '\0');
    int n = CVI_ReadFile(file, bytes.data(), static_cast<int>(size));
    CVI_CloseFile(file);
    bytes.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return ParseServerHistory(bytes);
}

std::string FormatServerHistory(const std::vector<std::string>& entries) {
    std::string bytes;
    for (const auto& entry : entries) {
        std::string record = CutToBytes(entry, kHistoryRecordBytes);
        record.resize(kHistoryRecordBytes, '\0');
        (bytes += record) += '\n';
    }
    return bytes;
}

bool WriteServerHistory(std::string_view path, const std::vector<std::string>& entries) {
    return WriteFileWhole(path, FormatServerHistory(entries));
}
