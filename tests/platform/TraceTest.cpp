// Trace lines under journald: a priority prefix on every line, and only when
// standard error really is the journal's stream.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/Trace.h"
#include "support/TestEnv.h"

namespace vantor::test {
namespace {

using platform::TraceLevel;

// Standard error goes into a pipe of the test until the end of the scope.
class CapturedStderr {
public:
    CapturedStderr() {
        EXPECT_EQ(::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK), 0);
        m_saved = ::dup(STDERR_FILENO);
        ::dup2(m_pipe[1], STDERR_FILENO);
    }
    ~CapturedStderr() {
        ::dup2(m_saved, STDERR_FILENO);
        ::close(m_saved);
        ::close(m_pipe[0]);
        ::close(m_pipe[1]);
    }
    CapturedStderr(const CapturedStderr&) = delete;
    CapturedStderr& operator=(const CapturedStderr&) = delete;

    // "device:inode" of the pipe, as systemd puts it into $JOURNAL_STREAM.
    std::string Stream(int inodeOffset = 0) const {
        struct stat st {};
        EXPECT_EQ(::fstat(m_pipe[1], &st), 0);
        return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino + inodeOffset);
    }
    std::string Take() const {
        std::string text;
        char buf[4096];
        for (ssize_t n; (n = ::read(m_pipe[0], buf, sizeof buf)) > 0;) text.append(buf, n);
        return text;
    }

private:
    int m_pipe[2] = {-1, -1};
    int m_saved = -1;
};

void TraceSome() {
    platform::Trace("board: %s\n", "SIM Hardware");
    platform::TraceAt(TraceLevel::Warning, "port bus %s: lost\n", "/dev/port");
    platform::TraceTextAt(TraceLevel::Error, "first\nsecond\n");
}

TEST(Trace, JournalStreamOfStandardErrorGetsAPriorityOnEveryLine) {
    CapturedStderr err;
    ScopedEnv journal("JOURNAL_STREAM", err.Stream().c_str());
    EXPECT_TRUE(platform::StderrIsJournal());
    TraceSome();
    EXPECT_EQ(err.Take(),
              "<6>board: SIM Hardware\n<4>port bus /dev/port: lost\n<3>first\n<3>second\n");
}

TEST(Trace, AnyOtherStandardErrorGetsTheLinesUnchanged) {
    const std::string plain = "board: SIM Hardware\nport bus /dev/port: lost\nfirst\nsecond\n";
    CapturedStderr err;
    {
        // The journal's stream, inherited by a process whose stderr went elsewhere.
        ScopedEnv journal("JOURNAL_STREAM", err.Stream(1).c_str());
        TraceSome();
        EXPECT_EQ(err.Take(), plain);
    }
    {
        ScopedEnv journal("JOURNAL_STREAM", (err.Stream() + "x").c_str());
        TraceSome();
        EXPECT_EQ(err.Take(), plain);
    }
    ScopedEnv journal("JOURNAL_STREAM", nullptr);
    TraceSome();
    EXPECT_EQ(err.Take(), plain);
}

}  // namespace
}  // namespace vantor::test
