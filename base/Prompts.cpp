#include "base/Prompts.h"

#include "base/QtText.h"

#include <atomic>
#include <cstdio>

namespace {

class CStderrPrompts : public IPrompts
{
public:
    void ShowMessage(const std::string& text) override
    {
        std::fprintf(stderr, "%s: %s\n", kAppTitle, FromQString(TrMessage(text)).c_str());
    }
    bool AskFiles(const FileDialogRequest&, std::vector<std::string>&) override { return false; }
    bool AskColor(COLORREF, COLORREF&) override { return false; }
};

CStderrPrompts g_stderrPrompts;
std::atomic<IPrompts*> g_pPrompts{nullptr};

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

} // namespace

IPrompts& Prompts()
{
    IPrompts* p = g_pPrompts.load();
    return p != nullptr ? *p : g_stderrPrompts;
}

IPrompts* SetPrompts(IPrompts* prompts)
{
    return g_pPrompts.exchange(prompts);
}

std::string ConvertFilter(std::string_view filter)
{
    std::vector<std::string_view> parts;
    while (!filter.empty()) {
        const std::size_t bar = filter.find('|');
        parts.push_back(filter.substr(0, bar));
        if (bar == std::string_view::npos)
            break;
        filter.remove_prefix(bar + 1);
    }
    std::string result;
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].empty() && parts[i + 1].empty())
            break;
        std::string patterns;
        std::string_view list = parts[i + 1];
        while (!list.empty()) {
            const std::size_t semi = list.find(';');
            const std::string_view one = Trim(list.substr(0, semi));
            if (!one.empty()) {
                if (!patterns.empty())
                    patterns += ' ';
                patterns += one;
            }
            if (semi == std::string_view::npos)
                break;
            list.remove_prefix(semi + 1);
        }
        if (!result.empty())
            result += ";;";
        result.append(parts[i]).append(" (").append(patterns).append(")");
    }
    return result;
}
