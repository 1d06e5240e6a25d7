// Creating courses and runs with their defaults, the first date of a run, the groups of its
// course's template, the creator's rights and the change events.
#include "kursint.h"

#include "kursresource.h"
#include "nqcommon.h"
#include "optionserver.h"
#include "qvsec.h"

namespace {

// Options of the course settings (section -1060).
constexpr long kOptionArea = -1060;

// Flags of "AutoOpenAutoClose".
constexpr long kAutoOpen = 1;
constexpr long kAutoClose = 2;

// The registration window of a new run dated dtDatum, from the course settings. Start and end
// stay the zero date when the settings open and close nothing automatically.
long ComputeRegistrationWindow(COptionServer& options, const CQvDateTime& dtDatum, const CQvDateTime& dtToday,
                               const CQvDateTime& dtPublish, long lFlags, CQvDateTime& dtVon, CQvDateTime& dtBis) {
    dtVon = CQvDateTime();
    dtBis = CQvDateTime();
    if (lFlags & kAutoClose) {
        long lDays = 0;
        options.GetOption(kOptionArea, L"AutoCloseBeforInstanz", &lDays, 1, 0);
        if (dtDatum.GetStatus() == COleDateTime::valid) {
            dtBis = CQvDateTime(dtDatum.GetYear(), dtDatum.GetMonth(), dtDatum.GetDay(), 23, 59, 59) -
                    COleDateTimeSpan(lDays, 0, 0, 0);
        } else {
            dtBis.SetNull();
        }
    }
    if (lFlags & kAutoOpen) {
        long lMode = 0;
        long lDays = 0;
        long hr = options.GetOption(kOptionArea, L"AutoOpenMode", &lMode, 1, 0);
        if (FAILED(hr)) return KURS_TRACEHR(hr);
        hr = options.GetOption(kOptionArea, L"AutoOpenAfterPublish", &lDays, 1, 0);
        if (FAILED(hr)) return KURS_TRACEHR(hr);
        if (lMode == 0) {
            // Opens so many days after the run is published.
            if (dtPublish.GetStatus() == COleDateTime::valid)
                dtVon = kurs::DayStart(dtPublish) + COleDateTimeSpan(lDays, 0, 0, 0);
            else
                dtVon = dtToday;
        } else if (lMode == 1) {
            // Opens so many days before the registration deadline; without a deadline at once.
            if (dtBis.GetStatus() == COleDateTime::valid && static_cast<DATE>(dtBis) != 0)
                dtVon = kurs::DayStart(dtBis) - COleDateTimeSpan(lDays, 0, 0, 0);
            else
                dtVon = dtToday;
        }
    }
    return S_OK;
}

// The date as the log entries show it; empty for a null date.
CString LogDate(const CQvDateTime& dt) { return dt.GetStatus() == COleDateTime::null ? CString() : dt.Format(); }

}  // namespace

