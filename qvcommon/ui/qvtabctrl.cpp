#include "qvtabctrl.h"

IMPLEMENT_DYNAMIC(CQvTabCtrl, CMFCTabCtrl)

BOOL CQvTabCtrl::Create(const RECT& rect, CWnd* parent, UINT id, int style, long location) {
    return CMFCTabCtrl::Create(Style(style), rect, parent, id, location == LOCATION_BOTTOM ? LOCATION_BOTTOM : LOCATION_TOP);
}

int CQvTabCtrl::FindTab(LPCWSTR label) const {
    for (int i = 0; i < GetTabsNum(); ++i) {
        CString text;
        if (GetTabLabel(i, text) && text == (label ? label : L"")) return i;
    }
    return -1;
}
