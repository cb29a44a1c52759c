// Fuzzes the splitting of command texts: the system library's fields (of a
// request's unterminated 512-byte text and of any terminated text), its
// trimming, the command word and the fixed-size text fields. Input: one byte
// picking the separator, then the text. Every result is checked against a
// plain reading of the text: the fields joined with their separator give the
// text back, the count matches, and a trimmed text is the same text less its
// ends.
#include <strings.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "engine/CommandText.h"
#include "protocol/TextFields.h"
#include "syslib/Korbel.h"
#include "syslib/KorbelApi.h"

using vantor::fuzz::Check;

namespace {

std::vector<std::string_view> Split(std::string_view text, char sep) {
    std::vector<std::string_view> fields;
    if (text.empty()) return fields;
    for (;;) {
        const size_t end = text.find(sep);
        fields.push_back(text.substr(0, end));
        if (end == std::string_view::npos) return fields;
        text.remove_prefix(end + 1);
    }
}

// The fields of text as the library gives them, each compared with the plain
// split; out has room for outSize bytes.
template <typename Get>
void CheckFields(std::string_view text, char sep, int outSize, Get get) {
    const std::vector<std::string_view> expected = Split(text, sep);
    std::string joined;
    bool cut = false;
    std::vector<char> out(static_cast<size_t>(outSize));
    const int probes = static_cast<int>(expected.size() < 40 ? expected.size() : 40);
    for (int i = 0; i <= probes; ++i) {
        std::memset(out.data(), 0x5A, out.size());
        const int n = get(out.data(), i);
        if (i == static_cast<int>(expected.size())) {
            Check(n == 0 && out[0] == '\0', "a field beyond the last was found");
            break;
        }
        if (i == probes) break;
        const std::string_view want = expected[static_cast<size_t>(i)];
        const size_t kept = want.size() < out.size() - 1 ? want.size() : out.size() - 1;
        Check(n == static_cast<int>(kept) + 1, "a field's length is wrong");
        Check(std::memchr(out.data(), '\0', out.size()) == out.data() + kept,
              "a field is not terminated where it ends");
        Check(std::string_view(out.data(), kept) == want.substr(0, kept),
              "a field's text is wrong");
        cut = cut || kept < want.size();
        if (i > 0) joined += sep;
        joined.append(out.data(), kept);
    }
    if (!cut && probes == static_cast<int>(expected.size())) {
        Check(joined == text, "the fields joined do not give the text");
    }
}

int ReferenceCommand(std::string word) {
    while (!word.empty() && word.front() == ' ') word.erase(0, 1);
    while (!word.empty() && word.back() == ' ') word.pop_back();
    if (::strcasecmp(word.c_str(), "PORT") == 0) return vantor::engine::kCommandPort;
    if (::strcasecmp(word.c_str(), "CONNECT") == 0) return vantor::engine::kCommandConnect;
    if (::strcasecmp(word.c_str(), "DISCONNECT") == 0) return vantor::engine::kCommandDisconnect;
    return vantor::engine::kCommandNone;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (DMI_Load(1) != 1) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const char seps[] = {',', ' ', ';', '\t', '\0', static_cast<char>(data[0])};
    const char sep = seps[data[0] % sizeof seps];
    const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string text(input.substr(0, input.find('\0')));  // as a C string sees it

    // A request's text: 512 bytes, terminated or not, split at commas.
    char record[kKorbelRecordTextSize];
    std::memset(record, 0, sizeof record);
    std::memcpy(record, input.data(), input.size() < sizeof record ? input.size() : sizeof record);
    const std::string_view recordText(record, ::strnlen(record, sizeof record));
    CheckFields(recordText, ',', kKorbelFieldSize,
                [&](char* out, int i) { return DMI_GetField(record, out, i); });

    CheckFields(text, sep, kKorbelField2Size,
                [&](char* out, int i) { return DMI_GetField2(text.c_str(), out, i, sep); });
    const int count = DMI_GetFieldCount(text.c_str(), sep);
    Check(count == static_cast<int>(Split(text, sep).size()), "the field count is wrong");

    // Trimming: the same text less every sep at the chosen end(s).
    std::string left = text;
    const int leftLength = DMI_TrimLeft(left.data(), sep);
    std::string right = text;
    const int rightLength = DMI_TrimRight(right.data(), sep);
    std::string both = text;
    Check(DMI_Trim(both.data(), sep) == 1, "trim failed");
    const size_t first = sep == '\0' ? 0 : text.find_first_not_of(sep);
    // No such character: npos + 1 wraps to 0, an empty right-trimmed text.
    const size_t last = sep == '\0' ? text.size() : text.find_last_not_of(sep) + 1;
    const std::string wantLeft = first == std::string::npos ? "" : text.substr(first);
    const std::string wantRight = text.substr(0, last);
    Check(leftLength == static_cast<int>(wantLeft.size()) && left.c_str() == wantLeft,
          "left trim is wrong");
    Check(rightLength == static_cast<int>(wantRight.size()) && right.c_str() == wantRight,
          "right trim is wrong");
    Check(both.c_str() == (first == std::string::npos ? "" : text.substr(first, last - first)),
          "trim is wrong");

    // The command word: spaces trimmed, compared ignoring case.
    std::string word = text;
    Check(vantor::engine::ClassifyCommand(word.data()) == ReferenceCommand(text),
          "the command word is classified wrongly");

    // A fixed-size field keeps what fits and is always terminated.
    char field[100];
    const size_t room = data[0] % sizeof field + 1;
    std::memset(field, 0x5A, sizeof field);
    vantor::protocol::CopyCut(field, room, text.c_str());
    const size_t kept = text.size() < room - 1 ? text.size() : room - 1;
    Check(field[kept] == '\0' &&
              std::string_view(field, kept) == std::string_view(text).substr(0, kept),
          "a fixed-size field is wrong");
    Check(kept + 1 == sizeof field || field[kept + 1] == 0x5A, "a fixed-size field overran");
    return 0;
}
