#pragma once

#include <QCoreApplication>

// Creates the Qt application object that delivers posted window messages, on the first call
// from the test's main thread, in a test program that has no widgets. It stays reachable until
// the process ends.
inline void EnsureCoreApplication()
{
    if (QCoreApplication::instance() != nullptr) {
        return;
    }
    static int argc = 1;
    static char name[] = "sorvane-tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    (void)app;
}
