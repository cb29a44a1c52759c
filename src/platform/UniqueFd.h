#pragma once
// A file descriptor with one owner, closed exactly once: by the last owner's
// destructor, by Reset or by Close. Move-only.
#include <utility>

namespace vantor::platform {

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& other) noexcept : m_fd(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }
    // Gives the descriptor up without closing it; this owner then holds none.
    int Release() { return std::exchange(m_fd, -1); }
    // Closes the descriptor held, if any, and takes fd.
    void Reset(int fd = -1);
    // Closes now. false when close reports an error, which for a file just
    // written means its data may not have reached the disk.
    bool Close();

private:
    int m_fd = -1;
};

}  // namespace vantor::platform
