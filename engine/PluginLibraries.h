#pragma once

#include "pluginapi/PluginInterface.h"

#include <string>
#include <string_view>
#include <vector>

// The plug-in libraries, each loaded with dlopen on the first file that needs it and kept until
// this object goes; a library that did not load (or lacks CreateInstance) is looked for again
// at the next need. It only makes objects: each open compressed file holds a decoder and an
// output of its own (CreateInstance) and frees them with their Release before this goes.
// User-interface thread only.
class CPluginLibraries
{
public:
    // The output library.
    static constexpr const char* kOutputLibrary = "Voxout.dll";

    CPluginLibraries() = default;
    // Unloads every library; every object made from them has been released.
    ~CPluginLibraries();
    CPluginLibraries(const CPluginLibraries&) = delete;
    CPluginLibraries& operator=(const CPluginLibraries&) = delete;

    // A new decoder of library strName and a new output; both null, with nothing made, when
    // either library, its export or its object is missing.
    struct Pair
    {
        IDecoderPlugin* pDecoder = nullptr;
        IOutputPlugin* pOutput = nullptr;
    };
    Pair Make(std::string_view strName);
    // Loads the decoder library strName and the output library: true when both are there with
    // an export that gives objects.
    bool Load(std::string_view strName);
    // Look for the libraries in strDirectory alone (empty: the normal search). Libraries
    // loaded before stay.
    void SetDirectory(std::string strDirectory) { m_strDirectory = std::move(strDirectory); }

private:
    // The CreateInstance export of strName, loading it when needed; null when missing.
    void* Factory(std::string_view strName);

    struct Library
    {
        std::string strName;
        void* hLib = nullptr;
        void* pCreate = nullptr;
    };
    std::vector<Library> m_libraries;
    std::string m_strDirectory;
};
