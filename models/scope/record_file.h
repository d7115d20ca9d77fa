// The record file's lines and the record-time arithmetic, as plain functions: the header line, a data line
// of one measurement, and the split of a record's duration into days, hours, minutes and seconds.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "measurement.h"

// The eight recorded values of a frame: CH_L, CH_C, CH_R, density, symmetry 1, symmetry 2, vector,
// temperature.
using RecordValues = std::array<std::uint16_t, 8>;
// What a line records of a measurement: its first eight values (not the maxima or the trigger input).
constexpr RecordValues RecordValuesOf(const Measurement& m) {
    return {m.chL, m.chC, m.chR, m.density, m.sym1, m.sym2, m.vec, m.temp};
}

// "DATE", "TIME", then the eight value names, each followed by a TAB, then CR LF.
std::string RecordHeaderLine();
// Date, TAB, time, TAB, the eight values as unsigned decimals separated by TABs, CR LF.
std::string RecordDataLine(std::string_view date, std::string_view time, const RecordValues& values);

// Appends `text` to the record file at `path` (made when missing); false, with the system's reason in
// `reason`, when it was not written whole. What a failed write left of the text (the disk filled up, a file
// size limit) is cut off again, so the next line does not run on from a fragment. An empty text only checks
// that the file takes lines.
bool AppendRecordText(const std::string& path, std::string_view text, std::string& reason);
// Makes the record file at `path` anew with `header` as its first line; false, with the system's reason in
// `reason`, when it could not (no file is left behind then).
bool StartRecordFile(const std::string& path, std::string_view header, std::string& reason);
// Cuts a last line that lacks its line end (a record that ended with the power) off the file: a line
// appended after it would join it, and closing it would make whole a line whose last value was cut short
// (TEMP 31 of 315). `removed` gets what was cut (empty when the file ends with a line end, is empty or does
// not exist). False with the system's reason when the file cannot be cut.
bool CutPartialLastLine(const std::string& path, std::string& removed, std::string& reason);

// Whether lines may be appended to the file at `path`: it is missing or empty, or its first line is the
// record header or a record line (a date MM-DD-YYYY and a TAB), not a parameter file or other text.
bool TakesRecordLines(const std::string& path);

struct RecordDuration {
    std::uint32_t days, hours, minutes, seconds;
};
// Interval times count, in 32 bits: 65,535 × 65,535 seconds fit.
constexpr std::uint32_t RecordSeconds(std::uint16_t interval, std::uint16_t count) {
    return std::uint32_t(interval) * std::uint32_t(count);
}
constexpr RecordDuration SplitRecordTime(std::uint32_t total) {
    const std::uint32_t days = total / 86400, rest = total % 86400;
    return {days, rest / 3600, rest % 3600 / 60, rest % 60};
}
