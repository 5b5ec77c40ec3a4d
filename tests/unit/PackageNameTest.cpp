// Where the package goes: only plain names from the address become paths.
#include <gtest/gtest.h>

#include "update/download/PackageName.h"

TEST(PackageName, LastSegmentIsTheTextAfterTheLastSlash)
{
    EXPECT_EQ(L"setup.exe", LastUrlSegment(L"http://h:81/a/b/setup.exe"));
    EXPECT_EQ(L"setup.exe?x=1", LastUrlSegment(L"http://h/setup.exe?x=1")) << "nothing is removed";
    EXPECT_EQ(L"%E5%8C%85.exe", LastUrlSegment(L"http://h/%E5%8C%85.exe")) << "nothing is decoded";
    EXPECT_EQ(L"", LastUrlSegment(L"http://h/dir/"));
    EXPECT_EQ(L"setup.exe", LastUrlSegment(L"setup.exe"));
}

TEST(PackageName, OnlyWebAddressesAreFetched)
{
    for (const wchar_t* url : {L"http://h/a.exe", L"HTTPS://h:8443/a.exe", L"https://h"})
        EXPECT_TRUE(IsWebAddress(url)) << url;
    for (const wchar_t* url : {L"file://host/share/x.exe", L"\\\\host\\share\\x.exe", L"ftp://h/a.exe",
                               L"http://", L"http:///a.exe", L"https:\\\\h\\a.exe", L" http://h/a.exe", L""})
        EXPECT_FALSE(IsWebAddress(url)) << url;
}

TEST(PackageName, OnlyPlainNamesStayInTheTemporaryFolder)
{
    for (const wchar_t* name : {L"setup.exe", L"Qora 3.0 安装包.exe", L"a..b.exe", L"%2e%2e", L".hidden"})
        EXPECT_TRUE(IsPlainFileName(name)) << name;
    for (const wchar_t* name : {L"",         L".",       L"..",           L"...",      L"..\\x.exe",
                                L"a\\b.exe", L"c:x.exe", L"x.exe:stream", L"x?.exe",   L"x*.exe",
                                L"x\".exe",  L"x<y.exe", L"x|y.exe",      L"x\ty.exe", L"trail.",
                                L"trail ",   L"CON",     L"nul.exe",      L"com1.txt", L"LPT9"})
        EXPECT_FALSE(IsPlainFileName(name)) << name;
    // Devices that Windows reserves and this platform does not.
    for (const wchar_t* name : {L"COM0.exe", L"lpt0", L"COM\u00B9.exe", L"LPT\u00B3 .txt"})
        EXPECT_FALSE(IsPlainFileName(name)) << name;
    EXPECT_TRUE(IsPlainFileName(L"COM10")) << "only COM0 to COM9 are devices";
}
