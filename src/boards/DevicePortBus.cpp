// The device-file backend: /dev/port, where offset p of the file is I/O port
// p. Needs root and a kernel that offers the device; an ordinary file of
// 64 KiB stands in for it in tests.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "boards/PortBackends.h"
#include "platform/Result.h"
#include "platform/UniqueFd.h"

namespace vantor::boards {
namespace {

constexpr int kPortCount = 0x10000;

class DevicePortBus final : public PortBus {
public:
    DevicePortBus(std::string path, platform::UniqueFd fd)
        : m_fd(std::move(fd)), m_link(std::move(path)) {}
    DevicePortBus(const DevicePortBus&) = delete;
    DevicePortBus& operator=(const DevicePortBus&) = delete;

    int Version() override { return -1; }  // the kernel device has none

    // A range that is not sharable takes an exclusive lock on the device, so
    // two of our processes never drive the same card at once.
    uint32_t Claim(int /*port*/, int /*length*/, bool sharable) override {
        if (!sharable && ::flock(m_fd.Get(), LOCK_EX | LOCK_NB) != 0) return 0;
        m_locked = !sharable;
        return 1;
    }
    void Release(uint32_t /*cardHandle*/) override {
        if (m_locked) ::flock(m_fd.Get(), LOCK_UN);
        m_locked = false;
    }

    bool Read(int port, uint8_t& value) override {
        if (port < 0 || port >= kPortCount) return false;
        uint8_t byte = 0;
        if (!Done(::pread(m_fd.Get(), &byte, 1, port))) return false;
        value = byte;
        return true;
    }
    bool Write(int port, uint8_t value) override {
        if (port < 0 || port >= kPortCount) return false;
        return Done(::pwrite(m_fd.Get(), &value, 1, port));
    }
    PortLinkState Link() const override { return m_link.State(); }

private:
    // Counts the transfer's outcome: anything but the one byte is a failure.
    bool Done(ssize_t n) {
        if (n == 1) {
            m_link.Succeeded();
            return true;
        }
        m_link.Failed(n < 0 ? platform::ErrnoText(errno) : "no byte at that offset");
        return false;
    }

    platform::UniqueFd m_fd;
    bool m_locked = false;
    PortLinkCounter m_link;
};

}  // namespace

std::unique_ptr<PortBus> OpenDevicePortBus(std::string_view path, std::string& why) {
    std::string p(path);
    platform::UniqueFd fd(::open(p.c_str(), O_RDWR | O_CLOEXEC));
    if (!fd.Valid()) {
        why = platform::ErrnoError(p, errno).text;
        return nullptr;
    }
    return std::make_unique<DevicePortBus>(p, std::move(fd));
}

}  // namespace vantor::boards
