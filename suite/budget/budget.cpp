#include "budget.h"

#include "ctrls.h"
#include "qvadoconnection.h"
#include "qvadorecordset.h"
#include "qvdblookup.h"
#include "qvhrtrace.h"
#include "qvregvalue.h"

#include <mutex>

namespace {

constexpr const wchar_t* kProfile = L"Qovaro.NQ2";
constexpr const wchar_t* kSource = L"suite\\budget\\budget";
#define BUDGET_TRACEHR(hr) QvAddHRErrorFile(kSource, __LINE__, (hr))

std::mutex g_runningLock;
std::optional<bool> g_running;

// The first column of the first row as a long; lValue keeps its preset without a row.
long LookupLong(const CString& strSQL, long& lValue) {
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = conn.Open(kProfile, 0);
    BOOL bEOF = TRUE;
    if (SUCCEEDED(hr)) hr = rs.Open(strSQL);
    if (SUCCEEDED(hr)) hr = rs.IsEOF(&bEOF);
    if (SUCCEEDED(hr) && !bEOF) hr = rs.GetFieldValue(L"lValue", &lValue);
    rs.Close();
    if (FAILED(hr)) BUDGET_TRACEHR(hr);
    return hr;
}

long Execute(const CString& strSQL) {
    CQvADOConnection conn;
    long hr = conn.Open(kProfile, 0);
    if (SUCCEEDED(hr)) hr = conn.Execute(strSQL);
    if (FAILED(hr)) BUDGET_TRACEHR(hr);
    return hr;
}

}  // namespace

BOOL NQ_IsBudgetRunning() {
    std::lock_guard g(g_runningLock);
    if (!g_running) {
        DWORD value = 0;
        CQvRegistry::GetValue(L"Software\\Qovaro\\NQ2", L"BudgetRunning", value, HKEY_LOCAL_MACHINE);
        g_running = value != 0;
    }
    return *g_running ? TRUE : FALSE;
}

namespace qv::budget {
void SetBudgetRunning(std::optional<bool> running) {
    std::lock_guard g(g_runningLock);
    g_running = running;
}
}  // namespace qv::budget

long VRQ_GetKontoID(long lTableID, long lRecordID, EBudgetLinkTyp eLink, long lMandantID, const CQvDateTime&) {
    long lKontoID = -1;
    CString strSQL;
    strSQL.Format(L"SELECT lBudgetKontoID AS lValue FROM BudgetKontoLink WHERE lTableID = %d AND lRecordID = %d AND "
                  L"lLinkTyp = %d AND lMandantID = %d",
                  lTableID, lRecordID, static_cast<long>(eLink), lMandantID);
    if (FAILED(LookupLong(strSQL, lKontoID))) return -1;
    return lKontoID;
}

long VRQ_GetStdKontoID(EStandardkontoTyp eTyp, EStandardkontoArt eArt, long lMandantID, const CQvDateTime&) {
    long lKontoID = -1;
    CString strSQL;
    strSQL.Format(L"SELECT TOP 1 lBudgetKontoID AS lValue FROM BudgetKonto WHERE lMandantID = %d AND lStdTyp = %d AND "
                  L"lStdArt = %d ORDER BY lBudgetKontoID",
                  lMandantID, static_cast<long>(eTyp), static_cast<long>(eArt));
    if (FAILED(LookupLong(strSQL, lKontoID))) return -1;
    return lKontoID;
}

long VRQ_FillKontoCombo(CComboBox* pCombo, long lMandantID, const CQvDateTime&, BOOL bStandard, BOOL bReset) {
    if (!pCombo || !pCombo->GetSafeHwnd()) return BUDGET_TRACEHR(E_POINTER);
    if (bReset) pCombo->ResetContent();
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    CString strSQL;
    strSQL.Format(L"SELECT lBudgetKontoID, strNummer, strBezeichnung, lStdArt FROM BudgetKonto WHERE lMandantID = %d "
                  L"ORDER BY strNummer, lBudgetKontoID",
                  lMandantID);
    long hr = conn.Open(kProfile, 0);
    BOOL bEOF = TRUE;
    if (SUCCEEDED(hr)) hr = rs.Open(strSQL);
    if (SUCCEEDED(hr)) hr = rs.IsEOF(&bEOF);
    while (SUCCEEDED(hr) && !bEOF) {
        long lKontoID = 0, lStdArt = 0;
        CString strNummer, strBezeichnung;
        hr = rs.GetFieldValue(L"lBudgetKontoID", &lKontoID);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strNummer", &strNummer);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strBezeichnung", &strBezeichnung);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lStdArt", &lStdArt);
        if (FAILED(hr)) break;
        CString strText = strNummer.IsEmpty() ? strBezeichnung : strNummer + L" " + strBezeichnung;
        // The user sees which account answers when the record has none of its own.
        if (bStandard && lStdArt != 0) strText += L" (Standard)";
        const int nIndex = pCombo->AddString(strText);
        pCombo->SetItemData(nIndex, static_cast<DWORD_PTR>(static_cast<unsigned long>(lKontoID)));
        hr = rs.MoveNext(&bEOF);
    }
    rs.Close();
    if (FAILED(hr)) BUDGET_TRACEHR(hr);
    return hr;
}

