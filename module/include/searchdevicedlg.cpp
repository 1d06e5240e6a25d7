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
    ReadAheadOption(-4000, L"DeviceInUse");
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
        AnswerFromReadAhead(opt);
        hr = opt.GetOption(-4000, L"DeviceInUse", &bInUse, 1, 0);
        if (FAILED(hr)) QV_TRACEHR(kTraceSource, hr);
    }
    const unsigned long ulMask = m_dwRightMask;
    strQuery.Format(L"SELECT Device.lDeviceID AS lID, Device.strBezeichnung, isnull(Person.strName, '') AS strName, "
                    L"isnull(Person.strVorname, '') AS strVorname, Device.strStatus, Device.lTyp, Device.lPersonID, "
                    L"Devicenumber.strNr, cbm.strBezeichnung AS strMandant, "
                    L"CASE WHEN Person.lPersonID IS NULL THEN '' "
                    L"ELSE isnull(dbo.fn_GetPersonBezeichnung(Person.lPersonID, 'A'), '') END AS strPerson, "
                    L"dbo.fn_GetCustFieldValuesUsed4Search(57, Device.lDeviceID) AS strCustfields "
                    L"FROM Device JOIN Mandant ON Device.lMandantID + 0 = Mandant.lMandantID "
                    L"JOIN view_CacheBezeichnung cbm ON Mandant.lMandantID = cbm.lID AND cbm.lTableID = 45 "
                    L"JOIN SecMandant sm ON Mandant.lMandantID = sm.lMandantID AND sm.lQvSecUserID = %d AND "
                    L"sm.lTableID = 57 AND sm.lRight & %lu = %lu "
                    L"LEFT OUTER JOIN Person ON Device.lPersonID = Person.lPersonID "
                    L"JOIN Devicenumber ON Device.lDeviceID = Devicenumber.lDeviceID ",
                    CurrentUserID(), ulMask, ulMask);
    strQuery += m_strJoin;
    strQuery += m_strWhere;
    strQuery += SearchMandantCondition(*this, L"Device");
    // Each device's number by the device: "+ 0" keeps a list of all numbers of the type out.
    strQuery.AppendFormat(L"AND Devicenumber.lTyp + 0 = %d ", 0);
    if (bInUse) strQuery += L"AND Device.lPersonID <> -1 ";
    // The Mandant filter named on the Mandant too: the "+ 0" above keeps a planner from carrying
    // it over, which would look for the Mandant's devices once for every Mandant.
    const long lOneMandant = m_bApplyMandantFilter ? m_lActMandantID.load() : 0;
    if (lOneMandant != 0) strQuery.AppendFormat(L"AND Mandant.lMandantID = %ld ", lOneMandant);

    static const struct {
        int column;
        const wchar_t* term;
    } terms[] = {{1, L"+ Device.strBezeichnung + ' ' "},
                 {3, L"+ isnull(Person.strName, '') + ' ' + isnull(Person.strVorname, '') + ' ' "},
                 {4, L"+ Device.strStatus + ' ' "},
                 {5, L"+ dbo.fn_GetCustFieldValuesUsed4Search(57, Device.lDeviceID) + ' ' "},
                 {6, L"+ strMandantName + ' ' + strMandantTyp + ' ' "}};
    WordColumns columns;
    columns.bDevice = IsColumnVisible(1);
    columns.bPerson = IsColumnVisible(3);
    columns.bStatus = IsColumnVisible(4);
    columns.bCustFields = IsColumnVisible(5) && m_bCustFieldsUsed;
    columns.bMandant = IsColumnVisible(6);
    // The longest word (the first of equals) is the likeliest to narrow the devices most. With
    // the Mandant filter the Mandant's devices are few and each is tested as it comes, so the
    // first rows of a frequent word need no list of all devices that hold it.
    const bool bOneMandant = lOneMandant != 0;
    std::size_t lead = bOneMandant ? words.size() : 0;
    for (std::size_t i = 1; i < words.size() && !bOneMandant; ++i)
        if (words[i].GetLength() > words[lead].GetLength()) lead = i;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const CString& word = words[i];
        strQuery += i == lead ? WordDevices(word, columns) : WordPrefilter(word, columns);
        CString strWord;
        strWord.Format(L"AND (CHARINDEX('%s', Devicenumber.strNr + ' ' ", word.GetString());
        for (const auto& t : terms)
            if (IsColumnVisible(t.column) && (t.column != 5 || m_bCustFieldsUsed)) strWord += t.term;
        strQuery += strWord + WordClosing();
    }
    return hr;
}

