// Trace lines under journald: a priority prefix on every line, and only when
// standard error really is the journal's stream.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <string>

#include "platform/Trace.h"
#include "support/TestEnv.h"

namespace vantor::test {
namespace {

using platform::TraceLevel;

// What three trace calls write to the captured standard error while
// $JOURNAL_STREAM is stream(device, inode of that capture file) (nullopt: unset).
template <typename Stream>
std::string Traced(Stream stream, bool journal) {
    ::testing::internal::CaptureStderr();
    struct stat st {};
    EXPECT_EQ(::fstat(STDERR_FILENO, &st), 0);
    const std::optional<std::string> value = stream(st.st_dev, st.st_ino);
    ScopedEnv env("JOURNAL_STREAM", value ? value->c_str() : nullptr);
    EXPECT_EQ(platform::StderrIsJournal(), journal);
    platform::Trace("board: %s\n", "SIM Hardware");
    platform::TraceAt(TraceLevel::Warning, "port bus %s: lost\n", "/dev/port");
    platform::TraceTextAt(TraceLevel::Error, "first\nsecond\n");
    return ::testing::internal::GetCapturedStderr();
}

std::string Stream(dev_t dev, ino_t ino) {
    return std::to_string(dev) + ":" + std::to_string(ino);
}

TEST(Trace, OnlyTheJournalsOwnStreamGetsAPriorityOnEveryLine) {
    EXPECT_EQ(Traced([](dev_t d, ino_t i) { return std::optional(Stream(d, i)); }, true),
              "<6>board: SIM Hardware\n<4>port bus /dev/port: lost\n<3>first\n<3>second\n");

    const std::string plain = "board: SIM Hardware\nport bus /dev/port: lost\nfirst\nsecond\n";
    // The journal's stream, inherited by a process whose stderr went elsewhere.
    EXPECT_EQ(Traced([](dev_t d, ino_t i) { return std::optional(Stream(d, i + 1)); }, false),
              plain);
    EXPECT_EQ(Traced([](dev_t d, ino_t i) { return std::optional(Stream(d, i) + "x"); }, false),
              plain);
    EXPECT_EQ(Traced([](dev_t, ino_t) { return std::optional<std::string>(); }, false), plain);
}

}  // namespace
}  // namespace vantor::test
