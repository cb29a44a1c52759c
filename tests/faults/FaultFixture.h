#pragma once
// The real server on an emulated card (vantor-boardsim in another process),
// for end-to-end tests and for breaking something under it. Every figure of
// how long the server took to come back is printed, so a run measures them.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "protocol/BlockLayout.h"
#include "protocol/CSharedMemory.h"
#include "support/ChildProcess.h"

namespace vantor::test {

// The server's promise "stops well within a second"; sanitizer builds run
// everything several times slower.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
inline constexpr int kStopBoundMs = 5000;
#else
inline constexpr int kStopBoundMs = 1000;
#endif

inline long long MsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
}

inline void Figure(const char* what, long long ms) {
    std::printf("[ figure   ] %s: %lld ms\n", what, ms);
    std::fflush(stdout);
    ::testing::Test::RecordProperty(what, std::to_string(ms));
}

class ServerFault : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(WaitForFreeUdpPorts({8998, 9898, 9000, 9001}));
        bus = dir.File("bus");
        WriteFile(config.File("AcqCfg.ini"), "[HK]\nMODE=1\n");
    }

    // By default input line 0 of the card is high and analog 0 reads 1.25 V.
    std::unique_ptr<ChildProcess> StartSim(const std::vector<std::string>& env = {},
                                           const std::vector<std::string>& launcher = {},
                                           const std::vector<std::string>& values = {
                                               "--analog", "0=1.25", "--din", "0001"}) {
        std::vector<std::string> args{"--endpoint", bus, "--card", "0x24@0x2E0"};
        args.insert(args.end(), values.begin(), values.end());
        return Start(launcher, "vantor-boardsim", args, env, "ready", false);
    }
    // ready: the trace line that says it serves.
    std::unique_ptr<ChildProcess> StartServer(const std::vector<std::string>& env = {},
                                              const std::vector<std::string>& launcher = {},
                                              const std::string& ready = "peers: none") {
        std::vector<std::string> all{"VANTOR_PORT_DEVICE=unix:" + bus,
                                     "VANTOR_CONFIG_DIR=" + config.Path()};
        all.insert(all.end(), env.begin(), env.end());
        return Start(launcher, "vantor", {"--headless"}, all, ready, true);
    }
    // A program of this build run by launcher (a program and its arguments,
    // say to run it as another user, or none); waits for ready unless empty.
    static std::unique_ptr<ChildProcess> Start(const std::vector<std::string>& launcher,
                                               const std::string& program,
                                               std::vector<std::string> args,
                                               const std::vector<std::string>& env,
                                               const std::string& ready = "",
                                               bool onStderr = false) {
        std::string path = program;
        if (!launcher.empty()) {
            args.insert(args.begin(), ExecutableDir() + "/" + program);
            args.insert(args.begin(), launcher.begin() + 1, launcher.end());
            path = launcher.front();
        }
        auto child = std::make_unique<ChildProcess>(path, args, env);
        if (!ready.empty()) {
            EXPECT_TRUE(child->WaitForText(ready, onStderr))
                << program << ":\n"
                << child->Stdout().substr(0, 2000) << child->Stderr().substr(0, 2000);
        }
        return child;
    }
    bool Attach() {
        return block.IsMapped() || block.Create("NXSharedMemory", protocol::kBlockSize);
    }
    protocol::SharedBlock& Block() { return *static_cast<protocol::SharedBlock*>(block.GetData()); }
    // Input line 0 as published, read without the block's mutex (which a
    // test may have left to a dead or stopped reader).
    int32_t Peek() { return std::atomic_ref<int32_t>(Block().digitalIn[0]).load(); }
    // Marks input line 0 and waits until a publish overwrote the mark.
    bool Publishes(int timeoutMs = kPatienceMs) {
        {
            protocol::BlockLock lock(block);
            Block().digitalIn[0] = 7;
        }
        return Eventually([&] { return Peek() == 1; }, std::chrono::milliseconds(timeoutMs));
    }

    TempDir dir;
    TempDir config;
    std::string bus;
    protocol::CSharedMemory block;
};

}  // namespace vantor::test
