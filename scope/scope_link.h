// What the shared sensor link and interface panel do differently in the scope: the frame payloads, the
// time limits, where status texts go, and what follows a version query or a failed exchange.
#pragma once

void SetScopeProfiles();