// A word without blanks is found in the blank-joined text exactly when it is found in one of its
// parts, so the word is tested on the number's and the device's own columns first. Rows that miss
// there are kept when their Mandant or a custom field holds the word (those small sets are read
// once) or their person does (the person of the row, already joined). The devices are read in
// their own order ("+ 0" keeps Mandant from leading the join). Always without case: that keeps
// every row of a case-sensitive test, which follows and decides. Only the columns the word test
// names take part. The leading word takes the list form below; the others test the listed rows.
CString CSearchDeviceDlg::WordPrefilter(const CString& strWord, const WordColumns& columns) {
    const wchar_t* w = strWord.GetString();
    CString strFilter;
    strFilter.Format(L"AND (CHARINDEX('%s', Devicenumber.strNr) > 0 ", w);
    if (columns.bDevice) strFilter.AppendFormat(L"OR CHARINDEX('%s', Device.strBezeichnung) > 0 ", w);
    // Most devices have no status; an empty one holds no word.
    if (columns.bStatus)
        strFilter.AppendFormat(L"OR (Device.strStatus <> '' AND CHARINDEX('%s', Device.strStatus) > 0) ", w);
    strFilter += SearchWordListTerms(strWord, columns.bMandant ? L"Device.lMandantID" : nullptr,
                                     columns.bCustFields ? L"Device.lDeviceID" : nullptr, 57);
    if (columns.bPerson)
        strFilter.AppendFormat(L"OR CHARINDEX('%s', Person.strName) > 0 OR CHARINDEX('%s', Person.strVorname) > 0 ", w,
                               w);
    strFilter += L") ";
    return strFilter;
}

// The devices that can hold the word, read before the join as one list of keys: the numbers, the
// devices (with their Mandant's), the persons and the custom fields are each read once on their
// own, and only the listed devices are joined. A word that nothing holds so costs one pass over
// each table instead of the whole join, and the list decides the order the devices are read in,
// their own, as before. The tests per column are those of the row test above (a superset of the
// rows the word's own test keeps, which follows and decides).
CString CSearchDeviceDlg::WordDevices(const CString& strWord, const WordColumns& columns) {
    const wchar_t* w = strWord.GetString();
    // A word of digits and signs (a number, most often) has no case: the test with case finds the
    // same rows without folding every text first.
    bool bNoCase = true;
    for (int i = 0; i < strWord.GetLength(); ++i) {
        const wchar_t c = strWord[i];
        bNoCase = bNoCase && c < 0x80 && !((c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'));
    }
    const CString strCase = bNoCase ? CString(L" COLLATE Latin1_General_CS_AS") : CString();
    auto test = [&](const wchar_t* column) {
        CString strTest;
        strTest.Format(L"CHARINDEX('%s', %s%s) > 0 ", w, column, strCase.GetString());
        return strTest;
    };
    CString strList = L"AND Device.lDeviceID IN (SELECT dn.lDeviceID FROM Devicenumber dn WHERE dn.lTyp = 0 AND " +
                      test(L"dn.strNr");
    CString strOwn;
    if (columns.bDevice) strOwn += L"OR " + test(L"dd.strBezeichnung");
    if (columns.bStatus) strOwn += L"OR (dd.strStatus <> '' AND " + test(L"dd.strStatus") + L") ";
    if (columns.bMandant)
        strOwn += L"OR dd.lMandantID IN (SELECT lMandantID FROM Mandant WHERE " + test(L"strMandantName") + L"OR " +
                  test(L"strMandantTyp") + L") ";
    if (!strOwn.IsEmpty()) strList += L"UNION ALL SELECT dd.lDeviceID FROM Device dd WHERE " + strOwn.Mid(3);
    // Each matching person's devices by the person.
    if (columns.bPerson)
        strList += L"UNION ALL SELECT dp.lDeviceID FROM Device dp WHERE dp.lPersonID IN (SELECT lPersonID FROM Person "
                   L"WHERE " + test(L"strName") + L"OR " + test(L"strVorname") + L") ";
    if (columns.bCustFields)
        strList += L"UNION ALL SELECT v.lID FROM CustFieldValue v JOIN CustFieldType t ON v.lCFTypeID = t.lCFTypeID "
                   L"WHERE t.lTableID = 57 AND t.fUsed4Search = 1 AND " + test(L"v.strValue");
    strList += L") ";
    return strList;
}

// The row's person is named by the statement: a row is filled from its fields alone, with nothing
// asked of the database while the worker holds the window.
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
    } texts[] = {{1, L"strBezeichnung"}, {2, L"strNr"},        {3, L"strPerson"},
                 {4, L"strStatus"},      {5, L"strCustfields"}, {6, L"strMandant"}};
    for (const auto& t : texts) {
        CString strValue;
        hr = pRS->GetFieldValue(t.field, &strValue);
        if (FAILED(hr)) return QV_TRACEHR(kTraceSource, hr);
        pItem->SetColumnText(t.column, strValue);
    }
    return S_OK;
}
