// The texts and row images of the searches of activities, agenda, material, devices,
// maintenance plans, groups, documents, accountings and work plans, registered with the
// search's resources when the library loads, and their shared statement parts.
#include "searchperipheryres.h"

#include "resource.h"
#include "optionserver.h"
#include "qvadorecordset.h"
#include "qvhrtrace.h"
#include "searchdlg.h"
#include "searchres.h"
#include "strtable.h"

#include <QImage>
#include <QPainter>

namespace {

// Processing states as coloured dots: grey new, shades to green when closed; the canton variants
// of status 5 carry a white bar in a colour of their own.
QImage StatusImages() {
    QImage strip(16 * 14, 16, QImage::Format_RGB32);
    strip.fill(Qt::white);
    QPainter p(&strip);
    const QColor states[7] = {QColor(150, 150, 150), QColor(230, 160, 0), QColor(240, 220, 0), QColor(0, 150, 220),
                              QColor(120, 80, 200),  QColor(0, 170, 60),  QColor(90, 90, 90)};
    for (int i = 0; i < 14; ++i) {
        const QColor c = i < 7 ? states[i] : QColor::fromHsv(((i - 7) * 55) % 360, 220, 200);
        p.setPen(c.darker(140));
        p.setBrush(c);
        p.drawEllipse(i * 16 + 2, 2, 11, 11);
        if (i >= 7) p.fillRect(i * 16 + 4, 7, 7, 2, Qt::white);
    }
    return strip;
}

// Article types: a box per icon in a colour that changes along the strip.
QImage ArtikelImages() {
    const int count = 119;
    QImage strip(16 * count, 16, QImage::Format_RGB32);
    strip.fill(Qt::white);
    QPainter p(&strip);
    for (int i = 0; i < count; ++i) {
        const QColor c = QColor::fromHsv((i * 29) % 360, 170, 210);
        p.setPen(c.darker(160));
        p.setBrush(c);
        p.drawRect(i * 16 + 2, 4, 11, 9);
        p.drawLine(i * 16 + 2, 4, i * 16 + 5, 1);
        p.drawLine(i * 16 + 13, 4, i * 16 + 10, 1);
    }
    return strip;
}

// Device types: a handset with the type's colour.
QImage DeviceImages() {
    QImage strip(16 * 8, 16, QImage::Format_RGB32);
    strip.fill(Qt::white);
    QPainter p(&strip);
    for (int i = 0; i < 8; ++i) {
        const QColor c = QColor::fromHsv(i * 45, 200, 190);
        p.setPen(QColor(40, 40, 40));
        p.setBrush(c);
        p.drawRoundedRect(i * 16 + 4, 1, 8, 14, 2, 2);
        p.fillRect(i * 16 + 6, 3, 4, 4, Qt::white);
    }
    return strip;
}

struct Registrar {
    Registrar() {
        const HINSTANCE module = SearchModuleHandle();
        qv::RegisterStringTable(module, {
            {IDS_SEARCH_COL_DOKUMENT + 0, L"Dokumentart"},
            {IDS_SEARCH_COL_DOKUMENT + 1, L"Bezeichnung"},
            {IDS_SEARCH_COL_DOKUMENT + 2, L"Visum"},
            {IDS_SEARCH_COL_DOKUMENT + 3, L"Überschrift"},
            {IDS_SEARCH_COL_WARTUNGSPLAN + 0, L"Bezeichnung"},
            {IDS_SEARCH_COL_WARTUNGSPLAN + 1, L"Bemerkung"},
            {IDS_SEARCH_COL_WARTUNGSPLAN + 2, L"Wartungszyklus"},
            {IDS_SEARCH_COL_WARTUNGSPLAN + 3, L"Eigene Daten"},
            {IDS_SEARCH_COL_WARTUNGSPLAN + 4, L"Mandant"},
            {IDS_SEARCH_COL_ABRECHNUNG + 0, L"Bezeichnung"},
            {IDS_SEARCH_COL_ABRECHNUNG + 1, L"Bemerkung"},
            {IDS_SEARCH_COL_ABRECHNUNG + 2, L"Datum"},
            {IDS_SEARCH_COL_ABRECHNUNG + 3, L"Zahlungsgrund"},
            {IDS_SEARCH_COL_ABRECHNUNG + 4, L"AHV"},
            {IDS_SEARCH_COL_DEVICE + 0, L"Typ"},
            {IDS_SEARCH_COL_DEVICE + 1, L"Gerät"},
            {IDS_SEARCH_COL_DEVICE + 2, L"Rufnummer/Adresse"},
            {IDS_SEARCH_COL_DEVICE + 3, L"Person"},
            {IDS_SEARCH_COL_DEVICE + 4, L"Status"},
            {IDS_SEARCH_COL_DEVICE + 5, L"Eigene Daten"},
            {IDS_SEARCH_COL_DEVICE + 6, L"Mandant"},
            {IDS_SEARCH_COL_EINSATZ + 0, L"Status"},
            {IDS_SEARCH_COL_EINSATZ + 1, L"Aktivitätsnummer"},
            {IDS_SEARCH_COL_EINSATZ + 2, L"Bezeichnung"},
            {IDS_SEARCH_COL_EINSATZ + 3, L"Aktivitätsart"},
            {IDS_SEARCH_COL_EINSATZ + 4, L"Datum"},
            {IDS_SEARCH_COL_EINSATZ + 5, L"Objekt/Ort"},
            {IDS_SEARCH_COL_EINSATZ + 6, L"Eigene Daten"},
            {IDS_SEARCH_COL_EINSATZ + 7, L"Mandant"},
            {IDS_SEARCH_COL_ARBEITSPLANLIST + 0, L"Arbeitsplannummer"},
            {IDS_SEARCH_COL_ARBEITSPLANLIST + 1, L"Bezeichnung"},
            {IDS_SEARCH_COL_ARBEITSPLANLIST + 2, L"Arbeitsgruppe"},
            {IDS_SEARCH_COL_ARBEITSPLANLIST + 3, L"Datum"},
            {IDS_SEARCH_COL_ARBEITSPLANLIST + 4, L"Eigene Daten"},
            {IDS_SEARCH_COL_ARBEITSPLANLIST + 5, L"Mandant"},
            {IDS_SEARCH_COL_ARTIKEL + 0, L"Artikelart"},
            {IDS_SEARCH_COL_ARTIKEL + 1, L"Kurzbezeichnung"},
            {IDS_SEARCH_COL_ARTIKEL + 2, L"Bezeichnung"},
            {IDS_SEARCH_COL_ARTIKEL + 3, L"Artikelnummer"},
            {IDS_SEARCH_COL_ARTIKEL + 4, L"Seriennummer"},
            {IDS_SEARCH_COL_ARTIKEL + 5, L"Identifikation"},
            {IDS_SEARCH_COL_ARTIKEL + 6, L"Bestellnummer"},
            {IDS_SEARCH_COL_ARTIKEL + 7, L"Standort"},
            {IDS_SEARCH_COL_ARTIKEL + 8, L"Spezifikation"},
            {IDS_SEARCH_COL_ARTIKEL + 9, L"akt. Menge"},
            {IDS_SEARCH_COL_ARTIKEL + 10, L"Status"},
            {IDS_SEARCH_COL_ARTIKEL + 11, L"Eigene Daten"},
            {IDS_SEARCH_COL_ARTIKEL + 12, L"Mandant"},
            {IDS_SEARCH_COL_GRUPPE + 0, L"Gruppe"},
            {IDS_SEARCH_COL_GRUPPE + 1, L"Mandant"},
            {IDS_SEARCH_COL_AGENDA + 0, L"Status"},
            {IDS_SEARCH_COL_AGENDA + 1, L"Bezeichnung"},
            {IDS_SEARCH_COL_AGENDA + 2, L"Aktivitätsart"},
            {IDS_SEARCH_COL_AGENDA + 3, L"Datum"},
            {IDS_SEARCH_COL_AGENDA + 4, L"Objekt/Ort"},
            {IDS_SEARCH_COL_AGENDA + 5, L"Lektionsart"},
            {IDS_SEARCH_COL_AGENDA + 6, L"Ausbildungsstufe"},
            {IDS_SEARCH_COL_AGENDA + 7, L"Eigene Daten"},
            {IDS_SEARCH_COL_AGENDA + 8, L"Mandant"},
        });
        qv::ui::RegisterBitmap(module, IDB_SEARCH_STATUS, StatusImages());
        qv::ui::RegisterBitmap(module, IDB_SEARCH_ARTIKEL, ArtikelImages());
        qv::ui::RegisterBitmap(module, IDB_SEARCH_DEVICE, DeviceImages());
    }
};
Registrar g_registrar;

}  // namespace

