#include "support/TestEnv.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/IpcNames.h"

namespace vantor::test {

TempDir::TempDir() {
    std::string tmpl = std::filesystem::temp_directory_path().string() + "/vantor-test-XXXXXX";
    if (::mkdtemp(tmpl.data()) != nullptr) m_path = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    if (!m_path.empty()) std::filesystem::remove_all(m_path, ec);
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string ExecutableDir() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(".") : exe.parent_path().string();
}

namespace {
void SetEnv(const std::string& name, const char* value) {
    if (value != nullptr) {
        ::setenv(name.c_str(), value, 1);
    } else {
        ::unsetenv(name.c_str());
    }
}
}  // namespace

ScopedEnv::ScopedEnv(const char* name, const char* value) : m_name(name) {
    if (const char* old = std::getenv(name)) m_old = old;
    SetEnv(m_name, value);
}

ScopedEnv::~ScopedEnv() {
    SetEnv(m_name, m_old ? m_old->c_str() : nullptr);
}

void RemoveNamespaceObjects(const std::string& ns) {
    for (const std::string& dir : {std::string("/dev/shm"), platform::RuntimeDirPath()}) {
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
            if (entry.path().filename().string().rfind(ns, 0) == 0) {
                std::filesystem::remove(entry.path(), ec);
            }
        }
    }
}

bool WaitForFreeUdpPorts(const std::vector<int>& ports, std::chrono::milliseconds timeout) {
    auto free = [](int port) {
        const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        ::close(fd);
        return bound;
    };
    return Eventually(
        [&] {
            for (int port : ports) {
                if (!free(port)) return false;
            }
            return true;
        },
        timeout);
}

}  // namespace vantor::test
