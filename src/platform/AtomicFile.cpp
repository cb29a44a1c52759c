#include "platform/AtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <optional>

#include "platform/Paths.h"
#include "platform/UniqueFd.h"

namespace vantor::platform {
namespace {

// The file that path names once symbolic links are followed (the last link
// may point to a file not there yet); nullopt for a loop or an unreadable link.
std::optional<std::string> LinkTarget(std::string path) {
    constexpr int kMaxLinks = 40;  // as the kernel allows
    for (int i = 0; i < kMaxLinks; ++i) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        // A link that someone else planted could aim our write anywhere.
        if (st.st_uid != ::geteuid() && st.st_uid != 0) return std::nullopt;
        std::string link(PATH_MAX, '\0');
        ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
        if (n <= 0 || static_cast<size_t>(n) >= link.size()) return std::nullopt;
        link.resize(static_cast<size_t>(n));
        auto slash = path.rfind('/');
        if (link.front() != '/' && slash != std::string::npos) link.insert(0, path, 0, slash + 1);
        path = std::move(link);
    }
    return std::nullopt;
}

constexpr char kTempMark[] = ".tmp";
constexpr size_t kTempMarkSize = sizeof kTempMark - 1;
constexpr size_t kTempRandomSize = 6;  // the XXXXXX that mkostemp fills

// "<name>.tmpXXXXXX", as the replacement below names its temporary file.
bool IsReplacementOf(const std::string& entry, const std::string& name) {
    if (entry.size() != name.size() + kTempMarkSize + kTempRandomSize) return false;
    if (entry.compare(0, name.size(), name) != 0) return false;
    if (entry.compare(name.size(), kTempMarkSize, kTempMark) != 0) return false;
    for (size_t i = entry.size() - kTempRandomSize; i < entry.size(); ++i) {
        const char c = entry[i];
        const bool alnum =
            (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!alnum) return false;
    }
    return true;
}

}  // namespace

int RemoveStaleReplacements(const std::string& dir, const std::vector<std::string>& names,
                            int minAgeSeconds) {
    const UniqueFd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dirFd.Valid()) return 0;
    const int listFd = ::fcntl(dirFd.Get(), F_DUPFD_CLOEXEC, 0);  // closedir closes it
    if (listFd < 0) return 0;
    DIR* entries = ::fdopendir(listFd);
    if (entries == nullptr) {
        ::close(listFd);
        return 0;
    }
    const time_t now = ::time(nullptr);
    int removed = 0;
    while (const dirent* entry = ::readdir(entries)) {
        const std::string entryName = entry->d_name;
        const auto ours = [&](const std::string& name) { return IsReplacementOf(entryName, name); };
        if (std::none_of(names.begin(), names.end(), ours)) continue;
        struct stat st {};
        if (::fstatat(dirFd.Get(), entryName.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        // Root's replacements keep the replaced file's owner.
        if (!S_ISREG(st.st_mode) || (st.st_uid != ::geteuid() && ::geteuid() != 0)) continue;
        if (now - st.st_mtime < minAgeSeconds) continue;
        if (::unlinkat(dirFd.Get(), entryName.c_str(), 0) == 0) ++removed;
    }
    ::closedir(entries);
    return removed;
}

bool ReplaceFileAtomically(const std::string& path, const std::string& text) {
    const auto target = LinkTarget(path);
    if (!target) return false;
    // Directories are made for our own path only, never for where a link points.
    auto slash = target->rfind('/');
    if (*target == path && slash != std::string::npos && slash > 0 &&
        !MakeDirs(target->substr(0, slash))) {
        return false;
    }
    struct stat old {};
    const bool existed = ::stat(target->c_str(), &old) == 0;
    // A file made read-only is pinned: the replace must not override that.
    // Nor does a file stand in for a FIFO, a device or a directory.
    if (existed && (!S_ISREG(old.st_mode) || (old.st_mode & 0222) == 0 ||
                    ::access(target->c_str(), W_OK) != 0)) {
        return false;
    }
    std::string tmp = *target + ".tmpXXXXXX";
    UniqueFd fd(::mkostemp(tmp.data(), O_CLOEXEC));
    if (!fd.Valid()) return false;
    // Owner first: a change of owner clears set-id bits that the mode restores.
    bool ok = !existed || ::fchown(fd.Get(), old.st_uid, old.st_gid) == 0 || errno == EPERM;
    ok = ok && ::fchmod(fd.Get(), existed ? (old.st_mode & 07777) : 0644) == 0;
    size_t done = 0;
    while (ok && done < text.size()) {
        ssize_t n = ::write(fd.Get(), text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    ok = ok && done == text.size() && ::fsync(fd.Get()) == 0;
    ok = fd.Close() && ok;
    if (ok) ok = ::rename(tmp.c_str(), target->c_str()) == 0;
    if (!ok) {
        ::unlink(tmp.c_str());
        return false;
    }
    // The rename itself reaches the disk with its directory.
    const std::string dir =
        slash == std::string::npos ? "." : target->substr(0, slash != 0 ? slash : 1);
    const UniqueFd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd.Valid()) ::fsync(dirFd.Get());
    return true;
}

}  // namespace vantor::platform
