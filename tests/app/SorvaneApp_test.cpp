#include "tests/app/AppTest.h"
#include "tests/app/XvfbServer.h"

#include "app/AboutDlg.h"
#include "app/DocTemplate.h"
#include "app/TitleRendezvous.h"
#include "app/WindowSearch.h"
#include "engine/PlayEngine.h"
#include "media/Mci.h"
#include "queue/KeptQueue.h"
#include "queue/SorvaneDoc.h"
#include "res/Resource.h"
#include "tests/support/PulseServer.h"
#include "tests/support/TestMedia.h"
#include "tests/ui/SorvaneViewTest.h"
#include "ui/MainFrame.h"
#include "ui/SorvaneView.h"

#include <QKeySequence>
#include <QLabel>
#include <QLocalSocket>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>

#include <X11/Xlib.h>

#include <csignal>
#include <cstdio>
#include <filesystem>

namespace {

class SorvaneApp : public AppTest
{
protected:
    CSingleDocTemplate* Template() const { return m_app->GetDocTemplate(); }
    CSorvaneDoc* Doc() const { return Template()->GetDocument(); }
    CSorvaneView* View() const { return Template()->GetView(); }

    // The environment of another player process: offscreen, silent, and this test's runtime
    // and settings folders.
    QProcessEnvironment PlayerEnvironment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("SDL_AUDIODRIVER", "dummy");
        env.insert("XDG_RUNTIME_DIR", QString::fromStdString(m_strRuntime));
        env.insert("XDG_CONFIG_HOME", QString::fromStdString(m_dir / "config"));
        return env;
    }

    std::string Wav(const std::string& name)
    {
        WavTone tone;
        tone.nRate = 8000;
        tone.nFrames = 8000 * 2;
        return m_dir.Write(name, MakeWav(tone));
    }
};

TEST_F(SorvaneApp, StartUpReadsTheSettingsAndShowsTheWindowTitledSorvix)
{
    m_dir.Write("Sorvix.ini", "[LAYOUT]=2\r\n[LAUNCHPOS]=40 50\r\n[REPEAT]=0\r\n");
    ASSERT_EQ(Start(), 1);
    ASSERT_NE(m_app->m_pMainWnd, nullptr);
    EXPECT_EQ(m_app->m_pMainWnd, Template()->GetFrame());
    EXPECT_EQ(m_app->m_pMainWnd->windowTitle(), QString("Sorvix"));
    EXPECT_TRUE(m_app->m_pMainWnd->isVisible());
    EXPECT_EQ(m_app->m_pMainWnd->size(), QSize(172, 53));
    EXPECT_EQ(m_app->m_pMainWnd->pos(), QPoint(40, 50));
    EXPECT_EQ(m_app->m_settings.Get(SK_REPEAT), 0);
    EXPECT_TRUE(View()->acceptDrops());
    EXPECT_EQ(View()->GetDocument(), Doc());
    EXPECT_FALSE(m_app->FoundOtherInstance());
}

TEST_F(SorvaneApp, TheTemplatesDocumentStringNamesTheWindowAndTheNewFile)
{
    ASSERT_EQ(Start(), 1);
    EXPECT_EQ(Template()->GetDocString(CSingleDocTemplate::windowTitle), "Sorvane");
    EXPECT_EQ(Template()->GetDocString(CSingleDocTemplate::docName), "");
    EXPECT_EQ(Template()->GetDocString(CSingleDocTemplate::fileNewName), "Sorvo");
    EXPECT_EQ(Template()->GetDocString(CSingleDocTemplate::regFileTypeId), "Sorvane.Document");
    EXPECT_EQ(Template()->GetDocString(CSingleDocTemplate::regFileTypeName), "Sorvo Document");
    EXPECT_EQ(Template()->GetFilter(), "All Files (*)|*||") << "*.* hides names without a dot";
    EXPECT_EQ(Template()->GetTitle(), "Sorvo");
}

