#pragma once
// CNQTabCtrl: the tab strip of a parent dialog. The pages behind the tabs are COM servers listed
// under the view's registry key ("WindowServer0", "WindowServer1", ... under "<view key>\TabWindows");
// each is created by ProgID, asked whether the user's rights admit it, given the parent's control
// interface and shown in the strip. Exactly one page window is visible; the active tab is
// remembered per view ("LastTab_<view name>" under "Software\Qovaro\NQ2\Common").
#include "nqinterfaces.h"
#include "qvtabctrl.h"

#include <set>
#include <string>
#include <vector>

class CParentDlg;

// One tab: the page's server class, its base interface (the entry owns that reference) and name.
struct CTabWindowData {
    CLSID clsid{};
    INQTabWindowBase* pTab = nullptr;
    CString strName;
};

class CNQTabCtrl : public CQvTabCtrl {
    DECLARE_DYNAMIC(CNQTabCtrl)
public:
    explicit CNQTabCtrl(LPCWSTR lpszViewName);
    ~CNQTabCtrl() override;
    // Lets go of the pages and of the parent while the parent is still whole: the parent calls it as
    // it goes, so that no page released later reaches a parent already taken apart.
    void ReleaseAll();

    void CreateTabCtrl(CWnd* pParentDlg, CString strViewKey);
    HRESULT CreateTabWindows(CString strName);
    HRESULT AddTabWindow(INQTabWindowBase* pTab, CLSID clsid, int nIndex);
    HRESULT RemoveTabWindow(int nIndex);
    HRESULT RemoveAllTabWindows();
    HRESULT OnActiveTabChanged();
    HRESULT ActivateTabByName(CString strName, long lFocus);
    CString GetActiveTabName();
    HRESULT ShowTabWindow(int nIndex);
    HRESULT HideAllTabWindows();
    void ReloadTabWindows();

    int GetTabCount() const { return int(m_arrTabs.size()); }
    const CTabWindowData* GetTabData(int nIndex) const {
        return nIndex >= 0 && nIndex < GetTabCount() ? m_arrTabs[std::size_t(nIndex)] : nullptr;
    }
    int GetShownIndex() const { return m_nShownIndex; }
    BOOL AreTabsCreated() const { return m_bTabsCreated; }

protected:
    // The ProgID of list entry nIndex; FALSE at the end of the list.
    BOOL ReadListEntry(int nIndex, CString& strProgID) const;
    // Creates the page server; traced on failure.
    HRESULT CreatePage(const CLSID& clsid, INQTabWindowBase** ppTab) const;
    // The page's answer whether the user lacks the rights on it (S_OK: leave it out).
    HRESULT AskRights(INQTabWindowBase* pTab, long lValue) const;
    // Message 10020 for a listed ProgID that is not registered, once per ProgID: the list is read
    // again whenever the rights are applied.
    void ReportUnregistered(const CString& strProgID);

    BOOL m_bRightsEnforced = TRUE;
    BOOL m_bTabsCreated = FALSE;
    int m_nShownIndex = 0;
    int m_nRestoreIndex = -1;
    CParentDlg* m_pParentDlg = nullptr;
    INQParentControl* m_pParentControl = nullptr;
    CString m_strListKey;
    CString m_strViewName;
    std::vector<CTabWindowData*> m_arrTabs;
    std::set<std::wstring> m_setReported;
};
