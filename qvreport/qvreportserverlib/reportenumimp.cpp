#include "reportenumimp.h"
#include "qvdblookup.h"
#include "qvhrtrace.h"

#define ENUM_TRACEHR(hr) QvAddHRErrorFile(L"reportenumimp", __LINE__, (hr))

BEGIN_INTERFACE_MAP(CReportEnumImp, CCmdTarget)
    INTERFACE_PART(CReportEnumImp, IID_IReportEnum, ReportEnum)
END_INTERFACE_MAP()

IMPLEMENT_IUNKNOWN(CReportEnumImp, ReportEnum)

CReportEnumImp::CReportEnumImp(const CQvGUID& guidProfile) : m_guidProfile(guidProfile) {}

CReportEnumImp::~CReportEnumImp() { Close(); }

IReportEnum* CReportEnumImp::Create(const CQvGUID& guidProfile) {
    auto* pImp = new CReportEnumImp(guidProfile);
    IReportEnum* pEnum = nullptr;
    pImp->ExternalQueryInterface(&IID_IReportEnum, reinterpret_cast<void**>(&pEnum));
    pImp->InternalRelease();
    return pEnum;
}

HRESULT CReportEnumImp::Open() {
    HRESULT hr = m_connection.Open(L"Qovaro.QvPool", 0);
    if (SUCCEEDED(hr)) {
        delete m_pRecordset;
        m_pRecordset = new CQvADORecordset(&m_connection);
        // The database keeps GUIDs as plain upper-case text.
        CString strSQL;
        strSQL.Format(L"SELECT r.lQvReportServerReportID , strReport, r.guid, r.strLabel, r.strHelpID, r.strLanguage, "
                      L"r.strLabel + strReport AS strOrder \t\t\t\t\t\t\tFROM QvReportServerProfile p JOIN "
                      L"view_QvReportServerReport r ON p.lQvReportServerProfileID = r.lQvReportServerProfileID "
                      L"\t\t\t\t\t\t\tWHERE p.guid = '%s' \t\t\t\t\t\t\tORDER BY strOrder",
                      m_guidProfile.GetGUID(TRUE));
        hr = m_pRecordset->OpenSQL(strSQL, 0, 1);
    }
    if (SUCCEEDED(hr)) hr = m_pRecordset->IsEOF(&m_bEOF);
    if (FAILED(hr)) {
        ENUM_TRACEHR(hr);
        QvReportDBError(&m_connection, hr, "reportenumimp", __LINE__);
        return hr;
    }
    m_bOpened = TRUE;
    return S_OK;
}

HRESULT CReportEnumImp::Close() {
    HRESULT hr = S_OK;
    if (m_pRecordset) {
        hr = m_pRecordset->Close();
        delete m_pRecordset;
        m_pRecordset = nullptr;
    }
    const HRESULT hrClose = m_connection.Close(0);
    if (SUCCEEDED(hr)) hr = hrClose;
    if (FAILED(hr)) {
        ENUM_TRACEHR(hr);
        QvReportDBError(&m_connection, hr, "reportenumimp", __LINE__);
    }
    m_bOpened = FALSE;
    m_bEOF = TRUE;
    return hr;
}

HRESULT CReportEnumImp::XReportEnum::Next(ULONG celt, BSTR* pbstrReport, BSTR* pbstrLabel, BSTR* pbstrHelpID,
                                          GUID* pguidReport, ULONG* pceltFetched) {
    METHOD_PROLOGUE(CReportEnumImp, ReportEnum)
    if (celt != 1) return E_INVALIDARG;
    if (pceltFetched) *pceltFetched = 0;
    if (!pbstrReport || !pbstrLabel || !pbstrHelpID || !pguidReport) return E_POINTER;
    if (!pThis->m_bOpened) {
        const HRESULT hr = pThis->Open();
        if (FAILED(hr)) return hr;
    }
    if (pThis->m_bEOF) return S_FALSE;
    CQvGUID guid;
    CString strReport, strHelpID, strLabel;
    HRESULT hr = pThis->m_pRecordset->GetFieldValue(L"guid", &guid);
    if (SUCCEEDED(hr)) hr = pThis->m_pRecordset->GetFieldValue(L"strReport", &strReport);
    if (SUCCEEDED(hr)) hr = pThis->m_pRecordset->GetFieldValue(L"strHelpID", &strHelpID);
    if (SUCCEEDED(hr)) hr = pThis->m_pRecordset->GetFieldValue(L"strLabel", &strLabel);
    if (SUCCEEDED(hr)) hr = pThis->m_pRecordset->MoveNext(&pThis->m_bEOF);
    if (FAILED(hr)) {
        ENUM_TRACEHR(hr);
        QvReportDBError(&pThis->m_connection, hr, "reportenumimp", __LINE__);
        return hr;
    }
    *pguidReport = guid.GetValue();
    *pbstrReport = strReport.AllocSysString();
    *pbstrLabel = strLabel.AllocSysString();
    *pbstrHelpID = strHelpID.AllocSysString();
    if (pceltFetched) *pceltFetched = 1;
    return S_OK;
}

HRESULT CReportEnumImp::XReportEnum::Skip(ULONG) { return E_FAIL; }

HRESULT CReportEnumImp::XReportEnum::Reset() {
    METHOD_PROLOGUE(CReportEnumImp, ReportEnum)
    return pThis->Close();
}

HRESULT CReportEnumImp::XReportEnum::Clone(IReportEnum** ppEnum) {
    if (ppEnum) *ppEnum = nullptr;
    return E_FAIL;
}
