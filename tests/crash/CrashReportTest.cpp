// The crash reporter, in this process (handlers, path, alternate stacks) and
// through vantor-crash-victim child processes that fault on purpose.
#include <elf.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "CrashReports.h"
#include "crash/CrashReport.h"
#include "support/ChildProcess.h"

namespace vantor::test {
namespace {

constexpr int kFatal[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

void Marker(int) {}

void* Handler(int sig) {
    struct sigaction now {};
    sigaction(sig, nullptr, &now);
    return (now.sa_flags & SA_SIGINFO) != 0 ? reinterpret_cast<void*>(now.sa_sigaction)
                                            : reinterpret_cast<void*>(now.sa_handler);
}

TEST(CrashReportInProcess, InstallsOnceAndPutsThePreviousHandlersBack) {
    for (int sig : kFatal) signal(sig, Marker);
    {
        CCrashReport report;
        ASSERT_TRUE(report.IsInstalled());
        for (int sig : kFatal) EXPECT_NE(Handler(sig), reinterpret_cast<void*>(Marker)) << sig;
        CCrashReport second;
        EXPECT_FALSE(second.IsInstalled());
    }
    for (int sig : kFatal) EXPECT_EQ(Handler(sig), reinterpret_cast<void*>(Marker)) << sig;
    for (int sig : kFatal) signal(sig, SIG_DFL);
}

// Index and size of ".text", read from the file's own section headers.
std::pair<unsigned, uint64_t> TextSection(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    Elf64_Ehdr eh{};
    in.read(reinterpret_cast<char*>(&eh), sizeof eh);
    std::vector<Elf64_Shdr> sh(eh.e_shnum);
    in.seekg(static_cast<std::streamoff>(eh.e_shoff));
    in.read(reinterpret_cast<char*>(sh.data()),
            static_cast<std::streamsize>(sh.size() * sizeof sh[0]));
    if (!in || eh.e_shstrndx >= sh.size()) return {0, 0};
    std::string names(sh[eh.e_shstrndx].sh_size, '\0');
    in.seekg(static_cast<std::streamoff>(sh[eh.e_shstrndx].sh_offset));
    in.read(names.data(), static_cast<std::streamsize>(names.size()));
    for (unsigned i = 0; i < sh.size(); ++i) {
        if (sh[i].sh_name < names.size() && names.c_str() + sh[i].sh_name == std::string(".text")) {
            return {i, sh[i].sh_size};
        }
    }
    return {0, 0};
}

class CrashVictim : public ::testing::Test {
protected:
    void SetUp() override {
        if (kSanitized) GTEST_SKIP() << "the sanitizers own the fatal signals";
        m_victim = ExecutableDir() + "/vantor-crash-victim";
        ASSERT_TRUE(std::filesystem::exists(m_victim)) << m_victim;
        std::filesystem::create_directories(m_crashDir);
    }

    // Runs the victim to its end and returns the one report it left, checked
    // for completeness, after checking the signal it died of.
    Report Crash(const std::string& mode, int sig, const std::string& program = {},
                 const std::vector<std::string>& env = {}) {
        std::filesystem::remove_all(m_crashDir);
        std::filesystem::create_directories(m_crashDir);
        const time_t started = std::time(nullptr);  // the coarse clock, as the report's name
        ChildProcess child(program.empty() ? m_victim : program, {mode}, CrashEnv(m_crashDir, env));
        const int died = child.TermSignal();
        m_stdout = child.Stdout();
        m_stderr = child.Stderr();
        EXPECT_EQ(died, sig) << m_stderr.substr(0, 3000);
        auto reports = ReadReports(m_crashDir);
        EXPECT_EQ(reports.size(), 1u) << m_stderr.substr(0, 3000);
        if (reports.size() != 1) return {};
        ExpectCompleteReport(reports[0], "vantor-crash-victim", started, WallSeconds());
        return reports[0];
    }

    void ExpectFaultInVictimCode(const Report& r) {
        const auto [index, size] = TextSection(m_victim);
        const FaultLine f = ParseFaultLine(r);
        EXPECT_EQ(f.module, std::filesystem::canonical(m_victim).string());
        EXPECT_EQ(f.section, index);
        EXPECT_LT(f.offset, size);
    }

    TempDir m_tmp;
    std::string m_victim;
    std::string m_crashDir = m_tmp.File("crash");
    std::string m_stdout;
    std::string m_stderr;
};

TEST_F(CrashVictim, FaultsInTheExecutableNameCodeSectionAndFunction) {
    Report r = Crash("null-write", SIGSEGV);
    EXPECT_EQ(r.Line("Exception code: "), "Exception code: C0000005 ACCESS_VIOLATION");
    ExpectFaultInVictimCode(r);
    ASSERT_FALSE(r.StackLines().empty());
    EXPECT_NE(r.StackLines()[0].find("(VictimNullWrite+0x"), std::string::npos)
        << r.StackLines()[0];

    // Construction traced the path and then the name twice; the report went to
    // the trace too, with plain line ends; without a display the notice did.
    const std::string path = std::filesystem::canonical(m_victim).string();
    EXPECT_EQ(m_stderr.rfind(path + "\nvantor-crash-victim\nvantor-crash-victim\n", 0), 0u);
    EXPECT_NE(m_stderr.find(r.Line("Fault address:") + "\n"), std::string::npos);
    EXPECT_EQ(m_stderr.find('\r'), std::string::npos);
    EXPECT_NE(m_stderr.find(std::string("程序异常\nOSTRA系统异常，对给您带来的不便表示歉意!!\n")),
              std::string::npos);
    EXPECT_NE(m_stderr.find(std::string("技术支持电话:") + CCrashReport::SupportContact()),
              std::string::npos);

    r = Crash("divide", SIGFPE);
    EXPECT_EQ(r.Line("Exception code: "), "Exception code: C0000094 INT_DIVIDE_BY_ZERO");
    ExpectFaultInVictimCode(r);
}

TEST_F(CrashVictim, StackOverflowIsReportedInMainAndPreparedThreads) {
    for (const char* mode : {"recursion", "thread-recursion"}) {
        const Report r = Crash(mode, SIGSEGV);
        EXPECT_EQ(r.Line("Exception code: "), "Exception code: C00000FD STACK_OVERFLOW") << mode;
        const auto stack = r.StackLines();
        ASSERT_GT(stack.size(), 1000u) << mode;  // the whole chain, not cut off
        EXPECT_NE(stack[500].find("(VictimRecurse+0x"), std::string::npos) << stack[500];
    }
}

TEST_F(CrashVictim, OtherSignalsThreadsAndAJumpIntoNoModule) {
    Report r = Crash("abort", SIGABRT);
    EXPECT_EQ(r.Line("Exception code: "), "Exception code: E0000006 Aborted");
    EXPECT_NE(ParseFaultLine(r).module.find("libc"), std::string::npos);  // raised in the C library
    EXPECT_NE(ParseFaultLine(r).section, 0u);

    r = Crash("thread", SIGSEGV);
    EXPECT_EQ(r.Line("Exception code: "), "Exception code: C0000005 ACCESS_VIOLATION");
    ASSERT_FALSE(r.StackLines().empty());
    EXPECT_NE(r.StackLines()[0].find("(VictimNullWrite+0x"), std::string::npos);

    // Four threads faulting at once: one report, written once.
    r = Crash("concurrent", SIGSEGV);
    EXPECT_EQ(r.text.find("Exception code: "), r.text.rfind("Exception code: "));

    // A jump into unmapped memory has no module.
    r = Crash("jump", SIGSEGV);
    EXPECT_EQ(r.Line("Exception code: "), "Exception code: C0000005 ACCESS_VIOLATION");
    EXPECT_EQ(r.Line("Fault address:").substr(16),
              m_stdout.substr(8, 16) + " 00:0000000000000000 ");
    ASSERT_FALSE(r.StackLines().empty());
    EXPECT_EQ(r.StackLines()[0].substr(36), "0000:0000000000000000 ");
}

TEST_F(CrashVictim, UncreatableCrashDirectoryLeavesATraceLineOnly) {
    const std::string blocker = m_tmp.File("plain-file");
    WriteFile(blocker, "not a directory");
    ChildProcess child(m_victim, {"null-write"}, CrashEnv(blocker + "/crash"));
    ASSERT_EQ(child.TermSignal(), SIGSEGV);
    const std::string err = child.Stderr();
    EXPECT_NE(err.find("创建崩溃记录文件失败\n"), std::string::npos) << err;
    EXPECT_EQ(err.find("Exception code"), std::string::npos);
    EXPECT_EQ(err.find("OSTRA系统异常"), std::string::npos);  // no notice without a report
    EXPECT_TRUE(std::filesystem::is_regular_file(blocker));
}

TEST_F(CrashVictim, WithADisplayTheHelperNextToTheProgramShowsTheNotice) {
    const std::string dir = m_tmp.File("installed");
    std::filesystem::create_directories(dir);
    const std::string victim = dir + "/vantor-crash-victim";
    std::filesystem::copy_file(m_victim, victim);

    Crash("null-write", SIGSEGV, victim, {"DISPLAY=:97"});  // no helper: standard error
    EXPECT_NE(m_stderr.find("OSTRA系统异常"), std::string::npos);

    const std::string helper = dir + "/vantor-crash-notice";
    WriteFile(helper,
              "#!/bin/sh\nprintf '%s|%s|%s' \"$1\" \"$2\" \"$3\" > \"$0.tmp\"\nmv \"$0.tmp\" "
              "\"$0.args\"\n");
    std::filesystem::permissions(helper, std::filesystem::perms::owner_all);
    const Report r = Crash("null-write", SIGSEGV, victim, {"WAYLAND_DISPLAY=wayland-9"});
    EXPECT_EQ(m_stderr.find("OSTRA系统异常"), std::string::npos);
    std::string args;
    Eventually([&] {  // the helper outlives the victim
        args = ReadFile(helper + ".args");
        return !args.empty();
    });
    EXPECT_EQ(args,
              std::string("程序异常|OSTRA系统异常，对给您带来的不便表示歉意!!"
                          "\n我们已经记录了错误相关信息，请联系我们\n"
                          "以便获得进一步的技术支持，我们也会进一步改进服务\n\n技术支持电话:") +
                  CCrashReport::SupportContact() + "|" + m_crashDir + "/" + r.fileName);
}

}  // namespace
}  // namespace vantor::test
