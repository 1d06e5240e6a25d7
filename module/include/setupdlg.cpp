#include "setupdlg.h"

#include "childdlg.h"
#include "nqframeworkres.h"
#include "qvhrtrace.h"
#include "qvinteract.h"
#include "strtable.h"

#include <string_view>
#include <vector>

#define SETUPDLG_TRACEHR(hr) QvAddHRErrorFile(L"setupdlg", __LINE__, (hr))

IMPLEMENT_DYNAMIC(CSetupDlg, CQvFSetupDlg)

BEGIN_MESSAGE_MAP(CSetupDlg, CQvFSetupDlg)
    ON_WM_VSCROLL()
    ON_WM_SIZE()
END_MESSAGE_MAP()

namespace {
const bool g_registered = [] {
    qv::RegisterStringTable(NQFrameworkModuleHandle(),
                            {{IDS_NQ_SETUP_LOCKED,
                              L"Die Daten sind gesperrt von '%s'.\nBitte versuchen Sie es später nochmals!"},
                             {IDS_NQ_SETUP_CHANGED,
                              L"Ein anderer Benutzer hat diese Einstellungen inzwischen geändert. Sie werden so "
                              L"angezeigt, wie sie jetzt gespeichert sind.\nBitte geben Sie Ihre Änderung nochmals "
                              L"ein."}});
    return true;
}();
}  // namespace

namespace qv::nq {
COLORREF SetupBackgroundColor(COLORREF crFace) {
    return DarkenColor(crFace, 20);
}
}  // namespace qv::nq

CSetupDlg::CSetupDlg(UINT nTemplateID, CWnd* pParent) : CQvFSetupDlg(nTemplateID, pParent) {}

CSetupDlg::~CSetupDlg() {
    if (m_pScrollHelper) {
        m_pScrollHelper->AttachWnd(nullptr);
        delete m_pScrollHelper;
        m_pScrollHelper = nullptr;
    }
}

BOOL CSetupDlg::OnInitDialog() {
    SetBackgroundColor(QVBK_COLOR, qv::nq::SetupBackgroundColor(GetSysColor(COLOR_BTNFACE)));
    CQvDialog::OnInitDialog();
    if (m_nDisplayHeight > 0) {
        m_pScrollHelper = new CDlgScrollHelper;
        m_pScrollHelper->AttachWnd(this);
        m_pScrollHelper->SetDisplaySize(0, m_nDisplayHeight);
    }
    return TRUE;
}

namespace {

// What a control of the page shows: its text, a button's check, a list's choice.
struct ShownValue {
    HWND hWnd = nullptr;
    CString strText;
    LRESULT lState = 0;
    bool bEdit = false;
};

std::vector<ShownValue> ShownValues(HWND hPage) {
    std::vector<ShownValue> values;
    for (HWND h = ::GetWindow(hPage, GW_CHILD); h; h = ::GetWindow(h, GW_HWNDNEXT)) {
        wchar_t szClass[32] = {};
        ::GetClassNameW(h, szClass, 32);
        const std::wstring_view cls(szClass);
        ShownValue value;
        value.hWnd = h;
        CWnd::FromHandle(h)->GetWindowText(value.strText);
        if (cls == L"Button") value.lState = ::SendMessage(h, BM_GETCHECK, 0, 0);
        else if (cls == L"ComboBox") value.lState = ::SendMessage(h, CB_GETCURSEL, 0, 0);
        value.bEdit = cls == L"Edit";
        values.push_back(value);
    }
    return values;
}

CString Joined(const std::vector<ShownValue>& values) {
    CString strState;
    for (const ShownValue& value : values) {
        CString strState1;
        strState1.Format(L"%ld\x1F", long(value.lState));
        strState += value.strText + L"\x1F" + strState1;
    }
    return strState;
}

}  // namespace


HRESULT CSetupDlg::ShowView(BOOL bShow) {
    const HRESULT hr = CQvFSetupDlg::ShowView(bShow);
    // The values as loaded: the first change compares the stored ones with them.
    if (bShow && GetSafeHwnd() && !IsModified()) m_strLoadedState = Joined(ShownValues(GetSafeHwnd()));
    return hr;
}

