// The merged request: the merge rules, and consistent snapshots while
// writers replace it.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "EngineTestSupport.h"
#include "engine/MergedRequest.h"

namespace vantor::engine {
namespace {

using test_support::Analog;
using test_support::Put;

AcqRequest Filled(int base, int count) {
    AcqRequest r = EmptyRequest();
    r.analogCount = count;
    r.frequencyCount = count / 2;
    for (int i = 0; i < count; ++i) {
        r.analogIds[i] = base + i;
        r.analogSamples[i] = base;
    }
    for (int i = 0; i < count / 2; ++i) r.frequencyIds[i] = 200 + i;
    return r;
}

TEST(MergedRequest, StartsEmptyAndClampsCounts) {
    MergedRequest sut;
    AcqRequest s = sut.Snapshot();
    EXPECT_EQ(s.analogCount, 0);
    EXPECT_EQ(s.analogIds[0], -1);
    EXPECT_EQ(s.counterIds[0], 0);

    AcqRequest bad = EmptyRequest();
    bad.analogCount = 9999;
    bad.counterCount = -4;
    bad.frequencyCount = 9;
    sut.Publish(bad);
    s = sut.Snapshot();
    EXPECT_EQ(s.analogCount, 16);
    EXPECT_EQ(s.counterCount, 0);
    EXPECT_EQ(s.frequencyCount, 8);
}

TEST(MergedRequest, ReaderNeverSeesAHalfWrittenRequest) {
    MergedRequest sut;
    const AcqRequest a = Filled(0, 16);
    const AcqRequest b = Filled(100, 4);
    std::atomic<bool> done{false};
    std::atomic<int> torn{0};

    std::thread reader([&] {
        while (!done.load()) {
            AcqRequest s = sut.Snapshot();
            bool isEmpty = s.analogCount == 0;
            bool isA = s.analogCount == 16 && s.analogIds[15] == 15 && s.frequencyCount == 8 &&
                       s.analogSamples[0] == 0;
            bool isB = s.analogCount == 4 && s.analogIds[3] == 103 && s.analogIds[4] == -1 &&
                       s.frequencyCount == 2 && s.analogSamples[3] == 100;
            if (!isEmpty && !isA && !isB) torn.fetch_add(1);
        }
    });
    for (int i = 0; i < 20000; ++i) {
        sut.Publish(i % 2 == 0 ? a : b);
        if (i % 7 == 0) sut.Reset();
        if (i % 5 == 0) sut.Update([](AcqRequest& r) { r.analogSamples[0] = r.analogSamples[0]; });
    }
    done.store(true);
    reader.join();
    EXPECT_EQ(torn.load(), 0);
}

// The order of appended ids and the samples kept for a repeated one are
// PeerTableTest.MergedRequestsFollowsTheTableInOrder's.
TEST(MergeRequestTest, KeepsEachListWithinItsLimitAndItsIdRange) {
    AcqRequest merged = EmptyRequest();
    AcqRequest r = EmptyRequest();
    for (int i = 0; i < 16; ++i) r.analogIds[i] = i;
    r.analogCount = 1000;  // read as 16
    for (int i = 0; i < 8; ++i) r.frequencyIds[i] = 200 + i;
    r.frequencyCount = 8;
    r.counterIds[0] = 300;
    r.counterCount = -5;  // read as 0
    Put(r.digitalOutIds, r.digitalOutCount, {4});
    MergeRequest(merged, r);
    EXPECT_EQ(merged.analogCount, 16);
    EXPECT_EQ(merged.frequencyCount, 8);
    EXPECT_EQ(merged.counterCount, 0);
    EXPECT_EQ(merged.digitalOutCount, 1);
    MergeRequest(merged, Analog({{16, 1}}));  // a seventeenth channel
    EXPECT_EQ(merged.analogCount, 16);
    EXPECT_EQ(merged.analogIds[15], 15);

    merged = EmptyRequest();
    AcqRequest bad = Analog({{99, 1}, {-5, 1}, {1000, 1}, {16, 1}});
    for (int i = 17; i <= 28; ++i) bad.analogIds[bad.analogCount++] = i;
    Put(bad.counterIds, bad.counterCount, {0, 299, 304, -1});
    Put(bad.frequencyIds, bad.frequencyCount, {208});
    Put(bad.digitalInIds, bad.digitalInCount, {16});
    Put(bad.digitalOutIds, bad.digitalOutCount, {-1});
    MergeRequest(merged, bad);
    EXPECT_EQ(merged.analogCount + merged.counterCount + merged.frequencyCount +
                  merged.digitalInCount + merged.digitalOutCount,
              0);

    AcqRequest good = Analog({{15, 4}, {0, 1}});
    Put(good.counterIds, good.counterCount, {303});
    Put(good.frequencyIds, good.frequencyCount, {207});
    Put(good.digitalInIds, good.digitalInCount, {15});
    Put(good.digitalOutIds, good.digitalOutCount, {0});
    MergeRequest(merged, good);
    ASSERT_EQ(merged.analogCount, 2);
    EXPECT_EQ(merged.analogIds[0], 15);
    EXPECT_EQ(merged.analogSamples[0], 4);
    ASSERT_EQ(merged.counterCount, 1);
    EXPECT_EQ(merged.counterIds[0], 303);
    EXPECT_EQ(merged.frequencyIds[0], 207);
    EXPECT_EQ(merged.digitalInIds[0], 15);
    EXPECT_EQ(merged.digitalOutIds[0], 0);
}

}  // namespace
}  // namespace vantor::engine
