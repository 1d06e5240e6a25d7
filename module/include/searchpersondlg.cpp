#include "searchpersondlg.h"

#include "optionserver.h"
#include "qvhrtrace.h"
#include "qvsec.h"
#include "searchperipheryres.h"
#include "searchresource.h"

namespace {
const wchar_t kTraceSource[] = L"searchpersondlg.cpp";
// Seeing the persons of every Mandant.
const wchar_t kPersonFunction[] = L"9FFF9726-D906-4CE0-A627-93B93874A509";
const wchar_t kCallNbrs[] =
    L"isnull(dbo.fn_RemoveChars(vdc1.strNr),'') + ' ' +  isnull(dbo.fn_RemoveChars(vdc2.strNr),'') + ' ' +  "
    L"isnull(dbo.fn_RemoveChars(vdc3.strNr),'') + ' ' +  isnull(dbo.fn_RemoveChars(vdc4.strNr),'') + ' ' +  "
    L"isnull(vdc5.strNr,'') + ' ' +  isnull(vdc6.strNr,'') + ' ' +  isnull(dbo.fn_RemoveChars(vdc7.strNr),'')  + ' ' +  "
    L"dbo.fn_RemoveChars(strFaxNr) + ' ' +  isnull(strWeb,'')";

// The persons that can hold the word, tested before the joins of the word test: a word without
// blanks is found in the blank-joined text only where it is found in one of its parts, so each
// part is tested on its own: the person's own columns as one text, the place, grade, Mandant and
// custom fields as lists read once, and the call numbers by the person's devices. Without case:
// that keeps every row of a case-sensitive test, which follows and decides. The persons that miss
// so need no joins of their call numbers, place and grade.
struct WordParts {
    bool bPersonNr, bGrad, bAdresse, bPLZOrt, bCallNbrs, bCustFields, bMandant;
};

// The call numbers as the word test joins them: e-mail addresses as they stand, the phone and
// pager numbers without their signs. A word with such a sign is found in no number without them;
// a word without is found in a number without them wherever it is found in the number. So one
// test a number suffices, and the signs are taken out only of the numbers a phone column names.
CString CallNumberTest(const CString& strWord) {
    const wchar_t* w = strWord.GetString();
    const wchar_t kPhones[] = L"vp.lTelefonP, vp.lTelefonG, vp.lMobilP, vp.lMobilG, vp.lPager";
    CString strTest;
    strTest.Format(L"OR EXISTS (SELECT 1 FROM view_DevicenumberCall d WHERE d.lDeviceID IN (%s, vp.lEMailP, "
                   L"vp.lEMailG) AND (CHARINDEX('%s', d.strNr) > 0 ",
                   kPhones, w);
    if (strWord.FindOneOf(L" \t-/.()'") < 0)
        strTest.AppendFormat(L"OR (d.lDeviceID IN (%s) AND CHARINDEX('%s', dbo.fn_RemoveChars(d.strNr)) > 0)",
                             kPhones, w);
    strTest += L")) ";
    return strTest;
}

CString WordPrefilter(const CString& strWord, const WordParts& parts) {
    const wchar_t* w = strWord.GetString();
    // The word test joins these columns as they are (the web address with isnull), so a NULL here
    // loses no row it keeps.
    CString strOwn = L"vp.strName + ' ' + vp.strVorname";
    if (parts.bPersonNr) strOwn += L" + ' ' + vp.strPersonNr";
    if (parts.bAdresse) strOwn += L" + ' ' + vp.strAdresse1L";
    if (parts.bCallNbrs) strOwn += L" + ' ' + dbo.fn_RemoveChars(vp.strFaxNr) + ' ' + isnull(vp.strWeb, '')";
    CString strFilter;
    strFilter.Format(L"AND (CHARINDEX('%s', %s) > 0 ", w, strOwn.GetString());
    // The places as a list: tested on the row, the view would join the place of every person read.
    if (parts.bPLZOrt)
        strFilter.AppendFormat(L"OR vp.lOrtID IN (SELECT lOrtID FROM view_Ort WHERE CHARINDEX('%s', strPLZOrtEx) > 0) ",
                               w);
    if (parts.bGrad)
        strFilter.AppendFormat(L"OR vp.lCAktGradID IN (SELECT lGradID FROM view_Grad WHERE CHARINDEX('%s', "
                               L"strKurzbezeichnung) > 0) ",
                               w);
    strFilter += SearchWordListTerms(strWord, parts.bMandant ? L"vp.lMandantID" : nullptr,
                                     parts.bCustFields ? L"vp.lPersonID" : nullptr, 4);
    if (parts.bCallNbrs) strFilter += CallNumberTest(strWord);
    strFilter += L") ";
    return strFilter;
}
}  // namespace