// Catches settings lost at exit, and a file written beside them that nothing documents or
// reads (the recent-file list, which no menu shows, lives in memory only).
TEST_F(SorvaneApp, ExitWritesTheSettingsWithTheWindowsLastPositionAndNothingElse)
{
    ASSERT_EQ(Start(), 1);
    const std::string song = Wav("song.wav");
    ASSERT_NE(Template()->OpenDocumentFile(&song), nullptr);
    ASSERT_EQ(m_app->GetRecentFileList()->GetEntries(), std::vector<std::string>{song});
    m_app->m_settings.Set(SK_LAYOUT, 1);
    m_app->m_pMainWnd->move(-20, 300);
    m_app->CloseAllDocuments();
    EXPECT_EQ(m_app->m_pMainWnd, nullptr);
    EXPECT_EQ(m_app->ExitInstance(), 0);
    EXPECT_FALSE(std::filesystem::exists(m_dir / "config/sorvane"));
    EXPECT_EQ(CTempDir::Read(m_dir / "Sorvix.ini"),
              "[TOPMOST]=0\r\n[LAYOUT]=1\r\n[LAUNCHPOS]=-20 300\r\n[TEXT_COLOR]=0\r\n"
              "[LED_COLOR]=15204343\r\n[BUTTON_COLOR]=16763060\r\n[REPEAT]=1\r\n"
              "[SHUFFLE]=0\r\n[RESUME]=1\r\n"
              "[REPLAYGAIN]=3\r\n[REPLAYGAIN_PREAMP]=0\r\n[REPLAYGAIN_UNTAGGED]=0\r\n");
}

// Catches a queue lost between runs, a kept queue that files to play do not replace or that
// --enqueue does not keep, and one that comes back with the setting turned off.
TEST_F(SorvaneApp, TheQueueComesBackPausedWhereItStoodUnlessFilesArePlayed)
{
    const std::string a = Wav("a.wav");
    const std::string b = Wav("b.wav");
    const std::string c = Wav("c.wav");
    const auto restart = [this](std::vector<std::string> args) {
        m_app->CloseAllDocuments();
        m_app->ExitInstance();
        m_app = std::make_unique<CSorvaneApp>();
        m_app->m_settings.UseFile(m_dir / "Sorvix.ini");
        return Start(std::move(args));
    };
    ASSERT_EQ(Start({"--play", a, b}), 1);
    Doc()->OnCmdMsg(IDC_BTN_NEXT);
    Doc()->SeekToMilliseconds(700);

    ASSERT_EQ(restart({}), 1);
    EXPECT_EQ(Doc()->GetQueue().GetCount(), 2);
    EXPECT_EQ(Doc()->GetQueue().GetCurrent(), 1);
    EXPECT_EQ(Doc()->GetPlayback().nState, PlaybackState::Paused);
    EXPECT_EQ(Doc()->GetPlayback().nPositionMs, 700);

    ASSERT_EQ(restart({"--enqueue", c}), 1);
    EXPECT_EQ(Doc()->GetQueue().GetCount(), 3);
    EXPECT_EQ(Doc()->GetPlayback().nPositionMs, 700) << "the kept place still waits";

    ASSERT_EQ(restart({"--play", c}), 1);
    EXPECT_EQ(Doc()->GetQueue().GetCount(), 1);
    EXPECT_EQ(Doc()->GetTitle(), "c.wav");

    m_app->m_settings.Set(SK_RESUME, 0);
    ASSERT_EQ(restart({}), 1);
    EXPECT_EQ(Doc()->GetQueue().GetCount(), 0);
    EXPECT_TRUE(m_prompts.messages.empty());
}

TEST_F(SorvaneApp, TheSessionsCommitWritesTheSettingsWhileThePlayerRuns)
{
    // Catches a desktop session that ends the player after asking it to commit, losing the
    // settings of its run.
    ASSERT_EQ(Start(), 1);
    m_app->m_settings.Set(SK_LAYOUT, 2);
    m_app->m_pMainWnd->move(40, 50);
    m_app->OnSessionCommit();
    EXPECT_NE(CTempDir::Read(m_dir / "Sorvix.ini").find("[LAYOUT]=2\r\n[LAUNCHPOS]=40 50\r\n"),
              std::string::npos);
    EXPECT_NE(m_app->m_pMainWnd, nullptr) << "the player runs on";
}

// Catches a file named without an option that the player takes in and never plays.
TEST_F(SorvaneApp, AFileOnTheCommandLinePlaysAsWithPlay)
{
    const std::string file = Wav("song.wav");
    ASSERT_EQ(Start({"-style=fusion", file}), 1);
    EXPECT_EQ(Doc()->GetQueue().GetCount(), 1);
    EXPECT_EQ(Doc()->GetTitle(), "song.wav");
    EXPECT_EQ(Doc()->GetMode(), static_cast<int>(MCI_MODE_PLAY));
    EXPECT_EQ(m_app->m_pMainWnd->windowTitle(), QString("Sorvix"));
}

