#include "DumpFormat.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <vector>

#include "protocol/AcqRequest.h"

namespace vantor::ctl {

using protocol::AnalogRing;
using protocol::SharedBlock;

namespace {

using protocol::kFirstCounterId;
using protocol::kFirstFrequencyId;

// printf-style append; every piece here is short, so a fixed buffer will do.
void Append(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Append(std::string& out, const char* format, ...) {
    char buffer[256];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n > 0)
        out.append(buffer, static_cast<size_t>(n) < sizeof buffer ? static_cast<size_t>(n)
                                                                  : sizeof buffer - 1);
}

int ClampSamples(int samples) {
    if (samples < 0) return 0;
    return samples > kMaxShownSamples ? kMaxShownSamples : samples;
}

std::vector<float> Newest(const AnalogRing& ring, int samples) {
    std::vector<float> values(static_cast<size_t>(ClampSamples(samples)));
    int n = protocol::NewestSamples(ring, values.data(), static_cast<int>(values.size()));
    values.resize(static_cast<size_t>(n));
    return values;
}

// Escapes a name for a JSON string (names are short and mostly [A-Za-z0-9_.-/]).
std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            Append(out, "\\u%04x", static_cast<unsigned>(c));
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

// Nine significant digits bring every float32 back exactly.
void AppendJsonFloat(std::string& out, float value) {
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    Append(out, "%.9g", static_cast<double>(value));
}

void AppendJsonInts(std::string& out, const int32_t* values, int count) {
    out += '[';
    for (int i = 0; i < count; ++i) Append(out, i == 0 ? "%d" : ",%d", values[i]);
    out += ']';
}

void AppendLines(std::string& out, const char* label, const int32_t* values) {
    Append(out, "%-18s 0..7:", label);
    for (int i = 0; i < 8; ++i) Append(out, " %d", values[i]);
    out += "   8..15:";
    for (int i = 8; i < protocol::kDigitalLines; ++i) Append(out, " %d", values[i]);
    out += '\n';
}

}  // namespace

const char* ModeWords(int mode) {
    switch (mode) {
        case 1:
            return "asynchronous";
        case 2:
            return "synchronous";
        case 3:
            return "asynchronous, simulated board";
        default:
            return "none";
    }
}

std::string FormatText(const SharedBlock& block, const DumpSource& source, int samples) {
    std::string out;
    Append(out, "block %s (namespace '%s'), %zu bytes\n", source.objectName.c_str(),
           source.ipcNamespace.c_str(), protocol::kBlockSize);
    if (source.server) {
        const protocol::ServerStatus& server = *source.server;
        Append(out, "server: board %s, mode %d (%s)\n", server.board.c_str(), server.mode,
               ModeWords(server.mode));
        if (server.boardLost != 0) {
            Append(out,
                   "board: LOST, the card does not answer and its values are not updated "
                   "(losses: %llu)\n",
                   server.boardLosses);
        } else if (server.boardLosses != 0) {
            Append(out, "board: answering again (losses: %llu)\n", server.boardLosses);
        }
    } else if (source.endedPid != 0) {
        Append(out, "server: no running server (pid %ld, which wrote the status, has ended)\n",
               source.endedPid);
    } else {
        out += "server: no status (is the server running?)\n";
    }
    Append(out, "marks: headMark 0x%08X  tailMark 0x%08X  firstRingOffset %d\n", block.headMark,
           block.tailMark, block.firstRingOffset);
    AppendLines(out, "digitalIn", block.digitalIn);
    AppendLines(out, "digitalOutRequest", block.digitalOutRequest);

    out += "frequency  id   resetFlag  value\n";
    for (int i = 0; i < protocol::kFrequencySlots; ++i) {
        Append(out, "           %-4d %-10d %g\n", kFirstFrequencyId + i,
               block.frequencySlot[i].resetFlag, static_cast<double>(block.frequencySlot[i].value));
    }
    out += "counter    id   hold       value\n";
    for (int i = 0; i < protocol::kCounters; ++i) {
        Append(out, "           %-4d %-10d %g\n", kFirstCounterId + i, block.counterHold[i],
               static_cast<double>(block.counterValue[i]));
    }
    out += "ring       ch   oldest next fill newest first\n";
    for (int ch = 0; ch < protocol::kAnalogChannels; ++ch) {
        const AnalogRing& ring = block.analogRing[ch];
        Append(out, "           %-4d %-6d %-4d %-4d", ch, ring.oldest, ring.next,
               protocol::RingFill(ring));
        for (float v : Newest(ring, samples)) Append(out, " %g", static_cast<double>(v));
        while (out.back() == ' ') out.pop_back();  // an empty ring leaves the padding
        out += '\n';
    }
    return out;
}

std::string FormatJson(const SharedBlock& block, const DumpSource& source, int samples) {
    std::string out = "{\n";
    out += "  \"name\": " + JsonString(source.objectName) + ",\n";
    out += "  \"namespace\": " + JsonString(source.ipcNamespace) + ",\n";
    Append(out, "  \"size\": %zu,\n", protocol::kBlockSize);
    if (source.server) {
        const protocol::ServerStatus& server = *source.server;
        out += "  \"server\": {\"board\": " + JsonString(server.board);
        Append(out, ", \"mode\": %d, \"pid\": %ld, \"boardLost\": %s, \"boardLosses\": %llu},\n",
               server.mode, server.pid, server.boardLost != 0 ? "true" : "false",
               server.boardLosses);
    } else {
        out += "  \"server\": null,\n";
    }
    Append(out, "  \"headMark\": %u,\n", block.headMark);
    Append(out, "  \"firstRingOffset\": %d,\n", block.firstRingOffset);
    Append(out, "  \"tailMark\": %u,\n", block.tailMark);
    out += "  \"digitalIn\": ";
    AppendJsonInts(out, block.digitalIn, protocol::kDigitalLines);
    out += ",\n  \"digitalOutRequest\": ";
    AppendJsonInts(out, block.digitalOutRequest, protocol::kDigitalLines);

    out += ",\n  \"frequencySlot\": [";
    for (int i = 0; i < protocol::kFrequencySlots; ++i) {
        Append(out, "%s\n    {\"id\": %d, \"resetFlag\": %d, \"value\": ", i == 0 ? "" : ",",
               kFirstFrequencyId + i, block.frequencySlot[i].resetFlag);
        AppendJsonFloat(out, block.frequencySlot[i].value);
        out += '}';
    }
    out += "\n  ],\n  \"counterHold\": ";
    AppendJsonInts(out, block.counterHold, protocol::kCounters);
    out += ",\n  \"counterValue\": [";
    for (int i = 0; i < protocol::kCounters; ++i) {
        if (i > 0) out += ',';
        AppendJsonFloat(out, block.counterValue[i]);
    }

    out += "],\n  \"analogRing\": [";
    for (int ch = 0; ch < protocol::kAnalogChannels; ++ch) {
        const AnalogRing& ring = block.analogRing[ch];
        Append(out, "%s\n    {\"channel\": %d, \"oldest\": %d, \"next\": %d, \"fill\": %d, ",
               ch == 0 ? "" : ",", ch, ring.oldest, ring.next, protocol::RingFill(ring));
        out += "\"newest\": [";
        bool first = true;
        for (float v : Newest(ring, samples)) {
            if (!first) out += ',';
            first = false;
            AppendJsonFloat(out, v);
        }
        out += "]}";
    }
    out += "\n  ]\n}\n";
    return out;
}

}  // namespace vantor::ctl
