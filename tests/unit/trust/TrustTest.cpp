// The trust room: the checks' text forms, the order of versions, the key,
// Authenticode on packages signed by tests/trust/prepare.sh in the fault
// server's files folder, what an offer may be, the package's size and digest.
#include <gtest/gtest.h>

#include "harness/Files.h"
#include "harness/Process.h"
#include "harness/Servers.h"
#include "support/SignatureEncoding.h"
#include "support/Sha256.h"
#include "update/trust/Authenticode.h"
#include "update/trust/DottedVersion.h"
#include "update/trust/Offer.h"
#include "update/trust/PackageChecks.h"
#include "update/trust/PackageManifest.h"
#include "update/trust/PackageVerifier.h"
#include "update/trust/PublisherKey.h"

namespace
{
// A signature and a digest in the forms a reply carries them.
const wchar_t kReplySignature[] =
    L"MEUCICkW2RrFysk+A2taHfIR4dUU62wG/OmHHiOL946ytAIMAiEA2EZfqHik+/87RFMyZtxbFhAC\n"
    L"Te55Z4Y8cvIHGKAFoOQ=";
const wchar_t kReplySha256[] = L"E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852b855";

// `openssl dgst -sha256 -sign tests/keys/publisher.key` over kSignedText.
const char kSignedText[] = "QVXLiveUpdate test release";
const wchar_t kSignature[] =
    L"MEQCIARu4g4EzLdvG7r/2IwuVszb5tct6vBDKttqsNg3eOujAiA3Uq5aOWcHn3/Vol5031Geq2364rEGkttycm9w+ofueg==";

// `openssl dgst -sha256 -sign tests/keys/publisher.key` over the manifest of
// kSignedText published as QoraSetup-3.0.exe, version 3.0.0.0.
const wchar_t kManifestSignature[] =
    L"MEUCIQCLDk4vSOOqnpf7u7yjiQKk0Z8tM1c7RshlgZ1sjBU1+AIgdCVLkdL6Y0goYWKC4PFG7+8jv88px0jxdOvyZoJJdwg=";

UpdateRecord SignedRecord()
{
    UpdateRecord record;
    record.version = L"3.0.0.0", record.url = L"https://updates.example.com/packages/QoraSetup-3.0.exe";
    record.size = L"26", record.sha256 = L"C6E3C40C8C429B2AD7E44445C2A31B8CF7B1F87719DE0BE3D1B499CE522A75F1";
    record.signature = kManifestSignature;
    return record;
}

std::string TestKey(const char* name)
{
    return harness::ReadBytes(harness::WinePath(std::string(QVX_TEST_KEYS_DIR "/") + name));
}
Sha256Digest TestThumbprint(const char* name)
{
    const std::string hex = TestKey(name).substr(0, 64);
    return DigestOfHex(std::wstring(hex.begin(), hex.end())).value_or(Sha256Digest{});
}

Sha256Digest DigestOfText()
{
    Sha256 hash;
    hash.Update(kSignedText, sizeof kSignedText - 1);
    return hash.Finish();
}
std::array<BYTE, 64> RawSignature()
{
    std::array<BYTE, 64> raw{};
    const auto der = DecodeBase64(kSignature);
    EXPECT_TRUE(der && DerSignatureToRaw(*der, raw));
    return raw;
}

// A build of the wizard beside the test program, loaded for its resources.
struct Resources
{
    explicit Resources(const wchar_t* exe)
        : module(::LoadLibraryExW((harness::TestProgramFolder() + L"..\\" + exe).c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE))
    {
    }
    LibraryModule module;
};
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
    EXPECT_TRUE(ParseSha256Hex(kReplySha256, digest));
    EXPECT_EQ(0xE3, digest[0]);
    EXPECT_EQ(0x55, digest[31]);
    const std::wstring hex = kReplySha256;
    for (const std::wstring& text : {hex.substr(1), hex + L"0", L"G" + hex.substr(1), hex.substr(1) + L" "})
        EXPECT_FALSE(ParseSha256Hex(text, digest)) << text;

