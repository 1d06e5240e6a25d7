#include "seldlg.h"

#include "navigatedlg.h"
#include "nqframeworkres.h"
#include "parentdlg.h"
#include "qvhrtrace.h"
#include "qvinteract.h"
#include "qvsec.h"
#include "resource.h"
#include "strtable.h"

#define SELDLG_TRACEHR(hr) QvAddHRErrorFile(L"seldlg", __LINE__, (hr))

IMPLEMENT_DYNAMIC(CSelDlg, CQvDialog)

BEGIN_MESSAGE_MAP(CSelDlg, CQvDialog)
    ON_BN_CLICKED(IDC_NQ_SEL_NEXT, &CSelDlg::OnBnNext)
    ON_BN_CLICKED(IDC_NQ_SEL_PREV, &CSelDlg::OnBnPrev)
    ON_BN_CLICKED(IDC_NQ_SEL_FIRST, &CSelDlg::OnBnFirst)
    ON_BN_CLICKED(IDC_NQ_SEL_LAST, &CSelDlg::OnBnLast)
    ON_BN_CLICKED(IDC_NQ_SEL_SEARCH, &CSelDlg::OnBnSearch)
    ON_BN_CLICKED(IDC_NQ_SEL_FILTER, &CSelDlg::OnBnFilter)
    ON_STN_CLICKED(IDC_NQ_SEL_TEXT, &CSelDlg::OnBnSearch)
END_MESSAGE_MAP()

namespace {

const bool g_registered = [] {
    using namespace qv::ui;
    const HINSTANCE module = NQFrameworkModuleHandle();
    qv::RegisterStringTable(module, {
        {IDS_NQ_SEL_FILTER, L"Öffnet ein Fenster zum Ändern der Filtereinstellungen."},
        {IDS_NQ_SEL_SEARCH, L"Öffnet ein Fenster zum Suchen des gewünschten Datensatzes. (Ctrl-F)"},
        {IDS_NQ_SEL_LAST, L"Zeigt den letzten Datensatz an."},
        {IDS_NQ_SEL_FIRST, L"Zeigt den ersten Datensatz an."},
        {IDS_NQ_SEL_PREV, L"Zeigt den vorherigen Datensatz an."},
        {IDS_NQ_SEL_NEXT, L"Zeigt den nächsten Datensatz an."},
        {IDS_NQ_SEL_TEXT, L"Der aktuelle Datensatz\nKlicken Sie um einen anderen Datensatz zu suchen (Ctrl-F)."},
    });
    DialogTemplate dlg;
    dlg.id = IDD_NQ_SELDLG;
    dlg.cx = 275;
    dlg.cy = 25;
    dlg.style = WS_CHILD | DS_CONTROL;
    dlg.exStyle = WS_EX_CONTROLPARENT;
    dlg.items = {
        LText(L"Static", IDC_NQ_SEL_TEXT, 0, 3, 99, 18, SS_NOTIFY | SS_CENTERIMAGE | SS_NOPREFIX | SS_ENDELLIPSIS),
        PushButton(L"", IDC_NQ_SEL_SEARCH, 101, 3, 18, 18),
        PushButton(L"", IDC_NQ_SEL_FILTER, 119, 3, 18, 18),
        PushButton(L"", IDC_NQ_SEL_FIRST, 137, 3, 18, 18),
        PushButton(L"Zurück", IDC_NQ_SEL_PREV, 155, 3, 50, 18),
        PushButton(L"Vorwärts", IDC_NQ_SEL_NEXT, 205, 3, 50, 18),
        PushButton(L"", IDC_NQ_SEL_LAST, 255, 3, 18, 18),
    };
    RegisterDialogTemplate(module, dlg);
    return true;
}();

}  // namespace

CSelDlg::CSelDlg() : CQvDialog(IDD_NQ_SELDLG, nullptr) {}

void CSelDlg::DoDataExchange(CDataExchange* pDX) {
    CQvDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_NQ_SEL_TEXT, m_stcText);
    DDX_Text(pDX, IDC_NQ_SEL_TEXT, m_strText);
}

HRESULT CSelDlg::InitControls(CParentDlg* pParentDlg, UINT nPlaceholderID) {
    m_pParentDlg = pParentDlg;
    const BOOL bCreated = qv::nq::CreateHeaderBar(*this, IDD_NQ_SELDLG, pParentDlg, nPlaceholderID);
    static constexpr std::pair<UINT, UINT> kTips[] = {
        {IDC_NQ_SEL_FILTER, IDS_NQ_SEL_FILTER}, {IDC_NQ_SEL_SEARCH, IDS_NQ_SEL_SEARCH},
        {IDC_NQ_SEL_LAST, IDS_NQ_SEL_LAST},     {IDC_NQ_SEL_FIRST, IDS_NQ_SEL_FIRST},
        {IDC_NQ_SEL_PREV, IDS_NQ_SEL_PREV},     {IDC_NQ_SEL_NEXT, IDS_NQ_SEL_NEXT},
        {IDC_NQ_SEL_TEXT, IDS_NQ_SEL_TEXT},
    };
    for (const auto& [nCtrl, nString] : kTips) AddToolTipText(nCtrl, NQLoadString(nString));
    return bCreated ? S_OK : E_FAIL;
}

