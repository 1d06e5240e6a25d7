#include "kurspreconditiondlg.h"

#include "kursint.h"
#include "kurspreconditionview.h"
#include "kursresource.h"
#include "nqcommon.h"
#include "qvsec.h"

namespace {

// The dialog's template, registered with the module's resources when the library loads.
struct TemplateRegistrar {
    TemplateRegistrar() {
        using namespace qv::ui;
        DialogTemplate dlg;
        dlg.id = IDD_KURSPRECONDITION;
        dlg.caption = L"Voraussetzungen";
        dlg.cx = 360;
        dlg.cy = 262;
        dlg.style = DS_MODALFRAME | DS_SHELLFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU;
        dlg.items = {
            LText(L"Voraussetzungen für die Anmeldung an diesen Kurs:", static_cast<UINT>(IDC_STATIC), 7, 7, 300, 10),
            Control(L"", IDC_PRECONDITION_LIST, L"SysListView32",
                    LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_BORDER | WS_TABSTOP, 7, 20, 346, 130),
            LText(L"Regel:", static_cast<UINT>(IDC_STATIC), 7, 160, 60, 8),
            ComboBox(IDC_PRECONDITION_RULEOP, 70, 158, 90, 80, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP),
            LText(L"Verknüpfung:", static_cast<UINT>(IDC_STATIC), 180, 160, 60, 8),
            ComboBox(IDC_PRECONDITION_ITEMOP, 243, 158, 110, 80, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP),
            LText(L"Kurs:", static_cast<UINT>(IDC_STATIC), 7, 178, 60, 8),
            ComboBox(IDC_PRECONDITION_KURS, 70, 176, 283, 120, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP),
            LText(L"Zeitraum:", static_cast<UINT>(IDC_STATIC), 7, 196, 60, 8),
            ComboBox(IDC_PRECONDITION_LIMIT, 70, 194, 170, 80, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP),
            LText(L"N:", static_cast<UINT>(IDC_STATIC), 248, 196, 10, 8),
            EditText(IDC_PRECONDITION_MAXYEAR, 260, 194, 30, 12, ES_NUMBER | WS_TABSTOP),
            LText(L"M:", static_cast<UINT>(IDC_STATIC), 300, 196, 10, 8),
            EditText(IDC_PRECONDITION_LOCKYEAR, 312, 194, 30, 12, ES_NUMBER | WS_TABSTOP),
            PushButton(L"Neue Regel", IDC_PRECONDITION_NEWRULE, 7, 218, 64, 14, WS_TABSTOP),
            PushButton(L"Kurs zur Regel", IDC_PRECONDITION_NEWITEM, 75, 218, 64, 14, WS_TABSTOP),
            PushButton(L"Übernehmen", IDC_PRECONDITION_APPLY, 143, 218, 64, 14, WS_TABSTOP),
            PushButton(L"Löschen", IDC_PRECONDITION_DELETE, 211, 218, 64, 14, WS_TABSTOP),
            PushButton(L"", IDC_PRECONDITION_HELP, 7, 241, 16, 14, WS_TABSTOP),
            DefPushButton(L"Schliessen", IDCANCEL, 303, 241, 50, 14, WS_TABSTOP),
        };
        RegisterDialogTemplate(KursModuleHandle(), dlg);
    }
};
TemplateRegistrar g_templateRegistrar;

// Editing the rules is a right of the course module.
constexpr DWORD kRightEdit = 0x100;

CString OperatorText(long lOperator, bool bFirstRule) {
    switch (lOperator) {
    case 1: return bFirstRule ? CString() : kurs::Text(IDS_PRECOND_AND);
    case 2: return bFirstRule ? CString() : kurs::Text(IDS_PRECOND_OR);
    case 3: return kurs::Text(bFirstRule ? IDS_PRECOND_NOT : IDS_PRECOND_AND_NOT);
    default: return CString();
    }
}

CString LimitText(long lMaxYear, long lLockYear) {
    CString strLimit;
    if (lMaxYear > 0) strLimit.Format(IDS_PRECOND_MAXYEAR, lMaxYear);
    if (lMaxYear == 0 && lLockYear > 0) {
        strLimit.Format(IDS_PRECOND_NOT_WITHIN, lLockYear);
    } else if (lLockYear > 0) {
        CString strLock;
        strLock.Format(lMaxYear > 0 ? IDS_PRECOND_AND_LOCKYEAR : IDS_PRECOND_LOCKYEAR, lLockYear);
        if (!strLimit.IsEmpty()) strLimit += L' ';
        strLimit += strLock;
    }
    return strLimit;
}

// The choices of the time-limit box, in its order: which of the year fields N and M they use.
struct LimitChoice {
    UINT nText;
    bool bUsesN;
    bool bUsesM;
};
constexpr LimitChoice kLimits[] = {
    {IDS_PRECOND_LIMIT_ANY, false, false},     {IDS_PRECOND_LIMIT_MAX, true, false},
    {IDS_PRECOND_LIMIT_LOCK, false, true},     {IDS_PRECOND_LIMIT_MAXLOCK, true, true},
    {IDS_PRECOND_LIMIT_NOTWITHIN, false, true},
};
constexpr int kLimitCount = static_cast<int>(sizeof(kLimits) / sizeof(kLimits[0]));

}  // namespace

