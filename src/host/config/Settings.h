#pragma once
// The operator switches and their file AcqSet.cfg: a 416-byte little-endian
// record, no header, no checksum.
//
//   offset 0  int32  g_bTopMost       keep the main window on top (any non-zero)
//   offset 4  int32  g_bOutputFollow  debug dialog outputs follow the outputs in use
//   offset 8  int32  g_bForceSim      1: never open the board, always simulate
//   offset 12 404 bytes reserved, written back as held
//
// The switches may be read by other threads, so they are atomics; the record
// is assembled from them when the file is read or written. The engine keeps
// its own forced-simulation value: whoever reads or changes g_bForceSim hands
// it over (AcqEngine::SetForceSim).
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace vantor::config {

constexpr size_t kSettingsSize = 416;
constexpr size_t kSettingsReserved = kSettingsSize - 12;

// Defaults at process start: 0, 1, 0, reserved all zero.
extern std::atomic<int32_t> g_bTopMost;
extern std::atomic<int32_t> g_bOutputFollow;
extern std::atomic<int32_t> g_bForceSim;

// Path of AcqSet.cfg in a configuration directory.
std::string SettingsPath(const std::string& configDir);

// Reads up to 416 bytes over the record from its start: a shorter file
// replaces only its length, a longer one only its first 416 bytes. -1 when
// the file cannot be opened (nothing changes), else 1. No range rule here.
int ReadSettings(const std::string& path);

// Writes all 416 bytes (creating the directory if needed) by replacing the
// file atomically; -1 on failure, the old file kept whole, else 1.
int WriteSettings(const std::string& path);

// Range rules the settings dialog applies after reading: g_bTopMost outside
// 0..1 becomes 0, g_bOutputFollow outside 0..1 becomes 1, g_bForceSim stays.
void ApplySettingsRangeRules();

// Back to the process-start defaults (for tests and a fresh start).
void ResetSettings();

}  // namespace vantor::config
