#include "app/MprisService.h"

#include "app/MprisInterfaceXml.h"
#include "base/Prompts.h"
#include "base/QtText.h"
#include "engine/PlayEngine.h"
#include "media/Mci.h"
#include "queue/SorvaneDoc.h"
#include "res/Resource.h"
#include "settings/PlayerSettings.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>
#include <QUrl>

#include <deque>
#include <mutex>

namespace {

constexpr const char* kRootInterface = "org.mpris.MediaPlayer2";
constexpr const char* kPlayerInterface = "org.mpris.MediaPlayer2.Player";
constexpr const char* kPropertiesInterface = "org.freedesktop.DBus.Properties";
constexpr const char* kIntrospectableInterface = "org.freedesktop.DBus.Introspectable";
constexpr const char* kNoTrack = "/org/mpris/MediaPlayer2/TrackList/NoTrack";
constexpr qlonglong kMicrosPerSecond = 1000000;

// Whether the environment names a session bus: its address, or the bus socket in the user's
// runtime directory. Without one Qt's bus thread is not even started.
bool SessionBusNamed()
{
    if (qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS")) {
        return true;
    }
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo(runtime + QStringLiteral("/bus")).exists();
}

QDBusMessage Error(const QDBusMessage& message, const char* name, const QString& text)
{
    return message.createErrorReply(ToQString(name), text);
}

} // namespace

// The object on the bus. Qt may call it on its bus thread, so it only queues each call for
// the user-interface thread, which answers them in slices of kCallSliceMs: a flood of calls
// never holds up painting and input for longer. Calls still queued when the object goes are
// dropped with it.
class CMprisService::CBusObject : public QDBusVirtualObject
{
public:
    explicit CBusObject(CMprisService& service)
        : m_service(service)
    {}

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection&) override
    {
        bool bStart = false;
        {
            const std::lock_guard lock(m_lock);
            m_pending.push_back(message);
            bStart = !m_bAnswering;
            m_bAnswering = true;
        }
        if (bStart) {
            QMetaObject::invokeMethod(
                this, [this] { AnswerSlice(); }, Qt::QueuedConnection);
        }
        return true;
    }

private:
    // Answers queued calls for one slice; what is left waits behind the events and timers
    // that came meanwhile (a zero timer runs after them).
    void AnswerSlice()
    {
        QElapsedTimer slice;
        slice.start();
        for (;;) {
            QDBusMessage message;
            {
                const std::lock_guard lock(m_lock);
                if (m_pending.empty()) {
                    m_bAnswering = false;
                    return;
                }
                message = std::move(m_pending.front());
                m_pending.pop_front();
            }
            m_service.Handle(message);
            if (slice.elapsed() >= kCallSliceMs) {
                QTimer::singleShot(0, this, [this] { AnswerSlice(); });
                return;
            }
        }
    }

    CMprisService& m_service;
    std::mutex m_lock;
    std::deque<QDBusMessage> m_pending; // guarded by m_lock
    bool m_bAnswering = false;          // guarded by m_lock: a slice is queued or running
};

CMprisService::CMprisService(CSorvaneDoc& doc, CPlayerSettings& settings, QWidget* pMainWnd,
                             std::function<bool(int)> route)
    : m_doc(doc)
    , m_settings(settings)
    , m_pMainWnd(pMainWnd)
    , m_route(std::move(route))
{}

CMprisService::~CMprisService()
{
    if (m_bRegistered) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterService(ToQString(kServiceName));
        bus.unregisterObject(ToQString(kObjectPath));
        m_doc.RemoveView(this);
    }
}

bool CMprisService::Register()
{
    if (m_bRegistered || !SessionBusNamed()) {
        return false;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return false;
    }
    m_pObject = std::make_unique<CBusObject>(*this);
    if (!bus.registerVirtualObject(ToQString(kObjectPath), m_pObject.get())) {
        m_pObject.reset();
        return false;
    }
    if (!bus.registerService(ToQString(kServiceName))) {
        bus.unregisterObject(ToQString(kObjectPath));
        m_pObject.reset();
        return false;
    }
    m_bRegistered = true;
    m_sent = PlayerProperties();
    m_doc.AddView(this);
    return true;
}

