// The mode switch of a server in this process: registered clients hear of
// it, and clients that never read do not hold it up.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/ClientNames.h"
#include "host/ServerHost.h"
#include "platform/CopyDataBus.h"
#include "protocol/ServerStatus.h"
#include "support/ChildProcess.h"

namespace vantor::test {
namespace {

TEST(ModeNotice, RegisteredClientsHearOfTheSwitchWithoutHoldingItUp) {
    ASSERT_TRUE(WaitForFreeUdpPorts({8998, 9898}));
    host::ServerHost server;
    ASSERT_EQ(server.Start(), host::kRunning);
    ASSERT_NE(server.Endpoint(), nullptr);
    // A full client table of endpoints that are not read until the switch is done.
    std::atomic<int> noticed{0};
    std::vector<std::unique_ptr<platform::CopyDataEndpoint>> clients;
    for (int i = 0; i < engine::kMaxClientNames; ++i) {
        auto endpoint = platform::CopyDataEndpoint::Open(
            "mute" + std::to_string(i), [&](const platform::CopyDataMessage& m) {
                if (m.code == protocol::kCodeModeChanged && m.data.empty()) ++noticed;
                return int64_t{0};
            });
        ASSERT_TRUE(endpoint) << endpoint.error().text;
        clients.push_back(std::move(endpoint.value()));
    }
    // The first registers as a client program does. The send waits until the
    // server's endpoint handles it: the server's loop would pump, here the test does.
    std::atomic<int64_t> answer{-1};
    std::thread registering([&] {
        char name[protocol::kClientNameBytes] = "mute0";
        auto r = platform::CopyDataSend(protocol::kServerTitle, protocol::kCodeClientRegister,
                                        sizeof name, name, sizeof name);
        answer = r ? r.value() : -2;
    });
    Eventually([&] {
        server.Endpoint()->Pump();
        return answer != -1;
    });
    registering.join();
    EXPECT_EQ(answer, 0);
    ASSERT_EQ(server.Engine().Clients().Find("mute0"), 0);
    for (int i = 1; i < engine::kMaxClientNames; ++i) {
        server.Engine().Clients().Add(("mute" + std::to_string(i)).c_str());
    }

    // The notices are queued within a quarter-second budget; waiting on each
    // client instead would take a send timeout (5 s) per client.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(server.Engine().SwitchMode(engine::kModeSync), engine::ModeSwitch::kSwitched);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    for (auto& client : clients) client->Pump();
    EXPECT_EQ(noticed, engine::kMaxClientNames);
    EXPECT_EQ(server.Engine().LastError(), "");

    // A client that is gone is noted and skipped.
    clients.pop_back();
    server.Engine().ReloadConfig(1);  // takes mode 2 back from the file
    EXPECT_EQ(server.Engine().SwitchMode(engine::kModeAsync), engine::ModeSwitch::kSwitched);
    EXPECT_EQ(server.Engine().LastError(), engine::kClientNotFound);
    server.Shutdown();
}

}  // namespace
}  // namespace vantor::test