long VRQ_CreateKurs(long& lKursID) {
    CKursResourceScope scope;
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = kurs::OpenConnection(conn);
    const long lTyp = NQ_IsEnterpriseEdition() ? eAuthorityTypKanton : eAuthorityTypLokal;

    kurs::CKursTransaction trans(conn);
    if (SUCCEEDED(hr)) hr = trans.Begin();
    if (SUCCEEDED(hr)) hr = kurs::GetUniqueID(conn, L"Kurs", L"lKursID", lKursID);
    if (SUCCEEDED(hr)) {
        CString strSQL;
        strSQL.Format(L"INSERT INTO Kurs (lKursID, lTyp, fActive, strKurzbezeichnung, strBezeichnung, strBemerkung) "
                      L"VALUES (%d, %d, 1, '', '', '')",
                      lKursID, lTyp);
        hr = kurs::Execute(conn, strSQL);
    }

    long lQvSecUserID = 0;
    CQvGUID guidKurs;
    CString strRights;
    if (SUCCEEDED(hr)) {
        CString strName;
        CString strUserID;
        CQvSec sec;
        sec.GetUser(&strName, &strUserID, &lQvSecUserID);
    }
    if (SUCCEEDED(hr) && NQ_IsEnterpriseEdition()) {
        CString strSQL;
        strSQL.Format(L"SELECT Kurs.guid, isnull(strLabel,'') + ' ' + dbo.fn_GetKursBezeichnung(lKursID) as strKurs "
                      L"FROM Kurs LEFT OUTER JOIN QvLabel ON QvLabel.strName = 'Authoritytyp' AND Kurs.lTyp = "
                      L"QvLabel.lFkID AND lQvLanguageID = 1 WHERE lKursID = %d",
                      lKursID);
        BOOL bEOF = TRUE;
        hr = kurs::OpenRows(rs, strSQL, bEOF);
        if (SUCCEEDED(hr) && !bEOF) {
            CString strKurs;
            hr = rs.GetFieldValue(L"guid", &guidKurs);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strKurs", &strKurs);
            if (FAILED(hr)) KURS_TRACEHR(hr);
            const CQvGUID guidFunction(kurs::kSecFunctionKurs);
            if (SUCCEEDED(hr)) {
                hr = CQvSec::SetRights(guidKurs.GetGUID(TRUE), CString(), guidFunction, strKurs, kurs::kRightsNewKurs);
                if (FAILED(hr)) KURS_TRACEHR(hr);
            }
            CQvSec sec;
            if (SUCCEEDED(hr)) {
                hr = sec.LoadRights(guidFunction);
                if (FAILED(hr)) KURS_TRACEHR(hr);
            }
            if (SUCCEEDED(hr) && sec.HasAllRights(kurs::kRightRead)) {
                long lSecKursID = 0;
                hr = kurs::GetUniqueID(conn, L"SecKurs", L"lSecKursID", lSecKursID);
                if (SUCCEEDED(hr))
                    strRights.Format(L"INSERT INTO SecKurs (lSecKursID, lKursID, lKursinstanzID, lQvSecUserID, lRight, "
                                     L"fValid) VALUES (%d, %d, -1, %d, %d, 1)",
                                     lSecKursID, lKursID, lQvSecUserID, kurs::SignedMask(sec.GetRights()));
            }
        }
        rs.Close();
    } else if (SUCCEEDED(hr)) {
        CString strSQL;
        strSQL.Format(L"SELECT Kurs.guid FROM Kurs WHERE lKursID = %d", lKursID);
        BOOL bEOF = TRUE;
        hr = kurs::OpenRows(rs, strSQL, bEOF);
        if (SUCCEEDED(hr) && !bEOF) {
            hr = rs.GetFieldValue(L"guid", &guidKurs);
            if (FAILED(hr)) KURS_TRACEHR(hr);
        }
        rs.Close();
        long lSecKursID = 0;
        if (SUCCEEDED(hr)) hr = kurs::GetUniqueID(conn, L"SecKurs", L"lSecKursID", lSecKursID);
        if (SUCCEEDED(hr))
            strRights.Format(L"INSERT INTO SecKurs (lSecKursID, lKursID, lKursinstanzID, lQvSecUserID, lRight, fValid) "
                             L"VALUES (%d, %d, -1, %d,  0xFFFFFF, 1)",
                             lSecKursID, lKursID, lQvSecUserID);
    }
    if (SUCCEEDED(hr) && !strRights.IsEmpty()) hr = kurs::Execute(conn, strRights);
    hr = trans.End(hr);

    if (SUCCEEDED(hr)) {
        hr = kurs::WriteUserLog(0, IDS_LOG_KURS_CREATED, CString(), L"Ausbildung.Kurs", 0, 39, guidKurs, CQvGUID());
    }
    kurs::FireKursEvent(KURS_EVENT_KURS_CHANGED, lKursID);
    if (FAILED(hr)) KURS_REPORTDBERROR(conn, hr);
    return hr;
}

