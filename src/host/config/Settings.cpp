#include "host/config/Settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/AtomicFile.h"

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

// The file opened without blocking, or -1 unless it is a regular file: a FIFO
// or device in its place must never hang start-up or the settings dialog.
int OpenRegularFile(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

std::string SettingsPath(const std::string& configDir) {
    return configDir + "/AcqSet.cfg";
}

int ReadSettings(const std::string& path) {
    int fd = OpenRegularFile(path);
    if (fd < 0) return -1;
    std::lock_guard lock(g_reservedMutex);
    // Bytes beyond what the file holds keep their values: Assemble() put them there.
    Record r = Assemble();
    size_t done = 0;
    while (done < r.size()) {
        ssize_t n = ::read(fd, r.data() + done, r.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    ::close(fd);
    Scatter(r);
    return 1;
}

int WriteSettings(const std::string& path) {
    std::lock_guard lock(g_reservedMutex);
    const Record r = Assemble();
    // Never half-written: a failed write keeps the old record whole.
    const bool ok = platform::ReplaceFileAtomically(
        path, std::string(reinterpret_cast<const char*>(r.data()), r.size()));
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
