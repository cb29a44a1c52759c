#include "syslib/Korbel.h"

#include <atomic>
#include <cstdlib>
#include <mutex>

#include "platform/DynamicLibrary.h"
#include "platform/InstallLayout.h"
#include "platform/Paths.h"
#include "platform/Trace.h"
#include "syslib/KorbelApi.h"

namespace {

using vantor::platform::DynamicLibrary;

// Entry points in the loader's order; published only after the record size
// has been checked, and read without a lock by worker threads.
std::atomic<void*> g_entries[kKorbelEntryCount];

std::mutex g_loadMutex;

// Kept alive until DMI_Unload: never closed by static destruction, because a
// worker thread may still be inside the library while the process exits.
DynamicLibrary& Library() {
    static auto* library = new DynamicLibrary();  // NOLINT(cppcoreguidelines-owning-memory)
    return *library;
}

void DefaultFatalSink(const char* text) {
    vantor::platform::TraceAt(vantor::platform::TraceLevel::Error, "%s\n", text);
}

std::atomic<DMI_FatalMessageSink> g_fatalSink{&DefaultFatalSink};

void ForgetEntries() {
    for (auto& entry : g_entries) entry.store(nullptr, std::memory_order_release);
}

void UnloadLocked() {
    ForgetEntries();
    Library().Close();
}

// False when the library's GetKorbelStrSize reports a record of another size
// than ours; true without that entry point (nothing to check against).
bool RecordSizeMatches(void* getSize, const std::string& path) {
    if (getSize == nullptr) return true;
    const int size = reinterpret_cast<decltype(&::GetKorbelStrSize)>(getSize)();
    if (size == static_cast<int>(sizeof(EnvRecord))) return true;
    vantor::platform::TraceAt(vantor::platform::TraceLevel::Error,
                              "DMI_Load: %s has a record of %d bytes, not %d\n", path.c_str(), size,
                              static_cast<int>(sizeof(EnvRecord)));
    return false;
}

template <typename Fn, typename... Args>
int Call(KorbelEntry entry, Args... args) {
    void* p = g_entries[entry].load(std::memory_order_acquire);
    if (p == nullptr) return DMI_NOT_LOADED;
    return reinterpret_cast<Fn>(p)(args...);
}

}  // namespace

std::string DMI_LibraryFileName(int selector) {
    switch (selector) {
        case 2:
            return "libkorbel2b.so";
        case 4:
            return "libkorbel4b.so";
        case 8:
            return "libkorbel8b.so";
        case 16:
            return "libkorbel16b.so";
        default:
            return "libkorbel.so";
    }
}

std::string DMI_SystemDirectory() {
    return vantor::platform::PrivateLibraryDir(
        vantor::platform::ModuleDirOf(reinterpret_cast<const void*>(&DMI_SystemDirectory)));
}

void DMI_SetFatalMessageSink(DMI_FatalMessageSink sink) {
    g_fatalSink.store(sink != nullptr ? sink : &DefaultFatalSink);
}

int DMI_LoadFrom(const std::string& dir, int selector) {
    std::unique_lock lock(g_loadMutex);
    UnloadLocked();
    if (dir.empty()) return DMI_NOT_LOADED;

    const std::string path = dir + "/" + DMI_LibraryFileName(selector);
    auto opened = DynamicLibrary::Open(path);
    if (!opened) {
        lock.unlock();
        vantor::platform::TraceAt(vantor::platform::TraceLevel::Error, "DMI_Load: %s: %s\n",
                                  path.c_str(), opened.error().text.c_str());
        g_fatalSink.load()(DMI_LOAD_FAILED_TEXT);
        // The server loads the library at start-up, before its threads run.
        std::exit(-1);  // NOLINT(concurrency-mt-unsafe)
    }

    // A wrong record size drops `opened`, which unloads the library again.
    void* resolved[kKorbelEntryCount] = {};
    int result = 1;
    for (int i = 0; i < kKorbelEntryCount; ++i) {
        resolved[i] = opened.value().Symbol(kKorbelEntryNames[i]);
        if (resolved[i] == nullptr) {
            vantor::platform::TraceAt(vantor::platform::TraceLevel::Warning,
                                      "DMI_Load: %s lacks %s\n", path.c_str(),
                                      kKorbelEntryNames[i]);
            // The entry points found before the gap stay usable; the record
            // size is still checked when the library has the call for it, so
            // GetKorbel never writes past a record of another size.
            if (!RecordSizeMatches(opened.value().Symbol(kKorbelEntryNames[kEntryGetKorbelStrSize]),
                                   path)) {
                return DMI_WRONG_RECORD_SIZE;
            }
            result = -(i + 2);
            break;
        }
        if (i == kEntryGetKorbelStrSize && !RecordSizeMatches(resolved[i], path)) {
            return DMI_WRONG_RECORD_SIZE;
        }
    }
    Library() = std::move(opened.value());
    for (int i = 0; i < kKorbelEntryCount; ++i) {
        g_entries[i].store(resolved[i], std::memory_order_release);
    }
    return result;
}

