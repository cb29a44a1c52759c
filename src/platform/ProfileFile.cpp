#include "platform/ProfileFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/AtomicFile.h"
#include "platform/Result.h"
#include "platform/UniqueFd.h"

namespace vantor::platform {
namespace {

enum class ReadStatus { Ok, Missing, Unusable };

// The file opened for reading if it is a regular file of at most
// kMaxProfileBytes, else why not (nullptr: it is missing).
ReadStatus OpenForReading(const std::string& path, UniqueFd& fd, const char** why) {
    // O_NONBLOCK: a FIFO or device in the file's place must not block the
    // open; anything but a regular file is refused just below.
    fd.Reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    const int err = errno;
    if (!fd.Valid()) {
        *why = err == ENOENT ? nullptr : ErrnoText(err);
        return err == ENOENT ? ReadStatus::Missing : ReadStatus::Unusable;
    }
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) {
        *why = ErrnoText(errno);
        return ReadStatus::Unusable;
    }
    if (!S_ISREG(st.st_mode)) {
        *why = S_ISDIR(st.st_mode) ? "a directory" : "not a regular file";
        return ReadStatus::Unusable;
    }
    if (static_cast<size_t>(st.st_size) > kMaxProfileBytes) {
        *why = "larger than 1 MiB";
        return ReadStatus::Unusable;
    }
    return ReadStatus::Ok;
}

ReadStatus ReadWhole(const std::string& path, std::string& out) {
    UniqueFd fd;
    const char* why = nullptr;
    const ReadStatus status = OpenForReading(path, fd, &why);
    if (status != ReadStatus::Ok) return status;
    out.clear();
    char buf[4096];
    for (;;) {
        ssize_t n = ::read(fd.Get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        out.append(buf, static_cast<size_t>(n));
        if (out.size() > kMaxProfileBytes) return ReadStatus::Unusable;
    }
    return ReadStatus::Ok;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// One line of the file, with where it starts and ends (without its '\n').
struct Line {
    size_t begin;
    size_t end;
};

std::vector<Line> SplitLines(const std::string& text) {
    std::vector<Line> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        if (nl == std::string::npos) nl = text.size();
        lines.push_back({start, nl});
        start = nl + 1;
    }
    return lines;
}

// Section name of a "[name]" line.
std::optional<std::string_view> SectionOf(std::string_view line) {
    line = Trim(line);
    if (line.size() < 2 || line.front() != '[') return std::nullopt;
    size_t close = line.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    return Trim(line.substr(1, close - 1));
}

// Key and value of a "key=value" line.
bool KeyValueOf(std::string_view line, std::string_view& key, std::string_view& value) {
    line = Trim(line);
    if (line.empty() || line.front() == ';') return false;
    size_t eq = line.find('=');
    if (eq == std::string_view::npos) return false;
    key = Trim(line.substr(0, eq));
    value = Trim(line.substr(eq + 1));
    return true;
}

// Where a key sits in the file: its line index, or the last line of its section.
struct Location {
    std::optional<size_t> sectionLine;
    std::optional<size_t> keyLine;
    size_t lastLineOfSection = 0;
    std::string_view value;
};

Location Find(const std::string& text, const std::vector<Line>& lines, std::string_view section,
              std::string_view key) {
    Location loc;
    bool inSection = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string_view line(text.data() + lines[i].begin, lines[i].end - lines[i].begin);
        if (auto name = SectionOf(line)) {
            if (inSection) break;  // end of the first matching section
            if (EqualNoCase(*name, section)) {
                inSection = true;
                loc.sectionLine = i;
                loc.lastLineOfSection = i;
            }
            continue;
        }
        if (!inSection) continue;
        std::string_view k;
        std::string_view v;
        if (KeyValueOf(line, k, v)) {
            if (!Trim(line).empty()) loc.lastLineOfSection = i;
            if (EqualNoCase(k, key)) {
                loc.keyLine = i;
                loc.value = v;
                return loc;
            }
        } else if (!Trim(line).empty()) {
            loc.lastLineOfSection = i;
        }
    }
    return loc;
}

std::optional<std::string> Lookup(const std::string& section, const std::string& key,
                                  const std::string& path) {
    std::string text;
    if (ReadWhole(path, text) != ReadStatus::Ok) return std::nullopt;
    auto lines = SplitLines(text);
    Location loc = Find(text, lines, section, key);
    if (!loc.keyLine) return std::nullopt;
    return std::string(loc.value);
}

int ParseLeadingInt(std::string_view s) {
    size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    long long v = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        v = v * 10 + (s[i] - '0');
        if (v > static_cast<long long>(INT_MAX) + 1) break;
    }
    if (negative) v = -v;
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

std::string_view StripQuotes(std::string_view v) {
    if (v.size() >= 2 &&
        ((v.front() == '"' && v.back() == '"') || (v.front() == '\'' && v.back() == '\''))) {
        v = v.substr(1, v.size() - 2);
    }
    return v;
}

// The reader trims the names it finds, so a name with blanks at an end would
// be written where no read ever finds it (and a key line that begins like a
// comment or a section is none).
bool ReadsBackAsName(std::string_view name) {
    return Trim(name) == name;
}

bool HasLineBreak(std::string_view s) {
    return s.find('\n') != std::string_view::npos || s.find('\r') != std::string_view::npos ||
           s.find('\0') != std::string_view::npos;
}

}  // namespace

std::string ProfileFileProblem(const std::string& path) {
    UniqueFd fd;
    const char* why = nullptr;
    OpenForReading(path, fd, &why);
    return why == nullptr ? std::string() : why;
}

int GetPrivateProfileInt(const std::string& section, const std::string& key, int defaultValue,
                         const std::string& path) {
    auto value = Lookup(section, key, path);
    if (!value || value->empty()) return defaultValue;
    // Like the Windows reader, the integer is read from the string value, so
    // MODE="2" reads 2.
    return ParseLeadingInt(StripQuotes(*value));
}

std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue, const std::string& path) {
    auto value = Lookup(section, key, path);
    if (!value) return defaultValue;
    return std::string(StripQuotes(*value));
}

bool WritePrivateProfileString(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& path) {
    if (section.empty() || key.empty() || HasLineBreak(section) || HasLineBreak(key) ||
        HasLineBreak(value) || key.find('=') != std::string::npos ||
        section.find(']') != std::string::npos || !ReadsBackAsName(section) ||
        !ReadsBackAsName(key) || key.front() == ';' || key.front() == '[') {
        return false;
    }
    std::string text;
    if (ReadWhole(path, text) == ReadStatus::Unusable) return false;
    const std::string eol = text.find("\r\n") != std::string::npos ? "\r\n" : "\n";
    const std::string entry = key + "=" + value;

    auto lines = SplitLines(text);
    Location loc = Find(text, lines, section, key);
    std::string out;
    if (loc.keyLine) {
        const Line& l = lines[*loc.keyLine];
        size_t end = l.end;
        if (end > l.begin && text[end - 1] == '\r') --end;  // keep the line's own CR
        out = text.substr(0, l.begin) + entry + text.substr(end);
    } else if (loc.sectionLine) {
        const Line& l = lines[loc.lastLineOfSection];
        size_t after = l.end < text.size() ? l.end + 1 : text.size();
        std::string head = text.substr(0, after);
        if (!head.empty() && head.back() != '\n') head += eol;
        out = head + entry + eol + text.substr(after);
    } else {
        out = text;
        if (!out.empty() && out.back() != '\n') out += eol;
        out += "[" + section + "]" + eol + entry + eol;
    }
    return ReplaceFileAtomically(path, out);
}

}  // namespace vantor::platform
