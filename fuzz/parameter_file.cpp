// Parameter files: the scope's whole parameter set, loaded by the user from any file.
#include <string>

#include "fuzz_support.h"
#include "parameter_image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = AsText({data, size});
    ParameterImage image;
    image.fill(0xBEEF);
    const ParameterImage before = image;
    std::string problem;
    if (!ParseParameterFile(text, image, problem)) {
        FUZZ_CHECK(image == before);  // nothing is loaded from a file that is not a parameter file
        FUZZ_CHECK(!problem.empty());
        return 0;
    }
    // Saved and loaded again, the set comes back the same; the file is 202 lines of 7 bytes.
    const std::string saved = FormatParameterFile(image);
    FUZZ_CHECK(saved.size() == std::size_t(kImageWords) * 7);
    ParameterImage back{};
    std::string again;
    FUZZ_CHECK(ParseParameterFile(saved, back, again));
    FUZZ_CHECK(back == image);
    return 0;
}
