#include "app/ExternalShowWatch.h"

#include <QCoreApplication>
#include <QWidget>

#include <xcb/xcb.h>

CExternalShowWatch::CExternalShowWatch(QWidget* pWindow)
    : m_pWindow(pWindow)
{
    QCoreApplication::instance()->installNativeEventFilter(this);
}

CExternalShowWatch::~CExternalShowWatch()
{
    if (QCoreApplication::instance() != nullptr)
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool CExternalShowWatch::nativeEventFilter(const QByteArray& eventType, void* pMessage, qintptr*)
{
    if (eventType != "xcb_generic_event_t" || pMessage == nullptr || m_pWindow == nullptr)
        return false;
    const auto* pEvent = static_cast<const xcb_generic_event_t*>(pMessage);
    if ((pEvent->response_type & ~0x80) != XCB_MAP_NOTIFY)
        return false;
    const auto* pMap = reinterpret_cast<const xcb_map_notify_event_t*>(pEvent);
    const WId window = m_pWindow->internalWinId();
    if (window == 0 || pMap->window != window || m_pWindow->isVisible())
        return false;
    QPointer<QWidget> pTarget = m_pWindow;
    QMetaObject::invokeMethod(
        pTarget,
        [pTarget] {
            if (pTarget != nullptr && !pTarget->isVisible())
                pTarget->showNormal();
        },
        Qt::QueuedConnection);
    return false;
}
