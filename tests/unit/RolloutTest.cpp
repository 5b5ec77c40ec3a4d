// A machine's place in a release's rollout, against digests worked out apart
// from the program (Python's hashlib over the same UTF-8 text).
#include <gtest/gtest.h>

#include "update/check/Rollout.h"

TEST(Rollout, BucketIsTheDigestsFirstFourBytesModulo100)
{
    const wchar_t guid[] = L"3F2504E0-4F89-11D3-9A0C-0305E82C3301"; // hashed in lower case
    EXPECT_EQ(37, RolloutBucket(guid, L"2.2.0.1"));                 // 930d2721...
    EXPECT_EQ(92, RolloutBucket(guid, L"2.2.0.2"));                 // fce661f8...
    EXPECT_EQ(1, RolloutBucket(guid, L"版本3"));                    // a4cad421...
    EXPECT_EQ(0, RolloutBucket(L"", L"2.2.0.1")) << "a machine whose identity cannot be read";
}
