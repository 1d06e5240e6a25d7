// The logic server: the rank of a person from the person's current grade.
#include "nqlogicint.h"
#include "qvadoconnection.h"
#include "qvadorecordset.h"
#include "serverbase.h"

#include <memory>
#include <mutex>

class CNQLogicServer : public CQvStandInServer {
    DECLARE_DYNCREATE(CNQLogicServer)
public:
    CNQLogicServer() = default;

protected:
    const CLSID& GetServerClassID() const override { return CLSID_NQLogicServer; }
    LPCWSTR GetServerProgID() const override { return NQ_LOGICSERVER_PROGID; }

    BEGIN_INTERFACE_PART(Logic, INQLogicServer)
        HRESULT GetPersonDienstgrad(long lPersonID, DATE dtDate, long* plGradID, BSTR* pbstrBezeichnung,
                                    BSTR* pbstrDienstgrad, long* plRang, long* plFound) override;
    END_INTERFACE_PART(Logic)

    BEGIN_INTERFACE_PART(Sold, INQSold)
        HRESULT GetSoldansatzValues(long lSoldansatzID, double dblAnzahl, long lPersonID, DATE dtVon,
                                    CY* pcurSoldansatz, CY* pcurZuschlag, CY* pcurErtragansatz,
                                    CY* pcurErtragzuschlag) override;
        HRESULT GetSoldDeduction(DATE dtVon, DATE dtBis, long lSoldansatzID, long lPersonID, CY* pcurAbzug) override;
    END_INTERFACE_PART(Sold)

    // One amount read on the server's connection; zero without a row.
    HRESULT ReadAmount(const CString& strSQL, CY* pcur);

    DECLARE_INTERFACE_MAP()

    HRESULT OnClose() override;

    // One connection for the server's life: a list asks once per person.
    std::mutex m_lock;
    std::unique_ptr<CQvADOConnection> m_pConnection;
};

IMPLEMENT_DYNCREATE(CNQLogicServer, CQvStandInServer)

BEGIN_INTERFACE_MAP(CNQLogicServer, CQvStandInServer)
    INTERFACE_PART(CNQLogicServer, IID_INQLogicServer, Logic)
    INTERFACE_PART(CNQLogicServer, IID_INQSold, Sold)
END_INTERFACE_MAP()

IMPLEMENT_IUNKNOWN(CNQLogicServer, Logic)
IMPLEMENT_IUNKNOWN(CNQLogicServer, Sold)

HRESULT CNQLogicServer::OnClose() {
    {
        std::lock_guard g(m_lock);
        m_pConnection.reset();
    }
    return CQvStandInServer::OnClose();
}

HRESULT CNQLogicServer::XLogic::GetPersonDienstgrad(long lPersonID, DATE, long* plGradID, BSTR* pbstrBezeichnung,
                                                    BSTR* pbstrDienstgrad, long* plRang, long* plFound) {
    if (!plGradID || !pbstrBezeichnung || !pbstrDienstgrad || !plRang || !plFound) return E_POINTER;
    *plGradID = -1;
    *pbstrBezeichnung = nullptr;
    *pbstrDienstgrad = nullptr;
    *plRang = 0;
    *plFound = 0;
    METHOD_PROLOGUE(CNQLogicServer, Logic)
    std::lock_guard g(pThis->m_lock);
    long hr = S_OK;
    if (!pThis->m_pConnection) {
        auto pConnection = std::make_unique<CQvADOConnection>();
        hr = pConnection->Open(L"Qovaro.NQ2", 0);
        if (FAILED(hr)) return hr;
        pThis->m_pConnection = std::move(pConnection);
    }
    CQvADORecordset rs(pThis->m_pConnection.get());
    CString strSQL;
    strSQL.Format(L"SELECT p.fWeiblich, isnull(g.lGradID, -1) AS lGradID, isnull(g.strBezeichnung, '') AS "
                  L"strBezeichnung, isnull(g.strKurzbezeichnung, '') AS strKurz, isnull(g.strKurzbezeichnungF, '') "
                  L"AS strKurzF, isnull(g.lRang, 0) AS lRang FROM Person p LEFT OUTER JOIN Grad g ON "
                  L"p.lCAktGradID = g.lGradID WHERE p.lPersonID = %d",
                  lPersonID);
    if (SUCCEEDED(hr)) hr = rs.Open(strSQL);
    BOOL bEOF = TRUE;
    if (SUCCEEDED(hr)) hr = rs.IsEOF(&bEOF);
    CString strBezeichnung, strKurz, strKurzF;
    BOOL bWeiblich = FALSE;
    long lGradID = -1, lRang = 0;
    if (SUCCEEDED(hr) && !bEOF) {
        hr = rs.GetFieldValue(L"fWeiblich", &bWeiblich);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lGradID", &lGradID);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strBezeichnung", &strBezeichnung);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strKurz", &strKurz);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strKurzF", &strKurzF);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lRang", &lRang);
    }
    rs.Close();
    // A connection that failed is opened afresh by the next call.
    if (FAILED(hr)) pThis->m_pConnection.reset();
    if (FAILED(hr)) return hr;
    if (bEOF) return S_OK;
    *plFound = 1;
    *plGradID = lGradID;
    *plRang = lRang;
    *pbstrBezeichnung = SysAllocString(strBezeichnung);
    *pbstrDienstgrad = SysAllocString(bWeiblich && !strKurzF.IsEmpty() ? strKurzF : strKurz);
    return S_OK;
}

