#include "nqtabctrl.h"

#include "nqframeworkres.h"
#include "optionserver.h"
#include "parentdlg.h"
#include "qvcomserver.h"
#include "qvfint.h"
#include "qvhrtrace.h"
#include "qvregvalue.h"

#define TABCTRL_TRACEHR(hr) QvAddHRErrorFile(L"nqtabctrl", __LINE__, (hr))

namespace {
constexpr const wchar_t* kCommonKey = L"Software\\Qovaro\\NQ2\\Common";

CString TakeBSTR(BSTR b) {
    CString s = b ? CString(std::wstring(b, SysStringLen(b)).c_str()) : CString();
    SysFreeString(b);
    return s;
}
}  // namespace

IMPLEMENT_DYNAMIC(CNQTabCtrl, CQvTabCtrl)

CNQTabCtrl::CNQTabCtrl(LPCWSTR lpszViewName) : m_strViewName(lpszViewName ? lpszViewName : L"") {}

CNQTabCtrl::~CNQTabCtrl() { ReleaseAll(); }

void CNQTabCtrl::ReleaseAll() {
    for (CTabWindowData* pData : m_arrTabs) {
        if (pData->pTab) pData->pTab->Release();
        delete pData;
    }
    m_arrTabs.clear();
    if (m_pParentControl) m_pParentControl->Release();
    m_pParentControl = nullptr;
}

void CNQTabCtrl::CreateTabCtrl(CWnd* pParentDlg, CString strViewKey) {
    m_pParentDlg = dynamic_cast<CParentDlg*>(pParentDlg);
    Create(CRect(0, 0, 50, 30), pParentDlg, 0);
    // The frame offers no question whether rights are enforced; they are, as when it cannot be asked.
    m_bRightsEnforced = TRUE;
    IUnknown* pFrame = nullptr;
    if (SUCCEEDED(GetFrameIUnk(&pFrame)) && pFrame) {
        IQvFFrame* pMain = nullptr;
        if (SUCCEEDED(pFrame->QueryInterface(IID_IQvFFrame, reinterpret_cast<void**>(&pMain))) && pMain)
            pMain->Release();
        pFrame->Release();
    }
    m_strListKey = strViewKey + L"\\TabWindows";
    if (!m_pParentControl && m_pParentDlg) m_pParentControl = m_pParentDlg->GetParentControl();
}

BOOL CNQTabCtrl::ReadListEntry(int nIndex, CString& strProgID) const {
    CString strName;
    strName.Format(L"WindowServer%d", nIndex);
    strProgID.Empty();
    return CQvRegistry::GetValue(m_strListKey, strName, strProgID) && !strProgID.IsEmpty();
}

HRESULT CNQTabCtrl::CreatePage(const CLSID& clsid, INQTabWindowBase** ppTab) const {
    *ppTab = nullptr;
    const HRESULT hr =
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_INQTabWindowBase, reinterpret_cast<void**>(ppTab));
    if (FAILED(hr)) {
        *ppTab = nullptr;
        return TABCTRL_TRACEHR(hr);
    }
    return hr;
}

HRESULT CNQTabCtrl::AskRights(INQTabWindowBase* pTab, long lValue) const {
    HRESULT hrAnswer = S_FALSE;
    const HRESULT hr = pTab->CheckRightsFor(lValue, &hrAnswer);
    if (FAILED(hr)) TABCTRL_TRACEHR(hr);
    return hrAnswer;
}

void CNQTabCtrl::ReportUnregistered(const CString& strProgID) {
    if (!m_setReported.insert(strProgID.GetString()).second) return;
    CString strText;
    const CString strFormat = NQLoadString(IDS_NQ_TABSERVER_NOT_REGISTERED);
    strText.Format(strFormat, strProgID);
    AfxMessageBox(strText, MB_ICONEXCLAMATION, 0);
}

HRESULT CNQTabCtrl::CreateTabWindows(CString strName) {
    if (m_strListKey.IsEmpty() || !GetSafeHwnd()) return S_FALSE;
    HRESULT hr = S_OK;
    for (int i = 0; SUCCEEDED(hr); ++i) {
        CString strProgID;
        if (!ReadListEntry(i, strProgID)) break;
        CLSID clsid{};
        const HRESULT hrClass = CLSIDFromProgID(strProgID, &clsid);
        if (FAILED(hrClass)) {
            TABCTRL_TRACEHR(hrClass);
            ReportUnregistered(strProgID);
            continue;
        }
        INQTabWindowBase* pTab = nullptr;
        hr = CreatePage(clsid, &pTab);
        if (FAILED(hr)) break;
        if (AskRights(pTab, m_bRightsEnforced) == S_OK) {
            pTab->Release();
            continue;
        }
        hr = pTab->SetParentControl(m_pParentControl);
        if (SUCCEEDED(hr) && !strName.IsEmpty()) {
            BSTR bstrName = strName.AllocSysString();
            hr = pTab->SetName(bstrName);
            SysFreeString(bstrName);
        }
        if (SUCCEEDED(hr)) hr = AddTabWindow(pTab, clsid, -1);
        if (FAILED(hr)) {
            TABCTRL_TRACEHR(hr);
            pTab->Release();
        }
    }
    long lRestore = -1;
    if (CQvRegistry::GetValue(kCommonKey, CString(L"LastTab_") + m_strViewName, lRestore)) m_nRestoreIndex = int(lRestore);
    if (SUCCEEDED(hr)) m_bTabsCreated = TRUE;
    return hr;
}

