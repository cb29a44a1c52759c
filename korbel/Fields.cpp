// Splitting texts into fields and trimming them.
#include <algorithm>
#include <cstring>
#include <string_view>

#include "syslib/KorbelApi.h"

namespace {

// Field `index` of text split at sep. An empty text has no fields; otherwise
// there is one field more than separators. No quoting: every sep splits.
bool FindField(std::string_view text, char sep, int index, std::string_view& field) {
    if (text.empty()) return false;
    std::size_t start = 0;
    for (int i = 0;; ++i) {
        const std::size_t end = text.find(sep, start);
        if (i == index) {
            field = text.substr(
                start, end == std::string_view::npos ? std::string_view::npos : end - start);
            return true;
        }
        if (end == std::string_view::npos) return false;
        start = end + 1;
    }
}

// Copies at most outSize - 1 characters and the NUL; the copied length + 1,
// so that an empty field still counts as found.
int CopyField(std::string_view field, char* out, std::size_t outSize) {
    const std::size_t n = std::min(field.size(), outSize - 1);
    std::memcpy(out, field.data(), n);
    out[n] = '\0';
    return static_cast<int>(n) + 1;
}

int SplitInto(std::string_view text, char sep, int index, char* out, std::size_t outSize) {
    std::string_view field;
    if (!FindField(text, sep, index, field)) {
        out[0] = '\0';
        return 0;
    }
    return CopyField(field, out, outSize);
}

}  // namespace

extern "C" {

int GetField(const void* record, char* out, int index) {
    if (record == nullptr || out == nullptr || index < 0) return kKorbelBadArgument;
    // The text of a request may fill all its bytes without a NUL.
    const char* text = static_cast<const char*>(record);
    const std::string_view view(text, ::strnlen(text, kKorbelRecordTextSize));
    return SplitInto(view, ',', index, out, kKorbelFieldSize);
}

int GetField2(const char* text, char* out, int index, char sep) {
    if (text == nullptr || out == nullptr || index < 0) return kKorbelBadArgument;
    return SplitInto(std::string_view(text), sep, index, out, kKorbelField2Size);
}

int GetFieldCount(const char* text, char sep) {
    if (text == nullptr) return kKorbelBadArgument;
    const std::string_view view(text);
    if (view.empty()) return 0;
    return static_cast<int>(std::count(view.begin(), view.end(), sep)) + 1;
}

int TrimLeft(char* text, char c) {
    if (text == nullptr) return kKorbelBadArgument;
    const std::size_t len = std::strlen(text);
    std::size_t skip = 0;
    if (c != '\0') {
        while (skip < len && text[skip] == c) ++skip;
    }
    if (skip > 0) std::memmove(text, text + skip, len - skip + 1);
    return static_cast<int>(len - skip);
}

int TrimRight(char* text, char c) {
    if (text == nullptr) return kKorbelBadArgument;
    std::size_t len = std::strlen(text);
    if (c != '\0') {
        while (len > 0 && text[len - 1] == c) --len;
    }
    text[len] = '\0';
    return static_cast<int>(len);
}

}  // extern "C"
