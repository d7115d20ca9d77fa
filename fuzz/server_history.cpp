// The server history file (IPComboBox.cfg) as the interface panel reads it at start.
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "settings_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes = AsText({data, size});
    const std::vector<std::string> entries = ParseServerHistory(bytes);
    // A record is at least 101 bytes, so a file cannot give more entries than it holds records.
    FUZZ_CHECK(entries.size() <= size / (kHistoryRecordBytes + 1));
    for (const std::string& entry : entries) {
        FUZZ_CHECK(!entry.empty());
        FUZZ_CHECK(entry.size() <= std::size_t(kHistoryRecordBytes));
        FUZZ_CHECK(entry.find('\n') == std::string::npos);
        FUZZ_CHECK(entry.find('\0') == std::string::npos);
    }

    // The panel writes the history back after a commit: what it read must survive that unchanged.
    const std::string written = FormatServerHistory(entries);
    FUZZ_CHECK(written.size() == entries.size() * (kHistoryRecordBytes + 1));
    FUZZ_CHECK(ParseServerHistory(written) == entries);
    return 0;
}