HRESULT CNQLogicServer::ReadAmount(const CString& strSQL, CY* pcur) {
    pcur->int64 = 0;
    std::lock_guard g(m_lock);
    long hr = S_OK;
    if (!m_pConnection) {
        auto pConnection = std::make_unique<CQvADOConnection>();
        hr = pConnection->Open(L"Qovaro.NQ2", 0);
        if (FAILED(hr)) return hr;
        m_pConnection = std::move(pConnection);
    }
    CQvADORecordset rs(m_pConnection.get());
    hr = rs.Open(strSQL);
    BOOL bEOF = TRUE;
    if (SUCCEEDED(hr)) hr = rs.IsEOF(&bEOF);
    double dValue = 0;
    if (SUCCEEDED(hr) && !bEOF) hr = rs.GetFieldValue(L"curValue", &dValue);
    rs.Close();
    if (FAILED(hr)) {
        m_pConnection.reset();
        return hr;
    }
    pcur->int64 = static_cast<LONGLONG>(dValue * 10000.0 + (dValue < 0 ? -0.5 : 0.5));
    return S_OK;
}

HRESULT CNQLogicServer::XSold::GetSoldansatzValues(long lSoldansatzID, double, long, DATE, CY* pcurSoldansatz,
                                                   CY* pcurZuschlag, CY* pcurErtragansatz, CY* pcurErtragzuschlag) {
    if (!pcurSoldansatz || !pcurZuschlag || !pcurErtragansatz || !pcurErtragzuschlag) return E_POINTER;
    METHOD_PROLOGUE(CNQLogicServer, Sold)
    // The suite keeps one amount per rate: the pay per unit; supplements and income are not kept.
    pcurZuschlag->int64 = pcurErtragansatz->int64 = pcurErtragzuschlag->int64 = 0;
    CString strSQL;
    strSQL.Format(L"SELECT curAnsatz AS curValue FROM Soldansatz WHERE lSoldansatzID = %d", lSoldansatzID);
    return pThis->ReadAmount(strSQL, pcurSoldansatz);
}

HRESULT CNQLogicServer::XSold::GetSoldDeduction(DATE dtVon, DATE dtBis, long lSoldansatzID, long lPersonID,
                                                CY* pcurAbzug) {
    if (!pcurAbzug) return E_POINTER;
    METHOD_PROLOGUE(CNQLogicServer, Sold)
    const CString strVon = COleDateTime(dtVon).Format(L"%Y-%m-%d %H:%M:%S");
    const CString strBis = COleDateTime(dtBis).Format(L"%Y-%m-%d %H:%M:%S");
    CString strSQL;
    strSQL.Format(L"SELECT isnull(sum(curAbzug), 0) AS curValue FROM SoldAbzug WHERE lPersonID = %d AND "
                  L"lSoldansatzID IN (-1, %d) AND dtVon <= '%s' AND dtBis >= '%s'",
                  lPersonID, lSoldansatzID, (LPCWSTR)strBis, (LPCWSTR)strVon);
    return pThis->ReadAmount(strSQL, pcurAbzug);
}

QV_STANDIN_SERVER_EXPORTS(CLSID_NQLogicServer, CNQLogicServer, NQ_LOGICSERVER_PROGID, AfxDllCanUnloadNow())
