#include "app/CommandLine.h"
#include "app/SorvaneApp.h"

#include <cstdio>

// The one application object, made during static initialisation.
CSorvaneApp theApp;

int main(int argc, char** argv)
{
    // --help, --version and a wrong use answer without a display or a sound card.
    const CPlayerCommand command =
        ParsePlayerCommand(std::vector<std::string>(argv + 1, argv + argc));
    if (command.m_nAction == CPlayerCommand::Help) {
        std::fputs(UsageText().c_str(), stdout);
        return 0;
    }
    if (command.m_nAction == CPlayerCommand::Version) {
        std::fputs(VersionText().c_str(), stdout);
        return 0;
    }
    if (command.m_nAction == CPlayerCommand::Invalid) {
        std::fprintf(stderr, "sorvane: %s\n", command.m_strError.c_str());
        return CSorvaneApp::kExitUsage;
    }
    return theApp.WinMain(argc, argv);
}
