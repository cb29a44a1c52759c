#include "emulation/SimControl.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
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

// What the cards have: channels 0..31, frequency inputs 1..4, counters
// 0..3, ±5 V converters, 16-bit converter words and 32-bit counts.
constexpr long long kMaxWord = 0xFFFF;
constexpr long long kMaxCount = 0xFFFFFFFFLL;
constexpr double kMaxVolts = 5.0;
constexpr long long kMaxBusyPolls = 1000000;

struct PairSetting {
    const char* verb;
    const char* key;  // what N names
    long long keyLo;
    long long keyHi;
    const char* value;  // what VALUE is
    double valueLo;
    double valueHi;
    bool real;  // VALUE is a real number, else an integer
    void (*apply)(Card& card, int key, double value);
};

constexpr PairSetting kPairSettings[] = {
    {"analog", "channel", 0, kEmuChannels - 1, "volts", -kMaxVolts, kMaxVolts, true,
     [](Card& c, int ch, double v) { c.SetVolts(ch, v); }},
    {"raw", "channel", 0, kEmuChannels - 1, "code", 0, kMaxWord, false,
     [](Card& c, int ch, double v) { c.SetRaw(ch, static_cast<uint16_t>(v)); }},
    {"freq", "frequency input", 1, 4, "hz", 0, HUGE_VAL, true,
     [](Card& c, int in, double v) { c.SetFrequency(in, v); }},
    {"period", "frequency input", 1, 4, "count", 0, kMaxCount, false,
     [](Card& c, int in, double v) { c.SetPeriodCount(in, static_cast<uint32_t>(v)); }},
    {"counter", "counter", 0, 3, "value", 0, kMaxCount, false,
     [](Card& c, int n, double v) { c.SetCounter(n, static_cast<uint32_t>(v)); }},
};

std::string Range(const char* what, double lo, double hi, std::string_view got) {
    char bounds[64];
    if (hi == HUGE_VAL)
        std::snprintf(bounds, sizeof bounds, "a number of %.10g or more", lo);
    else
        std::snprintf(bounds, sizeof bounds, "%.10g..%.10g", lo, hi);
    return std::string(what) + " must be " + bounds + " (got " + std::string(Trim(got)) + ")";
}

bool ApplyPair(IsaBus& bus, const PairSetting& setting, std::string_view args, std::string& why) {
    std::string_view key;
    std::string_view value;
    long long n = 0;
    if (!SplitPair(args, key, value) || !ParseLong(key, n)) {
        why = "expected: " + std::string(setting.verb) + " N=VALUE";
        return false;
    }
    if (n < setting.keyLo || n > setting.keyHi) {
        why = Range(setting.key, static_cast<double>(setting.keyLo),
                    static_cast<double>(setting.keyHi), key);
        return false;
    }
    double v = 0.0;
    long long m = 0;
    bool parsed = setting.real ? ParseDouble(value, v) : ParseLong(value, m);
    if (!setting.real) v = static_cast<double>(m);
    // Not-a-number and the infinities are nothing a card can deliver.
    if (!parsed || !(v >= setting.valueLo && v <= setting.valueHi) || !std::isfinite(v)) {
        why = Range(setting.value, setting.valueLo, setting.valueHi, value);
        return false;
    }
    for (const auto& card : bus.Cards()) setting.apply(*card, static_cast<int>(n), v);
    return true;
}

}  // namespace

bool ApplySetting(IsaBus& bus, std::string_view line, std::string& why) {
    line = Trim(line);
    size_t space = line.find(' ');
    std::string_view verb = line.substr(0, space);
    std::string_view args = space == std::string_view::npos ? "" : Trim(line.substr(space + 1));
    long long n = 0;

    if (verb == "din") {
        // Hexadecimal, with or without its 0x.
        if (!ParseLong(args, n, 16) || n < 0 || n > kMaxWord) {
            why = "din must be hexadecimal 0..FFFF (got " + std::string(args) + ")";
            return false;
        }
        for (const auto& card : bus.Cards()) card->SetDigitalIn(static_cast<uint16_t>(n));
        return true;
    }
    if (verb == "busy") {
        if (!ParseLong(args, n) || n < -1 || n > kMaxBusyPolls) {
            why = "busy must be -1 (never ready) or 0..1000000 (got " + std::string(args) + ")";
            return false;
        }
        for (const auto& card : bus.Cards()) card->SetBusyPolls(static_cast<int>(n));
        return true;
    }
    for (const PairSetting& setting : kPairSettings) {
        if (verb == setting.verb) return ApplyPair(bus, setting, args, why);
    }
    why = "unknown setting '" + std::string(verb) + "'";
    return false;
}

bool ParseCardOption(std::string_view text, uint8_t& type, int& base) {
    size_t at = text.find('@');
    long long t = 0;
    long long b = 0;
    if (at == std::string_view::npos || !ParseLong(text.substr(0, at), t) ||
        !ParseLong(text.substr(at + 1), b) || t < 0 || t > 0xFF || b < 0 || b > 0xFFFF)
        return false;
    type = static_cast<uint8_t>(t);
    base = static_cast<int>(b);
    return true;
}

}  // namespace vantor::emulation
