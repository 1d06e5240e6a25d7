#pragma once
// The two status icons of a record view's header share one picture control: a static that shows
// its bitmap with the colour of the bitmap's top-left pixel let through to the parent's background.
#include "qvui.h"

class CStaticBmpTransp : public CStatic {
    DECLARE_DYNAMIC(CStaticBmpTransp)
public:
    CStaticBmpTransp() = default;

    // Shows m_bitmap (none: no picture). The control is handed the picture already laid on the
    // parent's background, so that every painter of it draws the same transparent result.
    void ShowBitmap();
    // The background the key colour is replaced with: a suite dialog's own colour, else button face.
    COLORREF GetParentBackground() const;

    CBitmap m_bitmap;
    CString m_strToolTip;

protected:
    afx_msg void OnPaint();
    DECLARE_MESSAGE_MAP()

    // Draws the bitmap at (0, 0) onto the device with its key colour transparent.
    void DrawTransparent(CDC* pDC, CBitmap* pBitmap, int cx, int cy, COLORREF crBackground);

    CBitmap m_bmpShown;
};

// The edit-state icon: the parent dialog sets its bitmap and tool tip.
class CStatusIconEdit : public CStaticBmpTransp {
    DECLARE_DYNAMIC(CStatusIconEdit)
};
