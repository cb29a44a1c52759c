// vantorctl quit: asks the running server to run its exit sequence, as the
// tray menu's "退出" does, and waits until its process has ended.
#include <chrono>
#include <thread>

#include "Commands.h"
#include "platform/CopyDataBus.h"
#include "protocol/CopyDataCodes.h"
#include "protocol/ServerStatus.h"

namespace vantor::ctl {

int RunQuit(int waitSeconds, Console& console) {
    const auto status = protocol::ReadServerStatus();
    auto answer =
        platform::CopyDataSend(protocol::kServerTitle, protocol::kCodeExitRequest, 0, nullptr, 0);
    if (!answer) {
        if (answer.error().code == platform::kCopyDataNotFound) {
            console.err << "vantorctl quit: no server answers (is it running?)\n";
        } else {
            console.err << "vantorctl quit: " << answer.error().text << "\n";
        }
        return kExitFailure;
    }
    if (!status || status->pid <= 0 || waitSeconds <= 0) {
        console.out << "exit requested\n";
        return kExitOk;
    }
    // The exit sequence stops the threads and closes the board: allow it time.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(waitSeconds);
    while (protocol::ServerProcessRuns(status->pid)) {
        if (std::chrono::steady_clock::now() >= deadline) {
            console.err << "vantorctl quit: the server (pid " << status->pid
                        << ") accepted the request but still runs after " << waitSeconds << " s\n";
            return kExitFailure;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    console.out << "server stopped\n";
    return kExitOk;
}

}  // namespace vantor::ctl
