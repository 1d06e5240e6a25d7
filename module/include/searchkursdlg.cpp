#include "searchkursdlg.h"

#include "optionserver.h"
#include "qvcomserver.h"
#include "qvdatetime.h"
#include "qvguid.h"
#include "qvhrtrace.h"
#include "searchresource.h"

namespace {
const wchar_t kTraceSource[] = L"searchkursdlg.cpp";
const wchar_t* const kKantone[] = {L"GE", L"VD", L"JU", L"NE", L"BE", L"FR", L"VS", L"BS", L"BL",
                                   L"SO", L"AG", L"LU", L"NW", L"OW", L"UR", L"SZ", L"ZG", L"ZH",
                                   L"SH", L"TG", L"AI", L"AR", L"SG", L"GL", L"GR", L"TI"};
}  // namespace

IMPLEMENT_DYNAMIC(CSearchKursDlg, CSearchDlg)

BEGIN_MESSAGE_MAP(CSearchKursDlg, CSearchDlg)
END_MESSAGE_MAP()

CSearchKursDlg::CSearchKursDlg(CString strListKey, CWnd* pParent) : CSearchDlg(strListKey, pParent) {
    m_nCaptionID = IDS_SEARCH_KURS;
    m_lTableID = 39;
    ReadAheadOption(-4000, L"KursActive");
    ReadAheadOption(-4000, L"KursInstanzDate");
    ReadAheadOption(-4000, L"KursTyp");
}

CSearchKursDlg::~CSearchKursDlg() {
    if (m_pKursinstanz) m_pKursinstanz->Release();
    m_pKursinstanz = nullptr;
}

BOOL CSearchKursDlg::OnInitDialog() {
    // Asked before the base starts the first search, so its rows already get the fill levels; a
    // course window that does not answer leaves the rows without them.
    QueryCOMServer(KURSVIEW_PROGID, IID_IKursinstanz, reinterpret_cast<void**>(&m_pKursinstanz));
    // The form is the caller's, set before the window opens; the workers' statements only read it.
    m_bOnlyKurs = m_strSecTableID.CompareNoCase(L"onlyKurs") == 0;
    m_bOnlyInstanz = m_strSecTableID.CompareNoCase(L"onlyInstanz") == 0;
    CSearchDlg::OnInitDialog();
    return TRUE;
}

void CSearchKursDlg::SetupColumns() {
    const int types[8] = {3, 3, 3, 4, 2, 3, 3, 3};
    const int widths[8] = {90, 220, 150, 80, 70, 180, 130, 90};
    InsertResultColumns(8, IDS_SEARCH_COL_KURS, types, widths, IDB_SEARCH_KURSTYP);
}

int CSearchKursDlg::KursTypIcon(long lTyp, const CString& strKanton) {
    switch (lTyp) {
    case 1: return 0;
    case 2:
        for (int i = 0; i < 26; ++i)
            if (strKanton == kKantone[i]) return 2 + 2 * i;
        return -1;
    case 3: return 54;
    default: return -1;
    }
}

