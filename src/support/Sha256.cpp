#include "support/Sha256.h"

#include <algorithm>

namespace
{
bool Succeeded(NTSTATUS status)
{
    return status >= 0;
}
} // namespace

Sha256::Sha256()
{
    DWORD stateSize = 0;
    ULONG written = 0;
    if (!Succeeded(
            ::BCryptOpenAlgorithmProvider(m_algorithm.Receive(), BCRYPT_SHA256_ALGORITHM, nullptr, 0)) ||
        !Succeeded(::BCryptGetProperty(m_algorithm.Get(), BCRYPT_OBJECT_LENGTH,
                                       reinterpret_cast<PUCHAR>(&stateSize), sizeof stateSize, &written, 0)))
        return;
    try
    {
        m_state.resize(stateSize);
    }
    catch (...)
    {
        return;
    }
    m_valid = Succeeded(::BCryptCreateHash(m_algorithm.Get(), m_hash.Receive(), m_state.data(),
                                           static_cast<ULONG>(m_state.size()), nullptr, 0, 0));
}

void Sha256::Update(const void* data, size_t size)
{
    // The platform takes 32-bit counts.
    const auto* bytes = static_cast<const BYTE*>(data);
    while (m_valid && size > 0)
    {
        const ULONG piece = static_cast<ULONG>(std::min<size_t>(size, 0x40000000));
        m_valid = Succeeded(::BCryptHashData(m_hash.Get(), const_cast<PUCHAR>(bytes), piece, 0));
        bytes += piece;
        size -= piece;
    }
}

Sha256Digest Sha256::Finish()
{
    Sha256Digest digest{};
    if (m_valid &&
        !Succeeded(::BCryptFinishHash(m_hash.Get(), digest.data(), static_cast<ULONG>(digest.size()), 0)))
        digest.fill(0);
    m_valid = false;
    return digest;
}

std::wstring HexOfDigest(const Sha256Digest& digest)
{
    static const wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring hex;
    hex.reserve(digest.size() * 2);
    for (BYTE b : digest)
    {
        hex += kDigits[b >> 4];
        hex += kDigits[b & 15];
    }
    return hex;
}

std::optional<Sha256Digest> DigestOfHex(const std::wstring& hex)
{
    if (hex.size() != 64)
        return std::nullopt;
    const auto value = [](wchar_t c) -> int
    {
        if (c >= L'0' && c <= L'9')
            return c - L'0';
        if (c >= L'a' && c <= L'f')
            return c - L'a' + 10;
        if (c >= L'A' && c <= L'F')
            return c - L'A' + 10;
        return -1;
    };
    Sha256Digest digest{};
    for (size_t i = 0; i < digest.size(); ++i)
    {
        const int high = value(hex[2 * i]), low = value(hex[2 * i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        digest[i] = static_cast<BYTE>(high << 4 | low);
    }
    return digest;
}
