#include "platform/Result.h"

#include <cstring>

namespace vantor::platform {

Error ErrnoError(const std::string& what, int err) {
    return Error{err, what + ": " + std::strerror(err)};
}

}  // namespace vantor::platform
