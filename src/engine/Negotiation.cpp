#include "engine/Negotiation.h"

#include <cstdio>

#include "crash/CrashReport.h"
#include "engine/AcqEngine.h"
#include "platform/Clock.h"
#include "platform/Trace.h"
#include "protocol/NegPacket.h"
#include "syslib/Korbel.h"

namespace vantor::engine {
namespace {

constexpr int kReceiveWaitMs = 10;
constexpr int kPortPauseMs = 500;  // between two peers, in 10 ms steps
constexpr int kPassPauseMs = 100;
constexpr const char* kLocalHost = "127.0.0.1";

}  // namespace

void FormatPortText(char* out, size_t size, const char* name, int port) {
    std::snprintf(out, size, "PORT,%s,%d", name, port);
}

int NegRcvThread(AcqEngine* engine) {
    CCrashReport::PrepareThread();
    NegPacket packet = EmptyNegPacket();
    while (!engine->StopRequested()) {
        // Waiting on the socket (not sleeping, then reading) answers a packet
        // as soon as it arrives, and a stop is still seen within the wait.
        int waiting = DMI_WaitNetData(0, kReceiveWaitMs);
        if (waiting < 0) {
            platform::SleepMs(kReceiveWaitMs);  // link not open: poll as before
            continue;
        }
        // Drain whatever has arrived before waiting again, so a burst never
        // piles up in the socket.
        while (waiting > 0 && !engine->StopRequested()) {
            // Bytes not received read as zero: a short datagram never acts on
            // the rest of an older packet.
            int n = DMI_ReadNetData(0, &packet, kNegPacketBytes);
            if (n <= 0) break;
            engine->m_packetsRead.fetch_add(1, std::memory_order_relaxed);
            if (CarriesRequest(packet)) {
                AcqRequest request = RequestOf(packet);
                engine->HandleRequest(&request);
            }
        }
    }
    platform::TraceText("NegRcvThread Exit....\n");
    return 0;
}

int NegSndThread(AcqEngine* engine) {
    CCrashReport::PrepareThread();
    NegPacket packet = EmptyNegPacket();
    AcqRequest send = EmptyRequest();
    const PeerTable& peers = engine->Peers();
    while (!engine->StopRequested()) {
        engine->AgePeers();
        if (engine->StopRequested()) break;
        packet.code = kNegCodeRequest;
        char name[kPeerNameBytes];
        int port = 0;
        for (int i = 0; !engine->StopRequested() && peers.NameAndPort(i, name, port); ++i) {
            FormatPortText(send.text, sizeof send.text, name, port);
            SetRequest(packet, send);
            if (DMI_SendNetData(0, kLocalHost, port, &packet, kNegPacketBytes) < 0) {
                platform::TraceTextAt(platform::TraceLevel::Warning, "NegSndThread: Send Error\n");
            } else {
                engine->m_portsSent.fetch_add(1, std::memory_order_relaxed);
            }
            engine->PauseUnlessStopped(kPortPauseMs);
        }
        engine->PauseUnlessStopped(kPassPauseMs);
    }
    engine->m_negSndEnded.store(true);
    engine->m_negSndExit.Set();
    platform::TraceText("NegSndThread Exit....\n");
    return 0;
}

}  // namespace vantor::engine