void CMprisService::OnUpdate(CView*, int)
{
    const QVariantMap now = PlayerProperties();
    QVariantMap changed;
    for (auto it = now.cbegin(); it != now.cend(); ++it) {
        if (it.key() != QStringLiteral("Position") && m_sent.value(it.key()) != it.value()) {
            changed.insert(it.key(), it.value());
        }
    }
    m_sent = now;
    SendChanged(changed);
}

void CMprisService::SendChanged(const QVariantMap& changed)
{
    if (changed.isEmpty() || !m_bRegistered) {
        return;
    }
    QDBusMessage signal =
        QDBusMessage::createSignal(ToQString(kObjectPath), ToQString(kPropertiesInterface),
                                   QStringLiteral("PropertiesChanged"));
    signal << ToQString(kPlayerInterface) << changed << QStringList();
    QDBusConnection::sessionBus().send(signal);
}

QString CMprisService::PlaybackStatus() const
{
    if (m_doc.IsOpen() == 0) {
        return QStringLiteral("Stopped");
    }
    if (m_doc.GetMode() == static_cast<int>(MCI_MODE_PLAY)) {
        return QStringLiteral("Playing");
    }
    // The stop button stops and goes back to the start, and the queue's end stands at the
    // end; the pause button stops anywhere between.
    const qlonglong position = PositionMicroseconds();
    return position > 0 && position < LengthMicroseconds() ? QStringLiteral("Paused")
                                                           : QStringLiteral("Stopped");
}

QString CMprisService::TrackId() const
{
    if (m_doc.IsOpen() == 0) {
        return ToQString(kNoTrack);
    }
    return QStringLiteral("/org/mpris/MediaPlayer2/track/%1")
        .arg(std::max(0, m_doc.GetQueue().GetCurrent()));
}

qlonglong CMprisService::PositionMicroseconds() const
{
    PlayPosition pos{};
    if (m_doc.GetPosition(&pos) == 0) {
        return 0;
    }
    switch (m_doc.GetKind()) {
    case DEVICE_MIDI:
    case DEVICE_WAVE:
        return qlonglong{pos.nMilliseconds} * 1000;
    case DEVICE_CDAUDIO:
        return (qlonglong{pos.nMinutes} * 60 + pos.nSeconds) * kMicrosPerSecond +
               qlonglong{pos.nFrames} * kMicrosPerSecond / qlonglong{kCdFramesPerSecond};
    default:
        return (qlonglong{pos.nMinutes} * 60 + pos.nSeconds) * kMicrosPerSecond;
    }
}

qlonglong CMprisService::LengthMicroseconds() const
{
    PlayPosition pos{};
    if (m_doc.GetPosition(&pos) == 0) {
        return 0;
    }
    return qlonglong{m_doc.GetLengthSeconds(pos.nTrack)} * kMicrosPerSecond;
}

QVariantMap CMprisService::Metadata() const
{
    QVariantMap metadata;
    metadata.insert(QStringLiteral("mpris:trackid"),
                    QVariant::fromValue(QDBusObjectPath(TrackId())));
    if (m_doc.IsOpen() == 0) {
        return metadata;
    }
    metadata.insert(QStringLiteral("xesam:title"), ToQString(m_doc.GetTitle()));
    metadata.insert(QStringLiteral("mpris:length"), LengthMicroseconds());
    if (m_doc.GetKind() == DEVICE_CDAUDIO) {
        PlayPosition pos{};
        m_doc.GetPosition(&pos);
        metadata.insert(QStringLiteral("xesam:trackNumber"), int{pos.nTrack});
    } else {
        const CPlayQueue& queue = m_doc.GetQueue();
        const std::string entry = queue.GetAt(queue.GetCurrent());
        if (!entry.empty() && entry.front() != '\\') {
            metadata.insert(QStringLiteral("xesam:url"),
                            QUrl::fromLocalFile(ToQString(entry)).toString());
        }
    }
    return metadata;
}

