#pragma once
// CHardWare: a client program's access to the data-acquisition server and its
// board. Open(name) reads the mode the server runs in (AcqCfg.ini) and then
//   MODE 1 (asynchronous): asks the running server and waits for its reply,
//   MODE 2 (synchronous):  drives the client's own board,
//   MODE 3 (simulated):    makes the values up.
// One object per board; an object is used from one thread only. See
// docs/client-library.md.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/CopyDataMessage.h"

#if defined(VANTOR_CLIENT_BUILD)
#define VANTOR_CLIENT_API __attribute__((visibility("default")))
#else
#define VANTOR_CLIENT_API
#endif

namespace vantor::boards {
class Board;
}

enum MODE : int32_t { MODE_ASYNC = 1, MODE_SYNC = 2, MODE_SIM = 3 };
enum HILOW : int32_t { LOW = 0, HIGH = 1 };

// The message a client's endpoint hands to Run: code, data word, payload.
using COPYDATASTRUCT = vantor::platform::CopyDataMessage;

class VANTOR_CLIENT_API CHardWare {
public:
    // Where the texts of failures the operator must see go (the library has
    // no window): by default a line on standard error.
    using NoticeHandler = std::function<void(const std::string& text)>;

    CHardWare();
    CHardWare(const CHardWare& other);
    ~CHardWare();
    CHardWare& operator=(const CHardWare& other);

    int GetVer();
    const char* GetVersion();
    void Open(std::string clientName);
    void Close();
    int GetEnc3(int channel);
    float GetFreb(int channel);
    int GetAnalog(int channel, float* buffer, long count);
    void OutPutDig(int line, HILOW level);
    HILOW InPutDig(int line);
    void ResetCNT();
    std::string GetErrMsg();
    // Dispatches at most one waiting message of the client's endpoint; never blocks.
    void SwitchCpu();
    void Run(const COPYDATASTRUCT* message);

    // The client's endpoint descriptor (-1 before Open): readable when a
    // message waits, for an application's own poll loop to call SwitchCpu.
    int EndpointFd() const;
    void SetNoticeHandler(NoticeHandler handler);
    // How long a MODE 1 request waits for its reply (500 ms unless set).
    void SetReplyTimeout(int milliseconds);
    int Mode() const { return mode; }

    // The record layouts of the messages (little-endian, no padding).
    struct StateRecord {
        int32_t sine;  // 1: the simulated analog values are one sine period
        int32_t reserved0;
        float amplitude;
        int32_t reserved1[2];
        int32_t level[16];  // simulated digital inputs, 1 = high
    };
    struct DigitalRecord {
        char name[100];
        int32_t line;
        int32_t level;
    };
    struct ChannelRecord {
        char name[100];
        int32_t channel;
    };
    struct AnalogRecord {
        int32_t channel;
        int32_t count;
        char name[100];
    };
    static constexpr int kAnalogReplyMax = 1000;

protected:
    void Initialize(MODE mode);
    void Release();
    int ReadConfigFile();
    void Add2Server();
    void DeleteFromServer();
    float Average(float* values, int count);

    HILOW digitalResult = LOW;
    StateRecord stateBlock{};
    MODE mode = MODE_SYNC;
    // Shared by copies: one open board handle, closed once.
    std::shared_ptr<vantor::boards::Board> board;
    DigitalRecord digitalRequest{};
    std::string errorText;
    std::string configPath;
    std::string clientName;
    int32_t enc3Present = 0;
    int32_t digitalDone = 0;
    int32_t analogDone = 0;
    int32_t frequencyDone = 0;
    int32_t counterDone = 0;
    ChannelRecord counterRequest{};
    ChannelRecord frequencyRequest{};
    AnalogRecord analogRequest{};
    float analogReply[kAnalogReplyMax] = {};
    float frequencyReply = 0.0F;
    int32_t counterReply = 0;
    int32_t analogReplyCount = 0;

private:
    struct Link;
    // Sends to the server from the client's endpoint: 1 sent, 0 no server.
    // queued: only queue the request, for one whose answer is a reply
    // message (the reply is what the call waits for).
    int SendToServer(uint32_t code, uint64_t dataWord, const void* data, size_t size,
                     bool queued = false);
    // Dispatches messages until *flag is 1 or the reply timeout passes.
    void WaitFor(const int32_t& flag);
    void Notice(const std::string& text);
    void OpenEndpoint();

    std::shared_ptr<Link> m_link;  // the endpoint, shared by copies
    NoticeHandler m_notice;
    int m_replyTimeoutMs = 500;
    int32_t m_forceSim = 0;
};
