// The in-process auto-reset event. A wake-up of a thread already waiting is
// AcquisitionThread.EndsWithinOneCycleOfStopAndSignalsItsExitEvent's.
#include <gtest/gtest.h>

#include "platform/Event.h"

namespace {

using vantor::platform::Event;

TEST(Event, OneSetIsKeptUntilAWaitOrResetTakesIt) {
    Event sut;
    sut.Set();
    sut.Set();  // not counted: one pending signal at most
    EXPECT_TRUE(sut.WaitFor(0));
    EXPECT_FALSE(sut.WaitFor(10));
    sut.Set();
    sut.Reset();
    EXPECT_FALSE(sut.WaitFor(0));
}

}  // namespace
