#include "nqplanungcalls.h"

#include "nqcommon.h"
#include "qvadoconnection.h"
#include "qvadorecordset.h"
#include "qvdblookup.h"
#include "qvdialog.h"
#include "qvlistctrl.h"
#include "qvregvalue.h"
#include "qvrunning.h"
#include "qvsec.h"
#include "qvui.h"
#include "utf.h"


#include <algorithm>
#include <cstring>
#include <regex>

namespace {

constexpr const wchar_t* kProfile = L"Qovaro.NQ2";
constexpr unsigned long kRightEdit = 0x100;

char g_moduleTag;
HINSTANCE ModuleHandle() { return reinterpret_cast<HINSTANCE>(&g_moduleTag); }

constexpr UINT IDD_NQ_CUSTFIELDADMIN = 30510;
constexpr UINT IDC_NQ_CUSTFIELDADMIN_LIST = 30511;
constexpr UINT IDS_NQ_CUSTFIELDADMIN_COL = 30512;
constexpr UINT IDS_NQ_MANDANT4NEW_COL = 30522;
constexpr UINT IDS_NQ_MANDANT4NEW_NONE = 30525;

struct TemplateRegistrar {
    TemplateRegistrar() {
        using namespace qv::ui;
        DialogTemplate dlg;
        dlg.id = IDD_NQ_CUSTFIELDADMIN;
        dlg.cx = 240;
        dlg.cy = 170;
        dlg.style = DS_MODALFRAME | DS_SHELLFONT | WS_POPUP | WS_CAPTION;
        dlg.items = {
            Control(L"", IDC_NQ_CUSTFIELDADMIN_LIST, L"SysListView32",
                    LVS_REPORT | LVS_SHOWSELALWAYS | WS_BORDER | WS_TABSTOP, 7, 7, 226, 136),
            DefPushButton(L"OK", IDOK, 127, 149, 50, 14, WS_TABSTOP),
            PushButton(L"Abbrechen", IDCANCEL, 183, 149, 50, 14, WS_TABSTOP),
        };
        RegisterDialogTemplate(ModuleHandle(), dlg);

        DialogTemplate choose;
        choose.id = IDD_NQ_MANDANT4NEW;
        choose.caption = L"Mandant wählen";
        choose.cx = 260;
        choose.cy = 160;
        choose.style = DS_MODALFRAME | DS_SHELLFONT | WS_POPUP | WS_CAPTION;
        choose.items = {
            LText(L"Für welchen Mandanten wird der neue Datensatz erfasst?", static_cast<UINT>(-1), 7, 7, 246, 8),
            Control(L"", IDC_NQ_MANDANT4NEW_LIST, L"SysListView32",
                    LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_BORDER | WS_TABSTOP, 7, 19, 246, 114),
            DefPushButton(L"OK", IDOK, 147, 139, 50, 14, WS_TABSTOP),
            PushButton(L"Abbrechen", IDCANCEL, 203, 139, 50, 14, WS_TABSTOP),
        };
        RegisterDialogTemplate(ModuleHandle(), choose);
        qv::RegisterStringTable(ModuleHandle(), {{IDS_NQ_CUSTFIELDADMIN_COL, L"Feld"},
                                                 {IDS_NQ_CUSTFIELDADMIN_COL + 1, L"Tabelle"},
                                                 {IDS_NQ_MANDANT4NEW_COL, L"Mandant"},
                                                 {IDS_NQ_MANDANT4NEW_COL + 1, L"Typ"},
                                                 {IDS_NQ_MANDANT4NEW_COL + 2, L"Ort"},
                                                 {IDS_NQ_MANDANT4NEW_NONE,
                                                  L"Sie dürfen für keinen Mandanten neue Datensätze dieser Art erfassen."}});
    }
};
TemplateRegistrar g_templateRegistrar;

// One flag column of CustFieldType, ticked per field of the tables.
class CNQCustfieldAdminDlg : public CQvDialog {
public:
    CNQCustfieldAdminDlg(const std::vector<long>& tables, LPCWSTR lpszColumn, LPCWSTR lpszCaption)
        : CQvDialog(IDD_NQ_CUSTFIELDADMIN, nullptr), m_tables(tables), m_strColumn(lpszColumn),
          m_strCaption(lpszCaption) {}

