#pragma once

#include "tests/app/AppTest.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QProcess>
#include <QString>

#include <memory>

// A private session bus (dbus-daemon) for one test, and the test's own connection to it;
// both end with the object.
class CTestSessionBus
{
public:
    CTestSessionBus() = default;
    CTestSessionBus(const CTestSessionBus&) = delete;
    CTestSessionBus& operator=(const CTestSessionBus&) = delete;

    ~CTestSessionBus()
    {
        m_pConnection.reset();
        if (!m_strName.isEmpty())
            QDBusConnection::disconnectFromBus(m_strName);
        if (m_daemon.state() != QProcess::NotRunning) {
            m_daemon.kill();
            m_daemon.waitForFinished(10000);
        }
    }

    // Starts the daemon and connects to it; false when either failed.
    bool Start()
    {
        EndWithParent(m_daemon);
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--session"), QStringLiteral("--nofork"),
                        QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")});
        if (!m_daemon.waitForStarted(10000))
            return false;
        while (!m_daemon.canReadLine() && m_daemon.waitForReadyRead(10000)) {
        }
        m_strAddress = QString::fromUtf8(m_daemon.readLine()).trimmed();
        if (m_strAddress.isEmpty())
            return false;
        static int s_nConnections = 0;
        m_strName = QStringLiteral("test-bus-%1").arg(++s_nConnections);
        m_pConnection = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(m_strAddress, m_strName));
        return m_pConnection->isConnected();
    }

    // Whether name is taken on the bus while process runs, within half a minute.
    bool WaitForName(const QString& name, QProcess& process) const
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 30000 && process.state() != QProcess::NotRunning) {
            if (m_pConnection->interface()->isServiceRegistered(name).value())
                return true;
            process.waitForFinished(20);
        }
        return false;
    }

    // For the programs that the test starts: DBUS_SESSION_BUS_ADDRESS.
    const QString& Address() const { return m_strAddress; }
    QDBusConnection& Connection() const { return *m_pConnection; }

private:
    QProcess m_daemon;
    QString m_strAddress;
    QString m_strName;
    std::unique_ptr<QDBusConnection> m_pConnection;
};