int SearchStatusIcon(long lStatus, const CString& strKanton) {
    if (lStatus == 5) {
        static const wchar_t* const kKantone[] = {L"SH", L"NW", L"BL", L"TI", L"BE", L"ZG"};
        for (int i = 0; i < 6; ++i)
            if (strKanton == kKantone[i]) return 7 + i;
    }
    return int(lStatus);
}

CString SearchStatusCondition(const wchar_t* lpszColumn, const CString& strFlags) {
    CString strCondition;
    strCondition.Format(L"AND %s IN (0", lpszColumn);
    for (int state = 1; state <= 6; ++state) {
        CString strFlag;
        AfxExtractSubString(strFlag, strFlags, state, L' ');
        strFlag.Trim();
        if (strFlag == L"1") strCondition.AppendFormat(L",%d", state);
    }
    strCondition += L") ";
    return strCondition;
}

HRESULT SearchDateOption(const wchar_t* lpszDateKey, CQvDateTime& dtFrom) {
    COptionServer opt;
    CSearchDlg::AnswerFromReadAhead(opt);
    return opt.GetOption(-4000, lpszDateKey, &dtFrom, 1, 0);
}

HRESULT SearchStatusOptions(const wchar_t* lpszDateKey, const wchar_t* lpszStatesKey, long lStatusArea,
                            CQvDateTime& dtFrom, CString& strStates, long& lStatusEnabled) {
    COptionServer opt;
    CSearchDlg::AnswerFromReadAhead(opt);
    HRESULT hr = opt.GetOption(-4000, lpszDateKey, &dtFrom, 1, 0);
    if (SUCCEEDED(hr)) hr = opt.GetOption(-4000, lpszStatesKey, &strStates, 1, 0);
    // Read ahead by the search's worker: a failure ends the search, and the window reports it.
    if (SUCCEEDED(hr)) hr = opt.GetOption(lStatusArea, L"StatusEnabled", &lStatusEnabled, 1, 0);
    return hr;
}