BEGIN_MESSAGE_MAP(CKursPreconditionDlg, CNQPopupDialog)
    ON_NOTIFY(LVN_ITEMCHANGED, IDC_PRECONDITION_LIST, &CKursPreconditionDlg::OnItemChangedList)
    ON_CBN_SELCHANGE(IDC_PRECONDITION_LIMIT, &CKursPreconditionDlg::OnSelChangeLimit)
    ON_BN_CLICKED(IDC_PRECONDITION_NEWRULE, &CKursPreconditionDlg::OnNewRule)
    ON_BN_CLICKED(IDC_PRECONDITION_NEWITEM, &CKursPreconditionDlg::OnNewItem)
    ON_BN_CLICKED(IDC_PRECONDITION_APPLY, &CKursPreconditionDlg::OnApply)
    ON_BN_CLICKED(IDC_PRECONDITION_DELETE, &CKursPreconditionDlg::OnDelete)
END_MESSAGE_MAP()

CKursPreconditionDlg::CKursPreconditionDlg(long lKursID, CQvGUID guidKurs, EAuthorityTyp eTyp, CWnd* pParent)
    : CNQPopupDialog(IDD_KURSPRECONDITION, pParent), m_lKursID(lKursID), m_guidKurs(guidKurs), m_eTyp(eTyp) {
    m_bReadOnly = m_guidKurs.IsNULL() || !(m_eTyp == eAuthorityTypLokal || NQ_IsEnterpriseEdition());
    if (!m_bReadOnly) {
        CQvSec sec;
        const long hr = sec.LoadRights(CQvGUID(kurs::kSecFunctionKursModul));
        if (FAILED(hr)) KURS_TRACEHR(hr);
        m_bReadOnly = FAILED(hr) || !sec.HasAllRights(kRightEdit);
    }
}

void CKursPreconditionDlg::DoDataExchange(CDataExchange* pDX) {
    CNQPopupDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_PRECONDITION_LIST, m_listRules);
    DDX_Control(pDX, IDC_PRECONDITION_RULEOP, m_cbRuleOp);
    DDX_Control(pDX, IDC_PRECONDITION_ITEMOP, m_cbItemOp);
    DDX_Control(pDX, IDC_PRECONDITION_KURS, m_cbKurs);
    DDX_Control(pDX, IDC_PRECONDITION_LIMIT, m_cbLimit);
}

