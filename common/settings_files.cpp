#include "settings_files.h"

#include <cctype>
#include <climits>
#include <cstring>

#include "platform.h"

namespace {

std::string ReadLineOf(int file, int maxChars) {
    std::string line;
    if (ReadLine(file, line, maxChars) < 0) return {};
    return line;
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

bool ReadComSettings(std::string_view path, ComSettings& s) {
    long size = 0;
    if (GetFileInfo(path, size) != 1) return false;
    int file = CVI_OpenFile(path, VAL_READ_ONLY, VAL_OPEN_AS_IS, VAL_ASCII);
    if (file < 0) return false;
    s.protocol = DecimalValue(ReadLineOf(file, 100));
    s.comPort = DecimalValue(ReadLineOf(file, 100));
    s.baudIndex = DecimalValue(ReadLineOf(file, 100));
    s.server = ReadLineOf(file, kServerTextMax);
    s.portNumber = ReadLineOf(file, kPortTextMax);
    CVI_CloseFile(file);
    return true;
}

bool WriteComSettings(std::string_view path, const ComSettings& s) {
    int file = CVI_OpenFile(path, VAL_WRITE_ONLY, VAL_TRUNCATE, VAL_ASCII);
    if (file < 0) return false;
    bool ok = WriteLine(file, std::to_string(s.protocol)) >= 0 &&
              WriteLine(file, std::to_string(s.comPort)) >= 0 &&
              WriteLine(file, std::to_string(s.baudIndex)) >= 0 &&
              WriteLine(file, CutToBytes(s.server, kServerTextMax)) >= 0 &&
              WriteLine(file, CutToBytes(s.portNumber, kPortTextMax)) >= 0;
    return CVI_CloseFile(file) >= 0 && ok;
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
    for (std::size_t i = 0; i < records && pos < bytes.size(); ++i) {
        // One line of at most 100 bytes, then its line end ("\n" or "\r\n").
        std::size_t end = pos;
        while (end < bytes.size() && end - pos < kHistoryRecordBytes && bytes[end] != '\n') ++end;
        std::string_view record = bytes.substr(pos, end - pos);
        pos = end;
        if (pos < bytes.size() && bytes[pos] == '\r') ++pos;
        if (pos < bytes.size() && bytes[pos] == '\n') ++pos;
        std::string_view text = record.substr(0, record.find('\0'));
        if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
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

bool WriteServerHistory(std::string_view path, const std::vector<std::string>& entries) {
    int file = CVI_OpenFile(path, VAL_WRITE_ONLY, VAL_TRUNCATE, VAL_BINARY);
    if (file < 0) return false;
    bool ok = true;
    for (const auto& entry : entries) {
        char record[kHistoryRecordBytes + 1] = {};
        std::string text = CutToBytes(entry, kHistoryRecordBytes);
        std::memcpy(record, text.data(), text.size());
        record[kHistoryRecordBytes] = '\n';
        ok = ok && CVI_WriteFile(file, record, sizeof record) == int(sizeof record);
    }
    return CVI_CloseFile(file) >= 0 && ok;
}
