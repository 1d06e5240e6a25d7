#include "qvreportbutton.h"
#include "qvcomserver.h"
#include "qvfint.h"
#include "qvhelp.h"
#include "qvhrtrace.h"
#include "qvinteract.h"
#include "qvsec.h"
#include "reportenumimp.h"

#define BUTTON_TRACEHR(hr) QvAddHRErrorFile(L"qvreportbutton", __LINE__, (hr))

IMPLEMENT_DYNAMIC(CQvReportButton, CQvMenuButton)

BEGIN_MESSAGE_MAP(CQvReportButton, CQvMenuButton)
    ON_CONTROL_REFLECT_EX(BN_CLICKED, &CQvReportButton::OnClicked)
    ON_WM_LBUTTONDOWN()
    ON_WM_MENUSELECT()
    ON_WM_DESTROY()
END_MESSAGE_MAP()

BEGIN_QVEVENT_MAP(CQvReportButton)
    ON_QVEVENT(GUID_QvReportButtonStop, OnStopEvent)
END_QVEVENT_MAP()

namespace {
void ShowFailure(HRESULT hr, LPCWSTR lpszCaption, long lLine) {
    QvReportMsg(1, CrackHR(hr), lpszCaption, L"Default", L"qvreportbutton", lLine, 1);
}
}  // namespace

CQvReportButton::CQvReportButton() = default;

CQvReportButton::~CQvReportButton() {
    if (m_toolTip.GetSafeHwnd()) m_toolTip.DestroyWindow();
}

BOOL CQvReportButton::Init(UINT nID, CWnd* pParent, CQvGUID guidProfile, int nAppearance) {
    if (CWnd* pControl = pParent ? pParent->GetDlgItem(int(nID)) : nullptr)
        pControl->ModifyStyle(BS_TYPEMASK, BS_OWNERDRAW);
    m_menu.CreatePopupMenu();
    const BOOL bAttached = AttachButton(nID, pParent, &m_menu, nAppearance, 1);
    if (bAttached) {
        CreateToolTip();
        if (FAILED(m_EventSink.Create(this, GetQvEventMap()))) BUTTON_TRACEHR(E_FAIL);
    }
    m_guidProfile = guidProfile;
    if (bAttached) UpdateMenu();
    return bAttached;
}

void CQvReportButton::CreateToolTip() {
    INITCOMMONCONTROLSEX init;
    init.dwICC = ICC_BAR_CLASSES;
    InitCommonControlsEx(&init);
    if (!m_toolTip.Create(this, TTS_NOPREFIX | WS_POPUP)) return;
    TOOLINFOW info;
    info.uFlags = TTF_IDISHWND | TTF_TRACK | TTF_ABSOLUTE | TTF_TRANSPARENT;
    info.hwnd = GetSafeHwnd();
    info.uId = reinterpret_cast<UINT_PTR>(GetSafeHwnd());
    wchar_t empty[1] = {0};
    info.lpszText = empty;
    m_toolTip.AddTool(&info);
    m_toolTip.SetMaxTipWidth(300);
    m_nScreenWidth = GetSystemMetrics(SM_CXVIRTUALSCREEN);
}

