#include "platform/Result.h"

#include <cstring>

namespace vantor::platform {

Error ErrnoError(const std::string& what, int err) {
    return Error{err, what + ": " + ErrnoText(err)};
}

const char* ErrnoText(int err) {
    const char* text = ::strerrordesc_np(err);
    return text != nullptr ? text : "unknown error";
}

}  // namespace vantor::platform
