#include "app/SessionEnd.h"

#include "base/Prompts.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr std::array kEndSignals = {SIGTERM, SIGINT, SIGHUP};

// A signal handler may only write to a pipe; the message loop reads the other end.
int g_pipe[2] = {-1, -1};
std::array<struct sigaction, kEndSignals.size()> g_previous{};

extern "C" void OnEndSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

} // namespace

CSessionEnd::CSessionEnd(std::function<void()> onCommit)
    : m_onCommit(std::move(onCommit))
{
    if (g_pipe[0] < 0 && ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_pNotifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_pNotifier, &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        while (::read(g_pipe[0], bytes, sizeof bytes) > 0) {
        }
        EndNow();
    });
    struct sigaction action
    {};
    action.sa_handler = OnEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kEndSignals.size(); ++i)
        ::sigaction(kEndSignals[i], &action, &g_previous[i]);
#if QT_CONFIG(sessionmanager)
    if (auto* pGui = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(
            pGui, &QGuiApplication::commitDataRequest, this,
            [this](QSessionManager&) {
                if (m_onCommit)
                    m_onCommit();
            });
    }
#endif
}

void CSessionEnd::EndNow()
{
    // The settings go first: whatever follows, the session may not wait for it.
    if (m_onCommit)
        m_onCommit();
    Prompts().EndPrompts();
    for (QWidget* pWidget : QApplication::topLevelWidgets())
        if (auto* pDialog = qobject_cast<QDialog*>(pWidget);
            pDialog != nullptr && pDialog->isVisible())
            pDialog->done(QDialog::Rejected);
    // Every loop ends, the nested loops of dialogs too, and none starts again (quit() would
    // first ask each window to close, which a window under a modal dialog may refuse). A
    // signal during start-up, before the main loop runs, ends that loop as soon as it starts.
    QCoreApplication::exit(0);
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
}

CSessionEnd::~CSessionEnd()
{
    if (m_pNotifier == nullptr)
        return;
    for (std::size_t i = 0; i < kEndSignals.size(); ++i)
        ::sigaction(kEndSignals[i], &g_previous[i], nullptr);
}
