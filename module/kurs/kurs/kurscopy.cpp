// Copying a run: the run row with its texts, place, limits and registration window, its days,
// its groups and its custom-field values; registrations stay with the original.
#include "kursint.h"

#include "kursapiresource.h"
#include "kursresource.h"
#include "nqcommon.h"
#include "optionserver.h"

namespace {

// Copies the rows of a run found by strSelect (their ids in the column strIDColumn) one by one
// with strInsert (new id, new run, source id), each with a new key of strTable.
long CopyRows(CQvADOConnection& conn, LPCWSTR lpszSelect, LPCWSTR lpszIDColumn, LPCWSTR lpszTable,
              LPCWSTR lpszInsert, long lKursinstanzID, long lNewKursinstanzID) {
    CQvADORecordset rs(&conn);
    CString strSQL;
    strSQL.Format(lpszSelect, lKursinstanzID);
    BOOL bEOF = TRUE;
    long hr = kurs::OpenRows(rs, strSQL, bEOF);
    while (SUCCEEDED(hr) && !bEOF) {
        long lSourceID = 0;
        long lNewID = 0;
        hr = rs.GetFieldValue(lpszIDColumn, &lSourceID);
        if (FAILED(hr)) KURS_TRACEHR(hr);
        if (SUCCEEDED(hr)) hr = kurs::GetUniqueID(conn, lpszTable, lpszIDColumn, lNewID);
        if (SUCCEEDED(hr)) {
            strSQL.Format(lpszInsert, lNewID, lNewKursinstanzID, lSourceID);
            hr = kurs::Execute(conn, strSQL);
        }
        if (SUCCEEDED(hr)) {
            hr = rs.MoveNext(&bEOF);
            if (FAILED(hr)) KURS_TRACEHR(hr);
        }
    }
    rs.Close();
    return hr;
}

}  // namespace

