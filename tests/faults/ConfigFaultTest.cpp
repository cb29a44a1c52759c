// The configuration files damaged under the server: replaced by garbage, a
// FIFO, a directory, a 1 GiB sparse file or a symbolic-link loop, at start-up
// and while it runs; and their directory made read-only during a mode switch.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <utility>

#include "faults/FaultFixture.h"

namespace vantor::test {
namespace {

namespace fs = std::filesystem;

enum class Damage { Garbage, Fifo, Directory, Huge, LinkLoop };
constexpr std::pair<Damage, const char*> kDamages[] = {{Damage::Garbage, "garbage"},
                                                       {Damage::Fifo, "FIFO"},
                                                       {Damage::Directory, "directory"},
                                                       {Damage::Huge, "1 GiB sparse file"},
                                                       {Damage::LinkLoop, "symbolic-link loop"}};
const char* const kFiles[] = {"AcqCfg.ini", "sysOSTRA.ini", "AcqSet.cfg"};

void Remove(const std::string& path) {
    std::error_code ec;
    fs::remove_all(path, ec);
    fs::remove(path + ".loop", ec);
}

void Apply(Damage d, const std::string& path) {
    Remove(path);
    switch (d) {
        case Damage::Garbage: {
            std::string bytes = "\xEF\xBB\xBF[hk\x01]\n=\n[\n\x80\xFF[HK]\nMODE=\xFE\xFF\n";
            for (unsigned i = 0, x = 12345; i < 8192; ++i) {
                x = x * 1103515245 + 12345;
                bytes += static_cast<char>(x >> 16);
            }
            WriteFile(path, bytes);
            break;
        }
        case Damage::Fifo:
            ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
            break;
        case Damage::Directory:
            ASSERT_TRUE(fs::create_directory(path));
            break;
        case Damage::Huge: {
            const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            ASSERT_GE(fd, 0);
            ASSERT_EQ(::ftruncate(fd, off_t{1} << 30), 0);
            ::close(fd);
            break;
        }
        case Damage::LinkLoop: {
            const std::string name = fs::path(path).filename().string();
            ASSERT_EQ(::symlink((name + ".loop").c_str(), path.c_str()), 0);
            ASSERT_EQ(::symlink(name.c_str(), (path + ".loop").c_str()), 0);
            break;
        }
    }
}

// The largest resident size the process ever had, in KiB.
long PeakKiB(pid_t pid) {
    const std::string status = ReadFile("/proc/" + std::to_string(pid) + "/status");
    const size_t at = status.find("VmHWM:");
    return at == std::string::npos ? -1 : std::atol(status.c_str() + at + 6);
}

class ConfigFault : public ServerFault {};

TEST_F(ConfigFault, DamagedFilesAtStartUpLeaveTheDefaultsAndSaySo) {
    auto sim = StartSim();
    for (const auto& [d, name] : kDamages) {
        SCOPED_TRACE(name);
        for (const char* f : kFiles) Apply(d, config.File(f));
        const auto start = std::chrono::steady_clock::now();
        auto server = StartServer();
        Figure((std::string("start-up with every file a ") + name).c_str(), MsSince(start));
        ASSERT_TRUE(server->Running()) << server->Stderr();
        const std::string trace = server->Stderr();
        // AcqCfg.ini has to say which mode; sysOSTRA.ini need not have its
        // key. The settings record has no form to be wrong in, and a long
        // one is read for its first 416 bytes.
        EXPECT_NE(trace.find("AcqCfg.ini"), std::string::npos) << trace;
        if (d != Damage::Garbage) {
            EXPECT_NE(trace.find("sysOSTRA.ini"), std::string::npos) << trace;
        }
        if (d != Damage::Garbage && d != Damage::Huge) {
            EXPECT_NE(trace.find("no settings file"), std::string::npos) << trace;
        }
        EXPECT_LT(PeakKiB(server->Pid()), 256 * 1024);
        server->Signal(SIGTERM);
        EXPECT_EQ(server->ExitCode(), 0) << server->Stderr();
    }
    for (const char* f : kFiles) Remove(config.File(f));
}

TEST_F(ConfigFault, FilesDamagedWhileRunningRefuseTheSwitchOnly) {
    auto sim = StartSim();
    auto server = StartServer();
    ASSERT_TRUE(Attach());
    for (const auto& [d, name] : kDamages) {
        SCOPED_TRACE(name);
        for (const char* f : {"AcqCfg.ini", "sysOSTRA.ini"}) Apply(d, config.File(f));
        const size_t mark = server->Stderr().size();
        const auto start = std::chrono::steady_clock::now();
        ChildProcess toSync("vantorctl", {"mode", "2"});
        const int code = toSync.ExitCode();
        Figure((std::string("mode switch with the files a ") + name).c_str(), MsSince(start));
        EXPECT_TRUE(server->Running());
        if (d == Damage::Garbage) {
            // A file the switch can write its MODE into, keeping the rest.
            EXPECT_EQ(code, 0) << toSync.Stderr();
            const std::string text = ReadFile(config.File("AcqCfg.ini"));
            EXPECT_EQ(text.rfind("\xEF\xBB\xBF[hk\x01]", 0), 0u);
            EXPECT_NE(text.find("[HK]\nMODE=2\n"), std::string::npos);
        } else {
            // Refused, and the restart in the old mode says what it read.
            EXPECT_EQ(code, 1) << toSync.Stderr();
            EXPECT_TRUE(Publishes());  // sampling goes on in the mode it had
            EXPECT_NE(server->Stderr().find("sysOSTRA.ini", mark), std::string::npos)
                << server->Stderr().substr(mark);
        }
        struct stat st {};
        if (d == Damage::Huge) {
            ASSERT_EQ(::stat(config.File("AcqCfg.ini").c_str(), &st), 0);
            EXPECT_EQ(st.st_size, off_t{1} << 30);
        }
        EXPECT_LT(PeakKiB(server->Pid()), 256 * 1024);

        for (const char* f : {"AcqCfg.ini", "sysOSTRA.ini"}) Remove(config.File(f));
        WriteFile(config.File("AcqCfg.ini"), "[HK]\nMODE=1\n");
        ChildProcess back("vantorctl", {"mode", "1"});
        EXPECT_EQ(back.ExitCode(), 0) << back.Stderr();
    }
    server->Signal(SIGTERM);
    EXPECT_EQ(server->ExitCode(), 0) << server->Stderr();
}

// A read-only directory stops only an unprivileged writer, so as root the
// server and its tools run as nobody.
TEST_F(ConfigFault, AReadOnlyDirectoryFailsTheSwitchAndKeepsTheFile) {
    std::vector<std::string> as;
    TempDir runtime;
    // Its own namespace: the shared objects of the earlier tests' servers
    // belong to this user, and an unprivileged server refuses them.
    const std::string ns = std::string(std::getenv("VANTOR_IPC_NAMESPACE")) + "ro_";
    std::vector<std::string> env{"XDG_RUNTIME_DIR=" + runtime.Path(), "VANTOR_IPC_NAMESPACE=" + ns};
    if (::geteuid() == 0) {
        as = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
        for (const std::string& p :
             {dir.Path(), config.Path(), runtime.Path(), config.File("AcqCfg.ini")}) {
            ASSERT_EQ(::chown(p.c_str(), 65534, 65534), 0) << p;
        }
    }
    auto ctl = [&](const std::vector<std::string>& args) {
        return Start(as, "vantorctl", args, env);
    };
    auto sim = StartSim(env, as);
    auto server = StartServer(env, as);
    const std::string before = ReadFile(config.File("AcqCfg.ini"));

    ASSERT_EQ(::chmod(config.Path().c_str(), 0555), 0);
    auto refused = ctl({"mode", "2"});
    EXPECT_EQ(refused->ExitCode(), 1) << refused->Stderr();
    EXPECT_NE(refused->Stderr().find("AcqCfg.ini"), std::string::npos) << refused->Stderr();
    EXPECT_EQ(ReadFile(config.File("AcqCfg.ini")), before);
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(config.Path())) {
        left.push_back(e.path().filename().string());
    }
    EXPECT_EQ(left, std::vector<std::string>{"AcqCfg.ini"});
    auto dump = ctl({"dump", "--json", "--samples", "0"});
    EXPECT_EQ(dump->ExitCode(), 0) << dump->Stderr();
    EXPECT_NE(dump->Stdout().find(R"("mode": 1,)"), std::string::npos)
        << dump->Stdout().substr(0, 300);

    ASSERT_EQ(::chmod(config.Path().c_str(), 0755), 0);
    auto switched = ctl({"mode", "2"});
    EXPECT_EQ(switched->ExitCode(), 0) << switched->Stderr();
    EXPECT_NE(ReadFile(config.File("AcqCfg.ini")).find("MODE=2"), std::string::npos);
    server->Signal(SIGTERM);
    EXPECT_EQ(server->ExitCode(), 0) << server->Stderr();
}

}  // namespace
}  // namespace vantor::test
