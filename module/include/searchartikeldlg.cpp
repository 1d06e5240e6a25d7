#include "searchartikeldlg.h"

#include "optionserver.h"
#include "qvhrtrace.h"
#include "searchperipheryres.h"
#include "searchresource.h"

namespace {
const wchar_t kTraceSource[] = L"searchartikeldlg.cpp";

EArtikelTyp TypeOf(CQvListItem* pItem) {
    long lTyp = 0;
    if (pItem && !pItem->GetParam(1, &lTyp)) lTyp = 0;
    return static_cast<EArtikelTyp>(lTyp);
}
}  // namespace

IMPLEMENT_DYNAMIC(CSearchArtikelDlg, CSearchDlg)

BEGIN_MESSAGE_MAP(CSearchArtikelDlg, CSearchDlg)
END_MESSAGE_MAP()

CSearchArtikelDlg::CSearchArtikelDlg(CString strListKey, CWnd* pParent) : CSearchDlg(strListKey, pParent) {
    m_nCaptionID = IDS_SEARCH_ARTIKEL;
    m_lTableID = 20;
    ReadAheadOption(-4000, L"ArtikelActive");
}

CSearchArtikelDlg::~CSearchArtikelDlg() = default;

BOOL CSearchArtikelDlg::OnInitDialog() {
    // The colour before the search starts: the worker fills the first rows at once.
    DWORD dwColor = 0;
    {
        COptionServer opt;
        opt.GetOption(-1030, L"ColorForeign", &dwColor, 1, 0);
    }
    m_crForeign = dwColor;
    CSearchDlg::OnInitDialog();
    return TRUE;
}

void CSearchArtikelDlg::SetupColumns() {
    const int types[13] = {3, 3, 3, 3, 3, 3, 3, 3, 3, 2, 3, 3, 3};
    const int widths[13] = {120, 100, 180, 90, 110, 100, 100, 120, 120, 80, 100, 100, 150};
    InsertResultColumns(13, IDS_SEARCH_COL_ARTIKEL, types, widths, IDB_SEARCH_ARTIKEL);
}

int CSearchArtikelDlg::ArtikelTypIcon(long lTyp) {
    static const int kIcons[] = {46, 48, 50, 54, 52, 115, 117};
    return lTyp >= 0 && lTyp <= 6 ? kIcons[lTyp] : -1;
}

HRESULT CSearchArtikelDlg::BuildQuery(CString strSearchText, CString& strQuery) {
    const std::vector<CString> words = SplitWords(strSearchText);
    BOOL bActiveOnly = FALSE;
    HRESULT hr = S_OK;
    {
        COptionServer opt;
        AnswerFromReadAhead(opt);
        hr = opt.GetOption(-4000, L"ArtikelActive", &bActiveOnly, 1, 0);
        if (FAILED(hr)) QV_TRACEHR(kTraceSource, hr);
    }
    const unsigned long ulMask = m_dwRightMask;
    strQuery = L"SELECT vlt.strLabel AS strTyp, vls.strLabel AS strStatus, va.lArtikeltypID, va.lArtikelID AS lID, "
               L"va.strBezeichnung, va.strKurzbezeichnung, va.strArtikelNr, va.strSerienNr, va.strIdentifikation, "
               L"va.strBestNr, va.strSpecs, va.strStandort, convert(varchar,va.dblCMenge,0) AS strCMenge, va.fActive, "
               L"cbm.strBezeichnung AS strMandant, dbo.fn_GetCustFieldValuesUsed4Search(20, va.lArtikelID) AS "
               L"strCustfields, CASE WHEN Mandant.guid <> guidMasterMandant THEN 1 ELSE 0 END AS fForeignArtikel ";
    CString strFrom;
    strFrom.Format(L"FROM view_Artikel va JOIN Mandant ON va.lMandantID = Mandant.lMandantID "
                   L"JOIN SecMandant sm ON Mandant.lMandantID = sm.lMandantID AND sm.lQvSecUserID = %d AND "
                   L"sm.lTableID = 20 AND sm.lRight & %lu = %lu "
                   L"JOIN view_QvLabel vlt ON va.lArtikeltypID = vlt.lFkID AND vlt.strName = 'Artikeltyp' "
                   L"JOIN view_QvLabel vls ON va.lStatus = vls.lFkID AND vls.strName = 'Artikelstatus' "
                   L"JOIN view_CacheBezeichnung cbm ON Mandant.lMandantID = cbm.lID AND cbm.lTableID = 45 ",
                   CurrentUserID(), ulMask, ulMask);
    strQuery += strFrom;
    strQuery += m_strJoin;
    strQuery += m_strWhere;
    strQuery += SearchMandantCondition(*this, L"va");
    if (bActiveOnly) strQuery += L"AND va.fActive = 1 ";

    static const struct {
        int column;
        const wchar_t* term;
    } terms[] = {{0, L"+ vlt.strLabel + ' ' "},
                 {1, L"+ va.strKurzbezeichnung + ' ' "},
                 {3, L"+ va.strArtikelNr + ' ' "},
                 {4, L"+ va.strSerienNr + ' ' "},
                 {5, L"+ va.strIdentifikation + ' ' "},
                 {6, L"+ va.strBestNr + ' ' "},
                 {7, L"+ va.strStandort + ' ' "},
                 {8, L"+ va.strSpecs + ' ' "},
                 {9, L"+ convert(varchar,dblCMenge,0) + ' ' "},
                 {10, L"+ vls.strLabel + ' ' "},
                 {11, L"+ dbo.fn_GetCustFieldValuesUsed4Search(20, va.lArtikelID) + ' ' "},
                 {12, L"+ strMandantName + ' ' + strMandantTyp + ' ' "}};
    for (const CString& word : words) {
        CString strWord;
        strWord.Format(L"AND (CHARINDEX('%s', va.strBezeichnung + ' ' ", word.GetString());
        for (const auto& t : terms)
            if (IsColumnVisible(t.column) && (t.column != 11 || m_bCustFieldsUsed)) strWord += t.term;
        strQuery += strWord + WordClosing();
    }
    return hr;
}

