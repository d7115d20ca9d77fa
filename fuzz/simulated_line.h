// The platform's serial port, TCP client, event pump and clock, simulated in memory, so that the link
// (com232.cpp) can be fuzzed without a sensor, a socket or a display. The sensor's side is a schedule of
// byte arrivals on a virtual clock; the clock moves only when the program pumps events (a fixed step) or
// waits inside a read, as the real one would. TCP events are raised as the platform raises them: one per
// pump pass, never inside the conversation's own callback, again while unread bytes remain, and the
// disconnect only after the last byte has been offered.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace simulated_line {

inline constexpr double kPumpStepSeconds = 0.002;

// A fresh line (TCP or serial) at time 0, with nothing scheduled and nothing written.
void Reset(bool tcp);
// Bytes that are waiting on the program's side of the line already.
void Preload(std::span<const std::uint8_t> bytes);
// Bytes the sensor sends `delay` seconds after the program's next frame has left (an empty run: the
// line hangs up then). Before any frame is written, call Start to begin the clock for them instead.
void ScheduleAfterWrite(double delay, std::span<const std::uint8_t> bytes, bool hangUp = false);
// Starts the schedule now, without waiting for a written frame.
void Start();

// What the program could have read since its frame left: the bytes waiting on its side when the frame
// was written, then everything that arrived after.
const std::vector<std::uint8_t>& ReceivableSinceWrite();
// Every byte that ever arrived on the program's side (preloaded ones included).
const std::vector<std::uint8_t>& AllArrived();
// Frames the program wrote.
const std::vector<std::vector<std::uint8_t>>& Written();
std::string LastStatusText();
int Popups();
double Now();

}  // namespace simulated_line
