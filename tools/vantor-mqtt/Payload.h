#pragma once
// Topic names and message bodies of the bridge, and the parsing of the
// control messages it takes back. No I/O.
#include <cstdint>
#include <string>
#include <vector>

namespace vantor::mqtt {

// "prefix/station/" + rest.
std::string Topic(const std::string& prefix, const std::string& station, const std::string& rest);

// A JSON string literal of text: quotes, backslashes and control characters
// escaped; bytes that are not valid UTF-8 become U+FFFD.
std::string JsonString(const std::string& text);
// A float as JSON: nine significant digits (the exact float back), null when
// not finite.
std::string JsonNumber(double value);
void AppendJsonNumber(std::string& out, double value);

// One analog message. seq numbers the first value among the channel's samples
// since the bridge started; t is the read time in Unix seconds.
std::string AnalogJson(uint64_t seq, double t, const float* values, int count);
// The same as little-endian binary: uint64 seq, uint32 count, uint32 0,
// float64 t, then count float32 values (24 + 4 * count bytes).
std::string AnalogBinary(uint64_t seq, double t, const float* values, int count);

// {"value":v,"t":t}
std::string ValueJson(double value, double t);

enum class ControlKind { Output, CounterHold };

struct ControlRequest {
    ControlKind kind = ControlKind::Output;
    int index = 0;  // output line 0..15, or counter 0..3 (id 300 + index)
    int value = 0;  // 0 or 1
};

// Payloads longer than this are refused unread.
constexpr size_t kMaxControlPayload = 16;

// Reads "prefix/station/dout/<line>/set" and "prefix/station/counter/<id>/hold/set"
// with a payload of 0 or 1 (spaces around it allowed). false with a reason
// for anything else: another topic, a line or id out of range, a bad payload.
bool ParseControl(const std::string& prefix, const std::string& station, const std::string& topic,
                  const std::string& payload, ControlRequest& out, std::string& error);

}  // namespace vantor::mqtt
