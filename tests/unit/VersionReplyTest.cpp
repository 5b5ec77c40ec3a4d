// The package checks a reply may carry: their text forms, and how a reply
// with them is read and judged.
#include <gtest/gtest.h>

#include "support/SignatureEncoding.h"
#include "update/trust/PackageChecks.h"
#include "update/trust/DottedVersion.h"
#include "update/check/VersionReply.h"

namespace
{
const wchar_t kSignature[] = L"MEUCICkW2RrFysk+A2taHfIR4dUU62wG/OmHHiOL946ytAIMAiEA2EZfqHik+/87RFMyZtxbFhAC\n"
                             L"Te55Z4Y8cvIHGKAFoOQ=";
const wchar_t kSha256[] = L"E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852b855";
} // namespace

TEST(PackageChecks, TextFormsAreTakenStrictly)
{
    uint64_t size = 0;
    EXPECT_TRUE(ParsePackageSize(L"18446744073709551615", size));
    EXPECT_EQ(UINT64_MAX, size);
    EXPECT_TRUE(ParsePackageSize(L"007", size));
    EXPECT_EQ(7u, size);
    for (const wchar_t* text : {L"", L"0", L"18446744073709551616", L"+1", L" 1", L"1 ", L"1e3", L"-1"})
        EXPECT_FALSE(ParsePackageSize(text, size)) << text;

    std::array<BYTE, 32> digest{};
    EXPECT_TRUE(ParseSha256Hex(kSha256, digest));
    EXPECT_EQ(0xE3, digest[0]);
    EXPECT_EQ(0x55, digest[31]);
    const std::wstring hex = kSha256;
    for (const std::wstring& text : {hex.substr(1), hex + L"0", L"G" + hex.substr(1), hex.substr(1) + L" "})
        EXPECT_FALSE(ParseSha256Hex(text, digest)) << text;

    // openssl's wrapped base64 of DER: s keeps its leading zero byte to stay
    // positive, and that byte is no part of s.
    std::array<BYTE, 64> raw{};
    EXPECT_TRUE(ParseSignatureText(kSignature, raw));
    EXPECT_EQ(0x29, raw[0]);
    EXPECT_EQ(0x0C, raw[31]);
    EXPECT_EQ(0xD8, raw[32]);
    EXPECT_EQ(0xE4, raw[63]);
    const std::wstring base64 = kSignature;
    // Only that form: not a cut or padded text, not other characters, not a
    // bit set that the padding leaves unused, and the same numbers not in
    // DER's one form (r with a zero byte it does not need, s without the
    // one that keeps it positive).
    for (const std::wstring& text :
         {base64.substr(4), base64 + L"=", L"!" + base64.substr(1), std::wstring(L"QUJD"),
          base64.substr(0, base64.size() - 2) + L"R=", std::wstring(),
          std::wstring(L"MEYCIQApFtkaxcrJPgNrWh3yEeHVFOtsBvzphx4ji/eOsrQCDAIhANhGX6h4pPv/"
                       L"O0RTMmbcWxYQAk3ueWeGPHLyBxigBaDk"),
          std::wstring(L"MEQCICkW2RrFysk+A2taHfIR4dUU62wG/OmHHiOL946ytAIMAiDYRl+oeKT7/"
                       L"ztEUzJm3FsWEAJN7nlnhjxy8gcYoAWg5A==")})
        EXPECT_FALSE(ParseSignatureText(text, raw)) << text;
    // DER around the same numbers that is not one SEQUENCE of exactly them.
    const auto der = DecodeBase64(WithoutWhiteSpace(base64));
    ASSERT_TRUE(der.has_value());
    std::vector<BYTE> longer = *der, shorter(der->begin(), der->end() - 1), notSequence = *der;
    longer.push_back(0);
    notSequence[0] = 0x31;
    for (const auto& bad : {longer, shorter, notSequence, std::vector<BYTE>{}})
        EXPECT_FALSE(DerSignatureToRaw(bad, raw));
}

TEST(VersionReply, ValuesAreReadAsTheRecordStoresThem)
{
    const std::wstring head = L"<r status-code=\"1\"><newversion>3.0</newversion>";
    VersionReply reply =
        ReadVersionReply(head + L"<SIZE>1024</SIZE><sha256>" + kSha256 + L"</sha256><Signature>\n" +
                         kSignature + L"\n</Signature><size>1</size><desc>a\nb</desc>" +
                         L"<mirror>https://b:8443/x/a.exe</mirror><MIRROR>http://c/a.exe</MIRROR></r>");
    EXPECT_TRUE(reply.hasStatus);
    EXPECT_EQ(L"1024", reply.record.size) << "the first of each";
    EXPECT_EQ(kSha256, reply.record.sha256);
    EXPECT_EQ(std::wstring::npos, reply.record.signature.find_first_of(L" \r\n"))
        << "stored without white space";
    EXPECT_EQ(L"a\r\nb", reply.record.desc);
    EXPECT_EQ((std::vector<std::wstring>{L"https://b:8443/x/a.exe", L"http://c/a.exe"}),
              reply.record.mirrors);
    // Whether a text is an update reply at all, whatever it was labelled.
    EXPECT_TRUE(ReadVersionReply(L"<response status-code=\"0\"/>").hasStatus);
    for (const wchar_t* text :
         {L"<html><body>login</body></html>", L"<r/>", L"not xml", L"<r status-code=\"\"/>"})
        EXPECT_FALSE(ReadVersionReply(text).hasStatus) << text;
}

TEST(DottedVersion, ComparesNumbersComponentByComponent)
{
    // Each newer than the next: numbers, not texts; missing components 0.
    const wchar_t* order[] = {L"18446744073709551616",
                              L"18446744073709551615",
                              L"10",
                              L"3.0.0.1",
                              L"3",
                              L"2.10",
                              L"2.9.9",
                              L"1",
                              L""};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
    {
        EXPECT_EQ(1, CompareDottedVersions(order[i], order[i + 1])) << order[i];
        EXPECT_EQ(-1, CompareDottedVersions(order[i + 1], order[i])) << order[i];
    }
    EXPECT_EQ(0, CompareDottedVersions(L"03.0.0.0", L"3"));
    EXPECT_EQ(0, CompareDottedVersions(L"010.0.0", L"10"));
    for (const wchar_t* text : {L"3.", L".3", L"3..0", L"3.0 beta", L" 3", L"v3", L"-1"})
        EXPECT_FALSE(CompareDottedVersions(text, L"1").has_value()) << text;
}
