#include "app/CommandLine.h"

#include "base/QtText.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

#ifndef SORVANE_VERSION
#define SORVANE_VERSION "0"
#endif

namespace {

std::string AbsolutePath(const std::string& arg)
{
    QString path = ToQString(arg);
    if (path.startsWith(QStringLiteral("file:"))) {
        path = QUrl(path).toLocalFile();
    }
    return FromQString(QFileInfo(path).absoluteFilePath());
}

} // namespace

CPlayerCommand ParsePlayerCommand(const std::vector<std::string>& args)
{
    CPlayerCommand command;
    for (const std::string& arg : args) {
        CPlayerCommand::Action action = CPlayerCommand::None;
        if (arg == "--play") {
            action = CPlayerCommand::Play;
        } else if (arg == "--enqueue") {
            action = CPlayerCommand::Enqueue;
        } else if (arg == "--version") {
            action = CPlayerCommand::Version;
        } else if (arg == "--help" || arg == "-h") {
            action = CPlayerCommand::Help;
        }
        if (action == CPlayerCommand::Help || action == CPlayerCommand::Version) {
            command.m_nAction = action;
            return command;
        }
        if (action != CPlayerCommand::None) {
            if (command.m_nAction != CPlayerCommand::None && command.m_nAction != action) {
                command.m_nAction = CPlayerCommand::Invalid;
                command.m_strError = "--play and --enqueue cannot be given together";
                return command;
            }
            command.m_nAction = action;
            continue;
        }
        if (command.m_nAction != CPlayerCommand::None && !arg.empty() && arg.front() != '-') {
            command.m_files.push_back(AbsolutePath(arg));
        }
    }
    if (command.m_nAction != CPlayerCommand::None && command.m_files.empty()) {
        command.m_strError = command.m_nAction == CPlayerCommand::Play
                                 ? "--play needs at least one file"
                                 : "--enqueue needs at least one file";
        command.m_nAction = CPlayerCommand::Invalid;
    }
    return command;
}

std::string UsageText()
{
    return "Usage: sorvane [OPTION] [FILE...]\n"
           "A compact audio player for audio files, M3U playlists and audio CDs.\n"
           "Plays .mid .wav .mp3 .mp2 .mp .flac .ogg .oga .opus .m4a .mp4 .aac .wma .wv .ape\n"
           ".aif .aiff .mka .tta files and .m3u playlists.\n"
           "\n"
           "  --play FILE...     replace the play queue with the files and play the first\n"
           "  --enqueue FILE...  append the files to the play queue\n"
           "  --version          print the version and exit\n"
           "  -h, --help         print this help and exit\n"
           "\n"
           "When the player already runs on this desktop, --play and --enqueue go to it and\n"
           "this command ends at once. A FILE without an option only names the document.\n";
}

std::string VersionText()
{
    return std::string("sorvane ") + SORVANE_VERSION + "\n";
}
