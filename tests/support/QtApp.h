#pragma once
// The window and dialog tests: one QApplication per test process, and a
// wait that keeps Qt's event loop running. Only for tests that link Qt.
#include <QApplication>
#include <QTest>
#include <functional>

#include "support/TestEnv.h"

namespace vantor::test {

inline QApplication& App() {
    static int argc = 1;
    static char name[] = "vantor_gui_tests";
    static char* argv[] = {name, nullptr};
    // Never destroyed: at exit Qt's own statics may already be gone.
    static auto* app = new QApplication(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    return *app;
}

// Polls cond while Qt handles its events, for up to the tests' patience.
inline bool WaitFor(const std::function<bool()>& cond) {
    return QTest::qWaitFor(cond, kPatienceMs);
}

}  // namespace vantor::test