QVariantMap CMprisService::PlayerProperties() const
{
    const bool bOpen = m_doc.IsOpen() != 0;
    const bool bPlaying = bOpen && m_doc.GetMode() == static_cast<int>(MCI_MODE_PLAY);
    const bool bQueued = m_doc.GetQueue().GetCount() > 0;
    return {
        {QStringLiteral("PlaybackStatus"), PlaybackStatus()},
        {QStringLiteral("LoopStatus"),
         m_settings.Get(SK_REPEAT) != 0 ? QStringLiteral("Playlist") : QStringLiteral("None")},
        {QStringLiteral("Rate"), 1.0},
        {QStringLiteral("Shuffle"), false},
        {QStringLiteral("Metadata"), Metadata()},
        {QStringLiteral("Volume"), 1.0},
        {QStringLiteral("Position"), PositionMicroseconds()},
        {QStringLiteral("MinimumRate"), 1.0},
        {QStringLiteral("MaximumRate"), 1.0},
        {QStringLiteral("CanGoNext"), bOpen && bQueued},
        {QStringLiteral("CanGoPrevious"), bOpen && bQueued},
        {QStringLiteral("CanPlay"), bOpen && !bPlaying},
        {QStringLiteral("CanPause"), bPlaying},
        {QStringLiteral("CanSeek"), bOpen && LengthMicroseconds() > 0},
        {QStringLiteral("CanControl"), true},
    };
}

QVariantMap CMprisService::RootProperties() const
{
    return {
        {QStringLiteral("CanQuit"), true},
        {QStringLiteral("CanRaise"), true},
        {QStringLiteral("HasTrackList"), false},
        {QStringLiteral("Identity"), ToQString(kAppTitle)},
        {QStringLiteral("DesktopEntry"), QStringLiteral("sorvane")},
        {QStringLiteral("SupportedUriSchemes"), QStringList{QStringLiteral("file")}},
        {QStringLiteral("SupportedMimeTypes"),
         QStringList{QStringLiteral("audio/mpeg"), QStringLiteral("audio/x-wav"),
                     QStringLiteral("audio/midi"), QStringLiteral("audio/x-mpegurl")}},
    };
}

void CMprisService::SeekToMicroseconds(qlonglong position)
{
    const qlonglong length = LengthMicroseconds();
    if (length <= 0) {
        return;
    }
    const auto percent =
        static_cast<int>(std::clamp(position, qlonglong{0}, length) * 100 / length);
    m_doc.SeekTo(percent);
    QDBusMessage seeked = QDBusMessage::createSignal(
        ToQString(kObjectPath), ToQString(kPlayerInterface), QStringLiteral("Seeked"));
    seeked << PositionMicroseconds();
    QDBusConnection::sessionBus().send(seeked);
}

