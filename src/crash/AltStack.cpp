// Alternate signal stacks: one per thread, so that a thread whose own stack
// ran out can still run the handler.
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>

#include "crash/CrashReport.h"

namespace {

constexpr size_t kAltStackSize = size_t{64} * 1024;

class AltStack {
public:
    AltStack() = default;
    AltStack(const AltStack&) = delete;
    AltStack& operator=(const AltStack&) = delete;

    ~AltStack() {
        if (m_map == nullptr) return;
        stack_t current{};
        if (::sigaltstack(nullptr, &current) == 0 && current.ss_sp == Top() &&
            (current.ss_flags & SS_DISABLE) == 0) {
            stack_t off{};
            off.ss_flags = SS_DISABLE;
            if (::sigaltstack(&off, nullptr) != 0) return;  // still in use: leave it mapped
        }
        ::munmap(m_map, m_guard + kAltStackSize);
    }

    bool Ensure() {
        stack_t current{};
        if (::sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE) == 0) {
            return true;  // ours from before, or one that someone else installed
        }
        m_guard = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
        void* map = ::mmap(nullptr, m_guard + kAltStackSize, PROT_READ | PROT_WRITE,
                           MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
        if (map == MAP_FAILED) return false;
        // A guard page below, so that a handler overrunning it faults cleanly.
        ::mprotect(map, m_guard, PROT_NONE);
        if (m_map != nullptr) ::munmap(m_map, m_guard + kAltStackSize);  // disabled meanwhile
        m_map = map;
        stack_t ss{};
        ss.ss_sp = Top();
        ss.ss_size = kAltStackSize;
        if (::sigaltstack(&ss, nullptr) != 0) {
            ::munmap(m_map, m_guard + kAltStackSize);
            m_map = nullptr;
            return false;
        }
        return true;
    }

private:
    void* Top() const { return static_cast<char*>(m_map) + m_guard; }

    void* m_map = nullptr;
    size_t m_guard = 0;
};

thread_local AltStack t_altStack;

}  // namespace

bool CCrashReport::PrepareThread() {
    return t_altStack.Ensure();
}
