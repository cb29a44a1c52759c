#pragma once
// Set-up shared by the engine tests: an engine on a real shared block with a
// private configuration directory, polling for a condition, and numbered names.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
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

// A request with this command text and these analog channels.
inline AcqRequest Request(const std::string& text, std::initializer_list<int> analog = {},
                          int samples = 0) {
    AcqRequest r = EmptyRequest();
    std::strncpy(r.text, text.c_str(), sizeof r.text - 1);
    for (int id : analog) {
        r.analogIds[r.analogCount] = id;
        r.analogSamples[r.analogCount++] = samples;
    }
    return r;
}

// Appends ids to one of a request's lists.
template <size_t N>
void Put(int32_t (&ids)[N], int32_t& count, std::initializer_list<int> values) {
    for (int v : values) ids[count++] = v;
}

}  // namespace vantor::engine::test_support