HRESULT CNQTabCtrl::AddTabWindow(INQTabWindowBase* pTab, CLSID clsid, int nIndex) {
    INQTabWindowControl* pControl = nullptr;
    HRESULT hr = pTab->QueryInterface(IID_INQTabWindowControl, reinterpret_cast<void**>(&pControl));
    if (FAILED(hr) || !pControl) return TABCTRL_TRACEHR(FAILED(hr) ? hr : E_NOINTERFACE);
    if (m_pParentDlg) m_pParentDlg->AddTabWindow(pControl);
    pControl->Release();

    auto* pData = new CTabWindowData{clsid, pTab, CString()};
    if (nIndex == -1) nIndex = GetTabCount();
    HWND hPage = GetSafeHwnd();
    hr = pTab->Create(&hPage, m_pParentDlg);
    BSTR bstrCaption = nullptr, bstrName = nullptr;
    if (SUCCEEDED(hr)) hr = pTab->GetCaption(&bstrCaption);
    if (SUCCEEDED(hr)) hr = pTab->GetName(&bstrName);
    const CString strCaption = TakeBSTR(bstrCaption);
    pData->strName = TakeBSTR(bstrName);
    if (FAILED(hr)) {
        // The parent must not keep a page the strip does not show.
        if (m_pParentDlg && SUCCEEDED(pTab->QueryInterface(IID_INQTabWindowControl, reinterpret_cast<void**>(&pControl)))) {
            m_pParentDlg->RemoveTabWindow(pControl);
            pControl->Release();
        }
        delete pData;
        return TABCTRL_TRACEHR(hr);
    }
    InsertTab(CWnd::FromHandle(hPage), strCaption, nIndex, UINT(-1), FALSE);
    m_arrTabs.insert(m_arrTabs.begin() + std::min<std::size_t>(std::size_t(nIndex), m_arrTabs.size()), pData);
    return S_OK;
}

HRESULT CNQTabCtrl::RemoveTabWindow(int nIndex) {
    if (nIndex < 0 || nIndex >= GetTabCount()) return TABCTRL_TRACEHR(E_INVALIDARG);
    CTabWindowData* pData = m_arrTabs[std::size_t(nIndex)];
    INQTabWindowControl* pControl = nullptr;
    if (SUCCEEDED(pData->pTab->QueryInterface(IID_INQTabWindowControl, reinterpret_cast<void**>(&pControl))) &&
        pControl) {
        if (m_pParentDlg) m_pParentDlg->RemoveTabWindow(pControl);
        pControl->Release();
    }
    const HRESULT hr = pData->pTab->Detach();
    if (FAILED(hr)) return TABCTRL_TRACEHR(hr);
    pData->pTab->Release();
    m_arrTabs.erase(m_arrTabs.begin() + nIndex);
    delete pData;
    if (!m_pParentDlg || !m_pParentDlg->IsClosingFlag()) RemoveTab(nIndex, TRUE);
    return S_OK;
}

HRESULT CNQTabCtrl::RemoveAllTabWindows() {
    if (m_strListKey.IsEmpty() || !GetSafeHwnd()) return S_FALSE;
    HRESULT hr = S_OK;
    for (CTabWindowData* pData : m_arrTabs) {
        hr = pData->pTab->Detach();
        if (FAILED(hr)) {
            TABCTRL_TRACEHR(hr);
            break;
        }
    }
    if (SUCCEEDED(HideAllTabWindows())) {
        while (!m_arrTabs.empty())
            if (FAILED(RemoveTabWindow(0))) break;
    }
    RemoveAllTabs();
    if (m_pParentControl) m_pParentControl->Release();
    m_pParentControl = nullptr;
    return hr;
}

HRESULT CNQTabCtrl::OnActiveTabChanged() {
    const int nActive = GetActiveTab();
    if (nActive == m_nShownIndex) return S_OK;
    if (m_pParentDlg) m_pParentDlg->Navigate(m_pParentDlg->GetRecordID(), m_pParentDlg->GetSubRecordID());
    m_nShownIndex = nActive;
    CQvRegistry::SetValue(kCommonKey, CString(L"LastTab_") + m_strViewName, long(m_nShownIndex));
    HRESULT hr = HideAllTabWindows();
    if (SUCCEEDED(hr) && m_nShownIndex >= 0) hr = ShowTabWindow(m_nShownIndex);
    return hr;
}

