#include "pages/Edition.h"

#include "support/WideText.h"

const wchar_t kDefaultProductName[] = L"Qora企业版";

void ApplyEditionSubstitution(std::wstring& text)
{
    ReplaceAll(text, L"企业版", L"校园版");
}
