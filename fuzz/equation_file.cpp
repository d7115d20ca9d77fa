// Equation files: the coefficients of one compensation page, loaded by the user from any file.
#include "equation_file.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "fuzz_support.h"

namespace {

bool SameBits(std::span<const double> a, std::span<const double> b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    // The pages take between 1 and 20 coefficients.
    const std::size_t needed = 1 + in.Byte() % 20;
    const std::string_view text = AsText(in.Rest());

    const double kUntouched = -7.25;  // a value no input is asked to give
    std::vector<double> coefs(needed, kUntouched);
    const int result = ParseEquationFile(text, coefs);
    if (result != int(needed)) {
        // Refused or short: the page keeps what it had.
        FUZZ_CHECK(result < int(needed));
        FUZZ_CHECK(result >= 0 || result == kEquationNotANumber || result == kEquationOutOfRange);
        for (double v : coefs) FUZZ_CHECK(std::memcmp(&v, &kUntouched, sizeof v) == 0);
        FUZZ_CHECK(!EquationFileProblem(result, int(needed)).empty());
        return 0;
    }
    for (double v : coefs) FUZZ_CHECK(std::isfinite(v) && std::fabs(v) <= kCoefficientLimit);

    // Saved and loaded again, every coefficient comes back to the bit.
    const std::string saved = FormatEquationFile(coefs);
    std::vector<double> back(needed, kUntouched);
    FUZZ_CHECK(ParseEquationFile(saved, back) == int(needed));
    FUZZ_CHECK(SameBits(back, coefs));
    return 0;
}