    BOOL OnInitDialog() override {
        CQvDialog::OnInitDialog();
        SetWindowText(m_strCaption);
        m_list.SubclassDlgItem(IDC_NQ_CUSTFIELDADMIN_LIST, this);
        static const int widths[] = {220, 80};
        m_list.QvInsertColumn(2, IDS_NQ_CUSTFIELDADMIN_COL, nullptr, widths);
        m_list.QvSetCheckable(TRUE);
        CString strSQL;
        strSQL.Format(L"SELECT lCFTypeID, strBezeichnung, lTableID, %s AS fFlag FROM CustFieldType WHERE lTableID IN "
                      L"(%s) ORDER BY lTableID, lOrder",
                      static_cast<LPCWSTR>(m_strColumn), static_cast<LPCWSTR>(TableList()));
        CQvADOConnection conn;
        CQvADORecordset rs(&conn);
        long hr = conn.Open(kProfile, 0);
        BOOL bEOF = TRUE;
        if (SUCCEEDED(hr)) hr = rs.Open(strSQL);
        if (SUCCEEDED(hr)) hr = rs.IsEOF(&bEOF);
        while (SUCCEEDED(hr) && !bEOF) {
            long lID = 0, lTable = 0;
            BOOL bFlag = FALSE;
            CString strName;
            hr = rs.GetFieldValue(L"lCFTypeID", &lID);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strBezeichnung", &strName);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lTableID", &lTable);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"fFlag", &bFlag);
            if (FAILED(hr)) break;
            CQvListItem* pItem = nullptr;
            m_list.QvAddItem(pItem, FALSE);
            pItem->SetParam(0, lID);
            pItem->SetColumnText(0, strName);
            pItem->SetColumnText(1, TableName(lTable));
            m_list.QvSetCheck(pItem->GetIndex(), bFlag);
            hr = rs.MoveNext(&bEOF);
        }
        rs.Close();
        if (FAILED(hr)) QvReportDBError(conn, hr, __FILE__, __LINE__);
        return TRUE;
    }
    void OnOK() override {
        CQvADOConnection conn;
        long hr = conn.Open(kProfile, 0);
        if (SUCCEEDED(hr)) hr = conn.BeginTrans();
        for (int i = 0; SUCCEEDED(hr) && i < m_list.GetItemCount(); ++i) {
            long lID = 0;
            m_list.QvGetItem(i)->GetParam(0, &lID);
            CString strSQL;
            strSQL.Format(L"UPDATE CustFieldType SET %s = %d WHERE lCFTypeID = %d", static_cast<LPCWSTR>(m_strColumn),
                          m_list.QvGetCheck(i) ? 1 : 0, lID);
            hr = conn.Execute(strSQL);
        }
        if (SUCCEEDED(hr)) hr = conn.CommitTrans();
        if (FAILED(hr)) {
            conn.RollbackTrans();
            QvReportDBError(conn, hr, __FILE__, __LINE__);
            return;  // the choices stay for another try
        }
        CQvDialog::OnOK();
    }

    CQvListCtrl m_list;

private:
    static CString TableName(long lTable) {
        switch (lTable) {
        case 4: return L"Personen";
        case 39: return L"Kurse";
        case 42: return L"Austragungen";
        case 45: return L"Mandanten";
        default: {
            CString strTable;
            strTable.Format(L"%d", lTable);
            return strTable;
        }
        }
    }
    CString TableList() const {
        CString strList;
        for (long lTable : m_tables) {
            CString strTable;
            strTable.Format(strList.IsEmpty() ? L"%d" : L",%d", lTable);
            strList += strTable;
        }
        return strList.IsEmpty() ? CString(L"-1") : strList;
    }
    std::vector<long> m_tables;
    CString m_strColumn;
    CString m_strCaption;
};

