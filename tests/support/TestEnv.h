#pragma once
// Helpers shared by the tests: private directories and child processes.
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace vantor::test {

// A fresh directory under the test's temporary root, removed by the destructor.
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

// Polls cond every 2 ms for up to timeout; its last answer.
template <typename Cond>
bool Eventually(Cond cond, std::chrono::milliseconds timeout = std::chrono::seconds(3)) {
    auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        if (cond()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return cond();
}

}  // namespace vantor::test
