#pragma once
// Helpers shared by the tests: private directories, files, environment
// variables, and waiting for a condition.
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace vantor::test {

// How long a test waits for something that happens at once unless the code
// is broken: long, so a slow or busy machine never fails a test.
inline constexpr int kPatienceMs = 20000;

// A fresh directory under the test process's temporary root, removed by the destructor.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// Writes bytes to a file, replacing it.
void WriteFile(const std::string& path, const std::string& bytes);
// Reads a whole file ("" when missing).
std::string ReadFile(const std::string& path);

// Directory of the running test executable (build/bin).
std::string ExecutableDir();

// Sets (nullptr: unsets) an environment variable until the end of the scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_old;
};

// Polls cond every 2 ms for up to timeout; its last answer.
template <typename Cond>
bool Eventually(Cond cond,
                std::chrono::milliseconds timeout = std::chrono::milliseconds(kPatienceMs)) {
    auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        if (cond()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return cond();
}

// Removes what processes of IPC namespace ns made: shared-memory objects,
// sockets, locks and status files in the runtime directory.
void RemoveNamespaceObjects(const std::string& ns);

// Waits until every UDP port is free on the loopback interface (another
// test process, or another build's tests, may hold the server's fixed ports).
bool WaitForFreeUdpPorts(const std::vector<int>& ports,
                         std::chrono::milliseconds timeout = std::chrono::seconds(60));

}  // namespace vantor::test
