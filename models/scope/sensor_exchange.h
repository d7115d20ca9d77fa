// The scope's frames on the link, without panels: the payloads of its orders, the parameter image's write
// and read series, the measurement frame exchange and its frame variables, and stopping the sensor's
// automatic sending. The scope's windows and the command-line tool run the same frames through these.
#pragma once

// Payload of scope request `order` (bytes 4..35 of szWriteBuf): order 2 carries row `arg` and its six
// teach words, orders 4, 50 and 190 carry `arg`, every other order the parameter words pp[0..15].
void FillScopePayload(unsigned short order, unsigned short arg, unsigned short, unsigned short);

// --- the parameter image ------------------------------------------------------------------------------
// Writes pp words 0..201: order 1 with the scalars, order 2 for each teach row, and order 6 when the sensor
// is to keep them in its EEPROM. Every frame is echoed; the series stops at the first failure (the failure
// report has run). True when every frame was echoed.
bool WriteParameterSeries(bool eeprom);

// Reads the parameter set: order 8 first when reading the EEPROM, then order 3 and order 4 for each teach
// row. Every complete reply is unpacked into pp words 0..17 and handed to onReply. Stops at the first
// failed exchange (the failure report has run); true when every reply arrived.
bool ReadParameterSeries(bool eeprom, void (*onReply)());

// One read exchange (order 3 or 4) whose request is already built in szWriteBuf: the reply is unpacked into
// pp words 0..17 and handed to onReply. False when it did not arrive complete (the failure report has run).
bool Befehl3plus4(void (*onReply)());

// Told of each frame of a series as it completes (1..count), for progress displays; null for none.
using SeriesProgress = void (*)(int done, int count);
void SetSeriesProgress(SeriesProgress progress);

// --- measurement frames -------------------------------------------------------------------------------
// The latest measurement frame (all zero until the first one arrives).
extern unsigned short dataChL, dataChC, dataChR, dataDensity, dataSym1, dataSym2, dataVec, dataTemp,
    dataAktMaxChL, dataAktMaxChC, dataAktMaxChR, dataTrigger;

// One order-5 exchange whose request is already built; the reply is complete when bytesToRead ends at 0.
void GetDataFrame();
// The words of a measurement frame (databuf) into the frame variables.
void CopyDatatoVars();
// Tells the sensor to stop sending measurement frames by itself (order 50, argument 0); no reply.
void StopAutoSend();
