// What the XML loads refuse before parsing.
#include <gtest/gtest.h>

#include "support/XmlScreening.h"

TEST(HasDoctypeDeclaration, LooksInThePrologInEveryEncoding)
{
    EXPECT_TRUE(
        HasDoctypeDeclaration(std::wstring(L"<?xml version='1.0'?>\n<!-- c --><?p?><!DOCTYPE r><r/>")));
    EXPECT_FALSE(HasDoctypeDeclaration(std::wstring(L"<!-- <!DOCTYPE r> --><r><![CDATA[<!DOCTYPE]]></r>")));
    EXPECT_TRUE(HasDoctypeDeclaration(std::wstring(L"junk<!doctype r><r/>"))) << "a broken prolog";
    EXPECT_TRUE(HasDoctypeDeclaration(std::string("\xEF\xBB\xBF<?xml version='1.0'?><!DOCTYPE r><r/>")));
    EXPECT_TRUE(HasDoctypeDeclaration(std::string("<\0!\0D\0O\0C\0T\0Y\0P\0E\0", 18)));
    EXPECT_TRUE(HasDoctypeDeclaration(std::string("\xFE\xFF\0<\0!\0D\0O\0C\0T\0Y\0P\0E", 20)));
    std::string utf32;
    for (char c : std::string("<!DOCTYPE"))
        utf32 += std::string(1, c) + std::string(3, '\0');
    EXPECT_TRUE(HasDoctypeDeclaration(utf32));
    EXPECT_TRUE(HasDoctypeDeclaration(std::string("\0\0\xFE\xFF", 4) + std::string(3, '\0') +
                                      utf32.substr(0, utf32.size() - 3)));
    EXPECT_FALSE(HasDoctypeDeclaration(std::string("<r><!-- DOCTYPE --><!DOCTYP</r>")));
    EXPECT_FALSE(HasDoctypeDeclaration(std::string("<\0r\0>\0<\0!\0D\0O\0C\0T\0Y\0P\0E\0", 24)));
}
