// Profile (INI) files: lookups, integer parsing, in-place writes, damaged files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <climits>
#include <cstdint>
#include <string>

#include "PlatformTestHelpers.h"
#include "platform/AtomicFile.h"
#include "platform/ProfileFile.h"
#include "support/TestEnv.h"

namespace {

using vantor::platform::GetPrivateProfileInt;
using vantor::platform::GetPrivateProfileString;
using vantor::platform::kMaxProfileBytes;
using vantor::platform::WritePrivateProfileString;
using vantor::test::ReadFile;
using vantor::test::TempDir;
using vantor::test::WriteFile;

class ProfileFileTest : public ::testing::Test {
protected:
    // Writes text as the profile file and reads [HK] MODE with the default -5.
    int IntOf(const std::string& text) {
        WriteFile(m_path, text);
        return GetPrivateProfileInt("HK", "MODE", -5, m_path);
    }

    TempDir m_dir;
    std::string m_path = m_dir.File("AcqCfg.ini");
};

TEST_F(ProfileFileTest, SectionsAndKeysMatchWithoutRegardToCaseFirstOneWinning) {
    WriteFile(m_path, "[Other]\nMODE=9\n[ hk ]\n  Mode = 3\nisexist=1\n[ENC3]\nIsExist=1\n");

    EXPECT_EQ(GetPrivateProfileInt("HK", "MODE", 0, m_path), 3);
    EXPECT_EQ(GetPrivateProfileInt("hK", "mOdE", 0, m_path), 3);
    EXPECT_EQ(GetPrivateProfileString("Hk", "IsExist", "", m_path), "1");
    EXPECT_EQ(GetPrivateProfileInt("HK", "Missing", 17, m_path), 17);
    EXPECT_EQ(GetPrivateProfileInt("NoSuchSection", "MODE", 17, m_path), 17);
    // The first matching section and key win; comments and keys before any section do not.
    EXPECT_EQ(IntOf("MODE=8\n[HK]\n;MODE=6\nMODE=1\nmode=2\n[HK]\nMODE=3\n"), 1);
}

TEST_F(ProfileFileTest, IntegerReadTakesLeadingSignAndDigitsAndClamps) {
    EXPECT_EQ(IntOf("[HK]\r\nMODE=7\r\n"), 7);
    EXPECT_EQ(IntOf("[HK]\nMODE=\t  42\n"), 42);
    EXPECT_EQ(IntOf("[HK]\nMODE=-13\n"), -13);
    EXPECT_EQ(IntOf("[HK]\nMODE=+5\n"), 5);
    EXPECT_EQ(IntOf("[HK]\nMODE=12abc\n"), 12);
    EXPECT_EQ(IntOf("[HK]\nMODE=3 ; comment\n"), 3);
    EXPECT_EQ(IntOf("[HK]\nMODE=abc\n"), 0);
    EXPECT_EQ(IntOf("[HK]\nMODE=-\n"), 0);
    EXPECT_EQ(IntOf("[HK]\nMODE=\n"), -5);
    EXPECT_EQ(IntOf("[HK]\nMODE=   \r\n"), -5);
    EXPECT_EQ(IntOf("[HK]\nMODE\n"), -5);
    EXPECT_EQ(IntOf("[HK]\nMODE=2147483647\n"), INT_MAX);
    EXPECT_EQ(IntOf("[HK]\nMODE=2147483648\n"), INT_MAX);
    EXPECT_EQ(IntOf("[HK]\nMODE=-2147483648\n"), INT_MIN);
    EXPECT_EQ(IntOf("[HK]\nMODE=-2147483649\n"), INT_MIN);
    EXPECT_EQ(IntOf("[HK]\nMODE=99999999999999999999999999999\n"), INT_MAX);
    EXPECT_EQ(IntOf("[HK]\nMODE=-99999999999999999999999999999\n"), INT_MIN);
}

TEST_F(ProfileFileTest, StringReadTrimsAndStripsOnePairOfQuotes) {
    WriteFile(m_path,
              "[S]\r\nA=  \"quoted text\"  \r\nB='single'\r\nC=\"\"x\"\"\r\nD=\"\r\nE=plain \r\n");

    EXPECT_EQ(GetPrivateProfileString("S", "A", "-", m_path), "quoted text");
    EXPECT_EQ(GetPrivateProfileString("S", "B", "-", m_path), "single");
    EXPECT_EQ(GetPrivateProfileString("S", "C", "-", m_path), "\"x\"");
    EXPECT_EQ(GetPrivateProfileString("S", "D", "-", m_path), "\"");
    EXPECT_EQ(GetPrivateProfileString("S", "E", "-", m_path), "plain");
    EXPECT_EQ(GetPrivateProfileString("S", "F", "default", m_path), "default");
}

TEST_F(ProfileFileTest, WriteReplacesOneValueAndKeepsEveryOtherByte) {
    const std::string before =
        "; acquisition settings\r\n[HK]\r\n  Mode = 2\r\nRate=10\r\n\r\n[Other]\r\nMODE=9\r\n";
    const std::string lastLine = m_dir.File("last.ini");
    WriteFile(m_path, before);
    WriteFile(lastLine, "[HK]\nMODE=2");

    bool ok = WritePrivateProfileString("hk", "MODE", "1", m_path);
    bool okLastLine = WritePrivateProfileString("HK", "MODE", "4", lastLine);

    EXPECT_TRUE(ok);
    EXPECT_TRUE(okLastLine);
    EXPECT_EQ(ReadFile(lastLine), "[HK]\nMODE=4");
    EXPECT_EQ(ReadFile(m_path),
              "; acquisition settings\r\n[HK]\r\nMODE=1\r\nRate=10\r\n\r\n[Other]\r\nMODE=9\r\n");
    EXPECT_EQ(GetPrivateProfileInt("HK", "MODE", 0, m_path), 1);
}

TEST_F(ProfileFileTest, WriteAddsSectionsAndKeysInTheFilesLineEnds) {
    const std::string sectionLast = m_dir.File("a.ini");
    const std::string noSection = m_dir.File("b.ini");
    const std::string noFile = m_dir.File("new/sub/c.ini");
    WriteFile(m_path, "[HK]\nRate=10\n\n[Other]\nX=1\n");
    WriteFile(sectionLast, "[Other]\r\nX=1\r\n[HK]");
    WriteFile(noSection, "[Other]\r\nX=1");

    ASSERT_TRUE(WritePrivateProfileString("HK", "MODE", "3", m_path));
    ASSERT_TRUE(WritePrivateProfileString("HK", "MODE", "1", sectionLast));
    ASSERT_TRUE(WritePrivateProfileString("HK", "MODE", "2", noSection));
    ASSERT_TRUE(WritePrivateProfileString("HK", "MODE", "3", noFile));

    EXPECT_EQ(ReadFile(m_path), "[HK]\nRate=10\nMODE=3\n\n[Other]\nX=1\n");
    EXPECT_EQ(ReadFile(sectionLast), "[Other]\r\nX=1\r\n[HK]\r\nMODE=1\r\n");
    EXPECT_EQ(ReadFile(noSection), "[Other]\r\nX=1\r\n[HK]\r\nMODE=2\r\n");
    EXPECT_EQ(ReadFile(noFile), "[HK]\nMODE=3\n");
}

TEST_F(ProfileFileTest, WriteThroughASymlinkReplacesItsTargetKeepingModeAndOwner) {
    const std::string target = m_dir.File("installed/AcqCfg.ini");
    ASSERT_EQ(::mkdir(m_dir.File("installed").c_str(), 0755), 0);
    WriteFile(target, "[HK]\nMODE=2\n");
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    // Another owner as root (who may give it back); our own otherwise.
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(target.c_str(), 4321, 4322), 0);
    }
    struct stat before {};
    ASSERT_EQ(::stat(target.c_str(), &before), 0);
    ASSERT_EQ(::symlink("installed/AcqCfg.ini", m_path.c_str()), 0);

    bool throughLink = WritePrivateProfileString("HK", "MODE", "1", m_path);
    bool direct = WritePrivateProfileString("HK", "Rate", "10", target);

    struct stat link {};
    struct stat after {};
    ASSERT_TRUE(throughLink);
    ASSERT_TRUE(direct);
    ASSERT_EQ(::lstat(m_path.c_str(), &link), 0);
    ASSERT_EQ(::stat(target.c_str(), &after), 0);
    EXPECT_TRUE(S_ISLNK(link.st_mode));
    EXPECT_EQ(ReadFile(target), "[HK]\nMODE=1\nRate=10\n");
    EXPECT_EQ(after.st_mode & 07777, 0640u);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_gid, before.st_gid);
}

