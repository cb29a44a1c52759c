#include "host/ServerHost.h"

#include <cstdio>
#include <cstring>

#include "boards/BoardProbe.h"
#include "engine/ClientNames.h"
#include "host/ServiceNotify.h"
#include "host/config/Settings.h"
#include "platform/AtomicFile.h"
#include "platform/Clock.h"
#include "platform/IpcNames.h"
#include "platform/Trace.h"
#include "protocol/BlockLayout.h"
#include "protocol/ServerStatus.h"
#include "syslib/EnvRecord.h"
#include "syslib/Korbel.h"
#include "syslib/KorbelApi.h"

namespace vantor::host {

const char* const kDefaultVersionText = "数据服务器( Ver2.1.3.1 )";
const char* const kGetKorbelFailedText = "[Korbel.dll] [DMI_GetKorbel()] 加载错误或者没有该文件！";

namespace {
constexpr uint64_t kModeNoticeBudgetMs = 250;
// A configuration file's replacement takes milliseconds; a temporary file this
// old was left by a process killed while writing.
constexpr int kStaleReplacementSeconds = 60;
// The environment record is large (188,910 bytes): keep it off the stack.
EnvRecord g_env;
}  // namespace

const char* ModeName(int mode) {
    switch (mode) {
        case engine::kModeAsync:
            return "asynchronous";
        case engine::kModeSync:
            return "synchronous";
        case engine::kModeAsyncVariant:
            return "asynchronous (variant)";
        default:
            return "none";
    }
}

ServerHost::ServerHost() {
    if (!m_block.Create(protocol::kBlockName, protocol::kBlockSize,
                        protocol::CSharedMemory::Owner::kThisUser)) {
        platform::TraceAt(platform::TraceLevel::Error, "shared data block not available: %s\n",
                          m_block.LastError().c_str());
    }
    m_engine = std::make_unique<engine::AcqEngine>(m_block);
    m_clientService = std::make_unique<ClientService>(*m_engine, m_block);
}

ServerHost::~ServerHost() {
    Shutdown();
}

int ServerHost::Start() {
    auto lock = platform::InstanceLock::Acquire(protocol::kServerTitle);
    if (!lock) {
        // A second server leaves silently; anything else is a setup problem
        // the operator must see, never to be mistaken for a second server.
        if (lock.error().code == platform::InstanceLock::kHeldElsewhere) return kExitSecondInstance;
        platform::TraceAt(platform::TraceLevel::Error,
                          "vantor: cannot take the single-instance lock: %s\n",
                          lock.error().text.c_str());
        return kExitNoInstanceLock;
    }
    m_instance = std::move(lock.value());

    if (m_block.LastErrorCode() == platform::kUnsafeObject) {
        platform::TraceAt(platform::TraceLevel::Error,
                          "vantor: %s. Remove it once no program of its owner uses it, then "
                          "start again.\n",
                          m_block.LastError().c_str());
        return kExitUnsafeSharedMemory;
    }
    // The instance lock lives in the runtime directory, which differs between a
    // service and a login shell of the same user; the block does not. Whoever
    // holds its claim serves it, so a second server never clears a live block.
    if (m_block.IsMapped() && !m_block.Claim()) {
        platform::TraceAt(platform::TraceLevel::Warning,
                          "vantor: another server already serves %s\n",
                          platform::ShmName(protocol::kBlockName).c_str());
        return kExitSecondInstance;
    }
    // The objects outlive a server: what an earlier run left (output requests,
    // counter holds) must not be served again. Only the one server clears.
    if (!m_engine->ClearSharedBlock() && m_block.IsMapped()) {
        platform::TraceTextAt(platform::TraceLevel::Notice,
                              "shared data block busy: the first cycle clears it\n");
    }

    // The server's copy-data endpoint exists from start-up on, as its window does.
    auto endpoint = platform::CopyDataEndpoint::Open(
        protocol::kServerTitle,
        [this](const platform::CopyDataMessage& m) { return OnCopyData(m); });
    if (endpoint) {
        m_endpoint = std::move(endpoint.value());
    } else {
        platform::TraceAt(platform::TraceLevel::Error, "copy-data endpoint %s: %s\n",
                          protocol::kServerTitle, endpoint.error().text.c_str());
    }
    // A mode switch never waits on its clients: the notices are queued, and
    // all of them together wait for room in full queues no longer than this.
    m_engine->SetModeChangeNotifier([this] {
        const uint64_t deadline = platform::MillisecondsSinceStart() + kModeNoticeBudgetMs;
        m_engine->NotifyClients(
            [deadline](const char* title) { return SendModeNotice(title, deadline); });
    });
    ApplyPeerClockScale(m_engine->Peers());

    // A library that cannot be loaded ends the process inside DMI_Load.
    int loaded = DMI_Load(1);
    if (loaded != 1)
        platform::TraceAt(platform::TraceLevel::Warning, "system library loaded with result %d\n",
                          loaded);
    std::memset(&g_env, 0, sizeof g_env);
    // Only a record with a configuration directory is an environment: an
    // unresolved GetKorbel (DMI_NOT_LOADED) or a library error fills nothing,
    // and an empty directory would put the files into the filesystem root.
    if (DMI_GetKorbel(&g_env) == 0 || g_env.ConfigDir[0] == '\0') {
        platform::TraceAt(platform::TraceLevel::Error, "%s\n", kGetKorbelFailedText);
        DMI_Unload();
        return kExitNoEnvironment;
    }
    m_started = true;
    m_configDir = g_env.ConfigDir;
    m_engine->SetConfigDir(m_configDir);
    if (const int swept = platform::RemoveStaleReplacements(
            m_configDir, {"AcqCfg.ini", "AcqSet.cfg"}, kStaleReplacementSeconds))
        platform::TraceAt(platform::TraceLevel::Notice,
                          "removed %d unfinished file replacement(s) from %s\n", swept,
                          m_configDir.c_str());

    char version[kKorbelVersionSize] = {};
    if (DMI_GetVers(0, version) != 0) {
        char text[512];
        std::snprintf(text, sizeof text, "Ver:%s", version);
        m_versionText = text;
    } else {
        m_versionText = kDefaultVersionText;
    }
    platform::Trace("%s\n", m_versionText.c_str());

    if (config::ReadSettings(config::SettingsPath(m_configDir)) != 1) {
        platform::TraceAt(platform::TraceLevel::Notice, "no settings file in %s: defaults\n",
                          m_configDir.c_str());
    }
    m_engine->SetForceSim(config::g_bForceSim.load());
    const bool switchToAsync = DisplayProbe();
    // The bring-up runs on the engine's command thread; this thread has
    // nothing else to do meanwhile, so it waits for it.
    m_engine->StartAsync(switchToAsync).wait();
    PublishStatus();
    platform::Trace("board: %s, mode: %s, configuration: %s\n", m_boardModel.c_str(),
                    ModeName(DisplayMode()), m_configDir.c_str());
    // Ready means readers can attach: without the block a service manager
    // should see the start fail rather than a server that serves nothing.
    if (m_block.IsMapped()) NotifyReady();
    return kRunning;
}

bool ServerHost::DisplayProbe() {
    m_engine->SetSimBoard(0);
    const boards::DisplayProbeResult probe =
        boards::DisplayProbe(m_probeBoard, m_engine->CandidateBases(), m_engine->ForceSim() == 1);
    m_boardModel = probe.model;
    m_engine->SetBoardModel(m_boardModel);
    m_engine->SetSimBoard(probe.simBoard ? 1 : 0);
    return probe.switchToAsync;
}

long ServerHost::RequestMode(int mode) {
    if (mode != engine::kModeAsync && mode != engine::kModeSync) return protocol::kModeNotAMode;
    // Without a board there is nothing for clients to drive themselves.
    if (mode == engine::kModeSync && m_engine->SimBoard() == 1) return protocol::kModeNeedsBoard;
    // The copy-data sender waits for its answer: this loop waits for the switch.
    const engine::ModeSwitchResult result = m_engine->SwitchModeAsync(mode).get();
    if (result.change == engine::ModeSwitch::kUnchanged) return protocol::kModeUnchanged;
    PublishStatus();
    if (result.change == engine::ModeSwitch::kNotWritten) {
        platform::TraceAt(platform::TraceLevel::Warning,
                          "mode %s refused: AcqCfg.ini cannot be written; staying %s\n",
                          ModeName(mode), ModeName(result.displayMode));
        return protocol::kModeNotWritten;
    }
    platform::Trace("mode: %s\n", ModeName(result.displayMode));
    return protocol::kModeSwitched;
}

// Rewritten only when something in it changed; the controlling thread
// calls it every second so a card that stops or starts answering shows.
void ServerHost::PublishStatus() {
    const boards::PortLinkState link = m_engine->BoardLink();
    if (!protocol::UpdateServerStatus(
            {m_boardModel, DisplayMode(), 0, link.lost ? 1 : 0, link.losses})) {
        platform::TraceTextAt(platform::TraceLevel::Warning,
                              "cannot write the server status file\n");
    }
    std::string status = "board: " + m_boardModel + ", mode: " + ModeName(DisplayMode());
    if (link.lost) status += ", the card does not answer";
    if (status != m_serviceStatus) NotifyStatus(status);
    m_serviceStatus = std::move(status);
}

void ServerHost::Shutdown() {
    if (!m_started) return;
    m_started = false;
    NotifyStopping();
    m_engine->ClearClientNames();
    m_engine->StopAsync().wait();
    protocol::RemoveServerStatus();
    DMI_CloseNet(0);
    DMI_Unload();
    m_endpoint.reset();
}

}  // namespace vantor::host
