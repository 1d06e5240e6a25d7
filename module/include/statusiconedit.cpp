#include "statusiconedit.h"

#include "qvdialog.h"

IMPLEMENT_DYNAMIC(CStaticBmpTransp, CStatic)
IMPLEMENT_DYNAMIC(CStatusIconEdit, CStaticBmpTransp)

BEGIN_MESSAGE_MAP(CStaticBmpTransp, CStatic)
    ON_WM_PAINT()
END_MESSAGE_MAP()

COLORREF CStaticBmpTransp::GetParentBackground() const {
    if (const auto* pDlg = dynamic_cast<const CQvDialog*>(GetParent())) return pDlg->GetBackgroundColor();
    return GetSysColor(COLOR_BTNFACE);
}

void CStaticBmpTransp::DrawTransparent(CDC* pDC, CBitmap* pBitmap, int cx, int cy, COLORREF crBackground) {
    pDC->FillSolidRect(0, 0, cx, cy, crBackground);

    CDC dcImage, dcColor, dcMask;
    dcImage.CreateCompatibleDC(pDC);
    dcColor.CreateCompatibleDC(pDC);
    dcMask.CreateCompatibleDC(pDC);
    CBitmap bmpColor, bmpMask;
    bmpColor.CreateCompatibleBitmap(pDC, cx, cy);
    bmpMask.CreateBitmap(cx, cy, 1, 1, nullptr);
    CBitmap* pOldImage = dcImage.SelectObject(pBitmap);
    CBitmap* pOldColor = dcColor.SelectObject(&bmpColor);
    CBitmap* pOldMask = dcMask.SelectObject(&bmpMask);

    dcColor.BitBlt(0, 0, cx, cy, &dcImage, 0, 0, SRCCOPY);
    const COLORREF crKey = dcColor.GetPixel(0, 0);
    // Key pixels white in the mask, all others black.
    dcColor.SetBkColor(crKey);
    dcMask.BitBlt(0, 0, cx, cy, &dcColor, 0, 0, SRCCOPY);
    // Key pixels black in the colour copy, so that OR-ing it leaves the background there.
    dcColor.SetBkColor(RGB(0, 0, 0));
    dcColor.SetTextColor(RGB(255, 255, 255));
    dcColor.BitBlt(0, 0, cx, cy, &dcMask, 0, 0, SRCAND);
    const COLORREF crOldBk = pDC->SetBkColor(RGB(255, 255, 255));
    const COLORREF crOldText = pDC->SetTextColor(RGB(0, 0, 0));
    pDC->BitBlt(0, 0, cx, cy, &dcMask, 0, 0, SRCAND);
    pDC->BitBlt(0, 0, cx, cy, &dcColor, 0, 0, SRCPAINT);
    pDC->SetBkColor(crOldBk);
    pDC->SetTextColor(crOldText);

    dcImage.SelectObject(pOldImage);
    dcColor.SelectObject(pOldColor);
    dcMask.SelectObject(pOldMask);
}

void CStaticBmpTransp::ShowBitmap() {
    HBITMAP hShown = nullptr;
    BITMAP bm;
    if (m_bitmap.GetSafeHandle() && m_bitmap.GetBitmap(&bm) && bm.bmWidth > 0 && bm.bmHeight > 0) {
        CClientDC dcScreen(nullptr);
        CDC dcShown;
        dcShown.CreateCompatibleDC(&dcScreen);
        m_bmpShown.DeleteObject();
        m_bmpShown.CreateCompatibleBitmap(&dcScreen, bm.bmWidth, bm.bmHeight);
        CBitmap* pOld = dcShown.SelectObject(&m_bmpShown);
        DrawTransparent(&dcShown, &m_bitmap, bm.bmWidth, bm.bmHeight, GetParentBackground());
        dcShown.SelectObject(pOld);
        hShown = m_bmpShown;
    }
    if (GetSafeHwnd()) SendMessage(STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(hShown));
}

void CStaticBmpTransp::OnPaint() {
    // Where the window layer lets a static paint itself, draw the bitmap as ShowBitmap lays it out.
    CPaintDC dc(this);
    BITMAP bm;
    if (!m_bitmap.GetSafeHandle() || !m_bitmap.GetBitmap(&bm)) return;
    DrawTransparent(&dc, &m_bitmap, bm.bmWidth, bm.bmHeight, GetParentBackground());
}