long CSetupDlg::Lock(long lID, CString strTable, CString strIDColumn) {
    if (IsModified()) return eRecordEditing;
    CString strOwner;
    const long lResult = m_lock.LockDbRecord(strTable, strIDColumn, lID, &strOwner);
    if (lResult == eRecordEditing) {
        SetModified(TRUE);
        m_lLockedID = lID;
        m_strLockedTable = strTable;
        m_strLockedIDColumn = strIDColumn;
        if (!GetSafeHwnd() || m_strLoadedState.IsEmpty()) return eRecordEditing;
        // Another user may have saved the settings since the page loaded them: the page reads
        // them again and keeps the user's change only over the values it showed.
        const std::vector<ShownValue> typed = ShownValues(GetSafeHwnd());
        std::vector<DWORD> selections;
        for (const ShownValue& value : typed)
            selections.push_back(value.bEdit ? DWORD(::SendMessage(value.hWnd, EM_GETSEL, 0, 0)) : 0);
        HRESULT hr = LoadSettings();
        if (FAILED(hr)) SETUPDLG_TRACEHR(hr);
        const std::vector<ShownValue> stored = ShownValues(GetSafeHwnd());
        const CString strStored = Joined(stored);
        if (SUCCEEDED(hr) && strStored == m_strLoadedState) {
            for (std::size_t i = 0; i < typed.size() && i < stored.size(); ++i) {
                const ShownValue& value = typed[i];
                if (value.strText == stored[i].strText && value.lState == stored[i].lState) continue;
                wchar_t szClass[32] = {};
                ::GetClassNameW(value.hWnd, szClass, 32);
                const std::wstring_view cls(szClass);
                if (cls == L"Button") {
                    ::SendMessage(value.hWnd, BM_SETCHECK, WPARAM(value.lState), 0);
                } else if (cls == L"ComboBox") {
                    ::SendMessage(value.hWnd, CB_SETCURSEL, WPARAM(value.lState), 0);
                } else {
                    CWnd::FromHandle(value.hWnd)->SetWindowText(value.strText);
                    if (value.bEdit)
                        ::SendMessage(value.hWnd, EM_SETSEL, LOWORD(selections[i]), HIWORD(selections[i]));
                }
            }
            return eRecordEditing;
        }
        // The page shows what is stored now; nothing of the user's is written over it.
        m_strLoadedState = strStored;
        Unlock();
        SetModified(FALSE);
        QvReportMsg(2, NQLoadString(IDS_NQ_SETUP_CHANGED), L"CSetupDlg::Lock()", L"Default", __FILE__, __LINE__, 0);
        return hr;
    }
    // A failure has been reported by the lock, with its cause (a database that may not be
    // written says so); only another user's lock is named here.
    if (SUCCEEDED(lResult)) {
        CString strText;
        strText.Format(NQLoadString(IDS_NQ_SETUP_LOCKED), strOwner);
        QvReportMsg(2, strText, L"CSetupDlg::Lock()", L"Default", __FILE__, __LINE__, 0);
    }
    const HRESULT hr = LoadSettings();
    if (FAILED(hr)) SETUPDLG_TRACEHR(hr);
    if (SUCCEEDED(hr) && GetSafeHwnd()) m_strLoadedState = Joined(ShownValues(GetSafeHwnd()));
    return hr;
}

void CSetupDlg::Unlock() {
    if (m_lLockedID != 0) m_lock.UnlockDbRecord(m_strLockedTable, m_strLockedIDColumn, m_lLockedID);
    m_lLockedID = 0;
}

long CSetupDlg::ReadStoredSettings(CString& strState) {
    strState.Empty();
    return S_OK;
}

long CSetupDlg::CheckStoredSettings() {
    std::vector<CHeldRow> rows;
    if (m_lLockedID != 0) rows.push_back({m_strLockedTable, m_strLockedIDColumn, m_lLockedID});
    const long hr = m_lock.CheckStoredState(
        rows, [this](CString& strRead) { return ReadStoredSettings(strRead); }, m_strStoredSettings, nullptr);
    return FAILED(hr) ? SETUPDLG_TRACEHR(hr) : hr;
}

HRESULT CSetupDlg::ShowChangedMeanwhile() {
    Unlock();
    SetModified(FALSE);
    const HRESULT hr = LoadSettings();
    if (FAILED(hr)) SETUPDLG_TRACEHR(hr);
    if (GetSafeHwnd()) m_strLoadedState = Joined(ShownValues(GetSafeHwnd()));
    QvReportMsg(2, NQLoadString(IDS_NQ_SETUP_CHANGED), L"CSetupDlg::SaveSettings()", L"Default", __FILE__, __LINE__,
                0);
    return E_ABORT;
}

BOOL CSetupDlg::PreTranslateMessage(MSG* pMsg) {
    if (pMsg->message == WM_KEYDOWN && pMsg->wParam == VK_F1 && GetSafeHwnd()) m_btnHelp.ShowHelp();
    return CQvFSetupDlg::PreTranslateMessage(pMsg);
}

void CSetupDlg::OnVScroll(UINT nSBCode, UINT /*nPos*/, CScrollBar* pScrollBar) {
    if (m_pScrollHelper && GetSafeHwnd()) m_pScrollHelper->OnVScroll(nSBCode, pScrollBar);
}

void CSetupDlg::OnSize(UINT nType, int cx, int cy) {
    CQvFSetupDlg::OnSize(nType, cx, cy);
    if (m_pScrollHelper) m_pScrollHelper->OnSize();
}
