#pragma once
// One message of the copy-data bus as its receiver sees it. Self-contained:
// the client library's installed header carries it too.
#include <cstdint>
#include <string_view>

namespace vantor::platform {

struct CopyDataMessage {
    uint32_t code = 0;      // the message code
    uint64_t dataWord = 0;  // the sender's declared payload length, as given
    std::string_view data;  // the payload bytes received
};

}  // namespace vantor::platform
