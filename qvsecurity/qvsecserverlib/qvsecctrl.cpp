// The rights applied to controls: apart from the rights client, so that code without windows can
// use the client without linking the window layer.
#include "ctrls.h"
#include "qvgridctrl.h"
#include "qvlistctrl.h"
#include "qvsec.h"
#include "textcase.h"
#include "winmsg.h"

namespace {

CString ClassName(CWnd* pWnd) {
    wchar_t name[101] = {};
    RealGetWindowClassW(pWnd->GetSafeHwnd(), name, 100);
    return CString(name);
}

bool IsClass(const CString& name, LPCWSTR lpszClass) { return qv::CompareNoCase(name.GetString(), lpszClass) == 0; }

}  // namespace

void CQvSec::EnableControl(CWnd* pWnd, long nShow, long nEdit, DWORD dwMask, bool bPlain) {
    if (!pWnd || !pWnd->GetSafeHwnd()) return;
    const bool noRights = HasNoRights(m_dwRights) != FALSE;

    const bool show = nShow == 3 ? false : nShow == 2 ? true : !noRights;
    pWnd->ShowWindow(show ? SW_SHOW : SW_HIDE);
    if (!show) return;

    const bool readOnly = nEdit == 3 ? true : nEdit == 2 ? false : noRights || (m_dwRights & dwMask) != dwMask;
    if (bPlain) {
        pWnd->EnableWindow(!readOnly);
        return;
    }

    const CString name = ClassName(pWnd);
    if (pWnd->IsKindOf(RUNTIME_CLASS(CQvGridCtrl))) {
        // A read-only grid still scrolls and selects; it is never disabled.
        static_cast<CQvGridCtrl*>(pWnd)->SetReadOnly(readOnly);
    } else if (pWnd->IsKindOf(RUNTIME_CLASS(CQvListCtrl))) {
        static_cast<CQvListCtrl*>(pWnd)->SetReadOnly(readOnly);
    } else if (pWnd->IsKindOf(RUNTIME_CLASS(CSpinButtonCtrl)) || IsClass(name, L"msctls_updown32")) {
        // The value stays readable in its buddy; only the spin button stops.
        const HWND hBuddy = reinterpret_cast<HWND>(pWnd->SendMessage(UDM_GETBUDDY));
        if (CWnd* pBuddy = hBuddy ? CWnd::FromHandle(hBuddy) : nullptr) {
            if (pBuddy->IsKindOf(RUNTIME_CLASS(CEdit)) || IsClass(ClassName(pBuddy), L"Edit")) {
                pBuddy->SendMessage(EM_SETREADONLY, readOnly);
            } else {
                pBuddy->EnableWindow(!readOnly);
            }
        }
        pWnd->EnableWindow(!readOnly);
    } else if (pWnd->IsKindOf(RUNTIME_CLASS(CEdit)) || IsClass(name, L"Edit")) {
        pWnd->SendMessage(EM_SETREADONLY, readOnly);
    } else if (pWnd->IsKindOf(RUNTIME_CLASS(CCheckListBox))) {
        CCheckListBox* pList = static_cast<CCheckListBox*>(pWnd);
        const int count = static_cast<int>(pList->SendMessage(LB_GETCOUNT));
        for (int i = 0; i < count; ++i) pList->Enable(i, !readOnly);
    } else if (pWnd->IsKindOf(RUNTIME_CLASS(CListBox)) || pWnd->IsKindOf(RUNTIME_CLASS(CStatic)) ||
               IsClass(name, L"Static")) {
        // Lists and labels are read anyway.
    } else {
        pWnd->EnableWindow(!readOnly);
    }
}

void CQvSec::EnableDlgItem(CWnd* pParent, int nID, long nShow, long nEdit, DWORD dwMask, bool bPlain) {
    if (!pParent || !pParent->GetSafeHwnd()) return;
    EnableControl(pParent->GetDlgItem(nID), nShow, nEdit, dwMask, bPlain);
}