IMPLEMENT_DYNAMIC(CSearchPersonDlg, CSearchDlg)

BEGIN_MESSAGE_MAP(CSearchPersonDlg, CSearchDlg)
END_MESSAGE_MAP()

CSearchPersonDlg::CSearchPersonDlg(CString strListName, CWnd* pParent)
    : CSearchDlg(CString(L"\\SearchPersonList_") + strListName, pParent) {
    m_nCaptionID = IDS_SEARCH_PERSON;
    m_lTableID = 4;
    ReadAheadOption(-4000, L"PersonActive", 1, -1);
    ReadAheadRights(kPersonFunction);
}

CSearchPersonDlg::~CSearchPersonDlg() = default;

BOOL CSearchPersonDlg::OnInitDialog() {
    // The colour before the search starts: the worker fills the first rows at once.
    DWORD dwColor = 0;
    {
        COptionServer opt;
        opt.GetOption(-1000, L"ColorFemale", &dwColor, 1, 0);
    }
    m_clrFemale = dwColor;
    CSearchDlg::OnInitDialog();
    return TRUE;
}

void CSearchPersonDlg::SetupColumns() {
    const int types[9] = {3, 1, 3, 3, 3, 3, 3, 3, 3};
    const int tips[9] = {0, 0, 0, 0, 2, 0, 2, 2, 0};
    const int widths[9] = {95, 40, 70, 160, 160, 140, 140, 90, 170};
    InsertResultColumns(9, IDS_SEARCH_COL_PERSON, types, widths, 0, tips);
}

HRESULT CSearchPersonDlg::BuildQuery(CString strSearchText, CString& strQuery) {
    const std::vector<CString> words = SplitWords(strSearchText);
    BOOL bPersonActive = FALSE;
    HRESULT hr = S_OK;
    {
        COptionServer opt;
        AnswerFromReadAhead(opt);
        hr = opt.GetOption(-4000, L"PersonActive", &bPersonActive, 1, -1);
    }
    const long lUserID = CurrentUserID();
    const BOOL bCallNbrs = IsColumnVisible(6);

    DWORD dwMask = m_dwRightMask;
    CString strRightJoin;
    if (dwMask == 0 && !CQvSec::HasAllRights(1, ReadAheadRightsOf(kPersonFunction))) dwMask = 1;
    if (dwMask != 0)
        strRightJoin.Format(L"JOIN SecMandant sm ON Mandant.lMandantID = sm.lMandantID AND sm.lQvSecUserID = %d AND "
                            L"sm.lTableID = 4 AND sm.lRight & %lu = %lu",
                            lUserID, static_cast<unsigned long>(dwMask), static_cast<unsigned long>(dwMask));

    strQuery =
        L"SELECT vp.lPersonID AS lID, strName + ' ' + strVorname AS strPerson, vp.fActive, strPLZOrtEx, strPersonNr, "
        L"fWeiblich, lAktGradRang, strAdresse1L, \t\t\t\t\t\tisnull(CASE WHEN fWeiblich=1 THEN CASE WHEN "
        L"view_Grad.strKurzbezeichnungF='' THEN view_Grad.strKurzbezeichnung ELSE view_Grad.strKurzbezeichnungF END "
        L"ELSE view_Grad.strKurzbezeichnung END, '') AS strGrad, \t\t\t\t\t\tcbm.strBezeichnung AS strMandant, "
        L"\t\t\t\t\t\tdbo.fn_GetCustFieldValuesUsed4Search(4, vp.lPersonID) AS strCustfields, ";
    if (bCallNbrs) strQuery += CString(kCallNbrs) + L" AS strCallNbrs ";
    else strQuery += L"'' AS strCallNbrs ";
    CString strFrom;
    strFrom.Format(L"FROM view_PersonSmall vp JOIN Mandant ON vp.lMandantID = Mandant.lMandantID \t\t\t\t\t\t\t\t\t\t\t"
                   L"JOIN view_CacheBezeichnung cbm ON Mandant.lMandantID = cbm.lID AND cbm.lTableID = 45 "
                   L"\t\t\t\t\t\t\t\t\t\t\t%s \t\t\t\t\t\t\t\t\t\t\tLEFT OUTER JOIN view_Grad ON vp.lCAktGradID = "
                   L"view_Grad.lGradID ",
                   strRightJoin.GetString());
    strQuery += strFrom;
    if (bCallNbrs)
        strQuery += L"LEFT OUTER JOIN view_DevicenumberCall vdc1 ON vp.lTelefonP = vdc1.lDeviceID \t\t\t\t\tLEFT OUTER "
                    L"JOIN view_DevicenumberCall vdc2 ON vp.lTelefonG = vdc2.lDeviceID \t\t\t\t\tLEFT OUTER JOIN "
                    L"view_DevicenumberCall vdc3 ON vp.lMobilP = vdc3.lDeviceID \t\t\t\t\tLEFT OUTER JOIN "
                    L"view_DevicenumberCall vdc4 ON vp.lMobilG = vdc4.lDeviceID \t\t\t\t\tLEFT OUTER JOIN "
                    L"view_DevicenumberCall vdc5 ON vp.lEMailP = vdc5.lDeviceID \t\t\t\t\tLEFT OUTER JOIN "
                    L"view_DevicenumberCall vdc6 ON vp.lEMailG = vdc6.lDeviceID \t\t\t\t\tLEFT OUTER JOIN "
                    L"view_DevicenumberCall vdc7 ON vp.lPager = vdc7.lDeviceID ";
    strQuery += m_strJoin;
    strQuery += m_strWhere;
    const long lActMandantID = m_lActMandantID.load();
    CString strMandant;
    if (m_bApplyMandantFilter && lActMandantID != 0) strMandant.Format(L"vp.lMandantID = %d ", lActMandantID);
    else strMandant = L"Mandant.fActive = 1 ";
    strQuery += strMandant;
    if (bPersonActive) strQuery += L"AND vp.fActive=1 ";

    WordParts parts;
    parts.bPersonNr = IsColumnVisible(0);
    parts.bGrad = IsColumnVisible(2);
    parts.bAdresse = IsColumnVisible(4);
    parts.bPLZOrt = IsColumnVisible(5);
    parts.bCallNbrs = IsColumnVisible(6) && bCallNbrs;
    parts.bCustFields = IsColumnVisible(7) && m_bCustFieldsUsed;
    parts.bMandant = IsColumnVisible(8);
    for (const CString& word : words) {
        strQuery += WordPrefilter(word, parts);
        CString strWord;
        strWord.Format(L"AND (CHARINDEX('%s', strName + ' ' + strVorname + ' ' ", word.GetString());
        if (IsColumnVisible(0)) strWord += L"+ strPersonNr + ' ' ";
        if (IsColumnVisible(2)) strWord += L"+ isnull(view_Grad.strKurzbezeichnung, '') + ' ' ";
        if (IsColumnVisible(4)) strWord += L"+ strAdresse1L + ' ' ";
        if (IsColumnVisible(5)) strWord += L"+ strPLZOrtEx + ' ' ";
        if (IsColumnVisible(6) && bCallNbrs) strWord += CString(L"+ ") + kCallNbrs + L" + ' ' ";
        if (IsColumnVisible(7) && m_bCustFieldsUsed)
            strWord += L"+ dbo.fn_GetCustFieldValuesUsed4Search(4, vp.lPersonID) + ' ' ";
        if (IsColumnVisible(8)) strWord += L"+ strMandantName + ' ' + strMandantTyp + ' ' ";
        strQuery += strWord + WordClosing();
    }
    return hr;
}