HRESULT CNQTabCtrl::ActivateTabByName(CString strName, long lFocus) {
    for (int i = 0; i < GetTabCount(); ++i) {
        if (m_arrTabs[std::size_t(i)]->strName != strName) continue;
        SetActiveTab(i);
        HRESULT hr = OnActiveTabChanged();
        if (FAILED(hr)) TABCTRL_TRACEHR(hr);
        if (lFocus != 0 && SUCCEEDED(hr)) hr = m_arrTabs[std::size_t(i)]->pTab->SetFocus(UINT(lFocus));
        return hr;
    }
    return S_OK;
}

CString CNQTabCtrl::GetActiveTabName() {
    const int nActive = GetActiveTab();
    if (nActive == -1) return L"none";
    if (nActive >= 0 && nActive < GetTabCount()) return m_arrTabs[std::size_t(nActive)]->strName;
    return L"error";
}

HRESULT CNQTabCtrl::ShowTabWindow(int nIndex) {
    if (nIndex >= GetTabCount() || nIndex < 0) return S_OK;
    const HRESULT hr = m_arrTabs[std::size_t(nIndex)]->pTab->Show(TRUE);
    return FAILED(hr) ? TABCTRL_TRACEHR(hr) : hr;
}

HRESULT CNQTabCtrl::HideAllTabWindows() {
    HRESULT hr = S_OK;
    for (CTabWindowData* pData : m_arrTabs) {
        hr = pData->pTab->Show(FALSE);
        if (FAILED(hr)) return TABCTRL_TRACEHR(hr);
    }
    return hr;
}

void CNQTabCtrl::ReloadTabWindows() {
    if (!GetSafeHwnd() || !m_bTabsCreated || !m_pParentDlg || m_pParentDlg->IsClosingFlag() ||
        m_pParentDlg->GetSecurityAppliedCount() < 1)
        return;
    HRESULT hr = S_OK;
    int p = 0;
    for (int i = 0; SUCCEEDED(hr); ++i) {
        CString strProgID;
        if (!ReadListEntry(i, strProgID)) break;
        CLSID clsid{};
        const HRESULT hrClass = CLSIDFromProgID(strProgID, &clsid);
        if (FAILED(hrClass)) {
            TABCTRL_TRACEHR(hrClass);
            ReportUnregistered(strProgID);
            continue;
        }
        if (p < GetTabCount() && m_arrTabs[std::size_t(p)]->clsid == clsid) {
            INQTabWindowBase* pTab = m_arrTabs[std::size_t(p)]->pTab;
            if (AskRights(pTab, 1) != S_OK) {
                ++p;
            } else {
                pTab->Show(FALSE);
                hr = RemoveTabWindow(p);
                if (m_nShownIndex == p)
                    m_nShownIndex = 0;
                else if (m_nShownIndex > p)
                    --m_nShownIndex;
            }
            continue;
        }
        INQTabWindowBase* pTab = nullptr;
        hr = CreatePage(clsid, &pTab);
        if (FAILED(hr)) break;
        if (AskRights(pTab, 1) == S_OK) {
            pTab->Release();
            continue;
        }
        hr = pTab->SetParentControl(m_pParentControl);
        if (SUCCEEDED(hr)) hr = AddTabWindow(pTab, clsid, p);
        if (FAILED(hr)) {
            TABCTRL_TRACEHR(hr);
            pTab->Release();
            break;
        }
        if (m_nShownIndex >= p && m_nShownIndex != 0) ++m_nShownIndex;
        ++p;
    }
    if (m_nRestoreIndex >= 0 && m_nRestoreIndex < GetTabCount()) {
        BOOL bRestore = FALSE;
        COptionServer options;
        options.GetOption(-1000, L"RestoreLastTab", &bRestore, 1, 0);
        if (bRestore) {
            m_nShownIndex = m_nRestoreIndex;
            SetActiveTab(m_nRestoreIndex);
        }
    }
    m_nRestoreIndex = -1;
    if (m_nShownIndex >= GetTabCount()) m_nShownIndex = 0;
    if (SUCCEEDED(hr) && GetTabCount() > 0) {
        if (FAILED(HideAllTabWindows())) return;
        // The strip moved on by itself when the shown page went: it marks the page shown.
        if (GetActiveTab() != m_nShownIndex) SetActiveTab(m_nShownIndex);
        if (FAILED(ShowTabWindow(m_nShownIndex))) TABCTRL_TRACEHR(E_FAIL);
    }
}