    // openssl's wrapped base64 of DER: s keeps its leading zero byte to stay
    // positive, and that byte is no part of s.
    std::array<BYTE, 64> raw{};
    EXPECT_TRUE(ParseSignatureText(kReplySignature, raw));
    EXPECT_EQ(0x29, raw[0]);
    EXPECT_EQ(0x0C, raw[31]);
    EXPECT_EQ(0xD8, raw[32]);
    EXPECT_EQ(0xE4, raw[63]);
    const std::wstring base64 = kReplySignature;
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

TEST(PublisherKey, OnlyP256PublicKeysAreTaken)
{
    EXPECT_TRUE(PublisherKey::FromPem(TestKey("publisher.pem")).has_value());
    for (const char* refused : {"p384.pem", "rsa.pem", "publisher.key", "signer.crt", "signer.sha256"})
        EXPECT_FALSE(PublisherKey::FromPem(TestKey(refused)).has_value()) << refused;
    std::string garbled = TestKey("publisher.pem");
    garbled[40] = garbled[40] == 'A' ? 'B' : 'A';
    EXPECT_FALSE(PublisherKey::FromPem(garbled).has_value()) << "a damaged algorithm identifier";
    EXPECT_FALSE(PublisherKey::FromPem("").has_value());
    EXPECT_FALSE(PublisherKey::FromPem("-----BEGIN PUBLIC KEY-----\nnot base64\n-----END PUBLIC KEY-----\n"));
}

TEST(PublisherKey, VerifiesOnlyThePublishersSignatureOfTheSameBytes)
{
    auto key = PublisherKey::FromPem(TestKey("publisher.pem"));
    auto other = PublisherKey::FromPem(TestKey("other.pem"));
    ASSERT_TRUE(key && other);
    const Sha256Digest digest = DigestOfText();
    const std::array<BYTE, 64> signature = RawSignature();
    EXPECT_TRUE(key->Verify(digest, signature));
    EXPECT_FALSE(other->Verify(digest, signature));
    Sha256Digest changedDigest = digest;
    changedDigest[31] ^= 1;
    EXPECT_FALSE(key->Verify(changedDigest, signature));
    std::array<BYTE, 64> changedSignature = signature;
    changedSignature[40] ^= 1;
    EXPECT_FALSE(key->Verify(digest, changedSignature));

    PublisherKey moved = std::move(*other);
    moved = std::move(*key);
    EXPECT_TRUE(moved.Verify(digest, signature)) << "a moved key still verifies";
}

TEST(PublisherKey, BuildsEmbedWhatTheyAreConfiguredWith)
{
    EXPECT_FALSE(HasEmbeddedPublisherKey());
    EXPECT_TRUE(PinnedSignerThumbprints().empty());

    Resources plain(L"QVXLiveUpdate.exe"), keyed(L"QVXLiveUpdate_keyed.exe"),
        pinned(L"QVXLiveUpdate_pinned.exe");
    ASSERT_TRUE(plain.module && keyed.module && pinned.module);
    EXPECT_FALSE(HasEmbeddedPublisherKey(plain.module.Get()));
    EXPECT_TRUE(PinnedSignerThumbprints(plain.module.Get()).empty());
    for (HMODULE module : {keyed.module.Get(), pinned.module.Get()})
    {
        EXPECT_TRUE(HasEmbeddedPublisherKey(module));
        const auto key = PublisherKey::LoadEmbedded(module);
        ASSERT_TRUE(key.has_value());
        EXPECT_TRUE(key->Verify(DigestOfText(), RawSignature()));
    }
    EXPECT_TRUE(PinnedSignerThumbprints(keyed.module.Get()).empty());
    EXPECT_EQ(std::vector<Sha256Digest>{TestThumbprint("signer.sha256")},
              PinnedSignerThumbprints(pinned.module.Get()));
}

TEST(Authenticode, PackagesSignedByTheTestSetUp)
{
    ASSERT_NE(nullptr, std::getenv("RUNTIME_DIR")) << "run with the test servers (tools/test.sh)";
    struct Case
    {
        const char* file;
        bool intact;             // signed, and the platform finds nothing broken
        AuthenticodeState state; // when not intact
        const char* signer;      // thumbprint file of the expected signer, if any
    } cases[] = {
        {"trust-signed.exe", true, AuthenticodeState::Verified, "signer.sha256"},
        {"trust-other-signer.exe", true, AuthenticodeState::Verified, "other-signer.sha256"},
        {"trust-tampered.exe", false, AuthenticodeState::Broken, nullptr},
        {"trust-unsigned.exe", false, AuthenticodeState::Unsigned, nullptr},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.file);
        const std::wstring path = harness::ServedFilesFolder() + L"\\packages\\" + harness::Wide(c.file);
        // Held as the wizard holds a verified package: no write or delete sharing.
        FileHandle file(
            ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(file) << "not prepared";
        const AuthenticodeResult result = CheckAuthenticode(file.Get(), path);
        if (c.intact)
        {
            // The platform's trust verdict differs between systems: the test
            // CA is not trusted, which only some report.
            EXPECT_TRUE(result.state == AuthenticodeState::Verified ||
                        result.state == AuthenticodeState::NotTrusted)
                << DescribeAuthenticode(result);
        }
        else
        {
            EXPECT_EQ(c.state, result.state) << DescribeAuthenticode(result);
        }
        if (c.signer)
        {
            ASSERT_TRUE(result.signerSha256.has_value());
            EXPECT_EQ(TestThumbprint(c.signer), *result.signerSha256);
            EXPECT_NE(std::wstring::npos,
                      DescribeAuthenticode(result).find(HexOfDigest(*result.signerSha256)));
        }
        if (!c.intact && c.state == AuthenticodeState::Unsigned)
        {
            EXPECT_FALSE(result.signerSha256.has_value());
        }
    }
}

TEST(Authenticode, WhatMayRun)
{
    const Sha256Digest pinned = TestThumbprint("signer.sha256"),
                       other = TestThumbprint("other-signer.sha256");
    Sha256Digest unpinned{};
    unpinned[0] = 1;
    const std::vector<Sha256Digest> none, pins{other, pinned};
    using S = AuthenticodeState;
    struct Case
    {
        AuthenticodeResult result;
        bool withoutPins, withPins;
    } cases[] = {
        {{S::Unsigned, TRUST_E_NOSIGNATURE, std::nullopt}, true, false},
        {{S::Verified, 0, pinned}, true, true},
        {{S::NotTrusted, CERT_E_UNTRUSTEDROOT, pinned}, true, true},
        {{S::Verified, 0, unpinned}, true, false},
        {{S::Verified, 0, std::nullopt}, true, false},
        {{S::Broken, TRUST_E_BAD_DIGEST, pinned}, false, false},
        // A verdict of no list: the pin stands in for nothing unknown.
        {{S::Unknown, TRUST_E_SUBJECT_NOT_TRUSTED, pinned}, true, false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(DescribeAuthenticode(c.result));
        EXPECT_EQ(c.withoutPins, AuthenticodeAllowsRun(c.result, none));
        EXPECT_EQ(c.withPins, AuthenticodeAllowsRun(c.result, pins));
    }
    EXPECT_EQ(S::NotTrusted, AuthenticodeStateOf(CERT_E_WRONG_USAGE));
    EXPECT_EQ(S::Unknown, AuthenticodeStateOf(TRUST_E_SUBJECT_NOT_TRUSTED));

    const std::string hex = TestKey("signer.sha256").substr(0, 64);
    std::string upper = hex;
    for (char& ch : upper)
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    EXPECT_EQ(std::vector<Sha256Digest>({pinned, pinned}), ParsePinnedThumbprints(hex + ";\n" + upper));
    EXPECT_EQ(std::vector<Sha256Digest>{Sha256Digest{}}, ParsePinnedThumbprints(hex + ",12ab"))
        << "a damaged list pins what no certificate has";
}

TEST(Offer, OneJudgementOfWhatThisBuildMayActOn)
{
    OfferContext keyed;
    keyed.keyRequired = true;
    keyed.key = PublisherKey::FromPem(TestKey("publisher.pem"));
    ASSERT_TRUE(keyed.key);
    keyed.installedVersion = L"2.1";
    OfferContext keyless, unusableKey;
    keyless.installedVersion = L"9.9";
    unusableKey.keyRequired = true;

    const OfferJudgement signed_ = JudgeOffer(SignedRecord(), keyed);
    ASSERT_EQ(OfferVerdict::Take, signed_.verdict) << signed_.why;
    EXPECT_EQ("QVXLiveUpdate package manifest 1\nname=QoraSetup-3.0.exe\nversion=3.0.0.0\nsize=26\n"
              "sha256=c6e3c40c8c429b2ad7e44445c2a31b8cf7b1f87719de0be3d1b499ce522a75f1\n",
              signed_.offer->manifest);
    EXPECT_EQ(L"QoraSetup-3.0.exe", signed_.offer->fileName);
    for (const wchar_t* version : {L"3.0\nsize=1", L"3.0\r", L"3.\xD800"})
        EXPECT_FALSE(FormatPackageManifest(L"a.exe", version, 26, DigestOfText())) << "a forged line";

    using Change = void (*)(UpdateRecord&);
    const struct
    {
        const char* what;
        Change change;
        const OfferContext& context;
        OfferVerdict verdict;
    } cases[] = {
        {"the same name and size anywhere",
         [](UpdateRecord& r) { r.url = L"http://mirror.example.net/QoraSetup-3.0.exe", r.size = L"026"; },
         keyed, OfferVerdict::Take},
        {"the signed version written otherwise", [](UpdateRecord& r) { r.version = L"3"; }, keyed,
         OfferVerdict::Refuse},
        {"a signature over another version", [](UpdateRecord& r) { r.version = L"3.1.0.0"; }, keyed,
         OfferVerdict::Refuse},
        {"another name", [](UpdateRecord& r) { r.url = L"https://h/QoraSetup-3.1.exe"; }, keyed,
         OfferVerdict::Refuse},
        {"no signature", [](UpdateRecord& r) { r.signature.clear(); }, keyed, OfferVerdict::Refuse},
        {"no signature, no key", [](UpdateRecord& r) { r.signature.clear(); }, keyless, OfferVerdict::Take},
        {"an embedded key that cannot be used", [](UpdateRecord&) {}, unusableKey, OfferVerdict::Refuse},
        {"no size", [](UpdateRecord& r) { r.size.clear(); }, keyed, OfferVerdict::Refuse},
        {"a malformed size", [](UpdateRecord& r) { r.size = L"12 KB"; }, keyless, OfferVerdict::Refuse},
        {"a malformed sha256", [](UpdateRecord& r) { r.sha256 = L"abc"; }, keyless, OfferVerdict::Refuse},
        {"a malformed signature", [](UpdateRecord& r) { r.signature = L"QUJD"; }, keyless,
         OfferVerdict::Refuse},
        {"a share", [](UpdateRecord& r) { r.url = L"\\\\host\\share\\QoraSetup-3.0.exe"; }, keyless,
         OfferVerdict::Refuse},
        {"a mirror of another file", [](UpdateRecord& r) { r.mirrors = {L"http://b/Other.exe"}; }, keyless,
         OfferVerdict::Refuse},
        {"a mirror on a scheme taken for http",
         [](UpdateRecord& r) { r.mirrors = {L"h://b/QoraSetup-3.0.exe"}; }, keyless, OfferVerdict::Refuse},
        {"mirrors of the same file",
         [](UpdateRecord& r) {
             r.mirrors = {L"https://b:8443/x/qorasetup-3.0.EXE", L"http://c/QoraSetup-3.0.exe"};
         },
         keyed, OfferVerdict::Take},
        {"five mirrors", [](UpdateRecord& r) { r.mirrors.assign(5, L"http://c/QoraSetup-3.0.exe"); }, keyless,
         OfferVerdict::Refuse},
        {"a line break in the version", [](UpdateRecord& r) { r.version += L"\n"; }, keyless,
         OfferVerdict::Refuse},
    };
    for (const auto& c : cases)
    {
        UpdateRecord record = SignedRecord();
        c.change(record);
        const OfferJudgement judgement = JudgeOffer(record, c.context);
        EXPECT_EQ(c.verdict, judgement.verdict)
            << c.what << ": " << std::string(judgement.why.begin(), judgement.why.end());
    }

    // Not newer is nothing to do, and says both versions.
    for (const wchar_t* installed : {L"3.0", L"3.0.0.0.1", L"10"})
    {
        keyed.installedVersion = installed;
        const OfferJudgement judgement = JudgeOffer(SignedRecord(), keyed);
        EXPECT_EQ(OfferVerdict::Current, judgement.verdict) << installed;
        EXPECT_NE(std::wstring::npos, judgement.why.find(std::wstring(L"\"") + installed + L"\""));
    }
    keyed.installedVersion = L"";
    EXPECT_EQ(OfferVerdict::Take, JudgeOffer(SignedRecord(), keyed).verdict) << "no client is older than any";
    keyed.installedVersion = L"2.1 beta";
    EXPECT_EQ(OfferVerdict::Refuse, JudgeOffer(SignedRecord(), keyed).verdict);
}

TEST(PackageVerifier, TheOffersSizeAndDigest)
{
    const std::string text = kSignedText;
    auto verify = [&](std::optional<uint64_t> size, std::optional<Sha256Digest> sha, const std::string& bytes)
    {
        PackageVerifier verifier(size, sha, {});
        if (!verifier.AcceptsTotal(bytes.size()))
            return false;
        verifier.Restart();
        for (char c : bytes) // in the smallest pieces
            verifier.Add(&c, 1);
        return verifier.Finish();
    };
    EXPECT_TRUE(verify(text.size(), DigestOfText(), text));
    EXPECT_TRUE(verify(std::nullopt, std::nullopt, text + "anything")) << "nothing given is nothing checked";
    EXPECT_FALSE(verify(text.size(), DigestOfText(), text.substr(1) + "!")) << "same length, other bytes";
    EXPECT_FALSE(verify(std::nullopt, DigestOfText(), text + "!"));
    EXPECT_FALSE(verify(text.size() + 1, std::nullopt, text));
}
