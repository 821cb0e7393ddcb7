#include "base/ModulePath.h"

#include "base/Path.h"

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace {

// The name of the program's own folders: its installed library folder and its settings
// folder.
constexpr const char* kProgramFolder = "sorvane";

} // namespace

std::string GetModuleFileName()
{
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.string();
}

std::string GetInstalledLibraryDirectory()
{
    const std::string exe = GetModuleFileName();
    const auto exeDir = DirectoryOf(exe);
    if (!exeDir || exeDir->empty())
        return {};
    const std::string dir = JoinPath(JoinPath(JoinPath(*exeDir, ".."), "lib"), kProgramFolder);
    std::error_code ec;
    return std::filesystem::is_directory(dir, ec) ? dir : std::string();
}

void* OpenProgramLibrary(const std::string& file)
{
    if (const auto exeDir = DirectoryOf(GetModuleFileName())) {
        if (void* lib = ::dlopen(JoinPath(*exeDir, file).c_str(), RTLD_NOW | RTLD_LOCAL))
            return lib;
    }
    const std::string installed = GetInstalledLibraryDirectory();
    return installed.empty() ? nullptr
                             : ::dlopen(JoinPath(installed, file).c_str(), RTLD_NOW | RTLD_LOCAL);
}

std::string GetSettingsDirectory()
{
    const std::string exe = GetModuleFileName();
    const std::string exeDir = DirectoryOf(exe).value_or(exe);
    if (GetInstalledLibraryDirectory().empty() && !exeDir.empty() &&
        ::access(exeDir.c_str(), W_OK) == 0)
        return exeDir;

    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == kPathSeparator)
        return JoinPath(xdg, kProgramFolder);
    const char* home = std::getenv("HOME");
    return JoinPath(JoinPath(home != nullptr ? home : "", ".config"), kProgramFolder);
}
