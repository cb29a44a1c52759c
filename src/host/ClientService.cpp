#include "host/ClientService.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "platform/Clock.h"
#include "platform/CopyDataBus.h"
#include "protocol/BlockLayout.h"
#include "protocol/ClientMessages.h"

namespace vantor::host {

using protocol::AcqRequest;
using protocol::EmptyRequest;
using protocol::kMaxAnalogIds;
using protocol::kMaxCounterIds;
using protocol::kMaxDigitalIds;
using protocol::kMaxFrequencyIds;

namespace {

// How long a reply may wait for room in a client's queue: a client that does
// not read loses its reply instead of holding up the others.
constexpr int kReplyPostMs = 50;
// A channel just added gets this many cycles (and at most this long) to
// deliver its first values.
constexpr uint64_t kFreshCycles = 3;
constexpr int kFreshWaitMs = 250;

bool Contains(const int32_t* ids, int32_t count, int max, int32_t id) {
    const int n = std::clamp(count, 0, max);
    return std::find(ids, ids + n, id) != ids + n;
}

// Queues a reply for the client named in the request.
void Reply(const ClientRequest& request, uint32_t code, uint64_t dataWord, const void* data,
           size_t size) {
    // Never to ourselves: our own endpoint would take the reply for a request.
    if (request.name.empty() || request.name == protocol::kServerTitle) return;
    (void)platform::CopyDataPost(request.name, code, dataWord, data, size, kReplyPostMs);
}

}  // namespace

bool ParseClientRequest(const platform::CopyDataMessage& m, ClientRequest& out) {
    out = ClientRequest{};
    out.code = m.code;
    switch (m.code) {
        case protocol::kCodeDigitalOut:
        case protocol::kCodeDigitalIn: {
            const auto r = protocol::ReadRecord<protocol::DigitalRecord>(m.data);
            out.name = protocol::RecordName(r.name);
            out.channel = r.line;
            out.value = r.level == 1 ? 1 : 0;
            return true;
        }
        case protocol::kCodeResetCounters:
            return true;
        case protocol::kCodeAnalog: {
            const auto r = protocol::ReadRecord<protocol::AnalogRecord>(m.data);
            out.name = protocol::RecordName(r.name);
            out.channel = r.channel;
            out.value = std::clamp(r.count, 0, protocol::kAnalogReplyMax);
            return true;
        }
        case protocol::kCodeFrequency:
        case protocol::kCodeCounter: {
            const auto r = protocol::ReadRecord<protocol::ChannelRecord>(m.data);
            out.name = protocol::RecordName(r.name);
            out.channel = r.channel;
            return true;
        }
        default:
            return false;
    }
}

ClientService::ClientService(engine::AcqEngine& engine, protocol::CSharedMemory& block)
    : m_engine(engine), m_block(block), m_worker([this] { Worker(); }) {}

ClientService::~ClientService() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping.store(true);
    }
    m_wake.notify_all();
    m_worker.join();
}

bool ClientService::Handle(const platform::CopyDataMessage& message) {
    ClientRequest request;
    if (!ParseClientRequest(message, request)) return false;
    if (m_engine.DisplayMode() == engine::kModeSync) return true;
    {
        std::lock_guard lock(m_mutex);
        if (m_queue.size() >= kMaxQueued) return true;
        m_queue.push_back(std::move(request));
    }
    m_wake.notify_one();
    return true;
}

void ClientService::Worker() {
    for (;;) {
        ClientRequest request;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping.load() || !m_queue.empty(); });
            if (m_stopping.load()) return;
            request = std::move(m_queue.front());
            m_queue.pop_front();
        }
        Serve(request);
        m_served.fetch_add(1);
    }
}

void ClientService::Serve(const ClientRequest& request) {
    switch (request.code) {
        case protocol::kCodeDigitalOut:
            SetOutput(request);
            break;
        case protocol::kCodeDigitalIn:
            ReadInput(request);
            break;
        case protocol::kCodeResetCounters:
            ResetCounters();
            break;
        case protocol::kCodeAnalog:
            ReadAnalog(request);
            break;
        case protocol::kCodeFrequency:
            ReadFrequency(request);
            break;
        case protocol::kCodeCounter:
            ReadCounter(request);
            break;
        default:
            break;
    }
}

