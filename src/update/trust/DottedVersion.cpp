#include "update/trust/DottedVersion.h"

#include <algorithm>
#include <vector>

namespace
{
// The components without their leading zeros ("0" is ""), so that numbers
// of any length compare by length first, then digit by digit.
std::optional<std::vector<std::wstring>> Components(const std::wstring& text)
{
    std::vector<std::wstring> components;
    if (text.empty())
        return components;
    size_t start = 0;
    for (;;)
    {
        const size_t end = std::min(text.find(L'.', start), text.size());
        if (end == start)
            return std::nullopt;
        std::wstring number;
        for (size_t i = start; i < end; ++i)
        {
            if (text[i] < L'0' || text[i] > L'9')
                return std::nullopt;
            if (!number.empty() || text[i] != L'0')
                number.push_back(text[i]);
        }
        components.push_back(number);
        if (end == text.size())
            return components;
        start = end + 1;
    }
}
} // namespace

std::optional<int> CompareDottedVersions(const std::wstring& a, const std::wstring& b)
{
    const auto left = Components(a), right = Components(b);
    if (!left || !right)
        return std::nullopt;
    for (size_t i = 0; i < std::max(left->size(), right->size()); ++i)
    {
        const std::wstring& x = i < left->size() ? (*left)[i] : std::wstring();
        const std::wstring& y = i < right->size() ? (*right)[i] : std::wstring();
        if (x.size() != y.size())
            return x.size() < y.size() ? -1 : 1;
        if (x != y)
            return x < y ? -1 : 1;
    }
    return 0;
}
