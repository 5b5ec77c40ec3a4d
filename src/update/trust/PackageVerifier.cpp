#include "update/trust/PackageVerifier.h"

#include "support/RunLog.h"
#include "update/trust/Authenticode.h"

PackageVerifier::PackageVerifier(std::optional<uint64_t> size, std::optional<Sha256Digest> sha256,
                                 std::vector<std::array<BYTE, 32>> pins)
    : m_size(size), m_sha256(sha256), m_pins(std::move(pins))
{
}

bool PackageVerifier::Fail(const std::wstring& failure)
{
    m_failure = failure;
    LogEvent(L"verify: " + failure);
    return false;
}

bool PackageVerifier::AcceptsTotal(uint64_t total)
{
    if (m_size && *m_size != total)
        return Fail(L"size mismatch: the offer names " + std::to_wstring(*m_size) +
                    L" bytes, the package at hand has " + std::to_wstring(total));
    return true;
}

void PackageVerifier::Restart()
{
    m_hash.reset();
    m_hashed = 0;
    if (ComparesBytes())
        m_hash = std::make_unique<Sha256Pipeline>();
}

void PackageVerifier::Add(const void* data, size_t size)
{
    if (!m_hash && ComparesBytes())
        Restart();
    if (m_hash)
        m_hash->Update(data, size);
    m_hashed += size;
}

bool PackageVerifier::Finish()
{
    if (!m_hash && ComparesBytes())
        Restart();
    Sha256Digest digest{};
    bool hashValid = false;
    if (m_hash)
    {
        // Waits for the hashing thread to catch up with the last bytes.
        digest = m_hash->Finish();
        hashValid = m_hash->IsValid();
    }
    if (m_size && *m_size != m_hashed)
        return Fail(L"size mismatch: expected " + std::to_wstring(*m_size) + L" bytes, found " +
                    std::to_wstring(m_hashed));
    if (ComparesBytes() && !hashValid)
        return Fail(L"the package could not be hashed");
    if (m_sha256)
    {
        if (digest != *m_sha256)
            return Fail(L"SHA-256 mismatch: expected " + HexOfDigest(*m_sha256) + L", found " +
                        HexOfDigest(digest));
        LogEvent(L"verify: size " + std::to_wstring(m_hashed) + L" and SHA-256 " + HexOfDigest(digest) +
                 L" match the record");
    }
    return true;
}

bool PackageVerifier::AcceptsAuthenticode(HANDLE file, const std::wstring& path)
{
    const AuthenticodeResult result = CheckAuthenticode(file, path);
    LogEvent(L"verify: " + DescribeAuthenticode(result));
    if (AuthenticodeAllowsRun(result, m_pins))
        return true;
    return Fail(m_pins.empty() ? L"the package's Authenticode signature is broken"
                               : L"the package's Authenticode signer is not one this build pins");
}