HRESULT SearchDateStatusCondition(const wchar_t* lpszDateKey, const wchar_t* lpszStatesKey, long lStatusArea,
                                  const wchar_t* lpszDateColumn, const wchar_t* lpszStatusColumn, bool bToday,
                                  CString& strCondition) {
    CQvDateTime dtFrom;
    dtFrom.SetNull();
    CString strStates;
    long lStatusEnabled = 0;
    const HRESULT hr = SearchStatusOptions(lpszDateKey, lpszStatesKey, lStatusArea, dtFrom, strStates, lStatusEnabled);
    if (FAILED(hr)) QV_TRACEHR(L"searchperipheryres.cpp", hr);
    strCondition.Format(L"AND %s >= %s ", lpszDateColumn, SearchDateLimit(dtFrom, bToday).GetString());
    if (lStatusEnabled != 0) strCondition += SearchStatusCondition(lpszStatusColumn, strStates);
    return hr;
}

CString SearchDateLimit(const CQvDateTime& dtOption, bool bToday) {
    if (!dtOption.IsNull()) return dtOption.SQLConvert();
    if (!bToday) return CString(L"'1899-12-30 00:00:00'");
    const COleDateTime now = COleDateTime::GetCurrentTime();
    return CQvDateTime(now.GetYear(), now.GetMonth(), now.GetDay(), 0, 0, 0).SQLConvert();
}

CString SearchMandantCondition(const CSearchDlg& search, const wchar_t* lpszAlias) {
    const long lMandantID = search.m_lActMandantID.load();
    CString strCondition;
    if (search.m_bApplyMandantFilter && lMandantID != 0) strCondition.Format(L"%s.lMandantID = %ld ", lpszAlias, lMandantID);
    else strCondition = L"Mandant.fActive = 1 ";
    return strCondition;
}

CString SearchMandantFrom(const CSearchDlg& search, long lUserID, const wchar_t* lpszTable) {
    const unsigned long ulMask = search.m_dwRightMask;
    CString strFrom;
    strFrom.Format(L"FROM %s JOIN Mandant ON %s.lMandantID = Mandant.lMandantID "
                   L"JOIN view_CacheBezeichnung cbm ON Mandant.lMandantID = cbm.lID AND cbm.lTableID = 45 "
                   L"JOIN SecMandant sm ON Mandant.lMandantID = sm.lMandantID AND sm.lQvSecUserID = %ld AND "
                   L"sm.lTableID = %ld AND sm.lRight & %lu = %lu ",
                   lpszTable, lpszTable, lUserID, search.m_lTableID, ulMask, ulMask);
    return strFrom;
}

