// Configuration files: the settings record, MODE and the encoder option.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <cstring>
#include <filesystem>

#include "EngineTestSupport.h"
#include "engine/AcqEngine.h"
#include "host/config/Settings.h"
#include "platform/ProfileFile.h"
#include "support/ForkedChild.h"
#include "support/TestEnv.h"

namespace vantor::engine {
namespace {

std::string Int32s(std::initializer_list<int32_t> values) {
    std::string bytes(values.size() * 4, '\0');
    size_t i = 0;
    for (int32_t v : values) std::memcpy(bytes.data() + 4 * i++, &v, 4);
    return bytes;
}

class Settings : public ::testing::Test {
protected:
    void SetUp() override { config::ResetSettings(); }
    void TearDown() override { config::ResetSettings(); }
    test::TempDir dir;
    std::string path = config::SettingsPath(dir.Path());
};

TEST_F(Settings, AShortFileSetsWhatItHoldsAndValuesAreTakenAsTheyStand) {
    config::g_bForceSim.store(1);
    test::WriteFile(path, Int32s({1}));
    EXPECT_EQ(config::ReadSettings(path), 1);
    EXPECT_EQ(config::g_bTopMost.load(), 1);
    EXPECT_EQ(config::g_bOutputFollow.load(), 1);
    EXPECT_EQ(config::g_bForceSim.load(), 1);  // previous value kept

    test::WriteFile(path, Int32s({7, -3, 2}));
    ASSERT_EQ(config::ReadSettings(path), 1);
    EXPECT_EQ(config::g_bForceSim.load(), 2);  // not "on" (only 1 is), not corrected
    config::ApplySettingsRangeRules();
    EXPECT_EQ(config::g_bTopMost.load(), 0);
    EXPECT_EQ(config::g_bOutputFollow.load(), 1);
    EXPECT_EQ(config::g_bForceSim.load(), 2);
}

TEST_F(Settings, MissingOversizedAndRoundTrip) {
    EXPECT_EQ(config::ReadSettings(dir.File("missing.cfg")), -1);
    EXPECT_EQ(config::g_bOutputFollow.load(), 1);

    std::string big = Int32s({1, 0, 1});
    big.resize(416, '\x5A');
    big += std::string(100000, '\x7F');  // only the first 416 bytes count
    test::WriteFile(path, big);
    ASSERT_EQ(config::ReadSettings(path), 1);
    EXPECT_EQ(config::g_bForceSim.load(), 1);

    std::string nested = dir.Path() + "/new/dir/AcqSet.cfg";
    ASSERT_EQ(config::WriteSettings(nested), 1);
    std::string written = test::ReadFile(nested);
    ASSERT_EQ(written.size(), 416u);
    EXPECT_EQ(written, big.substr(0, 416));            // reserved bytes written back as read
    EXPECT_EQ(config::WriteSettings(dir.Path()), -1);  // a directory is not writable as a file
}

// A write that fails half-way (here: the file-size limit, which stops root
// too) leaves the old record whole and no temporary file behind.
TEST_F(Settings, AFailedWriteKeepsTheOldFile) {
    const std::string old = Int32s({1, 1, 1}) + std::string(404, '\x33');
    test::WriteFile(path, old);
    test::ForkedChild child([&] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{100, 100};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        config::g_bTopMost.store(0);
        return config::WriteSettings(path) == -1 ? 0 : 1;
    });
    EXPECT_EQ(child.Wait(), 0);
    EXPECT_EQ(test::ReadFile(path), old);
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        ++files;
        EXPECT_EQ(entry.path().filename(), "AcqSet.cfg");
    }
    EXPECT_EQ(files, 1u);
}

using Mode = test_support::EngineFixture;

TEST_F(Mode, FilesSetModeAndEncoderAndBadValuesKeepThePreviousOnes) {
    EXPECT_TRUE(engine->ReadConfig());  // no files: mode 2, encoder off
    EXPECT_EQ(engine->Mode(), kModeSync);
    EXPECT_EQ(engine->Enc3(), 0);
    engine->SetForceSim(2);  // only 1 forces simulation
    EXPECT_EQ(engine->EffectiveMode(), kModeSync);
    engine->SetForceSim(1);
    EXPECT_EQ(engine->EffectiveMode(), kModeAsync);
    engine->SetForceSim(0);
    test::WriteFile(dir.File("AcqCfg.ini"), "[HK]\r\nMODE=7\r\n");
    test::WriteFile(dir.File("sysOSTRA.ini"), "[ENC3]\nIsExist=2\n");
    EXPECT_FALSE(engine->ReadConfig());
    EXPECT_EQ(engine->Mode(), kModeSync);
    EXPECT_EQ(engine->Enc3(), 0);  // only 1 turns it on
    test::WriteFile(dir.File("AcqCfg.ini"), "[hk]\nmode = 3\n");
    test::WriteFile(dir.File("sysOSTRA.ini"), "[ENC3]\nIsExist=1\n");
    EXPECT_TRUE(engine->ReadConfig());
    EXPECT_EQ(engine->Mode(), kModeAsyncVariant);
    EXPECT_EQ(engine->Enc3(), 1);
}

TEST_F(Mode, SwitchWritesTheFileAndNotifiesOnlyOnChange) {
    test::WriteFile(dir.File("AcqCfg.ini"), "; operator notes\n[HK]\nMODE=2\nOTHER=x\n");
    int notices = 0;
    engine->SetModeChangeNotifier([&] { ++notices; });

    EXPECT_EQ(engine->SwitchMode(kModeSync), ModeSwitch::kUnchanged);  // nothing happens
    EXPECT_EQ(notices, 0);
    EXPECT_EQ(engine->SwitchMode(kModeAsync), ModeSwitch::kSwitched);
    EXPECT_EQ(notices, 1);
    EXPECT_EQ(test::ReadFile(dir.File("AcqCfg.ini")), "; operator notes\n[HK]\nMODE=1\nOTHER=x\n");
    EXPECT_EQ(engine->Mode(), kModeSync);  // taken back only by ReadConfig
    EXPECT_TRUE(engine->ReloadConfig(1));
    EXPECT_EQ(engine->Mode(), kModeAsync);

    engine->WriteMode(9);
    EXPECT_EQ(platform::GetPrivateProfileInt("HK", "MODE", 0, dir.File("AcqCfg.ini")), 4);
}

}  // namespace
}  // namespace vantor::engine
