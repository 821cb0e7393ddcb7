#pragma once

#include "framework/Document.h"
#include "media/MediaTags.h"
#include "queue/PlaybackSnapshot.h"

#include <QPointer>
#include <QVariantMap>
#include <QWidget>

#include <functional>
#include <memory>

class CPlayerSettings;
class CSorvaneDoc;
class QDBusMessage;

// The player on the desktop's session bus as org.mpris.MediaPlayer2.sorvane, so that media
// keys, desktop panels and scripts can drive it: the root and player interfaces with their
// properties and PropertiesChanged, answered on the user-interface thread. Commands take
// the buttons' routes (the same checks, the same messages on failure). It watches the
// document as one of its views and sends changes only when the document tells of one, so
// it adds no timer. Without a session bus it does nothing. Every method answers at once:
// what it starts (commands, seeks, OpenUri), which may ask the user, runs after the reply,
// so calls are answered while a message box is open. State, times and
// what is allowed come from the document's playback snapshot. User-interface thread only; Qt's bus
// thread only queues calls for it (see kCallSliceMs).
class CMprisService : public CView
{
public:
    static constexpr const char* kServiceName = "org.mpris.MediaPlayer2.sorvane";
    static constexpr const char* kObjectPath = "/org/mpris/MediaPlayer2";
    // Calls are answered in slices of this long at most, with the user interface's own events
    // between them, so that a flood of calls does not freeze the window.
    static constexpr int kCallSliceMs = 20;

    // route runs a command id on the player's command route (view, document, application);
    // pMainWnd is the window Raise shows. The document must outlive the service.
    CMprisService(CSorvaneDoc& doc, CPlayerSettings& settings, QWidget* pMainWnd,
                  std::function<bool(int)> route);
    ~CMprisService() override;
    CMprisService(const CMprisService&) = delete;
    CMprisService& operator=(const CMprisService&) = delete;

    // Takes the name on the session bus. False when there is no bus or the name is taken.
    bool Register();

    // Sends PropertiesChanged for the player properties that changed since the last time.
    void OnUpdate(CView* pSender, int nHint) override;

    // Answers one call addressed to the player's object; user-interface thread. What the call
    // starts (a command, a seek, an open: anything that may show a message box) is posted to
    // run after the reply; true when such an action was posted.
    bool Handle(const QDBusMessage& message);

private:
    class CBusObject;

    QVariantMap PlayerProperties() const;
    QVariantMap RootProperties() const;
    QVariantMap Metadata(const PlaybackSnapshot& snap) const;
    static QString TrackId(const PlaybackSnapshot& snap);
    // Handles a player method; false when there is no such method.
    // What it starts is left in action, to run after the reply.
    bool CallPlayer(const QDBusMessage& message, QDBusMessage& reply,
                    std::function<void()>& action);
    // Sets a writable player property; the reply is an error for a value it refuses.
    QDBusMessage SetPlayerProperty(const QDBusMessage& message, const QString& name,
                                   const QVariant& value);
    void SeekToMicroseconds(qlonglong position);
    void SendChanged(const QVariantMap& changed);

    CSorvaneDoc& m_doc;
    CPlayerSettings& m_settings;
    QPointer<QWidget> m_pMainWnd;
    std::function<bool(int)> m_route;
    std::unique_ptr<CBusObject> m_pObject;
    // What the service posts to its own thread after a reply; a post still queued when the
    // service goes is dropped with it.
    std::unique_ptr<QObject> m_pPostContext = std::make_unique<QObject>();
    bool m_bRegistered = false;
    QVariantMap m_sent;
    mutable CMediaTagCache m_tags; // of the file playing, for Metadata
};
