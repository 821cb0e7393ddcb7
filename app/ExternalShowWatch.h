#pragma once

#include <QAbstractNativeEventFilter>
#include <QPointer>

class QWidget;

// On X11 another program may map the player's hidden main window (a second copy showing the
// first). The window then is on the screen although Qt still takes it for hidden; this
// watch notices the map and shows the window through Qt as well, so that its visibility
// state is true again. It watches while it exists (installed on construction).
// User-interface thread only.
class CExternalShowWatch : public QAbstractNativeEventFilter
{
public:
    explicit CExternalShowWatch(QWidget* pWindow);
    ~CExternalShowWatch() override;
    CExternalShowWatch(const CExternalShowWatch&) = delete;
    CExternalShowWatch& operator=(const CExternalShowWatch&) = delete;

    bool nativeEventFilter(const QByteArray& eventType, void* pMessage, qintptr* pResult) override;

private:
    QPointer<QWidget> m_pWindow;
};
