// Fuzzes what the receive thread does with one datagram: the packet as
// ReadNetData leaves it (bytes not received read as zero, longer datagrams
// cut), then HandleRequest into a peer table and merged request that live
// across inputs, with ageing and the rebuild in between. Whatever comes in,
// the table and the merged request must stay within their limits.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "engine/CommandText.h"
#include "engine/MergedRequest.h"
#include "engine/PeerTable.h"
#include "protocol/NegPacket.h"
#include "syslib/Korbel.h"

using namespace vantor::engine;

namespace {

int64_t g_now = 0;

PeerTable& Peers() {
    static PeerTable table([] { return g_now; });
    return table;
}

MergedRequest& Merged() {
    static MergedRequest merged;
    return merged;
}

void Check(bool ok) {
    if (!ok) std::abort();
}

void CheckLimits(const AcqRequest& r) {
    Check(r.analogCount >= 0 && r.analogCount <= kMaxAnalogIds);
    Check(r.frequencyCount >= 0 && r.frequencyCount <= kMaxFrequencyIds);
    Check(r.counterCount >= 0 && r.counterCount <= kMaxCounterIds);
    Check(r.digitalInCount >= 0 && r.digitalInCount <= kMaxDigitalIds);
    Check(r.digitalOutCount >= 0 && r.digitalOutCount <= kMaxDigitalIds);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (DMI_Load(1) != 1) std::abort();  // the fields are split by the system library
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    NegPacket packet;
    std::memset(&packet, 0, sizeof packet);
    std::memcpy(&packet, data, size < sizeof packet ? size : sizeof packet);
    if (CarriesRequest(packet)) {
        AcqRequest request = RequestOf(packet);
        Check(HandleRequest(Peers(), Merged(), &request) == 1);
    }
    g_now += 3000;
    Peers().AgePeers();
    if (g_now % 15000 == 0) Merged().Update([](AcqRequest& m) { m = Peers().MergedRequests(); });

    Check(Peers().Count() <= kMaxPeers);
    for (const PeerEntry& e : Peers().Entries()) {
        Check(std::memchr(e.name, '\0', sizeof e.name) != nullptr && e.name[0] != '\0');
        Check(std::memchr(e.host, '\0', sizeof e.host) != nullptr);
        Check(e.port >= kFirstPeerPort && e.port < kFirstPeerPort + kMaxPeers);
        CheckLimits(e.request);
    }
    CheckLimits(Merged().Snapshot());
    return 0;
}
