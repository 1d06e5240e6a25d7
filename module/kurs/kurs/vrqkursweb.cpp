// Online registration with the central installation: in a local installation each change of a
// registration of a federal or cantonal course is first sent to the central installation, whose
// reply decides whether the change may be made and with which status.
#include "kursint.h"

#include "nqcommon.h"
#include "optionserver.h"
#include "qvdatalogger.h"
#include "qvhttp.h"
#include "qvinteract.h"
#include "qvwaitdlg.h"
#include "kursresource.h"

namespace {

const wchar_t* const kNoURL = L"****";
const wchar_t* const kResponseStart = L"<pre id=\"ResponseContainer\">";
const wchar_t* const kResponseEnd = L"</pre>";
const wchar_t* const kDataKey = L"$data=";

bool IsOnlineKurs(EAuthorityTyp eTyp) { return eTyp == eAuthorityTypBund || eTyp == eAuthorityTypKanton; }

// Whether a booking into the run goes to the central installation first.
bool IsOnlineKursinstanz(long lKursinstanzID) {
    return lKursinstanzID != -1 && IsOnlineKurs(VRQ_GetKursAuthority(lKursinstanzID, TRUE));
}

// The GUID of the record with the id in the key column; the null GUID for id 0 or when the lookup
// fails.
CQvGUID LookupGUID(LPCWSTR lpszTable, LPCWSTR lpszKeyColumn, long lID) {
    CQvGUID guid;
    if (lID == 0) return guid;
    CString strWhere;
    strWhere.Format(L"%s = %d", lpszKeyColumn, lID);
    const long hr = QvDBLookupGUID(L"guid", lpszTable, strWhere, &guid, kurs::kProfile);
    if (FAILED(hr)) {
        KURS_TRACEHR(hr);
        guid.SetNULL();
    }
    return guid;
}

// The value of a "key=value" field: after the first '=' up to the next '=' or the field's end.
CString FieldValue(const CString& strField) {
    const int nEq = strField.Find(L'=');
    if (nEq < 0) return CString();
    CString strValue = strField.Mid(nEq + 1);
    const int nNext = strValue.Find(L'=');
    return nNext < 0 ? strValue : strValue.Left(nNext);
}

// The wait window every online request shows while it runs.
class COnlineWait {
public:
    COnlineWait() {
        m_wait.Open(nullptr, 1000, -1, 10);
        m_wait.SetDescription(kurs::Text(IDS_ONLINE_REQUEST_RUNNING));
    }

private:
    CQvWaitDlg m_wait;
};

}  // namespace

CVRQKurs::CVRQKurs() = default;

CVRQKurs::~CVRQKurs() = default;

CVRQKurs::CVRQKurs(const CVRQKurs& other)
    : m_strURL(other.m_strURL),
      m_strLastHint(other.m_strLastHint),
      m_strLastStatus(other.m_strLastStatus),
      m_strData(other.m_strData) {}

CVRQKurs& CVRQKurs::operator=(const CVRQKurs& other) {
    m_strURL = other.m_strURL;
    m_strLastHint = other.m_strLastHint;
    m_strLastStatus = other.m_strLastStatus;
    m_strData = other.m_strData;
    return *this;
}

long CVRQKurs::CheckReplyGUID(long hr, CQvGUID& guidPersonKurs) {
    if (FAILED(hr) || m_strData.IsEmpty()) return hr;
    if (guidPersonKurs.IsNULL()) {
        guidPersonKurs.SetGUID(m_strData);
        return hr;
    }
    CString strReply = m_strData;
    CString strOwn = guidPersonKurs.GetGUID(TRUE);
    if (strReply.MakeLower() != strOwn.MakeLower()) return KURS_TRACEHR(E_FAIL);
    return hr;
}

long CVRQKurs::WebAddPersonToKursinstanz(long lPersonID, long lKursinstanzID, CQvGUID& guidPersonKurs) {
    CKursResourceScope scope;
    if (NQ_IsEnterpriseEdition()) return S_OK;
    if (!IsOnlineKursinstanz(lKursinstanzID)) {
        // Nothing is asked: a status word of an earlier request of this object must not decide
        // the status of this booking.
        m_strLastStatus.Empty();
        m_strLastHint.Empty();
        return S_FALSE;
    }
    COnlineWait wait;
    // The GUID check must only see a payload of this exchange.
    m_strData.Empty();
    BuildURL(L"add", lPersonID, lKursinstanzID, ePersonKursStatusAngemeldet, &guidPersonKurs);
    return CheckReplyGUID(NavigateURL(), guidPersonKurs);
}

