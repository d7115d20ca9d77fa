#include "record_file.h"

std::string RecordHeaderLine() {
    std::string line;
    for (const char* name :
         {"DATE", "TIME", "CH_L", "CH_C", "CH_R", "DENSITY", "SYM1", "SYM2", "VECTOR", "TEMP"}) {
        line += name;
        line += '\t';
    }
    return line + "\r\n";
}

std::string RecordDataLine(std::string_view date, std::string_view time, const RecordValues& values) {
    std::string line;
    line.reserve(64);
    line += date;
    line += '\t';
    line += time;
    line += '\t';
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) line += '\t';
        line += std::to_string(values[i]);
    }
    return line + "\r\n";
}