HRESULT CQvReportButton::UpdateMenu() {
    if (m_bStopped) return S_FALSE;
    long lFrameValue = 0;
    IUnknown* pFrame = nullptr;
    if (SUCCEEDED(GetFrameIUnk(&pFrame)) && pFrame) {
        IQvFFrame* pMain = nullptr;
        if (SUCCEEDED(pFrame->QueryInterface(IID_IQvFFrame, reinterpret_cast<void**>(&pMain))) && pMain) {
            if (FAILED(pMain->GetFrameValue(&lFrameValue))) lFrameValue = 0;
            pMain->Release();
        }
        pFrame->Release();
    }
    if (lFrameValue == 0) return S_OK;

    CQvSec sec;
    HRESULT hr = HRESULT(sec.LoadRights(m_guidProfile));
    if (FAILED(hr)) BUTTON_TRACEHR(hr);
    if (sec.HasAllRights(0)) {
        ShowWindow(SW_HIDE);
        return hr;
    }
    int nVisible = 0;
    for (ReportEntry& entry : m_reports) {
        hr = HRESULT(sec.LoadRights(entry.guidReport));
        if (FAILED(hr)) {
            BUTTON_TRACEHR(hr);
            break;
        }
        const BOOL bRun = sec.HasAnyRight(0x2);
        if (bRun || sec.HasAnyRight(0x1)) {
            if (!entry.bInMenu) {
                m_menu.InsertMenu(UINT(nVisible), MF_BYPOSITION | MF_STRING, entry.nCommandID, entry.strLabel);
                entry.bInMenu = TRUE;
            }
            m_menu.EnableMenuItem(entry.nCommandID, MF_BYCOMMAND | (bRun ? MF_ENABLED : MF_GRAYED));
            ++nVisible;
        } else {
            if (entry.bInMenu) m_menu.DeleteMenu(entry.nCommandID, MF_BYCOMMAND);
            entry.bInMenu = FALSE;
        }
    }
    ShowWindow(SW_SHOW);
    EnableWindow(nVisible == 0 && m_bFilled ? FALSE : TRUE);
    return hr;
}

BOOL CQvReportButton::FillButton() {
    IReportEnum* pEnum = CReportEnumImp::Create(m_guidProfile);
    if (!pEnum) {
        ShowFailure(E_OUTOFMEMORY, L"CQvReportButton::FillButton", __LINE__);
        return FALSE;
    }
    HRESULT hr = S_OK;
    UINT nCommandID = QVREPORT_FIRST_COMMAND;
    while (nCommandID <= QVREPORT_LAST_COMMAND) {
        BSTR bstrReport = nullptr, bstrLabel = nullptr, bstrHelpID = nullptr;
        GUID guid{};
        ULONG fetched = 0;
        hr = pEnum->Next(1, &bstrReport, &bstrLabel, &bstrHelpID, &guid, &fetched);
        if (hr == S_OK) {
            ReportEntry entry;
            entry.nCommandID = nCommandID++;
            entry.strLabel = CString(bstrLabel ? bstrLabel : L"");
            entry.strReport = CString(bstrReport ? bstrReport : L"");
            entry.strHelpID = CString(bstrHelpID ? bstrHelpID : L"");
            entry.guidReport = guid;
            entry.bInMenu = TRUE;
            m_menu.AppendMenu(MF_STRING, entry.nCommandID, entry.strLabel);
            m_reports.push_back(entry);
        }
        SysFreeString(bstrReport);
        SysFreeString(bstrLabel);
        SysFreeString(bstrHelpID);
        if (hr != S_OK) break;
    }
    pEnum->Release();
    if (FAILED(hr)) {
        BUTTON_TRACEHR(hr);
        ShowFailure(hr, L"CQvReportButton::FillButton", __LINE__);
        return FALSE;
    }
    return TRUE;
}

CQvReportButton::ReportEntry* CQvReportButton::EntryOf(UINT nCommandID) {
    if (nCommandID < QVREPORT_FIRST_COMMAND) return nullptr;
    const std::size_t index = nCommandID - QVREPORT_FIRST_COMMAND;
    return index < m_reports.size() ? &m_reports[index] : nullptr;
}

BOOL CQvReportButton::GetReportByCommand(UINT nCommandID, CQvGUID* pGuid, CString* pText) {
    ReportEntry* pEntry = EntryOf(nCommandID);
    if (!pEntry) return FALSE;
    if (pGuid) *pGuid = pEntry->guidReport;
    CString strText;
    m_menu.GetMenuString(nCommandID, strText, MF_BYCOMMAND);
    if (pText) *pText = strText;
    return strText.IsEmpty() ? FALSE : TRUE;
}

void CQvReportButton::ShowQvSecSetRightDlg(UINT nCommandID) {
    CQvSec sec;
    long hr = S_OK;
    if (nCommandID == 0) {
        hr = sec.ShowRightDlg(m_guidProfile, 1);
    } else if (ReportEntry* pEntry = EntryOf(nCommandID)) {
        if (!pEntry->bInMenu) return;
        hr = sec.ShowRightDlg(pEntry->guidReport, 0);
    } else {
        return;
    }
    if (FAILED(hr)) ShowFailure(HRESULT(hr), L"CQvReportButton::ShowQvSecSetRightDlg", __LINE__);
}

