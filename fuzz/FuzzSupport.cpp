#include "fuzz/FuzzSupport.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>
#include <unistd.h>

namespace {

// The readers under test write and flush a file or two per input; on a memory file system
// that costs nothing, on a disk it holds a run to a few hundred inputs a second. A TMPDIR
// given by the caller (run.sh gives its own scratch directory) is used as it is.
std::filesystem::path ScratchParent()
{
    const char* tmpdir = std::getenv("TMPDIR");
    if (tmpdir != nullptr && *tmpdir != '\0')
        return std::filesystem::temp_directory_path();
    std::error_code ec;
    if (std::filesystem::is_directory(kMemoryFileSystem, ec) &&
        ::access(kMemoryFileSystem, W_OK) == 0)
        return kMemoryFileSystem;
    return std::filesystem::temp_directory_path();
}

class CScratchDir
{
public:
    CScratchDir()
    {
        std::string pattern = (ScratchParent() / "sorvane-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("cannot create the fuzz scratch directory");
        m_strPath = pattern;
    }
    ~CScratchDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_strPath, ec);
    }
    CScratchDir(const CScratchDir&) = delete;
    CScratchDir& operator=(const CScratchDir&) = delete;

    const std::string& Path() const { return m_strPath; }

private:
    std::string m_strPath;
};

} // namespace

const std::string& FuzzDir()
{
    static const CScratchDir dir;
    return dir.Path();
}

std::string WriteFuzzFile(std::string_view name, std::string_view bytes)
{
    std::string path = FuzzDir() + "/" + std::string(name);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
    return path;
}

CFuzzPrompts& InstallFuzzPrompts()
{
    static CFuzzPrompts prompts;
    SetPrompts(&prompts);
    return prompts;
}
