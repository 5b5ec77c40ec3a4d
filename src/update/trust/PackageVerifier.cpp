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
    std::wstring found;
    if (!size.empty() && !ParsePackageSize(size, bytes))
        found = L"the record's size \"" + size + L"\" is malformed";
    else if (!sha256.empty() && !ParseSha256Hex(sha256, digest))
        found = L"the record's sha256 \"" + sha256 + L"\" is malformed";
    else if (!signature.empty() && !ParseSignatureText(signature, raw))
        found = L"the record's signature is not base64 of a DER ECDSA signature";
    if (!found.empty())
    {
        problem = found;
        return false;
    }
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
    else if (m_expected.manifest.empty())
        m_precondition = L"the package's name or version cannot be put in a manifest";
    else if (!VerifiesManifest())
        m_precondition =
            L"the signature does not verify with the publisher's key over the package's manifest";
    else
        LogEvent(L"verify: the publisher's signature over the package's manifest verifies");
}

bool PackageVerifier::VerifiesManifest() const
{
    Sha256 hash;
    hash.Update(m_expected.manifest.data(), m_expected.manifest.size());
    return hash.IsValid() && m_key->Verify(hash.Finish(), *m_expected.signature);
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
    // The manifest the publisher signed names this size and SHA-256.
    if (m_keyRequired && (!m_expected.sha256 || !m_expected.size || !m_precondition.empty()))
        return Fail(L"the package is not bound by a signed manifest");
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
