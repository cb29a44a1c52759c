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

TEST(MergeRequestTest, AppendsNewIdsInOrderWithTheirSamples) {
    AcqRequest merged = Analog({{5, 50}, {7, 70}});
    MergeRequest(merged, Analog({{3, 30}, {5, 99}}));
    ASSERT_EQ(merged.analogCount, 3);
    EXPECT_EQ(merged.analogIds[0], 5);
    EXPECT_EQ(merged.analogIds[1], 7);
    EXPECT_EQ(merged.analogIds[2], 3);
    EXPECT_EQ(merged.analogSamples[0], 50);  // an earlier channel keeps its samples
    EXPECT_EQ(merged.analogSamples[2], 30);
}

TEST(MergeRequestTest, StopsAtEachListsLimitAndClampsAbsurdCounts) {
    AcqRequest merged = EmptyRequest();
    AcqRequest r = EmptyRequest();
    for (int i = 0; i < 16; ++i) r.analogIds[i] = i;
    r.analogCount = 1000;  // read as 16
    for (int i = 0; i < 8; ++i) r.frequencyIds[i] = 200 + i;
    r.frequencyCount = 8;
    r.counterIds[0] = 300;
    r.counterCount = -5;  // read as 0
    r.digitalOutIds[0] = 4;
    r.digitalOutCount = 1;
    MergeRequest(merged, r);
    EXPECT_EQ(merged.analogCount, 16);
    EXPECT_EQ(merged.frequencyCount, 8);
    EXPECT_EQ(merged.counterCount, 0);
    EXPECT_EQ(merged.digitalOutCount, 1);
    MergeRequest(merged, Analog({{16, 1}}));  // a seventeenth channel
    EXPECT_EQ(merged.analogCount, 16);
    EXPECT_EQ(merged.analogIds[15], 15);
}

TEST(MergeRequestTest, IdsOutsideTheirRangesTakeNoSlot) {
    AcqRequest merged = EmptyRequest();
    AcqRequest bad = Analog({{99, 1}, {-5, 1}, {1000, 1}, {16, 1}});
    for (int i = 17; i <= 28; ++i) bad.analogIds[bad.analogCount++] = i;
    bad.counterIds[0] = 0;
    bad.counterIds[1] = 299;
    bad.counterIds[2] = 304;
    bad.counterIds[3] = -1;
    bad.counterCount = 4;
    bad.frequencyIds[0] = 208;
    bad.frequencyCount = 1;
    bad.digitalInIds[0] = 16;
    bad.digitalInCount = 1;
    bad.digitalOutIds[0] = -1;
    bad.digitalOutCount = 1;
    MergeRequest(merged, bad);
    EXPECT_EQ(merged.analogCount + merged.counterCount + merged.frequencyCount +
                  merged.digitalInCount + merged.digitalOutCount,
              0);

    AcqRequest good = Analog({{15, 4}, {0, 1}});
    good.counterIds[0] = 303;
    good.counterCount = 1;
    good.frequencyIds[0] = 207;
    good.frequencyCount = 1;
    good.digitalInIds[0] = 15;
    good.digitalInCount = 1;
    good.digitalOutIds[0] = 0;
    good.digitalOutCount = 1;
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