// Catches a missing file on the command line that ends the start instead of being told.
TEST_F(SorvaneApp, AFileThatCannotBeOpenedIsToldAndThePlayerStarts)
{
    const std::string missing = m_dir / "missing.wav";
    EXPECT_EQ(Start({missing}), 1);
    ASSERT_FALSE(m_prompts.messages.empty());
    EXPECT_EQ(m_prompts.messages.back(), missing + "\n" + CSorvaneDoc::kPlayFailedText);
    EXPECT_NE(m_app->m_pMainWnd, nullptr);
    EXPECT_EQ(Doc()->IsOpen(), 0u);
}

// Catches a folder handed to the engine as a medium ("Invalid file" and a stop) instead of
// the playable files inside it, in the order of their names.
TEST_F(SorvaneApp, AFolderOnTheCommandLineQueuesTheFilesInsideAndPlaysTheFirst)
{
    const std::string second = Wav("album/2 second.wav");
    const std::string first = Wav("album/1 first.wav");
    m_dir.Write("album/cover.jpg", "a picture");
    EXPECT_EQ(Start({m_dir / "album"}), 1);
    EXPECT_TRUE(m_prompts.messages.empty());
    ASSERT_EQ(Doc()->GetQueue().GetCount(), 2);
    EXPECT_EQ(Doc()->GetQueue().GetAt(0), first);
    EXPECT_EQ(Doc()->GetQueue().GetAt(1), second);
    EXPECT_EQ(Doc()->GetMode(), static_cast<int>(MCI_MODE_PLAY));
}

// Catches a mistyped option that starts the player as if nothing were wrong.
TEST_F(SorvaneApp, AnUnknownOptionEndsTheStartAsAWrongUse)
{
    EXPECT_EQ(Start({"--paly", Wav("song.wav")}), 0);
    EXPECT_EQ(m_app->m_pMainWnd, nullptr);
    EXPECT_EQ(m_app->ExitInstance(), CSorvaneApp::kExitUsage);
}

TEST_F(SorvaneApp, TheCommandLinesFirstNameIsTheFileAndOptionsAreSkipped)
{
    m_app->SetArguments({"-reverse", "first.wav", "second.wav"});
    CCommandLineInfo info;
    m_app->ParseCommandLine(info);
    EXPECT_EQ(info.m_nShellCommand, CCommandLineInfo::FileOpen);
    EXPECT_EQ(info.m_strFileName, "first.wav");

    m_app->SetArguments({"-platform"});
    CCommandLineInfo none;
    m_app->ParseCommandLine(none);
    EXPECT_EQ(none.m_nShellCommand, CCommandLineInfo::FileNew);
}

TEST_F(SorvaneApp, NewAndOpenKeepTheQueueAndWhatPlays)
{
    ASSERT_EQ(Start(), 1);
    const std::string a = Wav("a.wav");
    View()->OnDropFiles({a, Wav("b.wav")});
    CSorvaneDoc* pDoc = Doc();

    EXPECT_TRUE(View()->RouteCmd(ID_FILE_NEW));
    const std::string other = Wav("other.wav");
    m_prompts.QueueFiles(std::vector<std::string>{other});
    EXPECT_TRUE(View()->RouteCmd(ID_FILE_OPEN));

    EXPECT_EQ(Doc(), pDoc);
    EXPECT_EQ(Doc()->GetQueue().GetCount(), 2);
    EXPECT_EQ(Doc()->GetTitle(), "a.wav");
    EXPECT_EQ(Doc()->GetMode(), static_cast<int>(MCI_MODE_PLAY));
    EXPECT_EQ(Template()->GetPathName(), other);
    ASSERT_EQ(m_prompts.fileRequests.size(), 1u);
    EXPECT_EQ(m_prompts.fileRequests[0].strFilter, "All Files (*)|*||");
    EXPECT_EQ(m_app->m_pMainWnd->windowTitle(), QString("Sorvix"));
}