BOOL CSelDlg::OnInitDialog() {
    CQvDialog::OnInitDialog();
    struct Button {
        CQvBitmapButton* pButton;
        UINT nID;
        int nPlacement;
        int nImage;
    };
    const Button buttons[] = {
        {&m_btnPrev, IDC_NQ_SEL_PREV, QVBB_IMAGE_LEFT, 31},   {&m_btnNext, IDC_NQ_SEL_NEXT, QVBB_IMAGE_RIGHT, 32},
        {&m_btnFirst, IDC_NQ_SEL_FIRST, QVBB_IMAGE_ONLY, 35}, {&m_btnLast, IDC_NQ_SEL_LAST, QVBB_IMAGE_ONLY, 36},
        {&m_btnSearch, IDC_NQ_SEL_SEARCH, QVBB_IMAGE_ONLY, 46}, {&m_btnFilter, IDC_NQ_SEL_FILTER, QVBB_IMAGE_ONLY, 41},
    };
    for (const Button& b : buttons) {
        if (b.pButton->AttachButton(b.nID, this, b.nPlacement, b.nImage)) b.pButton->SetFlatButton(TRUE);
    }

    LOGFONTW lf{};
    lf.lfHeight = 100;
    lf.lfWeight = FW_BOLD;
    if (m_font.CreatePointFontIndirect(&lf)) m_stcText.SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(HFONT(m_font)), TRUE);

    // From the right: the buttons keep their size, the text takes what is left.
    CQvLayoutNode* pRoot = m_layout.CreateRelativeNode(this);
    CQvLayoutNode* pLast = m_layout.CreateWindowNode(pRoot, IDC_NQ_SEL_LAST);
    pLast->Attach(eQvRight, pRoot, eQvRight, 0)->KeepSize();
    CQvLayoutNode* pPrevNode = pLast;
    for (UINT nID : {IDC_NQ_SEL_NEXT, IDC_NQ_SEL_PREV, IDC_NQ_SEL_FIRST, IDC_NQ_SEL_FILTER, IDC_NQ_SEL_SEARCH}) {
        CQvLayoutNode* pNode = m_layout.CreateWindowNode(pRoot, nID);
        pNode->Attach(eQvRight, pPrevNode, eQvLeft, 0)->KeepSize();
        pPrevNode = pNode;
    }
    m_layout.CreateWindowNode(pRoot, IDC_NQ_SEL_TEXT)->Attach(eQvRight, pPrevNode, eQvLeft, -5);
    m_layout.CreateLayoutListener(this, pRoot, nullptr, FALSE, FALSE);
    return TRUE;
}

HRESULT CSelDlg::ShowRecord(long lID, long lSubID) {
    HRESULT hr = m_pParentDlg ? m_pParentDlg->Navigate(lID, lSubID) : E_POINTER;
    if (FAILED(hr)) SELDLG_TRACEHR(hr);
    UpdateData(FALSE);
    return hr;
}

HRESULT CSelDlg::ShowFirstRecord() {
    long lID = 0;
    HRESULT hr = GetFirstID(&lID);
    if (SUCCEEDED(hr)) hr = m_pParentDlg ? m_pParentDlg->Navigate(lID, 0) : E_POINTER;
    if (SUCCEEDED(hr) && lID == 0) hr = GetRecordText(&m_strText);
    if (FAILED(hr)) SELDLG_TRACEHR(hr);
    UpdateData(FALSE);
    return hr;
}

HRESULT CSelDlg::ResetSelection() {
    if (GetRecordID() == 0) return ShowFirstRecord();
    const HRESULT hr = GetRecordText(&m_strText);
    if (SUCCEEDED(hr)) UpdateData(FALSE);
    else SELDLG_TRACEHR(hr);
    return hr;
}

void CSelDlg::UpdateFilter() {
    CQvSec sec;
    CString strName, strUserID;
    sec.GetUser(&strName, &strUserID, &m_lUserID);
}

long CSelDlg::GetRecordID() { return m_pParentDlg ? m_pParentDlg->GetRecordID() : 0; }

long CSelDlg::GetSubRecordID() { return m_pParentDlg ? m_pParentDlg->GetSubRecordID() : 0; }

void CSelDlg::Step(HRESULT (CSelDlg::*pfnGetter)(long*), BOOL bShowNone, LPCWSTR lpszCaption, long lLine) {
    CWaitCursor wait;
    long lID = 0;
    HRESULT hr = (this->*pfnGetter)(&lID);
    if (SUCCEEDED(hr) && (lID != 0 || bShowNone)) hr = ShowRecord(lID, 0);
    if (FAILED(hr)) QvReportMsg(1, CrackHR(hr), lpszCaption, L"Default", __FILE__, lLine, 1);
}

void CSelDlg::OnBnNext() { Step(&CSelDlg::GetNextID, FALSE, L"CSelDlg::OnBnNext", __LINE__); }
void CSelDlg::OnBnPrev() { Step(&CSelDlg::GetPrevID, FALSE, L"CSelDlg::OnBnPrev", __LINE__); }
void CSelDlg::OnBnFirst() { Step(&CSelDlg::GetFirstID, TRUE, L"CSelDlg::OnBnFirst", __LINE__); }
void CSelDlg::OnBnLast() { Step(&CSelDlg::GetLastID, FALSE, L"CSelDlg::OnBnLast", __LINE__); }
void CSelDlg::OnBnSearch() { OnSearch(); }
void CSelDlg::OnBnFilter() { OnFilter(); }
