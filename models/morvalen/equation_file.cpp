#include "equation_file.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "io.h"
#include "whole_file.h"

int SaveEquationFile(std::string_view path, std::span<const double> coefs) {
    return WriteFileWhole(path, ArrayToText(coefs, kEquationFieldWidth)) ? 0 : kEquationCannotWrite;
}

namespace {

bool Acceptable(double coefficient) {
    return std::isfinite(coefficient) && std::fabs(coefficient) <= kCoefficientLimit;
}

// `found` is what FileToArray or TextToArray gave for `values`, read for coefs.
int TakeCoefficients(int found, const std::vector<double>& values, std::span<double> coefs) {
    if (found == -2) return kEquationNotANumber;
    if (found < 0) return kEquationCannotOpen;
    if (static_cast<size_t>(found) < coefs.size()) return found;
    for (double v : values)
        if (!Acceptable(v)) return kEquationOutOfRange;
    std::copy(values.begin(), values.end(), coefs.begin());
    return found;
}

// The line (from 1) of the first of the first `needed` values that a load refuses; 0 when there is none or
// the file cannot be read. Each line goes through the reader a load uses.
int RefusedLine(std::string_view path, int needed) {
    const int file = CVI_OpenFile(path, VAL_READ_ONLY, VAL_OPEN_AS_IS, VAL_ASCII);
    if (file < 0) return 0;
    constexpr int kLongestLine = 4096;
    int refused = 0;
    std::string line;
    for (int number = 1, values = 0; values < needed && ReadLine(file, line, kLongestLine) >= 0; ++number) {
        double v = 0;
        const int found = TextToArray(line, std::span<double>(&v, 1));
        if (found == 0) continue;  // a blank line
        if (found < 0 || !Acceptable(v)) {
            refused = number;
            break;
        }
        ++values;
    }
    CVI_CloseFile(file);
    return refused;
}

}  // namespace

int LoadEquationFile(std::string_view path, std::span<double> coefs) {
    std::vector<double> values(coefs.size());
    return TakeCoefficients(FileToArray(path, values), values, coefs);
}

int ParseEquationFile(std::string_view text, std::span<double> coefs) {
    std::vector<double> values(coefs.size());
    return TakeCoefficients(TextToArray(text, values), values, coefs);
}

std::string FormatEquationFile(std::span<const double> coefs) {
    return ArrayToText(coefs, kEquationFieldWidth);
}

std::string EquationFileProblem(int result, int needed, std::string_view path) {
    const int line =
        result == kEquationNotANumber || result == kEquationOutOfRange ? RefusedLine(path, needed) : 0;
    const std::string where = line > 0 ? " on line " + std::to_string(line) : "";
    switch (result) {
        case kEquationCannotOpen:
            return "cannot be opened or read.";
        case kEquationNotANumber:
            return "holds text that is not a number" + where + ".";
        case kEquationOutOfRange:
            return "holds a value that is not a number between -1e12 and 1e12" + where + ".";
        case kEquationCannotWrite:
            return "cannot be written.";
        default:
            return "holds " + std::to_string(std::max(result, 0)) + " of the " + std::to_string(needed) +
                   " values this page needs.";
    }
}
