// The scope window's frames on its one link (the program's SensorLink): the frame variables the displays
// show, and the exchanges its panels start, over the scope's frames (scope_frames.h).
#pragma once

#include "scope_frames.h"

// Payload of scope request `order` on the window's link: FillScopePayload with its pp.
void FillScopeWindowPayload(Frame& request, unsigned short order, unsigned short arg, unsigned short,
                            unsigned short);

// Told of each frame of a parameter series as it completes (1..count), for progress displays; null for
// none.
using SeriesStep = void (*)(int done, int count);
void SetSeriesProgress(SeriesStep progress);
// The parameter image in pp words 0..201, written (true when every frame was echoed) or read into pp and
// handed reply by reply to onReply (true when every reply arrived).
bool WriteParameterSeries(const ParameterImage& image, bool eeprom);
bool ReadParameterSeries(bool eeprom, void (*onReply)());

// The latest measurement frame (all zero until the first one arrives).
extern unsigned short dataChL, dataChC, dataChR, dataDensity, dataSym1, dataSym2, dataVec, dataTemp,
    dataAktMaxChL, dataAktMaxChC, dataAktMaxChR, dataTrigger;

// One order-5 exchange whose request is already built; the reply is complete when bytesToRead ends at 0.
void GetDataFrame();
// The words of a measurement frame (databuf) into the frame variables.
void CopyDatatoVars();
// The frame variables set to a measurement, and read back as one.
void SetFrameVariables(const Measurement& m);
Measurement FrameVariables();
// Tells the sensor to stop sending measurement frames by itself (order 50, argument 0); no reply.
void StopAutoSend();
