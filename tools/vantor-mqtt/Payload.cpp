#include "Payload.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace vantor::mqtt {
namespace {

void PutLe(std::string& out, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// Length of the valid UTF-8 sequence at s[i], 0 when it is not one.
size_t Utf8Length(const std::string& s, size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    size_t n = 0;
    uint32_t min = 0;
    if (c < 0x80) return 1;
    if ((c & 0xE0) == 0xC0)
        n = 2, min = 0x80;
    else if ((c & 0xF0) == 0xE0)
        n = 3, min = 0x800;
    else if ((c & 0xF8) == 0xF0)
        n = 4, min = 0x10000;
    else
        return 0;
    if (i + n > s.size()) return 0;
    uint32_t cp = c & (0x7F >> n);
    for (size_t k = 1; k < n; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n;
}

// A decimal 0..max with no sign, no leading zero and nothing else.
bool StrictIndex(const std::string& text, int max, int& out) {
    if (text.empty() || text.size() > 3 || (text.size() > 1 && text[0] == '0')) return false;
    int v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v > max) return false;
    out = v;
    return true;
}

std::vector<std::string> Levels(const std::string& topic) {
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        size_t slash = topic.find('/', start);
        out.push_back(topic.substr(start, slash - start));
        if (slash == std::string::npos) return out;
        start = slash + 1;
    }
}

}  // namespace

std::string Topic(const std::string& prefix, const std::string& station, const std::string& rest) {
    return prefix + "/" + station + "/" + rest;
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const size_t n = Utf8Length(text, i);
        if (n == 0) {
            out += "\\ufffd";
            ++i;
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else {
            out.append(text, i, n);
        }
        i += n;
    }
    return out + "\"";
}

std::string JsonNumber(double value) {
    std::string out;
    AppendJsonNumber(out, value);
    return out;
}

void AppendJsonNumber(std::string& out, double value) {
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    // to_chars: no locale and no format parsing, several times cheaper than
    // printf, and the same text as "%.9g".
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 9);
    out.append(buf, r.ptr);
}

namespace {

void AppendFixed6(std::string& out, double value) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 6);
    if (r.ec == std::errc())
        out.append(buf, r.ptr);
    else
        out += "null";
}

template <typename Int>
void AppendInt(std::string& out, Int value) {
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, r.ptr);
}

}  // namespace

std::string AnalogJson(uint64_t seq, double t, const float* values, int count) {
    std::string out;
    out.reserve(64 + static_cast<size_t>(count) * 16);
    out += "{\"seq\":";
    AppendInt(out, seq);
    out += ",\"count\":";
    AppendInt(out, count);
    out += ",\"t\":";
    AppendFixed6(out, t);
    out += ",\"values\":[";
    for (int i = 0; i < count; ++i) {
        if (i > 0) out += ',';
        AppendJsonNumber(out, values[i]);
    }
    out += "]}";
    return out;
}

std::string AnalogBinary(uint64_t seq, double t, const float* values, int count) {
    std::string out;
    out.reserve(24 + static_cast<size_t>(count) * 4);
    PutLe(out, seq, 8);
    PutLe(out, static_cast<uint32_t>(count), 4);
    PutLe(out, 0, 4);
    uint64_t bits = 0;
    static_assert(sizeof bits == sizeof t);
    std::memcpy(&bits, &t, sizeof bits);
    PutLe(out, bits, 8);
    for (int i = 0; i < count; ++i) {
        uint32_t f = 0;
        std::memcpy(&f, &values[i], sizeof f);
        PutLe(out, f, 4);
    }
    return out;
}

std::string ValueJson(double value, double t) {
    std::string out = "{\"value\":";
    AppendJsonNumber(out, value);
    out += ",\"t\":";
    AppendFixed6(out, t);
    out += '}';
    return out;
}

bool ParseControl(const std::string& prefix, const std::string& station, const std::string& topic,
                  const std::string& payload, ControlRequest& out, std::string& error) {
    const std::string head = prefix + "/" + station + "/";
    if (topic.compare(0, head.size(), head) != 0) {
        error = "not a control topic of this station";
        return false;
    }
    const std::vector<std::string> levels = Levels(topic.substr(head.size()));
    ControlRequest r;
    if (levels.size() == 3 && levels[0] == "dout" && levels[2] == "set") {
        r.kind = ControlKind::Output;
        if (!StrictIndex(levels[1], 15, r.index)) {
            error = "output line '" + levels[1] + "' is not 0..15";
            return false;
        }
    } else if (levels.size() == 4 && levels[0] == "counter" && levels[2] == "hold" &&
               levels[3] == "set") {
        r.kind = ControlKind::CounterHold;
        int id = 0;
        if (!StrictIndex(levels[1], 999, id) || id < 300 || id > 303) {
            error = "counter '" + levels[1] + "' is not 300..303";
            return false;
        }
        r.index = id - 300;
    } else {
        error = "not a control topic";
        return false;
    }
    if (payload.size() > kMaxControlPayload) {
        error = "payload of " + std::to_string(payload.size()) + " bytes is too long";
        return false;
    }
    const size_t a = payload.find_first_not_of(" \t\r\n");
    const size_t b = payload.find_last_not_of(" \t\r\n");
    const std::string value = a == std::string::npos ? "" : payload.substr(a, b - a + 1);
    if (value != "0" && value != "1") {
        error = "payload " + JsonString(payload) + " is not 0 or 1";
        return false;
    }
    r.value = value == "1" ? 1 : 0;
    out = r;
    return true;
}

}  // namespace vantor::mqtt
