// vantor-crash-victim <mode>: faults on purpose under the crash reporter, so
// the tests can read the report it leaves and the status it ends with.
// The fault functions are exported (the program is linked with its symbols
// exported) so that their names show up in the call stack.
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "crash/CrashReport.h"

namespace {
volatile uintptr_t g_zero = 0;  // opaque to the optimiser: the faults must really happen
}

extern "C" {

__attribute__((noinline)) void VictimNullWrite() {
    *reinterpret_cast<volatile int*>(g_zero) = 1;
}

__attribute__((noinline)) int VictimDivide(int value) {
    return value / static_cast<int>(g_zero);
}

__attribute__((noinline)) int VictimRecurse(int depth) {
    volatile char pad[512];
    pad[0] = static_cast<char>(depth);
    if (g_zero == 1) return depth;  // never: keeps the compiler from proving it endless
    return VictimRecurse(depth + 1) + pad[0];
}

__attribute__((noinline)) void VictimJumpUnmapped() {
    const long page = ::sysconf(_SC_PAGESIZE);
    void* code = ::mmap(nullptr, static_cast<size_t>(page), PROT_READ | PROT_EXEC,
                        MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (code == MAP_FAILED) std::_Exit(3);
    ::munmap(code, static_cast<size_t>(page));
    // Formatted by hand and written directly: nothing may map memory before the jump.
    char line[64];
    const int n = std::snprintf(line, sizeof line, "address %016lX\n",
                                static_cast<unsigned long>(reinterpret_cast<uintptr_t>(code)));
    if (::write(STDOUT_FILENO, line, static_cast<size_t>(n)) != n) std::_Exit(3);
    reinterpret_cast<void (*)()>(code)();
}

}  // extern "C"

namespace {

template <typename Fn>
void InWorkers(int count, Fn fn) {
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int i = 0; i < count; ++i) {
        threads.emplace_back([&go, fn] {
            CCrashReport::PrepareThread();
            while (!go.load()) {
            }
            fn();
        });
    }
    go.store(true);
    for (auto& t : threads) t.join();
}

}  // namespace

int main(int argc, char** argv) {
    CCrashReport crashReport;
    using Fault = void (*)();
    const struct {
        const char* mode;
        Fault fault;
    } kModes[] = {
        {"null-write", VictimNullWrite},
        {"divide", [] { std::printf("%d\n", VictimDivide(1)); }},
        {"jump", VictimJumpUnmapped},
        {"recursion", [] { std::printf("%d\n", VictimRecurse(0)); }},
        {"abort", std::abort},
        {"thread", [] { InWorkers(1, VictimNullWrite); }},
        {"thread-recursion", [] { InWorkers(1, [] { std::printf("%d\n", VictimRecurse(0)); }); }},
        {"concurrent", [] { InWorkers(4, VictimNullWrite); }},
    };
    for (const auto& m : kModes) {
        if (argc == 2 && std::strcmp(argv[1], m.mode) == 0) {
            m.fault();
            return 1;  // the fault did not happen
        }
    }
    std::fputs("usage: vantor-crash-victim <mode>\n", stderr);
    return 2;
}
