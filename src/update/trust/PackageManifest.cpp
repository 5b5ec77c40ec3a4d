#include "update/trust/PackageManifest.h"

#include "support/CodePages.h"
#include "update/download/PackageName.h"
#include "update/trust/PackageChecks.h"

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

std::optional<std::string> RecordManifest(const UpdateRecord& record, std::wstring& problem)
{
    uint64_t size = 0;
    Sha256Digest sha256{};
    if (!ParsePackageSize(record.size, size))
    {
        problem = record.size.empty() ? L"the record gives no size" : L"the record's size is malformed";
        return std::nullopt;
    }
    if (!ParseSha256Hex(record.sha256, sha256))
    {
        problem = record.sha256.empty() ? L"the record gives no sha256" : L"the record's sha256 is malformed";
        return std::nullopt;
    }
    std::optional<std::string> manifest =
        FormatPackageManifest(LastUrlSegment(record.url), record.version, size, sha256);
    if (!manifest)
        problem = L"the package's name or version cannot be put in a manifest";
    return manifest;
}

bool VerifyRecordSignature(const UpdateRecord& record, const PublisherKey& key, std::wstring& problem)
{
    const std::optional<std::string> manifest = RecordManifest(record, problem);
    if (!manifest)
        return false;
    std::array<BYTE, 64> signature{};
    if (!ParseSignatureText(record.signature, signature))
    {
        problem = record.signature.empty() ? L"the record gives no signature"
                                           : L"the record's signature is not base64 of a DER ECDSA signature";
        return false;
    }
    Sha256 hash;
    hash.Update(manifest->data(), manifest->size());
    const bool hashed = hash.IsValid();
    if (!hashed || !key.Verify(hash.Finish(), signature))
    {
        problem = L"the signature does not verify with the publisher's key over the manifest of \"" +
                  LastUrlSegment(record.url) + L"\" version \"" + record.version + L"\"";
        return false;
    }
    return true;
}
