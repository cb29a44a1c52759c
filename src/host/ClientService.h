#pragma once
// The server's answers to its client programs. Requests arrive on the
// "Vantor" endpoint through a synchronous send, so the endpoint's handler
// only queues them and returns at once; a worker of its own acts on them
// and queues each reply for the client's endpoint (never a send that waits:
// the client may itself be waiting in a send to us). Nothing here depends on
// how often the controlling thread pumps the endpoint.
//
// In synchronous mode each client drives its own board: nothing is answered.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "engine/AcqEngine.h"
#include "platform/CopyDataMessage.h"
#include "protocol/CSharedMemory.h"

namespace vantor::host {

// One client request as the worker sees it.
struct ClientRequest {
    uint32_t code = 0;
    std::string name;     // whom to answer ("" for none)
    int32_t channel = 0;  // line, channel or counter id
    int32_t value = 0;    // the level of 1134, the count of 1184 (0..1000)
};

// The request of a client message, taken from what the payload holds; false
// for a code that is not a client request.
bool ParseClientRequest(const platform::CopyDataMessage& message, ClientRequest& out);

class ClientService {
public:
    // Requests waiting beyond this many are dropped (their clients time out).
    static constexpr size_t kMaxQueued = 1024;

    ClientService(engine::AcqEngine& engine, protocol::CSharedMemory& block);
    ~ClientService();
    ClientService(const ClientService&) = delete;
    ClientService& operator=(const ClientService&) = delete;

    // True when the message is a client request (queued, or dropped in
    // synchronous mode or when the queue is full). Never blocks.
    bool Handle(const platform::CopyDataMessage& message);
    // Acts on one request on the caller's thread, as the worker does.
    void Serve(const ClientRequest& request);
    // Requests the worker has finished.
    uint64_t Served() const { return m_served.load(); }

private:
    void Worker();
    // Waits until the acquisition has run `cycles` more cycles, at most
    // maxMs; false when it did not (no acquisition, or stopping).
    bool WaitCycles(uint64_t cycles, int maxMs) const;
    // The shared block under its lock, or nothing when stopping or unmapped.
    template <typename Fn>
    bool WithBlock(Fn&& fn);
    void SetOutput(const ClientRequest& request);
    void ReadInput(const ClientRequest& request);
    void ResetCounters();
    void ReadAnalog(const ClientRequest& request);
    void ReadFrequency(const ClientRequest& request);
    void ReadCounter(const ClientRequest& request);

    engine::AcqEngine& m_engine;
    protocol::CSharedMemory& m_block;
    std::mutex m_mutex;  // guards m_queue
    std::condition_variable m_wake;
    std::deque<ClientRequest> m_queue;
    std::atomic<bool> m_stopping{false};
    std::atomic<uint64_t> m_served{0};
    std::thread m_worker;
};

}  // namespace vantor::host