long VRQ_GetBudgetBuchungssatz(long lTableID, long lRecordID, EBudgetLinkTyp eLink, CQvCurrency& curBetrag,
                               EBuchungssatzModifiedTyp& eModified) {
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    CString strSQL;
    strSQL.Format(L"SELECT curBetrag, lModified FROM BudgetBuchungssatz WHERE lTableID = %d AND lRecordID = %d AND "
                  L"lLinkTyp = %d",
                  lTableID, lRecordID, static_cast<long>(eLink));
    curBetrag = CQvCurrency();
    long hr = conn.Open(kProfile, 0);
    BOOL bEOF = TRUE;
    if (SUCCEEDED(hr)) hr = rs.Open(strSQL);
    if (SUCCEEDED(hr)) hr = rs.IsEOF(&bEOF);
    if (SUCCEEDED(hr) && !bEOF) {
        double dblBetrag = 0;
        long lModified = 0;
        hr = rs.GetFieldValue(L"curBetrag", &dblBetrag);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lModified", &lModified);
        if (SUCCEEDED(hr)) {
            curBetrag = CQvCurrency(dblBetrag);
            eModified = static_cast<EBuchungssatzModifiedTyp>(lModified);
        }
    }
    rs.Close();
    if (FAILED(hr)) BUDGET_TRACEHR(hr);
    return hr;
}

long VRQ_SaveKontoID(long lKontoID, long lTableID, long lRecordID, EBudgetLinkTyp eLink, long lMandantID) {
    CString strSQL;
    strSQL.Format(L"DELETE FROM BudgetKontoLink WHERE lTableID = %d AND lRecordID = %d AND lLinkTyp = %d AND "
                  L"lMandantID = %d",
                  lTableID, lRecordID, static_cast<long>(eLink), lMandantID);
    long hr = Execute(strSQL);
    if (SUCCEEDED(hr) && lKontoID >= 0) {
        strSQL.Format(L"INSERT INTO BudgetKontoLink (lTableID, lRecordID, lLinkTyp, lMandantID, lBudgetKontoID) "
                      L"VALUES (%d, %d, %d, %d, %d)",
                      lTableID, lRecordID, static_cast<long>(eLink), lMandantID, lKontoID);
        hr = Execute(strSQL);
    }
    return hr;
}

long VRQ_SaveBudgetBuchungssatz(long lKontoID, long lTableID, long lRecordID, EBudgetLinkTyp eLink,
                                const CQvDateTime& dtDatum, const CString& strText, long lModified,
                                const CQvCurrency& curBetrag, BOOL /*bBudget*/, BOOL bAdd) {
    if (lKontoID < 0) return BUDGET_TRACEHR(E_INVALIDARG);
    CQvCurrency curNew = curBetrag;
    if (bAdd) {
        CQvCurrency curOld;
        EBuchungssatzModifiedTyp eOld = eBuchungssatzUnchanged;
        const long hr = VRQ_GetBudgetBuchungssatz(lTableID, lRecordID, eLink, curOld, eOld);
        if (FAILED(hr)) return hr;
        curNew += curOld;
    }
    CString strSQL;
    strSQL.Format(L"DELETE FROM BudgetBuchungssatz WHERE lTableID = %d AND lRecordID = %d AND lLinkTyp = %d", lTableID,
                  lRecordID, static_cast<long>(eLink));
    long hr = Execute(strSQL);
    if (SUCCEEDED(hr)) {
        strSQL.Format(L"INSERT INTO BudgetBuchungssatz (lTableID, lRecordID, lLinkTyp, lBudgetKontoID, dtDatum, strText, "
                      L"lModified, curBetrag) VALUES (%d, %d, %d, %d, %s, '%s', %d, %s)",
                      lTableID, lRecordID, static_cast<long>(eLink), lKontoID, dtDatum.SQLConvert(),
                      QvSQLString(strText, 0), lModified, curNew.SQLConvert());
        hr = Execute(strSQL);
    }
    return hr;
}