long VRQ_CreateKursinstanz(long lKursID, long& lKursinstanzID) {
    CKursResourceScope scope;
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = kurs::OpenConnection(conn);

    // The new run takes place today, its first day lasting the whole day.
    const CQvDateTime dtNow = COleDateTime::GetCurrentTime();
    CQvDateTime dtDatum;
    CQvDateTime dtDayEnd;
    if (dtNow.GetStatus() == COleDateTime::valid) {
        dtDatum = CQvDateTime(dtNow.GetYear(), dtNow.GetMonth(), dtNow.GetDay(), 0, 0, 0);
        dtDayEnd = CQvDateTime(dtNow.GetYear(), dtNow.GetMonth(), dtNow.GetDay(), 23, 59, 59);
    } else {
        dtDatum.SetNull();
        dtDayEnd.SetNull();
    }

    CQvDateTime dtPublish;
    CQvDateTime dtVon;
    CQvDateTime dtBis;
    if (SUCCEEDED(hr)) {
        COptionServer options;
        dtPublish = options.GetOption<CQvDateTime>(-1060, L"PublishDate", 1, 0);
        if (static_cast<DATE>(dtPublish) == 0) dtPublish.SetNull();
        const long lFlags = options.GetOption<long>(-1060, L"AutoOpenAutoClose", 1, 0);
        hr = ComputeRegistrationWindow(options, dtDatum, dtDatum, dtPublish, lFlags, dtVon, dtBis);
    }

    kurs::CKursTransaction trans(conn);
    if (SUCCEEDED(hr)) hr = trans.Begin();
    if (SUCCEEDED(hr)) hr = kurs::GetUniqueID(conn, L"Kursinstanz", L"lKursinstanzID", lKursinstanzID);
    if (SUCCEEDED(hr)) {
        CString strSQL;
        strSQL.Format(L"INSERT INTO Kursinstanz (lKursinstanzID, lKursID, strBezeichnung, strBemerkung, strOrt, "
                      L"strTreffpunkt, strLeitung, dblDauer, strTenu, strMaterial, strZielpublikum, strKursziel, "
                      L"lMaxTeilnehmer, fGeschlossen, dtAnmeldenVon, dtAnmeldenBis, dtDatum, dtPublish) SELECT %d, "
                      L"lKursID, strKurzbezeichnung + ', ' + strBezeichnung, '', '', '', '', 1.0, strTenu, "
                      L"strMaterial, strZielpublikum, strKursziel, 0, 1, %s, %s, %s, %s FROM Kurs WHERE lKursID = %d",
                      lKursinstanzID, dtVon.SQLConvert(), dtBis.SQLConvert(), dtDatum.SQLConvert(),
                      dtPublish.SQLConvert(), lKursID);
        hr = kurs::Execute(conn, strSQL);
    }
    if (SUCCEEDED(hr)) {
        // A course that does not exist gives no run: nothing may be added to a run that is not there.
        hr = kurs::CheckKursinstanzWritten(lKursinstanzID);
    }
    if (SUCCEEDED(hr)) {
        long lKursinstanzdateID = 0;
        hr = kurs::GetUniqueID(conn, L"Kursinstanzdate", L"lKursinstanzdateID", lKursinstanzdateID);
        if (SUCCEEDED(hr)) {
            CString strSQL;
            strSQL.Format(L"INSERT INTO Kursinstanzdate (lKursinstanzdateID, lKursinstanzID, dtStart, dtEnde) "
                          L"VALUES(%d, %d, %s, %s) ",
                          lKursinstanzdateID, lKursinstanzID, dtDatum.SQLConvert(), dtDayEnd.SQLConvert());
            hr = kurs::Execute(conn, strSQL);
        }
    }
    if (SUCCEEDED(hr) && NQ_IsEnterpriseEdition()) {
        CString strSQL;
        strSQL.Format(L"EXEC sp_CreateKursinstanzGruppeFromTemplate %d", lKursinstanzID);
        hr = kurs::Execute(conn, strSQL);
    }
    if (SUCCEEDED(hr)) {
        hr = VRQ_SetSecKurs(lKursID, lKursinstanzID);
        if (FAILED(hr)) KURS_TRACEHR(hr);
    }
    hr = trans.End(hr);

    if (SUCCEEDED(hr)) {
        CQvGUID guidKursinstanz;
        CString strBezeichnung;
        CString strSQL;
        strSQL.Format(L"SELECT guid, strBezeichnung FROM Kursinstanz WHERE lKursinstanzID = %d", lKursinstanzID);
        hr = kurs::ReadRecord(rs, strSQL, L"strBezeichnung", guidKursinstanz, strBezeichnung);
        if (SUCCEEDED(hr)) {
            CString strDetail;
            strDetail.Format(L"%s | Kursdatum:%s | Veröffentlichen ab:%s", strBezeichnung, LogDate(dtDatum),
                             LogDate(dtPublish));
            hr = kurs::WriteUserLog(0, IDS_LOG_KURSINSTANZ_CREATED, strDetail, L"Ausbildung.Instanz", 0, 42,
                                    guidKursinstanz, CQvGUID());
        }
    }
    kurs::FireKursEvent(KURS_EVENT_KURSINSTANZ_CHANGED, lKursinstanzID);
    if (FAILED(hr)) KURS_REPORTDBERROR(conn, hr);
    return hr;
}
