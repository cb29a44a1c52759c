#include "emulation/SimControl.h"

#include <cerrno>
#include <cstdlib>
#include <string>

namespace vantor::emulation {
namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() &&
           (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}

bool ParseLong(std::string_view text, long long& out, int radix = 0) {
    std::string s(Trim(text));
    if (s.empty()) return false;
    char* end = nullptr;
    errno = 0;
    out = std::strtoll(s.c_str(), &end, radix);
    return errno == 0 && end != nullptr && *end == '\0';
}

bool ParseDouble(std::string_view text, double& out) {
    std::string s(Trim(text));
    if (s.empty()) return false;
    char* end = nullptr;
    errno = 0;
    out = std::strtod(s.c_str(), &end);
    return errno == 0 && end != nullptr && *end == '\0';
}

// "K=V" into its two halves.
bool SplitPair(std::string_view text, std::string_view& key, std::string_view& value) {
    size_t eq = text.find('=');
    if (eq == std::string_view::npos) return false;
    key = text.substr(0, eq);
    value = text.substr(eq + 1);
    return true;
}

template <typename Fn>
void ForEach(IsaBus& bus, Fn fn) {
    for (const auto& card : bus.Cards()) fn(*card);
}

}  // namespace

bool ApplySetting(IsaBus& bus, std::string_view line, std::string& why) {
    line = Trim(line);
    size_t space = line.find(' ');
    std::string_view verb = line.substr(0, space);
    std::string_view args = space == std::string_view::npos ? "" : Trim(line.substr(space + 1));
    std::string_view key, value;
    long long n = 0, m = 0;
    double d = 0.0;

    if (verb == "din" || verb == "busy") {
        // din is hexadecimal, with or without its 0x.
        if (!ParseLong(args, n, verb == "din" ? 16 : 0) ||
            (verb == "din" && (n < 0 || n > 0xFFFF))) {
            why = "expected: " + std::string(verb) + (verb == "din" ? " HEX" : " NUMBER");
            return false;
        }
        ForEach(bus, [&](Card& c) {
            verb == "din" ? c.SetDigitalIn(static_cast<uint16_t>(n))
                          : c.SetBusyPolls(static_cast<int>(n));
        });
        return true;
    }
    if (!SplitPair(args, key, value) || !ParseLong(key, n)) {
        why = "expected: " + std::string(verb) + " N=VALUE";
        return false;
    }
    if (verb == "analog" || verb == "freq") {
        if (!ParseDouble(value, d) || n < 0 || n >= kEmuChannels) {
            why = "bad " + std::string(verb) + " setting";
            return false;
        }
        ForEach(bus, [&](Card& c) {
            verb == "analog" ? c.SetVolts(static_cast<int>(n), d)
                             : c.SetFrequency(static_cast<int>(n), d);
        });
        return true;
    }
    if (verb == "raw" || verb == "period" || verb == "counter") {
        if (!ParseLong(value, m) || n < 0 || n >= kEmuChannels || m < 0 || m > 0xFFFFFFFFLL) {
            why = "bad " + std::string(verb) + " setting";
            return false;
        }
        ForEach(bus, [&](Card& c) {
            if (verb == "raw") c.SetRaw(static_cast<int>(n), static_cast<uint16_t>(m));
            if (verb == "period") c.SetPeriodCount(static_cast<int>(n), static_cast<uint32_t>(m));
            if (verb == "counter") c.SetCounter(static_cast<int>(n), static_cast<uint32_t>(m));
        });
        return true;
    }
    why = "unknown setting '" + std::string(verb) + "'";
    return false;
}

bool ParseCardOption(std::string_view text, uint8_t& type, int& base) {
    size_t at = text.find('@');
    long long t = 0, b = 0;
    if (at == std::string_view::npos || !ParseLong(text.substr(0, at), t) ||
        !ParseLong(text.substr(at + 1), b) || t < 0 || t > 0xFF || b < 0 || b > 0xFFFF)
        return false;
    type = static_cast<uint8_t>(t);
    base = static_cast<int>(b);
    return true;
}

}  // namespace vantor::emulation
