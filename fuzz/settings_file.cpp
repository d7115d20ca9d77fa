// The settings file (ComSettings.cfg) as the interface panel reads it at start.
#include <string>

#include "fuzz_support.h"
#include "settings_files.h"

namespace {

bool operator==(const ComSettings& a, const ComSettings& b) {
    return a.protocol == b.protocol && a.comPort == b.comPort && a.baudIndex == b.baudIndex &&
           a.server == b.server && a.portNumber == b.portNumber;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = AsText({data, size});
    ComSettings read;
    ParseComSettings(text, read);
    FUZZ_CHECK(read.server.size() <= std::size_t(kServerTextMax));
    FUZZ_CHECK(read.portNumber.size() <= std::size_t(kPortTextMax));
    FUZZ_CHECK(read.server.find('\n') == std::string::npos);
    FUZZ_CHECK(read.portNumber.find('\n') == std::string::npos);

    // What was read is what the panel writes back when the user accepts it unchanged: written and read
    // again it must come back the same, and writing it a second time must give the same file.
    const std::string written = FormatComSettings(read);
    ComSettings back{-1, -1, -1, "x", "y"};
    ParseComSettings(written, back);
    FUZZ_CHECK(back == read);
    FUZZ_CHECK(FormatComSettings(back) == written);
    return 0;
}
