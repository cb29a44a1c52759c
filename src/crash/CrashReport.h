#pragma once
// The crash reporter: one process-wide object, constructed first in main()
// and destroyed when main() returns. While it lives, a fatal signal (SIGSEGV,
// SIGBUS, SIGFPE, SIGILL, SIGABRT) in any thread writes a plain-text report
// into the crash directory, tells the operator, and ends the process with the
// signal's own status. See docs/crash-reports.md.
//
//     int main(int argc, char** argv) {
//         CCrashReport crashReport;
//         ...
//     }
//
// Worker threads call CCrashReport::PrepareThread() first thing, so that a
// stack overflow in them is reported too.

class CCrashReport {
public:
    // Installs the handlers (remembering the previous ones), builds the report
    // path from the executable's name and the start time, creates the crash
    // directory and gives the calling thread its alternate signal stack.
    // Only one reporter is active per process: a second object does nothing.
    CCrashReport();
    // Puts the previous handlers back.
    ~CCrashReport();
    CCrashReport(const CCrashReport&) = delete;
    CCrashReport& operator=(const CCrashReport&) = delete;

    // True for the object whose handlers are installed.
    bool IsInstalled() const { return m_bInstalled; }
    // Executable file name without its directory, e.g. "vantor"; "" when not installed.
    const char* ModuleName() const;
    // Where a crash will write its report; "" when not installed or when the
    // path does not fit.
    const char* ReportPath() const;

    // Gives the calling thread its own alternate signal stack, freed when the
    // thread ends. Without one, a thread that overflows its stack dies without
    // a report (every other fault is still reported). Cheap, idempotent, and
    // harmless without a reporter; keeps a stack someone else installed.
    // Returns false only when no alternate stack could be set up.
    static bool PrepareThread();

    // The support contact that ends the operator notice.
    static const char* SupportContact();

private:
    bool m_bInstalled = false;
};
