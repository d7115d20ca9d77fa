// What differs between the Morvalen builds, in one table; each executable links the row it is built as.
#pragma once

struct SensorTableRow {
    const char* fragment;
    unsigned short code;
};

struct MorvalenBuild {
    const char* programName;  // also the base name of the panel set
    const char* title;        // product title on the logo area and the window
    int pageCount;            // compensation pages 1..pageCount
    int sensorRows;           // rows of the sensor table in use, from the top
};

// The sensor table, in the order the rows are tested; a build uses its first sensorRows rows.
inline constexpr SensorTableRow kSensorTable[] = {
    {"MV-TARN3 V6.", 100}, {"MV-TARN4 V6.", 200},        {"PLRX2704 V6.", 200},
    {"LUMAVEX3 V3.", 300}, {"MV-TARN-PQ V1.", 400},      {"KTM-PQ V4.", 500},
    {"ORVANE2 V3.1", 600}, {"ORVANE V3.", 601},          {"QWD/HZD V2.", 700},
    {"QWD/HZD V3.", 700},  {"QWD-HZD-NEX8 AC V3.", 700}, {"QWD-HZD-NEX8 DC V3.", 700},
    {"MV-NEX8 V1.", 800},
};

inline constexpr MorvalenBuild kMorvalenV15{"MorvalenV15", "MORVALEN-Scope V1.5", 7, 13};
inline constexpr MorvalenBuild kMorvalenV14{"MorvalenV14", "MORVALEN-Scope V1.4", 6, 10};

// Defined by the build (build_v15.cpp or build_v14.cpp).
extern const MorvalenBuild& kBuild;
