#pragma once

#include "app/SorvaneApp.h"

#include "tests/support/ManualClock.h"
#include "tests/support/RecordingPrompts.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestEnvironment.h"
#include "tests/ui/UiTestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <sys/prctl.h>
#include <sys/stat.h>

#include <csignal>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#ifndef SORVANE_BIN_DIR
#define SORVANE_BIN_DIR "."
#endif

// A copy of the program in dir (with the shared sound output beside it), so that the
// settings it writes at exit land there. Returns its path; "" when it could not be copied.
inline std::string CopyProgram(const std::string& dir)
{
    const QString bin = QStringLiteral(SORVANE_BIN_DIR);
    const QString target = QString::fromStdString(dir);
    for (const char* name : {"sorvane", "libsorvane_audio.so"}) {
        const QString to = target + u'/' + QString::fromUtf8(name);
        QFile::remove(to);
        if (!QFile::copy(bin + u'/' + QString::fromUtf8(name), to))
            return {};
    }
    QFile::setPermissions(target + "/sorvane",
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return (target + "/sorvane").toStdString();
}

// The bus and the players a test starts end with the test process, also when a sanitizer
// stops it.
inline void EndWithParent(QProcess& process)
{
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

// Waits for process to end while this thread's event loop keeps running (the player in this
// process answers the other copy meanwhile). False when it did not end within timeoutMs.
inline bool WaitForEnd(QProcess& process, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (process.state() != QProcess::NotRunning) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        process.waitForFinished(10);
    }
    return true;
}

// The application object over the manual-clock output, its settings file, the framework's
// profile and the rendezvous all in a fresh directory, its messages recorded.
class AppTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        EnsureQtApplication();
        ASSERT_TRUE(m_clock.Ok());
        m_strRuntime = m_dir / "runtime";
        ::mkdir(m_strRuntime.c_str(), 0700);
        ::setenv("XDG_RUNTIME_DIR", m_strRuntime.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (m_dir / "config").c_str(), 1);
        m_app = std::make_unique<CSorvaneApp>();
        m_app->m_settings.UseFile(m_dir / "Sorvix.ini");
    }

    void TearDown() override
    {
        if (m_app != nullptr) {
            m_app->CloseAllDocuments();
            m_app->ExitInstance();
            m_app.reset();
        }
        UseTestEnvironment();
    }

    int Start(std::vector<std::string> args = {})
    {
        m_app->SetArguments(std::move(args));
        return m_app->InitInstance();
    }

    CTempDir m_dir;
    CManualClockOutput m_clock;
    CRecordingPrompts m_prompts;
    std::string m_strRuntime;
    std::unique_ptr<CSorvaneApp> m_app;
};
