// Ring rules and the shared block across processes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "EngineTestSupport.h"
#include "platform/IpcNames.h"
#include "platform/SharedMemoryObject.h"
#include "protocol/BlockLayout.h"
#include "protocol/CSharedMemory.h"

namespace vantor::engine {
namespace {

TEST(Ring, KeepsTheNewest1023AndRefusesBadChannels) {
    auto image = std::make_unique<SharedBlock>();
    InitBlockImage(*image);
    for (int i = 0; i < 1500; ++i) ASSERT_TRUE(PushSample(*image, 3, static_cast<float>(i)));

    const AnalogRing& ring = image->analogRing[3];
    EXPECT_EQ(ring.next, 476);
    EXPECT_EQ(ring.oldest, 477);
    EXPECT_EQ(RingFill(ring), 1023);
    float newest[1100];
    ASSERT_EQ(NewestSamples(ring, newest, 1100), 1023);
    EXPECT_EQ(newest[0], 1499.0F);
    EXPECT_EQ(newest[1022], 477.0F);  // the oldest still held

    // Full after 1024 pushes; channels outside the rings are refused.
    for (int i = 0; i < 1024; ++i) PushSample(*image, 0, 1.0F);
    EXPECT_EQ(image->analogRing[0].oldest, 1);
    EXPECT_EQ(image->analogRing[0].next, 0);

    const float batch[3] = {1, 2, 3};
    EXPECT_FALSE(PushSamples(*image, 16, batch, 3));
    EXPECT_FALSE(PushSamples(*image, -1, batch, 3));
    EXPECT_EQ(image->headMark, kHeadMark);  // nothing written outside the rings
    EXPECT_EQ(image->tailMark, kTailMark);
}

TEST(Ring, GarbageIndicesFromAnotherWriterStayInsideTheRing) {
    auto image = std::make_unique<SharedBlock>();
    InitBlockImage(*image);
    image->analogRing[1].next = 70000;
    image->analogRing[1].oldest = -5;
    EXPECT_TRUE(PushSample(*image, 1, 2.5F));
    EXPECT_GE(image->analogRing[1].next, 0);
    EXPECT_LT(image->analogRing[1].next, kRingSlots);
    EXPECT_EQ(image->tailMark, kTailMark);
    float out[4];
    EXPECT_LE(NewestSamples(image->analogRing[1], out, 4), 4);
}

TEST(SharedBlock, UnmappedObjectGivesNoData) {
    CSharedMemory sut;
    EXPECT_EQ(sut.GetData(), nullptr);
    EXPECT_FALSE(sut.Create("bad/name", kBlockSize));  // '/' inside a POSIX shm name
    EXPECT_EQ(sut.GetData(), nullptr);
    EXPECT_FALSE(sut.LastError().empty());

    // A mutex that cannot be had leaves the area unmapped: nobody copies unlocked.
    const std::string mutexName = platform::ShmName("NXSharedMemoryMutex");
    platform::SharedMemoryObject::Unlink(mutexName);
    int fd = ::shm_open(mutexName.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::fchmod(fd, 0666), 0);
    ::close(fd);
    EXPECT_FALSE(sut.Create("NXSharedMemory", kBlockSize));
    platform::SharedMemoryObject::Unlink(mutexName);
    EXPECT_EQ(sut.GetData(), nullptr);
    EXPECT_EQ(sut.LastErrorCode(), platform::kUnsafeObject);
    BlockLock lock(sut);
    EXPECT_FALSE(lock.Held());
}

}  // namespace
}  // namespace vantor::engine