HRESULT CSearchKursDlg::BuildQuery(CString strSearchText, CString& strQuery) {
    const std::vector<CString> words = SplitWords(strSearchText);
    long lKursActive = 0;
    CQvDateTime dtInstanz;
    dtInstanz.SetNull();
    CString strKursTyp;
    HRESULT hr = S_OK;
    {
        COptionServer opt;
        AnswerFromReadAhead(opt);
        hr = opt.GetOption(-4000, L"KursActive", &lKursActive, 1, 0);
        if (SUCCEEDED(hr)) hr = opt.GetOption(-4000, L"KursInstanzDate", &dtInstanz, 1, 0);
        if (SUCCEEDED(hr)) hr = opt.GetOption(-4000, L"KursTyp", &strKursTyp, 1, 0);
    }
    const long lUserID = CurrentUserID();
    const unsigned long ulMask = m_dwRightMask;
    // An unset date sets no limit.
    const CString strDate = dtInstanz.IsNull() ? CString(L"'1899-12-30 00:00:00'") : dtInstanz.SQLConvert();

    if (m_bOnlyKurs) {
        strQuery = L"SELECT vk.lKursID AS lID, vk.lTyp, vk.strKurs, fActive, vla.strLabel AS strTyp, \t\t\t\t\t\t0 AS "
                   L"lKursinstanzID, '' AS strBezeichnung, 0 AS rightKursinstanz, \t\t\t\t\t\t"
                   L"'CCCCCCCC-CCCC-CCCC-CCCC-CCCCCCCCCCCC' AS guidKursinstanz, '' AS strAnschrift1L, '' AS "
                   L"strLeitung, 0 AS fGeschlossen, \t\t\t\t\t\tCONVERT(datetime, '1899-12-30 00:00:00.000', 121) AS "
                   L"dtInstanz, 0.0 AS dblDauer, \t\t\t\t\t\tisnull(kpc.lKursID, 0) AS lCondition, "
                   L"dbo.fn_GetCustFieldValuesUsed4Search(39,  vk.lKursID) AS strCustfields ";
    } else {
        // A course without runs has no run address and no run custom fields: both are wrapped,
        // so its row is still found and shown.
        strQuery = L"SELECT vk.lKursID AS lID, vk.lTyp, vk.strKurs, fActive, vla.strLabel AS strTyp, "
                   L"\t\t\t\t\t\tisnull(ki.lKursinstanzID,0) AS lKursinstanzID, isnull(ki.strBezeichnung ,'') AS "
                   L"strBezeichnung, isnull(ki.lRight,0) AS rightKursinstanz, \t\t\t\t\t\tisnull(ki.guid, "
                   L"'CCCCCCCC-CCCC-CCCC-CCCC-CCCCCCCCCCCC') AS guidKursinstanz, isnull(ki.strAnschrift1L,'') AS "
                   L"strAnschrift1L, isnull(ki.strLeitung,'') AS strLeitung, isnull(ki.fGeschlossen, 0) AS "
                   L"fGeschlossen, \t\t\t\t\t\tisnull(ki.dtDatum, CONVERT(datetime, '1899-12-30 00:00:00.000', 121)) "
                   L"AS dtInstanz, isnull(ki.dblDauer,0.0) AS dblDauer, \t\t\t\t\t\tisnull(kpc.lKursID, 0) AS "
                   L"lCondition, dbo.fn_GetCustFieldValuesUsed4Search(39,  vk.lKursID) + ' ' + "
                   L"isnull(ki.strInstanzCustfields,'') AS strCustfields ";
    }
    CString strFrom;
    if (m_bOnlyKurs) {
        strFrom.Format(L"FROM view_Kurs vk JOIN SecKurs secK ON vk.lKursID = secK.lKursID AND secK.lQvSecUserID = %d "
                       L"AND secK.lRight & %lu > 0 \t\t\t\t\t\t\t\tLEFT OUTER JOIN (SELECT DISTINCT lKursID FROM "
                       L"Kursprecondition) kpc ON vk.lKursID = kpc.lKursID \t\t\t\t\t\t\t\tLEFT OUTER JOIN "
                       L"view_QvLabel vla ON vla.strName = 'Authoritytyp' AND vk.lTyp = vla.lFkID ",
                       lUserID, ulMask);
    } else if (m_bOnlyInstanz) {
        // The user's run rows are reached from each run (lKursinstanzID), never as the list of all
        // the user's rows inside the loop over his course rows: "+ 0" keeps the user's index out.
        strFrom.Format(
            L"FROM view_Kurs vk JOIN SecKurs secK ON vk.lKursID = secK.lKursID AND secK.lQvSecUserID = %d "
            L"\t\t\t\t\t\t\t\tLEFT OUTER JOIN (SELECT DISTINCT lKursID FROM Kursprecondition) kpc ON vk.lKursID = "
            L"kpc.lKursID \t\t\t\t\t\t\t\tLEFT OUTER JOIN view_QvLabel vla ON vla.strName = 'Authoritytyp' AND "
            L"vk.lTyp = vla.lFkID \t\t\t\t\t\t\t\t\t\t\tJOIN (SELECT vki.lKursID, vki.lKursinstanzID, strBezeichnung, "
            L"vki.guid, strAnschrift1L, strLeitung, fGeschlossen, dtDatum, dblDauer, \t\t\t\t\t\t\t\t\t\t\t\t\t"
            L"isnull(secI.lRight,0) AS lRight, dbo.fn_GetCustFieldValuesUsed4Search(42, vki.lKursinstanzID) AS "
            L"strInstanzCustfields \t\t\t\t\t\t\t\t\t\t\t\tFROM view_Kursinstanz vki JOIN SecKurs secI ON "
            L"vki.lKursinstanzID = secI.lKursinstanzID AND secI.lQvSecUserID + 0 = %d AND secI.lRight & %lu > 0 "
            L"\t\t\t\t\t\t\t\t\t\t\t\tWHERE %s) ki ON vk.lKursID = ki.lKursID",
            lUserID, lUserID, ulMask, RunDateCondition(!dtInstanz.IsNull(), strDate, TRUE).GetString());
    } else {
        strFrom.Format(
            L"FROM view_Kurs vk JOIN SecKurs secK ON vk.lKursID = secK.lKursID AND secK.lQvSecUserID = %d "
            L"\t\t\t\t\t\t\t\tLEFT OUTER JOIN (SELECT DISTINCT lKursID FROM Kursprecondition) kpc ON vk.lKursID = "
            L"kpc.lKursID \t\t\t\t\t\t\t\tLEFT OUTER JOIN view_QvLabel vla ON vla.strName = 'Authoritytyp' AND "
            L"vk.lTyp = vla.lFkID \t\t\t\t\t\t\t\tLEFT OUTER JOIN (SELECT vki.lKursID, vki.lKursinstanzID, "
            L"strBezeichnung, vki.guid, strAnschrift1L, strLeitung, fGeschlossen, dtDatum, dblDauer, "
            L"\t\t\t\t\t\t\t\t\t\t\t\t\t\tisnull(secI.lRight,0) AS lRight, "
            L"dbo.fn_GetCustFieldValuesUsed4Search(42, vki.lKursinstanzID) AS strInstanzCustfields "
            L"\t\t\t\t\t\t\t\t\t\t\t\tFROM View_Kursinstanz vki LEFT OUTER JOIN SecKurs secI ON vki.lKursinstanzID = "
            L"secI.lKursinstanzID AND secI.lQvSecUserID = %d AND secI.lRight & %lu > 0 \t\t\t\t\t\t\t\t\t\t\t\tWHERE "
            L"%s) ki ON vk.lKursID = ki.lKursID ",
            lUserID, lUserID, ulMask, RunDateCondition(!dtInstanz.IsNull(), strDate, FALSE).GetString());
    }
    strQuery += strFrom;
    strQuery += m_strJoin;
    strQuery += m_strWhere;
    strQuery += L"1=1 ";
    if (lKursActive != 0) strQuery += L"AND vk.fActive=1 ";
    strQuery += L"AND vk.lTyp IN (0";
    for (int k = 1; k <= 3; ++k) {
        CString strField;
        AfxExtractSubString(strField, strKursTyp, k, L' ');
        strField.Trim();
        if (strField == L"1") strQuery.AppendFormat(L",%d", k);
    }
    strQuery += L") ";

    for (const CString& word : words) {
        CString strWord;
        strWord.Format(L"AND ((CHARINDEX('%s', strKurs + ' ' + isnull(strLabel, '') ", word.GetString());
        if (IsColumnVisible(7)) strWord += L"+ ' ' + dbo.fn_GetCustFieldValuesUsed4Search(39,  vk.lKursID) ";
        strWord += IsCaseSensitiveSearch() ? L" COLLATE Latin1_General_CS_AS) > 0) " : L") > 0) ";
        if (!m_bOnlyKurs) {
            CString strRun;
            strRun.Format(L" OR (CHARINDEX('%s', ki.strBezeichnung ", word.GetString());
            if (IsColumnVisible(3)) strRun += L"+ ' ' + convert(varchar(10), ki.dtDatum, 104) ";
            if (IsColumnVisible(4)) strRun += L"+ ' ' + str(ki.dblDauer,4,2) ";
            if (IsColumnVisible(5)) strRun += L"+ ' ' + isnull(ki.strAnschrift1L,'') ";
            if (IsColumnVisible(6)) strRun += L"+ ' ' + isnull(ki.strLeitung,'') ";
            if (IsColumnVisible(7) && m_bCustFieldsUsed)
                strRun += L"+ ' ' + dbo.fn_GetCustFieldValuesUsed4Search(42, isnull(ki.lKursinstanzID,0)) ";
            strRun += WordClosing();
            strWord += strRun;
        }
        strWord += L") ";
        strQuery += strWord;
    }
    return hr;
}

