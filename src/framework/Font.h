#pragma once
// CFont: an owned GDI font. The window that shows it does not own it, so the
// object must outlive every window it has been set on.

#include <windows.h>

#include "framework/ScopedHandle.h"

class CFont
{
  public:
    CFont() noexcept = default;
    CFont(const CFont&) = delete;
    CFont& operator=(const CFont&) = delete;

    // Replaces the font held, if any, by one made from `lpLogFont`.
    BOOL CreateFontIndirect(const LOGFONTW* lpLogFont);
    BOOL DeleteObject();
    // The description of the font held; 0 when there is none.
    int GetLogFont(LOGFONTW* pLogFont) const;

    HFONT GetSafeHandle() const noexcept { return static_cast<HFONT>(m_font.Get()); }
    operator HFONT() const noexcept { return GetSafeHandle(); }

  private:
    GdiObject m_font;
};