HRESULT CSearchPersonDlg::FillRow(CQvADORecordset* pRS, CQvListItem** ppItem) {
    CQvListItem* pItem = *ppItem;
    static const struct {
        int column;
        const wchar_t* field;
    } texts[] = {{0, L"strPersonNr"}, {2, L"strGrad"},      {3, L"strPerson"},     {4, L"strAdresse1L"},
                 {5, L"strPLZOrtEx"}, {6, L"strCallNbrs"}, {7, L"strCustfields"}, {8, L"strMandant"}};
    HRESULT hr = S_OK;
    long lRang = 0;
    for (const auto& t : texts) {
        if (t.column == 2) {
            hr = pRS->GetFieldValue(L"lAktGradRang", &lRang);
            if (FAILED(hr)) return QV_TRACEHR(kTraceSource, hr);
            pItem->SetColumnLong(1, lRang);
        }
        CString strValue;
        hr = pRS->GetFieldValue(t.field, &strValue);
        if (FAILED(hr)) return QV_TRACEHR(kTraceSource, hr);
        pItem->SetColumnText(t.column, strValue);
    }
    BOOL bActive = TRUE;
    hr = pRS->GetFieldValue(L"fActive", &bActive);
    if (FAILED(hr)) return QV_TRACEHR(kTraceSource, hr);
    if (!bActive) pItem->SetRowTextColor(0x808080);
    BOOL bWeiblich = FALSE;
    hr = pRS->GetFieldValue(L"fWeiblich", &bWeiblich);
    if (FAILED(hr)) return QV_TRACEHR(kTraceSource, hr);
    if (bWeiblich) pItem->SetColumnTextColor(3, m_clrFemale);
    return S_OK;
}
