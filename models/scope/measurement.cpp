#include "measurement.h"

Measurement MeasurementOf(const Frame& frame) {
    auto word = [&frame](int w) { return FrameWord(frame, w); };
    return {word(2), word(3), word(4),  word(5),  word(6),  word(7),
            word(8), word(9), word(10), word(11), word(12), word(13)};
}