// The runs from the date on. With a date set, the runs that pass are also read as a list from
// the index that holds each run's date, so the rows of the user's rights or of all runs are read
// only for those runs. The list names the same runs as the date test, so the rows stay the same;
// in the runs-only form it is asked of the right ("+ 0": not as the way into the runs, which
// would read them in another order). An unset date passes every run and needs no list.
CString CSearchKursDlg::RunDateCondition(BOOL bDateSet, const CString& strDate, BOOL bOnlyInstanz) {
    CString strCondition;
    strCondition.Format(L"dtDatum >= %s OR dtDatum is null", strDate.GetString());
    if (!bDateSet) return strCondition;
    CString strList;
    strList.Format(L"(%s) AND %s IN (SELECT lKursinstanzID FROM Kursinstanz WHERE %s)", strCondition.GetString(),
                   bOnlyInstanz ? L"secI.lKursinstanzID + 0" : L"vki.lKursinstanzID", strCondition.GetString());
    return strList;
}

HRESULT CSearchKursDlg::FillRow(CQvADORecordset* pRS, CQvListItem** ppItem) {
    CQvListItem* pItem = *ppItem;
    COleVariant varInstanz;
    HRESULT hr = pRS->GetFieldValue(L"lKursinstanzID", &varInstanz);
    if (SUCCEEDED(hr)) pItem->SetParam(1, varInstanz);
    long lTyp = 0;
    if (SUCCEEDED(hr)) hr = pRS->GetFieldValue(L"lTyp", &lTyp);
    static const struct {
        int column;
        const wchar_t* field;
    } first[] = {{0, L"strTyp"}, {1, L"strKurs"}, {2, L"strBezeichnung"}};
    for (const auto& t : first) {
        CString strValue;
        if (SUCCEEDED(hr)) hr = pRS->GetFieldValue(t.field, &strValue);
        if (SUCCEEDED(hr)) pItem->SetColumnText(t.column, strValue);
    }
    COleDateTime dtInstanz;
    if (SUCCEEDED(hr)) hr = pRS->GetFieldValue(L"dtInstanz", &dtInstanz);
    if (SUCCEEDED(hr)) pItem->SetColumnDate(3, dtInstanz, 1, 0);
    double dblDauer = 0;
    if (SUCCEEDED(hr)) hr = pRS->GetFieldValue(L"dblDauer", &dblDauer);
    if (SUCCEEDED(hr)) pItem->SetColumnDouble(4, dblDauer, L"%3.2f");
    static const struct {
        int column;
        const wchar_t* field;
    } second[] = {{5, L"strAnschrift1L"}, {6, L"strLeitung"}, {7, L"strCustfields"}};
    for (const auto& t : second) {
        CString strValue;
        if (SUCCEEDED(hr)) hr = pRS->GetFieldValue(t.field, &strValue);
        if (SUCCEEDED(hr)) pItem->SetColumnText(t.column, strValue);
    }
    BOOL bActive = TRUE;
    if (SUCCEEDED(hr)) hr = pRS->GetFieldValue(L"fActive", &bActive);
    if (SUCCEEDED(hr) && !bActive) pItem->SetRowTextColor(0x808080);
    long lRight = 0;
    if (SUCCEEDED(hr)) hr = pRS->GetFieldValue(L"rightKursinstanz", &lRight);
    if (FAILED(hr) || lRight == 0)
        for (int column = 2; column <= 7; ++column) pItem->SetColumnTextColor(column, 0xDCDCDC);

    if (m_pKursinstanz) {
        BOOL bClosed = TRUE;
        if (SUCCEEDED(hr)) hr = pRS->GetFieldValue(L"fGeschlossen", &bClosed);
        if (bClosed) {
            for (int column = 2; column <= 7; ++column) {
                pItem->SetColumnBkColor(column, 0xC8C8C8);
                if (!bActive) pItem->SetColumnTextColor(column, 0xFFFFFF);
            }
        } else {
            CQvGUID guidInstanz;
            if (SUCCEEDED(hr)) hr = pRS->GetFieldValue(L"guidKursinstanz", &guidInstanz);
            if (SUCCEEDED(hr) && !guidInstanz.IsNULL()) {
                long lState = 0, lCount = 0, lMaximum = 0;
                const HRESULT hrLevel = m_pKursinstanz->GetFillLevel(guidInstanz.GetValue(), &lState, &lCount, &lMaximum);
                if (FAILED(hrLevel)) QV_TRACEHR(kTraceSource, hrLevel);
                COLORREF clrBk = CLR_NONE;
                if (hrLevel == S_OK) {
                    if (lState == eFillLevelNormal) clrBk = 0x32FF64;
                    else if (lState == eFillLevelWarning) clrBk = 0x00FFFF;
                    else if (lState == eFillLevelFull) clrBk = 0x3232FF;
                }
                if (clrBk != CLR_NONE) {
                    for (int column = 2; column <= 7; ++column) {
                        pItem->SetColumnBkColor(column, clrBk);
                        if (!bActive) pItem->SetColumnTextColor(column, 0xFFFFFF);
                    }
                }
            }
        }
    }
    const int nIcon = KursTypIcon(lTyp, m_strKanton);
    if (nIcon >= 0) pItem->SetImage(nIcon, 0);
    if (FAILED(hr)) QV_TRACEHR(kTraceSource, hr);
    return hr;
}
