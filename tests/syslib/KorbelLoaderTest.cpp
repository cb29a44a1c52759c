// Loading the system library: where it is looked for, the checks on it, and
// what the wrappers do without it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "support/TestEnv.h"
#include "syslib/Korbel.h"

namespace {

namespace fs = std::filesystem;
using vantor::test::ExecutableDir;
using vantor::test::TempDir;

std::string TestLibDir(const char* variant) {
    return std::string(VANTOR_TESTLIB_DIR) + "/" + variant;
}

bool AllZero(const char* bytes, std::size_t n) {
    return std::all_of(bytes, bytes + n, [](char b) { return b == 0; });
}

class SyslibLoader : public ::testing::Test {
protected:
    void TearDown() override { DMI_Unload(); }
    std::unique_ptr<EnvRecord> m_record = std::make_unique<EnvRecord>();
};

TEST_F(SyslibLoader, LoadsFromTheLibraryFolderOfThisProgram) {
    EXPECT_TRUE(
        fs::equivalent(DMI_SystemDirectory(), fs::path(ExecutableDir()).parent_path() / "lib"));
    ASSERT_EQ(DMI_Load(1), 1);
    EXPECT_EQ(DMI_GetKorbelStrSize(), 188910);

    std::memset(m_record.get(), 0x55, sizeof(EnvRecord));
    ASSERT_EQ(DMI_GetKorbel(m_record.get()), 1);
    EXPECT_STREQ(m_record->ConfigDir, std::getenv("VANTOR_CONFIG_DIR"));
    // build/bin either way: where an installed server would sit, or this program's folder.
    EXPECT_TRUE(fs::equivalent(m_record->ServerDir, ExecutableDir()));
    EXPECT_TRUE(AllZero(m_record->Reserved0, sizeof m_record->Reserved0));
    EXPECT_TRUE(AllZero(m_record->Reserved1, sizeof m_record->Reserved1));

    char text[1024];
    EXPECT_GT(DMI_GetVers(0, text), 0);
    EXPECT_NE(std::strstr(text, "Korbel"), nullptr);
}

TEST_F(SyslibLoader, SelectorPicksTheFileAndServerDirFollowsAnInstalledServer) {
    TempDir root;
    const fs::path lib = fs::path(root.Path()) / "lib";
    const fs::path bin = fs::path(root.Path()) / "bin";
    fs::create_directories(lib);
    fs::create_directories(bin);
    fs::copy_file(fs::path(ExecutableDir()).parent_path() / "lib" / "libkorbel.so",
                  lib / "libkorbel4b.so");

    ASSERT_EQ(DMI_LoadFrom(lib.string(), 4), 1);
    char dir[616];
    ASSERT_GT(DMI_GetServerDir(dir, sizeof dir), 0);
    EXPECT_TRUE(fs::equivalent(dir, ExecutableDir()));

    vantor::test::WriteFile((bin / "vantor").string(), "");
    ASSERT_GT(DMI_GetServerDir(dir, sizeof dir), 0);
    EXPECT_TRUE(fs::equivalent(dir, bin));
    // A buffer too small for the path gets nothing rather than a cut path.
    EXPECT_EQ(DMI_GetServerDir(dir, 4), 0);
    EXPECT_STREQ(dir, "");
}

TEST_F(SyslibLoader, ConfigDirTooLongForTheRecordFails) {
    ASSERT_EQ(DMI_Load(1), 1);
    const std::string saved = std::getenv("VANTOR_CONFIG_DIR");
    ::setenv("VANTOR_CONFIG_DIR", ("/tmp/" + std::string(300, 'c')).c_str(), 1);
    std::memset(m_record.get(), 0x55, sizeof(EnvRecord));
    const int result = DMI_GetKorbel(m_record.get());
    ::setenv("VANTOR_CONFIG_DIR", saved.c_str(), 1);
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(AllZero(reinterpret_cast<const char*>(m_record.get()), sizeof(EnvRecord)));
}

TEST_F(SyslibLoader, WrongRecordSizeOrAMissingEntryPointIsRefusedKeepingTheOnesBeforeIt) {
    EXPECT_EQ(DMI_LoadFrom(TestLibDir("wrongsize"), 1), DMI_WRONG_RECORD_SIZE);
    EXPECT_EQ(DMI_GetKorbelStrSize(), DMI_NOT_LOADED);
    ASSERT_EQ(DMI_Load(1), 1);
    EXPECT_EQ(DMI_LoadFrom(TestLibDir("no-getversnum"), 1), -18);
    // GetKorbel and the others before the gap are the new library's; the gap
    // and what follows it are unresolved, not left over from the old one.
    ASSERT_EQ(DMI_GetKorbel(m_record.get()), 1);
    EXPECT_STREQ(m_record->ConfigDir, std::getenv("VANTOR_CONFIG_DIR"));
    char text[1024];
    EXPECT_GE(DMI_GetNetError(text, sizeof text), 0);  // the 16th, just before the gap
    EXPECT_EQ(DMI_GetVersNum(), DMI_NOT_LOADED);
    EXPECT_EQ(DMI_GetKorbelStrSize(), DMI_NOT_LOADED);
    EXPECT_EQ(DMI_LoadFrom("", 1), DMI_NOT_LOADED);
    EXPECT_EQ(DMI_GetKorbel(m_record.get()), DMI_NOT_LOADED);
}

TEST_F(SyslibLoader, WrappersAnswerNotLoadedAfterUnload) {
    ASSERT_EQ(DMI_Load(1), 1);
    DMI_Unload();
    char text[1024] = " x ";
    char packet[16] = {};
    EXPECT_EQ(DMI_GetKorbel(m_record.get()), DMI_NOT_LOADED);
    EXPECT_EQ(DMI_GetVers(0, text), DMI_NOT_LOADED);
    EXPECT_EQ(DMI_OpenNet(0, 0, 0, 0), DMI_NOT_LOADED);
    EXPECT_EQ(DMI_CloseNet(0), DMI_NOT_LOADED);
    EXPECT_EQ(DMI_ReadNetData(0, packet, sizeof packet), DMI_NOT_LOADED);
    EXPECT_EQ(DMI_SendNetData(0, "127.0.0.1", 9, packet, sizeof packet), DMI_NOT_LOADED);
    EXPECT_EQ(DMI_GetField(packet, text, 0), DMI_NOT_LOADED);
    EXPECT_EQ(DMI_GetField2(packet, text, 0, '.'), DMI_NOT_LOADED);
    EXPECT_EQ(DMI_TrimLeft(text, ' '), DMI_NOT_LOADED);
    EXPECT_EQ(DMI_TrimRight(text, ' '), DMI_NOT_LOADED);
    EXPECT_EQ(DMI_Trim(text, ' '), DMI_NOT_LOADED);
    EXPECT_STREQ(text, " x ");
    EXPECT_EQ(DMI_WaitNetData(0, 0), DMI_NOT_LOADED);
    EXPECT_EQ(DMI_GetFieldCount(text, ','), DMI_NOT_LOADED);
    EXPECT_EQ(DMI_GetConfigDir(text, sizeof text), DMI_NOT_LOADED);
    EXPECT_EQ(DMI_GetServerDir(text, sizeof text), DMI_NOT_LOADED);
    EXPECT_EQ(DMI_GetNetPort(0), DMI_NOT_LOADED);
    EXPECT_EQ(DMI_GetNetError(text, sizeof text), DMI_NOT_LOADED);
    EXPECT_EQ(DMI_GetVersNum(), DMI_NOT_LOADED);
    EXPECT_EQ(DMI_GetKorbelStrSize(), DMI_NOT_LOADED);
}

void MarkedSink(const char* text) {
    std::fprintf(stderr, "sink<%s>\n", text);
}

TEST(SyslibLoaderDeathTest, UnloadableLibraryShowsTheMessageAndExits) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TempDir empty;
    EXPECT_EXIT(DMI_LoadFrom(empty.Path(), 1), ::testing::ExitedWithCode(255),
                "系统库不存在或者版本错误!");
    EXPECT_EXIT(
        {
            DMI_SetFatalMessageSink(&MarkedSink);
            DMI_LoadFrom(empty.Path(), 16);
        },
        ::testing::ExitedWithCode(255), "sink<系统库不存在或者版本错误!>");
}

}  // namespace
