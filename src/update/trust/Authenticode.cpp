#include "update/trust/Authenticode.h"

#include <softpub.h>
#include <wintrust.h>

#include <algorithm>
#include <cstdio>

#include "resource.h"
#include "support/RawResource.h"
#include "support/Sha256.h"

namespace
{
// A WinVerifyTrust state: verified on construction, released on
// destruction, as the platform requires of every verification it opened.
class TrustVerification
{
  public:
    TrustVerification(HANDLE file, const std::wstring& path)
    {
        m_file.cbStruct = sizeof m_file;
        m_file.pcwszFilePath = path.c_str();
        // The caller's handle: the file is read through it, not reopened.
        m_file.hFile = file == INVALID_HANDLE_VALUE ? nullptr : file;
        m_data.cbStruct = sizeof m_data;
        m_data.dwUIChoice = WTD_UI_NONE;
        m_data.fdwRevocationChecks = WTD_REVOKE_NONE;
        m_data.dwUnionChoice = WTD_CHOICE_FILE;
        m_data.pFile = &m_file;
        m_data.dwStateAction = WTD_STATEACTION_VERIFY;
        m_data.dwProvFlags = WTD_REVOCATION_CHECK_NONE;
        m_status = ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &m_action, &m_data);
    }
    ~TrustVerification()
    {
        m_data.dwStateAction = WTD_STATEACTION_CLOSE;
        ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &m_action, &m_data);
    }
    TrustVerification(const TrustVerification&) = delete;
    TrustVerification& operator=(const TrustVerification&) = delete;

    LONG Status() const { return m_status; }

    // The encoded signer certificate, while this verification lives.
    const CERT_CONTEXT* SignerCertificate() const
    {
        CRYPT_PROVIDER_DATA* provider =
            m_data.hWVTStateData ? ::WTHelperProvDataFromStateData(m_data.hWVTStateData) : nullptr;
        CRYPT_PROVIDER_SGNR* signer =
            provider ? ::WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
        CRYPT_PROVIDER_CERT* cert = signer ? ::WTHelperGetProvCertFromChain(signer, 0) : nullptr;
        return cert ? cert->pCert : nullptr;
    }

  private:
    GUID m_action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    WINTRUST_FILE_INFO m_file{};
    WINTRUST_DATA m_data{};
    LONG m_status = 0;
};

AuthenticodeState StateOf(LONG status)
{
    switch (status)
    {
        case ERROR_SUCCESS:
            return AuthenticodeState::Verified;
        case TRUST_E_NOSIGNATURE:
        case TRUST_E_SUBJECT_FORM_UNKNOWN:
        case TRUST_E_PROVIDER_UNKNOWN:
            return AuthenticodeState::Unsigned;
        case TRUST_E_BAD_DIGEST:
        case TRUST_E_CERT_SIGNATURE:
        case NTE_BAD_SIGNATURE:
        case CRYPT_E_HASH_VALUE:
        // Distrusted on purpose, or revoked: worse than unsigned.
        case TRUST_E_EXPLICIT_DISTRUST:
        case CERT_E_REVOKED:
            return AuthenticodeState::Broken;
        default:
            return AuthenticodeState::NotTrusted;
    }
}
} // namespace

AuthenticodeResult CheckAuthenticode(HANDLE file, const std::wstring& path)
{
    TrustVerification verification(file, path);
    AuthenticodeResult result{StateOf(verification.Status()), verification.Status(), std::nullopt};
    // The platform's property for a certificate's SHA-256 is not available
    // everywhere; hashing its bytes is.
    const CERT_CONTEXT* signer = verification.SignerCertificate();
    if (signer && signer->pbCertEncoded && signer->cbCertEncoded > 0)
    {
        Sha256 hash;
        hash.Update(signer->pbCertEncoded, signer->cbCertEncoded);
        if (hash.IsValid())
            result.signerSha256 = hash.Finish();
    }
    return result;
}

std::vector<std::array<BYTE, 32>> ParsePinnedThumbprints(const std::string& text)
{
    std::vector<std::array<BYTE, 32>> pins;
    size_t start = 0;
    while (start <= text.size())
    {
        size_t end = text.find_first_of(";, \t\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        if (end > start)
        {
            const auto pin = DigestOfHex(std::wstring(text.begin() + start, text.begin() + end));
            if (!pin)
                return {std::array<BYTE, 32>{}};
            pins.push_back(*pin);
        }
        start = end + 1;
    }
    return pins;
}

std::vector<std::array<BYTE, 32>> PinnedSignerThumbprints(HMODULE module)
{
    const auto text = LoadRawResource(module, IDR_PINNED_SIGNERS);
    if (!text)
        return {};
    auto pins = ParsePinnedThumbprints(*text);
    // Embedded but empty is damaged too: it must not unpin the build.
    return pins.empty() ? std::vector<std::array<BYTE, 32>>{std::array<BYTE, 32>{}} : pins;
}

bool AuthenticodeAllowsRun(const AuthenticodeResult& result, const std::vector<std::array<BYTE, 32>>& pins)
{
    if (result.state == AuthenticodeState::Broken)
        return false;
    if (pins.empty())
        return true;
    if (result.state == AuthenticodeState::Unsigned || !result.signerSha256)
        return false;
    return std::find(pins.begin(), pins.end(), *result.signerSha256) != pins.end();
}

std::wstring DescribeAuthenticode(const AuthenticodeResult& result)
{
    static const wchar_t* const kStates[] = {L"unsigned", L"verified", L"broken", L"not trusted"};
    wchar_t status[16] = {};
    std::swprintf(status, 16, L"0x%08lX", static_cast<unsigned long>(result.status));
    std::wstring line = L"Authenticode: ";
    line += kStates[static_cast<int>(result.state)];
    line += L" (";
    line += status;
    line += L")";
    if (result.signerSha256)
        line += L", signer certificate SHA-256 " + HexOfDigest(*result.signerSha256);
    return line;
}
