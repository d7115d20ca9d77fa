#include "parameter_diff.h"

namespace {

constexpr const char* kScalarNames[kScalarParams] = {"power",
                                                     "channel mode",
                                                     "average",
                                                     "evaluation mode",
                                                     "hold",
                                                     "intensity limit",
                                                     "vector count (MAXVEC-No.)",
                                                     "output mode",
                                                     "trigger",
                                                     "external teach",
                                                     "max up",
                                                     "max down",
                                                     "spare 13",
                                                     "spare 14",
                                                     "spare 15",
                                                     "spare 16"};
constexpr const char* kColumnNames[kTeachColumns] = {"density",    "density tolerance",
                                                     "symmetry 1", "symmetry 1 tolerance",
                                                     "symmetry 2", "symmetry 2 tolerance"};

}  // namespace

std::string ParameterName(int word) {
    if (word < 0 || word >= kImageWords) return "word " + std::to_string(word);
    if (word < kScalarParams) return kScalarNames[word];
    const int row = (word - kScalarParams) / kTeachColumns, column = (word - kScalarParams) % kTeachColumns;
    return "teach row " + std::to_string(row) + " column " + std::to_string(column + 1) + " (" +
           kColumnNames[column] + ")";
}

std::vector<ParameterDifference> CompareImages(const ParameterImage& file, const ParameterImage& sensor) {
    std::vector<ParameterDifference> differences;
    for (int w = 0; w < kImageWords; ++w)
        if (file[w] != sensor[w]) differences.push_back({w, file[w], sensor[w]});
    return differences;
}

std::string DifferenceLines(const std::vector<ParameterDifference>& differences) {
    std::string text;
    for (const ParameterDifference& d : differences)
        text += ParameterName(d.word) + ": file " + std::to_string(d.file) + ", sensor " +
                std::to_string(d.sensor) + "\n";
    return text;
}