TEST_F(ProfileFileTest, WriteLeavesAPinnedFileAndMakesNoDirectoriesWhereALinkPoints) {
    WriteFile(m_path, "[HK]\nMODE=2\n");
    ASSERT_EQ(::chmod(m_path.c_str(), 0444), 0);
    EXPECT_FALSE(WritePrivateProfileString("HK", "MODE", "1", m_path));
    EXPECT_EQ(ReadFile(m_path), "[HK]\nMODE=2\n");

    const std::string dangling = m_dir.File("dangling.ini");
    ASSERT_EQ(::symlink(m_dir.File("nowhere/deeper/x.ini").c_str(), dangling.c_str()), 0);
    EXPECT_FALSE(WritePrivateProfileString("HK", "MODE", "1", dangling));
    struct stat st {};
    EXPECT_NE(::stat(m_dir.File("nowhere").c_str(), &st), 0);
}

// A writer killed between its temporary file and the rename leaves the
// temporary file; the next server start removes the old ones only.
TEST_F(ProfileFileTest, StaleReplacementsAreRemovedAndNothingElse) {
    const auto make = [&](const std::string& name, bool old) {
        const std::string path = m_dir.File(name);
        WriteFile(path, "[HK]\n");
        if (!old) return path;
        const timespec times[2] = {{0, UTIME_OMIT}, {::time(nullptr) - 3600, 0}};
        EXPECT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
        return path;
    };
    const std::string stale = make("AcqCfg.ini.tmpAb12Cd", true);
    const std::string young = make("AcqCfg.ini.tmpXy34Zw", false);
    const std::string other = make("notes.tmpAb12Cd", true);  // not a file the server writes
    ASSERT_EQ(::symlink(stale.c_str(), m_dir.File("link.ini.tmpQwErTy").c_str()), 0);
    EXPECT_EQ(
        vantor::platform::RemoveStaleReplacements(m_dir.Path(), {"AcqCfg.ini", "link.ini"}, 60), 1);
    struct stat st {};
    EXPECT_NE(::stat(stale.c_str(), &st), 0);
    EXPECT_EQ(::stat(young.c_str(), &st), 0);
    EXPECT_EQ(::stat(other.c_str(), &st), 0);
    EXPECT_EQ(::lstat(m_dir.File("link.ini.tmpQwErTy").c_str(), &st), 0);
    EXPECT_EQ(vantor::platform::RemoveStaleReplacements(m_dir.File("missing"), {"AcqCfg.ini"}, 60),
              0);
}

