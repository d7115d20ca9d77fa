// Record files: any file a user opens in the record viewer or plots with sensor-tool.
#include <string>

#include "fuzz_support.h"
#include "record_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const std::size_t piece = input.Byte() % 61 + 1;
    const std::string_view text = AsText(input.Rest());
    records::RecordParser whole, pieces;
    whole.Feed(text);
    whole.End();
    // Read in pieces of any size, as a file that grows while followed, the result is the same.
    for (std::size_t at = 0; at < text.size(); at += piece) pieces.Feed(text.substr(at, piece));
    pieces.End();
    const records::RecordData& d = whole.Data();
    FUZZ_CHECK(pieces.Data().Size() == d.Size());
    FUZZ_CHECK(pieces.BadLines() == whole.BadLines());
    FUZZ_CHECK(pieces.Fatal() == whole.Fatal());
    FUZZ_CHECK(d.Size() <= whole.LinesSeen());
    // What is kept is written back as record lines and read again unchanged, time and values.
    std::string back;
    for (std::size_t i = 0; i < d.Size(); ++i) {
        FUZZ_CHECK(pieces.Data().At(i) == d.At(i));
        FUZZ_CHECK(pieces.Data().Time(i) == d.Time(i));
        // A line's time lies within its second, not before the line before where they share it.
        FUZZ_CHECK(d.Time(i) >= double(d.Second(i)) && d.Time(i) < double(d.Second(i) + 1));
        FUZZ_CHECK(i == 0 || d.Second(i) != d.Second(i - 1) || d.Time(i) >= d.Time(i - 1));
        FUZZ_CHECK(d.FileLine(i) <= whole.LinesSeen());
        back += records::FormatTime(double(d.Second(i)), false);
        back[back.size() - 9] = '\t';
        for (std::uint16_t v : d.At(i)) back += '\t' + std::to_string(v);
        back += "\r\n";
    }
    records::RecordParser again;
    again.Feed(back);
    again.End();
    FUZZ_CHECK(again.Data().Size() == d.Size());
    FUZZ_CHECK(again.BadLines() == 0);
    for (std::size_t i = 0; i < d.Size(); ++i) {
        FUZZ_CHECK(again.Data().At(i) == d.At(i));
        FUZZ_CHECK(again.Data().Second(i) == d.Second(i));
    }
    // The range of all lines holds every line.
    if (d.Size() > 0) {
        const records::Range r = d.RangeOf(0, d.Size());
        for (std::size_t i = 0; i < d.Size(); ++i)
            for (int s = 0; s < records::kSignals; ++s)
                FUZZ_CHECK(r.min[s] <= d.At(i)[s] && d.At(i)[s] <= r.max[s]);
    }
    return 0;
}
