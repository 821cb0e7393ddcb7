#include "tests/support/TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

CTempDir::CTempDir(Place place)
{
    // A /dev/shm smaller than what the heaviest tests write (a container's default is 64 MiB,
    // shared with whatever else runs) would fail them for want of room, not for a fault.
    constexpr std::uintmax_t kMemoryRoom = 512u << 20;
    std::error_code ec;
    const std::filesystem::space_info shm = std::filesystem::space("/dev/shm", ec);
    const std::filesystem::path parent =
        place == Place::Memory && !ec && shm.available >= kMemoryRoom
            ? std::filesystem::path("/dev/shm")
            : std::filesystem::temp_directory_path();
    std::string pattern = (parent / "sorvane-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    m_strPath = pattern;
}

CTempDir::~CTempDir()
{
    std::error_code ec;
    std::filesystem::permissions(m_strPath, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(m_strPath, ec);
}

std::string CTempDir::operator/(std::string_view name) const
{
    return m_strPath + "/" + std::string(name);
}

std::string CTempDir::Write(std::string_view name, std::string_view bytes) const
{
    const std::string path = *this / name;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
}

std::string CTempDir::Read(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
