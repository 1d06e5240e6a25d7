#include "kurspreconditiondlg.h"

#include "kursint.h"
#include "kurspreconditionview.h"
#include "kursresource.h"
#include "nqcommon.h"

namespace {

// The dialog's template, registered with the module's resources when the library loads.
struct TemplateRegistrar {
    TemplateRegistrar() {
        using namespace qv::ui;
        DialogTemplate dlg;
        dlg.id = IDD_KURSPRECONDITION;
        dlg.caption = L"Voraussetzungen";
        dlg.cx = 360;
        dlg.cy = 200;
        dlg.style = DS_MODALFRAME | DS_SHELLFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU;
        dlg.items = {
            LText(L"Voraussetzungen für die Anmeldung an diesen Kurs:", static_cast<UINT>(IDC_STATIC), 7, 7, 300, 10),
            Control(L"", IDC_PRECONDITION_LIST, L"SysListView32",
                    LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_BORDER | WS_TABSTOP, 7, 20, 346, 152),
            DefPushButton(L"Schliessen", IDCANCEL, 303, 179, 50, 14, WS_TABSTOP),
        };
        RegisterDialogTemplate(KursModuleHandle(), dlg);
    }
};
TemplateRegistrar g_templateRegistrar;

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

}  // namespace

CKursPreconditionDlg::CKursPreconditionDlg(long lKursID, CQvGUID guidKurs, EAuthorityTyp eTyp, CWnd* pParent)
    : CDialog(IDD_KURSPRECONDITION, pParent), m_lKursID(lKursID), m_guidKurs(guidKurs), m_eTyp(eTyp) {
    m_bReadOnly = m_guidKurs.IsNULL() || !(m_eTyp == eAuthorityTypLokal || NQ_IsEnterpriseEdition());
}

void CKursPreconditionDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_PRECONDITION_LIST, m_listRules);
}

BOOL CKursPreconditionDlg::OnInitDialog() {
    CKursResourceScope scope;
    CDialog::OnInitDialog();
    m_listRules.SetExtendedStyle(LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    m_listRules.InsertColumn(0, L"Nr.", LVCFMT_LEFT, 40);
    m_listRules.InsertColumn(1, L"Verknüpfung", LVCFMT_LEFT, 90);
    m_listRules.InsertColumn(2, L"Kurs", LVCFMT_LEFT, 250);
    m_listRules.InsertColumn(3, L"Zeitraum", LVCFMT_LEFT, 200);
    if (SUCCEEDED(LoadLines())) {
        for (int i = 0; i < static_cast<int>(m_lines.size()); ++i) {
            const Line& line = m_lines[i];
            m_listRules.InsertItem(i, line.strOrder);
            m_listRules.SetItemText(i, 1, line.strOperator);
            m_listRules.SetItemText(i, 2, line.strKurs);
            m_listRules.SetItemText(i, 3, line.strLimit);
        }
    }
    return TRUE;
}

long CKursPreconditionDlg::LoadLines() {
    m_lines.clear();
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = conn.Open(kurs::kProfile, 0);
    if (FAILED(hr)) KURS_TRACEHR(hr);
    if (SUCCEEDED(hr)) {
        CString strSQL;
        strSQL.Format(L"SELECT Kursprecondition.lKurspreconditionID, lOrder, Kursprecondition.lOperator AS lOperator, "
                      L"KurspreconditionItem.lOperator AS lItemOperator, lMaxYear, lLockYear, "
                      L"dbo.fn_GetKursBezeichnung(KurspreconditionItem.lKursID) AS strKurs FROM Kursprecondition JOIN "
                      L"KurspreconditionItem ON Kursprecondition.lKurspreconditionID = "
                      L"KurspreconditionItem.lKurspreconditionID WHERE Kursprecondition.lKursID = %d ORDER BY lOrder, "
                      L"KurspreconditionItem.lKurspreconditionItemID",
                      m_lKursID);
        hr = rs.Open(strSQL);
        if (FAILED(hr)) KURS_TRACEHR(hr);
    }
    BOOL bEOF = TRUE;
    if (SUCCEEDED(hr)) hr = rs.IsEOF(&bEOF);
    long lPrevID = 0;
    bool bFirstRule = true;
    while (SUCCEEDED(hr) && !bEOF) {
        long lID = 0, lOrder = 0, lOperator = 0, lItemOperator = 0, lMaxYear = 0, lLockYear = 0;
        Line line;
        hr = rs.GetFieldValue(L"lKurspreconditionID", &lID);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lOrder", &lOrder);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lOperator", &lOperator);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lItemOperator", &lItemOperator);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lMaxYear", &lMaxYear);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lLockYear", &lLockYear);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strKurs", &line.strKurs);
        if (FAILED(hr)) break;
        if (lID != lPrevID) {
            if (lPrevID != 0) bFirstRule = false;
            line.strOrder.Format(L"%d", lOrder);
            line.strOperator = OperatorText(lOperator, bFirstRule);
            lPrevID = lID;
        } else {
            line.strOperator = lItemOperator == 2 ? kurs::Text(IDS_PRECOND_OR) : kurs::Text(IDS_PRECOND_AND);
        }
        line.strLimit = LimitText(lMaxYear, lLockYear);
        m_lines.push_back(line);
        hr = rs.MoveNext(&bEOF);
    }
    rs.Close();
    if (FAILED(hr)) {
        KURS_TRACEHR(hr);
        KURS_REPORTDBERROR(conn, hr);
    }
    return hr;
}

void ShowKursPreconditionRules(long lKursID) {
    CKursPreconditionDlg dlg(lKursID, CQvGUID(), eAuthorityTypBund, nullptr);
    dlg.DoModal();
}