CString SearchLatestStatusJoin(const wchar_t* lpszTable) {
    CString strJoin(L"JOIN {T}status ON {T}.l{T}ID = {T}status.l{T}ID "
                    L"JOIN (SELECT l{T}ID, max(lOrder) AS lOrder FROM dbo.{T}status GROUP BY l{T}ID) AS maxStatus ON "
                    L"maxStatus.l{T}ID = {T}status.l{T}ID AND maxStatus.lOrder = {T}status.lOrder "
                    L"JOIN view_QvLabel vl ON vl.lFkID = {T}status.lStatus AND vl.strName = 'Datenbearbeitungsstatus' ");
    strJoin.Replace(L"{T}", lpszTable);
    return strJoin;
}

CString SearchAnschriftColumn(const wchar_t* lpszPlaceColumn) {
    CString strColumn(L"{P} + CASE WHEN len({P}) > 0 AND len(strAdresse) > 0 THEN ', ' ELSE '' END + strAdresse1L + "
                      L"CASE WHEN len(isnull(Ort.strPLZOrt, '')) > 0 THEN ', ' ELSE '' END + isnull(Ort.strPLZOrt, '') "
                      L"AS strAnschrift1L");
    strColumn.Replace(L"{P}", lpszPlaceColumn);
    return strColumn;
}

CString SearchWordDate(const wchar_t* lpszColumn) {
    CString strText(L"+ convert(varchar(10), {C}, 104) + ' ' + convert(varchar(10), {C}, 108) + ' ' ");
    strText.Replace(L"{C}", lpszColumn);
    return strText;
}

HRESULT SearchFillColumns(CQvADORecordset* pRS, CQvListItem* pItem, std::initializer_list<SearchTextColumn> texts,
                          int nDateColumn, const wchar_t* lpszDateField) {
    COleDateTime dtValue;
    HRESULT hr = pRS->GetFieldValue(lpszDateField, &dtValue);
    if (FAILED(hr)) return QV_TRACEHR(L"searchperipheryres.cpp", hr);
    pItem->SetColumnDate(nDateColumn, dtValue, 1, 10);
    for (const SearchTextColumn& t : texts) {
        CString strValue;
        hr = pRS->GetFieldValue(t.field, &strValue);
        if (FAILED(hr)) return QV_TRACEHR(L"searchperipheryres.cpp", hr);
        pItem->SetColumnText(t.column, strValue);
    }
    return S_OK;
}

HRESULT SearchShowStatus(CQvADORecordset* pRS, CQvListItem* pItem, const CString& strKanton) {
    long lStatus = 0;
    const HRESULT hr = pRS->GetFieldValue(L"lStatus", &lStatus);
    if (FAILED(hr)) return QV_TRACEHR(L"searchperipheryres.cpp", hr);
    pItem->SetImage(SearchStatusIcon(lStatus, strKanton), 0);
    return S_OK;
}

HRESULT SearchMarkWithActivity(CQvADORecordset* pRS, CQvListItem* pItem) {
    long lEinsatzID = -1;
    const HRESULT hr = pRS->GetFieldValue(L"lEinsatzID", &lEinsatzID);
    if (FAILED(hr)) return QV_TRACEHR(L"searchperipheryres.cpp", hr);
    if (lEinsatzID != -1) pItem->SetRowBkColor(0xC8FFFF);
    return S_OK;
}

CString SearchWordListTerms(const CString& strWord, const wchar_t* lpszMandantColumn, const wchar_t* lpszIdColumn,
                            int nTableID) {
    const wchar_t* w = strWord.GetString();
    CString strTerms;
    if (lpszMandantColumn)
        strTerms.AppendFormat(L"OR %s IN (SELECT lMandantID FROM Mandant WHERE CHARINDEX('%s', strMandantName) > 0 OR "
                              L"CHARINDEX('%s', strMandantTyp) > 0) ",
                              lpszMandantColumn, w, w);
    if (lpszIdColumn)
        strTerms.AppendFormat(L"OR %s IN (SELECT v.lID FROM CustFieldValue v JOIN CustFieldType t ON v.lCFTypeID = "
                              L"t.lCFTypeID WHERE t.lTableID = %d AND t.fUsed4Search = 1 AND CHARINDEX('%s', v.strValue) > 0) ",
                              lpszIdColumn, nTableID, w);
    return strTerms;
}