long CVRQKurs::WebRemovePersonFromKurs(long lPersonID, long lKursID, long lPersonKursID) {
    CKursResourceScope scope;
    if (NQ_IsEnterpriseEdition()) return S_FALSE;
    if (!IsOnlineKurs(VRQ_GetKursAuthority(lKursID, FALSE))) return S_FALSE;
    COnlineWait wait;
    CQvGUID guidPersonKurs;
    if (lPersonKursID != 0) guidPersonKurs = GetPersonKursGUID(lPersonKursID);
    BuildURL(L"delete", lPersonID, -1, ePersonKursStatusAbgemeldet, &guidPersonKurs);
    return NavigateURL();
}

long CVRQKurs::WebAddPlannedPersonKurs(long lPersonID, long lKursID, CQvGUID& guidPersonKurs) {
    CKursResourceScope scope;
    if (NQ_IsEnterpriseEdition()) return S_FALSE;
    if (!IsOnlineKurs(VRQ_GetKursAuthority(lKursID, FALSE))) return S_FALSE;
    COnlineWait wait;
    m_strData.Empty();
    BuildURL(L"add", lPersonID, -1, ePersonKursStatusAngemeldet, &guidPersonKurs);
    return CheckReplyGUID(NavigateURL(), guidPersonKurs);
}

long CVRQKurs::WebRemovePersonFromKursinstanz(long lPersonID, long lKursinstanzID) {
    CKursResourceScope scope;
    if (NQ_IsEnterpriseEdition()) return S_FALSE;
    if (!IsOnlineKursinstanz(lKursinstanzID)) return S_FALSE;
    COnlineWait wait;
    BuildURL(L"remove", lPersonID, lKursinstanzID, ePersonKursStatusAbgemeldet, nullptr);
    return NavigateURL();
}

long CVRQKurs::WebUpdatePersonKursStatus(long lPersonID, long lKursinstanzID, EPersonKursStatus eStatus) {
    CKursResourceScope scope;
    if (NQ_IsEnterpriseEdition()) return S_FALSE;
    if (!IsOnlineKursinstanz(lKursinstanzID)) return S_FALSE;
    COnlineWait wait;
    BuildURL(L"update", lPersonID, lKursinstanzID, eStatus, nullptr);
    return NavigateURL();
}

long CVRQKurs::WebSwitchPersonOnKursinstanz(long lPersonID, long lKursinstanzID, CQvGUID& guidPersonKurs) {
    CKursResourceScope scope;
    if (NQ_IsEnterpriseEdition()) return S_FALSE;
    if (!IsOnlineKursinstanz(lKursinstanzID)) return S_FALSE;
    COnlineWait wait;
    m_strData.Empty();
    BuildURL(L"switch", lPersonID, lKursinstanzID, ePersonKursStatusAngemeldet, &guidPersonKurs);
    return CheckReplyGUID(NavigateURL(), guidPersonKurs);
}

long CVRQKurs::WebGetKursinstanzFillUpCount(std::vector<CString>& arrItems) {
    CKursResourceScope scope;
    BuildURL(L"getCount", 0, -1, ePersonKursStatusAbgemeldet, nullptr);
    const long hr = NavigateURL();
    if (FAILED(hr)) return hr;
    CString strItem;
    for (int i = 0; AfxExtractSubString(strItem, m_strData, i, L'|') && !strItem.IsEmpty(); ++i)
        arrItems.push_back(strItem);
    return hr;
}

