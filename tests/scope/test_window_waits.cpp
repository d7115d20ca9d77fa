// The window link's waits, over TCP and the pseudo-terminal: a wait for a silent sensor sleeps instead of
// spinning, and a reply ends its wait when its bytes arrive, not at the end of a sleep.
#include <gtest/gtest.h>

#include <chrono>

#include "scope_frames.h"
#include "scope_session.h"

namespace {

class WindowWaits : public ScopeSession, public testing::WithParamInterface<Link> {};

double WallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

TEST_P(WindowWaits, ASilentWaitSleepsAndAReplyEndsItsWaitAtOnce) {
    StartConnected(GetParam());
    SensorLink& link = WindowLink();

    // 32 exchanges with a sensor that answers at once: a wait that slept through the reply's bytes would
    // end at the next tenth of a second, 3.2 s for all of them; answered, they take a few ms each (the bound
    // leaves room for a slow, busy machine).
    Frame reply;
    const double start = WallSeconds();
    for (int i = 0; i < 32; ++i) ASSERT_TRUE(ExchangeDataFrame(link, reply)) << "exchange " << i;
    EXPECT_LT(WallSeconds() - start, 2.4);

    // A wait of 1 s for a sensor that says nothing: the window's thread sleeps between its events, in
    // passes of at most 0.1 s. Passes of 1 ms slept a thousand times in that second. The count of sleeps,
    // unlike the processor time, does not grow on a busy machine or under the sanitizers.
    emulator->SetFaults({.silent = true});
    link.Send(link.Request(5));
    const long sleeps = ThreadSleeps();
    const double wall0 = WallSeconds();
    EXPECT_FALSE(link.ReceiveFrame(1.0, "complete"));
    const long slept = ThreadSleeps() - sleeps;
    const double wall = WallSeconds() - wall0;
    EXPECT_GE(wall, 1.0);
    EXPECT_LT(slept, 100) << "over " << wall << " s";
}

INSTANTIATE_TEST_SUITE_P(Links, WindowWaits, testing::Values(Link::Tcp, Link::Serial), LinkName);

}  // namespace
