#include "Commands.h"

#include <signal.h>

#include <algorithm>
#include <atomic>
#include <memory>

#include "DumpFormat.h"
#include "platform/Clock.h"
#include "platform/IpcNames.h"
#include "platform/StopSignals.h"
#include "protocol/BlockClient.h"

namespace vantor::ctl {
namespace {

using protocol::BlockClient;

constexpr int kMinIntervalMs = 10;
constexpr int kMaxIntervalMs = 3600000;
constexpr int kStopPollMs = 50;
constexpr const char* kClearScreen = "\x1b[H\x1b[2J";

// Attaches, or explains why not and gives the exit code to end with.
int AttachOrReport(BlockClient& client, Console& console) {
    switch (client.Attach()) {
        case BlockClient::Status::Attached:
            return kExitOk;
        case BlockClient::Status::Missing:
            console.err << "vantorctl: no shared data block: is the server running? (namespace '"
                        << platform::IpcNamespace() << "')\n";
            return kExitUsage;
        case BlockClient::Status::Failed:
            break;
    }
    console.err << "vantorctl: cannot attach to the shared data block " << BlockClient::ObjectName()
                << ": " << client.Error() << "\n";
    return kExitFailure;
}

void NoteTakeOver(const BlockClient& client, Console& console) {
    if (client.TookOverAbandoned()) {
        console.err << "vantorctl: note: a program died while holding the block's mutex; "
                       "it was taken over\n";
    }
}

bool CheckSamples(const DumpOptions& options, const char* command, Console& console) {
    if (options.samples >= 0 && options.samples <= kMaxShownSamples) return true;
    console.err << "vantorctl " << command << ": --samples must be 0.." << kMaxShownSamples
                << " (got " << options.samples << ")\n";
    return false;
}

// Reads the block once and prints it; false after reporting a failure.
bool DumpOnce(BlockClient& client, protocol::SharedBlock& copy, const DumpOptions& options,
              Console& console) {
    if (!client.Read(copy)) {
        console.err << "vantorctl: cannot read the shared data block: " << client.Error() << "\n";
        return false;
    }
    NoteTakeOver(client, console);
    DumpSource source{BlockClient::ObjectName(), platform::IpcNamespace(),
                      protocol::ReadServerStatus()};
    if (source.server && !protocol::ServerProcessRuns(source.server->pid)) {
        source.endedPid = source.server->pid;
        source.server.reset();
    }
    console.out << (options.json ? FormatJson(copy, source, options.samples)
                                 : FormatText(copy, source, options.samples));
    console.out.flush();
    return true;
}

void PauseUnlessStopped(int ms) {
    while (ms > 0 && !platform::StopRequested()) {
        int step = std::min(ms, kStopPollMs);
        platform::SleepMs(static_cast<uint32_t>(step));
        ms -= step;
    }
}

int WriteWord(const char* what, int index, int value, bool (BlockClient::*write)(int, int32_t),
              Console& console) {
    BlockClient client;
    if (int rc = AttachOrReport(client, console); rc != kExitOk) return rc;
    if (!(client.*write)(index, value)) {
        console.err << "vantorctl: cannot write the shared data block: " << client.Error() << "\n";
        return kExitFailure;
    }
    NoteTakeOver(client, console);
    console.out << what << "[" << index << "] = " << value << "\n";
    return kExitOk;
}

}  // namespace

int RunDump(const DumpOptions& options, Console& console) {
    if (!CheckSamples(options, "dump", console)) return kExitUsage;
    BlockClient client;
    if (int rc = AttachOrReport(client, console); rc != kExitOk) return rc;
    auto copy = std::make_unique<protocol::SharedBlock>();
    return DumpOnce(client, *copy, options, console) ? kExitOk : kExitFailure;
}

int RunWatch(const WatchOptions& options, Console& console) {
    if (!CheckSamples(options.dump, "watch", console)) return kExitUsage;
    if (options.intervalMs < kMinIntervalMs || options.intervalMs > kMaxIntervalMs) {
        console.err << "vantorctl watch: --interval must be " << kMinIntervalMs << ".."
                    << kMaxIntervalMs << " ms (got " << options.intervalMs << ")\n";
        return kExitUsage;
    }
    if (options.count < 0) {
        console.err << "vantorctl watch: --count must be 0 or more (got " << options.count << ")\n";
        return kExitUsage;
    }
    BlockClient client;
    if (int rc = AttachOrReport(client, console); rc != kExitOk) return rc;

    platform::ClearStop();
    platform::StopSignals signals(console.stopOnSignals);
    auto copy = std::make_unique<protocol::SharedBlock>();
    for (int shown = 0; options.count == 0 || shown < options.count; ++shown) {
        if (shown > 0) {
            PauseUnlessStopped(options.intervalMs);
            if (platform::StopRequested()) break;
        }
        if (console.outIsTty) {
            console.out << kClearScreen;
        } else if (shown > 0) {
            console.out << "\n";
        }
        if (!DumpOnce(client, *copy, options.dump, console)) return kExitFailure;
    }
    return kExitOk;
}

int RunSetOutput(int line, int level, Console& console) {
    if (line < 0 || line >= protocol::kDigitalLines) {
        console.err << "vantorctl set-output: LINE must be 0..15 (got " << line << ")\n";
        return kExitUsage;
    }
    if (level != 0 && level != 1) {
        console.err << "vantorctl set-output: LEVEL must be 0 or 1 (got " << level << ")\n";
        return kExitUsage;
    }
    return WriteWord("digitalOutRequest", line, level, &BlockClient::WriteOutputRequest, console);
}

int RunHold(int counter, int value, Console& console) {
    if (counter < 0 || counter >= protocol::kCounters) {
        console.err << "vantorctl hold: COUNTER must be 0..3 (counter ids 300..303; got " << counter
                    << ")\n";
        return kExitUsage;
    }
    if (value != 0 && value != 1) {
        console.err << "vantorctl hold: the value must be 0 (run) or 1 (hold) (got " << value
                    << ")\n";
        return kExitUsage;
    }
    return WriteWord("counterHold", counter, value, &BlockClient::WriteCounterHold, console);
}

}  // namespace vantor::ctl
