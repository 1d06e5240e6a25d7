#include "nqplanungcalls.h"

#include "nqcommon.h"
#include "qvadoconnection.h"
#include "qvadorecordset.h"
#include "qvdblookup.h"
#include "qvdialog.h"
#include "qvlistctrl.h"
#include "qvui.h"

namespace {

constexpr const wchar_t* kProfile = L"Qovaro.NQ2";

char g_moduleTag;
HINSTANCE ModuleHandle() { return reinterpret_cast<HINSTANCE>(&g_moduleTag); }

constexpr UINT IDD_NQ_CUSTFIELDADMIN = 30510;
constexpr UINT IDC_NQ_CUSTFIELDADMIN_LIST = 30511;
constexpr UINT IDS_NQ_CUSTFIELDADMIN_COL = 30512;

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
        qv::RegisterStringTable(ModuleHandle(), {{IDS_NQ_CUSTFIELDADMIN_COL, L"Feld"},
                                                 {IDS_NQ_CUSTFIELDADMIN_COL + 1, L"Tabelle"}});
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
            pItem->SetColumnLong(1, lTable);
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

}  // namespace

BOOL NQ_GetMandantID4New(long& lMandantID, long) {
    long lMandant = 0;
    NQ_GetActMandantID(lMandant);
    if (lMandant == 0) NQ_GetMasterMandantID(lMandant);
    if (lMandant == 0) return FALSE;
    lMandantID = lMandant;
    return TRUE;
}

void NQ_ShowPublicCustfieldAdminDlg(const std::vector<long>& tables) {
    ShowAdminDlg(tables, L"fPublic", L"Öffentliche Daten festlegen");
}

void NQ_ShowSearchCustfieldAdminDlg(const std::vector<long>& tables) {
    ShowAdminDlg(tables, L"fUsed4Search", L"Suchfelder festlegen");
}
