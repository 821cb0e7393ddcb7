#include "tests/app/AppTest.h"
#include "tests/app/TestSessionBus.h"

#include "tests/support/AvWriter.h"
#include "tests/support/Mp3Writer.h"
#include "tests/support/TestMedia.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QStandardPaths>
#include <QThread>
#include <QUrl>

#include <sys/prctl.h>

#include <csignal>

#ifndef SORVANE_BUILD_DIR
#define SORVANE_BUILD_DIR "."
#endif
#ifndef SORVANE_CMAKE_COMMAND
#define SORVANE_CMAKE_COMMAND "cmake"
#endif

// Records the player's PropertiesChanged signals as a real D-Bus client receives them.
class CChangeRecorder : public QObject
{
    Q_OBJECT
public:
    QList<QVariantMap> m_changes;

public slots:
    void OnChanged(const QString&, const QVariantMap& changed, const QStringList&)
    {
        m_changes.append(changed);
    }
};

namespace {

const QString kService = QStringLiteral("org.mpris.MediaPlayer2.sorvane");
const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");

// The program installed once into a temporary prefix with cmake --install; each test runs it
// on a private session bus of its own, with its own XDG folders.
class InstalledPlayer : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        EnsureQtApplication();
        s_pPrefix = new CTempDir;
        QProcess install;
        install.start(QStringLiteral(SORVANE_CMAKE_COMMAND),
                      {QStringLiteral("--install"), QStringLiteral(SORVANE_BUILD_DIR),
                       QStringLiteral("--prefix"), QString::fromStdString(s_pPrefix->Path())});
        s_bInstalled = install.waitForFinished(120000) && install.exitCode() == 0;
    }

    static void TearDownTestSuite()
    {
        delete s_pPrefix;
        s_pPrefix = nullptr;
    }

    void SetUp() override
    {
        ASSERT_TRUE(s_bInstalled) << "cmake --install failed";
        ::mkdir((m_dir / "runtime").c_str(), 0700);
        ASSERT_TRUE(m_bus.Start()) << "no dbus-daemon";
    }

    void TearDown() override
    {
        if (m_player.state() != QProcess::NotRunning) {
            m_player.kill();
            m_player.waitForFinished(10000);
        }
    }

    static std::string Installed(const std::string& name) { return s_pPrefix->Path() + "/" + name; }

    QProcessEnvironment Environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("SDL_AUDIODRIVER", "dummy");
        env.insert("XDG_RUNTIME_DIR", QString::fromStdString(m_dir / "runtime"));
        env.insert("XDG_CONFIG_HOME", QString::fromStdString(m_dir / "config"));
        env.insert("XDG_CACHE_HOME", QString::fromStdString(m_dir / "cache"));
        env.insert("DBUS_SESSION_BUS_ADDRESS", m_bus.Address());
        return env;
    }

    // Starts the installed program with args in process.
    void Run(QProcess& process, const QStringList& args) const
    {
        EndWithParent(process);
        process.setProcessEnvironment(Environment());
        process.start(QString::fromStdString(Installed("bin/sorvane")), args);
    }

    // Starts the player and waits until it holds its name on the bus.
    bool StartPlayer(const QStringList& args)
    {
        Run(m_player, args);
        return m_bus.WaitForName(kService, m_player);
    }

    QVariant Property(const QString& name, const QString& iface = kPlayer) const
    {
        QDBusInterface props(kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                             m_bus.Connection());
        const QDBusReply<QDBusVariant> reply = props.call(QStringLiteral("Get"), iface, name);
        return reply.isValid() ? reply.value().variant() : QVariant();
    }

    QVariantMap Metadata() const
    {
        const auto arg = Property(QStringLiteral("Metadata")).value<QDBusArgument>();
        QVariantMap map;
        arg >> map;
        return map;
    }

    QDBusMessage Call(const QString& iface, const QString& method, const QVariantList& args = {})
    {
        QDBusInterface player(kService, kPath, iface, m_bus.Connection());
        return player.callWithArgumentList(QDBus::Block, method, args);
    }

    // Whether recorder hears PropertiesChanged with key set to value within 10 s.
    static bool Announced(const CChangeRecorder& recorder, const QString& key, const QString& value)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 10000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            for (const QVariantMap& change : recorder.m_changes)
                if (change.value(key).toString() == value)
                    return true;
        }
        return false;
    }

    bool Record(CChangeRecorder& recorder) const
    {
        return m_bus.Connection().connect(kService, kPath, "org.freedesktop.DBus.Properties",
                                          "PropertiesChanged", &recorder,
                                          SLOT(OnChanged(QString, QVariantMap, QStringList)));
    }

    std::string Wav(const std::string& name, unsigned nSeconds = 10)
    {
        WavTone tone;
        tone.nRate = 8000;
        tone.nFrames = 8000U * nSeconds;
        return m_dir.Write(name, MakeWav(tone));
    }

    static inline CTempDir* s_pPrefix = nullptr;
    static inline bool s_bInstalled = false;
    CTempDir m_dir;
    CTestSessionBus m_bus;
    QProcess m_player;
};

