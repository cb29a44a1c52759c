#pragma once
// The debug trace: diagnostic lines on standard error (journald keeps them
// when the server runs under systemd). Safe to call from any thread; each
// call is one write, so lines of different threads never interleave.
#include <string>
#include <string_view>

namespace vantor::platform {

// Syslog priorities of trace lines. Under journald each line carries its
// priority, so `journalctl -p warning` shows the warnings and errors alone;
// anywhere else the level leaves no mark in the text.
enum class TraceLevel { Error = 3, Warning = 4, Notice = 5, Info = 6, Debug = 7 };

// Trace and TraceText write at Info.
void TraceText(std::string_view text);
void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));
void TraceTextAt(TraceLevel level, std::string_view text);
void TraceAt(TraceLevel level, const char* format, ...) __attribute__((format(printf, 2, 3)));

// True when standard error is the stream journald connected this process to:
// $JOURNAL_STREAM ("device:inode") names the file standard error is. Only
// then does every line start with "<N>", the priority journald reads off it
// (a child whose standard error went elsewhere inherits the variable too).
bool StderrIsJournal();

// Text from outside (a peer's name) made safe for one trace line: a newline
// becomes the two characters \n, other control bytes and DEL become \xHH;
// the rest, UTF-8 included, is kept, so a name can never start a new line.
std::string TraceEscaped(std::string_view text);

}  // namespace vantor::platform
