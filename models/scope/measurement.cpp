#include "measurement.h"

#include "sensor_exchange.h"

Measurement MeasurementOf(const Frame& frame) {
    auto word = [&frame](int w) { return FrameWord(frame, w); };
    return {word(2), word(3), word(4),  word(5),  word(6),  word(7),
            word(8), word(9), word(10), word(11), word(12), word(13)};
}

void SetFrameVariables(const Measurement& m) {
    dataChL = m.chL, dataChC = m.chC, dataChR = m.chR;
    dataDensity = m.density, dataSym1 = m.sym1, dataSym2 = m.sym2;
    dataVec = m.vec, dataTemp = m.temp;
    dataAktMaxChL = m.aktMaxChL, dataAktMaxChC = m.aktMaxChC, dataAktMaxChR = m.aktMaxChR;
    dataTrigger = m.trigger;
}

Measurement FrameVariables() {
    return {dataChL, dataChC,  dataChR,       dataDensity,   dataSym1,      dataSym2,
            dataVec, dataTemp, dataAktMaxChL, dataAktMaxChC, dataAktMaxChR, dataTrigger};
}
