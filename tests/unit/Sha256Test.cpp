// SHA-256 in pieces and its hex forms.
#include <gtest/gtest.h>

#include <string>

#include "support/Sha256.h"
#include "support/Sha256Pipeline.h"

namespace
{
template <typename Hash> std::wstring HashOf(const std::string& text, size_t piece)
{
    Hash hash;
    EXPECT_TRUE(hash.IsValid());
    for (size_t at = 0; at < text.size(); at += piece)
        hash.Update(text.data() + at, std::min(piece, text.size() - at));
    return HexOfDigest(hash.Finish());
}
} // namespace

template <typename Hash> class Sha256Hashes : public testing::Test
{
};
using HashKinds = testing::Types<Sha256, Sha256Pipeline>;
TYPED_TEST_SUITE(Sha256Hashes, HashKinds);

// On the caller's thread, and on a thread of its own through a ring the
// million bytes go round twice.
TYPED_TEST(Sha256Hashes, KnownAnswersWhateverThePieces)
{
    EXPECT_EQ(L"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855", HashOf<TypeParam>("", 1));
    EXPECT_EQ(L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
              HashOf<TypeParam>("abc", 1));
    const std::string million(1000000, 'a');
    for (size_t piece : {size_t{1}, size_t{63}, size_t{8192}, Sha256Pipeline::kChunkBytes, million.size()})
        EXPECT_EQ(L"cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0",
                  HashOf<TypeParam>(million, piece))
            << piece;
}

// Bytes that differ with their place, in pieces that straddle the ring's
// chunks every way and fill it: a chunk hashed twice, out of turn or
// overwritten before it is hashed gives another digest than the plain hash.
TEST(Sha256Pipeline, EveryByteIsHashedOnceInItsPlace)
{
    const size_t chunk = Sha256Pipeline::kChunkBytes;
    std::string bytes(3 * Sha256Pipeline::kChunks * chunk + 12345, '\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 7 % 251);
    Sha256Pipeline pipeline;
    const size_t pieces[] = {1, 4095, chunk + 7, 3, 2 * chunk, 65536, chunk - 1, Sha256Pipeline::kChunks * chunk};
    for (size_t at = 0, i = 0; at < bytes.size(); ++i)
    {
        const size_t n = std::min(pieces[i % std::size(pieces)], bytes.size() - at);
        pipeline.Update(bytes.data() + at, n);
        at += n;
    }
    EXPECT_EQ(HashOf<Sha256>(bytes, bytes.size()), HexOfDigest(pipeline.Finish()));
}

TEST(Sha256, FinishesOnce)
{
    Sha256 once;
    once.Update("abc", 3);
    once.Finish();
    EXPECT_FALSE(once.IsValid());
    EXPECT_EQ(Sha256Digest{}, once.Finish()) << "a second Finish gives nothing to compare equal";
}

TEST(Sha256, HexFormsOfADigest)
{
    const std::wstring hex = L"BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD";
    const auto digest = DigestOfHex(hex);
    ASSERT_TRUE(digest.has_value());
    EXPECT_EQ(0xBA, (*digest)[0]);
    EXPECT_EQ(0xAD, (*digest)[31]);
    EXPECT_EQ(L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", HexOfDigest(*digest));
    for (const std::wstring& bad :
         {hex.substr(1), hex + L"0", L"g" + hex.substr(1), L" " + hex.substr(1), std::wstring()})
        EXPECT_FALSE(DigestOfHex(bad).has_value()) << bad;
}
