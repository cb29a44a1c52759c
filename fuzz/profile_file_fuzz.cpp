// Fuzzes the profile files: any file text, then one write of a key read back.
// Input: file text, NUL, section, NUL, key, NUL, value (without a NUL the
// whole input is the file and [HK] MODE=2 is written). Invariants:
// - a write that fails leaves the file byte for byte;
// - a write that succeeds reads back as written (blanks trimmed, one pair of
//   quotes removed, as every value reads), and the same write again changes
//   no byte;
// - every other key of the file reads as before the write.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "FuzzSupport.h"
#include "platform/ProfileFile.h"

using namespace vantor::platform;
using vantor::fuzz::Check;

namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

// Section and key names that appear in the text, as probes for what must
// survive a write (at most 64; the reader decides what they hold).
std::vector<std::pair<std::string, std::string>> Probes(std::string_view text) {
    std::vector<std::pair<std::string, std::string>> probes;
    std::string section;
    while (!text.empty() && probes.size() < 64) {
        const size_t nl = text.find('\n');
        const std::string_view line = Trim(text.substr(0, nl));
        text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
        if (!line.empty() && line.front() == '[') {
            const size_t close = line.find(']');
            if (close != std::string_view::npos) section = Trim(line.substr(1, close - 1));
            continue;
        }
        const size_t eq = line.find('=');
        if (eq != std::string_view::npos && !section.empty()) {
            probes.emplace_back(section, std::string(Trim(line.substr(0, eq))));
        }
    }
    return probes;
}

std::string Expected(std::string_view value) {
    value = Trim(value);
    if (value.size() >= 2 && ((value.front() == '"' && value.back() == '"') ||
                              (value.front() == '\'' && value.back() == '\''))) {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value);
}

constexpr const char* kMissing = "\x01missing";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    const bool whole = rest.find('\0') == std::string_view::npos;
    const std::string text(vantor::fuzz::TakeUntilNul(rest));
    const std::string section = whole ? "HK" : std::string(vantor::fuzz::TakeUntilNul(rest));
    const std::string key = whole ? "MODE" : std::string(vantor::fuzz::TakeUntilNul(rest));
    const std::string value = whole ? "2" : std::string(rest);
    static const std::string path = vantor::fuzz::ScratchFile("AcqCfg.ini");
    vantor::fuzz::WriteWhole(path, text);

    const auto probes = Probes(text);
    std::vector<std::string> before;
    for (const auto& [s, k] : probes)
        before.push_back(GetPrivateProfileString(s, k, kMissing, path));
    (void)GetPrivateProfileInt(section, key, -7, path);

    if (!WritePrivateProfileString(section, key, value, path)) {
        Check(vantor::fuzz::ReadWhole(path) == text, "a refused write changed the file");
        return 0;
    }
    Check(GetPrivateProfileString(section, key, kMissing, path) == Expected(value),
          "a written key does not read back as written");
    const std::string written = vantor::fuzz::ReadWhole(path);
    Check(WritePrivateProfileString(section, key, value, path), "the same write again failed");
    Check(vantor::fuzz::ReadWhole(path) == written, "the same write again changed the file");

    for (size_t i = 0; i < probes.size(); ++i) {
        const auto& [s, k] = probes[i];
        if (Lower(s) == Lower(section) && Lower(k) == Lower(key)) continue;
        Check(GetPrivateProfileString(s, k, kMissing, path) == before[i],
              "another key changed with a write");
    }
    return 0;
}
