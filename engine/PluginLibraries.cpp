#include "engine/PluginLibraries.h"

#include "base/Contract.h"
#include "engine/PluginLibrary.h"

CPluginLibraries::~CPluginLibraries()
{
    for (const Library& library : m_libraries)
        FreePluginLibrary(library.hLib);
}

void* CPluginLibraries::Factory(std::string_view strName)
{
    SORVANE_EXPECT(OnMainThread());
    for (const Library& library : m_libraries)
        if (library.strName == strName)
            return library.pCreate;
    void* hLib = LoadPluginLibrary(strName, m_strDirectory);
    void* pCreate = FindPluginExport(hLib, kPluginCreateInstance);
    if (pCreate == nullptr) {
        FreePluginLibrary(hLib);
        return nullptr;
    }
    m_libraries.push_back(Library{std::string(strName), hLib, pCreate});
    return pCreate;
}

CPluginLibraries::Pair CPluginLibraries::Make(std::string_view strName)
{
    void* createDecoder = Factory(strName);
    void* createOutput = Factory(kOutputLibrary);
    if (createDecoder == nullptr || createOutput == nullptr)
        return {};
    Pair pair{reinterpret_cast<DecoderCreateInstanceProc>(createDecoder)(),
              reinterpret_cast<OutputCreateInstanceProc>(createOutput)()};
    if (pair.pDecoder == nullptr || pair.pOutput == nullptr) {
        if (pair.pDecoder != nullptr)
            pair.pDecoder->Release();
        if (pair.pOutput != nullptr)
            pair.pOutput->Release();
        return {};
    }
    return pair;
}

bool CPluginLibraries::Load(std::string_view strName)
{
    const Pair pair = Make(strName);
    if (pair.pDecoder == nullptr)
        return false;
    pair.pDecoder->Release();
    pair.pOutput->Release();
    return true;
}