// Catches an install that leaves out a piece the installed program or the desktop needs,
// or icons enlarged with smoothing.
TEST_F(InstalledPlayer, TheInstallHoldsTheProgramItsLibrariesAndCrispIcons)
{
    for (const char* name :
         {"bin/sorvane", "lib/sorvane/libsorvane_audio.so", "lib/sorvane/Dekoda.so",
          "lib/sorvane/Voxout.so", "lib/sorvane/libsorvane_tagreader.so",
          "share/applications/sorvane.desktop", "share/metainfo/org.example.sorvane.metainfo.xml",
          "share/man/man1/sorvane.1"})
        EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(Installed(name)))) << name;
    const QImage small(
        QString::fromStdString(Installed("share/icons/hicolor/32x32/apps/sorvane.png")));
    const QImage large(
        QString::fromStdString(Installed("share/icons/hicolor/256x256/apps/sorvane.png")));
    ASSERT_EQ(small.size(), QSize(32, 32));
    ASSERT_EQ(large.size(), QSize(256, 256));
    EXPECT_EQ(large, small.scaled(256, 256, Qt::IgnoreAspectRatio, Qt::FastTransformation));
    // Without the desktop's cache the launcher stays out of "Open with".
    if (!QStandardPaths::findExecutable("update-desktop-database").isEmpty()) {
        EXPECT_NE(CTempDir::Read(Installed("share/applications/mimeinfo.cache")).find("audio/mp2="),
                  std::string::npos);
    }
}

// Catches a launcher whose command, run without files as a menu runs it, starts nothing, and
// a bus service that offers fewer types than the launcher opens (FLAC, Ogg, Opus, M4A, ...).
TEST_F(InstalledPlayer, TheLauncherStartsThePlayerWithoutFiles)
{
    const std::string entry = CTempDir::Read(Installed("share/applications/sorvane.desktop"));
    const std::size_t at = entry.find("\nExec=");
    ASSERT_NE(at, std::string::npos);
    QStringList args =
        QString::fromStdString(entry.substr(at + 6, entry.find('\n', at + 1) - at - 6))
            .split(u' ', Qt::SkipEmptyParts);
    ASSERT_EQ(args.takeFirst(), "sorvane");
    args.removeAll("%F");
    ASSERT_TRUE(StartPlayer(args)) << m_player.readAllStandardError().toStdString();

    const std::size_t types = entry.find("\nMimeType=");
    ASSERT_NE(types, std::string::npos);
    const QStringList offered =
        Property("SupportedMimeTypes", "org.mpris.MediaPlayer2").toStringList();
    for (const QString& type :
         QString::fromStdString(entry.substr(types + 10, entry.find('\n', types + 1) - types - 10))
             .split(u';', Qt::SkipEmptyParts))
        EXPECT_TRUE(type.startsWith("x-content/") || offered.contains(type)) << type.toStdString();
}

