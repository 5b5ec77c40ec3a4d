#include "framework/Font.h"

BOOL CFont::CreateFontIndirect(const LOGFONTW* lpLogFont)
{
    if (!lpLogFont)
        return FALSE;
    m_font.Reset(::CreateFontIndirectW(lpLogFont));
    return m_font.IsValid();
}

BOOL CFont::DeleteObject()
{
    if (!m_font)
        return FALSE;
    m_font.Reset();
    return TRUE;
}

int CFont::GetLogFont(LOGFONTW* pLogFont) const
{
    if (!m_font || !pLogFont)
        return 0;
    return ::GetObjectW(m_font.Get(), sizeof(LOGFONTW), pLogFont);
}