void CVRQKurs::BuildURL(CString strOp, long lPersonID, long lKursinstanzID, EPersonKursStatus eStatus,
                        CQvGUID* pGuidPersonKurs) {
    if (!VRQ_IsOnlineKursActive()) {
        m_strURL.Empty();
        return;
    }
    CString strURL;
    QvDBLookupString(L"strOnlineKursURL", L"DataExchange", L"", &strURL, kurs::kProfile);
    strURL.Trim();
    strURL.MakeLower();
    if (strURL.IsEmpty()) {
        QvReportMsg(1, L"Es ist keine URL für die Online Kurs Anmeldung definiert!", L"CVRQKurs::BuildURL",
                    L"Default", __FILE__, __LINE__, 0);
        m_strURL = kNoURL;
        return;
    }
    if (strURL.Find(L"http") != 0) strURL = CString(L"https://") + strURL;
    if (strURL[strURL.GetLength() - 1] != L'/') strURL += L'/';

    CString strPage;
    COptionServer options;
    options.GetOption(-1060, CString(L"OnlineKursanmeldungASPX"), &strPage, 1, 0);
    strURL += strPage;

    const bool bGetCount = strOp.CompareNoCase(L"getCount") == 0;
    long lMandantID = 0;
    if (lPersonID != 0) {
        CString strWhere;
        strWhere.Format(L"lPersonID=%d", lPersonID);
        QvDBLookupLong(L"lMandantID", L"Person", strWhere, &lMandantID, kurs::kProfile);
    }
    // Persons without a Mandant carry -1.
    if (lMandantID <= 0) lMandantID = 0;
    if (lMandantID == 0 && !bGetCount && kurs::IsMandantSelected()) lMandantID = kurs::ActMandantID();
    if (lMandantID <= 0) lMandantID = 0;
    if (lMandantID == 0 && !bGetCount) {
        m_strURL = kNoURL;
        return;
    }

    strURL += L"?Ver=100";
    strURL += L"&Op=" + strOp;
    strURL += L"&SystemID=" + CQvGUID(kurs::SystemID()).GetGUID(TRUE);
    if (lMandantID != 0) strURL += L"&Mandant=" + GetMandantGUID(lMandantID).GetGUID(FALSE);
    if (lPersonID != 0) strURL += L"&Person=" + GetPersonGUID(lPersonID).GetGUID(FALSE);
    if (lKursinstanzID != -1) strURL += L"&Kursinstanz=" + GetKursinstanzGUID(lKursinstanzID).GetGUID(FALSE);
    if (pGuidPersonKurs) strURL += L"&PersonKurs=" + pGuidPersonKurs->GetGUID(FALSE);
    if (strOp.CompareNoCase(L"update") == 0) strURL.AppendFormat(L"&Status=%d", static_cast<long>(eStatus));
    strURL.AppendFormat(L"&Date=%f", static_cast<double>(COleDateTime::GetCurrentTime()));
    m_strURL = strURL;
}

long CVRQKurs::NavigateURL() {
    if (m_strURL.IsEmpty() || m_strURL == kNoURL) return S_OK;
    m_strData.Empty();

    CQvHttp http;
    http.SetConnectTimeout(100);
    CString strReply;
    long hr = http.Get(m_strURL, strReply);
    if (FAILED(hr)) {
        CString strMsg;
        strMsg.Format(IDS_ONLINE_HTTP_FAILED, http.GetLastError());
        QvReportMsg(1, strMsg, http.GetLastErrorDesc(), L"Default", __FILE__, __LINE__, 0);
        m_strLastStatus = L"error";
        m_strLastHint = L"HTTP Send faild.";
        return KURS_TRACEHR(hr);
    }

    CQvDataLogger logger(L"Qovaro.Ostrel.Kurs");
    logger.Info(CQvGUID(L"0e2b03e5-042b-49ac-8f5b-f6eb81997d57"), L"CVRQKurs::NavigateURL() Response: '%s'",
                strReply);

    const int nStart = strReply.Find(kResponseStart);
    const int nEnd = strReply.Find(kResponseEnd);
    const int nStartLen = static_cast<int>(wcslen(kResponseStart));
    if (nStart < 0 || nEnd < 0 || nEnd < nStart + nStartLen) {
        m_strLastStatus = L"error";
        m_strLastHint = L"Undefined Web Server reponse format.";
        return KURS_TRACEHR(E_FAIL);
    }
    const CString strContainer = strReply.Mid(nStart + nStartLen, nEnd - nStart - nStartLen);

    CString strField;
    AfxExtractSubString(strField, strContainer, 0, L'$');
    m_strLastStatus = FieldValue(strField);
    m_strLastStatus.MakeLower();
    strField.Empty();
    AfxExtractSubString(strField, strContainer, 1, L'$');
    m_strLastHint = FieldValue(strField);

    const CString& s = m_strLastStatus;
    bool bPayload = false;
    if (s == L"ok") {
        hr = S_OK;
        bPayload = true;
    } else if (s == L"closed" || s == L"max" || s == L"overbook") {
        hr = E_ABORT;
    } else if (s == L"provisorisch" || s == L"queue" || s == L"penalty") {
        hr = S_FALSE;
        bPayload = true;
    } else if (s == L"denied" || s == L"argument" || s == L"personkursexists" || s == L"datanotexists") {
        hr = E_ABORT;
    } else if (s == L"dbconnection" || s == L"error" || s == L"file") {
        hr = E_FAIL;
    } else {
        m_strLastStatus = L"unk";
        hr = E_FAIL;
    }
    if (bPayload) {
        const int nData = strContainer.Find(kDataKey);
        if (nData >= 0) m_strData = strContainer.Mid(nData + static_cast<int>(wcslen(kDataKey)));
    }
    if (FAILED(hr)) KURS_TRACEHR(hr);
    return hr;
}

