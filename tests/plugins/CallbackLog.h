#pragma once

#include "pluginapi/PluginInterface.h"

#include <mutex>
#include <utility>
#include <vector>

// Records the decoder's callbacks, which arrive on its decode thread. Record is the
// callback to register, with kUser; it writes into the log constructed last.
class CCallbackLog
{
public:
    static constexpr std::uint32_t kUser = 0x5EED;

    CCallbackLog() { Current() = this; }
    ~CCallbackLog() { Current() = nullptr; }
    CCallbackLog(const CCallbackLog&) = delete;
    CCallbackLog& operator=(const CCallbackLog&) = delete;

    static int Record(int nType, int nValue, std::uint32_t dwUser)
    {
        if (CCallbackLog* log = Current()) {
            std::lock_guard lock(log->m_mutex);
            log->m_calls.emplace_back(nType, nValue);
            log->m_bUsersMatched = log->m_bUsersMatched && dwUser == kUser;
        }
        return 0;
    }

    int Ends() const
    {
        std::lock_guard lock(m_mutex);
        int ends = 0;
        for (const auto& call : m_calls)
            ends += call.first == PLUGIN_CALLBACK_END ? 1 : 0;
        return ends;
    }

    // The reasons of every failure reported, in order.
    std::vector<int> Failures() const
    {
        std::lock_guard lock(m_mutex);
        std::vector<int> reasons;
        for (const auto& call : m_calls)
            if (call.first == PLUGIN_CALLBACK_FAILED)
                reasons.push_back(call.second);
        return reasons;
    }

    // Every elapsed value reported, in order.
    std::vector<int> ElapsedValues() const
    {
        std::lock_guard lock(m_mutex);
        std::vector<int> values;
        for (const auto& call : m_calls)
            if (call.first == PLUGIN_CALLBACK_ELAPSED)
                values.push_back(call.second);
        return values;
    }

    // The last elapsed value reported; -1 before any.
    int LastElapsed() const
    {
        const std::vector<int> values = ElapsedValues();
        return values.empty() ? -1 : values.back();
    }

    // Forgets every call recorded.
    void Clear()
    {
        std::lock_guard lock(m_mutex);
        m_calls.clear();
    }

    bool AllUsersMatched() const
    {
        std::lock_guard lock(m_mutex);
        return m_bUsersMatched;
    }

private:
    static CCallbackLog*& Current()
    {
        static CCallbackLog* current = nullptr;
        return current;
    }

    mutable std::mutex m_mutex;
    std::vector<std::pair<int, int>> m_calls;
    bool m_bUsersMatched = true;
};
