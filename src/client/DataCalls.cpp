// CHardWare's data calls: each asks the server (MODE 1), its own board
// (MODE 2) or makes a value up (MODE 3).
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "boards/Board.h"
#include "protocol/ClientMessages.h"
#include "protocol/CopyDataCodes.h"
#include "vantor/CHardWare.h"

namespace protocol = vantor::protocol;

namespace {

constexpr const char* kWriteNoServer = "没有找到服务器，数字数据写入失败";
constexpr const char* kReadNoServer = "没有找到服务器，数字数据读出失败";
constexpr const char* kResetNoServer = "没有找到服务器，ENC复位失败";
constexpr int kMaxAnalogChannel = 32;
constexpr float kPi = 3.1415926F;

// The spread of the made-up counts and frequencies: 0 to 40.
int MadeUpValue() {
    // rand()'s range here reaches far beyond 32767: only its low 15 bits.
    return (std::rand() & 0x7FFF) / 800;  // NOLINT(cert-msc30-c, cert-msc50-cpp)
}

}  // namespace

int CHardWare::GetAnalog(int channel, float* buffer, long count) {
    if (channel > kMaxAnalogChannel) return -1;
    if (buffer == nullptr && count > 0) return -1;
    const int n = count < 0 ? 0 : (count > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(count));
    if (mode == MODE_SYNC) return board->ReadAnalog(channel, buffer, n, 0);
    if (mode == MODE_ASYNC) {
        const int asked = n > kAnalogReplyMax ? kAnalogReplyMax : n;
        analogDone = 0;
        analogReplyCount = 0;
        analogRequest.channel = channel;
        analogRequest.count = asked;
        protocol::SetRecordName(analogRequest.name, clientName);
        SendToServer(protocol::kCodeAnalog, sizeof analogRequest, &analogRequest,
                     sizeof analogRequest, true);
        WaitFor(analogDone);
        if (asked > 0) std::memcpy(buffer, analogReply, sizeof(float) * static_cast<size_t>(asked));
        return analogReplyCount;
    }
    for (int i = 0; i < n; ++i) {
        buffer[i] = stateBlock.sine == 1
                        ? stateBlock.amplitude * std::sin(static_cast<float>(i) * 2.0F * kPi *
                                                          1.0F / static_cast<float>(n))
                        : stateBlock.amplitude;
    }
    return n;
}

float CHardWare::GetFreb(int channel) {
    if (mode == MODE_SYNC) {
        if (channel < 200 || channel > 203) return 0.0F;
        return board->ReadFrequency(channel - 199);
    }
    if (mode == MODE_ASYNC) {
        frequencyDone = 0;
        protocol::SetRecordName(frequencyRequest.name, clientName);
        frequencyRequest.channel = channel;
        SendToServer(protocol::kCodeFrequency, sizeof frequencyRequest, &frequencyRequest,
                     sizeof frequencyRequest, true);
        WaitFor(frequencyDone);
        return frequencyReply;
    }
    return static_cast<float>(MadeUpValue());
}

int CHardWare::GetEnc3(int channel) {
    if (mode == MODE_SYNC) {
        if (channel != 500 && channel != 501) return 0;
        return board->ReadCounter(channel - 500);
    }
    if (mode == MODE_ASYNC) {
        counterDone = 0;
        protocol::SetRecordName(counterRequest.name, clientName);
        counterRequest.channel = channel;
        SendToServer(protocol::kCodeCounter, sizeof counterRequest, &counterRequest,
                     sizeof counterRequest, true);
        WaitFor(counterDone);
        return counterReply;
    }
    return MadeUpValue();
}

void CHardWare::OutPutDig(int line, HILOW level) {
    if (mode == MODE_SYNC) {
        if (board->IsOpen() != 0) board->WriteDigitalOutput(line, level);
        return;
    }
    if (mode != MODE_ASYNC) return;
    protocol::SetRecordName(digitalRequest.name, clientName);
    digitalRequest.line = line;
    digitalRequest.level = level == HIGH ? 1 : 0;
    if (SendToServer(protocol::kCodeDigitalOut, sizeof digitalRequest, &digitalRequest,
                     sizeof digitalRequest) == 0) {
        errorText = kWriteNoServer;
    }
}

HILOW CHardWare::InPutDig(int line) {
    if (mode == MODE_SYNC) {
        if (board->IsOpen() == 0) return LOW;
        return board->ReadDigitalInput(line) == 1 ? HIGH : LOW;
    }
    if (mode == MODE_SIM) {
        if (line < 0 || line >= 16) return LOW;
        return stateBlock.level[line] == 1 ? HIGH : LOW;
    }
    digitalDone = 0;
    protocol::SetRecordName(digitalRequest.name, clientName);
    digitalRequest.line = line;
    digitalRequest.level = -1;
    if (SendToServer(protocol::kCodeDigitalIn, sizeof digitalRequest, &digitalRequest,
                     sizeof digitalRequest, true) == 0) {
        errorText = kReadNoServer;
    }
    WaitFor(digitalDone);
    return digitalResult;
}

void CHardWare::ResetCNT() {
    if (mode == MODE_SYNC) {
        if (board->IsOpen() != 0) board->ResetCounters();
        return;
    }
    if (SendToServer(protocol::kCodeResetCounters, 0, nullptr, 0) == 0) errorText = kResetNoServer;
}

// NOLINTNEXTLINE(readability-convert-member-functions-to-static): exported member
float CHardWare::Average(float* values, int count) {
    if (values == nullptr) return 0.0F;
    if (count < 2) return values[0];
    float sum = 0.0F;
    for (int i = 0; i < count; ++i) sum += values[i];
    return sum / static_cast<float>(count);
}
