// The scope's frames on a link, without panels: the payloads of its orders, the parameter image's write
// and read series, the measurement frame exchange, and stopping the sensor's automatic sending. The scope's
// windows and the command-line tool run the same frames through these, each on its own link.
#pragma once

#include <functional>
#include <span>

#include "frame.h"
#include "measurement.h"
#include "parameter_image.h"

class SensorLink;

// Payload of scope request `order`: order 2 carries row `arg` and its six teach words of `words`, orders
// 4, 50 and 190 carry `arg`, every other order words 0..15. `words` holds an image (kImageWords words):
// the link's pp, which the frames of every order without a payload of their own carry.
void FillScopePayload(Frame& request, unsigned short order, unsigned short arg,
                      std::span<const unsigned short> words);

// Told of each frame of a series as it completes (1..count), for progress displays; may be empty.
using SeriesProgress = std::function<void(int done, int count)>;

// --- the parameter image ------------------------------------------------------------------------------
// Writes `image` (it becomes the link's pp): order 1 with the scalars, order 2 for each teach row, and
// order 6 when the sensor is to keep them in its EEPROM. Every frame is echoed; the series stops at the
// first failure (the link's failure report has run). True when every frame was echoed.
bool WriteParameterSeries(SensorLink& link, const ParameterImage& image, bool eeprom,
                          const SeriesProgress& progress = {});

// Reads the parameter set: order 8 first when reading the EEPROM, then order 3 and order 4 for each teach
// row. Every complete reply is unpacked into the link's pp words 0..17 and handed to onReply. Stops at
// the first failed exchange (the failure report has run); true when every reply arrived.
bool ReadParameterSeries(SensorLink& link, bool eeprom,
                         const std::function<void(const Frame& reply)>& onReply,
                         const SeriesProgress& progress = {});

// --- measurement frames -------------------------------------------------------------------------------

// One order-5 exchange whose request is already built in the link's send buffer; the reply is complete
// when the link's bytesToRead ends at 0.
void GetDataFrame(SensorLink& link);
// Builds the order-5 request and runs the exchange; true with the reply when it arrived whole.
bool ExchangeDataFrame(SensorLink& link, Frame& reply);
// The exchange's two halves, for a caller that asks for the next frame before it handles the last one:
// the order-5 request leaves; then its reply is awaited (true with it when it arrived whole).
void SendDataRequest(SensorLink& link);
bool ReceiveDataFrame(SensorLink& link, Frame& reply);
// Tells the sensor to stop sending measurement frames by itself (order 50, argument 0); no reply.
void StopAutoSend(SensorLink& link);
// Tells the sensor to send a measurement frame on every trigger event (order 50, argument 1); no reply.
void StartAutoSend(SensorLink& link);
