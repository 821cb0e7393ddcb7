#pragma once

#include <string>
#include <vector>

// The player's own command-line options. A bare file name keeps its old meaning (the
// document's name, neither queued nor played); --play and --enqueue hand files to the
// player, to the copy already running on this desktop when there is one.
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

// Reads args (the arguments after the program's name). After --play or --enqueue every
// argument that is not an option is one of its files; other options are skipped, as they
// always were. Relative paths are made absolute against the current directory.
CPlayerCommand ParsePlayerCommand(const std::vector<std::string>& args);

// The text --help prints, and the one --version prints.
std::string UsageText();
std::string VersionText();
