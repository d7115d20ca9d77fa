// What a program that runs an event loop of its own (the windows' platform) plugs into io, and what it
// takes from io at the end of the run. A program without one (a console tool, a test of io alone) sets
// nothing: its waits then wait on the socket or port itself.
#pragma once

#include <cstdint>
#include <functional>

namespace io {

// One pass of the host's event pump, waiting at most maxWaitMs for an event when none is pending; true when
// it ran anything.
using PumpPass = bool (*)(int maxWaitMs);
// Runs a program's callback (a TCP event, a change of the serial devices): the host counts it as the
// program's own code for as long as it runs.
using CallbackRunner = void (*)(void (*callback)(void* context), void* context);

// The wait hook. Every wait of io (the name lookup, the connect, serial and TCP reads and writes that wait,
// the disconnect) runs `pump` in passes of at most 10 ms while it waits, and every program callback goes
// through `runCallback`, on the thread that called SetWaitHook only. Waits on any other thread run neither:
// they wait on their own socket or port and deliver that thread's own TCP callbacks, so no thread runs
// another's events. Either member may be empty; SetWaitHook({}) removes the hook.
struct WaitHook {
    PumpPass pump = nullptr;
    CallbackRunner runCallback = nullptr;
};
void SetWaitHook(WaitHook hook);

// One timed pass of the calling thread's own events: runs what is pending; when nothing was, waits up to
// maxWaitMs for the next event and runs it. True when anything ran (the wait ended by an event, not by its
// limit). A thread without an event dispatcher gets one when the program has its application object.
bool RunPendingEvents(int maxWaitMs);

// Runs events with `pass` (one pass that waits at most the given milliseconds for an event when none is
// pending) until Timer() reaches `end`, or until `keepOn` turns false (asked before each pass). Each pass
// sleeps until the next event, for at most `maxPassMs`, so a long wait costs next to no processor time while
// a click or a stop still ends it at once; its last 2 ms are slept without events, so the wait does not run
// over.
void PassEventsUntil(double end, const std::function<void(int maxWaitMs)>& pass,
                     const std::function<bool()>& keepOn = {}, int maxPassMs = 100);

// Counts up whenever bytes go to or come from a serial port or a TCP conversation, on any thread: a host's
// pump that finds it changed since its last pass should not sleep (a series of exchanges with a sensor).
std::uint64_t LinkActivity();
// The same count for the calling thread's own ports and conversations only: a thread that waits for its own
// sensor is not kept awake by the bytes of the others.
std::uint64_t ThreadLinkActivity();

// The end of the run: every TCP conversation and serial port still open is closed without running any
// hook (no callback of the program runs any more). Call after every thread that used io has ended.
void CloseAllConversations();
void CloseAllPorts();

}  // namespace io