BOOL CKursPreconditionDlg::OnInitDialog() {
    CKursResourceScope scope;
    CNQPopupDialog::OnInitDialog();
    m_btnHelp.AttachButton(IDC_PRECONDITION_HELP, this);
    m_btnHelp.SetHelpTopic(L"HELP_KURS_PRECONDITION");
    AddToolTipText(IDC_PRECONDITION_HELP, m_btnHelp.GetToolTipText());
    m_listRules.SetExtendedStyle(LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    m_listRules.InsertColumn(0, L"Nr.", LVCFMT_LEFT, 32);
    m_listRules.InsertColumn(1, L"Verknüpfung", LVCFMT_LEFT, 85);
    m_listRules.InsertColumn(2, L"Kurs", LVCFMT_LEFT, 190);
    m_listRules.InsertColumn(3, L"Zeitraum", LVCFMT_LEFT, 290);
    m_cbItemOp.SetItemData(m_cbItemOp.AddString(kurs::Text(IDS_PRECOND_AND)), 1);
    m_cbItemOp.SetItemData(m_cbItemOp.AddString(kurs::Text(IDS_PRECOND_OR)), 2);
    for (const LimitChoice& choice : kLimits) m_cbLimit.AddString(kurs::Text(choice.nText));
    FillRuleOperators();
    if (!m_bReadOnly) LoadKurse();
    if (SUCCEEDED(LoadLines())) FillList(m_lines.empty() ? -1 : 0);
    if (m_lines.empty()) ShowLine(-1);
    EnableControls();
    return TRUE;
}

long CKursPreconditionDlg::LoadLines() {
    m_lines.clear();
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = kurs::OpenConnection(conn);
    BOOL bEOF = TRUE;
    if (SUCCEEDED(hr)) {
        CString strSQL;
        strSQL.Format(L"SELECT Kursprecondition.lKurspreconditionID, lOrder, Kursprecondition.lOperator AS lOperator, "
                      L"KurspreconditionItem.lKurspreconditionItemID, KurspreconditionItem.lOperator AS lItemOperator, "
                      L"lMaxYear, lLockYear, KurspreconditionItem.lKursID, "
                      L"dbo.fn_GetKursBezeichnung(KurspreconditionItem.lKursID) AS strKurs FROM Kursprecondition JOIN "
                      L"KurspreconditionItem ON Kursprecondition.lKurspreconditionID = "
                      L"KurspreconditionItem.lKurspreconditionID WHERE Kursprecondition.lKursID = %d ORDER BY lOrder, "
                      L"KurspreconditionItem.lKurspreconditionItemID",
                      m_lKursID);
        hr = kurs::OpenRows(rs, strSQL, bEOF);
    }
    long lPrevID = 0;
    bool bFirstRule = true;
    while (SUCCEEDED(hr) && !bEOF) {
        Line line;
        hr = rs.GetFieldValue(L"lKurspreconditionID", &line.lRuleID);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lOrder", &line.lOrder);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lOperator", &line.lRuleOperator);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lKurspreconditionItemID", &line.lItemID);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lItemOperator", &line.lItemOperator);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lMaxYear", &line.lMaxYear);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lLockYear", &line.lLockYear);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lKursID", &line.lKursID);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strKurs", &line.strKurs);
        if (FAILED(hr)) {
            KURS_TRACEHR(hr);
            break;
        }
        if (line.lRuleID != lPrevID) {
            if (lPrevID != 0) bFirstRule = false;
            line.strOrder.Format(L"%d", line.lOrder);
            line.strOperator = OperatorText(line.lRuleOperator, bFirstRule);
            line.bFirstOfRule = true;
            lPrevID = line.lRuleID;
        } else {
            line.strOperator = line.lItemOperator == 2 ? kurs::Text(IDS_PRECOND_OR) : kurs::Text(IDS_PRECOND_AND);
        }
        line.strLimit = LimitText(line.lMaxYear, line.lLockYear);
        m_lines.push_back(line);
        hr = rs.MoveNext(&bEOF);
        if (FAILED(hr)) KURS_TRACEHR(hr);
    }
    rs.Close();
    if (FAILED(hr)) KURS_REPORTDBERROR(conn, hr);
    return hr;
}

long CKursPreconditionDlg::LoadKurse() {
    m_kurse.clear();
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = kurs::OpenConnection(conn);
    BOOL bEOF = TRUE;
    if (SUCCEEDED(hr))
        hr = kurs::OpenRows(rs,
                            L"SELECT lKursID, dbo.fn_GetKursBezeichnung(lKursID) AS strKurs FROM Kurs "
                            L"ORDER BY strKurzbezeichnung, lKursID",
                            bEOF);
    while (SUCCEEDED(hr) && !bEOF) {
        long lID = 0;
        CString strKurs;
        hr = rs.GetFieldValue(L"lKursID", &lID);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strKurs", &strKurs);
        if (SUCCEEDED(hr)) {
            m_kurse.emplace_back(lID, strKurs);
            hr = rs.MoveNext(&bEOF);
        }
        if (FAILED(hr)) KURS_TRACEHR(hr);
    }
    rs.Close();
    if (FAILED(hr)) KURS_REPORTDBERROR(conn, hr);
    m_cbKurs.ResetContent();
    for (const auto& [lID, strKurs] : m_kurse) m_cbKurs.SetItemData(m_cbKurs.AddString(strKurs), lID);
    return hr;
}