// Catches a file named without an option that does nothing, and a mistyped option that exits
// 0 as if it had been understood.
TEST_F(InstalledPlayer, ABareFilePlaysAndAnUnknownOptionExitsWithStatus2)
{
    QProcess wrong;
    Run(wrong, {"--paly", "x.wav"});
    ASSERT_TRUE(wrong.waitForFinished(30000));
    EXPECT_EQ(wrong.exitCode(), 2);
    EXPECT_NE(wrong.readAllStandardError().indexOf("--paly"), -1);
    ASSERT_TRUE(StartPlayer({QString::fromStdString(Wav("tone.wav"))}));
    EXPECT_EQ(Property("PlaybackStatus").toString(), "Playing");
}

// Catches a launcher entry or AppStream file that the desktop's own tools refuse.
TEST_F(InstalledPlayer, TheLauncherEntryAndTheMetadataValidate)
{
    const QString desktopTool = QStandardPaths::findExecutable("desktop-file-validate");
    const QString appstreamTool = QStandardPaths::findExecutable("appstreamcli");
    if (desktopTool.isEmpty() || appstreamTool.isEmpty())
        GTEST_SKIP() << "desktop-file-utils or appstream is not installed";
    QProcess check;
    check.start(desktopTool,
                {QString::fromStdString(Installed("share/applications/sorvane.desktop"))});
    ASSERT_TRUE(check.waitForFinished(30000));
    EXPECT_EQ(check.exitCode(), 0) << check.readAll().toStdString();
    check.start(appstreamTool, {"validate", "--pedantic", "--no-net",
                                QString::fromStdString(
                                    Installed("share/metainfo/org.example.sorvane.metainfo.xml"))});
    ASSERT_TRUE(check.waitForFinished(30000));
    EXPECT_EQ(check.exitCode(), 0) << check.readAll().toStdString();
}

// Catches an installed program that cannot find its decoder plug-ins, ignores --play, or
// keeps its settings in its program folder instead of the XDG folder after an MPRIS quit.
TEST_F(InstalledPlayer, PlaysAnMp3FromPlayAndQuitsThroughMprisWithItsSettingsInXdg)
{
    Mp3Tone tone;
    tone.dSeconds = 20.0;
    const std::string mp3 = m_dir / "tone.mp3";
    ASSERT_TRUE(WriteMp3(mp3, tone));
    ASSERT_TRUE(StartPlayer({"--play", QString::fromStdString(mp3)}));
    EXPECT_EQ(Property("PlaybackStatus").toString(), "Playing");
    const QVariantMap metadata = Metadata();
    EXPECT_EQ(metadata.value("xesam:url").toString(),
              QUrl::fromLocalFile(QString::fromStdString(mp3)).toString(QUrl::FullyEncoded));
    EXPECT_EQ(metadata.value("mpris:length").toLongLong(), 20000000);
    EXPECT_EQ(metadata.value("xesam:title").toString(), "tone.mp3") << "no tags: the file name";
    EXPECT_FALSE(metadata.contains("xesam:artist"));
    // The position moves with the sound heard, and a seek lands to the millisecond and is
    // announced at its target.
    Call(kPlayer, "SetPosition",
         {QVariant::fromValue(metadata.value("mpris:trackid").value<QDBusObjectPath>()),
          qlonglong{12345000}});
    const qlonglong seeked = Property("Position").toLongLong();
    EXPECT_GE(seeked, 12345000);
    EXPECT_LT(seeked, 12345000 + 1000000);

    QDBusInterface props(kService, kPath, "org.freedesktop.DBus.Properties", m_bus.Connection());
    props.call("Set", kPlayer, "LoopStatus", QVariant::fromValue(QDBusVariant("None")));
    Call("org.mpris.MediaPlayer2", "Quit");
    ASSERT_TRUE(m_player.waitForFinished(30000)) << "Quit did not end the player";
    EXPECT_EQ(m_player.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(m_player.exitCode(), 0);
    EXPECT_NE(CTempDir::Read(m_dir / "config/sorvane/Sorvix.ini").find("[REPEAT]=0"),
              std::string::npos);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(Installed("bin/Sorvix.ini"))));
}