TEST_F(SorvaneApp, TheAcceleratorsSitOnTheMainWindow)
{
    ASSERT_EQ(Start(), 1);
    std::vector<std::string> keys;
    for (const QShortcut* pShortcut : m_app->m_pMainWnd->findChildren<QShortcut*>()) {
        keys.push_back(pShortcut->key().toString().toStdString());
        EXPECT_EQ(pShortcut->context(), Qt::WindowShortcut);
    }
    const std::vector<std::string> expected = {
        "Ctrl+N",    "Ctrl+O",    "Ctrl+S",   "Ctrl+Z",   "Alt+Backspace",
        "Ctrl+X",    "Shift+Del", "Ctrl+C",   "Ctrl+Ins", "Ctrl+V",
        "Shift+Ins", "F6",        "Shift+F6", "Ctrl+T",
    };
    EXPECT_EQ(keys, expected);
    EXPECT_FALSE(View()->RouteCmd(ID_EDIT_COPY));
    EXPECT_FALSE(View()->RouteCmd(ID_NEXT_PANE));
    // Stop after this one is the document's.
    EXPECT_TRUE(View()->RouteCmd(ID_MENU_STOPAFTER));
    EXPECT_TRUE(Doc()->StopsAfterCurrent());
}

// Catches Ctrl+S writing an empty file under the chosen name: a save that saves nothing.
TEST_F(SorvaneApp, CtrlSSavesTheQueueAsAnM3uPlaylist)
{
    ASSERT_EQ(Start(), 1);
    View()->OnDropFiles({Wav("a.wav"), Wav("b.wav")});
    const std::string path = m_dir / "mix.m3u";
    m_prompts.QueueFiles(std::vector<std::string>{path});
    EXPECT_TRUE(View()->RouteCmd(ID_FILE_SAVE));
    ASSERT_EQ(m_prompts.fileRequests.size(), 1u);
    EXPECT_FALSE(m_prompts.fileRequests[0].bOpen);
    EXPECT_EQ(m_prompts.fileRequests[0].strFilter, CSorvaneDoc::kSaveFilter);
    EXPECT_EQ(CTempDir::Read(path), "a.wav\r\nb.wav\r\n");
    EXPECT_EQ(Doc()->GetQueue().GetCount(), 2) << "the queue stays";
}

TEST_F(SorvaneApp, SaveNeverEmptiesAFileThatHoldsData)
{
    const std::string song = Wav("song.wav");
    const std::string bytes = CTempDir::Read(song);
    ASSERT_EQ(Start(), 1);
    // The framework's own save, which Ctrl+S no longer reaches, names the open document.
    ASSERT_NE(Template()->OpenDocumentFile(&song), nullptr);
    m_prompts.QueueFiles(std::vector<std::string>{song});
    m_app->OnFileSave();
    EXPECT_EQ(m_prompts.fileRequests[0].strFileName, song) << "the full path, not the bare name";
    EXPECT_EQ(CTempDir::Read(song), bytes);
    ASSERT_EQ(m_prompts.messages.size(), 1u);
    EXPECT_EQ(m_prompts.messages[0], song + "\n" + CWinApp::kSaveRefusedText);
}

TEST_F(SorvaneApp, ACancelledSaveWritesNothing)
{
    ASSERT_EQ(Start(), 1);
    m_prompts.QueueFiles(std::nullopt);
    View()->RouteCmd(ID_FILE_SAVE);
    EXPECT_EQ(Template()->GetPathName(), "");
    EXPECT_TRUE(m_prompts.messages.empty());
}

TEST_F(SorvaneApp, TheAboutBoxShowsItsCaptionTheProgramIconAndOk)
{
    ASSERT_EQ(Start(), 1);
    QString caption;
    bool bIcon = false;
    SorvaneViewTest::WithModal(
        [&] { EXPECT_TRUE(View()->RouteCmd(ID_APP_ABOUT)); },
        [&](QWidget* pWidget) {
            auto* pAbout = dynamic_cast<CAboutDlg*>(pWidget);
            ASSERT_NE(pAbout, nullptr);
            caption = pAbout->windowTitle();
            const QLabel* pIcon = pAbout->findChild<QLabel*>();
            bIcon = pIcon != nullptr && !pIcon->pixmap().isNull();
            auto* pOk = pAbout->findChild<QPushButton*>();
            ASSERT_NE(pOk, nullptr);
            EXPECT_EQ(pOk->text(), QString("OK"));
            EXPECT_TRUE(pOk->isDefault());
            const CSize units = pAbout->GetBaseUnits();
            const CRect ok = pAbout->MapDialogRect(178, 7, 50, 14);
            EXPECT_EQ(pOk->geometry(), QRect(ok.left, ok.top, ok.Width(), ok.Height()));
            EXPECT_EQ(pAbout->GetDlgItem(IDOK), pOk);
            EXPECT_EQ(pAbout->size(), QSize((235 * units.cx + 2) / 4, (55 * units.cy + 4) / 8));
            EXPECT_EQ(pAbout->GetDialogFont().pixelSize(), 12) << "9 points at 96 dots per inch";
            pOk->click();
        });
    EXPECT_EQ(caption.toStdString(), "Sorvaneのﾊﾞｰｼﾞｮﾝ情報");
    EXPECT_TRUE(bIcon);
}