long VRQ_CopyKursinstanz(long lKursID, long lKursinstanzID, long& lNewKursinstanzID) {
    CKursResourceScope scope;
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = kurs::OpenConnection(conn);
    const CString strPrefix = kurs::Text(IDS_COPY_PREFIX);

    CQvDateTime dtPublish;
    {
        COptionServer options;
        dtPublish = options.GetOption<CQvDateTime>(-1060, L"PublishDate", 1, 0);
        if (static_cast<DATE>(dtPublish) == 0) dtPublish.SetNull();
    }

    kurs::CKursTransaction trans(conn);
    if (SUCCEEDED(hr)) hr = trans.Begin();
    if (SUCCEEDED(hr)) hr = kurs::GetUniqueID(conn, L"Kursinstanz", L"lKursinstanzID", lNewKursinstanzID);
    if (SUCCEEDED(hr)) {
        CString strSQL;
        if (NQ_IsEnterpriseEdition()) {
            // The central installation publishes the copy anew and leaves choosing its leader to the user.
            strSQL.Format(L"INSERT INTO Kursinstanz (lKursinstanzID, lKursID, dtDatum, strBezeichnung, strBemerkung, "
                          L"strOrt, strAdresse, lOrtID, strTreffpunkt, strLeitung, dblDauer, strTenu, strParkplatz, "
                          L"strMaterial, strZielpublikum, strKursziel, lMaxTeilnehmer, fGeschlossen, dtAnmeldenVon, "
                          L"dtAnmeldenBis, dtPublish) SELECT %d, lKursID, dtDatum, '%s' + strBezeichnung, "
                          L"strBemerkung, strOrt, strAdresse, lOrtID, strTreffpunkt, '', dblDauer, strTenu, "
                          L"strParkplatz, strMaterial, strZielpublikum, strKursziel, lMaxTeilnehmer, 1, dtAnmeldenVon, "
                          L"dtAnmeldenBis, %s FROM Kursinstanz WHERE lKursinstanzID = %d",
                          lNewKursinstanzID, QvSQLString(strPrefix, 0), dtPublish.SQLConvert(), lKursinstanzID);
        } else {
            strSQL.Format(L"INSERT INTO Kursinstanz (lKursinstanzID, lKursID, dtDatum, strBezeichnung, strBemerkung, "
                          L"strOrt, strAdresse, lOrtID, strTreffpunkt, strLeitung, dblDauer, strTenu, strParkplatz, "
                          L"strMaterial, strZielpublikum, strKursziel, lMaxTeilnehmer, fGeschlossen, dtAnmeldenVon, "
                          L"dtAnmeldenBis, dtPublish) SELECT %d, lKursID, dtDatum, '%s' + strBezeichnung, "
                          L"strBemerkung, strOrt, strAdresse, lOrtID, strTreffpunkt, strLeitung, dblDauer, strTenu, "
                          L"strParkplatz, strMaterial, strZielpublikum, strKursziel, lMaxTeilnehmer, 1, dtAnmeldenVon, "
                          L"dtAnmeldenBis, convert(datetime,0) FROM Kursinstanz WHERE lKursinstanzID = %d",
                          lNewKursinstanzID, QvSQLString(strPrefix, 0), lKursinstanzID);
        }
        hr = kurs::Execute(conn, strSQL);
    }
    if (SUCCEEDED(hr)) {
        // A run that does not exist gives no copy: nothing may be added to a run that is not there.
        hr = kurs::CheckKursinstanzWritten(lNewKursinstanzID);
    }
    if (SUCCEEDED(hr)) {
        hr = CopyRows(conn, L"SELECT lKursinstanzdateID FROM Kursinstanzdate WHERE lKursinstanzID = %d",
                      L"lKursinstanzdateID", L"Kursinstanzdate",
                      L"INSERT INTO Kursinstanzdate (lKursinstanzdateID, lKursinstanzID, dtStart, dtEnde) SELECT %d, %d, "
                      L"dtStart, dtEnde FROM Kursinstanzdate WHERE lKursinstanzdateID = %d",
                      lKursinstanzID, lNewKursinstanzID);
    }
    if (SUCCEEDED(hr)) {
        // The copies belong to no activity group: the copied run has not been transferred.
        hr = CopyRows(conn, L"SELECT lKursinstanzGruppeID FROM KursinstanzGruppe WHERE lKursinstanzID = %d",
                      L"lKursinstanzGruppeID", L"KursinstanzGruppe",
                      L"INSERT INTO KursinstanzGruppe (lKursinstanzGruppeID, lKursinstanzID, lEinsatzGruppeID, "
                      L"strBezeichnung, lMaxTeilnehmer) SELECT %d, %d, -1, strBezeichnung, lMaxTeilnehmer FROM "
                      L"KursinstanzGruppe WHERE lKursinstanzGruppeID = %d",
                      lKursinstanzID, lNewKursinstanzID);
    }
    if (SUCCEEDED(hr)) {
        CString strSQL;
        strSQL.Format(L"INSERT INTO CustFieldValue (lCFTypeID, lID, strValue) SELECT CustFieldValue.lCFTypeID, %d, "
                      L"CustFieldValue.strValue FROM CustFieldValue JOIN CustFieldType ON CustFieldValue.lCFTypeID = "
                      L"CustFieldType.lCFTypeID WHERE CustFieldType.lTableID = 42 AND CustFieldValue.lID = %d",
                      lNewKursinstanzID, lKursinstanzID);
        hr = kurs::Execute(conn, strSQL);
    }
    if (SUCCEEDED(hr)) {
        hr = VRQ_SetSecKurs(lKursID, lNewKursinstanzID);
        if (FAILED(hr)) KURS_TRACEHR(hr);
    }
    hr = trans.End(hr);

    if (SUCCEEDED(hr)) {
        CQvGUID guidKursinstanz;
        CString strData;
        CString strSQL;
        strSQL.Format(L"SELECT guid, dbo.fn_GetKursinstanzBezeichnung(lKursinstanzID) + ' | Datum:' + "
                      L"convert(varchar,dtDatum,113) + ' | Ort:' + strOrt + ' | Adresse:' + strAdresse + ' | "
                      L"Treffpunkt:' + strTreffpunkt + ' | Leitung:' + strLeitung + ' | Dauer:' + "
                      L"convert(varchar,dblDauer) + ' | Tenu:' + strTenu + ' | max:' + convert(varchar,lMaxTeilnehmer) "
                      L"AS strData FROM Kursinstanz WHERE lKursinstanzID = %d",
                      lNewKursinstanzID);
        hr = kurs::ReadRecord(rs, strSQL, L"strData", guidKursinstanz, strData);
        if (SUCCEEDED(hr)) {
            hr = kurs::WriteUserLog(0, IDS_LOG_KURSINSTANZ_COPIED, strData, L"Ausbildung.Instanz", 0, 42,
                                    guidKursinstanz, CQvGUID());
        }
    }
    kurs::FireKursEvent(KURS_EVENT_KURSINSTANZ_CHANGED, lNewKursinstanzID);
    if (FAILED(hr)) KURS_REPORTDBERROR(conn, hr);
    return hr;
}
