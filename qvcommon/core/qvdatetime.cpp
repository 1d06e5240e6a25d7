#include "qvdatetime.h"

namespace {

bool Parts(const COleDateTime& dt, SYSTEMTIME& st) {
    return dt.GetStatus() == COleDateTime::valid && dt.GetAsSystemTime(st);
}

}  // namespace

CQvDateTime::CQvDateTime(int nYear, int nMonth, int nDay, int nHour, int nMinute, int nSecond, int nMilliseconds) {
    if (SetDateTime(nYear, nMonth, nDay, nHour, nMinute, nSecond) == 0 && nMilliseconds != 0) {
        // Past the epoch the fraction runs forward; before it the whole part counts backwards, so
        // go through the time line rather than adding to the raw value.
        *this = COleDateTime(*this) + COleDateTimeSpan(nMilliseconds / 86400000.0);
    }
}

CString CQvDateTime::SQLConvert() const {
    SYSTEMTIME st;
    if (!Parts(*this, st)) return CString(L"NULL");
    CString s;
    s.Format(L"'%04d-%02d-%02d %02d:%02d:%02d'", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond);
    return s;
}

CString CQvDateTime::GetNormalizedDateTime() const {
    SYSTEMTIME st;
    if (!Parts(*this, st)) return CString();
    CString s;
    s.Format(L"%04d-%02d-%02d %02d:%02d:%02d", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond);
    return s;
}

BOOL CQvDateTime::SetNormalizedDateTime(LPCWSTR lpszText) {
    CString text(lpszText);
    text.Trim();
    if (text.IsEmpty()) {
        m_dt = 0;
        SetStatus(valid);
        return TRUE;
    }
    return ParseDateTime(text) ? TRUE : FALSE;
}
