#include "orvident.h"

#include "qvadoconnection.h"
#include "qvadorecordset.h"
#include "qvdblookup.h"
#include "qvgridctrl.h"
#include "qvguid.h"
#include "qvhrtrace.h"
#include "userlog.h"

#include <utility>
#include <vector>

namespace {

constexpr const wchar_t* kProfile = L"Qovaro.NQ2";
constexpr const wchar_t* kSource = L"orvident";

long ReadSoldansatz(std::vector<std::pair<long, CString>>& rates) {
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = conn.Open(kProfile, 0);
    if (SUCCEEDED(hr)) hr = rs.Open(L"SELECT lSoldansatzID, strBezeichnung FROM Soldansatz ORDER BY strBezeichnung");
    BOOL bEOF = TRUE;
    if (SUCCEEDED(hr)) hr = rs.IsEOF(&bEOF);
    while (SUCCEEDED(hr) && !bEOF) {
        long lID = 0;
        CString strName;
        hr = rs.GetFieldValue(L"lSoldansatzID", &lID);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strBezeichnung", &strName);
        if (SUCCEEDED(hr)) rates.emplace_back(lID, strName);
        if (SUCCEEDED(hr)) hr = rs.MoveNext(&bEOF);
    }
    rs.Close();
    if (FAILED(hr)) QvReportDBError(conn, hr, __FILE__, __LINE__);
    return FAILED(hr) ? QV_TRACEHR(kSource, hr) : S_OK;
}

}  // namespace

long VRQ_CreateEinsatz(long lMandantID, long lEinsatzartID, long& lEinsatzID, long& lGrouping) {
    CQvADOConnection conn;
    long hr = conn.Open(kProfile, 0);
    long lNewID = 0;
    if (SUCCEEDED(hr)) hr = conn.GetUniqueID(L"Einsatz", L"lEinsatzID", &lNewID);
    if (SUCCEEDED(hr)) {
        CString strSQL;
        strSQL.Format(L"INSERT INTO Einsatz (lEinsatzID, lMandantID, lEinsatzartID) VALUES (%d, %d, %d)", lNewID,
                      lMandantID, lEinsatzartID);
        hr = conn.Execute(strSQL);
    }
    if (FAILED(hr)) {
        QvReportDBError(conn, hr, __FILE__, __LINE__);
        return QV_TRACEHR(kSource, hr);
    }
    CUserLog log;
    lGrouping = log.GetNewGrouping();
    CQvGUID guid, guidNull;
    CString strCondition;
    strCondition.Format(L"lEinsatzID = %d", lNewID);
    QvDBLookupGUID(L"guid", L"Einsatz", strCondition, &guid, kProfile);
    CString strText = L"Aktivität wurde erzeugt.", strDetail, strModule = L"Aktivität";
    hr = log.WriteInsert(&strText, &strDetail, &strModule, 0, 6, &guid, &guidNull, 1, lGrouping);
    if (FAILED(hr)) return QV_TRACEHR(kSource, hr);
    lEinsatzID = lNewID;
    return S_OK;
}

long VRQ_CreateAndUpdateEinsatzBudgetData(long lEinsatzID) {
    CQvADOConnection conn;
    long hr = conn.Open(kProfile, 0);
    CString strSQL;
    strSQL.Format(L"DELETE EinsatzBudget WHERE lEinsatzID = %d", lEinsatzID);
    if (SUCCEEDED(hr)) hr = conn.Execute(strSQL);
    long lID = 0;
    if (SUCCEEDED(hr)) hr = conn.GetUniqueID(L"EinsatzBudget", L"lEinsatzBudgetID", &lID);
    if (SUCCEEDED(hr)) {
        strSQL.Format(L"INSERT INTO EinsatzBudget (lEinsatzBudgetID, lEinsatzID, lPersonen, dblAnzahl, curSold, "
                      L"curErtrag) SELECT %d, %d, count(DISTINCT lPersonID), isnull(sum(dblAnzahl), 0), "
                      L"isnull(sum(curSold), 0), isnull(sum(curErtrag), 0) FROM PersonEinsatz WHERE lEinsatzID = %d",
                      lID, lEinsatzID, lEinsatzID);
        hr = conn.Execute(strSQL);
    }
    if (FAILED(hr)) QvReportDBError(conn, hr, __FILE__, __LINE__);
    return FAILED(hr) ? QV_TRACEHR(kSource, hr) : S_OK;
}

long VRQ_FillSoldansatzCombo(CComboBox* pCombo, long, long lPreselect, CString) {
    if (!pCombo) return QV_TRACEHR(kSource, E_POINTER);
    std::vector<std::pair<long, CString>> rates;
    const long hr = ReadSoldansatz(rates);
    if (FAILED(hr)) return hr;
    pCombo->ResetContent();
    for (const auto& [lID, strName] : rates) {
        const int i = pCombo->AddString(strName);
        pCombo->SetItemData(i, static_cast<DWORD_PTR>(lID));
        if (lID == lPreselect) pCombo->SetCurSel(i);
    }
    return S_OK;
}

long VRQ_FillSoldansatzCombo(CQvGridItem* pItem, long nColumn, long, long lPreselect, BOOL bAllowNone, CString) {
    if (!pItem || !pItem->GetGrid()) return QV_TRACEHR(kSource, E_POINTER);
    std::vector<std::pair<long, CString>> rates;
    const long hr = ReadSoldansatz(rates);
    if (FAILED(hr)) return hr;
    std::vector<CQvGridCtrl::Choice> choices;
    if (bAllowNone) choices.emplace_back(-1, CString());
    bool bFound = false;
    for (const auto& [lID, strName] : rates) {
        choices.emplace_back(lID, strName);
        bFound = bFound || lID == lPreselect;
    }
    pItem->GetGrid()->QvSetChoiceList(int(nColumn), choices);
    pItem->SetColumnChoice(int(nColumn), bFound ? lPreselect : -1, CQvGridCtrl::eEditChoice);
    return S_OK;
}
