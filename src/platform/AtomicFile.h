#pragma once
// Replacing a small file so that a reader, a crash or a full disk never sees
// it half-written: the new bytes go to a temporary file in the same
// directory, are flushed to disk, and the temporary file is renamed over the
// old one.
#include <string>
#include <vector>

namespace vantor::platform {

// Replaces the file's bytes, creating the file (and its directory) as needed.
// Through a symbolic link the link's target is replaced and the link stays.
// The replacement keeps the old file's mode and, where we may give it (as
// root), its owner. false, with the old file untouched, when it cannot be
// written, is read-only, or is not a regular file.
bool ReplaceFileAtomically(const std::string& path, const std::string& text);

// Removes the temporary files that replacements of the files `names` in dir
// left behind when their process was killed mid-write: regular files of ours
// (any, for root) named like them and untouched for at least minAgeSeconds
// (a replacement under way is younger). Gives how many were removed.
int RemoveStaleReplacements(const std::string& dir, const std::vector<std::string>& names,
                            int minAgeSeconds);

}  // namespace vantor::platform
