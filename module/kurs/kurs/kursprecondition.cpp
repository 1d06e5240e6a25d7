// Preconditions of a course: rules of required courses, attended within or outside numbers of
// years, joined with AND, OR and NOT, checked before a person is booked.
#include "kursint.h"

#include "kurspreconditionview.h"
#include "nqcommon.h"
#include "optionserver.h"
#include "qvinteract.h"
#include "kursresource.h"

namespace {

// Whether the person fulfils one item of a rule in the booking window. A database failure is
// shown and returned: an item that could not be read is neither fulfilled nor missing.
long CheckKursPreconditionItem(long lPersonID, long lItemKursID, long lMaxYear, long lLockYear,
                               const CQvDateTime& dtFrom, const CQvDateTime& dtTo, BOOL& bFulfilled) {
    bFulfilled = FALSE;
    const CString strFrom = dtFrom.SQLConvert();
    const CString strTo = dtTo.SQLConvert();
    CString strSQL;
    bool bFulfilledOnRow = true;
    if (lMaxYear == -1 && lLockYear == -1) {
        strSQL.Format(L"SELECT 1 AS ok FROM PersonKurs WHERE lKursID = %d AND PersonKurs.lPersonID = %d AND ((lStatus "
                      L"= %d AND dtDatum <= %s ) OR (lStatus IN (%d,%d) AND dtDatum <= %s AND dtDatum >= dateadd(year, "
                      L"-1, %s)))",
                      lItemKursID, lPersonID, 1, strTo, 0, 7, strTo, strFrom);
    } else if (lMaxYear == -1 && lLockYear > 0) {
        strSQL.Format(L"SELECT 1 AS ok FROM PersonKurs WHERE lKursID = %d AND PersonKurs.lPersonID = %d AND lKursID "
                      L"IN (SELECT lKursID FROM PersonKurs WHERE lPersonID = %d AND ((lStatus = %d AND dtDatum <= %s ) "
                      L"OR (lStatus IN (%d,%d) AND dtDatum <= %s AND dtDatum >= dateadd(year, -1, %s)))) AND lKursID "
                      L"NOT IN (SELECT lKursID FROM PersonKurs WHERE lPersonID = %d AND lStatus IN (%d,%d,%d) AND "
                      L"dtDatum <= %s AND dtDatum > dateadd(year, -%d, %s))",
                      lItemKursID, lPersonID, lPersonID, 1, strTo, 0, 7, strTo, strFrom, lPersonID, 1, 0, 7, strTo,
                      lLockYear, strFrom);
    } else if (lMaxYear > 0 && lLockYear == -1) {
        strSQL.Format(L"SELECT 1 AS ok FROM PersonKurs WHERE lKursID = %d AND PersonKurs.lPersonID = %d AND ((lStatus "
                      L"= %d AND dtDatum <= %s AND dtDatum >= dateadd(year, -%d, %s)) OR (lStatus IN (%d,%d) AND "
                      L"dtDatum <= %s AND dtDatum >= dateadd(year, -1, %s)))",
                      lItemKursID, lPersonID, 1, strTo, lMaxYear, strFrom, 0, 7, strTo, strFrom);
    } else if (lMaxYear > 0 && lLockYear > 0) {
        strSQL.Format(L"SELECT 1 AS ok FROM PersonKurs WHERE lKursID = %d AND PersonKurs.lPersonID = %d AND lKursID "
                      L"IN (SELECT lKursID FROM PersonKurs WHERE lPersonID = %d AND ((lStatus = %d AND dtDatum <= %s "
                      L"AND dtDatum >= dateadd(year, -%d, %s)) OR (lStatus IN (%d,%d) AND dtDatum <= %s AND dtDatum >= "
                      L"dateadd(year, -1, %s)))) AND lKursID NOT IN (SELECT lKursID FROM PersonKurs WHERE lPersonID = "
                      L"%d AND lStatus IN (%d,%d,%d) AND dtDatum <= %s AND dtDatum > dateadd(year, -%d, %s))",
                      lItemKursID, lPersonID, lPersonID, 1, strTo, lMaxYear, strFrom, 0, 7, strTo, strFrom, lPersonID,
                      1, 0, 7, strTo, lLockYear, strFrom);
    } else if (lMaxYear == 0 && lLockYear > 0) {
        strSQL.Format(L"SELECT 1 AS ok FROM PersonKurs WHERE lKursID = %d AND PersonKurs.lPersonID = %d AND lStatus IN "
                      L"(%d,%d,%d) AND dtDatum <= %s AND dtDatum > dateadd(year, -%d, %s) ",
                      lItemKursID, lPersonID, 1, 0, 7, strTo, lLockYear, strTo);
        bFulfilledOnRow = false;
    } else {
        return S_OK;  // no such pair of limits: never fulfilled
    }

    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = kurs::OpenConnection(conn);
    BOOL bEOF = TRUE;
    if (SUCCEEDED(hr)) hr = kurs::OpenRows(rs, strSQL, bEOF);
    rs.Close();
    if (FAILED(hr)) {
        KURS_REPORTDBERROR(conn, hr);
        return hr;
    }
    bFulfilled = bFulfilledOnRow ? !bEOF : bEOF;
    return S_OK;
}

// Joins the result of a finished rule to the overall result.
void CloseRule(long lOrder, long lOperator, BOOL bCurrent, BOOL& bResult, CString& strFailKurs,
               const CString& strLastFailItem) {
    if (lOrder == 1) {
        bResult = bCurrent;
    } else if (lOperator == 1 || lOperator == 3) {
        bResult = bResult && bCurrent;
    } else if (lOperator == 2) {
        bResult = bResult || bCurrent;
    }
    if (!bCurrent) strFailKurs = strLastFailItem;
}

}  // namespace

