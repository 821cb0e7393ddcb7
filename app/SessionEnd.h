#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

// Lets the program end the normal way when it is asked to from outside: SIGTERM, SIGINT and
// SIGHUP end the message loop (so the exit steps after it run and the settings are written),
// and a desktop session that is about to end has onCommit called first, since the session
// may end the process without another word. One per process, while the message loop runs;
// the signals' earlier handlers come back when it goes. User-interface thread only.
class CSessionEnd : public QObject
{
public:
    explicit CSessionEnd(std::function<void()> onCommit);
    ~CSessionEnd() override;
    CSessionEnd(const CSessionEnd&) = delete;
    CSessionEnd& operator=(const CSessionEnd&) = delete;

private:
    std::function<void()> m_onCommit;
    QSocketNotifier* m_pNotifier = nullptr;
};
