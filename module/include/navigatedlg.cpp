#include "navigatedlg.h"

#include "nqcommon.h"
#include "nqframeworkres.h"
#include "parentdlg.h"
#include "resource.h"
#include "strtable.h"

#include <QImage>

IMPLEMENT_DYNAMIC(CNavigateDlg, CQvDialog)

BEGIN_MESSAGE_MAP(CNavigateDlg, CQvDialog)
    ON_BN_CLICKED(IDC_NQ_NAV_BACK, &CNavigateDlg::OnBnBack)
    ON_BN_CLICKED(IDC_NQ_NAV_FORWARD, &CNavigateDlg::OnBnForward)
END_MESSAGE_MAP()

namespace {

const bool g_registered = [] {
    using namespace qv::ui;
    const HINSTANCE module = NQFrameworkModuleHandle();
    qv::RegisterStringTable(module, {{IDS_NQ_NAV_BACK, L"Zurück"}, {IDS_NQ_NAV_FORWARD, L"Vorwärts"}});
    DialogTemplate dlg;
    dlg.id = IDD_NQ_NAVIGATEDLG;
    dlg.cx = 62;
    dlg.cy = 25;
    dlg.style = WS_CHILD | DS_CONTROL;
    dlg.exStyle = WS_EX_CONTROLPARENT;
    dlg.items = {
        PushButton(L"", IDC_NQ_NAV_BACK, 0, 0, 30, 25),
        PushButton(L"", IDC_NQ_NAV_FORWARD, 29, 0, 31, 25),
    };
    RegisterDialogTemplate(module, dlg);
    // The arrows of the suite's previous and next images.
    RegisterBitmap(module, IDB_NQ_NAV_BACK, qv::StandardButtonImage(31));
    RegisterBitmap(module, IDB_NQ_NAV_FORWARD, qv::StandardButtonImage(32));
    return true;
}();

}  // namespace

namespace qv::nq {

BOOL CreateHeaderBar(CQvDialog& bar, UINT nTemplateID, CParentDlg* pParentDlg, UINT nPlaceholderID) {
    BOOL bCreated = FALSE;
    {
        // The bar's template is the framework's, whichever module's dialog hosts it.
        NQ_MANAGE_STATE(NQFrameworkModuleHandle());
        bCreated = pParentDlg && bar.Create(nTemplateID, pParentDlg);
    }
    if (!bCreated) return FALSE;
    bar.SetBackgroundColor(QVBK_COLOR, pParentDlg->GetBackgroundColor());
    if (CWnd* pPlaceholder = pParentDlg->GetDlgItem(int(nPlaceholderID))) {
        CRect rc;
        pPlaceholder->GetWindowRect(&rc);
        pParentDlg->ScreenToClient(&rc);
        bar.MoveWindow(&rc, TRUE);
    }
    return TRUE;
}

}  // namespace qv::nq

CNavigateDlg::CNavigateDlg() : CQvDialog(IDD_NQ_NAVIGATEDLG, nullptr) {}

HRESULT CNavigateDlg::InitControls(CParentDlg* pParentDlg, UINT nPlaceholderID) {
    m_pParentDlg = pParentDlg;
    const BOOL bCreated = qv::nq::CreateHeaderBar(*this, IDD_NQ_NAVIGATEDLG, pParentDlg, nPlaceholderID);
    AddToolTipText(IDC_NQ_NAV_BACK, NQLoadString(IDS_NQ_NAV_BACK));
    AddToolTipText(IDC_NQ_NAV_FORWARD, NQLoadString(IDS_NQ_NAV_FORWARD));
    return bCreated ? S_OK : E_FAIL;
}

BOOL CNavigateDlg::OnInitDialog() {
    CQvDialog::OnInitDialog();
    NQ_MANAGE_STATE(NQFrameworkModuleHandle());
    if (m_btnBack.SubclassDlgItem(IDC_NQ_NAV_BACK, this)) {
        m_btnBack.SetBitmap(IDB_NQ_NAV_BACK, QVBB_IMAGE_ONLY);
        m_btnBack.SetFlatButton(TRUE);
    }
    if (m_btnForward.SubclassDlgItem(IDC_NQ_NAV_FORWARD, this)) {
        m_btnForward.SetBitmap(IDB_NQ_NAV_FORWARD, QVBB_IMAGE_ONLY);
        m_btnForward.SetFlatButton(TRUE);
    }
    return TRUE;
}

void CNavigateDlg::OnBnBack() { NQ_NavigateBackward(); }

void CNavigateDlg::OnBnForward() { NQ_NavigateForward(); }