HRESULT CSearchArtikelDlg::FillRow(CQvADORecordset* pRS, CQvListItem** ppItem) {
    CQvListItem* pItem = *ppItem;
    COleVariant varTyp;
    HRESULT hr = pRS->GetFieldValue(L"lArtikeltypID", &varTyp);
    if (FAILED(hr)) return QV_TRACEHR(kTraceSource, hr);
    pItem->SetParam(1, varTyp);
    long lTyp = 0;
    hr = pRS->GetFieldValue(L"lArtikeltypID", &lTyp);
    if (FAILED(hr)) return QV_TRACEHR(kTraceSource, hr);
    static const wchar_t* const kFields[] = {L"strTyp",        L"strKurzbezeichnung", L"strBezeichnung", L"strArtikelNr",
                                             L"strSerienNr",   L"strIdentifikation",  L"strBestNr",      L"strStandort",
                                             L"strSpecs",      L"strCMenge",          L"strStatus",      L"strCustfields",
                                             L"strMandant"};
    for (int column = 0; column < 13; ++column) {
        CString strValue;
        // Only single pieces have serial numbers.
        if (column == 4 && lTyp != 1 && lTyp != 3 && lTyp != 5 && lTyp != 6) {
            pItem->SetColumnText(column, L"-");
            continue;
        }
        hr = pRS->GetFieldValue(kFields[column], &strValue);
        if (FAILED(hr)) return QV_TRACEHR(kTraceSource, hr);
        pItem->SetColumnText(column, strValue);
    }
    BOOL bActive = TRUE, bForeign = FALSE;
    hr = pRS->GetFieldValue(L"fActive", &bActive);
    if (SUCCEEDED(hr)) hr = pRS->GetFieldValue(L"fForeignArtikel", &bForeign);
    if (FAILED(hr)) return QV_TRACEHR(kTraceSource, hr);
    pItem->SetRowTextColor(bForeign ? m_crForeign : !bActive ? COLORREF(0x808080) : COLORREF(0));
    const int nIcon = ArtikelTypIcon(lTyp);
    if (nIcon >= 0) pItem->SetImage(nIcon, 0);
    return S_OK;
}

void CSearchArtikelDlg::CollectSelectedItem(CQvListItem* pItem) { m_arSelectedTypes.push_back(TypeOf(pItem)); }

void CSearchArtikelDlg::CollectCheckedItem(CQvListItem* pItem) { m_arCheckedTypes.push_back(TypeOf(pItem)); }