bool ClientService::WaitCycles(uint64_t cycles, int maxMs) const {
    const uint64_t target = m_engine.Cycles() + cycles;
    const uint64_t end = platform::MillisecondsSinceStart() + static_cast<uint64_t>(maxMs);
    while (m_engine.Cycles() < target) {
        if (m_stopping.load() || platform::MillisecondsSinceStart() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

template <typename Fn>
bool ClientService::WithBlock(Fn&& fn) {
    auto* shared = static_cast<protocol::SharedBlock*>(m_block.GetData());
    if (shared == nullptr) return false;
    protocol::BlockLock lock(m_block, [this] { return m_stopping.load(); });
    if (!lock.Held()) return false;
    fn(*shared);
    return true;
}

void ClientService::SetOutput(const ClientRequest& request) {
    const int line = request.channel;
    if (line < 0 || line >= protocol::kDigitalLines) return;
    WithBlock([&](protocol::SharedBlock& b) { b.digitalOutRequest[line] = request.value; });
    const AcqRequest merged = m_engine.Merged().Snapshot();
    if (!Contains(merged.digitalOutIds, merged.digitalOutCount, kMaxDigitalIds, line)) {
        AcqRequest add = EmptyRequest();
        add.digitalOutCount = 1;
        add.digitalOutIds[0] = line;
        m_engine.AddClientChannels(add);
    }
}

void ClientService::ReadInput(const ClientRequest& request) {
    protocol::DigitalRecord reply{};
    protocol::SetRecordName(reply.name, request.name);
    reply.line = request.channel;
    if (request.channel >= 0 && request.channel < protocol::kDigitalLines) {
        WithBlock([&](protocol::SharedBlock& b) { reply.level = b.digitalIn[request.channel]; });
    }
    Reply(request, protocol::kCodeDigitalIn, sizeof reply, &reply, sizeof reply);
}

void ClientService::ResetCounters() {
    // A hold of one cycle stops a counter; its release with 0 starts it from
    // zero on a fresh gate. Counters held by someone else stay held.
    bool released[protocol::kCounters] = {};
    WithBlock([&](protocol::SharedBlock& b) {
        for (int k = 0; k < protocol::kCounters; ++k) {
            if (b.counterHold[k] == 1) continue;
            b.counterHold[k] = 1;
            released[k] = true;
        }
    });
    WaitCycles(2, kFreshWaitMs);
    WithBlock([&](protocol::SharedBlock& b) {
        for (int k = 0; k < protocol::kCounters; ++k) {
            if (released[k] && b.counterHold[k] == 1) b.counterHold[k] = 0;
        }
    });
}

void ClientService::ReadAnalog(const ClientRequest& request) {
    static thread_local float newest[protocol::kAnalogReplyMax];
    static thread_local float samples[protocol::kAnalogReplyMax];
    const int channel = request.channel;
    int n = 0;
    if (channel >= 0 && channel < protocol::kAnalogChannels) {
        const AcqRequest merged = m_engine.Merged().Snapshot();
        const bool fresh = !Contains(merged.analogIds, merged.analogCount, kMaxAnalogIds, channel);
        if (fresh) {
            AcqRequest add = EmptyRequest();
            add.analogCount = 1;
            add.analogIds[0] = channel;
            add.analogSamples[0] = 0;  // the default samples per read
            m_engine.AddClientChannels(add);
            const uint64_t start = m_engine.Cycles();
            const uint64_t end = platform::MillisecondsSinceStart() + kFreshWaitMs;
            bool filled = false;
            while (!filled && !m_stopping.load() && platform::MillisecondsSinceStart() < end &&
                   m_engine.Cycles() < start + kFreshCycles + 1) {
                WithBlock([&](protocol::SharedBlock& b) {
                    filled = protocol::RingFill(b.analogRing[channel]) > 0;
                });
                if (!filled) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
        WithBlock([&](protocol::SharedBlock& b) {
            n = protocol::NewestSamples(b.analogRing[channel], newest, request.value);
        });
    }
    // The newest n samples, oldest of them first, as they were taken.
    for (int i = 0; i < n; ++i) samples[i] = newest[n - 1 - i];
    Reply(request, protocol::kCodeAnalogReply, static_cast<uint64_t>(n), samples,
          sizeof(float) * static_cast<size_t>(n));
}

void ClientService::ReadFrequency(const ClientRequest& request) {
    float value = 0.0F;
    const int slot = protocol::FrequencySlotOf(request.channel);
    if (slot >= 0) {
        const AcqRequest merged = m_engine.Merged().Snapshot();
        if (!Contains(merged.frequencyIds, merged.frequencyCount, kMaxFrequencyIds,
                      request.channel)) {
            AcqRequest add = EmptyRequest();
            add.frequencyCount = 1;
            add.frequencyIds[0] = request.channel;
            m_engine.AddClientChannels(add);
            WaitCycles(kFreshCycles, kFreshWaitMs);
        }
        WithBlock([&](protocol::SharedBlock& b) { value = b.frequencySlot[slot].value; });
    }
    Reply(request, protocol::kCodeFrequency, sizeof value, &value, sizeof value);
}

void ClientService::ReadCounter(const ClientRequest& request) {
    int32_t value = 0;
    const int k = protocol::CounterIndexOf(request.channel);
    if (k >= 0) {
        const int32_t id = protocol::kFirstCounterId + k;
        const AcqRequest merged = m_engine.Merged().Snapshot();
        if (!Contains(merged.counterIds, merged.counterCount, kMaxCounterIds, id)) {
            AcqRequest add = EmptyRequest();
            add.counterCount = 1;
            add.counterIds[0] = id;
            m_engine.AddClientChannels(add);
            WaitCycles(kFreshCycles, kFreshWaitMs);
        }
        WithBlock(
            [&](protocol::SharedBlock& b) { value = static_cast<int32_t>(b.counterValue[k]); });
    }
    Reply(request, protocol::kCodeCounter, sizeof value, &value, sizeof value);
}

}  // namespace vantor::host