TEST_F(SorvaneApp, ClosingTheMainWindowEndsTheMessageLoop)
{
    ASSERT_EQ(Start(), 1);
    QWidget* pMain = m_app->m_pMainWnd;
    QMetaObject::invokeMethod(
        pMain, [pMain] { pMain->close(); }, Qt::QueuedConnection);
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    guard.start(20000);
    EXPECT_EQ(QApplication::exec(), 0) << "the loop went on after the main window closed";
    EXPECT_FALSE(pMain->isVisible());
}

TEST_F(SorvaneApp, TheRunningPlayerListensUnderItsTitle)
{
    ASSERT_EQ(Start(), 1);
    std::unique_ptr<CFoundWindow> pFound = FindRendezvousWindow("Sorvix");
    EXPECT_NE(pFound, nullptr);
    m_app->CloseAllDocuments();
    m_app->ExitInstance();
    EXPECT_EQ(FindRendezvousWindow("Sorvix"), nullptr);
}

TEST_F(SorvaneApp, ASecondCopyShowsTheFirstsHiddenWindowAndEnds)
{
    ASSERT_EQ(Start(), 1);
    m_app->m_pMainWnd->showMinimized();
    m_app->m_pMainWnd->hide();

    const std::string prog = CopyProgram(m_dir.Path());
    ASSERT_FALSE(prog.empty());
    QProcess second;
    const QProcessEnvironment env = PlayerEnvironment();
    second.setProcessEnvironment(env);
    second.start(QString::fromStdString(prog), {});
    ASSERT_TRUE(second.waitForStarted(10000));
    ASSERT_TRUE(WaitForEnd(second, 60000)) << "the second copy did not end";
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
    QCoreApplication::processEvents();
    EXPECT_TRUE(m_app->m_pMainWnd->isVisible());
    EXPECT_FALSE(m_app->m_pMainWnd->isMinimized());
    EXPECT_FALSE(CTempDir::Read(m_dir / "Sorvix.ini").empty())
        << "the refused copy writes its settings on the way out";
}

TEST_F(SorvaneApp, TerminationSignalsEndThePlayerThroughItsNormalExit)
{
    // Catches a player ended at logout or by kill that loses the settings of its run.
    const std::string prog = CopyProgram(m_dir.Path());
    ASSERT_FALSE(prog.empty());
    const QProcessEnvironment env = PlayerEnvironment();
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        std::filesystem::remove(m_dir / "Sorvix.ini");
        QProcess player;
        player.setProcessEnvironment(env);
        player.start(QString::fromStdString(prog), {});
        ASSERT_TRUE(player.waitForStarted(10000));
        // The rendezvous is made once the main window shows.
        QElapsedTimer started;
        started.start();
        while (!std::filesystem::exists(m_strRuntime + "/Sorvix") && started.elapsed() < 60000)
            player.waitForFinished(20);
        ASSERT_EQ(::kill(static_cast<pid_t>(player.processId()), signal), 0);
        ASSERT_TRUE(player.waitForFinished(60000)) << signal;
        EXPECT_EQ(player.exitStatus(), QProcess::NormalExit) << signal;
        EXPECT_EQ(player.exitCode(), 0) << player.readAllStandardError().toStdString();
        EXPECT_FALSE(CTempDir::Read(m_dir / "Sorvix.ini").empty()) << signal;
        EXPECT_NE(CTempDir::Read(m_dir / kKeptQueueFileName).find(kKeptQueueMagic),
                  std::string::npos)
            << signal;
        EXPECT_FALSE(std::filesystem::exists(m_strRuntime + "/Sorvix")) << signal;
    }
}