int DMI_Load(int selector) {
    return DMI_LoadFrom(DMI_SystemDirectory(), selector);
}

void DMI_Unload() {
    std::lock_guard lock(g_loadMutex);
    UnloadLocked();
}

int DMI_GetKorbel(EnvRecord* record) {
    return Call<decltype(&::GetKorbel)>(kEntryGetKorbel, record);
}
int DMI_GetVers(int unused, char* text) {
    return Call<decltype(&::GetVers)>(kEntryGetVers, unused, text);
}
int DMI_OpenNet(int unused1, int unused2, int recvPort, int sendPort) {
    return Call<decltype(&::OpenNet)>(kEntryOpenNet, unused1, unused2, recvPort, sendPort);
}
int DMI_CloseNet(int unused) {
    return Call<decltype(&::CloseNet)>(kEntryCloseNet, unused);
}
int DMI_ReadNetData(int unused, void* buffer, int length) {
    return Call<decltype(&::ReadNetData)>(kEntryReadNetData, unused, buffer, length);
}
int DMI_SendNetData(int unused, const char* host, int port, const void* buffer, int length) {
    return Call<decltype(&::SendNetData)>(kEntrySendNetData, unused, host, port, buffer, length);
}
int DMI_GetField(const void* record, char* out, int index) {
    return Call<decltype(&::GetField)>(kEntryGetField, record, out, index);
}
int DMI_GetField2(const char* text, char* out, int index, char sep) {
    return Call<decltype(&::GetField2)>(kEntryGetField2, text, out, index, sep);
}
int DMI_TrimLeft(char* text, char c) {
    return Call<decltype(&::TrimLeft)>(kEntryTrimLeft, text, c);
}
int DMI_TrimRight(char* text, char c) {
    return Call<decltype(&::TrimRight)>(kEntryTrimRight, text, c);
}
int DMI_WaitNetData(int unused, int timeoutMs) {
    return Call<decltype(&::WaitNetData)>(kEntryWaitNetData, unused, timeoutMs);
}
int DMI_GetFieldCount(const char* text, char sep) {
    return Call<decltype(&::GetFieldCount)>(kEntryGetFieldCount, text, sep);
}
int DMI_GetConfigDir(char* out, int size) {
    return Call<decltype(&::GetConfigDir)>(kEntryGetConfigDir, out, size);
}
int DMI_GetServerDir(char* out, int size) {
    return Call<decltype(&::GetServerDir)>(kEntryGetServerDir, out, size);
}
int DMI_GetNetPort(int which) {
    return Call<decltype(&::GetNetPort)>(kEntryGetNetPort, which);
}
int DMI_GetNetError(char* out, int size) {
    return Call<decltype(&::GetNetError)>(kEntryGetNetError, out, size);
}
int DMI_GetVersNum() {
    return Call<decltype(&::GetVersNum)>(kEntryGetVersNum);
}
int DMI_GetKorbelStrSize() {
    return Call<decltype(&::GetKorbelStrSize)>(kEntryGetKorbelStrSize);
}

int DMI_Trim(char* text, char c) {
    const int left = DMI_TrimLeft(text, c);
    if (left < 0) return left;
    const int right = DMI_TrimRight(text, c);
    return right < 0 ? right : 1;
}
