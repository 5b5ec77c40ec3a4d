#include <gtest/gtest.h>

#include "harness/Process.h"
#include "harness/Window.h"

namespace
{
// Keeps a picture of the screen at the moment a case first fails, before its
// clean-up closes the windows.
class ScreenshotOnFailure : public ::testing::EmptyTestEventListener
{
    void OnTestStart(const ::testing::TestInfo&) override { m_taken = false; }
    void OnTestPartResult(const ::testing::TestPartResult& result) override
    {
        if (!result.failed() || m_taken)
            return;
        m_taken = true;
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        if (!info)
            return;
        std::string name = std::string(info->test_suite_name()) + "." + info->name();
        for (char& c : name)
            if (c == '/' || c == '\\' || c == ':')
                c = '_';
        const std::wstring folder = harness::TestProgramFolder() + L"artifacts";
        ::CreateDirectoryW(folder.c_str(), nullptr);
        const std::wstring path = folder + L"\\" + std::wstring(name.begin(), name.end()) + L".bmp";
        if (harness::SaveScreenshot(path))
            printf("screenshot: %ls\n", path.c_str());
    }
    bool m_taken = false;
};
} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new ScreenshotOnFailure);
    return RUN_ALL_TESTS();
}
