#include "protocol/ServerStatus.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <mutex>
#include <sstream>

#include "platform/IpcNames.h"

namespace vantor::protocol {

namespace {
// What this process last asked UpdateServerStatus to write.
std::mutex g_lastMutex;
std::optional<ServerStatus> g_last;

// The leading decimal number of text; 0 when there is none or it does not fit.
template <typename T>
T Number(const std::string& text) {
    T value{};
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}
}  // namespace

std::string ServerStatusPath() {
    std::string dir = platform::RuntimeDir();
    if (dir.empty()) return {};
    return dir + "/" + platform::IpcNamespace() + "Vantor.status";
}

bool ServerProcessRuns(long pid) {
    // Beyond pid_t the cast could give -1, which kill() takes for every process.
    if (pid <= 0 || pid > std::numeric_limits<pid_t>::max()) return false;
    // EPERM: it runs, under another user.
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM) return false;
    // A process that has ended but whose parent has not collected it yet
    // (state Z) runs no more.
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return true;
    const size_t close = line.rfind(')');  // the command name may hold anything
    return close == std::string::npos || close + 2 >= line.size() || line[close + 2] != 'Z';
}

bool WriteServerStatus(const ServerStatus& status) {
    const std::string path = ServerStatusPath();
    if (path.empty()) return false;
    const std::string tmp = path + ".tmp";
    {
        std::ofstream out(tmp, std::ios::trunc);
        out << "board=" << status.board << "\nmode=" << status.mode << "\npid=" << ::getpid()
            << "\nboard_lost=" << status.boardLost << "\nboard_losses=" << status.boardLosses
            << "\n";
        if (!out) return false;
    }
    return std::rename(tmp.c_str(), path.c_str()) == 0;
}

bool UpdateServerStatus(const ServerStatus& status) {
    std::lock_guard lock(g_lastMutex);
    if (g_last && *g_last == status) return true;
    // Kept even when the write fails: a failure is reported once per change.
    g_last = status;
    return WriteServerStatus(status);
}

std::optional<ServerStatus> ReadServerStatus() {
    const std::string path = ServerStatusPath();
    if (path.empty()) return std::nullopt;
    std::ifstream in(path);
    if (!in) return std::nullopt;
    ServerStatus status;
    std::string line;
    for (int lines = 0; lines < 16 && std::getline(in, line); ++lines) {
        auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string key = line.substr(0, eq);
        std::string value = line.substr(eq + 1, 128);
        if (key == "board") status.board = value;
        if (key == "mode") status.mode = Number<int>(value);
        if (key == "pid") status.pid = Number<long>(value);
        if (key == "board_lost") status.boardLost = Number<int>(value);
        if (key == "board_losses") status.boardLosses = Number<unsigned long long>(value);
    }
    return status;
}

void RemoveServerStatus() {
    std::lock_guard lock(g_lastMutex);
    g_last.reset();
    const std::string path = ServerStatusPath();
    if (!path.empty()) ::unlink(path.c_str());
}

}  // namespace vantor::protocol