void CVRQKurs::DisplayStatusMsg() {
    CKursResourceScope scope;
    const CString& s = m_strLastStatus;
    auto report = [this](UINT id, bool bWithHint, const CString& strArg) {
        CString strMsg;
        if (bWithHint) strMsg.Format(id, strArg);
        else strMsg = kurs::Text(id);
        // Inside a unit of work it waits for the unit's end, as every message does.
        const CString strURL = m_strURL;
        kurs::TellAfterUnit([strMsg, strURL] { QvReportMsg(1, strMsg, strURL, L"Default", __FILE__, __LINE__, 0); },
                            false);
    };
    if (s == L"ok") return;
    if (s == L"closed") {
        kurs::Tell(kurs::Text(IDS_ONLINE_CLOSED), MB_ICONINFORMATION);
    } else if (s == L"max") {
        CString strMsg;
        strMsg.Format(IDS_ONLINE_MAX, m_strLastHint);
        kurs::Tell(strMsg, MB_ICONINFORMATION);
    } else if (s == L"overbook") {
        kurs::Tell(kurs::Text(IDS_ONLINE_OVERBOOK), MB_ICONINFORMATION);
    } else if (s == L"queue") {
        kurs::Tell(kurs::Text(IDS_ONLINE_QUEUE), MB_ICONINFORMATION);
    } else if (s == L"denied") {
        kurs::Tell(kurs::Text(IDS_ONLINE_DENIED), MB_ICONINFORMATION);
    } else if (s == L"argument") {
        report(IDS_ONLINE_ARGUMENT, true, m_strLastHint);
    } else if (s == L"dbconnection") {
        report(IDS_ONLINE_DBCONNECTION, true, m_strLastHint);
    } else if (s == L"file") {
        report(IDS_ONLINE_FILE, true, m_strLastHint);
    } else if (s == L"unk") {
        report(IDS_ONLINE_UNK, true, m_strLastHint);
    } else if (s == L"personkursexists") {
        report(IDS_ONLINE_PERSONKURSEXISTS, false, CString());
    } else if (s == L"datanotexists") {
        report(IDS_ONLINE_DATANOTEXISTS, false, CString());
    } else if (s == L"error") {
        report(IDS_ONLINE_ERROR, true, m_strLastHint);
    } else if (m_strURL.IsEmpty() || m_strURL[0] != L'*') {
        report(IDS_ONLINE_UNKNOWN, true, m_strLastStatus);
    }
}

CQvGUID CVRQKurs::GetMandantGUID(long lMandantID) { return LookupGUID(L"Mandant", L"lMandantID", lMandantID); }

CQvGUID CVRQKurs::GetPersonGUID(long lPersonID) { return LookupGUID(L"Person", L"lPersonID", lPersonID); }

CQvGUID CVRQKurs::GetKursinstanzGUID(long lKursinstanzID) {
    if (lKursinstanzID == -1) return CQvGUID();
    return LookupGUID(L"Kursinstanz", L"lKursinstanzID", lKursinstanzID);
}

CQvGUID CVRQKurs::GetPersonKursGUID(long lPersonKursID) {
    return LookupGUID(L"PersonKurs", L"lPersonKursID", lPersonKursID);
}

long CVRQKurs::GetKursdatum(long lKursinstanzID, long& lYear, CQvDateTime& dtLast, CQvDateTime& dtFirst) {
    if (lKursinstanzID == -1) {
        dtLast = CQvDateTime(lYear, 12, 31, 0, 0, 0);
        dtFirst = CQvDateTime(lYear, 1, 1, 0, 0, 0);
        return S_OK;
    }
    lYear = 2000;
    CString strWhere;
    strWhere.Format(L"lKursinstanzID=%d", lKursinstanzID);
    const long hr = QvDBLookupDate(L"dtDatum", L"Kursinstanz", strWhere, &dtLast, kurs::kProfile);
    if (FAILED(hr)) return KURS_TRACEHR(hr);
    if (dtLast.GetStatus() == COleDateTime::valid) {
        dtFirst = dtLast;
        lYear = dtLast.GetYear();
    }
    return S_OK;
}
