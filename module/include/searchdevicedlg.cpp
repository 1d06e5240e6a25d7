#include "searchdevicedlg.h"

#include "nqcommon.h"
#include "nqsearchcalls.h"
#include "optionserver.h"
#include "qvhrtrace.h"
#include "searchperipheryres.h"
#include "searchresource.h"

namespace {
const wchar_t kTraceSource[] = L"searchdevicedlg.cpp";
}

IMPLEMENT_DYNAMIC(CSearchDeviceDlg, CSearchDlg)

BEGIN_MESSAGE_MAP(CSearchDeviceDlg, CSearchDlg)
END_MESSAGE_MAP()

CSearchDeviceDlg::CSearchDeviceDlg(CString strListKey, CWnd* pParent) : CSearchDlg(strListKey, pParent) {
    m_nCaptionID = IDS_SEARCH_DEVICE;
    m_lTableID = 57;
}

CSearchDeviceDlg::~CSearchDeviceDlg() = default;

BOOL CSearchDeviceDlg::OnInitDialog() {
    CSearchDlg::OnInitDialog();
    return TRUE;
}

void CSearchDeviceDlg::SetupColumns() {
    const int types[7] = {3, 3, 3, 3, 3, 3, 3};
    const int widths[7] = {110, 160, 220, 180, 100, 100, 150};
    InsertResultColumns(7, IDS_SEARCH_COL_DEVICE, types, widths, IDB_SEARCH_DEVICE);
}

HRESULT CSearchDeviceDlg::BuildQuery(CString strSearchText, CString& strQuery) {
    const std::vector<CString> words = SplitWords(strSearchText);
    BOOL bInUse = FALSE;
    HRESULT hr = S_OK;
    {
        COptionServer opt;
        hr = opt.GetOption(-4000, L"DeviceInUse", &bInUse, 1, 0);
        if (FAILED(hr)) QV_TRACEHR(kTraceSource, hr);
    }
    const unsigned long ulMask = m_dwRightMask;
    strQuery.Format(L"SELECT Device.lDeviceID AS lID, Device.strBezeichnung, isnull(Person.strName, '') AS strName, "
                    L"isnull(Person.strVorname, '') AS strVorname, Device.strStatus, Device.lTyp, Device.lPersonID, "
                    L"Devicenumber.strNr, cbm.strBezeichnung AS strMandant, "
                    L"dbo.fn_GetCustFieldValuesUsed4Search(57, Device.lDeviceID) AS strCustfields "
                    L"FROM Device JOIN Mandant ON Device.lMandantID = Mandant.lMandantID "
                    L"JOIN view_CacheBezeichnung cbm ON Mandant.lMandantID = cbm.lID AND cbm.lTableID = 45 "
                    L"JOIN SecMandant sm ON Mandant.lMandantID = sm.lMandantID AND sm.lQvSecUserID = %d AND "
                    L"sm.lTableID = 57 AND sm.lRight & %lu = %lu "
                    L"LEFT OUTER JOIN Person ON Device.lPersonID = Person.lPersonID "
                    L"JOIN Devicenumber ON Device.lDeviceID = Devicenumber.lDeviceID ",
                    CurrentUserID(), ulMask, ulMask);
    strQuery += m_strJoin;
    strQuery += m_strWhere;
    strQuery += SearchMandantCondition(*this, L"Device");
    strQuery.AppendFormat(L"AND Devicenumber.lTyp = %d ", 0);
    if (bInUse) strQuery += L"AND Device.lPersonID <> -1 ";

    static const struct {
        int column;
        const wchar_t* term;
    } terms[] = {{1, L"+ Device.strBezeichnung + ' ' "},
                 {3, L"+ isnull(Person.strName, '') + ' ' + isnull(Person.strVorname, '') + ' ' "},
                 {4, L"+ Device.strStatus + ' ' "},
                 {5, L"+ dbo.fn_GetCustFieldValuesUsed4Search(57, Device.lDeviceID) + ' ' "},
                 {6, L"+ strMandantName + ' ' + strMandantTyp + ' ' "}};
    for (const CString& word : words) {
        CString strWord;
        strWord.Format(L"AND (CHARINDEX('%s', Devicenumber.strNr + ' ' ", word.GetString());
        for (const auto& t : terms)
            if (IsColumnVisible(t.column) && (t.column != 5 || m_bCustFieldsUsed)) strWord += t.term;
        strQuery += strWord + WordClosing();
    }
    return hr;
}

HRESULT CSearchDeviceDlg::FillRow(CQvADORecordset* pRS, CQvListItem** ppItem) {
    CQvListItem* pItem = *ppItem;
    long lTyp = 0;
    HRESULT hr = pRS->GetFieldValue(L"lTyp", &lTyp);
    if (FAILED(hr)) return QV_TRACEHR(kTraceSource, hr);
    pItem->SetColumnText(0, NQ_GetDeviceTypBezeichnung(lTyp));
    pItem->SetImage(int(lTyp), 0);
    static const struct {
        int column;
        const wchar_t* field;
    } texts[] = {{1, L"strBezeichnung"}, {2, L"strNr"}, {4, L"strStatus"}, {5, L"strCustfields"}, {6, L"strMandant"}};
    for (const auto& t : texts) {
        CString strValue;
        hr = pRS->GetFieldValue(t.field, &strValue);
        if (FAILED(hr)) return QV_TRACEHR(kTraceSource, hr);
        pItem->SetColumnText(t.column, strValue);
    }
    long lPersonID = 0;
    hr = pRS->GetFieldValue(L"lPersonID", &lPersonID);
    if (FAILED(hr)) return QV_TRACEHR(kTraceSource, hr);
    pItem->SetColumnText(3, NQ_GetPersonBezeichnung(lPersonID, CString()));
    return S_OK;
}
