// The server's part in the suite's self-tests: commands arrive over the web server, each run is
// logged in the self-test database.
#include "qvadoconnection.h"
#include "qvcomserver.h"
#include "qvdblookup.h"
#include "qvfserver.h"
#include "qvhrtrace.h"
#include "qvinteract.h"
#include "qvregvalue.h"
#include "qvweb.h"

namespace {
constexpr const wchar_t* kTDDProfile = L"Qovaro.QvTDD";
}

HRESULT CQvFServer::TDDRun(CString, const std::vector<CString>&, CString& strResult) {
    strResult = L"TDDRun() Not implemented!";
    return E_NOTIMPL;
}

BOOL CQvFServer::InitTDD() {
    if (m_pWebExt) return TRUE;
    if (!QvIsCOMServerLoaded(QV_WEBSERVER_PROGID)) return FALSE;
    CString strKey;
    strKey.Format(L"%s\\%s", L"Software\\Qovaro\\QvDBServer", kTDDProfile);
    CString strConnection;
    CQvRegistry::GetValue(strKey, L"DBConnection", strConnection);
    if (strConnection.IsEmpty()) return FALSE;
    CString strCondition;
    strCondition.Format(L"strComputer = '%s'", QvSQLString(m_strComputer, 254));
    BOOL bEnabled = FALSE;
    QvDBLookupBool(L"TDDEnabled", L"QvTDDComputer", strCondition, &bEnabled, kTDDProfile);
    return bEnabled;
}

HRESULT CQvFServer::RunTDD(CString strTest, const std::vector<CString>& names, const std::vector<CString>& values,
                           CString& strReply) {
    CString strResult;
    const HRESULT hrTest = TDDRun(strTest, values, strResult);
    CString strParameters;
    if (names.size() == values.size()) {
        for (std::size_t i = 0; i < names.size(); ++i) {
            CString pair;
            pair.Format(L"%s=%s", names[i], values[i]);
            if (i > 0) strParameters += L"&";
            strParameters += pair;
        }
    }
    strReply = hrTest == S_OK ? L"OK" : L"NOK";
    WriteTDDLog(strTest, strParameters, hrTest == S_OK ? 1 : 2, hrTest, strResult);
    return S_OK;
}

void CQvFServer::WriteTDDLog(CString strTest, CString strParameters, long lType, long lResult, CString strHint) {
    CQvADOConnection connection;
    HRESULT hr = connection.Open(kTDDProfile, 0);
    if (FAILED(hr)) QVF_TRACEHR(hr);
    CString strSQL;
    strSQL.Format(L"INSERT INTO QvTDDLog (strComputer, strAppID, strServer, strTest, strParam, eType, lResult, strHint) "
                  L"\t\t\t\t\t\t\t\t\tVALUES ('%s',        '%s',      '%s',     '%s',    '%s',     %d,    %d,      '%s')",
                  QvSQLString(m_strComputer, 254), QvSQLString(m_strAppID, 254), QvSQLString(m_strProgID, 254),
                  QvSQLString(strTest, 254), QvSQLString(strParameters, 254), lType, long(HRESULT(lResult)),
                  QvSQLString(strHint, 1024));
    if (SUCCEEDED(hr)) {
        hr = connection.Execute(strSQL);
        if (FAILED(hr)) {
            QVF_TRACEHR(hr);
            CString strText;
            connection.GetErrorText(strText);
            if (strText.IsEmpty()) strText.Format(L"No OLEDB Error available!\n%s", CrackHR(hr));
            QvReportMsg(1, strText, L"OLEDB Errormessage", L"Default", L"qvfserver", __LINE__, 1);
        }
    }
    connection.Close(0);
}

// ---- IQvWebExt

HRESULT CQvFServer::XQvWebExt::Request(BSTR command, long count, BSTR* names, BSTR* values, BSTR, BSTR,
                                       long* replySize, void** replyBuffer) {
    METHOD_PROLOGUE(CQvFServer, QvWebExt)
    QVF_MANAGE_STATE();
    const CString strCommand(command ? command : L"");
    const int nDot = strCommand.ReverseFind(L'.');
    if (nDot <= 0) return S_FALSE;
    const CString strTest = strCommand.Mid(nDot + 1);
    CString strPrefix = strCommand.Left(nDot);
    CString strOwn = CString(L"TDD.") + pThis->m_strProgID;
    if (strPrefix.MakeUpper() != strOwn.MakeUpper()) return S_FALSE;

    std::vector<CString> arrNames, arrValues;
    for (long i = 0; i < count; ++i) {
        arrNames.emplace_back(names && names[i] ? names[i] : L"");
        arrValues.emplace_back(values && values[i] ? values[i] : L"");
    }
    CString strReply;
    HRESULT hr = pThis->RunTDD(strTest, arrNames, arrValues, strReply);
    if (FAILED(hr)) return QVF_TRACEHR(hr);
    hr = QvWebReply(strReply, replyBuffer, replySize);
    if (FAILED(hr)) QVF_TRACEHR(hr);
    return hr;
}

HRESULT CQvFServer::XQvWebExt::GetDescription(BSTR* text) {
    if (text) *text = nullptr;
    return E_NOTIMPL;
}
