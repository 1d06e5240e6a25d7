#include "kursselectdlg.h"

#include "searchpopupdlg.h"

namespace {

constexpr long kTableKurs = 39;
// The course searches of the module list what the user may edit.
constexpr DWORD kRightMaskKurs = 0x100;

}  // namespace

BOOL KursSelect(CWnd* pParent, long& lKursID, long& lKursinstanzID) {
    // No mode word: courses with their runs, so that a course without runs can be chosen too.
    CSearchPopupDlg dlg(kTableKurs, CString(), 0, 0, pParent);
    dlg.m_dwRightMask = kRightMaskKurs;
    if (dlg.DoModal() != IDOK || !dlg.m_pSearchDlg) return FALSE;
    const std::vector<long>& kurse = dlg.m_pSearchDlg->m_arSelectedIDs;
    const std::vector<long>& runs = dlg.m_pSearchDlg->m_arSelectedIDs2;
    if (kurse.empty() || kurse.front() == 0) return FALSE;
    lKursID = kurse.front();
    lKursinstanzID = runs.empty() ? 0 : runs.front();
    return TRUE;
}
