#pragma once
// Wrappers of the standard controls: each holds only its window, and each
// operation is one message to it.

#include <windows.h>
#include <commctrl.h>

#include "framework/Wnd.h"

class CStatic : public CWnd
{
  public:
    HBITMAP SetBitmap(HBITMAP hBitmap) const
    {
        return reinterpret_cast<HBITMAP>(
            SendMessage(STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(hBitmap)));
    }
    HBITMAP GetBitmap() const { return reinterpret_cast<HBITMAP>(SendMessage(STM_GETIMAGE, IMAGE_BITMAP)); }
};

class CButton : public CWnd
{
};

class CEdit : public CWnd
{
};

class CProgressCtrl : public CWnd
{
  public:
    void SetRange(short nLower, short nUpper) const
    {
        SendMessage(PBM_SETRANGE, 0, MAKELPARAM(nLower, nUpper));
    }
    int SetPos(int nPos) const
    {
        return static_cast<int>(SendMessage(PBM_SETPOS, static_cast<WPARAM>(nPos)));
    }
    int GetPos() const { return static_cast<int>(SendMessage(PBM_GETPOS)); }
};
