// The merged request: consistent snapshots while writers replace it.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "engine/MergedRequest.h"

namespace vantor::engine {
namespace {

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

}  // namespace
}  // namespace vantor::engine
