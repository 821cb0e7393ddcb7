#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

// Lets the program end the normal way when it is asked to from outside: SIGTERM, SIGINT and
// SIGHUP call onCommit (the settings are written at once), end the prompts, close every open
// dialog and end every message loop, nested ones too, so that the exit steps after the main
// loop run even when a message box was open or more were to follow; a desktop session that is
// about to end has onCommit called first, since the session may end the process without
// another word. One per process, while the message loop runs;
// the signals' earlier handlers come back when it goes. User-interface thread only.
class CSessionEnd : public QObject
{
public:
    explicit CSessionEnd(std::function<void()> onCommit);
    ~CSessionEnd() override;
    CSessionEnd(const CSessionEnd&) = delete;
    CSessionEnd& operator=(const CSessionEnd&) = delete;

private:
    // What a termination signal does, on the user-interface thread.
    void EndNow();

    std::function<void()> m_onCommit;
    QSocketNotifier* m_pNotifier = nullptr;
};