long VRQ_CheckKursPrecondition(long lPersonID, long lKursID, CQvDateTime dtFrom, CQvDateTime dtTo) {
    CKursResourceScope scope;
    long hr = S_OK;

    if (NQ_IsEnterpriseEdition()) {
        BOOL bCheck = TRUE;
        COptionServer options;
        hr = options.GetOption(-1060, CString(L"EntCheckKursPrecondition"), &bCheck, 1, 0);
        if (FAILED(hr)) KURS_TRACEHR(hr);
        if (!bCheck) return hr;
    }

    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    hr = kurs::OpenConnection(conn);
    BOOL bEOF = TRUE;
    if (SUCCEEDED(hr)) {
        CString strSQL;
        strSQL.Format(L"SELECT Kursprecondition.lKurspreconditionID, lOrder, Kursprecondition.lOperator AS lOperator, "
                      L"KurspreconditionItem.lOperator AS lItemOperator, lMaxYear, lLockYear, "
                      L"KurspreconditionItem.lKursID, dbo.fn_GetKursBezeichnung(KurspreconditionItem.lKursID) AS "
                      L"strKurs FROM Kursprecondition JOIN KurspreconditionItem ON "
                      L"Kursprecondition.lKurspreconditionID = KurspreconditionItem.lKurspreconditionID WHERE "
                      L"Kursprecondition.lKursID = %d ORDER BY lOrder",
                      lKursID);
        hr = kurs::OpenRows(rs, strSQL, bEOF);
    }

    BOOL bResult = TRUE;
    BOOL bCurrent = TRUE;
    long lPrevID = 0;
    long lOrder = 0;
    long lOperator = 1;
    CString strFailKurs;
    CString strLastFailItem;
    bool bItemFailed = false;  // an item check failed and has shown its error already

    if (SUCCEEDED(hr) && !bEOF) {
        hr = rs.GetFieldValue(L"lOrder", &lOrder);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lOperator", &lOperator);
        if (FAILED(hr)) KURS_TRACEHR(hr);
    }

    // One item, negated inside a NOT rule; reads its course name when it fails.
    auto evaluate = [&](long lItemKursID, long lMaxYear, long lLockYear, BOOL& bOut) -> long {
        BOOL bItem = FALSE;
        long hrItem = CheckKursPreconditionItem(lPersonID, lItemKursID, lMaxYear, lLockYear, dtFrom, dtTo, bItem);
        if (FAILED(hrItem)) {
            bItemFailed = true;
            return KURS_TRACEHR(hrItem);
        }
        bOut = lOperator == 3 ? !bItem : bItem;
        return S_OK;
    };
    auto readFailText = [&]() -> long {
        long hrText = rs.GetFieldValue(L"strKurs", &strLastFailItem);
        if (FAILED(hrText)) KURS_TRACEHR(hrText);
        return hrText;
    };

    while (SUCCEEDED(hr) && !bEOF) {
        long lItemKursID = 0;
        long lItemOperator = 2;
        long lMaxYear = 0;
        long lLockYear = 0;
        long lPreconditionID = 0;
        hr = rs.GetFieldValue(L"lKursID", &lItemKursID);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lItemOperator", &lItemOperator);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lMaxYear", &lMaxYear);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lLockYear", &lLockYear);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lKurspreconditionID", &lPreconditionID);
        if (FAILED(hr)) {
            KURS_TRACEHR(hr);
            break;
        }
        // Inside a NOT rule the items are negated, so AND and OR change places.
        if (lOperator == 3) {
            if (lItemOperator == 1) lItemOperator = 2;
            else if (lItemOperator == 2) lItemOperator = 1;
        }

        if (lPreconditionID != lPrevID) {
            if (lPrevID != 0) CloseRule(lOrder, lOperator, bCurrent, bResult, strFailKurs, strLastFailItem);
            lPrevID = lPreconditionID;
            hr = rs.GetFieldValue(L"lOrder", &lOrder);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lOperator", &lOperator);
            if (FAILED(hr)) {
                KURS_TRACEHR(hr);
                break;
            }
            hr = evaluate(lItemKursID, lMaxYear, lLockYear, bCurrent);
            if (SUCCEEDED(hr) && !bCurrent) hr = readFailText();
        } else if (lItemOperator == 1) {
            if (bCurrent) {
                BOOL bItem = FALSE;
                hr = evaluate(lItemKursID, lMaxYear, lLockYear, bItem);
                bCurrent = bCurrent && bItem;
                if (SUCCEEDED(hr) && !bCurrent) hr = readFailText();
            }
        } else if (lItemOperator == 2) {
            if (!bCurrent) {
                hr = evaluate(lItemKursID, lMaxYear, lLockYear, bCurrent);
                if (SUCCEEDED(hr) && !bCurrent) hr = readFailText();
            }
        }
        if (FAILED(hr)) break;
        hr = rs.MoveNext(&bEOF);
        if (FAILED(hr)) KURS_TRACEHR(hr);
    }
    rs.Close();
    if (SUCCEEDED(hr) && lPrevID != 0) CloseRule(lOrder, lOperator, bCurrent, bResult, strFailKurs, strLastFailItem);

    if (FAILED(hr)) {
        if (!bItemFailed) KURS_REPORTDBERROR(conn, hr);
        return hr;
    }
    if (!bResult) {
        CString strMsg;
        strMsg.Format(IDS_PRECONDITION_NOT_MET, NQ_GetPersonBezeichnung(lPersonID, CString()), strFailKurs);
        if (kurs::Ask(strMsg, MB_YESNO | MB_ICONINFORMATION | MB_DEFBUTTON2) == IDYES)
            kurs::TellAfterUnit([lKursID] { ShowKursPreconditionRules(lKursID); }, false);
        return E_ABORT;
    }
    return S_OK;
}
