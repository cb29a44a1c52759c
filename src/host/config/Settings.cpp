#include "host/config/Settings.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/Paths.h"

namespace vantor::config {

std::atomic<int32_t> g_bTopMost{0};
std::atomic<int32_t> g_bOutputFollow{1};
std::atomic<int32_t> g_bForceSim{0};

namespace {

std::mutex g_reservedMutex;  // guards g_reserved (file reads and writes only)
std::array<unsigned char, kSettingsReserved> g_reserved{};

using Record = std::array<unsigned char, kSettingsSize>;

void PutInt(Record& r, size_t offset, int32_t v) {
    std::memcpy(r.data() + offset, &v, 4);
}
int32_t GetInt(const Record& r, size_t offset) {
    int32_t v = 0;
    std::memcpy(&v, r.data() + offset, 4);
    return v;
}

Record Assemble() {
    Record r{};
    PutInt(r, 0, g_bTopMost.load());
    PutInt(r, 4, g_bOutputFollow.load());
    PutInt(r, 8, g_bForceSim.load());
    std::memcpy(r.data() + 12, g_reserved.data(), kSettingsReserved);
    return r;
}

void Scatter(const Record& r) {
    g_bTopMost.store(GetInt(r, 0));
    g_bOutputFollow.store(GetInt(r, 4));
    g_bForceSim.store(GetInt(r, 8));
    std::memcpy(g_reserved.data(), r.data() + 12, kSettingsReserved);
}

}  // namespace

std::string SettingsPath(const std::string& configDir) {
    return configDir + "/AcqSet.cfg";
}

int ReadSettings(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return -1;
    std::lock_guard lock(g_reservedMutex);
    Record r = Assemble();
    size_t n = std::fread(r.data(), 1, r.size(), f);
    std::fclose(f);
    // Bytes beyond what the file held keep their values: Assemble() put them there.
    (void)n;
    Scatter(r);
    return 1;
}

int WriteSettings(const std::string& path) {
    auto slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0) platform::MakeDirs(path.substr(0, slash));
    std::lock_guard lock(g_reservedMutex);
    Record r = Assemble();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return -1;
    size_t n = std::fwrite(r.data(), 1, r.size(), f);
    bool ok = std::fclose(f) == 0 && n == r.size();
    return ok ? 1 : -1;
}

void ApplySettingsRangeRules() {
    int32_t top = g_bTopMost.load();
    if (top < 0 || top > 1) g_bTopMost.store(0);
    int32_t follow = g_bOutputFollow.load();
    if (follow < 0 || follow > 1) g_bOutputFollow.store(1);
}

void ResetSettings() {
    std::lock_guard lock(g_reservedMutex);
    g_bTopMost.store(0);
    g_bOutputFollow.store(1);
    g_bForceSim.store(0);
    g_reserved.fill(0);
}

}  // namespace vantor::config
