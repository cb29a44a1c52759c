#pragma once
// The copy-data bus: small synchronous messages between programs of one
// user, addressed by a title, as windows found by title exchange copy-data
// messages. Every titled endpoint owns a Unix datagram socket in the user's
// private runtime directory (mode 0700), so no other user can reach it.
//
// A send carries a code, a data word and a payload; the sender waits until
// the receiver's handler has run and gets its result back. A post only
// queues the message, for notices whose answer nobody needs. An endpoint that
// sends keeps handling the messages sent to it while it waits, so two
// endpoints sending to each other at the same time do not deadlock.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/CopyDataMessage.h"
#include "platform/Result.h"
#include "platform/UniqueFd.h"

namespace vantor::platform {

// Handles one message; its result goes back to the sender.
using CopyDataHandler = std::function<int64_t(const CopyDataMessage&)>;

constexpr size_t kCopyDataMaxPayload = 65536;
constexpr int kCopyDataDefaultTimeoutMs = 5000;
// Error codes of a failed send, besides errno values.
constexpr int kCopyDataNotFound = -2;  // no endpoint has this title
constexpr int kCopyDataTimedOut = -3;  // the receiver did not answer in time
constexpr int kCopyDataTooLarge = -4;  // payload above kCopyDataMaxPayload

class CopyDataEndpoint {
public:
    ~CopyDataEndpoint();
    CopyDataEndpoint(const CopyDataEndpoint&) = delete;
    CopyDataEndpoint& operator=(const CopyDataEndpoint&) = delete;

    // Takes the title. Fails with EADDRINUSE when a live endpoint holds it; the
    // socket of an endpoint whose program died is taken over.
    static Result<std::unique_ptr<CopyDataEndpoint>> Open(std::string_view title,
                                                          CopyDataHandler handler);

    const std::string& Title() const { return m_title; }
    // Readable when a message waits (for poll loops).
    int Fd() const { return m_fd.Get(); }
    // Handles at most one waiting message without blocking: 1 handled, 0 none.
    int Pump();
    // Waits up to timeoutMs for a message, then handles at most one.
    int WaitAndPump(int timeoutMs);
    // Synchronous send from this endpoint; see CopyDataSend.
    Result<int64_t> Send(std::string_view title, uint32_t code, uint64_t dataWord, const void* data,
                         size_t size, int timeoutMs = kCopyDataDefaultTimeoutMs);

private:
    CopyDataEndpoint(std::string title, std::string path, UniqueFd fd, CopyDataHandler handler);
    std::string m_title;
    std::string m_path;
    UniqueFd m_fd;
    CopyDataHandler m_handler;
};

// Sends to the endpoint titled `title` and waits for its handler's result.
// kCopyDataNotFound when no endpoint has the title; kCopyDataTimedOut when it
// does not answer within timeoutMs.
Result<int64_t> CopyDataSend(std::string_view title, uint32_t code, uint64_t dataWord,
                             const void* data, size_t size,
                             int timeoutMs = kCopyDataDefaultTimeoutMs);

// Queues the message for the endpoint titled `title` without waiting for its
// handler, which runs whenever the receiver gets to it; its result is
// dropped. 0 once queued; kCopyDataNotFound; kCopyDataTimedOut when the
// receiver's queue stayed full for timeoutMs.
Result<int64_t> CopyDataPost(std::string_view title, uint32_t code, uint64_t dataWord,
                             const void* data, size_t size, int timeoutMs);

// True when a live endpoint has this title.
bool CopyDataFind(std::string_view title);

// The socket path of a title: runtime directory, namespace, escaped title.
std::string CopyDataPath(std::string_view title);

}  // namespace vantor::platform
