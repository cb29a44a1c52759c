// CHardWare: construction, copies, the connection to the server (register,
// unregister, the client's endpoint and Run) and the choice of mode.
#include "vantor/CHardWare.h"

#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "ServerLauncher.h"
#include "boards/Board.h"
#include "boards/BoardProbe.h"
#include "platform/Clock.h"
#include "platform/CopyDataBus.h"
#include "platform/Paths.h"
#include "platform/ProfileFile.h"
#include "protocol/ClientMessages.h"
#include "protocol/CopyDataCodes.h"

namespace protocol = vantor::protocol;
namespace platform = vantor::platform;

// The records of the public header are the protocol's, byte for byte.
static_assert(sizeof(CHardWare::StateRecord) == sizeof(protocol::StateBlock));
static_assert(offsetof(CHardWare::StateRecord, level) == offsetof(protocol::StateBlock, level));
static_assert(sizeof(CHardWare::DigitalRecord) == sizeof(protocol::DigitalRecord));
static_assert(offsetof(CHardWare::DigitalRecord, level) ==
              offsetof(protocol::DigitalRecord, level));
static_assert(sizeof(CHardWare::ChannelRecord) == sizeof(protocol::ChannelRecord));
static_assert(sizeof(CHardWare::AnalogRecord) == sizeof(protocol::AnalogRecord));
static_assert(offsetof(CHardWare::AnalogRecord, name) == offsetof(protocol::AnalogRecord, name));
static_assert(CHardWare::kAnalogReplyMax == protocol::kAnalogReplyMax);

namespace {

constexpr const char* kVersionText = "数据采集模块版本3.0";
constexpr const char* kStartServerByHand = "请先手动启动Vantor";
constexpr const char* kSyncOpenFailed = "同步模式硬件打开失败";
constexpr const char* kAddNameFailed = "添加客户名字失败";
constexpr const char* kDeleteFailed = "删除客户失败";
// How long Open gives a server it has just started to open its endpoint.
constexpr uint64_t kServerStartWaitMs = 1000;
constexpr int kForceSimOffset = 8;  // g_bForceSim in AcqSet.cfg

// g_bForceSim of the operator's settings: 1 keeps every client off its board.
int32_t ReadForceSim(const std::string& configDir) {
    std::ifstream in(configDir + "/AcqSet.cfg", std::ios::binary);
    char word[4] = {};
    if (!in.seekg(kForceSimOffset) || !in.read(word, sizeof word)) return 0;
    int32_t value = 0;
    std::memcpy(&value, word, sizeof value);
    return value;
}

}  // namespace

struct CHardWare::Link {
    std::unique_ptr<platform::CopyDataEndpoint> endpoint;
    CHardWare* target = nullptr;  // the copy that pumps: it gets the replies
};

CHardWare::CHardWare() : board(std::make_shared<vantor::boards::Board>(0)) {}

CHardWare::CHardWare(const CHardWare& other) = default;

CHardWare& CHardWare::operator=(const CHardWare& other) = default;

CHardWare::~CHardWare() {
    if (m_link && m_link->target == this) m_link->target = nullptr;
}

// Members of the exported interface, though they need no object.
int CHardWare::GetVer() {  // NOLINT(readability-convert-member-functions-to-static)
    return 300;
}

const char* CHardWare::GetVersion() {  // NOLINT(readability-convert-member-functions-to-static)
    return kVersionText;
}

std::string CHardWare::GetErrMsg() {
    return errorText;
}

int CHardWare::EndpointFd() const {
    return m_link && m_link->endpoint ? m_link->endpoint->Fd() : -1;
}

void CHardWare::SetNoticeHandler(NoticeHandler handler) {
    m_notice = std::move(handler);
}

void CHardWare::SetReplyTimeout(int milliseconds) {
    m_replyTimeoutMs = milliseconds < 0 ? 0 : milliseconds;
}

void CHardWare::Notice(const std::string& text) {
    if (m_notice) {
        m_notice(text);
    } else {
        std::fprintf(stderr, "%s\n", text.c_str());
    }
}

void CHardWare::OpenEndpoint() {
    if (m_link && m_link->endpoint && m_link->endpoint->Title() == clientName) return;
    if (!m_link) m_link = std::make_shared<Link>();
    m_link->endpoint.reset();  // a new name: the old title goes first
    if (clientName.empty()) return;
    Link* link = m_link.get();
    auto endpoint = platform::CopyDataEndpoint::Open(
        clientName, [link](const platform::CopyDataMessage& m) -> int64_t {
            if (link->target != nullptr) link->target->Run(&m);
            return 0;
        });
    if (endpoint) {
        m_link->endpoint = std::move(endpoint.value());
    } else {
        errorText = endpoint.error().text;
    }
}

void CHardWare::Open(std::string name) {
    clientName = std::move(name);
    if (clientName.size() >= protocol::kClientNameBytes) {
        clientName.resize(protocol::kClientNameBytes - 1);
    }
    OpenEndpoint();
    Add2Server();
    ReadConfigFile();
    if (mode == MODE_ASYNC) {
        if (!platform::CopyDataFind(protocol::kServerTitle)) {
            const std::string program = vantor::client::ServerDir() + "/vantor";
            const vantor::client::Launch launch = vantor::client::StartServer(program);
            if (launch == vantor::client::Launch::kMissing) Notice(kStartServerByHand);
            // The server registers nobody it has not heard of: once its
            // endpoint is there, this client registers again.
            const uint64_t end = platform::MillisecondsSinceStart() + kServerStartWaitMs;
            bool found = false;
            while (!found && platform::MillisecondsSinceStart() < end) {
                ::usleep(10000);
                found = launch == vantor::client::Launch::kStarted &&
                        platform::CopyDataFind(protocol::kServerTitle);
            }
            if (found) Add2Server();
        }
        Initialize(MODE_ASYNC);
    } else if (mode == MODE_SIM) {
        Initialize(MODE_SIM);
    } else {
        Initialize(MODE_SYNC);
    }
}

