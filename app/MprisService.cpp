#include "app/MprisService.h"

#include "app/MprisInterfaceXml.h"
#include "audio/SoundOutput.h"
#include "base/Prompts.h"
#include "base/QtText.h"
#include "engine/MediaFormats.h"
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

#include <algorithm>
#include <deque>
#include <limits>
#include <mutex>

namespace {

constexpr const char* kRootInterface = "org.mpris.MediaPlayer2";
constexpr const char* kPlayerInterface = "org.mpris.MediaPlayer2.Player";
constexpr const char* kPropertiesInterface = "org.freedesktop.DBus.Properties";
constexpr const char* kIntrospectableInterface = "org.freedesktop.DBus.Introspectable";
constexpr const char* kNoTrack = "/org/mpris/MediaPlayer2/TrackList/NoTrack";

// Whether the environment names a session bus: its address, or the bus socket in the user's
// runtime directory. Without one Qt's bus thread is not even started.
bool SessionBusNamed()
{
    if (qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo(runtime + QStringLiteral("/bus")).exists();
}

QDBusMessage Error(const QDBusMessage& message, const char* name, const QString& text)
{
    return message.createErrorReply(ToQString(name), text);
}

// Every type the player plays, from the one table of formats, and the playlists' types.
QStringList SupportedMimeTypes()
{
    QStringList types;
    for (const std::string& type : MediaFormatMimeTypes())
        types.append(ToQString(type));
    types << QStringLiteral("audio/x-mpegurl") << QStringLiteral("audio/mpegurl");
    return types;
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
            // After a call that posted its action the next one waits behind that action, so
            // that it finds the action done, as a caller that waited for the reply expects.
            if (m_service.Handle(message)) {
                QMetaObject::invokeMethod(
                    this, [this] { AnswerSlice(); }, Qt::QueuedConnection);
                return;
            }
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
    if (m_bRegistered || !SessionBusNamed())
        return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
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
    for (auto it = now.cbegin(); it != now.cend(); ++it)
        if (it.key() != QStringLiteral("Position") && m_sent.value(it.key()) != it.value())
            changed.insert(it.key(), it.value());
    m_sent = now;
    SendChanged(changed);
}

void CMprisService::SendChanged(const QVariantMap& changed)
{
    if (changed.isEmpty() || !m_bRegistered)
        return;
    QDBusMessage signal =
        QDBusMessage::createSignal(ToQString(kObjectPath), ToQString(kPropertiesInterface),
                                   QStringLiteral("PropertiesChanged"));
    signal << ToQString(kPlayerInterface) << changed << QStringList();
    QDBusConnection::sessionBus().send(signal);
}

namespace {

QString StatusName(PlaybackState state)
{
    switch (state) {
    case PlaybackState::Playing:
        return QStringLiteral("Playing");
    case PlaybackState::Paused:
        return QStringLiteral("Paused");
    default:
        return QStringLiteral("Stopped");
    }
}

} // namespace

QString CMprisService::TrackId(const PlaybackSnapshot& snap)
{
    if (!snap.bOpen)
        return ToQString(kNoTrack);
    return QStringLiteral("/org/mpris/MediaPlayer2/track/%1").arg(std::max(0, snap.nQueueIndex));
}

QVariantMap CMprisService::Metadata(const PlaybackSnapshot& snap) const
{
    QVariantMap metadata;
    metadata.insert(QStringLiteral("mpris:trackid"),
                    QVariant::fromValue(QDBusObjectPath(TrackId(snap))));
    if (!snap.bOpen)
        return metadata;
    metadata.insert(QStringLiteral("xesam:title"), ToQString(m_doc.GetTitle()));
    metadata.insert(QStringLiteral("mpris:length"), qlonglong{snap.nLengthMs} * 1000);
    if (snap.nKind == DEVICE_CDAUDIO) {
        metadata.insert(QStringLiteral("xesam:trackNumber"), snap.nTrack);
    } else {
        // The entry whose medium sounds, which the queue's index no longer names once it was
        // deleted or moved; a sheet's track is its file's span: the file's tags, then what the
        // sheet says.
        const CueTrack* track = m_doc.GetCueTrack();
        const std::string entry = track != nullptr ? track->strFile : m_doc.GetPlayingEntry();
        if (!entry.empty() && entry.front() != '\\') {
            metadata.insert(QStringLiteral("xesam:url"),
                            QString::fromLatin1(QUrl::fromLocalFile(ToQString(entry)).toEncoded()));
            // What the file's tags say; the title stays the file name when they have none.
            std::string cover;
            MediaTags tags = m_tags.Get(entry, &cover);
            if (track != nullptr) {
                tags.strTitle = CueTrackName(*track);
                tags.strArtist = track->strPerformer.empty() ? tags.strArtist : track->strPerformer;
                tags.strAlbum = track->strAlbum.empty() ? tags.strAlbum : track->strAlbum;
                tags.nTrack = track->nNumber;
            }
            if (!tags.strTitle.empty()) {
                metadata.insert(QStringLiteral("xesam:title"),
                                QString::fromStdString(tags.strTitle));
            }
            if (!tags.strArtist.empty()) {
                metadata.insert(QStringLiteral("xesam:artist"),
                                QStringList{QString::fromStdString(tags.strArtist)});
            }
            if (!tags.strAlbum.empty()) {
                metadata.insert(QStringLiteral("xesam:album"),
                                QString::fromStdString(tags.strAlbum));
            }
            if (tags.nTrack > 0)
                metadata.insert(QStringLiteral("xesam:trackNumber"), tags.nTrack);
            if (!cover.empty()) {
                metadata.insert(
                    QStringLiteral("mpris:artUrl"),
                    QString::fromLatin1(QUrl::fromLocalFile(ToQString(cover)).toEncoded()));
            }
        }
    }
    return metadata;
}

QVariantMap CMprisService::PlayerProperties() const
{
    const PlaybackSnapshot snap = m_doc.GetPlayback();
    const bool bPlaying = snap.nState == PlaybackState::Playing;
    const int repeat = m_settings.Get(SK_REPEAT);
    return {
        {QStringLiteral("PlaybackStatus"), StatusName(snap.nState)},
        {QStringLiteral("LoopStatus"),
         repeat != 0 ? QStringLiteral("Playlist") : QStringLiteral("None")},
        {QStringLiteral("Rate"), 1.0},
        {QStringLiteral("Shuffle"), m_settings.Get(SK_SHUFFLE) != 0},
        {QStringLiteral("Metadata"), Metadata(snap)},
        {QStringLiteral("Volume"), AudioOutputVolume()},
        {QStringLiteral("Position"), qlonglong{snap.nPositionMs} * 1000},
        {QStringLiteral("MinimumRate"), 1.0},
        {QStringLiteral("MaximumRate"), 1.0},
        {QStringLiteral("CanGoNext"), snap.bOpen && snap.bCanGoNext},
        {QStringLiteral("CanGoPrevious"), snap.bOpen && snap.bCanGoPrevious},
        // Play is offered as the button offers it, and while a track sounds, as the bus asks; a
        // queue with nothing open starts its current entry.
        {QStringLiteral("CanPlay"),
         snap.bOpen ? snap.bCanPlay || bPlaying : m_doc.GetQueue().GetCount() > 0},
        {QStringLiteral("CanPause"), snap.bOpen && snap.bCanPause},
        {QStringLiteral("CanSeek"), snap.bOpen && snap.bCanSeek},
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
        {QStringLiteral("SupportedMimeTypes"), SupportedMimeTypes()},
    };
}

void CMprisService::SeekToMicroseconds(qlonglong position)
{
    const PlaybackSnapshot before = m_doc.GetPlayback();
    if (!before.bOpen || !before.bCanSeek)
        return;
    m_doc.SeekToMilliseconds(
        std::clamp(position, qlonglong{0}, qlonglong{before.nLengthMs} * 1000) / 1000);
    QDBusMessage seeked = QDBusMessage::createSignal(
        ToQString(kObjectPath), ToQString(kPlayerInterface), QStringLiteral("Seeked"));
    seeked << qlonglong{m_doc.GetPlayback().nPositionMs} * 1000;
    QDBusConnection::sessionBus().send(seeked);
}

bool CMprisService::CallPlayer(const QDBusMessage& message, QDBusMessage& reply,
                               std::function<void()>& action)
{
    const QString member = message.member();
    const QList<QVariant> args = message.arguments();
    const PlaybackSnapshot snap = m_doc.GetPlayback();
    const bool bPlaying = snap.nState == PlaybackState::Playing;
    const auto command = [this](int nId) { return [this, nId] { m_route(nId); }; };
    if (member == QStringLiteral("Play") || member == QStringLiteral("Pause") ||
        member == QStringLiteral("PlayPause")) {
        const bool bWantPlay = member == QStringLiteral("Play") ||
                               (member == QStringLiteral("PlayPause") && !bPlaying);
        // A queue with nothing open starts its current entry.
        const bool bCanStart =
            snap.bOpen ? snap.bCanPlay : m_doc.GetQueue().GetCount() > 0 && bWantPlay;
        if (bWantPlay && !bPlaying && bCanStart)
            action = command(IDC_BTN_PLAY);
        else if (!bWantPlay && bPlaying)
            action = command(IDC_BTN_PAUSE);
    } else if (member == QStringLiteral("Stop")) {
        if (snap.bOpen)
            action = command(IDC_BTN_STOP);
    } else if (member == QStringLiteral("Next")) {
        if (snap.bOpen && snap.bCanGoNext)
            action = command(IDC_BTN_NEXT);
    } else if (member == QStringLiteral("Previous")) {
        if (snap.bOpen && snap.bCanGoPrevious)
            action = command(IDC_BTN_PREV);
    } else if (member == QStringLiteral("Seek") && args.size() == 1) {
        // An offset near the ends of its range saturates rather than overflows.
        const qlonglong offset = args[0].toLongLong();
        qlonglong target = 0;
        if (__builtin_add_overflow(qlonglong{snap.nPositionMs} * 1000, offset, &target)) {
            target = offset > 0 ? std::numeric_limits<qlonglong>::max()
                                : std::numeric_limits<qlonglong>::min();
        }
        if (target > qlonglong{snap.nLengthMs} * 1000 && snap.bOpen && snap.bCanGoNext)
            action = command(IDC_BTN_NEXT);
        else
            action = [this, target] { SeekToMicroseconds(target); };
    } else if (member == QStringLiteral("SetPosition") && args.size() == 2) {
        const QString track = args[0].value<QDBusObjectPath>().path();
        const qlonglong position = args[1].toLongLong();
        if (track == TrackId(snap) && position >= 0 && position <= qlonglong{snap.nLengthMs} * 1000)
            action = [this, position] { SeekToMicroseconds(position); };
    } else if (member == QStringLiteral("OpenUri") && args.size() == 1) {
        const QUrl url(args[0].toString());
        if (!url.isLocalFile()) {
            reply = Error(message, "org.freedesktop.DBus.Error.InvalidArgs",
                          QStringLiteral("Only file: URIs can be opened"));
            return true;
        }
        const QString path = url.toLocalFile();
        if (!QFileInfo(path).isFile()) {
            // Refused before anything stops: what plays goes on.
            reply = Error(message, "org.freedesktop.DBus.Error.FileNotFound",
                          QStringLiteral("No such file: %1").arg(path));
            return true;
        }
        action = [this, file = FromQString(path)] { m_doc.OpenFiles({file}); };
    } else {
        return false;
    }
    reply = message.createReply();
    return true;
}

QDBusMessage CMprisService::SetPlayerProperty(const QDBusMessage& message, const QString& name,
                                              const QVariant& value)
{
    if (name == QStringLiteral("LoopStatus")) {
        const QString loop = value.toString();
        // A single track cannot be repeated: the queue repeats whole or not at all.
        if (loop != QStringLiteral("None") && loop != QStringLiteral("Playlist")) {
            return Error(message, "org.freedesktop.DBus.Error.NotSupported",
                         QStringLiteral("LoopStatus can be None or Playlist"));
        }
        m_settings.Set(SK_REPEAT, loop == QStringLiteral("None") ? 0 : 1);
        // After the last entry the first follows only with repeat: the prepared one changes.
        m_doc.RepeatSettingChanged();
    } else if (name == QStringLiteral("Volume")) {
        bool bNumber = false;
        const double volume = value.toDouble(&bNumber);
        if (!bNumber) {
            return Error(message, "org.freedesktop.DBus.Error.InvalidArgs",
                         QStringLiteral("Volume is a number"));
        }
        SetAudioOutputVolume(volume);
    } else if (name == QStringLiteral("Shuffle")) {
        m_settings.Set(SK_SHUFFLE, value.toBool() ? 1 : 0);
        // The document tells its views, this one included, which sends the change.
        m_doc.ShuffleSettingChanged();
        return message.createReply();
    } else if (name == QStringLiteral("Rate")) {
        if (value.toDouble() != 1.0) {
            return Error(message, "org.freedesktop.DBus.Error.NotSupported",
                         QStringLiteral("Only rate 1.0 is supported"));
        }
    } else {
        return Error(message, "org.freedesktop.DBus.Error.PropertyReadOnly",
                     QStringLiteral("Property %1 is read-only").arg(name));
    }
    OnUpdate(nullptr, HINT_STATE_CHANGED);
    return message.createReply();
}

bool CMprisService::Handle(const QDBusMessage& message)
{
    const QString iface = message.interface();
    const QString member = message.member();
    const QList<QVariant> args = message.arguments();
    QDBusMessage reply;
    std::function<void()> action;
    if (iface == ToQString(kIntrospectableInterface) && member == QStringLiteral("Introspect")) {
        reply = message.createReply(ToQString(kMprisInterfaceXml));
    } else if (iface == ToQString(kPropertiesInterface)) {
        const QString target = args.value(0).toString();
        const QString name = args.value(1).toString();
        // Panels ask for the position about once a second: it alone is read for them.
        const bool bPosition = member == QStringLiteral("Get") && args.size() == 2 &&
                               target == ToQString(kPlayerInterface) &&
                               name == QStringLiteral("Position");
        const QVariantMap props =
            bPosition ? QVariantMap{{name, qlonglong{m_doc.GetPlayback().nPositionMs} * 1000}}
            : target == ToQString(kRootInterface)   ? RootProperties()
            : target == ToQString(kPlayerInterface) ? PlayerProperties()
                                                    : QVariantMap();
        if (member == QStringLiteral("GetAll") && args.size() == 1) {
            reply = message.createReply(props);
        } else if (member == QStringLiteral("Get") && args.size() == 2 && props.contains(name)) {
            reply = message.createReply(QVariant::fromValue(QDBusVariant(props.value(name))));
        } else if (member == QStringLiteral("Set") && args.size() == 3 &&
                   target == ToQString(kPlayerInterface) && props.contains(name)) {
            reply = SetPlayerProperty(message, name, args[2].value<QDBusVariant>().variant());
        } else {
            reply = Error(message, "org.freedesktop.DBus.Error.InvalidArgs",
                          QStringLiteral("No such property"));
        }
    } else if ((iface.isEmpty() || iface == ToQString(kRootInterface)) &&
               (member == QStringLiteral("Raise") || member == QStringLiteral("Quit"))) {
        if (member == QStringLiteral("Quit")) {
            action = [this] { m_route(ID_APP_EXIT); };
        } else if (m_pMainWnd != nullptr) {
            m_pMainWnd->showNormal();
            m_pMainWnd->raise();
            m_pMainWnd->activateWindow();
        }
        reply = message.createReply();
    } else if (iface.isEmpty() || iface == ToQString(kPlayerInterface)) {
        if (!CallPlayer(message, reply, action)) {
            reply = Error(message, "org.freedesktop.DBus.Error.UnknownMethod",
                          QStringLiteral("No such method: %1").arg(member));
        }
    } else {
        reply = Error(message, "org.freedesktop.DBus.Error.UnknownMethod",
                      QStringLiteral("No such interface: %1").arg(iface));
    }
    if (message.isReplyRequired() && m_bRegistered)
        QDBusConnection::sessionBus().send(reply);
    if (!action)
        return false;
    // The caller has its answer before the action, whose message boxes may wait for the user
    // while further calls are answered from their loop.
    QMetaObject::invokeMethod(m_pPostContext.get(), std::move(action), Qt::QueuedConnection);
    return true;
}
