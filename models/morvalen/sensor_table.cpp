#include "sensor_table.h"

#include <cstring>

int PageForSensorCode(std::uint16_t code) {
    for (const auto& cp : kCodePages)
        if (cp.code == code) return cp.page <= kBuild.pageCount ? cp.page : 0;
    return 0;
}

std::uint16_t IdentifySensor(const char* versionText, std::uint16_t current) {
    for (int row = 0; row < kBuild.sensorRows; ++row)
        if (std::strstr(versionText, kSensorTable[row].fragment)) current = kSensorTable[row].code;
    return current;
}

std::string FamilyOf(const SensorTableRow& row) {
    const std::string fragment = row.fragment;
    return fragment.substr(0, fragment.rfind(" V"));
}

std::string ModelFamily(const char* versionText) {
    std::string family;
    for (int row = 0; row < kBuild.sensorRows; ++row)
        if (std::strstr(versionText, kSensorTable[row].fragment)) family = FamilyOf(kSensorTable[row]);
    return family;
}