void CQvReportButton::ShowHelp(UINT nCommandID) {
    ReportEntry* pEntry = EntryOf(nCommandID);
    if (!pEntry || !pEntry->bInMenu || pEntry->strHelpID.IsEmpty()) return;
    CQvHelp help;
    const HRESULT hr = help.ShowHelp(pEntry->strHelpID);
    if (FAILED(hr)) ShowFailure(hr, L"CQvReportButton::ShowHelp", __LINE__);
}

void CQvReportButton::OnStopEvent(COleVariant) { m_bStopped = TRUE; }

BOOL CQvReportButton::OnClicked() {
    if (GetKeyState(VK_SHIFT) < 0) {
        ShowQvSecSetRightDlg(0);
        return TRUE;
    }
    // The button has no command of its own: a click on its face, or its key, opens the menu as one
    // on its arrow does.
    if (!m_bFilled && FillButton()) {
        m_bFilled = TRUE;
        UpdateMenu();
    }
    m_bArrowPressed = true;
    return CQvMenuButton::OnClicked();
}

void CQvReportButton::OnLButtonDown(UINT nFlags, CPoint point) {
    if (!m_bFilled && FillButton()) {
        m_bFilled = TRUE;
        UpdateMenu();
    }
    CQvMenuButton::OnLButtonDown(nFlags, point);
}

void CQvReportButton::OnMenuSelect(UINT nItemID, UINT nFlags, HMENU hSysMenu) {
    // A popup entry or the menu closing hides the tip.
    if ((nFlags & MF_POPUP) || (nFlags == 0xFFFF && !hSysMenu)) {
        HideToolTip();
        return;
    }
    ReportEntry* pEntry = hSysMenu == m_menu.GetSafeHmenu() ? EntryOf(nItemID) : nullptr;
    if (!pEntry || !pEntry->bInMenu) {
        HideToolTip();
        return;
    }
    CQvHelp help;
    ShowToolTip(nItemID, help.GetHelpText(pEntry->strHelpID, pEntry->strLabel));
}

void CQvReportButton::ShowToolTip(UINT nItemID, const CString& strText) {
    if (!m_toolTip.GetSafeHwnd()) return;
    if (strText.IsEmpty()) {
        HideToolTip();
        return;
    }
    int nPosition = -1;
    for (int i = 0; i < m_menu.GetMenuItemCount(); ++i)
        if (m_menu.GetMenuItemID(i) == nItemID) nPosition = i;
    RECT rcItem{};
    if (nPosition < 0 || !GetMenuItemRect(GetSafeHwnd(), m_menu.GetSafeHmenu(), UINT(nPosition), &rcItem)) {
        HideToolTip();
        return;
    }
    m_toolTip.UpdateTipText(strText, this, reinterpret_cast<UINT_PTR>(GetSafeHwnd()));
    TOOLINFOW info;
    info.hwnd = GetSafeHwnd();
    info.uId = reinterpret_cast<UINT_PTR>(GetSafeHwnd());
    m_toolTip.TrackActivate(TRUE, &info);
    CRect rcTip;
    m_toolTip.GetWindowRect(&rcTip);
    int x = rcItem.right - 10;
    // Not beyond the screen's right edge: then left of the item.
    if (rcTip.Width() - 10 + rcItem.right > m_nScreenWidth) x = rcItem.left + 10 - rcTip.Width();
    m_toolTip.TrackPosition(x, rcItem.top - 2);
    ::SetWindowPos(m_toolTip.GetSafeHwnd(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void CQvReportButton::HideToolTip() {
    if (!m_toolTip.GetSafeHwnd()) return;
    TOOLINFOW info;
    info.hwnd = GetSafeHwnd();
    info.uId = reinterpret_cast<UINT_PTR>(GetSafeHwnd());
    m_toolTip.TrackActivate(FALSE, &info);
}

void CQvReportButton::OnDestroy() {
    m_EventSink.Unadvise();
    CQvMenuButton::OnDestroy();
}
