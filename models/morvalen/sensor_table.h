// Recognising the sensor model from its version text, and the compensation page of each sensor code, in
// the build the program links (build.h).
#pragma once

#include <cstdint>
#include <string>

#include "build.h"

// Sensor code -> page.
struct CodePage {
    std::uint16_t code;
    int page;
};
inline constexpr CodePage kCodePages[] = {{100, 1}, {200, 1}, {300, 2}, {400, 3}, {500, 4},
                                          {600, 5}, {601, 5}, {700, 6}, {800, 7}};

// The page (1..7) that a sensor code selects in this build, 0 for none.
int PageForSensorCode(std::uint16_t code);
// The code that the sensor table gives a version text, or `current` when no row matches.
std::uint16_t IdentifySensor(const char* versionText, std::uint16_t current);
// A row's model family: its fragment without the version ("MV-TARN3 V6." -> "MV-TARN3").
std::string FamilyOf(const SensorTableRow& row);
// The model family of the row that identifies the text ("MV-TARN3"), empty when no row matches.
std::string ModelFamily(const char* versionText);
