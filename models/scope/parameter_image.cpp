#include "parameter_image.h"

#include <cctype>
#include <cstdio>

#include "io.h"
#include "whole_file.h"

ReadReply ParseReadReply(std::span<const std::uint16_t, kReplyWords> words) {
    ReadReply reply;
    if (words[0] != kReplyMarker) return reply;
    if (words[1] == 3) {
        reply.kind = ReadReply::Scalars;
        reply.values = words.subspan(2, kScalarParams);
    } else if (words[1] == 4 && words[2] < kTeachRows) {
        reply.kind = ReadReply::TeachRow;
        reply.row = words[2];
        reply.values = words.subspan(3, kTeachColumns);
    }
    return reply;
}

std::string FormatParameterFile(std::span<const std::uint16_t, kImageWords> image) {
    std::string text;
    text.reserve(kImageWords * 7);
    char line[16];
    for (std::uint16_t word : image) {
        std::snprintf(line, sizeof line, "%5u\r\n", unsigned(word));
        text += line;
    }
    return text;
}

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string Quoted(std::string_view token) {
    constexpr std::size_t kShown = 20;
    std::string shown(token.substr(0, kShown));
    for (char& c : shown)
        if (!std::isprint(static_cast<unsigned char>(c))) c = '?';
    return "\"" + shown + (token.size() > kShown ? "...\"" : "\"");
}

}  // namespace

bool ParseParameterFile(std::string_view text, std::array<std::uint16_t, kImageWords>& image,
                        std::string& problem) {
    std::array<std::uint16_t, kImageWords> words{};
    int count = 0, line = 1;
    std::size_t i = 0;
    // Every number is read, so that a file with more than the image's words is refused as one with fewer.
    for (;;) {
        while (i < text.size() && IsBlank(text[i])) line += text[i++] == '\n';
        if (i == text.size()) break;
        const std::size_t start = i;
        while (i < text.size() && !IsBlank(text[i])) ++i;
        const std::string_view token = text.substr(start, i - start);
        unsigned long value = 0;
        bool valid = true;
        for (char c : token) {
            valid = valid && c >= '0' && c <= '9' && value <= 65535;
            if (valid) value = value * 10 + unsigned(c - '0');
        }
        if (!valid || value > 65535) {
            problem = "holds " + Quoted(token) + " on line " + std::to_string(line) +
                      ", which is not a whole number from 0 to 65535";
            return false;
        }
        if (count < kImageWords) words[count] = static_cast<std::uint16_t>(value);
        ++count;
    }
    if (count != kImageWords) {
        problem = "holds " + std::to_string(count) + " numbers instead of " + std::to_string(kImageWords);
        return false;
    }
    image = words;
    return true;
}

// --- on disk --------------------------------------------------------------------------------------------

namespace {

// A parameter file is about 1.4 KB; anything far larger is not one and is not read into memory.
constexpr long kLargestFile = 64 * 1024;

// The file's bytes; false with a reason when it cannot be read whole.
bool ReadWholeFile(const std::string& path, std::string& text, std::string& problem) {
    long size = 0;
    if (GetFileInfo(path, size) != 1) {
        problem = "does not exist or is not a file";
        return false;
    }
    if (size > kLargestFile) {
        problem = "is " + std::to_string(size) + " bytes long, too long for a parameter file";
        return false;
    }
    const int file = CVI_OpenFile(path, VAL_READ_ONLY, VAL_OPEN_AS_IS, VAL_BINARY);
    if (file < 0) {
        problem = "cannot be opened for reading";
        return false;
    }
    text.assign(static_cast<std::size_t>(kLargestFile) + 1, '\0');
    const int got = CVI_ReadFile(file, text.data(), int(text.size()));
    CVI_CloseFile(file);
    if (got < 0) {
        problem = "cannot be read";
        return false;
    }
    text.resize(static_cast<std::size_t>(got));
    return true;
}

}  // namespace

bool LoadParameterFile(const std::string& path, ParameterImage& image, std::string& problem) {
    std::string text;
    return ReadWholeFile(path, text, problem) && ParseParameterFile(text, image, problem);
}

bool SaveParameterFile(const std::string& path, const ParameterImage& image) {
    return WriteFileWhole(path, FormatParameterFile(image));
}
