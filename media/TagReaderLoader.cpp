// Loads the tag readers' module (TagReader.h) the first time a file's tags are wanted.
//
// Threads: any; the module is loaded under the C++ run time's lock of a static's first use.

#include "media/TagReader.h"

#include "base/ModulePath.h"

#include <dlfcn.h>

#include <cstdio>

namespace {

constexpr const char* kTagReaderModule = "libsorvane_tagreader.so";

} // namespace

const TagReaderTable* LoadedTagReader()
{
    static const TagReaderTable* const table = []() -> const TagReaderTable* {
        void* module = OpenProgramLibrary(kTagReaderModule);
        if (module == nullptr) {
            std::fprintf(stderr, "sorvane: tags cannot be read (%s)\n", dlerror());
            return nullptr;
        }
        using Entry = const TagReaderTable* (*)();
        const auto entry = reinterpret_cast<Entry>(dlsym(module, "SorvaneTagReader"));
        if (entry == nullptr) {
            std::fprintf(stderr, "sorvane: tags cannot be read (%s has no reader)\n",
                         kTagReaderModule);
            return nullptr;
        }
        return entry();
    }();
    return table;
}