// Catches tags that never reach the desktop: Vorbis comments (FLAC), ID3v2 (MP3), MP4 atoms
// (M4A) and RIFF INFO (WAV), an embedded cover that is not written where its address points, and a
// cover.jpg beside the files that is not taken for those without a cover of their own.
TEST_F(InstalledPlayer, TagsOfFlacMp3M4aAndWavReachTheBusServicesMetadata)
{
    const std::string cover = MakeJpeg(m_dir.Path());
    ASSERT_FALSE(cover.empty());
    const std::string beside = m_dir.Write("cover.jpg", "a picture of the album");
    struct Case
    {
        const char* name;
        const char* codec;
    };
    const Case cases[] = {
        {"a.flac", "flac"}, {"b.mp3", "libmp3lame"}, {"c.m4a", "aac"}, {"d.wav", "pcm_s16le"}};
    QStringList args = {"--play"};
    for (const Case& c : cases) {
        EncodedTone tone;
        tone.strCodec = c.codec;
        tone.dSeconds = 10.0;
        tone.tags = {{"title", std::string("Title of ") + c.name},
                     {"artist", "アーティスト"},
                     {"album", "Album"},
                     {"track", "3"}};
        tone.strCoverPath = c.name == std::string("a.flac") ? cover : std::string();
        ASSERT_TRUE(WriteEncodedTone(m_dir / c.name, tone)) << c.name;
        args << QString::fromStdString(m_dir / c.name);
    }
    ASSERT_TRUE(StartPlayer(args));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.name != std::string("a.flac"))
            Call(kPlayer, "Next");
        const QVariantMap metadata = Metadata();
        EXPECT_EQ(metadata.value("xesam:url").toString(),
                  QUrl::fromLocalFile(QString::fromStdString(m_dir / c.name)).toString());
        EXPECT_EQ(metadata.value("xesam:title").toString(), QString("Title of ") + c.name);
        EXPECT_EQ(metadata.value("xesam:artist").toStringList(), QStringList{"アーティスト"});
        EXPECT_EQ(metadata.value("xesam:album").toString(), "Album");
        EXPECT_EQ(metadata.value("xesam:trackNumber").toInt(), 3);
        EXPECT_EQ(metadata.value("mpris:length").toLongLong(), 10000000);
        if (c.name == std::string("a.flac")) {
            const std::string art =
                QUrl(metadata.value("mpris:artUrl").toString()).toLocalFile().toStdString();
            EXPECT_EQ(art.rfind(m_dir / "cache/sorvane/", 0), 0u) << art;
            EXPECT_EQ(CTempDir::Read(art), CTempDir::Read(cover));
        } else {
            EXPECT_EQ(metadata.value("mpris:artUrl").toString(),
                      QUrl::fromLocalFile(QString::fromStdString(beside)).toString());
        }
    }
}

// Catches a CUE sheet's track reaching the desktop as its whole file (the file's name for a
// title, the file's length), the sheet's performer, album and numbers left out, and Next
// that does not land on the sheet's next track.
TEST_F(InstalledPlayer, ACueSheetsTracksReachTheBusWithTheSheetsWords)
{
    EncodedTone tone;
    tone.dSeconds = 6.0;
    ASSERT_TRUE(WriteEncodedTone(m_dir / "album.flac", tone));
    const std::string sheet = m_dir.Write(
        "album.cue", "PERFORMER Band\nTITLE Album\nFILE album.flac WAVE\nTRACK 01 AUDIO\n"
                     "TITLE First\nINDEX 01 00:00:00\nTRACK 02 AUDIO\nTITLE Second\n"
                     "INDEX 01 00:02:00\nTRACK 03 AUDIO\nTITLE Third\nINDEX 01 00:04:00\n");
    ASSERT_TRUE(StartPlayer({"--play", QString::fromStdString(sheet)}));
    const QVariantMap first = Metadata();
    EXPECT_EQ(first.value("xesam:title").toString(), "First");
    EXPECT_EQ(first.value("xesam:artist").toStringList(), QStringList{"Band"});
    EXPECT_EQ(first.value("xesam:album").toString(), "Album");
    EXPECT_EQ(first.value("xesam:trackNumber").toInt(), 1);
    EXPECT_EQ(first.value("mpris:length").toLongLong(), 2000000);
    EXPECT_EQ(first.value("xesam:url").toString(),
              QUrl::fromLocalFile(QString::fromStdString(m_dir / "album.flac")).toString());

    Call(kPlayer, "Next");
    const QVariantMap second = Metadata();
    EXPECT_EQ(second.value("xesam:title").toString(), "Second");
    EXPECT_EQ(second.value("xesam:trackNumber").toInt(), 2);
    EXPECT_LT(Property("Position").toLongLong(), 2000000);
}

