#pragma once
// What the fuzz targets share: a private scratch directory for the files and
// sockets an input needs (on tmpfs when there is one: the targets write files
// at every input), whole-file reads and writes, and the invariant check.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>

namespace vantor::fuzz {

// A copy-data message's head as the inputs carry it: the code in the first 4
// bytes, the data word in the next 8, the payload after them. False when the
// input is shorter than the head.
inline bool MessageHead(const uint8_t* data, size_t size, uint32_t& code, uint64_t& word) {
    if (size < 12) return false;
    std::memcpy(&code, data, 4);
    std::memcpy(&word, data + 4, 8);
    return true;
}

// Ends the run with the input kept when an invariant does not hold.
inline void Check(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

// The scratch directory of this process, made on first use and removed when
// the process ends normally.
inline const std::string& ScratchDir() {
    static const std::string dir = [] {
        const char* base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string path = std::string(base) + "/vantor-fuzz-XXXXXX";
        if (::mkdtemp(path.data()) == nullptr) std::abort();
        static const std::string removed = path;
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(removed, ec);
        });
        return path;
    }();
    return dir;
}

inline std::string ScratchFile(const char* name) {
    return ScratchDir() + "/" + name;
}

// Writes bytes as the whole file, making its directory first.
inline void WriteWhole(const std::string& path, std::string_view bytes) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) std::abort();
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) std::abort();
        done += static_cast<size_t>(n);
    }
    ::close(fd);
}

// The whole file, or "" when it is missing.
inline std::string ReadWhole(const std::string& path) {
    std::string out;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return out;
    char buf[4096];
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) out.append(buf, static_cast<size_t>(n));
    ::close(fd);
    return out;
}

// Splits the input at its first NUL: what comes before, and the rest after it
// (empty when there is no NUL).
inline std::string_view TakeUntilNul(std::string_view& rest) {
    const size_t nul = rest.find('\0');
    const std::string_view head = rest.substr(0, nul);
    rest = nul == std::string_view::npos ? std::string_view() : rest.substr(nul + 1);
    return head;
}

}  // namespace vantor::fuzz
