#pragma once
// The environment record that the system library fills at start-up. Its size
// and the two path offsets are a fixed binary layout shared with every build of
// the library, so they must never move.
#include <cstddef>
#include <type_traits>

struct EnvRecord {
    char Reserved0[7190];    // kept zero; room the library may use later
    char ServerDir[616];     // directory of the installed server executable
    char ConfigDir[260];     // directory of the configuration files
    char Reserved1[180844];  // kept zero
};

inline constexpr std::size_t kEnvRecordSize = 188910;

static_assert(sizeof(EnvRecord) == kEnvRecordSize, "EnvRecord must stay 188,910 bytes");
static_assert(offsetof(EnvRecord, Reserved0) == 0);
static_assert(offsetof(EnvRecord, ServerDir) == 7190);
static_assert(offsetof(EnvRecord, ConfigDir) == 7806);
static_assert(offsetof(EnvRecord, Reserved1) == 8066);
static_assert(std::is_trivial_v<EnvRecord> && std::is_standard_layout_v<EnvRecord>);
