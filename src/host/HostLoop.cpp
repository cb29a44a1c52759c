// The host's controlling thread: copy-data messages, the periodic rebuild of
// the merged request and the peer list, and the wait for a stop signal.
#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/ClientNames.h"
#include "host/ServerHost.h"
#include "platform/Clock.h"
#include "platform/Trace.h"
#include "protocol/ServerStatus.h"

namespace vantor::host {
namespace {

constexpr uint64_t kRebuildPeriodMs = 5000;
constexpr uint64_t kListPeriodMs = 1000;
constexpr uint64_t kCardRetryPeriodMs = 5000;

std::string PeerList(const engine::PeerTable& peers) {
    std::string list;
    for (const engine::PeerEntry& e : peers.Entries()) {
        list += list.empty() ? "" : " ";
        list += platform::TraceEscaped(e.name);
        list += ':';
        list += std::to_string(e.port);
    }
    return list.empty() ? "none" : list;
}

// The client name of a register or unregister message: at most 99 bytes of
// the payload, up to its first NUL.
std::string ClientName(const platform::CopyDataMessage& m) {
    std::string_view data = m.data.substr(0, protocol::kClientNameBytes - 1);
    return std::string(data.substr(0, data.find('\0')));
}

}  // namespace

void ApplyPeerClockScale(engine::PeerTable& peers) {
    // A test aid: VANTOR_PEER_CLOCK_SCALE=N runs the peers' ageing clock N
    // times faster, so the 21 s silence limit can be watched in about 21/N s.
    const char* text = std::getenv("VANTOR_PEER_CLOCK_SCALE");
    if (text == nullptr) return;
    long scale = std::strtol(text, nullptr, 10);
    if (scale <= 1 || scale > 1000) return;
    platform::TraceAt(platform::TraceLevel::Notice, "peer clock runs %ld times faster\n", scale);
    peers.SetClock(
        [scale] { return static_cast<int64_t>(platform::MillisecondsSinceStart()) * scale; });
}

int64_t ServerHost::OnCopyData(const platform::CopyDataMessage& m) {
    if (m_clientService->Handle(m)) return 0;  // answered later, by a reply message
    if (m.code == protocol::kCodeClientRegister) {
        std::string name = ClientName(m);
        m_engine->AddClientName(name.c_str());
        platform::Trace("client registered: %s\n", platform::TraceEscaped(name).c_str());
    } else if (m.code == protocol::kCodeClientUnregister) {
        std::string name = ClientName(m);
        m_engine->RemoveClientName(name.c_str());
        platform::Trace("client unregistered: %s\n", platform::TraceEscaped(name).c_str());
    }
    if (m.code == protocol::kCodeSetMode) {
        return RequestMode(static_cast<int>(m.dataWord > 100 ? 0 : m.dataWord));
    }
    if (m.code == protocol::kCodeQueryMode) return DisplayMode();
    if (m.code == protocol::kCodeExitRequest) {
        m_exitRequested = true;
        if (m_onExitRequest) m_onExitRequest();
        return 1;
    }
    if (m.code == protocol::kCodeRefreshRequest) {
        int32_t word = 0;
        if (m.data.size() >= sizeof word) std::memcpy(&word, m.data.data(), sizeof word);
        if (word == 1 && m_onRefreshRequest) m_onRefreshRequest();
        return 1;
    }
    return 0;  // the default answer to every copy-data message
}

bool ServerHost::SendModeNotice(const char* title, uint64_t deadlineMs) {
    const uint64_t now = platform::MillisecondsSinceStart();
    const int budgetMs = deadlineMs > now ? static_cast<int>(deadlineMs - now) : 0;
    auto r = platform::CopyDataPost(title, protocol::kCodeModeChanged, 0, nullptr, 0, budgetMs);
    if (!r && r.error().code == platform::kCopyDataNotFound) return false;
    if (!r)
        platform::TraceAt(platform::TraceLevel::Warning, "mode notice to %s: %s\n",
                          platform::TraceEscaped(title).c_str(), r.error().text.c_str());
    return true;
}

void ServerHost::Tick(uint64_t nowMs) {
    if (nowMs >= m_nextRebuildMs) {
        m_engine->RebuildMergedRequest();
        m_nextRebuildMs = nowMs + kRebuildPeriodMs;
    }
    if (nowMs >= m_nextListMs) {
        std::string list = PeerList(m_engine->Peers());
        if (list != m_peerList) platform::Trace("peers: %s\n", list.c_str());
        m_peerList = std::move(list);
        m_nextListMs = nowMs + kListPeriodMs;
        if (m_started) PublishStatus();  // the card may have stopped or started answering
    }
    if (m_started && m_engine->CardMissing() && nowMs >= m_nextCardRetryMs) {
        m_engine->StartAsync();  // opens and probes again; samples once the card answers
        m_nextCardRetryMs = nowMs + kCardRetryPeriodMs;
    }
}

void ServerHost::SetWindowRequests(std::function<void()> exit, std::function<void()> refresh) {
    m_onExitRequest = std::move(exit);
    m_onRefreshRequest = std::move(refresh);
}

int ServerHost::RunUntil(int stopFd) {
    const uint64_t start = platform::MillisecondsSinceStart();
    m_nextRebuildMs = start + kRebuildPeriodMs;
    m_nextListMs = start;
    for (;;) {
        uint64_t now = platform::MillisecondsSinceStart();
        Tick(now);
        uint64_t next = m_nextRebuildMs < m_nextListMs ? m_nextRebuildMs : m_nextListMs;
        int waitMs = next > now ? static_cast<int>(next - now) : 0;
        pollfd fds[2] = {{stopFd, POLLIN, 0}, {m_endpoint ? m_endpoint->Fd() : -1, POLLIN, 0}};
        int r = ::poll(fds, 2, waitMs);
        if (r <= 0) continue;
        if ((fds[0].revents & POLLIN) != 0) {
            signalfd_siginfo info{};
            const bool whole = ::read(stopFd, &info, sizeof info) == sizeof info;
            return whole ? static_cast<int>(info.ssi_signo) : 0;
        }
        if ((fds[1].revents & POLLIN) != 0) m_endpoint->Pump();
        if (m_exitRequested) return 0;
    }
}

}  // namespace vantor::host