bool CMprisService::CallPlayer(const QDBusMessage& message, QDBusMessage& reply)
{
    const QString member = message.member();
    const QList<QVariant> args = message.arguments();
    const QVariantMap now = PlayerProperties();
    const bool bPlaying = PlaybackStatus() == QStringLiteral("Playing");
    if (member == QStringLiteral("Play") || member == QStringLiteral("Pause") ||
        member == QStringLiteral("PlayPause")) {
        const bool bWantPlay = member == QStringLiteral("Play") ||
                               (member == QStringLiteral("PlayPause") && !bPlaying);
        if (bWantPlay && now.value(QStringLiteral("CanPlay")).toBool()) {
            m_route(IDC_BTN_PLAY);
        } else if (!bWantPlay && bPlaying) {
            m_route(IDC_BTN_PAUSE);
        }
    } else if (member == QStringLiteral("Stop")) {
        if (m_doc.IsOpen() != 0) {
            m_route(IDC_BTN_STOP);
        }
    } else if (member == QStringLiteral("Next") || member == QStringLiteral("Previous")) {
        if (now.value(QStringLiteral("CanGoNext")).toBool()) {
            m_route(member == QStringLiteral("Next") ? IDC_BTN_NEXT : IDC_BTN_PREV);
        }
    } else if (member == QStringLiteral("Seek") && args.size() == 1) {
        const qlonglong target = PositionMicroseconds() + args[0].toLongLong();
        if (target > LengthMicroseconds() && now.value(QStringLiteral("CanGoNext")).toBool()) {
            m_route(IDC_BTN_NEXT);
        } else {
            SeekToMicroseconds(target);
        }
    } else if (member == QStringLiteral("SetPosition") && args.size() == 2) {
        const QString track = args[0].value<QDBusObjectPath>().path();
        const qlonglong position = args[1].toLongLong();
        if (track == TrackId() && position >= 0 && position <= LengthMicroseconds()) {
            SeekToMicroseconds(position);
        }
    } else if (member == QStringLiteral("OpenUri") && args.size() == 1) {
        const QUrl url(args[0].toString());
        if (!url.isLocalFile()) {
            reply = Error(message, "org.freedesktop.DBus.Error.InvalidArgs",
                          QStringLiteral("Only file: URIs can be opened"));
            return true;
        }
        m_doc.OpenFiles({FromQString(url.toLocalFile())});
    } else {
        return false;
    }
    reply = message.createReply();
    return true;
}

void CMprisService::Handle(const QDBusMessage& message)
{
    const QString iface = message.interface();
    const QString member = message.member();
    const QList<QVariant> args = message.arguments();
    QDBusMessage reply;
    if (iface == ToQString(kIntrospectableInterface) && member == QStringLiteral("Introspect")) {
        reply = message.createReply(ToQString(kMprisInterfaceXml));
    } else if (iface == ToQString(kPropertiesInterface)) {
        const QString target = args.value(0).toString();
        const QVariantMap props = target == ToQString(kRootInterface)     ? RootProperties()
                                  : target == ToQString(kPlayerInterface) ? PlayerProperties()
                                                                          : QVariantMap();
        const QString name = args.value(1).toString();
        if (member == QStringLiteral("GetAll") && args.size() == 1) {
            reply = message.createReply(props);
        } else if (member == QStringLiteral("Get") && args.size() == 2 && props.contains(name)) {
            reply = message.createReply(QVariant::fromValue(QDBusVariant(props.value(name))));
        } else if (member == QStringLiteral("Set") && args.size() == 3 &&
                   target == ToQString(kPlayerInterface) && name == QStringLiteral("LoopStatus")) {
            const QString value = args[2].value<QDBusVariant>().variant().toString();
            m_settings.Set(SK_REPEAT, value == QStringLiteral("None") ? 0 : 1);
            reply = message.createReply();
            OnUpdate(nullptr, HINT_STATE_CHANGED);
        } else {
            reply = Error(message, "org.freedesktop.DBus.Error.InvalidArgs",
                          QStringLiteral("No such property"));
        }
    } else if ((iface.isEmpty() || iface == ToQString(kRootInterface)) &&
               (member == QStringLiteral("Raise") || member == QStringLiteral("Quit"))) {
        if (member == QStringLiteral("Quit")) {
            m_route(ID_APP_EXIT);
        } else if (m_pMainWnd != nullptr) {
            m_pMainWnd->showNormal();
            m_pMainWnd->raise();
            m_pMainWnd->activateWindow();
        }
        reply = message.createReply();
    } else if (iface.isEmpty() || iface == ToQString(kPlayerInterface)) {
        if (!CallPlayer(message, reply)) {
            reply = Error(message, "org.freedesktop.DBus.Error.UnknownMethod",
                          QStringLiteral("No such method: %1").arg(member));
        }
    } else {
        reply = Error(message, "org.freedesktop.DBus.Error.UnknownMethod",
                      QStringLiteral("No such interface: %1").arg(iface));
    }
    if (message.isReplyRequired() && m_bRegistered) {
        QDBusConnection::sessionBus().send(reply);
    }
}
