// Equation files: the coefficients of one compensation page as text, one value per line, each right-aligned
// in a field 10 characters wide and written so that it reads back to the same double.
#pragma once

#include <span>
#include <string>
#include <string_view>

inline constexpr int kEquationFieldWidth = 10;
// The largest magnitude a coefficient field takes; a file value beyond it is refused, not clamped.
inline constexpr double kCoefficientLimit = 1e12;

enum : int {
    kEquationCannotOpen = -1,  // missing or unreadable file
    kEquationNotANumber = -2,  // a line holds text that is not a number
    kEquationOutOfRange = -3,  // a value that is not finite or beyond kCoefficientLimit
    kEquationCannotWrite = -4,
};

// Writes the values, replacing the file. Returns 0 or kEquationCannotWrite.
int SaveEquationFile(std::string_view path, std::span<const double> coefs);

// Reads coefs.size() values. Returns the number of values found, or a negative error. coefs is written
// only when every value it needs was found and is valid; otherwise it is left as it was. Values after the
// first coefs.size() are not read.
int LoadEquationFile(std::string_view path, std::span<double> coefs);

// The same on the file's text, and the text SaveEquationFile writes.
int ParseEquationFile(std::string_view text, std::span<double> coefs);
std::string FormatEquationFile(std::span<const double> coefs);

// Why a load or save failed, as a sentence for the user ("holds text that is not a number on line 7.").
// Given the file's path, a value the load refused is named by its line, so a 30-line file need not be
// searched by eye.
std::string EquationFileProblem(int result, int needed, std::string_view path = {});