// Catches a player that SIGTERM does not end while a message box is open and more are to
// follow (each further box ran a loop of its own), or that ends without its settings.
TEST_F(SorvaneApp, SigtermWithMessageBoxesOpenAndPendingEndsThePlayerWithItsSettings)
{
    const CXvfbServer server;
    Display* pProbe = server.Ok() ? XOpenDisplay(server.Display().c_str()) : nullptr;
    if (pProbe == nullptr)
        GTEST_SKIP() << "Xvfb could not be started or takes no clients";
    XCloseDisplay(pProbe);
    const std::string prog = CopyProgram(m_dir.Path());
    ASSERT_FALSE(prog.empty());
    QProcessEnvironment env = PlayerEnvironment();
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("DISPLAY", QString::fromStdString(server.Display()));
    const QString refused = QString::fromStdString(m_dir.Write("refused.xyz", "no audio"));
    // Whether a window titled title shows within a minute while player runs.
    const auto windowShows = [&server](QProcess& player, const char* title) {
        QElapsedTimer waited;
        waited.start();
        while (FindX11Window(server.Display().c_str(), title) == nullptr) {
            if (waited.elapsed() > 60000 || player.state() != QProcess::Running)
                return false;
            player.waitForFinished(50);
        }
        return true;
    };
    // The boxes of a refused file at start-up, before the main loop runs, and those of a
    // refused file handed over by another copy, inside the main loop.
    for (const bool bAtStart : {true, false}) {
        std::filesystem::remove(m_dir / "Sorvix.ini");
        QProcess player;
        player.setProcessEnvironment(env);
        player.start(QString::fromStdString(prog),
                     bAtStart ? QStringList{"--play", refused} : QStringList{});
        ASSERT_TRUE(player.waitForStarted(10000));
        if (!bAtStart) {
            ASSERT_TRUE(windowShows(player, CSorvaneApp::kMainWindowTitle))
                << player.readAllStandardError().toStdString();
            QProcess other;
            other.setProcessEnvironment(env);
            other.start(QString::fromStdString(prog), {"--play", refused});
            ASSERT_TRUE(other.waitForFinished(60000));
        }
        ASSERT_TRUE(windowShows(player, kAppTitle))
            << "no message box opened: " << player.readAllStandardError().toStdString();
        QElapsedTimer ending;
        ending.start();
        ASSERT_EQ(::kill(static_cast<pid_t>(player.processId()), SIGTERM), 0);
        const bool bEnded = player.waitForFinished(10000);
        std::printf("SIGTERM with boxes open (%s): ended after %lld ms\n",
                    bAtStart ? "at start" : "in the main loop",
                    static_cast<long long>(ending.elapsed()));
        if (!bEnded) {
            player.kill();
            player.waitForFinished(10000);
        }
        ASSERT_TRUE(bEnded) << bAtStart;
        EXPECT_EQ(player.exitStatus(), QProcess::NormalExit) << bAtStart;
        EXPECT_FALSE(CTempDir::Read(m_dir / "Sorvix.ini").empty()) << bAtStart;
    }
}

// Catches a player whose exit waits on a sound server that stopped answering (the main
// thread waited in the sound output for ever): SIGTERM ends it, with its settings.
TEST_F(SorvaneApp, SigtermWhileTheSoundServerIsStoppedEndsThePlayerWithItsSettings)
{
    CPulseServer server(true);
    ASSERT_TRUE(server.Running());
    const std::string prog = CopyProgram(m_dir.Path());
    ASSERT_FALSE(prog.empty());
    QProcessEnvironment env = PlayerEnvironment();
    env.insert("SDL_AUDIODRIVER", "pulseaudio");
    env.insert("PULSE_SERVER", QString::fromStdString(server.Address()));
    env.insert("PULSE_CLIENTCONFIG", QString::fromStdString(server.ClientConfig()));
    WavTone tone;
    tone.nRate = 8000;
    tone.nFrames = 8000 * 60;
    const std::string wav = m_dir.Write("long.wav", MakeWav(tone));
    QProcess player;
    player.setProcessEnvironment(env);
    player.start(QString::fromStdString(prog), {QString::fromStdString(wav)});
    ASSERT_TRUE(player.waitForStarted(10000));
    QElapsedTimer started;
    started.start();
    while (!server.HasPlayer() && started.elapsed() < 60000)
        player.waitForFinished(20);
    ASSERT_TRUE(server.HasPlayer()) << player.readAllStandardError().toStdString();
    server.Stop();
    QElapsedTimer ending;
    ending.start();
    ASSERT_EQ(::kill(static_cast<pid_t>(player.processId()), SIGTERM), 0);
    const bool bEnded = player.waitForFinished(20000);
    std::printf("SIGTERM with the sound server stopped: ended after %lld ms\n",
                static_cast<long long>(ending.elapsed()));
    if (!bEnded) {
        player.kill();
        player.waitForFinished(10000);
    }
    ASSERT_TRUE(bEnded);
    EXPECT_EQ(player.exitStatus(), QProcess::NormalExit);
    EXPECT_FALSE(CTempDir::Read(m_dir / "Sorvix.ini").empty());
}

