#pragma once

#include <atomic>
#include <mutex>
#include <thread>

// Contracts checked while the program runs: the thread a function is meant for, the lock it
// expects its caller to hold, a state it relies on. They are active in every build but
// Release (SORVANE_CONTRACTS, set by CMakeLists.txt), so the test, sanitizer and fuzz builds
// stop at the first breach, where it happens, instead of failing later and elsewhere.
//
// A breach prints the condition and where it failed on standard error and aborts.

// Where: __FILE__, __LINE__ and __func__ (std::source_location is not in every compiler the
// project builds with: clang 14, for the fuzz targets, lacks it).
[[noreturn]] void ContractBroken(const char* pszCondition, const char* pszFile, unsigned nLine,
                                 const char* pszFunction);

#if defined(SORVANE_CONTRACTS) && SORVANE_CONTRACTS
#define SORVANE_EXPECT(condition)                                                                  \
    ((condition) ? static_cast<void>(0) : ContractBroken(#condition, __FILE__, __LINE__, __func__))
#else
#define SORVANE_EXPECT(condition) static_cast<void>(0)
#endif

// The thread that started the program (the one that ran static initialisation: main's), on
// which the user interface, the document and the engine run.
bool OnMainThread();

// A lock the caller must hold, passed as proof: true when lock holds mutex.
template<class Mutex>
bool Holds(const std::unique_lock<Mutex>& lock, const Mutex& mutex)
{
    return lock.owns_lock() && lock.mutex() == &mutex;
}

// A role that one thread at a time plays (an object's decode thread, say): Claim on the thread
// that takes it up, Release when it ends; Mine() says whether the calling thread plays it.
class CThreadRole
{
public:
    void Claim() { m_owner.store(std::this_thread::get_id()); }
    void Release() { m_owner.store(std::thread::id{}); }
    bool Mine() const { return m_owner.load() == std::this_thread::get_id(); }

private:
    std::atomic<std::thread::id> m_owner{};
};
