#pragma once
// The fixed-size text fields of the records (peer names and hosts, client
// names): a longer text is cut to fit and the field is always terminated.
#include <cstddef>
#include <cstring>

namespace vantor::protocol {

// Copies text into a buffer of size bytes, cut to size - 1 and terminated.
inline void CopyCut(char* out, size_t size, const char* text) {
    if (size == 0) return;
    size_t n = ::strnlen(text, size - 1);
    std::memcpy(out, text, n);
    out[n] = '\0';
}

}  // namespace vantor::protocol
