#include "host/ServerHost.h"

#include <cstdio>
#include <cstring>

#include "boards/BoardProbe.h"
#include "engine/BlockLayout.h"
#include "engine/ClientNames.h"
#include "engine/Globals.h"
#include "engine/ServerStatus.h"
#include "engine/hardware/BoardPass.h"
#include "host/config/Settings.h"
#include "platform/Trace.h"
#include "syslib/EnvRecord.h"
#include "syslib/Korbel.h"
#include "syslib/KorbelApi.h"

namespace vantor::host {

const char* const kSharedBlockName = "NXSharedMemory";
const char* const kDefaultVersionText = "数据服务器( Ver2.1.3.1 )";

namespace {
constexpr const char* kGetKorbelFailed = "[Korbel.dll] [DMI_GetKorbel()] 加载错误或者没有该文件！";
constexpr const char* kSimBoardModel = "SIM Hardware";
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
    if (!m_block.Create(kSharedBlockName, engine::kBlockSize)) {
        platform::Trace("shared data block not available: %s\n", m_block.LastError().c_str());
    }
    m_engine = std::make_unique<engine::AcqEngine>(m_block);
    m_hardwarePass = std::make_unique<engine::hardware::BoardPass>(m_engine->GetBoard());
    m_engine->SetHardwarePass(m_hardwarePass.get());
}

ServerHost::~ServerHost() {
    Shutdown();
}

int ServerHost::Start() {
    auto lock = platform::InstanceLock::Acquire(engine::kServerTitle);
    if (!lock) {
        if (lock.error().code != platform::InstanceLock::kHeldElsewhere) {
            platform::Trace("single-instance lock: %s\n", lock.error().text.c_str());
        }
        return kExitSecondInstance;
    }
    m_instance = std::move(lock.value());

    // The server's copy-data endpoint exists from start-up on, as its window does.
    auto endpoint = platform::CopyDataEndpoint::Open(
        engine::kServerTitle, [this](const platform::CopyDataMessage& m) { return OnCopyData(m); });
    if (endpoint) {
        m_endpoint = std::move(endpoint.value());
    } else {
        platform::Trace("copy-data endpoint %s: %s\n", engine::kServerTitle,
                        endpoint.error().text.c_str());
    }
    m_engine->SetModeChangeNotifier([this] {
        m_engine->NotifyClients([this](const char* title) { return SendModeNotice(title); });
    });
    ApplyPeerClockScale(m_engine->Peers());

    // A library that cannot be loaded ends the process inside DMI_Load.
    int loaded = DMI_Load(1);
    if (loaded != 1) platform::Trace("system library loaded with result %d\n", loaded);
    std::memset(&g_env, 0, sizeof g_env);
    if (DMI_GetKorbel(&g_env) == 0) {
        std::fprintf(stderr, "%s\n", kGetKorbelFailed);
        DMI_Unload();
        return kExitNoEnvironment;
    }
    m_started = true;
    m_configDir = g_env.ConfigDir;
    m_engine->SetConfigDir(m_configDir);

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
        platform::Trace("no settings file in %s: defaults\n", m_configDir.c_str());
    }
    DisplayProbe();
    BringUp();
    platform::Trace("board: %s, mode: %s, configuration: %s\n", m_boardModel.c_str(),
                    ModeName(m_displayMode), m_configDir.c_str());
    return kRunning;
}

void ServerHost::DisplayProbe() {
    engine::g_bSimBoard.store(0);
    const boards::DisplayProbeResult probe = boards::DisplayProbe(
        m_probeBoard, m_engine->CandidateBases(), config::g_bForceSim.load() == 1);
    m_boardModel = probe.model;
    engine::g_bSimBoard.store(probe.simBoard ? 1 : 0);
    if (probe.switchToAsync) m_engine->SwitchMode(engine::kModeAsync);
}

void ServerHost::BringUp() {
    const int startArgument = 1;
    m_engine->ReloadConfig(startArgument);
    m_engine->StartAcquisition();
    m_displayMode = m_engine->EffectiveMode();
    if (engine::g_bSimBoard.load() == 1) {
        m_displayMode = engine::kModeAsyncVariant;
        m_engine->SwitchMode(engine::kModeAsync);
    }
    PublishStatus();
}

long ServerHost::RequestMode(int mode) {
    if (mode != engine::kModeAsync && mode != engine::kModeSync) return engine::kModeNotAMode;
    // Without a board there is nothing for clients to drive themselves.
    if (mode == engine::kModeSync && engine::g_bSimBoard.load() == 1)
        return engine::kModeNeedsBoard;
    if (!m_engine->SwitchMode(mode)) return engine::kModeUnchanged;
    if (mode == engine::kModeSync) {
        engine::acquisitionActive.store(0);
        engine::acquisitionKind.store(engine::kKindIdle);
    }
    const int startArgument = 1;
    m_engine->ReloadConfig(startArgument);
    m_engine->StartAcquisition();
    m_displayMode = m_engine->EffectiveMode();
    platform::Trace("mode: %s\n", ModeName(m_displayMode));
    PublishStatus();
    return engine::kModeSwitched;
}

// Rewritten only when something in it changed; the controlling thread
// calls it every second so a card that stops or starts answering shows.
void ServerHost::PublishStatus() {
    const boards::PortLinkState link = m_engine->GetBoard().PortLink();
    if (!engine::UpdateServerStatus(
            {m_boardModel, m_displayMode, 0, link.lost ? 1 : 0, link.losses})) {
        platform::TraceText("cannot write the server status file\n");
    }
}

void ServerHost::Shutdown() {
    if (!m_started) return;
    m_started = false;
    m_engine->Clients().Clear();
    m_engine->StopThreads();
    engine::RemoveServerStatus();
    DMI_CloseNet(0);
    DMI_Unload();
    m_endpoint.reset();
}

}  // namespace vantor::host
