// What the shared sensor link and interface panel do differently in the scope: the frame payloads, the
// time limits, where status texts go, and what follows a version query or a failed exchange.
#pragma once

// Payload of scope request `order` (bytes 4..35 of szWriteBuf): order 2 carries row `arg` and its six
// teach words, orders 4, 50 and 190 carry `arg`, every other order the parameter words pp[0..15].
void FillScopePayload(unsigned short order, unsigned short arg, unsigned short, unsigned short);
void SetScopeProfiles();
