#pragma once
// Names of the process-shared objects. Every shared-memory, lock and socket
// name carries $VANTOR_IPC_NAMESPACE as a prefix (empty in production), so
// parallel test processes never share an object by accident.
#include <string>
#include <string_view>

#include "platform/Result.h"

namespace vantor::platform {

// The namespace prefix, or "" when unset. Only [A-Za-z0-9_.-] are kept.
std::string IpcNamespace();

// POSIX shared-memory object name: "/" + namespace + base.
std::string ShmName(std::string_view base);

// Where the per-user runtime directory is, whether or not it is usable.
std::string RuntimeDirPath();

// The per-user runtime directory ($XDG_RUNTIME_DIR/vantor, else
// /tmp/vantor-<uid>), created with mode 0700 on first use. Refused, with a
// text naming it, its owner and its mode, when it is a symbolic link, not a
// directory, another user's, or open to group or others.
Result<std::string> PrivateRuntimeDir();

// PrivateRuntimeDir(), or "" when it is refused.
std::string RuntimeDir();

}  // namespace vantor::platform