// Catches --enqueue starting a second player, or its files not reaching the running one.
TEST_F(InstalledPlayer, EnqueueAppendsToTheRunningCopysQueue)
{
    const std::string first = Wav("first.wav");
    const std::string second = Wav("second.wav");
    ASSERT_TRUE(StartPlayer({"--play", QString::fromStdString(first)}));
    QProcess other;
    Run(other, {"--enqueue", QString::fromStdString(second)});
    ASSERT_TRUE(other.waitForFinished(30000));
    EXPECT_EQ(other.exitCode(), 0) << other.readAllStandardError().toStdString();
    EXPECT_EQ(m_player.state(), QProcess::Running);

    Call(kPlayer, "Next");
    EXPECT_EQ(Metadata().value("xesam:url").toString(),
              QUrl::fromLocalFile(QString::fromStdString(second)).toString());
    EXPECT_EQ(Property("PlaybackStatus").toString(), "Playing");
}

// Catches a pause through MPRIS that takes another path than the button, or that panels
// never hear of because no PropertiesChanged goes out.
TEST_F(InstalledPlayer, PlayPauseThroughMprisPausesAndAnnouncesIt)
{
    CChangeRecorder recorder;
    ASSERT_TRUE(Record(recorder));
    ASSERT_TRUE(StartPlayer({"--play", QString::fromStdString(Wav("my tone.wav"))}));
    ASSERT_EQ(Property("PlaybackStatus").toString(), "Playing");
    // Media-key clients skip a player that says it cannot play while it plays.
    EXPECT_TRUE(Property("CanPlay").toBool());
    EXPECT_TRUE(Property("CanPause").toBool());
    EXPECT_TRUE(Metadata().value("xesam:url").toString().endsWith("/my%20tone.wav"));

    // A pause in the first second is a pause, not a stop.
    Call(kPlayer, "PlayPause");
    EXPECT_EQ(Property("PlaybackStatus").toString(), "Paused");
    EXPECT_TRUE(Announced(recorder, "PlaybackStatus", "Paused"));
    EXPECT_TRUE(Property("CanPlay").toBool());
    EXPECT_FALSE(Property("CanPause").toBool());
    Call(kPlayer, "PlayPause");
    EXPECT_EQ(Property("PlaybackStatus").toString(), "Playing");
}

// Catches properties of the interface refused as unknown, and a loop setting silently
// turned into another.
TEST_F(InstalledPlayer, VolumeShuffleAndLoopStatusAreSetOrRefusedAsTheyAre)
{
    ASSERT_TRUE(StartPlayer({"--play", QString::fromStdString(Wav("tone.wav"))}));
    QDBusInterface props(kService, kPath, "org.freedesktop.DBus.Properties", m_bus.Connection());
    EXPECT_EQ(props.call("Set", kPlayer, "Volume", QVariant::fromValue(QDBusVariant(0.25))).type(),
              QDBusMessage::ReplyMessage);
    EXPECT_DOUBLE_EQ(Property("Volume").toDouble(), 0.25);
    EXPECT_EQ(props.call("Set", kPlayer, "Volume", QVariant::fromValue(QDBusVariant(7.0))).type(),
              QDBusMessage::ReplyMessage);
    EXPECT_DOUBLE_EQ(Property("Volume").toDouble(), 1.0);
    EXPECT_EQ(
        props.call("Set", kPlayer, "Shuffle", QVariant::fromValue(QDBusVariant(false))).type(),
        QDBusMessage::ReplyMessage);
    props.call("Set", kPlayer, "LoopStatus", QVariant::fromValue(QDBusVariant("None")));
    EXPECT_EQ(
        props.call("Set", kPlayer, "LoopStatus", QVariant::fromValue(QDBusVariant("Track"))).type(),
        QDBusMessage::ErrorMessage);
    EXPECT_EQ(Property("LoopStatus").toString(), "None");
}

