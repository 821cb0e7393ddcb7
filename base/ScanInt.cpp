#include "base/ScanInt.h"

#include <climits>
#include <limits>

std::optional<std::uint64_t> ScanDigits(std::string_view text, std::size_t& pos)
{
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    std::size_t i = pos;
    std::uint64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const auto digit = static_cast<std::uint64_t>(text[i] - '0');
        value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
    }
    if (i == pos)
        return std::nullopt;
    pos = i;
    return value;
}

std::optional<int> ScanInt(std::string_view text, std::size_t& pos)
{
    std::size_t i = text.find_first_not_of(" \t\n\v\f\r", pos);
    if (i == std::string_view::npos)
        return std::nullopt;
    const bool negative = text[i] == '-';
    if (text[i] == '+' || text[i] == '-')
        ++i;
    const std::optional<std::uint64_t> magnitude = ScanDigits(text, i);
    if (!magnitude)
        return std::nullopt;
    pos = i;
    if (negative) {
        constexpr auto kMinMagnitude = static_cast<std::uint64_t>(INT_MAX) + 1;
        return *magnitude >= kMinMagnitude ? INT_MIN : -static_cast<int>(*magnitude);
    }
    return *magnitude > static_cast<std::uint64_t>(INT_MAX) ? INT_MAX
                                                            : static_cast<int>(*magnitude);
}