// Catches --play that starts a second player, or whose files replace the running copy's
// queue other than the open button does (all of them queued, the first playing), and a copy
// that hands its files over and then writes the settings and the profile on its way out.
TEST_F(SorvaneApp, PlayFromASecondCopyReplacesTheRunningQueueAndPlaysTheFirst)
{
    ASSERT_EQ(Start(), 1);
    Doc()->EnqueueFiles({Wav("old.wav")});
    const std::string first = Wav("first.wav");
    const std::string second = Wav("second.wav");

    const std::string prog = CopyProgram(m_dir.Path());
    ASSERT_FALSE(prog.empty());
    QProcess other;
    const QProcessEnvironment env = PlayerEnvironment();
    other.setProcessEnvironment(env);
    other.setWorkingDirectory(QString::fromStdString(m_dir.Path()));
    other.start(QString::fromStdString(prog),
                {"--play", "first.wav", QString::fromStdString(second)});
    ASSERT_TRUE(other.waitForStarted(10000));
    ASSERT_TRUE(WaitForEnd(other, 60000)) << "the second copy did not end";
    EXPECT_EQ(other.exitCode(), 0) << other.readAllStandardError().toStdString();
    QCoreApplication::processEvents();
    ASSERT_EQ(Doc()->GetQueue().GetCount(), 2);
    EXPECT_EQ(Doc()->GetQueue().GetAt(0), first);
    EXPECT_EQ(Doc()->GetQueue().GetAt(1), second);
    EXPECT_EQ(Doc()->GetTitle(), "first.wav");
    EXPECT_EQ(Doc()->GetMode(), static_cast<int>(MCI_MODE_PLAY));
    EXPECT_FALSE(std::filesystem::exists(m_dir / "Sorvix.ini"));
}

TEST_F(SorvaneApp, AStaleRendezvousLeftByAnEndedPlayerIsReplaced)
{
    const std::string path = RendezvousPath("Sorvix");
    m_dir.Write("runtime/Sorvix", "left behind");
    ASSERT_EQ(path, m_strRuntime + "/Sorvix");
    ASSERT_EQ(Start(), 1);
    EXPECT_NE(FindRendezvousWindow("Sorvix"), nullptr);
}

TEST_F(SorvaneApp, GarbageOnTheRendezvousIsDroppedAndTheWindowStaysAsItWas)
{
    ASSERT_EQ(Start(), 1);
    m_app->m_pMainWnd->hide();
    QLocalSocket socket;
    socket.connectToServer(QString::fromStdString(RendezvousPath("Sorvix")));
    ASSERT_TRUE(socket.waitForConnected(1000));
    socket.write(QByteArray(200, 'x'));
    socket.flush();
    QElapsedTimer timer;
    timer.start();
    while (socket.state() == QLocalSocket::ConnectedState && timer.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        socket.waitForDisconnected(10);
    }
    EXPECT_NE(socket.state(), QLocalSocket::ConnectedState);
    EXPECT_FALSE(m_app->m_pMainWnd->isVisible());
}

// Catches a list that keeps duplicates, grows past its size or loses the newest entry.
TEST(RecentFileList, KeepsTheNewestFirstWithoutDuplicatesUpToItsSize)
{
    CRecentFileList list(4);
    for (const char* path : {"a", "b", "c", "a", "d", "e"})
        list.Add(path);
    EXPECT_EQ(list.GetEntries(), (std::vector<std::string>{"e", "d", "a", "c"}));
}

} // namespace
