#include "update/trust/PackageVerifier.h"

#include "support/RunLog.h"
#include "update/trust/Authenticode.h"
#include "update/trust/PackageChecks.h"

bool ParsePackageExpectation(const std::wstring& size, const std::wstring& sha256,
                             const std::wstring& signature, PackageExpectation& expectation,
                             std::wstring& problem)
{
    PackageExpectation parsed;
    uint64_t bytes = 0;
    Sha256Digest digest{};
    std::array<BYTE, 64> raw{};
    if (!size.empty() && !ParsePackageSize(size, bytes))
        problem = L"the record's size \"" + size + L"\" is malformed";
    else if (!sha256.empty() && !ParseSha256Hex(sha256, digest))
        problem = L"the record's sha256 \"" + sha256 + L"\" is malformed";
    else if (!signature.empty() && !ParseSignatureText(signature, raw))
        problem = L"the record's signature is not base64 of a DER ECDSA signature";
    if (!problem.empty())
        return false;
    if (!size.empty())
        parsed.size = bytes;
    if (!sha256.empty())
        parsed.sha256 = digest;
    if (!signature.empty())
        parsed.signature = raw;
    expectation = parsed;
    return true;
}

PackageVerifier::PackageVerifier(const PackageExpectation& expected, bool keyRequired,
                                 std::optional<PublisherKey> key, std::vector<std::array<BYTE, 32>> pins)
    : m_expected(expected), m_keyRequired(keyRequired), m_key(std::move(key)), m_pins(std::move(pins))
{
    if (!m_keyRequired)
        return;
    if (!m_key)
        m_precondition = L"the build's publisher key cannot be used";
    else if (!m_expected.signature || !m_expected.sha256 || !m_expected.size)
        m_precondition = std::wstring(L"the record lacks the package's ") +
                         (!m_expected.signature ? L"signature"
                          : !m_expected.sha256  ? L"sha256"
                                                : L"size") +
                         L", which this build requires";
}

bool PackageVerifier::Fail(const std::wstring& failure)
{
    m_failure = failure;
    LogEvent(L"verify: " + failure);
    return false;
}

bool PackageVerifier::AcceptsTotal(uint64_t total)
{
    if (m_expected.size && *m_expected.size != total)
        return Fail(L"size mismatch: the record names " + std::to_wstring(*m_expected.size) +
                    L" bytes, the server announces " + std::to_wstring(total));
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
    if (m_expected.size && *m_expected.size != m_hashed)
        return Fail(L"size mismatch: expected " + std::to_wstring(*m_expected.size) + L" bytes, found " +
                    std::to_wstring(m_hashed));
    if (ComparesBytes() && !hashValid)
        return Fail(L"the package could not be hashed");
    if (m_expected.sha256)
    {
        if (digest != *m_expected.sha256)
            return Fail(L"SHA-256 mismatch: expected " + HexOfDigest(*m_expected.sha256) + L", found " +
                        HexOfDigest(digest));
        LogEvent(L"verify: size " + std::to_wstring(m_hashed) + L" and SHA-256 " + HexOfDigest(digest) +
                 L" match the record");
    }
    if (m_keyRequired)
    {
        if (!m_key || !m_expected.signature || !m_key->Verify(digest, *m_expected.signature))
            return Fail(L"the signature does not verify with the publisher's key (SHA-256 " +
                        HexOfDigest(digest) + L")");
        LogEvent(L"verify: the publisher's signature verifies");
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
