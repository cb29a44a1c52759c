// Environment record, directories and version of the system library.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/InstallLayout.h"
#include "platform/Paths.h"
#include "syslib/KorbelApi.h"

namespace {

// Copies a path with its NUL into out, or nothing at all: a cut path would
// point somewhere else, so a path that does not fit is a failure.
int CopyPath(const std::string& path, char* out, std::size_t size) {
    if (out == nullptr || size == 0) return 0;
    if (path.empty() || path.size() >= size) {
        out[0] = '\0';
        return 0;
    }
    std::memcpy(out, path.data(), path.size());
    out[path.size()] = '\0';
    return static_cast<int>(path.size());
}

// The server executable sits in bin/ next to the lib/ that holds this library
// in both the build tree and an installation. A library used by some other
// program (a test, a tool) reports that program's directory instead.
// The programs' folder of this library's installation: from lib/ in the build
// tree, from the private lib/.../vantor/ folder when installed; else the
// running program's own folder.
std::string ServerDirPath() {
    const std::string libDir =
        vantor::platform::ModuleDirOf(reinterpret_cast<const void*>(&GetKorbel));
    if (!libDir.empty()) {
        for (const std::string& dir :
             {libDir, std::filesystem::path(libDir).parent_path().string()}) {
            std::string bin = vantor::platform::ProgramDirForLibrary(dir);
            if (!bin.empty()) return bin;
        }
    }
    return vantor::platform::ExecutableDir();
}

}  // namespace

extern "C" {

int GetKorbel(EnvRecord* record) {
    if (record == nullptr) return 0;
    std::memset(record, 0, sizeof *record);
    const bool ok =
        CopyPath(ServerDirPath(), record->ServerDir, sizeof record->ServerDir) > 0 &&
        CopyPath(vantor::platform::ConfigDir(), record->ConfigDir, sizeof record->ConfigDir) > 0;
    if (!ok) std::memset(record, 0, sizeof *record);
    return ok ? 1 : 0;
}

int GetVers(int /*unused*/, char* text) {
    if (text == nullptr) return 0;
    const int n = std::snprintf(text, kKorbelVersionSize, "Korbel %d.%d.%d (Vantor)",
                                KORBEL_VERSION_MAJOR, KORBEL_VERSION_MINOR, KORBEL_VERSION_PATCH);
    return n > 0 ? n : 0;
}

int GetConfigDir(char* out, int size) {
    return size > 0 ? CopyPath(vantor::platform::ConfigDir(), out, static_cast<std::size_t>(size))
                    : 0;
}

int GetServerDir(char* out, int size) {
    return size > 0 ? CopyPath(ServerDirPath(), out, static_cast<std::size_t>(size)) : 0;
}

int GetVersNum() {
    return (KORBEL_VERSION_MAJOR << 16) | (KORBEL_VERSION_MINOR << 8) | KORBEL_VERSION_PATCH;
}

// Test builds of the library report a wrong size to exercise the loader's check.
#ifndef KORBEL_REPORTED_RECORD_SIZE
#define KORBEL_REPORTED_RECORD_SIZE sizeof(EnvRecord)
#endif

int GetKorbelStrSize() {
    return static_cast<int>(KORBEL_REPORTED_RECORD_SIZE);
}

}  // extern "C"
