// The in-process auto-reset event.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

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

TEST(Event, SetWakesAThreadAlreadyWaiting) {
    constexpr unsigned kPatienceMs = 10000;  // only reached when a wake-up is lost
    Event sut;
    Event started;
    std::atomic<bool> woke{false};
    std::thread waiter([&] {
        started.Set();
        woke = sut.WaitFor(kPatienceMs);
    });
    ASSERT_TRUE(started.WaitFor(kPatienceMs));

    sut.Set();
    waiter.join();

    EXPECT_TRUE(woke);
}

}  // namespace
