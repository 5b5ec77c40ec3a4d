#include "update/trust/PackageManifest.h"

#include "support/CodePages.h"

const char kManifestHeading[] = "QVXLiveUpdate package manifest 1";

namespace
{
// One line's value: no line break, no zero, and whole UTF-16 (UTF-8 cannot
// carry half a pair, and would carry it as another character).
bool IsManifestValue(const std::wstring& value)
{
    for (size_t i = 0; i < value.size(); ++i)
    {
        const wchar_t c = value[i];
        if (c == L'\0' || c == L'\r' || c == L'\n')
            return false;
        if (IS_HIGH_SURROGATE(c) && i + 1 < value.size() && IS_LOW_SURROGATE(value[i + 1]))
            ++i;
        else if (IS_HIGH_SURROGATE(c) || IS_LOW_SURROGATE(c))
            return false;
    }
    return true;
}
} // namespace

std::optional<std::string> FormatPackageManifest(const std::wstring& name, const std::wstring& version,
                                                 uint64_t size, const Sha256Digest& sha256)
{
    if (name.empty() || !IsManifestValue(name) || !IsManifestValue(version))
        return std::nullopt;
    const std::wstring text = L"name=" + name + L"\nversion=" + version + L"\nsize=" + std::to_wstring(size) +
                              L"\nsha256=" + HexOfDigest(sha256) + L"\n";
    return std::string(kManifestHeading) + "\n" + EncodeText(text, CP_UTF8);
}
