// One measurement frame decoded: the twelve values the sensor reports in words 2 to 13 of its 36 bytes.
// The live display, the graph panel, the record and sensor-tool take it as a value.
#pragma once

#include "frame.h"

struct Measurement {
    unsigned short chL, chC, chR;  // channel intensities
    unsigned short density, sym1, sym2;
    unsigned short vec;  // detected vector (teach row); 255: none or failure
    unsigned short temp;
    unsigned short aktMaxChL, aktMaxChC, aktMaxChR;  // present channel maxima
    unsigned short trigger;                          // trigger input
};

// Words 2 to 13 of a measurement frame; the header (words 0, 1) and the spare words 14 to 17 are not read.
Measurement MeasurementOf(const Frame& frame);
