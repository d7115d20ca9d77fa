// The parameter image as data: its layout, the read replies that fill it, the vector-count rule, and the
// parameter file (its text, and reading and writing it). No panel and no link; tested directly.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

inline constexpr int kScalarParams = 16;  // image words 0..15
inline constexpr int kTeachRows = 31;
inline constexpr int kTeachColumns = 6;  // density, tolerance, symmetry 1, tolerance, symmetry 2, tolerance
inline constexpr int kImageWords = kScalarParams + kTeachRows * kTeachColumns;  // 202
inline constexpr int kReplyWords = 18;

// Image word of teach row r (0..30), column c (0..5).
constexpr int TeachWord(int row, int column) {
    return kScalarParams + kTeachColumns * row + column;
}

// Image words of the scalar parameters.
enum ParamWord : int {
    kWordPower,
    kWordChannelMode,
    kWordAverage,
    kWordEvalMode,
    kWordHold,
    kWordIntlim,
    kWordMaxNr,
    kWordOutMode,
    kWordTrigger,
    kWordExtteach,
    kWordMaxUp,
    kWordMaxDown,
    kWordFrei13,
    kWordFrei14,
    kWordFrei15,
    kWordFrei16,
};

inline constexpr std::uint16_t kReplyMarker = 0x00AA;
inline constexpr std::uint16_t kOutModeBinary = 1;
inline constexpr std::uint16_t kMaxDirectVectors = 5;  // vectors a direct output mode can show

// What a read reply (18 words as unpacked from the wire) holds.
struct ReadReply {
    enum Kind { Ignored, Scalars, TeachRow } kind = Ignored;
    int row = -1;                           // TeachRow: 0..30
    std::span<const std::uint16_t> values;  // Scalars: 16 words; TeachRow: 6 words
};
// Order 3 replies carry the scalars in words 2..17, order 4 replies a row number in word 2 and the row in
// words 3..8. A reply without the 0x00AA marker, with another order word or with a row of 31 or more is
// ignored.
ReadReply ParseReadReply(std::span<const std::uint16_t, kReplyWords> words);

// The vector count the sensor is given after a transfer in: never above the number of teach rows.
constexpr std::uint16_t ClampVectorCount(std::uint16_t maxNr) {
    return maxNr > kTeachRows ? std::uint16_t(kTeachRows) : maxNr;
}
// More vectors than a direct output mode can show.
constexpr bool VectorCountTooHigh(std::uint16_t maxNr, std::uint16_t outMode) {
    return maxNr > kMaxDirectVectors && outMode != kOutModeBinary;
}

// --- parameter files ------------------------------------------------------------------------------------
using ParameterImage = std::array<std::uint16_t, kImageWords>;

// The file as it stands on disk, without panels: false with what is wrong with it, to follow "the parameter
// file X" ("does not exist or is not a file", "holds 150 numbers instead of 202") when it cannot be read
// whole or is not a parameter file; `image` is unchanged then. The vector count is not limited here.
bool LoadParameterFile(const std::string& path, ParameterImage& image, std::string& problem);
// Writes the image, replacing the file; false when it could not be written whole, errno saying why.
bool SaveParameterFile(const std::string& path, const ParameterImage& image);

// The file's text: 202 lines, each word right-aligned in 5 characters, each line ended by CR LF.
std::string FormatParameterFile(std::span<const std::uint16_t, kImageWords> image);
// Reads the 202 numbers in order, whatever white space separates them; a text with fewer or more numbers is
// not a parameter file. On failure returns false with the problem ("holds "12x" on line 17, which is not a
// whole number from 0 to 65535"), and `image` is unchanged.
bool ParseParameterFile(std::string_view text, std::array<std::uint16_t, kImageWords>& image,
                        std::string& problem);
