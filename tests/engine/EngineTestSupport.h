#pragma once
// Set-up shared by the engine tests: an engine on a real shared block with a
// private configuration directory, a client that dies holding the block's
// mutex, polling for a condition, and numbered names.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <initializer_list>
#include <memory>
#include <string>
#include <thread>
#include <utility>

#include "engine/AcqEngine.h"
#include "protocol/CSharedMemory.h"
#include "support/TestEnv.h"

namespace vantor::engine::test_support {

// The engine over a freshly created block.
class EngineFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(block.Create("NXSharedMemory", kBlockSize));
        engine = std::make_unique<AcqEngine>(block);
        engine->SetConfigDir(dir.Path());
    }

    SharedBlock& Shared() { return *static_cast<SharedBlock*>(block.GetData()); }

    test::TempDir dir;
    CSharedMemory block;
    std::unique_ptr<AcqEngine> engine;
};

// A forked client maps the block, takes its mutex and is killed while holding
// it, as a crashed client would. False when the child never got the mutex.
inline bool ClientDiesHoldingTheMutex() {
    int ready[2];
    if (pipe(ready) != 0) return false;
    pid_t child = fork();
    if (child == 0) {
        CSharedMemory client;
        client.Create("NXSharedMemory", kBlockSize);
        client.Lock();
        char c = 1;
        (void)!write(ready[1], &c, 1);
        pause();  // dies holding the mutex
        _exit(0);
    }
    bool held = false;
    if (child > 0) {
        char c = 0;
        held = read(ready[0], &c, 1) == 1;
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
    }
    close(ready[0]);
    close(ready[1]);
    return held;
}

using vantor::test::Eventually;

// prefix + i (built by appending: GCC 12 warns falsely on "literal" + string).
inline std::string Numbered(const char* prefix, int i) {
    std::string s = prefix;
    s += std::to_string(i);
    return s;
}

// A request for these analog channels, each with its samples per read.
inline AcqRequest Analog(std::initializer_list<std::pair<int, int>> channels) {
    AcqRequest r = EmptyRequest();
    for (auto [id, samples] : channels) {
        r.analogIds[r.analogCount] = id;
        r.analogSamples[r.analogCount] = samples;
        ++r.analogCount;
    }
    return r;
}

}  // namespace vantor::engine::test_support
