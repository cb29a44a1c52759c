// Named shared memory: mappings by name, sizes, refusals.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "PlatformTestHelpers.h"
#include "platform/SharedMemoryObject.h"

namespace {

using vantor::platform::SharedMemoryObject;
using vantor::test::ScopedShmName;

constexpr size_t kSize = 4096;

void Fill(void* data, size_t size, unsigned char seed) {
    auto* p = static_cast<unsigned char*>(data);
    for (size_t i = 0; i < size; ++i) p[i] = static_cast<unsigned char>(seed + i * 7);
}

bool HasPattern(const void* data, size_t size, unsigned char seed) {
    const auto* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i) {
        if (p[i] != static_cast<unsigned char>(seed + i * 7)) return false;
    }
    return true;
}

off_t ObjectSize(const SharedMemoryObject& shm) {
    struct stat st {};
    return ::fstat(shm.Fd(), &st) == 0 ? st.st_size : -1;
}

// That two mappings share their bytes every test of a block across processes shows.
TEST(SharedMemoryObject, GroupMayOpenItAndOpeningGrowsItButNeverShrinksIt) {
    ScopedShmName name("ShmGrow");
    mode_t oldMask = ::umask(077);
    auto small = SharedMemoryObject::CreateOrOpen(name.str(), 16);
    ::umask(oldMask);
    ASSERT_TRUE(small) << small.error().text;
    struct stat st {};
    ASSERT_EQ(::fstat(small.value().Fd(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0660u);
    Fill(small.value().Data(), 16, 5);

    auto sut = SharedMemoryObject::CreateOrOpen(name.str(), 3 * kSize);
    ASSERT_TRUE(sut) << sut.error().text;
    auto smallAgain = SharedMemoryObject::CreateOrOpen(name.str(), 16);

    EXPECT_TRUE(smallAgain);
    ASSERT_EQ(ObjectSize(sut.value()),
              static_cast<off_t>(3 * kSize));  // else the big mapping faults
    EXPECT_TRUE(HasPattern(sut.value().Data(), 16, 5));
    EXPECT_EQ(static_cast<char*>(sut.value().Data())[3 * kSize - 1], 0);
}

TEST(SharedMemoryObject, RefusesMissingUnlinkedTooSmallAndEmptyObjects) {
    ScopedShmName name("ShmRefuse");
    auto missing = SharedMemoryObject::OpenExisting(name.str(), kSize);
    auto sut = SharedMemoryObject::CreateOrOpen(name.str(), 64);
    ASSERT_TRUE(sut) << sut.error().text;
    Fill(sut.value().Data(), 64, 42);
    auto tooSmall = SharedMemoryObject::OpenExisting(name.str(), 128);
    auto zero = SharedMemoryObject::CreateOrOpen(name.str(), 0);
    auto fits = SharedMemoryObject::OpenExisting(name.str(), 64);

    bool removed = SharedMemoryObject::Unlink(name.str());
    bool removedAgain = SharedMemoryObject::Unlink(name.str());

    EXPECT_FALSE(missing);
    EXPECT_EQ(missing.error().code, ENOENT);
    EXPECT_FALSE(tooSmall);
    EXPECT_FALSE(tooSmall.error().text.empty());
    EXPECT_FALSE(zero);
    EXPECT_TRUE(fits);
    EXPECT_TRUE(removed);
    EXPECT_FALSE(removedAgain);
    EXPECT_FALSE(SharedMemoryObject::OpenExisting(name.str(), 64));
    EXPECT_TRUE(HasPattern(sut.value().Data(), 64, 42));  // mappings outlive the name
    // A failed result has no value to hand out: asking for it ends the process.
    EXPECT_DEATH((void)missing.value(), "value\\(\\) of a failed result: shm_open");
}

// Makes an object as a careless program could have left it.
bool Plant(const std::string& name, mode_t mode, off_t size) {
    int fd = ::shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    if (fd < 0) return false;
    bool ok = ::ftruncate(fd, size) == 0 && ::fchmod(fd, mode) == 0;
    ::close(fd);
    return ok;
}

TEST(SharedMemoryObject, RefusesObjectsOpenToOthersAndLinks) {
    ScopedShmName wide("ShmWide");
    ASSERT_TRUE(Plant(wide.str(), 0666, 16));
    auto tooOpen = SharedMemoryObject::CreateOrOpen(wide.str(), kSize);
    EXPECT_FALSE(tooOpen);
    EXPECT_EQ(tooOpen.error().code, vantor::platform::kUnsafeObject);
    EXPECT_NE(tooOpen.error().text.find(wide.str()), std::string::npos) << tooOpen.error().text;
    struct stat st {};
    ASSERT_EQ(::stat(("/dev/shm" + wide.str()).c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 16);  // refused before anything was changed

    ScopedShmName link("ShmLink");
    std::filesystem::create_symlink("/dev/shm" + wide.str(), "/dev/shm" + link.str());
    auto linked = SharedMemoryObject::CreateOrOpen(link.str(), kSize);
    EXPECT_FALSE(linked);
    EXPECT_EQ(linked.error().code, vantor::platform::kUnsafeObject);
    EXPECT_FALSE(SharedMemoryObject::OpenExisting(link.str(), 16));
}

}  // namespace
