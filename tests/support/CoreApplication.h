#pragma once

#include <QCoreApplication>

// Creates the test program's Qt application object, of type App (QCoreApplication to deliver
// posted window messages, QGuiApplication to draw, QApplication for widgets), on the first
// call from the test's main thread, unless one exists. It stays reachable until the process
// ends.
template<class App>
void EnsureApplication()
{
    if (QCoreApplication::instance() != nullptr)
        return;
    static int argc = 1;
    static char name[] = "sorvane-tests";
    static char* argv[] = {name, nullptr};
    static App* app = new App(argc, argv);
    (void)app;
}

inline void EnsureCoreApplication()
{
    EnsureApplication<QCoreApplication>();
}
