#include "CrashReports.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <regex>

#include "support/TestEnv.h"

namespace vantor::test {

std::vector<std::string> CrashEnv(const std::string& crashDir,
                                  const std::vector<std::string>& extra) {
    // An empty display is no display.
    std::vector<std::string> env{"VANTOR_CRASH_DIR=" + crashDir, "DISPLAY=", "WAYLAND_DISPLAY="};
    env.insert(env.end(), extra.begin(), extra.end());
    return env;
}

std::string Report::Line(const std::string& prefix) const {
    for (const auto& l : lines) {
        if (l.rfind(prefix, 0) == 0) return l;
    }
    return {};
}

std::vector<std::string> Report::StackLines() const {
    std::vector<std::string> out;
    bool inStack = false;
    for (const auto& l : lines) {
        if (inStack && l.empty()) break;
        if (inStack) out.push_back(l);
        inStack = inStack || l.rfind("Address ", 0) == 0;
    }
    return out;
}

std::vector<Report> ReadReports(const std::string& dir) {
    std::vector<Report> reports;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        Report r{entry.path().filename().string(), ReadFile(entry.path().string()), {}};
        for (size_t at = 0, end = 0; at < r.text.size(); at = end + 2) {
            end = std::min(r.text.find("\r\n", at), r.text.size());
            r.lines.push_back(r.text.substr(at, end - at));
        }
        reports.push_back(std::move(r));
    }
    return reports;
}

FaultLine ParseFaultLine(const Report& r) {
    static const std::regex kFault(
        "^Fault address:  ([0-9A-F]{16}) ([0-9A-F]{2,}):([0-9A-F]{16}) (.*)$");
    FaultLine f;
    std::smatch m;
    const std::string line = r.Line("Fault address:");
    if (!std::regex_match(line, m, kFault)) {
        ADD_FAILURE() << "fault line: " << line;
        return f;
    }
    f.section = static_cast<unsigned>(std::stoul(m[2], nullptr, 16));
    f.offset = std::stoull(m[3], nullptr, 16);
    f.module = m[4];
    return f;
}

namespace {

// Local time of six captured numbers starting at group first.
time_t LocalTime(const std::smatch& m, size_t first) {
    tm t{};
    t.tm_year = std::stoi(m[first]) - 1900;
    t.tm_mon = std::stoi(m[first + 1]) - 1;
    t.tm_mday = std::stoi(m[first + 2]);
    t.tm_hour = std::stoi(m[first + 3]);
    t.tm_min = std::stoi(m[first + 4]);
    t.tm_sec = std::stoi(m[first + 5]);
    t.tm_isdst = -1;
    return std::mktime(&t);
}

}  // namespace

time_t WallSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return now.tv_sec;
}

void ExpectCompleteReport(const Report& r, const std::string& module, time_t from, time_t to) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(r.fileName, m,
                                 std::regex("^错误报告_" + module +
                                            "\\.(\\d{4})_(\\d{2})_(\\d{2})_(\\d{2})_(\\d{2})_("
                                            "\\d{2})\\.TXT$")))
        << r.fileName;
    EXPECT_GE(LocalTime(m, 1), from);
    EXPECT_LE(LocalTime(m, 1), to);

    // Everything up to the first call-stack line has one fixed shape.
    const size_t heading = r.text.find("\r\nAddress ");
    const size_t firstFrame = r.text.find("\r\n", heading + 2);
    ASSERT_NE(firstFrame, std::string::npos) << r.text;
    const std::string head = r.text.substr(0, r.text.find("\r\n", firstFrame + 2) + 2);
    static const std::regex kHead(
        "//=+\r\nOSTRA崩溃监控/Ver1\\.0\\.0\\.1\\.20\\.10\\.09\\.29\r\n\r\n"
        "崩溃时间: (\\d{4})-(\\d{2})-(\\d{2}) (\\d{2}):(\\d{2}):(\\d{2})\r\n//=+\r\n"
        "Exception code: [0-9A-F]{8} [^\r\n]+\r\nFault address:  ([0-9A-F]{16}) [^\r\n]*\r\n"
        "\r\nRegisters:\r\n(?:R(?:AX|BX|CX|DX|SI|DI|8|9|1[0-5]):[0-9A-F]{16}\r\n){14}"
        "CS:RIP:[0-9A-F]{4}:([0-9A-F]{16})\r\nSS:RSP:[0-9A-F]{4}:[0-9A-F]{16}  RBP:[0-9A-F]{16}\r\n"
        "DS:[0-9A-F]{4}  ES:[0-9A-F]{4}  FS:[0-9A-F]{4}  GS:[0-9A-F]{4}\r\nFlags:[0-9A-F]{16}\r\n"
        "\r\nCall stack:\r\nAddress +Frame +Logical addr +Module\r\n([0-9A-F]{16})  [^\r\n]+\r\n");
    ASSERT_TRUE(std::regex_match(head, m, kHead)) << head;
    EXPECT_GE(LocalTime(m, 1), from);
    EXPECT_LE(LocalTime(m, 1), WallSeconds());
    EXPECT_EQ(m[7], m[8]);  // the fault address is the instruction pointer
    EXPECT_EQ(m[7], m[9]);  // and the call stack starts there
    ASSERT_GE(r.text.size(), 4u);
    EXPECT_EQ(r.text.substr(r.text.size() - 4), "\r\n\r\n");
}

}  // namespace vantor::test
