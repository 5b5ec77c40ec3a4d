// The signature's travel forms: base64 text around DER around r||s.
#include <gtest/gtest.h>

#include "support/SignatureEncoding.h"

namespace
{
// openssl dgst -sha256 -sign: s has a leading zero byte to keep it positive.
const char kDer[] = "MEUCICkW2RrFysk+A2taHfIR4dUU62wG/OmHHiOL946ytAIMAiEA2EZfqHik+/87RFMyZtxbFhAC\n"
                    "Te55Z4Y8cvIHGKAFoOQ=";
} // namespace

TEST(SignatureEncoding, WrappedBase64OfDerBecomesRawPair)
{
    const auto der = DecodeBase64(std::wstring(kDer, kDer + sizeof kDer - 1));
    ASSERT_TRUE(der.has_value());
    ASSERT_EQ(71u, der->size());
    std::array<BYTE, 64> raw{};
    ASSERT_TRUE(DerSignatureToRaw(*der, raw));
    EXPECT_EQ(0x29, raw[0]);
    EXPECT_EQ(0x0C, raw[31]);
    EXPECT_EQ(0xD8, raw[32]) << "the sign byte is not part of s";
    EXPECT_EQ(0xE4, raw[63]);

    std::vector<BYTE> longer = *der;
    longer.push_back(0);
    std::vector<BYTE> shorter(der->begin(), der->end() - 1);
    std::vector<BYTE> notSequence = *der;
    notSequence[0] = 0x31;
    // The same numbers in forms DER does not allow: r with a zero byte it
    // does not need, s without the one that keeps it positive.
    std::vector<BYTE> paddedR = *der;
    paddedR.insert(paddedR.begin() + 4, 0x00);
    ++paddedR[1], ++paddedR[3];
    std::vector<BYTE> negativeS = *der;
    negativeS.erase(negativeS.begin() + 4 + (*der)[3] + 2);
    --negativeS[1], --negativeS[4 + (*der)[3] + 1];
    for (const auto& bad : {longer, shorter, notSequence, paddedR, negativeS, std::vector<BYTE>{}})
        EXPECT_FALSE(DerSignatureToRaw(bad, raw));
}

TEST(SignatureEncoding, NonBase64IsRefused)
{
    for (const wchar_t* text : {L"", L"not base64!", L"@@@@"})
        EXPECT_FALSE(DecodeBase64(text).has_value()) << text;
}