void ShowAdminDlg(const std::vector<long>& tables, LPCWSTR lpszColumn, LPCWSTR lpszCaption) {
    const HINSTANCE hPrevious = AfxGetResourceHandle();
    AfxSetResourceHandle(ModuleHandle());
    CNQCustfieldAdminDlg dlg(tables, lpszColumn, lpszCaption);
    dlg.DoModal();
    AfxSetResourceHandle(hPrevious);
}

struct MandantRow {
    long lID = 0;
    CString strName, strTyp, strOrt;
};

// The active Mandanten on whose records of the kind (the table id of the rights, 4 persons and
// their reservations, 6 activities) the signed-in user has the right to edit, by name.
long WritableMandanten(CQvADOConnection& conn, long lKind, std::vector<MandantRow>& rows) {
    long lUserID = 0;
    CQvSec sec;
    CString strName, strUserID;
    long hr = sec.GetUser(&strName, &strUserID, &lUserID);
    if (FAILED(hr)) return hr;
    hr = conn.Open(kProfile, 0);
    if (FAILED(hr)) return hr;
    CString strSQL;
    strSQL.Format(L"SELECT vm.lMandantID, strMandantName, strMandantTyp, strPLZOrt FROM view_Mandant vm JOIN SecMandant "
                  L"sm ON vm.lMandantID = sm.lMandantID AND sm.lQvSecUserID = %d AND sm.lTableID = %d AND sm.lRight & "
                  L"%lu = %lu WHERE vm.fActive = 1 ORDER BY strMandantName, vm.lMandantID",
                  lUserID, lKind, kRightEdit, kRightEdit);
    CQvADORecordset rs(&conn);
    hr = rs.Open(strSQL);
    BOOL bEOF = TRUE;
    if (SUCCEEDED(hr)) hr = rs.IsEOF(&bEOF);
    while (SUCCEEDED(hr) && !bEOF) {
        MandantRow row;
        hr = rs.GetFieldValue(L"lMandantID", &row.lID);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strMandantName", &row.strName);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strMandantTyp", &row.strTyp);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strPLZOrt", &row.strOrt);
        if (SUCCEEDED(hr)) {
            // A Mandant with more than one rights row for the kind is offered once.
            if (rows.empty() || rows.back().lID != row.lID) rows.push_back(row);
            hr = rs.MoveNext(&bEOF);
        }
    }
    rs.Close();
    return hr;
}

// A text of this library's table; its resource handle is the current one.
CString NQLoadOwnString(UINT nID) {
    CString strText;
    strText.LoadString(nID);
    return strText;
}

// The Mandanten offered for a new record; OK takes the chosen row, a double click too.
class CNQMandant4NewDlg : public CQvDialog {
public:
    CNQMandant4NewDlg(std::vector<MandantRow> rows, long lPreselect)
        : CQvDialog(IDD_NQ_MANDANT4NEW, nullptr), m_rows(std::move(rows)), m_lPreselect(lPreselect) {}

    BOOL OnInitDialog() override {
        CQvDialog::OnInitDialog();
        m_list.SubclassDlgItem(IDC_NQ_MANDANT4NEW_LIST, this);
        static const int widths[] = {200, 90, 130};
        m_list.QvInsertColumn(3, IDS_NQ_MANDANT4NEW_COL, nullptr, widths);
        int nPreselect = m_rows.size() == 1 ? 0 : -1;
        for (const MandantRow& row : m_rows) {
            CQvListItem* pItem = nullptr;
            m_list.QvAddItem(pItem, FALSE);
            pItem->SetParam(0, row.lID);
            pItem->SetColumnText(0, row.strName);
            pItem->SetColumnText(1, row.strTyp);
            pItem->SetColumnText(2, row.strOrt);
            if (row.lID == m_lPreselect) nPreselect = pItem->GetIndex();
        }
        if (nPreselect >= 0) {
            m_list.SetItemState(nPreselect, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
            m_list.EnsureVisible(nPreselect, FALSE);
        }
        m_list.SetFocus();
        return FALSE;
    }
    void OnOK() override {
        const int nItem = m_list.GetNextItem(-1, LVNI_SELECTED);
        long lID = 0;
        // Without a row chosen the dialog stays: only Cancel leaves it without a Mandant.
        if (nItem < 0 || !m_list.QvGetItem(nItem) || !m_list.QvGetItem(nItem)->GetParam(0, &lID) || lID == 0) {
            return;
        }
        m_lChosen = lID;
        CQvDialog::OnOK();
    }
    afx_msg void OnDblClkList(NMHDR*, LRESULT* pResult) {
        *pResult = 0;
        if (m_list.GetNextItem(-1, LVNI_SELECTED) >= 0) OnOK();
    }

    CQvListCtrl m_list;
    long m_lChosen = 0;

private:
    std::vector<MandantRow> m_rows;
    long m_lPreselect = 0;
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CNQMandant4NewDlg, CQvDialog)
    ON_NOTIFY(NM_DBLCLK, IDC_NQ_MANDANT4NEW_LIST, &CNQMandant4NewDlg::OnDblClkList)
END_MESSAGE_MAP()

}  // namespace

