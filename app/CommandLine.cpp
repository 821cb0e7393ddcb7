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
    if (path.startsWith(QStringLiteral("file:")))
        path = QUrl(path).toLocalFile();
    return FromQString(QFileInfo(path).absoluteFilePath());
}

// The toolkit's own options, which it takes from the command line before the player reads
// it; those marked take the next argument as their value unless written NAME=VALUE.
struct ToolkitOption
{
    const char* pszName;
    bool bValue;
};
constexpr ToolkitOption kToolkitOptions[] = {
    {"platform", true},
    {"platformpluginpath", true},
    {"platformtheme", true},
    {"plugin", true},
    {"qwindowgeometry", true},
    {"qwindowicon", true},
    {"qwindowtitle", true},
    {"session", true},
    {"display", true},
    {"geometry", true},
    {"name", true},
    {"title", true},
    {"visual", true},
    {"style", true},
    {"stylesheet", true},
    {"reverse", false},
    {"nograb", false},
    {"dograb", false},
    {"sync", false},
    {"widgetcount", false},
    {"qmljsdebugger", false},
};

// The toolkit option arg names (with one or two dashes, NAME or NAME=VALUE), or null.
const ToolkitOption* FindToolkitOption(const std::string& arg)
{
    std::string_view name(arg);
    name.remove_prefix(name.starts_with("--") ? 2 : 1);
    const std::size_t equals = name.find('=');
    const std::string_view bare = name.substr(0, equals);
    for (const ToolkitOption& option : kToolkitOptions)
        if (bare == option.pszName)
            return &option;
    return nullptr;
}

CPlayerCommand::Action ActionOf(const std::string& arg)
{
    if (arg == "--play")
        return CPlayerCommand::Play;
    if (arg == "--enqueue")
        return CPlayerCommand::Enqueue;
    if (arg == "--version")
        return CPlayerCommand::Version;
    if (arg == "--help" || arg == "-h")
        return CPlayerCommand::Help;
    return CPlayerCommand::None;
}

} // namespace

CPlayerCommand ParsePlayerCommand(const std::vector<std::string>& args)
{
    CPlayerCommand command;
    bool bBareFiles = false;
    bool bOptionsEnd = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const CPlayerCommand::Action action = bOptionsEnd ? CPlayerCommand::None : ActionOf(arg);
        if (action == CPlayerCommand::Help || action == CPlayerCommand::Version) {
            command.m_nAction = action;
            return command;
        }
        if (action != CPlayerCommand::None) {
            // Files named before an option are that option's files.
            if (command.m_nAction != CPlayerCommand::None && command.m_nAction != action &&
                !bBareFiles) {
                command.m_nAction = CPlayerCommand::Invalid;
                command.m_strError = "--play and --enqueue cannot be given together";
                return command;
            }
            command.m_nAction = action;
            bBareFiles = false;
            continue;
        }
        if (!bOptionsEnd && arg == "--") {
            bOptionsEnd = true;
            continue;
        }
        if (!bOptionsEnd && arg.size() > 1 && arg.front() == '-') {
            if (const ToolkitOption* pOption = FindToolkitOption(arg)) {
                if (pOption->bValue && arg.find('=') == std::string::npos)
                    ++i;
                continue;
            }
            command.m_nAction = CPlayerCommand::Invalid;
            command.m_strError = "unknown option " + arg + " (see --help)";
            return command;
        }
        if (arg.empty())
            continue;
        // A file without an option plays as with --play.
        if (command.m_nAction == CPlayerCommand::None) {
            command.m_nAction = CPlayerCommand::Play;
            bBareFiles = true;
        }
        command.m_files.push_back(AbsolutePath(arg));
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
           "this command ends at once. A FILE without an option plays as with --play. An\n"
           "unknown option is an error (exit status 2).\n";
}

std::string VersionText()
{
    return std::string("sorvane ") + SORVANE_VERSION + "\n";
}