// Catches OpenUri waiting behind the message box of what it opens, and a missing file that
// stops the music.
TEST_F(InstalledPlayer, OpenUriOfAMissingFileAnswersAtOnceAndThePlayGoesOn)
{
    ASSERT_TRUE(StartPlayer({"--play", QString::fromStdString(Wav("tone.wav"))}));
    QElapsedTimer timer;
    timer.start();
    const QDBusMessage reply = Call(kPlayer, "OpenUri",
                                    {QUrl::fromLocalFile(QString::fromStdString(m_dir / "gone.wav"))
                                         .toString(QUrl::FullyEncoded)});
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_EQ(reply.type(), QDBusMessage::ErrorMessage);
    EXPECT_EQ(Property("PlaybackStatus").toString(), "Playing");
}

// Catches a bus that waits behind the message box of what a call started: Next onto a file
// that cannot be opened, and every call after it, went unanswered until the box was closed.
TEST_F(InstalledPlayer, CallsAreAnsweredWhileTheBoxOfAFileThatCannotBeOpenedIsOpen)
{
    const std::string damaged = m_dir.Write("header-only.wav", "RIFF\x04\0\0\0WAVE");
    ASSERT_TRUE(StartPlayer(
        {"--play", QString::fromStdString(Wav("tone.wav")), QString::fromStdString(damaged)}));
    // Generous limits: an answer held behind the box never comes at all.
    QDBusInterface player(kService, kPath, kPlayer, m_bus.Connection());
    player.setTimeout(10000);
    EXPECT_EQ(player.call("Next").type(), QDBusMessage::ReplyMessage);
    // The box of the damaged file is open from here on: the next call is answered only after
    // the Next has run.
    QDBusInterface props(kService, kPath, "org.freedesktop.DBus.Properties", m_bus.Connection());
    props.setTimeout(10000);
    EXPECT_EQ(props.call("Get", kPlayer, "Position").type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(player.call("Next").type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(props.call("Get", kPlayer, "PlaybackStatus").type(), QDBusMessage::ReplyMessage);
}

// Catches panels left showing a playing track after the queue has played to its end.
TEST_F(InstalledPlayer, TheQueuesEndIsAnnouncedAsStopped)
{
    CChangeRecorder recorder;
    ASSERT_TRUE(Record(recorder));
    m_dir.Write("config/sorvane/Sorvix.ini", "[REPEAT]=0\r\n");
    ASSERT_TRUE(StartPlayer({"--play", QString::fromStdString(Wav("short.wav", 1))}));
    EXPECT_TRUE(Announced(recorder, "PlaybackStatus", "Stopped"));
    EXPECT_EQ(Property("PlaybackStatus").toString(), "Stopped");
    // Play is offered at the end, as the player's own button offers it.
    EXPECT_TRUE(Property("CanPlay").toBool());
}

// Catches SetPosition that ignores the position, or seeks a track it was not meant for.
TEST_F(InstalledPlayer, SetPositionMovesTheCurrentTrackOnly)
{
    ASSERT_TRUE(StartPlayer({"--play", QString::fromStdString(Wav("tone.wav", 20))}));
    const auto track = Metadata().value("mpris:trackid").value<QDBusObjectPath>();
    Call(kPlayer, "SetPosition",
         {QVariant::fromValue(QDBusObjectPath("/org/mpris/MediaPlayer2/track/7")),
          qlonglong{15000000}});
    EXPECT_LT(Property("Position").toLongLong(), 10000000);
    // To the millisecond, not to a whole percent of the length (76 % would be 15.2 s).
    Call(kPlayer, "SetPosition", {QVariant::fromValue(track), qlonglong{15321000}});
    const qlonglong position = Property("Position").toLongLong();
    EXPECT_GE(position, 15321000);
    EXPECT_LT(position, 15321000 + 1000000);
    EXPECT_EQ(Property("PlaybackStatus").toString(), "Playing");
}

} // namespace

#include "InstalledPlayer_test.moc"
