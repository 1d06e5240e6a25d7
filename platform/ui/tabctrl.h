#pragma once
// The class library's tab strip: tabs hold child windows (one shown at a time, in the page area
// under or over the strip). The parent is told the new active tab with the registered message
// AFX_WM_CHANGE_ACTIVE_TAB (wParam: the tab's index).
#include "wnd.h"

// The registered message of the active-tab change.
extern const UINT AFX_WM_CHANGE_ACTIVE_TAB;

class CMFCTabCtrl : public CWnd {
    DECLARE_DYNAMIC(CMFCTabCtrl)
public:
    enum Style { STYLE_3D = 0, STYLE_FLAT = 1, STYLE_FLAT_SHARED_HORZ_SCROLL = 2, STYLE_3D_SCROLLED = 3,
                 STYLE_3D_ONENOTE = 4, STYLE_3D_VS2005 = 5, STYLE_3D_ROUNDED = 6, STYLE_3D_ROUNDED_SCROLL = 7 };
    enum Location { LOCATION_BOTTOM = 0, LOCATION_TOP = 1 };

    BOOL Create(Style style, const RECT& rect, CWnd* parent, UINT id, Location location = LOCATION_BOTTOM,
                BOOL closeButton = FALSE);
    void AddTab(CWnd* wnd, LPCWSTR label, UINT image = UINT(-1), BOOL detachable = TRUE);
    // The window becomes a child of the strip; the first tab becomes the active one.
    void InsertTab(CWnd* wnd, LPCWSTR label, int insertAt, UINT image = UINT(-1), BOOL detachable = TRUE);
    BOOL RemoveTab(int tab, BOOL recalcLayout = TRUE);
    void RemoveAllTabs();
    // Shows the tab's window; a change is told to the parent.
    BOOL SetActiveTab(int tab);
    int GetActiveTab() const;
    int GetTabsNum() const;
    CWnd* GetTabWnd(int tab) const;
    CWnd* GetActiveWnd() const;
    int GetTabFromHwnd(HWND wnd) const;
    BOOL GetTabLabel(int tab, CString& label) const;
    BOOL SetTabLabel(int tab, const CString& label);
    void SetLocation(Location location);
    Location GetLocation() const;
    void RecalcLayout();
    // The page area in the strip's client coordinates.
    void GetWndArea(CRect& rect) const;
    // Appearance switches of the class library; accepted, the look is the toolkit's.
    void SetActiveTabBoldFont(BOOL bold = TRUE);
    void SetFlatFrame(BOOL flat = TRUE, BOOL repaint = TRUE);
    void EnableAutoColor(BOOL enable = TRUE);
    void HideSingleTab(BOOL hide = TRUE);
    void EnableTabSwap(BOOL enable);
    void SetTabBorderSize(int size, BOOL repaint = TRUE);
};
