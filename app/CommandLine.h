#pragma once

#include <string>
#include <vector>

// The player's own command-line options. --play and --enqueue hand files to the player, to
// the copy already running on this desktop when there is one; files named without an option
// play as with --play.
struct CPlayerCommand
{
    enum Action {
        None,    // no option of ours: start as before
        Play,    // --play FILE...: replace the queue and play the first
        Enqueue, // --enqueue FILE...: append to the queue
        Version, // --version: print the version and end
        Help,    // --help, -h: print the usage and end
        Invalid, // a wrong use; m_strError says what
    };
    Action m_nAction = None;
    // The files of --play or --enqueue as absolute paths (file: URIs become paths).
    std::vector<std::string> m_files;
    std::string m_strError;
};

// Reads args (the arguments after the program's name). Every argument that is not an option
// is a file: of --play or --enqueue when given (before or after it), else of --play. The
// toolkit's own options (-style, -platform, ...) are passed over with their values; any
// other option makes the command Invalid with its name in m_strError; after "--" every
// argument is a file. Relative paths are made absolute against the current directory.
CPlayerCommand ParsePlayerCommand(const std::vector<std::string>& args);

// The text --help prints, and the one --version prints.
std::string UsageText();
std::string VersionText();
