#include "engine/CommandText.h"

#include <strings.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "engine/MergedRequest.h"
#include "engine/PeerTable.h"
#include "syslib/Korbel.h"
#include "syslib/KorbelApi.h"

namespace vantor::engine {
namespace {

// Decimal text to int; 0 when it is not a number (leading text is taken as
// far as it reads, like atoi, and out-of-range values are limited).
int DecimalOrZero(const char* text) {
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (end == text) return 0;
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

bool Field(const AcqRequest& r, char (&out)[kKorbelFieldSize], int index) {
    return DMI_GetField(&r, out, index) > 0;
}

}  // namespace

int ClassifyCommand(char* word) {
    if (word == nullptr) return kCommandNone;
    DMI_Trim(word, ' ');
    if (word[0] == '\0') return kCommandNone;
    if (::strcasecmp(word, "PORT") == 0) return kCommandPort;
    if (::strcasecmp(word, "CONNECT") == 0) return kCommandConnect;
    if (::strcasecmp(word, "DISCONNECT") == 0) return kCommandDisconnect;
    return kCommandNone;
}

int HandleRequest(PeerTable& peers, MergedRequest& merged, const AcqRequest* request) {
    if (request == nullptr) return 0;
    AcqRequest r = *request;
    ClampCounts(r);
    char word[kKorbelFieldSize];
    if (!Field(r, word, 0)) return 1;
    switch (ClassifyCommand(word)) {
        case kCommandConnect: {
            char name[kKorbelFieldSize];
            char count[kKorbelFieldSize];
            char extra[kKorbelFieldSize];
            char host[kKorbelFieldSize];
            if (!Field(r, name, 1) || !Field(r, count, 4) || !Field(r, extra, 5) ||
                !Field(r, host, 3)) {
                return 1;
            }
            // Refused by a full table or not, the lists are merged.
            peers.AddOrRefreshPeer(name, host, DecimalOrZero(count), DecimalOrZero(extra), r);
            merged.Update([&](AcqRequest& m) { MergeRequest(m, r); });
            return 1;
        }
        case kCommandDisconnect: {
            char name[kKorbelFieldSize];
            if (Field(r, name, 1)) peers.RemovePeer(name);
            return 1;
        }
        default:
            return 1;
    }
}

}  // namespace vantor::engine