void CKursPreconditionDlg::FillList(int nSelect) {
    m_listRules.DeleteAllItems();
    for (int i = 0; i < static_cast<int>(m_lines.size()); ++i) {
        const Line& line = m_lines[i];
        m_listRules.InsertItem(i, line.strOrder);
        m_listRules.SetItemText(i, 1, line.strOperator);
        m_listRules.SetItemText(i, 2, line.strKurs);
        m_listRules.SetItemText(i, 3, line.strLimit);
    }
    if (nSelect >= 0 && nSelect < static_cast<int>(m_lines.size())) {
        m_listRules.SetItemState(nSelect, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        ShowLine(nSelect);
    }
}

int CKursPreconditionDlg::SelectedLine() const {
    const int nItem = m_listRules.GetNextItem(-1, LVNI_SELECTED);
    return nItem >= 0 && nItem < static_cast<int>(m_lines.size()) ? nItem : -1;
}

void CKursPreconditionDlg::FillRuleOperators() {
    m_cbRuleOp.ResetContent();
    m_cbRuleOp.SetItemData(m_cbRuleOp.AddString(kurs::Text(IDS_PRECOND_AND)), 1);
    m_cbRuleOp.SetItemData(m_cbRuleOp.AddString(kurs::Text(IDS_PRECOND_OR)), 2);
    m_cbRuleOp.SetItemData(m_cbRuleOp.AddString(kurs::Text(IDS_PRECOND_AND_NOT)), 3);
}

// The first rule joins nothing: it is taken as it is (0) or negated (3, shown as "NICHT").
long CKursPreconditionDlg::StoredRuleOperator(long lOrder, long lChoice) {
    if (lOrder <= 1) return lChoice == 3 ? 3 : 0;
    return lChoice >= 1 && lChoice <= 3 ? lChoice : 1;
}

void CKursPreconditionDlg::ShowLine(int nLine) {
    auto select = [](CComboBox& combo, long lData) {
        combo.SetCurSel(-1);
        for (int i = 0; i < combo.GetCount(); ++i)
            if (static_cast<long>(combo.GetItemData(i)) == lData) combo.SetCurSel(i);
    };
    if (nLine < 0) {
        // A new rule after the last one.
        m_cbRuleOp.SetCurSel(0);
        m_cbItemOp.SetCurSel(0);
        m_cbKurs.SetCurSel(-1);
        m_cbLimit.SetCurSel(0);
        SetDlgItemText(IDC_PRECONDITION_MAXYEAR, L"");
        SetDlgItemText(IDC_PRECONDITION_LOCKYEAR, L"");
    } else {
        const Line& line = m_lines[nLine];
        select(m_cbRuleOp, line.lRuleOperator == 0 ? 1 : line.lRuleOperator);
        select(m_cbItemOp, line.lItemOperator == 2 ? 2 : 1);
        select(m_cbKurs, line.lKursID);
        m_cbLimit.SetCurSel(LimitIndex(line.lMaxYear, line.lLockYear));
        SetDlgItemText(IDC_PRECONDITION_MAXYEAR, CString());
        SetDlgItemText(IDC_PRECONDITION_LOCKYEAR, CString());
        if (line.lMaxYear > 0) SetDlgItemInt(IDC_PRECONDITION_MAXYEAR, line.lMaxYear);
        if (line.lLockYear > 0) SetDlgItemInt(IDC_PRECONDITION_LOCKYEAR, line.lLockYear);
    }
    EnableControls();
}

void CKursPreconditionDlg::EnableControls() {
    const BOOL bEdit = !m_bReadOnly;
    const BOOL bSelected = SelectedLine() >= 0;
    const int nLimit = m_cbLimit.GetCurSel();
    const bool bN = nLimit >= 0 && nLimit < kLimitCount && kLimits[nLimit].bUsesN;
    const bool bM = nLimit >= 0 && nLimit < kLimitCount && kLimits[nLimit].bUsesM;
    GetDlgItem(IDC_PRECONDITION_RULEOP)->EnableWindow(bEdit);
    GetDlgItem(IDC_PRECONDITION_ITEMOP)->EnableWindow(bEdit);
    GetDlgItem(IDC_PRECONDITION_KURS)->EnableWindow(bEdit);
    GetDlgItem(IDC_PRECONDITION_LIMIT)->EnableWindow(bEdit);
    GetDlgItem(IDC_PRECONDITION_MAXYEAR)->EnableWindow(bEdit && bN);
    GetDlgItem(IDC_PRECONDITION_LOCKYEAR)->EnableWindow(bEdit && bM);
    GetDlgItem(IDC_PRECONDITION_NEWRULE)->EnableWindow(bEdit);
    GetDlgItem(IDC_PRECONDITION_NEWITEM)->EnableWindow(bEdit && bSelected);
    GetDlgItem(IDC_PRECONDITION_APPLY)->EnableWindow(bEdit && bSelected);
    GetDlgItem(IDC_PRECONDITION_DELETE)->EnableWindow(bEdit && bSelected);
}

void CKursPreconditionDlg::OnItemChangedList(NMHDR* pNMHDR, LRESULT* pResult) {
    const auto* pNMLV = reinterpret_cast<NMLISTVIEW*>(pNMHDR);
    if ((pNMLV->uNewState & LVIS_SELECTED) && !(pNMLV->uOldState & LVIS_SELECTED)) ShowLine(pNMLV->iItem);
    else if (!(pNMLV->uNewState & LVIS_SELECTED) && (pNMLV->uOldState & LVIS_SELECTED)) EnableControls();
    *pResult = 0;
}

void CKursPreconditionDlg::OnSelChangeLimit() { EnableControls(); }

long CKursPreconditionDlg::LimitIndex(long lMaxYear, long lLockYear) {
    if (lMaxYear == -1 && lLockYear == -1) return 0;
    if (lMaxYear > 0 && lLockYear == -1) return 1;
    if (lMaxYear == -1 && lLockYear > 0) return 2;
    if (lMaxYear > 0 && lLockYear > 0) return 3;
    if (lMaxYear == 0 && lLockYear > 0) return 4;
    return -1;
}

UINT CKursPreconditionDlg::CheckLimit(int nIndex, long lYearsN, long lYearsM, long& lMaxYear, long& lLockYear) {
    if (nIndex < 0 || nIndex >= kLimitCount) return IDS_PRECOND_ERR_LIMIT;
    const LimitChoice& choice = kLimits[nIndex];
    if ((choice.bUsesN && (lYearsN < 1 || lYearsN > 99)) || (choice.bUsesM && (lYearsM < 1 || lYearsM > 99)))
        return IDS_PRECOND_ERR_YEARS;
    // At most N and at least M years ago leaves no time when M is not below N.
    if (choice.bUsesN && choice.bUsesM && lYearsM >= lYearsN) return IDS_PRECOND_ERR_WINDOW;
    lMaxYear = nIndex == 4 ? 0 : choice.bUsesN ? lYearsN : -1;
    lLockYear = choice.bUsesM ? lYearsM : -1;
    return 0;
}

BOOL CKursPreconditionDlg::ReadItem(long& lKursID, long& lMaxYear, long& lLockYear) {
    CKursResourceScope scope;
    const int nKurs = m_cbKurs.GetCurSel();
    if (nKurs < 0) {
        QvReportMsg(1, kurs::Text(IDS_PRECOND_ERR_KURS), L"CKursPreconditionDlg", L"Default", __FILE__, __LINE__, 0);
        m_cbKurs.SetFocus();
        return FALSE;
    }
    lKursID = static_cast<long>(m_cbKurs.GetItemData(nKurs));
    const int nLimit = m_cbLimit.GetCurSel();
    // An empty or unreadable field counts as 0, which no limit accepts.
    BOOL bN = FALSE, bM = FALSE;
    long lN = static_cast<long>(GetDlgItemInt(IDC_PRECONDITION_MAXYEAR, &bN, TRUE));
    long lM = static_cast<long>(GetDlgItemInt(IDC_PRECONDITION_LOCKYEAR, &bM, TRUE));
    if (!bN) lN = 0;
    if (!bM) lM = 0;
    const UINT nError = CheckLimit(nLimit, lN, lM, lMaxYear, lLockYear);
    if (nError != 0) {
        QvReportMsg(1, kurs::Text(nError), L"CKursPreconditionDlg", L"Default", __FILE__, __LINE__, 0);
        m_cbLimit.SetFocus();
        return FALSE;
    }
    return TRUE;
}

long CKursPreconditionDlg::RuleOperatorChoice() const {
    const int nSel = m_cbRuleOp.GetCurSel();
    return nSel < 0 ? 1 : static_cast<long>(m_cbRuleOp.GetItemData(nSel));
}

long CKursPreconditionDlg::ItemOperatorChoice() const {
    const int nSel = m_cbItemOp.GetCurSel();
    return nSel < 0 ? 1 : static_cast<long>(m_cbItemOp.GetItemData(nSel));
}

CString CKursPreconditionDlg::KursText(long lKursID) const {
    for (const auto& [lID, strKurs] : m_kurse)
        if (lID == lKursID) return strKurs;
    return CString();
}

void CKursPreconditionDlg::OnNewRule() {
    if (m_bReadOnly) return;
    long lKursID = 0, lMaxYear = -1, lLockYear = -1;
    if (!ReadItem(lKursID, lMaxYear, lLockYear)) return;
    long lOrder = 0;
    for (const Line& line : m_lines) lOrder = std::max(lOrder, line.lOrder);
    ++lOrder;
    const long lOperator = StoredRuleOperator(lOrder, RuleOperatorChoice());

    CQvADOConnection conn;
    long hr = kurs::OpenConnection(conn);
    long lRuleID = 0, lItemID = 0;
    if (SUCCEEDED(hr)) hr = kurs::GetUniqueID(conn, L"Kursprecondition", L"lKurspreconditionID", lRuleID);
    if (SUCCEEDED(hr)) hr = kurs::GetUniqueID(conn, L"KurspreconditionItem", L"lKurspreconditionItemID", lItemID);
    if (FAILED(hr)) {
        KURS_REPORTDBERROR(conn, hr);
        return;
    }
    CString strRule, strItem;
    strRule.Format(L"INSERT INTO Kursprecondition (lKurspreconditionID, lKursID, lOrder, lOperator) VALUES (%d, %d, %d, %d)",
                   lRuleID, m_lKursID, lOrder, lOperator);
    strItem.Format(L"INSERT INTO KurspreconditionItem (lKurspreconditionItemID, lKurspreconditionID, lKursID, lOperator, "
                   L"lMaxYear, lLockYear) VALUES (%d, %d, %d, 1, %d, %d)",
                   lItemID, lRuleID, lKursID, lMaxYear, lLockYear);
    Write({strRule, strItem}, 0, IDS_LOG_PRECONDITION_SAVED, KursText(lKursID), lItemID);
}

void CKursPreconditionDlg::OnNewItem() {
    const int nLine = SelectedLine();
    if (m_bReadOnly || nLine < 0) return;
    long lKursID = 0, lMaxYear = -1, lLockYear = -1;
    if (!ReadItem(lKursID, lMaxYear, lLockYear)) return;
    CQvADOConnection conn;
    long lItemID = 0;
    long hr = kurs::OpenConnection(conn);
    if (SUCCEEDED(hr)) hr = kurs::GetUniqueID(conn, L"KurspreconditionItem", L"lKurspreconditionItemID", lItemID);
    if (FAILED(hr)) {
        KURS_REPORTDBERROR(conn, hr);
        return;
    }
    CString strItem;
    strItem.Format(L"INSERT INTO KurspreconditionItem (lKurspreconditionItemID, lKurspreconditionID, lKursID, lOperator, "
                   L"lMaxYear, lLockYear) VALUES (%d, %d, %d, %d, %d, %d)",
                   lItemID, m_lines[nLine].lRuleID, lKursID, ItemOperatorChoice(), lMaxYear, lLockYear);
    Write({strItem}, 0, IDS_LOG_PRECONDITION_SAVED, KursText(lKursID), lItemID);
}

void CKursPreconditionDlg::OnApply() {
    const int nLine = SelectedLine();
    if (m_bReadOnly || nLine < 0) return;
    const Line& line = m_lines[nLine];
    long lKursID = 0, lMaxYear = -1, lLockYear = -1;
    if (!ReadItem(lKursID, lMaxYear, lLockYear)) return;
    std::vector<CString> statements(1);
    statements[0].Format(L"UPDATE KurspreconditionItem SET lKursID = %d, lOperator = %d, lMaxYear = %d, lLockYear = %d "
                         L"WHERE lKurspreconditionItemID = %d",
                         lKursID, ItemOperatorChoice(), lMaxYear, lLockYear, line.lItemID);
    if (line.bFirstOfRule) {
        const long lOperator = StoredRuleOperator(line.lOrder, RuleOperatorChoice());
        CString strRule;
        strRule.Format(L"UPDATE Kursprecondition SET lOperator = %d WHERE lKurspreconditionID = %d", lOperator,
                       line.lRuleID);
        statements.push_back(strRule);
    }
    Write(statements, 1, IDS_LOG_PRECONDITION_SAVED, KursText(lKursID), line.lItemID);
}

void CKursPreconditionDlg::OnDelete() {
    CKursResourceScope scope;
    const int nLine = SelectedLine();
    if (m_bReadOnly || nLine < 0) return;
    const Line line = m_lines[nLine];
    CString strQuestion;
    strQuestion.Format(IDS_PRECOND_DELETE_QUESTION, static_cast<LPCWSTR>(line.strKurs));
    if (AfxMessageBox(strQuestion, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES) return;
    int nItems = 0;
    for (const Line& other : m_lines)
        if (other.lRuleID == line.lRuleID) ++nItems;
    std::vector<CString> statements(1);
    statements[0].Format(L"DELETE FROM KurspreconditionItem WHERE lKurspreconditionItemID = %d", line.lItemID);
    if (nItems <= 1) {
        // The rule goes with its last item; the rules after it close the gap, so the first rule
        // keeps the number 1 by which the check recognises it.
        CString strRule, strOrder;
        strRule.Format(L"DELETE FROM Kursprecondition WHERE lKurspreconditionID = %d", line.lRuleID);
        strOrder.Format(L"UPDATE Kursprecondition SET lOrder = lOrder - 1 WHERE lKursID = %d AND lOrder > %d",
                        m_lKursID, line.lOrder);
        statements.push_back(strRule);
        statements.push_back(strOrder);
    } else if (line.bFirstOfRule) {
        // The next item leads the rule now; its own join means nothing there.
        CString strNext;
        strNext.Format(L"UPDATE KurspreconditionItem SET lOperator = 1 WHERE lKurspreconditionItemID = "
                       L"(SELECT min(lKurspreconditionItemID) FROM KurspreconditionItem WHERE lKurspreconditionID = %d "
                       L"AND lKurspreconditionItemID <> %d)",
                       line.lRuleID, line.lItemID);
        statements.push_back(strNext);
    }
    Write(statements, 2, IDS_LOG_PRECONDITION_DELETED, line.strKurs, 0);
}

long CKursPreconditionDlg::Write(const std::vector<CString>& statements, long lKind, UINT nLogCode,
                                 const CString& strDetail, long lSelectItemID) {
    CKursResourceScope scope;
    CQvADOConnection conn;
    long hr = kurs::OpenConnection(conn);
    if (SUCCEEDED(hr)) {
        kurs::CKursTransaction trans(conn);
        hr = trans.Begin();
        for (const CString& strSQL : statements) {
            if (FAILED(hr)) break;
            hr = kurs::Execute(conn, strSQL);
        }
        hr = trans.End(hr);
    }
    if (FAILED(hr)) {
        KURS_REPORTDBERROR(conn, hr);
    } else {
        kurs::WriteUserLog(lKind, nLogCode, strDetail, L"Ausbildung.Kurs", 0, 39, m_guidKurs, CQvGUID());
        kurs::FireKursEvent(KURS_EVENT_KURS_CHANGED, m_lKursID);
    }
    // The list shows what is stored, also after a failure.
    int nSelect = -1;
    if (SUCCEEDED(LoadLines())) {
        for (int i = 0; i < static_cast<int>(m_lines.size()); ++i)
            if (m_lines[i].lItemID == lSelectItemID) nSelect = i;
        if (nSelect < 0 && !m_lines.empty()) nSelect = 0;
        FillList(nSelect);
    }
    if (nSelect < 0) ShowLine(-1);
    return hr;
}

void ShowKursPreconditionRules(long lKursID) {
    CKursPreconditionDlg dlg(lKursID, CQvGUID(), eAuthorityTypBund, nullptr);
    dlg.DoModal();
}
