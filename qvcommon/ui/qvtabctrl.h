#pragma once
// CQvTabCtrl: the suite's tab strip, the class library's one with the strip on top by default.
#include "qvui.h"

class CQvTabCtrl : public CMFCTabCtrl {
    DECLARE_DYNAMIC(CQvTabCtrl)
public:
    // style: CMFCTabCtrl::Style; location: CMFCTabCtrl::Location.
    BOOL Create(const RECT& rect, CWnd* parent, UINT id, int style = STYLE_3D, long location = LOCATION_TOP);
    // The tab whose label is the text (case-sensitive), or -1.
    int FindTab(LPCWSTR label) const;
};
