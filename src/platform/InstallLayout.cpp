#include "platform/InstallLayout.h"

#include <filesystem>
#include <system_error>

// Relative paths between the installed folders, fixed by the build.
#ifndef VANTOR_PRIVLIB_FROM_BIN
#define VANTOR_PRIVLIB_FROM_BIN "../lib/vantor"
#endif
#ifndef VANTOR_BIN_FROM_LIB
#define VANTOR_BIN_FROM_LIB "../bin"
#endif
#ifndef VANTOR_DATA_FROM_BIN
#define VANTOR_DATA_FROM_BIN "../share/vantor"
#endif

namespace vantor::platform {

namespace fs = std::filesystem;

namespace {

std::string Joined(const std::string& dir, const char* relative) {
    return (fs::path(dir) / relative).lexically_normal().string();
}

bool IsDirectory(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(path, ec);
}

bool IsFile(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

}  // namespace

std::string PrivateLibraryDir(const std::string& programDir) {
    if (programDir.empty()) return {};
    std::string installed = WithoutTrailingSlash(Joined(programDir, VANTOR_PRIVLIB_FROM_BIN));
    if (IsDirectory(installed)) return installed;
    const fs::path here(WithoutTrailingSlash(programDir));
    if (here.filename() == "bin") {
        std::string lib = (here.parent_path() / "lib").string();
        if (IsDirectory(lib)) return lib;
    }
    return here.string();
}

std::string ProgramDirForLibrary(const std::string& libraryDir) {
    if (libraryDir.empty()) return {};
    for (const char* relative : {VANTOR_BIN_FROM_LIB, "../bin"}) {
        std::string bin = WithoutTrailingSlash(Joined(libraryDir, relative));
        if (IsFile(bin + "/vantor")) return bin;
    }
    return {};
}

std::string DataFilePath(const std::string& programDir, const std::string& name) {
    std::string beside = (fs::path(programDir) / name).string();
    if (IsFile(beside)) return beside;
    return (fs::path(Joined(programDir, VANTOR_DATA_FROM_BIN)) / name).string();
}

}  // namespace vantor::platform
