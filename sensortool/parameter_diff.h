// The differences between two parameter images, named as the scope's panels name the parameters: what
// send-params --verify and compare-params print.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "parameter_image.h"

// The name of image word 0..201: "power", "vector count (MAXVEC-No.)", "teach row 3 column 2 (density
// tolerance)" (rows counted 0..30 as the teach table labels them, columns 1..6 as it shows them).
std::string ParameterName(int word);

struct ParameterDifference {
    int word;
    std::uint16_t file, sensor;
};
std::vector<ParameterDifference> CompareImages(const ParameterImage& file, const ParameterImage& sensor);
// One line per difference: "power: file 500, sensor 499".
std::string DifferenceLines(const std::vector<ParameterDifference>& differences);
