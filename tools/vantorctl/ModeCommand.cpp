// vantorctl mode: switches the running server between asynchronous and
// synchronous mode through its "Vantor" copy-data endpoint, as its mode
// buttons do.
#include "Commands.h"
#include "platform/CopyDataBus.h"
#include "protocol/CopyDataCodes.h"
#include "protocol/ServerStatus.h"

namespace vantor::ctl {

int RunMode(int mode, Console& console) {
    if (mode != 1 && mode != 2) {
        console.err << "vantorctl mode: MODE must be 1 (asynchronous) or 2 (synchronous), got "
                    << mode << "\n";
        return kExitUsage;
    }
    auto answer = platform::CopyDataSend(protocol::kServerTitle, protocol::kCodeSetMode,
                                         static_cast<uint64_t>(mode), nullptr, 0);
    if (!answer) {
        if (answer.error().code == platform::kCopyDataNotFound) {
            console.err << "vantorctl mode: no server answers (is it running?)\n";
        } else {
            console.err << "vantorctl mode: " << answer.error().text << "\n";
        }
        return kExitFailure;
    }
    switch (answer.value()) {
        case protocol::kModeSwitched:
            console.out << "mode " << mode << ": switched\n";
            return kExitOk;
        case protocol::kModeUnchanged:
            console.out << "mode " << mode << ": already in this mode\n";
            return kExitOk;
        case protocol::kModeNeedsBoard:
            console.err << "vantorctl mode: the server runs on the simulated board; synchronous "
                           "mode needs an acquisition card\n";
            return kExitFailure;
        case protocol::kModeNotWritten:
            console.err << "vantorctl mode: the server cannot write MODE to its AcqCfg.ini; it "
                           "stays in the mode it had\n";
            return kExitFailure;
        default:
            console.err << "vantorctl mode: the server refused mode " << mode << " (answer "
                        << answer.value() << ")\n";
            return kExitFailure;
    }
}

}  // namespace vantor::ctl
