// The logic server: the rank of a person from the person's current grade.
#include "nqlogicint.h"
#include "qvadoconnection.h"
#include "qvadorecordset.h"
#include "serverbase.h"


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

};

IMPLEMENT_DYNCREATE(CNQLogicServer, CQvStandInServer)

BEGIN_INTERFACE_MAP(CNQLogicServer, CQvStandInServer)
    INTERFACE_PART(CNQLogicServer, IID_INQLogicServer, Logic)
    INTERFACE_PART(CNQLogicServer, IID_INQSold, Sold)
END_INTERFACE_MAP()

IMPLEMENT_IUNKNOWN(CNQLogicServer, Logic)
IMPLEMENT_IUNKNOWN(CNQLogicServer, Sold)

HRESULT CNQLogicServer::XLogic::GetPersonDienstgrad(long lPersonID, DATE, long* plGradID, BSTR* pbstrBezeichnung,
                                                    BSTR* pbstrDienstgrad, long* plRang, long* plFound) {
    if (!plGradID || !pbstrBezeichnung || !pbstrDienstgrad || !plRang || !plFound) return E_POINTER;
    *plGradID = -1;
    *pbstrBezeichnung = nullptr;
    *pbstrDienstgrad = nullptr;
    *plRang = 0;
    *plFound = 0;
    // A connection of the calling thread: the server is called from list loaders as well as from
    // the GUI thread, and a database connection serves one thread at a time. The thread's pooled
    // session makes opening it per call cheap.
    CQvADOConnection conn;
    long hr = conn.Open(L"Qovaro.NQ2", 0);
    if (FAILED(hr)) return hr;
    CQvADORecordset rs(&conn);
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
    if (FAILED(hr)) return hr;
    if (bEOF) return S_OK;
    *plFound = 1;
    *plGradID = lGradID;
    *plRang = lRang;
    *pbstrBezeichnung = SysAllocString(strBezeichnung);
    *pbstrDienstgrad = SysAllocString(NQ_DienstgradKurz(bWeiblich != FALSE, strKurz, strKurzF));
    return S_OK;
}

HRESULT CNQLogicServer::ReadAmount(const CString& strSQL, CY* pcur) {
    pcur->int64 = 0;
    CQvADOConnection conn;  // of the calling thread, as above
    long hr = conn.Open(L"Qovaro.NQ2", 0);
    if (FAILED(hr)) return hr;
    CQvADORecordset rs(&conn);
    hr = rs.Open(strSQL);
    BOOL bEOF = TRUE;
    if (SUCCEEDED(hr)) hr = rs.IsEOF(&bEOF);
    double dValue = 0;
    if (SUCCEEDED(hr) && !bEOF) hr = rs.GetFieldValue(L"curValue", &dValue);
    rs.Close();
    if (FAILED(hr)) return hr;
    pcur->int64 = static_cast<LONGLONG>(dValue * 10000.0 + (dValue < 0 ? -0.5 : 0.5));
    return S_OK;
}

HRESULT CNQLogicServer::XSold::GetSoldansatzValues(long lSoldansatzID, double, long, DATE, CY* pcurSoldansatz,
                                                   CY* pcurZuschlag, CY* pcurErtragansatz, CY* pcurErtragzuschlag) {
    if (!pcurSoldansatz || !pcurZuschlag || !pcurErtragansatz || !pcurErtragzuschlag) return E_POINTER;
    METHOD_PROLOGUE(CNQLogicServer, Sold)
    // The suite keeps one amount per rate, the pay per unit; the other values follow from it: a
    // pay supplement of a tenth, income of a quarter per unit and an income supplement of a
    // twentieth (so that what is paid per unit and what is paid once can be told apart).
    pcurZuschlag->int64 = pcurErtragansatz->int64 = pcurErtragzuschlag->int64 = 0;
    CString strSQL;
    strSQL.Format(L"SELECT curAnsatz AS curValue FROM Soldansatz WHERE lSoldansatzID = %d", lSoldansatzID);
    const HRESULT hr = pThis->ReadAmount(strSQL, pcurSoldansatz);
    if (FAILED(hr)) return hr;
    pcurZuschlag->int64 = pcurSoldansatz->int64 / 10;
    pcurErtragansatz->int64 = pcurSoldansatz->int64 / 4;
    pcurErtragzuschlag->int64 = pcurSoldansatz->int64 / 20;
    return hr;
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