// Line breaks, NULs, '=' and ']' would break the file; and as the reader trims
// names and takes lines beginning with ';' or '[' for no key, such a name
// would never be found again ("[X]=..." would even start a section).
TEST_F(ProfileFileTest, WriteRefusesNamesAndValuesThatWouldBreakTheFileOrNotReadBack) {
    const std::string before = "[HK]\nMODE=2\n";
    WriteFile(m_path, before);
    EXPECT_FALSE(WritePrivateProfileString("HK", "MODE", "1\n[X]", m_path));
    EXPECT_FALSE(WritePrivateProfileString("HK", "MO\rDE", "1", m_path));
    EXPECT_FALSE(WritePrivateProfileString("H\nK", "MODE", "1", m_path));
    EXPECT_FALSE(WritePrivateProfileString("HK", std::string("MO\0DE", 6), "1", m_path));
    EXPECT_FALSE(WritePrivateProfileString("HK", "A=B", "1", m_path));
    EXPECT_FALSE(WritePrivateProfileString("H]K", "MODE", "1", m_path));
    EXPECT_FALSE(WritePrivateProfileString("", "MODE", "1", m_path));
    EXPECT_FALSE(WritePrivateProfileString("HK", "", "1", m_path));
    EXPECT_FALSE(WritePrivateProfileString("HK", " MODE", "1", m_path));
    EXPECT_FALSE(WritePrivateProfileString("HK", "MODE\t", "1", m_path));
    EXPECT_FALSE(WritePrivateProfileString(" HK", "MODE", "1", m_path));
    EXPECT_FALSE(WritePrivateProfileString("HK", ";MODE", "1", m_path));
    EXPECT_FALSE(WritePrivateProfileString("HK", "[X]", "1", m_path));
    EXPECT_EQ(ReadFile(m_path), before);
}

TEST_F(ProfileFileTest, OversizedFileReadsAsEmptyAndIsNeverRewritten) {
    std::string atLimit = "[HK]\nMODE=5\n";
    atLimit += std::string(kMaxProfileBytes - atLimit.size() - 1, ';') + "\n";
    const std::string oversized = atLimit + ";";
    int modeAtLimit = IntOf(atLimit);

    int mode = IntOf(oversized);
    bool written = WritePrivateProfileString("HK", "MODE", "1", m_path);

    EXPECT_EQ(modeAtLimit, 5);
    EXPECT_EQ(mode, -5);
    EXPECT_FALSE(written);
    EXPECT_EQ(ReadFile(m_path), oversized);
}

TEST_F(ProfileFileTest, GarbageMissingFilesAndDirectoriesReadAsDefaults) {
    std::string garbage;
    uint32_t x = 12345;
    for (int i = 0; i < 70000; ++i) {
        x = x * 1103515245u + 12345u;
        garbage.push_back(static_cast<char>(x >> 24));
    }
    garbage += std::string("\0[HK\0]\n\0MODE=1", 14);

    EXPECT_EQ(IntOf(garbage), -5);
    EXPECT_EQ(GetPrivateProfileString("HK", "MODE", "none", m_path), "none");
    EXPECT_EQ(GetPrivateProfileInt("HK", "MODE", 2, m_dir.File("absent.ini")), 2);
    EXPECT_EQ(GetPrivateProfileInt("HK", "MODE", 2, m_dir.Path()), 2);
    EXPECT_FALSE(WritePrivateProfileString("HK", "MODE", "1", m_dir.Path()));
}

}  // namespace
