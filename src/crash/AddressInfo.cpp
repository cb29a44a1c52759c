#include "crash/AddressInfo.h"

#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <limits.h>
#include <link.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vantor::crash {
namespace {

constexpr size_t kMaxSections = 128;
constexpr size_t kModuleSlots = 4;
constexpr size_t kHeaderBatch = 32;
constexpr size_t kMaxSectionHeaders = 65536;  // beyond this a file is not worth trusting

struct SectionRange {
    unsigned index;
    uint64_t start;  // ELF virtual address
    uint64_t size;
};

struct ModuleSlot {
    bool used;
    uintptr_t low;  // span of its loaded segments
    uintptr_t high;
    uintptr_t bias;  // run-time address = bias + ELF virtual address
    char path[PATH_MAX];
    bool sectionsRead;
    size_t sectionCount;
    SectionRange sections[kMaxSections];
};

struct SymbolCache {
    bool valid;
    uintptr_t low;
    uintptr_t high;
    const char* name;
};

struct Region {
    bool valid;
    uintptr_t low;
    uintptr_t high;
    bool writable;
};

// One process-wide set of caches: only the thread that owns the crash report
// ever uses them, and a report is written once per process.
struct Lookup {
    char exePath[PATH_MAX];
    ModuleSlot modules[kModuleSlots];
    size_t nextSlot;
    SymbolCache symbol;
    Region region;
    char mapsChunk[4096];
    ElfW(Shdr) headers[kHeaderBatch];
};

Lookup g_lookup;

void CopyText(char* dst, size_t capacity, const char* src) {
    size_t i = 0;
    for (; src != nullptr && src[i] != '\0' && i + 1 < capacity; ++i) dst[i] = src[i];
    dst[i] = '\0';
}

bool ReadAt(int fd, void* dst, size_t length, uint64_t offset) {
    auto* p = static_cast<char*>(dst);
    while (length > 0) {
        ssize_t n = ::pread(fd, p, length, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        length -= static_cast<size_t>(n);
        offset += static_cast<uint64_t>(n);
    }
    return true;
}

struct ModuleQuery {
    uintptr_t addr;
    bool found;
    uintptr_t low;
    uintptr_t high;
    uintptr_t bias;
    const char* name;
};

int MatchModule(dl_phdr_info* info, size_t /*size*/, void* data) {
    auto* q = static_cast<ModuleQuery*>(data);
    uintptr_t low = UINTPTR_MAX;
    uintptr_t high = 0;
    for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& ph = info->dlpi_phdr[i];
        if (ph.p_type != PT_LOAD) continue;
        const uintptr_t start = info->dlpi_addr + ph.p_vaddr;
        const uintptr_t end = start + ph.p_memsz;
        if (start < low) low = start;
        if (end > high) high = end;
    }
    if (low >= high || q->addr < low || q->addr >= high) return 0;
    q->found = true;
    q->low = low;
    q->high = high;
    q->bias = info->dlpi_addr;
    q->name = info->dlpi_name;
    return 1;
}

ModuleSlot* FindModule(uintptr_t addr) {
    for (ModuleSlot& m : g_lookup.modules) {
        if (m.used && addr >= m.low && addr < m.high) return &m;
    }
    ModuleQuery q{};
    q.addr = addr;
    ::dl_iterate_phdr(MatchModule, &q);
    if (!q.found) return nullptr;

    ModuleSlot& m = g_lookup.modules[g_lookup.nextSlot];
    g_lookup.nextSlot = (g_lookup.nextSlot + 1) % kModuleSlots;
    m.used = true;
    m.low = q.low;
    m.high = q.high;
    m.bias = q.bias;
    // The loader names the main program "".
    CopyText(m.path, sizeof m.path,
             (q.name != nullptr && q.name[0] != '\0') ? q.name : g_lookup.exePath);
    m.sectionsRead = false;
    m.sectionCount = 0;
    return &m;
}

// Section headers are not part of the loaded image: read them from the file.
void ReadSections(ModuleSlot& m) {
    m.sectionsRead = true;
    const int fd = ::open(m.path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    ElfW(Ehdr) eh{};
    if (ReadAt(fd, &eh, sizeof eh, 0) && std::memcmp(eh.e_ident, ELFMAG, SELFMAG) == 0 &&
        eh.e_shentsize == sizeof(ElfW(Shdr)) && eh.e_shoff != 0) {
        size_t count = eh.e_shnum;
        if (count == 0 && ReadAt(fd, g_lookup.headers, sizeof(ElfW(Shdr)), eh.e_shoff)) {
            count = static_cast<size_t>(g_lookup.headers[0].sh_size);  // extended numbering
        }
        if (count > kMaxSectionHeaders) count = 0;
        for (size_t first = 0; first < count; first += kHeaderBatch) {
            const size_t n = count - first < kHeaderBatch ? count - first : kHeaderBatch;
            if (!ReadAt(fd, g_lookup.headers, n * sizeof(ElfW(Shdr)),
                        eh.e_shoff + first * sizeof(ElfW(Shdr)))) {
                break;
            }
            for (size_t j = 0; j < n && m.sectionCount < kMaxSections; ++j) {
                const ElfW(Shdr)& sh = g_lookup.headers[j];
                if ((sh.sh_flags & SHF_ALLOC) == 0 || sh.sh_size == 0) continue;
                m.sections[m.sectionCount++] = {static_cast<unsigned>(first + j), sh.sh_addr,
                                                sh.sh_size};
            }
        }
    }
    ::close(fd);
}

void FindSymbol(uintptr_t addr, uintptr_t probe, AddressInfo& out) {
    SymbolCache& c = g_lookup.symbol;
    if (!c.valid || probe < c.low || probe >= c.high) {
        Dl_info di{};
        void* extra = nullptr;  // the symbol's table entry
        if (::dladdr1(reinterpret_cast<void*>(probe), &di, &extra, RTLD_DL_SYMENT) == 0 ||
            di.dli_sname == nullptr || di.dli_saddr == nullptr) {
            return;
        }
        c.valid = true;
        c.low = reinterpret_cast<uintptr_t>(di.dli_saddr);
        const auto* sym = static_cast<const ElfW(Sym)*>(extra);
        c.high = c.low + ((sym != nullptr && sym->st_size > 0) ? sym->st_size : 1);
        c.name = di.dli_sname;
    }
    out.symbol = c.name;
    out.symbolOffset = addr - c.low;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "low-high perms ..." of one /proc/self/maps line.
bool ParseMapsLine(const char* line, Region& r) {
    uintptr_t values[2] = {0, 0};
    for (uintptr_t& v : values) {
        int digits = 0;
        for (int h = HexValue(*line); h >= 0; h = HexValue(*++line), ++digits) {
            v = (v << 4) | static_cast<uintptr_t>(h);
        }
        if (digits == 0) return false;
        if (*line != (&v == &values[0] ? '-' : ' ')) return false;
        ++line;
    }
    if (std::strlen(line) < 4) return false;
    r.low = values[0];
    r.high = values[1];
    r.writable = line[1] == 'w';
    return r.low < r.high;
}

bool FindRegion(uintptr_t addr) {
    Region& r = g_lookup.region;
    if (r.valid && addr >= r.low && addr < r.high) return true;
    r.valid = false;
    const int fd = ::open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char line[96];  // only the addresses and permissions matter
    size_t len = 0;
    bool found = false;
    while (!found) {
        ssize_t n = ::read(fd, g_lookup.mapsChunk, sizeof g_lookup.mapsChunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        for (ssize_t i = 0; i < n && !found; ++i) {
            const char c = g_lookup.mapsChunk[i];
            if (c != '\n') {
                if (len + 1 < sizeof line) line[len++] = c;
                continue;
            }
            line[len] = '\0';
            len = 0;
            Region candidate{};
            if (ParseMapsLine(line, candidate) && addr >= candidate.low && addr < candidate.high) {
                r = candidate;
                r.valid = true;
                found = true;
            }
        }
    }
    ::close(fd);
    return found;
}

}  // namespace

void InitAddressLookup(const char* executablePath) {
    CopyText(g_lookup.exePath, sizeof g_lookup.exePath, executablePath);
    // One real lookup now binds every function the handler will need.
    AddressInfo info;
    ResolveAddress(reinterpret_cast<uintptr_t>(&InitAddressLookup), false, info);
    int local = 0;
    (void)IsWritableMemory(reinterpret_cast<uintptr_t>(&local), sizeof local);
    ResetAddressLookup();
}

void ResetAddressLookup() {
    for (ModuleSlot& m : g_lookup.modules) m.used = false;
    g_lookup.nextSlot = 0;
    g_lookup.symbol.valid = false;
    g_lookup.region.valid = false;
}

void ResolveAddress(uintptr_t addr, bool returnAddress, AddressInfo& out) {
    out = AddressInfo{};
    ModuleSlot* m = FindModule(addr);
    if (m == nullptr) return;
    out.module = m->path;
    if (!m->sectionsRead) ReadSections(*m);
    const uint64_t rel = addr - m->bias;
    for (size_t i = 0; i < m->sectionCount; ++i) {
        const SectionRange& s = m->sections[i];
        if (rel >= s.start && rel - s.start < s.size) {
            out.section = s.index;
            out.offset = rel - s.start;
            break;
        }
    }
    FindSymbol(addr, returnAddress && addr > 0 ? addr - 1 : addr, out);
}

bool IsWritableMemory(uintptr_t addr, size_t length) {
    const uintptr_t end = addr + length;
    if (end < addr) return false;
    for (uintptr_t at = addr; at < end; at = g_lookup.region.high) {
        if (!FindRegion(at) || !g_lookup.region.writable) return false;
    }
    return true;
}

}  // namespace vantor::crash
