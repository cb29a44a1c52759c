#pragma once
// Profile (INI) files with the semantics of the Windows private-profile
// functions: sections and keys match case-insensitively, the first match
// wins, an integer read falls back to its default, and a string write changes
// one line and keeps the rest of the file byte for byte.
//
// Damaged files never crash a reader: a missing, unreadable or oversized
// file (over kMaxProfileBytes) reads as if it had no keys. A write to an
// oversized or unreadable existing file is refused rather than losing it.
#include <cstddef>
#include <string>

namespace vantor::platform {

constexpr size_t kMaxProfileBytes = 1 << 20;

// Why a reader would see the file as empty: "a directory", "not a regular
// file", "larger than 1 MiB" or why it cannot be opened; "" when it is
// usable or simply not there.
std::string ProfileFileProblem(const std::string& path);

// Integer value of key in section: leading blanks, an optional sign and
// decimal digits (as far as they go; no digits reads 0). Missing key or an
// empty value: the default. Out-of-range values are clamped to int.
int GetPrivateProfileInt(const std::string& section, const std::string& key, int defaultValue,
                         const std::string& path);

// String value of key (blanks trimmed, one pair of surrounding quotes removed),
// or the default when missing.
std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue, const std::string& path);

// Sets key=value in section, creating the file (and its directory), the
// section or the key as needed. The file is replaced atomically; through a
// symbolic link the link's target is, and the replacement keeps the file's
// mode and owner. false when the file cannot be written, the names/value
// contain line breaks, or a name would not read back as itself (blanks at an
// end; a key beginning with ';' or '[').
bool WritePrivateProfileString(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& path);

}  // namespace vantor::platform
