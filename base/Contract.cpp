#include "base/Contract.h"

#include <cstdio>
#include <cstdlib>

namespace {

// Taken while static objects are made, before main runs and before any thread starts.
const std::thread::id g_mainThread = std::this_thread::get_id();

} // namespace

void ContractBroken(const char* pszCondition, const char* pszFile, unsigned nLine,
                    const char* pszFunction)
{
    std::fprintf(stderr, "%s:%u: %s: contract broken: %s\n", pszFile, nLine, pszFunction,
                 pszCondition);
    std::abort();
}

bool OnMainThread()
{
    return std::this_thread::get_id() == g_mainThread;
}
