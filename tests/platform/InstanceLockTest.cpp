// The single-instance lock, the private runtime directory and IPC name prefixes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>

#include "PlatformTestHelpers.h"
#include "platform/InstanceLock.h"
#include "platform/IpcNames.h"
#include "support/TestEnv.h"

namespace {

using vantor::platform::InstanceLock;
using vantor::platform::IpcNamespace;
using vantor::platform::RuntimeDir;
using vantor::platform::ShmName;
using vantor::test::ScopedEnv;
using vantor::test::TempDir;

// Every test gets its own runtime directory. The lock refused while another
// process holds it and free once that process ends or dies is
// ServerProcess.RunsPublishesRefusesASecondCopyAndStopsCleanlyOnSigterm's and
// ServerFault.AServerKilledAndStartedAgainServesNothingStale's.
class InstanceLockTest : public ::testing::Test {
protected:
    TempDir m_runtime;
    ScopedEnv m_xdg{"XDG_RUNTIME_DIR", m_runtime.Path().c_str()};
};

TEST_F(InstanceLockTest, RuntimeDirectoryIsCreatedPrivateAndNeverOpenToOthersOrASymlink) {
    const std::string expected = m_runtime.Path() + "/vantor";
    struct stat created {};
    struct stat reopened {};
    TempDir elsewhere;

    mode_t oldMask = ::umask(0);
    std::string createdDir = RuntimeDir();
    ::umask(oldMask);
    ::lstat(expected.c_str(), &created);
    // A lock file that is a link: not followed, whatever it points to.
    const std::string lockFile = expected + "/" + IpcNamespace() + "Vantor.lock";
    ASSERT_EQ(::symlink(elsewhere.File("lock").c_str(), lockFile.c_str()), 0);
    auto linkedLock = InstanceLock::Acquire("Vantor");
    ASSERT_EQ(::unlink(lockFile.c_str()), 0);
    // Open to others: whoever could enter may have left sockets of theirs.
    ASSERT_EQ(::chmod(expected.c_str(), 0750), 0);
    auto reopenedLock = InstanceLock::Acquire("Vantor");
    ::lstat(expected.c_str(), &reopened);
    ASSERT_EQ(::rmdir(expected.c_str()), 0);
    ASSERT_EQ(::symlink(elsewhere.Path().c_str(), expected.c_str()), 0);
    std::string viaSymlink = RuntimeDir();
    auto lock = InstanceLock::Acquire("Vantor");

    EXPECT_EQ(createdDir, expected);
    EXPECT_TRUE(S_ISDIR(created.st_mode));
    EXPECT_EQ(created.st_mode & 0777, 0700u);
    EXPECT_FALSE(linkedLock);
    EXPECT_FALSE(std::filesystem::exists(elsewhere.File("lock")));
    ASSERT_FALSE(reopenedLock);
    EXPECT_NE(reopenedLock.error().text.find("mode 0750"), std::string::npos)
        << reopenedLock.error().text;
    EXPECT_EQ(reopened.st_mode & 0777, 0750u);  // refused, not changed behind the owner's back
    EXPECT_EQ(viaSymlink, "");
    EXPECT_FALSE(lock);
}

TEST_F(InstanceLockTest, NamespacesKeepLocksAndNamesApart) {
    std::optional<ScopedEnv> ns;
    ns.emplace("VANTOR_IPC_NAMESPACE", "a/b c..d_");
    auto held = InstanceLock::Acquire("Vantor");
    std::string shm = ShmName("NXSharedMemory");
    ns.emplace("VANTOR_IPC_NAMESPACE", "other_");
    auto sut = InstanceLock::Acquire("Vantor");
    ns.emplace("VANTOR_IPC_NAMESPACE", std::string(100, 'n').c_str());
    std::string capped = IpcNamespace();
    ns.emplace("VANTOR_IPC_NAMESPACE", nullptr);

    ASSERT_TRUE(held) << held.error().text;
    EXPECT_TRUE(sut) << sut.error().text;
    EXPECT_EQ(shm, "/abc..d_NXSharedMemory");  // no slash can reach the object name
    EXPECT_EQ(capped, std::string(64, 'n'));
    EXPECT_EQ(ShmName("NXSharedMemory"), "/NXSharedMemory");
}

}  // namespace
