#include "engine/PluginLibrary.h"

#include "base/MbString.h"
#include "base/ModulePath.h"
#include "base/Path.h"

#include <dlfcn.h>

std::string PluginFileName(std::string_view strName)
{
    constexpr std::string_view kWindowsSuffix = ".dll";
    if (EndsWithNoCase(strName, kWindowsSuffix) && strName.size() > kWindowsSuffix.size())
        return std::string(strName.substr(0, strName.size() - kWindowsSuffix.size())) + ".so";
    return std::string(strName);
}

void* LoadPluginLibrary(std::string_view strName, const std::string& strDirectory)
{
    const std::string file = PluginFileName(strName);
    if (file.empty())
        return nullptr;
    if (!strDirectory.empty())
        return ::dlopen(JoinPath(strDirectory, file).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (void* lib = OpenProgramLibrary(file))
        return lib;
    return ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* FindPluginExport(void* hLibrary, const char* pszName)
{
    if (hLibrary == nullptr || pszName == nullptr)
        return nullptr;
    return ::dlsym(hLibrary, pszName);
}

void FreePluginLibrary(void* hLibrary)
{
    if (hLibrary != nullptr)
        ::dlclose(hLibrary);
}
