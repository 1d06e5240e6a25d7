#include "nqpopupdialog.h"

IMPLEMENT_DYNAMIC(CNQPopupDialog, CQvDialog)

CNQPopupDialog::CNQPopupDialog(UINT nIDTemplate, CWnd* pParent) : CQvDialog(nIDTemplate, pParent) {}

CNQPopupDialog::~CNQPopupDialog() = default;

BOOL CNQPopupDialog::PreTranslateMessage(MSG* pMsg) {
    // F1 shows the help and still takes the normal path.
    if (pMsg->message == WM_KEYDOWN && pMsg->wParam == VK_F1 && m_hWnd) m_btnHelp.ShowHelp();
    return CDialogEx::PreTranslateMessage(pMsg);
}
