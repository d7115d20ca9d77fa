// Writing a page's compensation table into the sensor, without panels: prepare orders (180) for the table
// blocks, each followed by a pause, then write orders (182) of ten factors each, every frame echoed.
#pragma once

#include <functional>

#include "frame.h"

class SensorLink;
struct PageState;

// The payload of the table orders: 180 carries the block address; 182 the address, the count and `count`
// factors of the send buffer of `pages` starting at `start`.
void FillMorvalenPayload(Frame& request, const PageState& pages, unsigned short order, unsigned short start,
                         unsigned short value, unsigned short count);

// Told after every echoed frame (framesDone of framesTotal) and once more at the end. `indicator` is the
// value the page's progress indicator shows then (33.33, 66.66, ... for the write orders, 0 at the end),
// or negative while the prepare orders run, which leave the indicator alone.
using TransferProgress = std::function<void(int page, int framesDone, int framesTotal, double indicator)>;

// The transfer of page 1..7's factor curves in `pages`, laid out in its send buffer after the prepare orders
// (a recalculation during the write orders does not change what is sent), on `link`. True when every frame
// was echoed; a failure has gone through the link's failure report.
bool SendParaData(SensorLink& link, int page, PageState& pages, const TransferProgress& progress = {});
