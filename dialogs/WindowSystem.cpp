#include "dialogs/WindowSystem.h"

#include <QGuiApplication>
#include <QSystemTrayIcon>

#include <optional>

namespace {

struct Answers
{
    bool bPlacesWindows;
    bool bHasTray;
};

std::optional<Answers> g_fixed;

} // namespace

bool CanPlaceWindows()
{
    if (g_fixed)
        return g_fixed->bPlacesWindows;
    // "wayland", "wayland-egl" and the like: the compositor alone places windows.
    return !QGuiApplication::platformName().startsWith(QStringLiteral("wayland"));
}

bool HasSystemTray()
{
    if (g_fixed)
        return g_fixed->bHasTray;
    return QSystemTrayIcon::isSystemTrayAvailable();
}

CWindowSystemForTest::CWindowSystemForTest(bool bPlacesWindows, bool bHasTray)
{
    if (g_fixed)
        m_nPrevious = 1 + (g_fixed->bPlacesWindows ? 1 : 0) + (g_fixed->bHasTray ? 2 : 0);
    g_fixed = Answers{bPlacesWindows, bHasTray};
}

CWindowSystemForTest::~CWindowSystemForTest()
{
    if (m_nPrevious == 0)
        g_fixed.reset();
    else
        g_fixed = Answers{((m_nPrevious - 1) & 1) != 0, ((m_nPrevious - 1) & 2) != 0};
}