int CHardWare::ReadConfigFile() {
    const std::string dir = platform::ConfigDir();
    configPath = dir + "/AcqCfg.ini";
    const int exist = platform::GetPrivateProfileInt("ENC3", "IsExist", 0, dir + "/sysOSTRA.ini");
    enc3Present = exist == 1 ? 1 : 0;
    m_forceSim = ReadForceSim(dir);
    const int value = platform::GetPrivateProfileInt("HK", "MODE", mode, configPath);
    if (value >= MODE_ASYNC && value <= MODE_SIM) {
        mode = static_cast<MODE>(value);
        return 1;
    }
    mode = MODE_ASYNC;
    return 0;
}

void CHardWare::Initialize(MODE newMode) {
    Release();
    if (m_forceSim == 1) return;
    mode = newMode;
    if (mode != MODE_SYNC) return;
    if (!board->OpenDevice()) {
        Notice(kSyncOpenFailed);
        return;
    }
    if (enc3Present == 1) {
        board->Configure(0, 0);
        board->ResetCounters();
    }
    static constexpr int kBases[] = {0x280, 0x2E0, 0x300, 0x310, 0x320, 0x700};
    (void)vantor::boards::ProbeBoard(*board, kBases);
}

void CHardWare::Release() {
    if (board->IsOpen() != 0) board->CloseDevice();
}

int CHardWare::SendToServer(uint32_t code, uint64_t dataWord, const void* data, size_t size,
                            bool queued) {
    // The reply may come while the send still waits for the server's answer.
    if (m_link) m_link->target = this;
    const bool own = m_link && m_link->endpoint;
    if (queued && own) {
        // A reply that came after its call gave up must not answer this one:
        // hand every waiting message to Run first, then forget what they set
        // (one call at a time is in flight on an object).
        for (int i = 0; i < 256 && m_link->endpoint->Pump() > 0; ++i) {
        }
        analogDone = frequencyDone = counterDone = digitalDone = 0;
        analogReplyCount = 0;
        return platform::CopyDataPost(protocol::kServerTitle, code, dataWord, data, size,
                                      m_replyTimeoutMs)
                   ? 1
                   : 0;
    }
    auto sent = own ? m_link->endpoint->Send(protocol::kServerTitle, code, dataWord, data, size)
                    : platform::CopyDataSend(protocol::kServerTitle, code, dataWord, data, size);
    return sent ? 1 : 0;
}

void CHardWare::Add2Server() {
    char name[protocol::kClientNameBytes] = {};
    protocol::SetRecordName(name, clientName);
    if (SendToServer(protocol::kCodeClientRegister, clientName.size(), name, sizeof name) == 0) {
        errorText = kAddNameFailed;
    }
}

void CHardWare::DeleteFromServer() {
    Release();
    char name[protocol::kClientNameBytes] = {};
    protocol::SetRecordName(name, clientName);
    if (SendToServer(protocol::kCodeClientUnregister, clientName.size(), name, sizeof name) == 0) {
        errorText = kDeleteFailed;
    }
}

void CHardWare::Close() {
    DeleteFromServer();
    // The server may no longer reach this name: its title is given up.
    if (m_link) m_link->endpoint.reset();
}

void CHardWare::SwitchCpu() {
    if (!m_link || !m_link->endpoint) return;
    m_link->target = this;
    (void)m_link->endpoint->Pump();
}

void CHardWare::WaitFor(const int32_t& flag) {
    if (!m_link || !m_link->endpoint) return;  // no endpoint: no reply can come
    m_link->target = this;
    const uint64_t end =
        platform::MillisecondsSinceStart() + static_cast<uint64_t>(m_replyTimeoutMs);
    while (flag != 1) {
        const uint64_t now = platform::MillisecondsSinceStart();
        if (now >= end || !m_link->endpoint) return;
        (void)m_link->endpoint->WaitAndPump(static_cast<int>(end - now));
    }
}

void CHardWare::Run(const COPYDATASTRUCT* message) {
    if (message == nullptr) return;
    const std::string_view data = message->data;
    switch (message->code) {
        case protocol::kCodeModeChanged:
            Release();
            Add2Server();
            Initialize(MODE_ASYNC);
            break;
        case protocol::kCodeDigitalIn: {
            const auto r = protocol::ReadRecord<protocol::DigitalRecord>(data);
            digitalResult = r.level != 0 ? HIGH : LOW;
            digitalDone = 1;
            break;
        }
        case protocol::kCodeStateBlock: {
            if (data.size() < sizeof stateBlock) break;  // not a whole block: kept
            std::memcpy(&stateBlock, data.data(), sizeof stateBlock);
            break;
        }
        case protocol::kCodeAnalogReply: {
            // n from the data word, but never more than the reply holds or
            // the payload carries.
            uint64_t n = message->dataWord;
            if (n > static_cast<uint64_t>(kAnalogReplyMax)) n = kAnalogReplyMax;
            if (n > data.size() / sizeof(float)) n = data.size() / sizeof(float);
            if (n > 0) std::memcpy(analogReply, data.data(), n * sizeof(float));
            analogReplyCount = static_cast<int32_t>(n);
            analogDone = 1;
            break;
        }
        case protocol::kCodeFrequency:
            frequencyReply = protocol::ReadRecord<float>(data);
            frequencyDone = 1;
            break;
        case protocol::kCodeCounter:
            counterReply = protocol::ReadRecord<int32_t>(data);
            counterDone = 1;
            break;
        default:
            break;
    }
}
