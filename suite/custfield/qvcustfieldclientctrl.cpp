#include "qvcustfieldclientctrl.h"

#include "qvadoconnection.h"
#include "qvadorecordset.h"
#include "qvdblookup.h"

namespace {
char g_moduleTag;
HINSTANCE ModuleHandle() { return reinterpret_cast<HINSTANCE>(&g_moduleTag); }
constexpr UINT IDS_CUSTFIELD_COL_FIELD = 30600;

struct StringRegistrar {
    StringRegistrar() {
        qv::RegisterStringTable(ModuleHandle(), {{IDS_CUSTFIELD_COL_FIELD, L"Feld"},
                                                 {IDS_CUSTFIELD_COL_FIELD + 1, L"Wert"}});
    }
};
StringRegistrar g_strings;
}  // namespace

IMPLEMENT_DYNAMIC(CQvCustFieldClientCtrl, CQvGridCtrl)

BEGIN_MESSAGE_MAP(CQvCustFieldClientCtrl, CQvGridCtrl)
    ON_NOTIFY_REFLECT_EX(QVGN_CELLCHANGED, &CQvCustFieldClientCtrl::OnCellChanged)
END_MESSAGE_MAP()

CQvCustFieldClientCtrl::CQvCustFieldClientCtrl(CString strCaption) : m_strCaption(std::move(strCaption)) {}

CQvCustFieldClientCtrl::~CQvCustFieldClientCtrl() = default;

void CQvCustFieldClientCtrl::SetRegKeyName(CString strName) {
    m_strRegKey = CString(L"Software\\Qovaro\\QvCustFieldCtrl\\") + strName;
}

long CQvCustFieldClientCtrl::SetTableID(long lTableID) {
    m_lTableID = lTableID;
    return S_OK;
}

long CQvCustFieldClientCtrl::SetDBSourceName(CString strSource) {
    m_strSource = std::move(strSource);
    return S_OK;
}

void CQvCustFieldClientCtrl::PreSubclassWindow() {
    CQvGridCtrl::PreSubclassWindow();
    if (!m_strRegKey.IsEmpty()) QvSetRegistryKey(m_strRegKey);
    const HINSTANCE hPrevious = AfxGetResourceHandle();
    AfxSetResourceHandle(ModuleHandle());
    static const int widths[] = {180, 260};
    QvInsertColumn(2, IDS_CUSTFIELD_COL_FIELD, nullptr, widths);
    AfxSetResourceHandle(hPrevious);
}

HRESULT CQvCustFieldClientCtrl::SetID(long lID) {
    m_lID = lID;
    return RefreshGrid();
}

HRESULT CQvCustFieldClientCtrl::RefreshGrid() {
    if (!GetSafeHwnd()) return E_FAIL;
    if (IsEditing()) EndEdit(FALSE);
    DeleteAllItems();
    if (m_lID == 0 || m_lTableID == 0) return S_OK;
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = conn.Open(m_strSource, 0);
    CString strSQL;
    strSQL.Format(L"SELECT t.lCFTypeID, t.strBezeichnung, v.strValue FROM CustFieldType t LEFT OUTER JOIN "
                  L"CustFieldValue v ON v.lCFTypeID = t.lCFTypeID AND v.lID = %d WHERE t.lTableID = %d ORDER BY "
                  L"t.lOrder, t.strBezeichnung",
                  m_lID, m_lTableID);
    BOOL bEOF = TRUE;
    if (SUCCEEDED(hr)) hr = rs.Open(strSQL);
    if (SUCCEEDED(hr)) hr = rs.IsEOF(&bEOF);
    while (SUCCEEDED(hr) && !bEOF) {
        long lType = 0;
        CString strName, strValue;
        COleVariant value;
        hr = rs.GetFieldValue(L"lCFTypeID", &lType);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strBezeichnung", &strName);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strValue", &value);
        if (FAILED(hr)) break;
        const VARIANT& v = value;
        const bool bHasValue = v.vt == VT_BSTR;
        if (bHasValue) strValue = CString(v.bstrVal);
        if (bHasValue || m_bShowAll) {
            CQvGridItem* pItem = nullptr;
            QvAddItem(pItem, TRUE);
            pItem->SetParam(0, lType);
            pItem->SetColumnText(0, strName);
            pItem->SetColumnText(1, strValue);
            pItem->SetColumnEditMode(1, CQvGridCtrl::eEditText);
            pItem->Unlock();
        }
        hr = rs.MoveNext(&bEOF);
    }
    rs.Close();
    if (FAILED(hr)) QvReportDBError(conn, hr, __FILE__, __LINE__);
    return hr;
}

BOOL CQvCustFieldClientCtrl::OnCellChanged(NMHDR* nm, LRESULT* result) {
    *result = 0;
    const auto* pNM = reinterpret_cast<NMQVGRID*>(nm);
    if (!m_bSaveImmediately || !pNM->pItem || pNM->nSubItem != 1) return FALSE;
    long lType = 0;
    pNM->pItem->GetParam(0, &lType);
    SaveValue(lType, pNM->pszText ? CString(pNM->pszText) : CString());
    return FALSE;
}

HRESULT CQvCustFieldClientCtrl::SaveValue(long lCFTypeID, const CString& strValue) {
    if (m_lID == 0) return S_FALSE;
    CQvADOConnection conn;
    long hr = conn.Open(m_strSource, 0);
    CString strSQL;
    strSQL.Format(L"DELETE FROM CustFieldValue WHERE lCFTypeID = %d AND lID = %d", lCFTypeID, m_lID);
    if (SUCCEEDED(hr)) hr = conn.BeginTrans();
    if (SUCCEEDED(hr)) hr = conn.Execute(strSQL);
    if (SUCCEEDED(hr) && !strValue.IsEmpty()) {
        strSQL.Format(L"INSERT INTO CustFieldValue (lCFTypeID, lID, strValue) VALUES (%d, %d, '%s')", lCFTypeID, m_lID,
                      static_cast<LPCWSTR>(QvSQLString(strValue, 0)));
        hr = conn.Execute(strSQL);
    }
    if (SUCCEEDED(hr)) hr = conn.CommitTrans();
    if (FAILED(hr)) {
        conn.RollbackTrans();
        QvReportDBError(conn, hr, __FILE__, __LINE__);
    }
    return hr;
}
