#include "base/Contract.h"

#include <cstdio>
#include <cstdlib>

namespace {

// Taken while static objects are made, before main runs and before any thread starts.
const std::thread::id g_mainThread = std::this_thread::get_id();

} // namespace

void ContractBroken(const char* pszCondition, std::source_location where)
{
    std::fprintf(stderr, "%s:%u: %s: contract broken: %s\n", where.file_name(),
                 static_cast<unsigned>(where.line()), where.function_name(), pszCondition);
    std::abort();
}

bool OnMainThread()
{
    return std::this_thread::get_id() == g_mainThread;
}