BOOL NQ_GetMandantID4New(long& lMandantID, long lKind) {
    long lMandant = 0;
    NQ_GetActMandantID(lMandant);
    if (lMandant != 0) {
        lMandantID = lMandant;
        return TRUE;
    }
    // No Mandant is active: the user picks one of those he may write, the installation's own
    // chosen to begin with.
    std::vector<MandantRow> rows;
    CQvADOConnection conn;
    const long hr = WritableMandanten(conn, lKind, rows);
    if (FAILED(hr)) {
        QvReportDBError(conn, hr, __FILE__, __LINE__);
        return FALSE;
    }
    const HINSTANCE hPrevious = AfxGetResourceHandle();
    AfxSetResourceHandle(ModuleHandle());
    BOOL bChosen = FALSE;
    if (rows.empty()) {
        QvReportMsg(2, NQLoadOwnString(IDS_NQ_MANDANT4NEW_NONE), L"NQ_GetMandantID4New", L"Default", __FILE__, __LINE__, 0);
    } else {
        long lMaster = 0;
        NQ_GetMasterMandantID(lMaster);
        CNQMandant4NewDlg dlg(std::move(rows), lMaster);
        if (dlg.DoModal() == IDOK && dlg.m_lChosen != 0) {
            lMandantID = dlg.m_lChosen;
            bChosen = TRUE;
        }
    }
    AfxSetResourceHandle(hPrevious);
    return bChosen;
}

void NQ_ShowPublicCustfieldAdminDlg(const std::vector<long>& tables) {
    ShowAdminDlg(tables, L"fPublic", L"Öffentliche Daten festlegen");
}

void NQ_ShowSearchCustfieldAdminDlg(const std::vector<long>& tables) {
    ShowAdminDlg(tables, L"fUsed4Search", L"Suchfelder festlegen");
}

// ---- display names, record GUIDs, modules, addresses, languages and mail

namespace {

struct TableOfID {
    long lTableID;
    const wchar_t* lpszTable;
    const wchar_t* lpszKey;
};
constexpr TableOfID kTables[] = {{4, L"Person", L"lPersonID"},
                                 {6, L"Einsatz", L"lEinsatzID"},
                                 {34, L"Soldansatz", L"lSoldansatzID"},
                                 {39, L"Kurs", L"lKursID"},
                                 {42, L"Kursinstanz", L"lKursinstanzID"},
                                 {45, L"Mandant", L"lMandantID"},
                                 {196, L"Area", L"lAreaID"}};

const TableOfID* FindTable(long lTableID) {
    for (const TableOfID& t : kTables)
        if (t.lTableID == lTableID) return &t;
    return nullptr;
}

CString LookupText(LPCWSTR lpszColumn, LPCWSTR lpszTable, const CString& strCondition) {
    CString strText;
    QvDBLookupString(lpszColumn, lpszTable, strCondition, &strText, kProfile);
    return strText;
}

}  // namespace

