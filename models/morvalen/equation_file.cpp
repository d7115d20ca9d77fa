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

// `found` is what FileToArray or TextToArray gave for `values`, read for coefs.
int TakeCoefficients(int found, const std::vector<double>& values, std::span<double> coefs) {
    if (found == -2) return kEquationNotANumber;
    if (found < 0) return kEquationCannotOpen;
    if (static_cast<size_t>(found) < coefs.size()) return found;
    for (double v : values)
        if (!std::isfinite(v) || std::fabs(v) > kCoefficientLimit) return kEquationOutOfRange;
    std::copy(values.begin(), values.end(), coefs.begin());
    return found;
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

std::string EquationFileProblem(int result, int needed) {
    switch (result) {
        case kEquationCannotOpen:
            return "cannot be opened or read.";
        case kEquationNotANumber:
            return "holds text that is not a number.";
        case kEquationOutOfRange:
            return "holds a value that is not a number between -1e12 and 1e12.";
        case kEquationCannotWrite:
            return "cannot be written.";
        default:
            return "holds " + std::to_string(std::max(result, 0)) + " of the " + std::to_string(needed) +
                   " values this page needs.";
    }
}
