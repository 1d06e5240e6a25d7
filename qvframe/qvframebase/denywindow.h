#pragma once
// CDenyWindow: what a view shows in place of its dialog when the user may not use it: the hint in
// red, the title "QvSecurity" at the lower right and, when given, the module's bitmap in the middle.
#include "qvui.h"

class CDenyWindow : public CWnd {
    DECLARE_DYNAMIC(CDenyWindow)
public:
    // Covers the parent's client area; no window without a parent.
    CDenyWindow(CWnd* pParent, CString strText, UINT nBitmapID);
    ~CDenyWindow() override;

    BOOL HasBitmap() const { return m_bitmap.m_hObject != nullptr; }

protected:
    afx_msg void OnPaint();
    DECLARE_MESSAGE_MAP()

    CBitmap m_bitmap;
    DWORD m_dwRop = 0xCC0020;  // copy
};

// The control id of the deny window.
#define QVF_DENYWINDOW_ID 100