CString NQ_GetBezeichnungForId(long lID, long lTableID) {
    CString strCondition;
    if (lTableID == 196) {
        strCondition.Format(L"lAreaID = %d", lID);
        return LookupText(L"dbo.fn_GetAreaBezeichnung(lAreaID)", L"Area", strCondition);
    }
    // Activities and pay rates are not in the cache of names.
    if (lTableID == 6 || lTableID == 34) {
        const TableOfID* pTable = FindTable(lTableID);
        strCondition.Format(L"%s = %d", pTable->lpszKey, lID);
        return LookupText(lTableID == 6 ? L"strEreignis" : L"strBezeichnung", pTable->lpszTable, strCondition);
    }
    strCondition.Format(L"lID = %d AND lTableID = %d", lID, lTableID);
    return LookupText(L"strBezeichnung", L"view_CacheBezeichnung", strCondition);
}

CString NQ_GetMandantBezeichnung(long lMandantID) { return NQ_GetBezeichnungForId(lMandantID, 45); }

CString NQ_GetKursinstanzBezeichnung(long lKursinstanzID) { return NQ_GetBezeichnungForId(lKursinstanzID, 42); }

CString NQ_GetAreaBezeichnung(long lAreaID) { return NQ_GetBezeichnungForId(lAreaID, 196); }

CQvGUID NQ_GetGuidForId(long lID, long lTableID) {
    CQvGUID guid;
    guid.SetNULL();
    const TableOfID* pTable = FindTable(lTableID);
    if (!pTable) return guid;
    CString strCondition;
    strCondition.Format(L"%s = %d", pTable->lpszKey, lID);
    QvDBLookupGUID(L"guid", pTable->lpszTable, strCondition, &guid, kProfile);
    return guid;
}

BOOL NQ_IsModulRunning(CString strProgID) {
    IUnknown* pUnknown = nullptr;
    if (FAILED(qv::QueryRunningServer(strProgID, IID_IUnknown, reinterpret_cast<void**>(&pUnknown))) || !pUnknown)
        return FALSE;
    pUnknown->Release();
    return TRUE;
}

BOOL NQ_ValidateEMailAdress(CString& strAddress, bool bMultiple, bool bAllowEmpty) {
    static const std::wregex address(LR"(^[^@\s;,]+@[^@\s;,]+\.[A-Za-z]{2,}$)");
    std::vector<std::wstring> parts;
    std::wstring text = static_cast<LPCWSTR>(strAddress);
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find(L';', start);
        std::wstring part = text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        const auto first = part.find_first_not_of(L" \t");
        const auto last = part.find_last_not_of(L" \t");
        part = first == std::wstring::npos ? std::wstring() : part.substr(first, last - first + 1);
        if (!part.empty()) parts.push_back(part);
        if (end == std::wstring::npos) break;
        start = end + 1;
    }
    if (parts.empty()) {
        if (!bAllowEmpty) return FALSE;
        strAddress.Empty();
        return TRUE;
    }
    if (parts.size() > 1 && !bMultiple) return FALSE;
    std::wstring joined;
    for (const std::wstring& part : parts) {
        if (!std::regex_match(part, address)) return FALSE;
        joined += (joined.empty() ? L"" : L"; ") + part;
    }
    strAddress = CString(joined.c_str());
    return TRUE;
}

CString NQ_DetectLanguage(CString strSprache) {
    CString strText = strSprache;
    strText.Trim();
    strText.MakeUpper();
    if (strText.IsEmpty()) return CString();
    static const struct { const wchar_t* lpszStart; const wchar_t* lpszCode; } kLanguages[] = {
        {L"DE", L"DE"}, {L"DEUTSCH", L"DE"}, {L"GERMAN", L"DE"}, {L"FR", L"FR"}, {L"FRANZ", L"FR"},
        {L"FRAN", L"FR"}, {L"IT", L"IT"}, {L"ITAL", L"IT"}};
    for (const auto& l : kLanguages)
        if (strText.Find(l.lpszStart) == 0) return CString(l.lpszCode);
    return strText.Left(2);
}
