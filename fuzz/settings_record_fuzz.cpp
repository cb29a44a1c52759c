// Fuzzes the settings record AcqSet.cfg: any file (shorter, exactly 416 bytes
// or longer) read over the process-start defaults, written back and read
// again. Invariants: the written record is the defaults with the file's first
// 416 bytes over them; writing what was read changes no byte; the switches
// hold the record's words and the range rules leave them in range.
#include <cstdint>
#include <cstring>
#include <string>

#include "FuzzSupport.h"
#include "host/config/Settings.h"

using namespace vantor::config;
using vantor::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string in = vantor::fuzz::ScratchFile("in/AcqSet.cfg");
    static const std::string out = vantor::fuzz::ScratchFile("out/AcqSet.cfg");
    static const std::string again = vantor::fuzz::ScratchFile("again/AcqSet.cfg");
    static const std::string defaults = [] {
        ResetSettings();
        Check(WriteSettings(vantor::fuzz::ScratchFile("defaults/AcqSet.cfg")) == 1,
              "the defaults cannot be written");
        return vantor::fuzz::ReadWhole(vantor::fuzz::ScratchFile("defaults/AcqSet.cfg"));
    }();
    Check(defaults.size() == kSettingsSize, "the record is not 416 bytes");

    ResetSettings();
    vantor::fuzz::WriteWhole(in, std::string_view(reinterpret_cast<const char*>(data), size));
    Check(ReadSettings(in) == 1, "an existing file did not read");
    Check(WriteSettings(out) == 1, "the record could not be written");

    std::string expected = defaults;
    std::memcpy(expected.data(), data, size < kSettingsSize ? size : kSettingsSize);
    const std::string written = vantor::fuzz::ReadWhole(out);
    Check(written == expected, "the written record is not the file over the defaults");

    int32_t words[3];
    std::memcpy(words, expected.data(), sizeof words);
    Check(g_bTopMost.load() == words[0] && g_bOutputFollow.load() == words[1] &&
              g_bForceSim.load() == words[2],
          "the switches do not hold the record's words");

    ResetSettings();
    Check(ReadSettings(out) == 1 && WriteSettings(again) == 1, "the record did not read back");
    Check(vantor::fuzz::ReadWhole(again) == written, "a record read and written changed");

    ApplySettingsRangeRules();
    Check(g_bTopMost.load() == (words[0] == 1 ? 1 : 0), "top-most out of its range");
    Check(g_bOutputFollow.load() == (words[1] == 0 ? 0 : 1), "output-follow out of its range");
    Check(g_bForceSim.load() == words[2], "the range rules changed force-sim");
    return 0;
}
