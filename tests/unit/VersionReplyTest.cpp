// The package checks a reply may carry: their text forms, and how a reply
// with them is read and judged.
#include <gtest/gtest.h>

#include "update/trust/PackageChecks.h"
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

    std::array<BYTE, 64> raw{};
    EXPECT_TRUE(ParseSignatureText(kSignature, raw));
    EXPECT_EQ(0x29, raw[0]);
    const std::wstring base64 = kSignature;
    for (const std::wstring& text :
         {base64.substr(4), base64 + L"=", L"!" + base64.substr(1), std::wstring(L"QUJD")})
        EXPECT_FALSE(ParseSignatureText(text, raw)) << text;
}

TEST(VersionReply, ChecksAreReadAsStoredAndMalformedOnesFailTheCheck)
{
    const std::wstring head = L"<r status-code=\"1\"><newversion>3.0</newversion>";
    VersionReply reply =
        ReadVersionReply(head + L"<SIZE>1024</SIZE><sha256>" + kSha256 + L"</sha256><Signature>\n" +
                         kSignature + L"\n</Signature><size>1</size><desc>a\nb</desc></r>");
    EXPECT_EQ(L"1024", reply.record.size) << "the first of each";
    EXPECT_EQ(kSha256, reply.record.sha256);
    EXPECT_EQ(std::wstring::npos, reply.record.signature.find_first_of(L" \r\n"))
        << "stored without white space";
    EXPECT_EQ(L"a\r\nb", reply.record.desc);
    EXPECT_EQ(ReplyVerdict::NewVersion, JudgeVersionReply(reply));
    EXPECT_EQ(ReplyVerdict::NewVersion, JudgeVersionReply(ReadVersionReply(head + L"</r>"))) << "none given";

    for (const wchar_t* element :
         {L"<size>12 KB</size>", L"<sha256>abc</sha256>", L"<signature>QUJD</signature>"})
        EXPECT_EQ(ReplyVerdict::Unusable, JudgeVersionReply(ReadVersionReply(head + element + L"</r>")))
            << element;
    reply.status = 2;
    reply.record.size = L"not a number";
    EXPECT_EQ(ReplyVerdict::NewVersion, JudgeVersionReply(reply)) << "nothing is recorded for another status";
}

TEST(VersionReply, MirrorsAreWebAddressesOfTheSameFile)
{
    const std::wstring head = L"<r status-code=\"1\"><downloadurl>http://a/QoraSetup.exe</downloadurl>";
    const std::wstring good =
        L"<mirror>https://b:8443/x/qorasetup.exe</mirror><MIRROR>http://c/QoraSetup.exe</MIRROR>";
    const VersionReply reply = ReadVersionReply(head + good + L"</r>");
    EXPECT_EQ((std::vector<std::wstring>{L"https://b:8443/x/qorasetup.exe", L"http://c/QoraSetup.exe"}),
              reply.record.mirrors);
    EXPECT_EQ(ReplyVerdict::NewVersion, JudgeVersionReply(reply));
    for (const std::wstring& bad : {std::wstring(L"<mirror>ftp://b/QoraSetup.exe</mirror>"),
                                    std::wstring(L"<mirror>\\\\b\\QoraSetup.exe</mirror>"),
                                    std::wstring(L"<mirror>http://b/Other.exe</mirror>"),
                                    std::wstring(L"<mirror/>"), good + good + good})
        EXPECT_EQ(ReplyVerdict::Unusable, JudgeVersionReply(ReadVersionReply(head + bad + L"</r>"))) << bad;
}
