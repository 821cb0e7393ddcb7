#pragma once

#include <string>
#include <string_view>

// A fresh directory under the system's temporary directory, removed with its contents
// when the object goes away.
class CTempDir
{
public:
    // Where the directory goes: Memory puts it on /dev/shm when there is one, for tests that
    // write thousands of files and need no disk under them.
    enum class Place { Temporary, Memory };

    explicit CTempDir(Place place = Place::Temporary);
    ~CTempDir();
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;

    const std::string& Path() const { return m_strPath; }
    // Path() joined with name.
    std::string operator/(std::string_view name) const;

    // Writes bytes to name (created or replaced) and returns its full path.
    std::string Write(std::string_view name, std::string_view bytes) const;
    // The bytes of a file; empty when it cannot be read.
    static std::string Read(const std::string& path);

private:
    std::string m_strPath;
};
