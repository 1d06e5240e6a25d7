#include "denywindow.h"

IMPLEMENT_DYNAMIC(CDenyWindow, CWnd)

BEGIN_MESSAGE_MAP(CDenyWindow, CWnd)
    ON_WM_PAINT()
END_MESSAGE_MAP()

CDenyWindow::CDenyWindow(CWnd* pParent, CString strText, UINT nBitmapID) {
    if (!pParent || !pParent->GetSafeHwnd()) return;
    CRect rcClient;
    pParent->GetClientRect(&rcClient);
    CreateEx(0, AfxRegisterWndClass(0), strText, WS_CHILD | WS_VISIBLE, 0, 0, rcClient.Width(), rcClient.Height(),
             pParent->GetSafeHwnd(), reinterpret_cast<HMENU>(std::uintptr_t(QVF_DENYWINDOW_ID)));
    if (nBitmapID != 0) m_bitmap.LoadBitmap(nBitmapID);
    ShowWindow(SW_SHOW);
}

CDenyWindow::~CDenyWindow() {
    if (GetSafeHwnd()) DestroyWindow();
}

void CDenyWindow::OnPaint() {
    CPaintDC dc(this);
    CRect rc;
    GetClientRect(&rc);
    CBrush face(GetSysColor(COLOR_BTNFACE));
    dc.FillRect(&rc, &face);

    CFont fontLarge, fontSmall;
    fontLarge.CreatePointFont(120, L"MS Shell Dlg", &dc);
    fontSmall.CreatePointFont(80, L"MS Shell Dlg", &dc);

    CString strText;
    GetWindowText(strText);
    CFont* pOld = dc.SelectObject(&fontLarge);
    dc.SetBkColor(GetSysColor(COLOR_BTNFACE));
    dc.SetTextColor(RGB(192, 0, 0));
    CRect rcText(rc.left, 20, rc.right, rc.Height() + 20);
    dc.DrawText(strText, &rcText, DT_CENTER | DT_WORDBREAK);

    dc.SelectObject(&fontSmall);
    dc.SetTextColor(RGB(0, 0, 0));
    CRect rcTitle(rc.right - 100, rc.bottom - 15, rc.right, rc.bottom);
    dc.DrawText(CString(L"QvSecurity"), &rcTitle, DT_RIGHT | DT_WORDBREAK);
    dc.SelectObject(pOld);

    if (HasBitmap()) {
        BITMAP bm{};
        m_bitmap.GetBitmap(&bm);
        CDC mem;
        mem.CreateCompatibleDC(&dc);
        CBitmap* pOldBitmap = mem.SelectObject(&m_bitmap);
        dc.SetStretchBltMode(COLORONCOLOR);
        // Unscaled and centred; the divisions truncate toward zero.
        const int x = (rc.Width() - int(bm.bmWidth)) / 2;
        const int y = (rc.Height() - int(bm.bmHeight)) / 2;
        dc.StretchBlt(x, y, bm.bmWidth, bm.bmHeight, &mem, 0, 0, bm.bmWidth, bm.bmHeight, m_dwRop);
        mem.SelectObject(pOldBitmap);
    }
}
